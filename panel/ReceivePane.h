// The receive pane: what the board sends, shown in the window's plain-text
// view. Every byte is one character (Latin-1); a zero byte is left out; a
// CR, an LF and a CR LF pair each end one line, also a pair that the line
// splits between two reads. Received text goes in at the view's caret,
// replacing what the operator has selected, and the caret then stands after
// it. The view keeps at least the newest Limit characters.
//
// Bytes are taken as they arrive, but the view gets them in turns: laying
// out and painting the view for every arrival costs far more than the few
// characters each one brings, and nobody reads faster than a screen
// refreshes. Text that comes after a quiet spell is shown within a frame;
// while the line streams, the view takes what waits once the oldest of it
// has waited StreamMs, so that it is never further behind than that and
// takes a turn about ten times a second. The turn's timer runs only while
// text waits, so an idle pane costs nothing.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QPlainTextEdit;
class TSteadyScrollBar;

class TReceivePane : public QObject {
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    // The pane lives as long as `view`, whose child it becomes.
    explicit TReceivePane(QPlainTextEdit* view);

    // When a turn's text takes the view further than a sixteenth beyond
    // this many characters, the oldest text (at its start) goes, down to
    // this many.
    static constexpr int DefaultLimit = 1 << 20;
    int Limit = DefaultLimit;
    int KeptCharacters() const { return std::max(Limit, 1); }

    // The longest text waits after a quiet spell: a frame at 30 Hz.
    static constexpr int FrameMs = 33;
    // The longest text waits while the line streams: arrivals closer
    // together than this are a stream.
    static constexpr int StreamMs = 100;
    // A turn due within this long (and before the next arrival, judged by
    // the gap before this one) is taken with the arrival, in the same
    // wake-up of the main thread, rather than on a wake-up of its own.
    static constexpr int EarlyMs = 25;
    // The most one turn puts into the view, so that a backlog does not hold
    // up painting and input; what is left goes a frame later.
    static constexpr std::size_t Piece = 32 * 1024;

    // Where the pane reads the time; a test sets a clock of its own.
    std::function<Clock::time_point()> Now = [] { return Clock::now(); };

    // Takes in what the line delivered.
    void Receive(std::string_view bytes);
    // Empties the view. What was received before and waits for its turn
    // goes too: it is older than the operator's click.
    void Clear();

    // Characters received and not yet in the view.
    std::size_t Pending() const { return pending_.size() - head_; }
    // Whether a turn of the view is due, and when.
    bool FrameDue() const { return frame_.isActive(); }
    std::optional<Clock::time_point> TurnDue() const;
    // The view's turn: what waits goes in, a piece at most. The turn's
    // timer calls it when it is due.
    void Turn();

private:
    void ScheduleTurn(Clock::time_point due);
    void Flush();
    void Show(const QString& text);

    QPointer<QPlainTextEdit> view_;
    QPointer<TSteadyScrollBar> bar_;  // the view's, replaced by one that holds still
    QTimer frame_;
    Clock::time_point due_;
    // The last arrival, to tell a stream from text after a quiet spell.
    std::optional<Clock::time_point> lastArrival_;
    // What waits starts at head_; the text before it was left out.
    std::string pending_;
    std::size_t head_ = 0;
    // Waiting text was left out for want of room: the view's text is older
    // than the gap and goes when the view next gets its turn.
    bool gap_ = false;
    // The last byte taken in was a CR, so an LF that follows is its pair.
    bool endedWithCr_ = false;
};
