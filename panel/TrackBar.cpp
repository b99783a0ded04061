#include "panel/TrackBar.h"

#include "framework/ErrorDisplay.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {

// The keys that move a slider; releasing one ends a movement.
bool IsNavigationKey(int key)
{
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

} // namespace

TTrackBar::TTrackBar(QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
{
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(1);
    setSingleStep(1);
    setPageStep(2);
    connect(this, &QSlider::valueChanged, this, [this] { GuardedCall([this] { emit Change(); }); });
}

void TTrackBar::keyReleaseEvent(QKeyEvent* event)
{
    GuardedCall([&] {
        QSlider::keyReleaseEvent(event);
        if (event->isAutoRepeat())
            return;
        if (IsNavigationKey(event->key()))
            emit Change();
        emit KeyUp(event->key());
    });
}

void TTrackBar::mouseReleaseEvent(QMouseEvent* event)
{
    GuardedCall([&] {
        QSlider::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && isEnabled())
            emit Change();
    });
}
