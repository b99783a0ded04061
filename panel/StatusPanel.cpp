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
