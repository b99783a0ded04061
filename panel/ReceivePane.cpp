// The receive pane: arrivals gathered and shown in turns.
#include "panel/ReceivePane.h"

#include "framework/ErrorDisplay.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextCursor>
#include <QTextDocument>

using namespace std::chrono;

// The view's scroll bar, which a turn can hold still: the view sets its
// range and the pane its value at every turn, and once the text is some
// screens long, the handle has its least length and ends where it was, at
// the bottom. Repainted only when it looks different after the turn, it
// does not draw the same pixels again ten times a second.
class TSteadyScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

    // While held, changes of range and value are only noted.
    void Hold() { held_ = true; }
    // Repaints the bar if it looks different from when it was last painted.
    void Release()
    {
        held_ = false;
        if (changed_ && Look() != painted_)
            update();
        changed_ = false;
    }

protected:
    void sliderChange(SliderChange change) override
    {
        GuardedCall([&] {
            if (held_)
                changed_ = true;
            else
                QScrollBar::sliderChange(change);
        });
    }
    void paintEvent(QPaintEvent* event) override
    {
        GuardedCall([&] {
            painted_ = Look();
            QScrollBar::paintEvent(event);
        });
    }

private:
    // What of the bar its range and value decide: where its handle is, and
    // whether either end is reached.
    struct TLook {
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const TLook&) const = default;
    };
    TLook Look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                value() == minimum(), value() == maximum()};
    }

    bool held_ = false;
    bool changed_ = false;
    std::optional<TLook> painted_;
};

TReceivePane::TReceivePane(QPlainTextEdit* view)
    : QObject(view), view_(view)
{
    setObjectName(QStringLiteral("ReceivePane"));
    // The board's text is Latin-1, which reads the same unshaped: shaping
    // every line as it scrolls by was most of what laying the view out
    // cost. Kerning, the one thing shaping changes in such text, goes too.
    QFont font = view->font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setKerning(false);
    view->setFont(font);
    // The view scrolls by a page with a click into the bar's groove, as it
    // did with the bar it came with.
    bar_ = new TSteadyScrollBar(Qt::Vertical);
    view->setVerticalScrollBar(bar_);
    connect(bar_, SIGNAL(actionTriggered(int)), view, SLOT(_q_verticalScrollbarActionTriggered(int)));
    frame_.setSingleShot(true);
    frame_.setTimerType(Qt::PreciseTimer);
    connect(&frame_, &QTimer::timeout, this, [this] { GuardedCall([this] { Turn(); }); });
}

void TReceivePane::Receive(std::string_view bytes)
{
    if (bytes.empty())
        return;
    const Clock::time_point now = Now();
    const bool quiet = !lastArrival_ || now - *lastArrival_ >= milliseconds(StreamMs);
    const Clock::duration sinceLast = quiet ? Clock::duration::zero() : now - *lastArrival_;
    lastArrival_ = now;
    pending_.reserve(pending_.size() + bytes.size());
    const char* next = bytes.data();
    const char* const end = next + bytes.size();
    while (next != end) {
        // A run of plain characters goes in as it is, in one piece.
        const char* const plain = next;
        while (next != end && *next != '\0' && *next != '\r' && *next != '\n')
            ++next;
        if (next != plain) {
            pending_.append(plain, static_cast<std::size_t>(next - plain));
            endedWithCr_ = false;
            continue;
        }
        const char c = *next++;
        // A zero byte cannot be shown; the rest of its batch can.
        if (c == '\0')
            continue;
        // The pair's LF is taken out here rather than left to the view,
        // which would not know the CR came in an earlier read.
        if (c == '\n' && endedWithCr_) {
            endedWithCr_ = false;
            continue;
        }
        // A CR ends a line as an LF does; written as one, it cannot pair
        // up in the view with an LF that is a line end of its own.
        endedWithCr_ = c == '\r';
        pending_ += '\n';
    }
    // More than the view keeps would only be cut again once it is in. What
    // is left out is older than everything waiting, and everything in the
    // view is older still: the view then starts afresh with what waits, so
    // that it always shows an unbroken run of the newest text.
    // The text left out is only skipped, and given back once it is as
    // long as what is kept: a flood then moves each byte once, not once
    // per read.
    const std::size_t cap = static_cast<std::size_t>(KeptCharacters());
    if (Pending() > cap) {
        head_ = pending_.size() - cap;
        gap_ = true;
    }
    if (head_ >= cap) {
        pending_.erase(0, head_);
        head_ = 0;
    }
    // The turn is set by the oldest text waiting, so it is not put off by
    // what comes after.
    if (Pending() > 0 && !frame_.isActive())
        ScheduleTurn(now + milliseconds(quiet ? FrameMs : StreamMs));
    // A turn that falls due before the next arrival, if that comes after
    // about the same gap as this one (a quarter more, for the line's and
    // the threads' jitter), is taken with this arrival: the main thread is
    // awake for it now, and would otherwise be woken for the turn alone a
    // little later. Early, the view is only less behind.
    else if (frame_.isActive() && due_ > now &&
             due_ - now <= std::min(sinceLast + sinceLast / 4, Clock::duration(milliseconds(EarlyMs))))
        ScheduleTurn(now);
}

