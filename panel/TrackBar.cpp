// The panel's slider and the change reports its handlers expect.
#include "panel/TrackBar.h"

#include "framework/ErrorDisplay.h"

#include <QEvent>
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

void TTrackBar::mousePressEvent(QMouseEvent* event)
{
    GuardedCall([&] {
        if (watchedWindow_ != window()) {
            if (watchedWindow_)
                watchedWindow_->removeEventFilter(this);
            watchedWindow_ = window();
            watchedWindow_->installEventFilter(this);
        }
        pressInterrupted_ = false;
        inPress_ = true;
        // A press on the groove takes its first page step before it arms
        // the repeat; a box shown for that step has come and gone by the
        // time the repeat would start.
        QSlider::mousePressEvent(event);
        inPress_ = false;
        if (pressInterrupted_)
            EndPress();
    });
}

bool TTrackBar::eventFilter(QObject* watched, QEvent* event)
{
    GuardedCall([&] {
        if (watched != watchedWindow_ || event->type() != QEvent::WindowBlocked)
            return;
        if (inPress_)
            pressInterrupted_ = true;
        if (inPress_ || isSliderDown() || repeatAction() != SliderNoAction)
            EndPress();
    });
    return false;
}

void TTrackBar::EndPress()
{
    setRepeatAction(SliderNoAction);
    if (isSliderDown())
        setSliderDown(false);
    update();
}

void TTrackBar::mouseReleaseEvent(QMouseEvent* event)
{
    GuardedCall([&] {
        QSlider::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && isEnabled())
            emit Change();
    });
}
