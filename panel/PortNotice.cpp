// The lost-port notice: its window, its text and where it goes.
#include "panel/PortNotice.h"

#include "framework/ErrorDisplay.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int IconSize = 24;

// `rect` moved just enough to lie on `area` (to its top-left where larger).
QRect MovedOnto(QRect rect, const QRect& area)
{
    rect.moveLeft(std::max(area.left(), std::min(rect.left(), area.right() - rect.width() + 1)));
    rect.moveTop(std::max(area.top(), std::min(rect.top(), area.bottom() - rect.height() + 1)));
    return rect;
}

} // namespace

QRect NoticePlace(QSize size, const QRect& window, const QRect& available, const QRect& spare, int gap)
{
    // Beside the window its lower edges line up with the window's, where
    // the receive pane is; below and above, its left edges do. A place
    // that would leave the screen slides along the window's edge first.
    const QRect candidates[] = {
        QRect(QPoint(window.left(), window.bottom() + 1 + gap), size),
        QRect(QPoint(window.right() + 1 + gap, window.bottom() + 1 - size.height()), size),
        QRect(QPoint(window.left() - gap - size.width(), window.bottom() + 1 - size.height()), size),
        QRect(QPoint(window.left(), window.top() - gap - size.height()), size),
    };
    for (const QRect& candidate : candidates) {
        const QRect placed = MovedOnto(candidate, available);
        if (available.contains(placed) && !placed.intersects(window))
            return placed;
    }
    return MovedOnto(QRect(spare.topLeft(), size), available);
}

TPortNotice::TPortNotice(QWidget* window, QWidget* spare)
    : QFrame(window, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      window_(window),
      spare_(spare),
      icon_(new QLabel(this)),
      text_(new QLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok, this))
{
    setObjectName(QStringLiteral("PortLostNotice"));
    // Appearing must not take the keyboard from the control the operator
    // is working with.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // In the window's font and colours.
    setAttribute(Qt::WA_WindowPropagation);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAutoFillBackground(true);

    text_->setObjectName(QStringLiteral("PortLostText"));
    text_->setWordWrap(true);
    text_->setTextFormat(Qt::PlainText);
    text_->setTextInteractionFlags(Qt::NoTextInteraction);
    icon_->setFixedSize(IconSize, IconSize);
    buttons_->setFocusPolicy(Qt::NoFocus);
    for (QAbstractButton* button : buttons_->buttons())
        button->setFocusPolicy(Qt::NoFocus);
    connect(buttons_, &QDialogButtonBox::accepted, this, [this] { GuardedCall([this] { hide(); }); });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(6);
    layout->addWidget(icon_, 0, Qt::AlignTop);
    layout->addWidget(text_, 1);
    layout->addWidget(buttons_, 0, Qt::AlignBottom);
    setFixedWidth(spare_->width());

    // A notice beside the window goes with it when the window moves.
    window_->installEventFilter(this);
}

void TPortNotice::Tell(const QString& text, TKind kind)
{
    kind_ = kind;
    const QStyle::StandardPixmap pixmap =
        kind == TKind::Warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
    icon_->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(IconSize, IconSize));
    text_->setText(text);
    Place();
    if (!isVisible())
        show();
    else
        raise();
}

QString TPortNotice::Text() const
{
    return text_->text();
}

QWidget* TPortNotice::DismissButton() const
{
    return buttons_->button(QDialogButtonBox::Ok);
}

bool TPortNotice::event(QEvent* event)
{
    // Some platforms make every window that appears the active one, hints
    // or not: the keyboard goes back to the window at once.
    if (event->type() == QEvent::WindowActivate)
        GuardedCall([this] {
            if (window_->isVisible())
                window_->activateWindow();
        });
    return QFrame::event(event);
}

bool TPortNotice::eventFilter(QObject* watched, QEvent* event)
{
    GuardedCall([&] {
        if (watched == window_ && isVisible() && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
            Place();
    });
    return QFrame::eventFilter(watched, event);
}

void TPortNotice::Place()
{
    ensurePolished();
    adjustSize();
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect spare(spare_->mapToGlobal(QPoint(0, 0)), spare_->size());
    move(NoticePlace(size(), window_->frameGeometry(), screen->availableGeometry(), spare).topLeft());
}
