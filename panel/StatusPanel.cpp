// A fixed-width status-bar panel that shortens its text in the middle.
#include "panel/StatusPanel.h"

#include "framework/ErrorDisplay.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

TStatusPanel::TStatusPanel(const QString& text, int width, QWidget* parent)
    : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFixedWidth(width);
}

bool TStatusPanel::Elided() const
{
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

QString TStatusPanel::ShownText() const
{
    if (!Elided())
        return text();
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void TStatusPanel::resizeEvent(QResizeEvent* event)
{
    GuardedCall([&] {
        QLabel::resizeEvent(event);
        // The height the status bar gives the panel is its height from now
        // on. A new text then changes nothing of the bar's layout: the clock's
        // tick every second repaints the clock's panel alone, not the bar
        // laid out anew with all five of its panels.
        if (minimumHeight() != height() || maximumHeight() != height())
            setFixedHeight(height());
    });
}

void TStatusPanel::paintEvent(QPaintEvent* event)
{
    GuardedCall([&] {
        if (!Elided()) {
            QLabel::paintEvent(event);
            return;
        }
        QFrame::paintEvent(event);
        QPainter painter(this);
        style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(), isEnabled(),
                              ShownText(), foregroundRole());
    });
}

bool TStatusPanel::event(QEvent* event)
{
    bool handled = false;
    GuardedCall([&] {
        if (event->type() != QEvent::ToolTip) {
            handled = QLabel::event(event);
            return;
        }
        auto* help = static_cast<QHelpEvent*>(event);
        if (Elided())
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        handled = true;
    });
    return handled;
}