std::optional<TReceivePane::Clock::time_point> TReceivePane::TurnDue() const
{
    if (!frame_.isActive())
        return std::nullopt;
    return due_;
}

void TReceivePane::ScheduleTurn(Clock::time_point due)
{
    due_ = due;
    // Rounded down: the timer fires no earlier than asked, and a turn a
    // fraction early keeps the view within its bound.
    const auto wait = floor<milliseconds>(due - Now());
    frame_.start(static_cast<int>(std::max<milliseconds::rep>(wait.count(), 0)));
}

void TReceivePane::Turn()
{
    frame_.stop();
    Flush();
    // A backlog goes in a piece a frame, as fast as the view can take it.
    if (Pending() > 0)
        ScheduleTurn(Now() + milliseconds(FrameMs));
}

void TReceivePane::Clear()
{
    pending_.clear();
    head_ = 0;
    gap_ = false;
    frame_.stop();
    if (view_)
        view_->clear();
}

void TReceivePane::Flush()
{
    if (!view_) {
        pending_.clear();
        head_ = 0;
        return;
    }
    const std::size_t size = std::min(Pending(), Piece);
    if (size == 0)
        return;
    const QString text = QString::fromLatin1(pending_.data() + head_, static_cast<qsizetype>(size));
    head_ += size;
    if (head_ == pending_.size()) {
        pending_.clear();
        head_ = 0;
    }
    if (gap_) {
        gap_ = false;
        view_->clear();
    }
    Show(text);
}

void TReceivePane::Show(const QString& text)
{
    // The view's viewport takes no updates while the text goes in: scrolling
    // with updates on, the view measures how far its old top line moved,
    // laying out every line between it and the new one, only to repaint
    // the whole viewport anyway. Turned on again, it is repainted once.
    QWidget* viewport = view_->viewport();
    viewport->setUpdatesEnabled(false);
    bar_->Hold();
    const auto updatesBack = qScopeGuard([this, viewport] {
        viewport->setUpdatesEnabled(true);
        bar_->Release();
    });

    QTextCursor caret = view_->textCursor();
    // Text that goes in at the end scrolls the view to its end. Done first,
    // by the scroll bar, the view's move to the caret below has no way to
    // go, where it would otherwise lay out every line it passes.
    const bool atEnd = caret.atEnd();
    caret.insertText(text);

    // A board that floods the line must not eat memory without end: the
    // oldest text goes once the view is well past its limit. Cutting a
    // sixteenth at a time keeps the cost of cutting small per character.
    // The cut is a change of its own, at the start: joined with the
    // insertion at the caret it would be one change spanning the whole
    // text, and the view would lay all of it out again.
    QTextDocument* document = view_->document();
    const int length = document->characterCount() - 1;
    const int limit = KeptCharacters();
    if (length - limit > limit / 16) {
        QTextCursor oldest(document);
        oldest.setPosition(length - limit, QTextCursor::KeepAnchor);
        oldest.removeSelectedText();
    }

    if (atEnd)
        bar_->setValue(bar_->maximum());
    view_->setTextCursor(caret);
}
