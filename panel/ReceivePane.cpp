// The receive pane: arrivals gathered and shown once a frame.
#include "panel/ReceivePane.h"

#include "framework/ErrorDisplay.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

TReceivePane::TReceivePane(QPlainTextEdit* view)
    : QObject(view), view_(view)
{
    setObjectName(QStringLiteral("ReceivePane"));
    frame_.setSingleShot(true);
    frame_.setTimerType(Qt::PreciseTimer);
    frame_.setInterval(FrameMs);
    connect(&frame_, &QTimer::timeout, this, [this] { GuardedCall([this] { Flush(); }); });
}

void TReceivePane::Receive(std::string_view bytes)
{
    pending_.reserve(pending_.size() + bytes.size());
    for (const char c : bytes) {
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
        pending_ += endedWithCr_ ? '\n' : c;
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
    if (Pending() > 0 && !frame_.isActive())
        frame_.start();
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
    if (Pending() > 0)
        frame_.start();
}

void TReceivePane::Show(const QString& text)
{
    QTextCursor caret = view_->textCursor();
    caret.insertText(text);
    view_->setTextCursor(caret);

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
}
