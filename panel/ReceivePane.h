// The receive pane: what the board sends, shown in the window's plain-text
// view. Every byte is one character (Latin-1); a zero byte is left out; a
// CR, an LF and a CR LF pair each end one line, also a pair that the line
// splits between two reads. Received text goes in at the view's caret,
// replacing what the operator has selected, and the caret then stands after
// it. The view keeps at least the newest Limit characters.
//
// Bytes are taken as they arrive, but the view gets them at most once a
// frame: laying out and painting the view for every arrival costs far more
// than the few characters each one brings, and nobody reads faster than a
// screen refreshes. The frame's timer runs only while text waits, so an
// idle pane costs nothing.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

class QPlainTextEdit;

class TReceivePane : public QObject {
    Q_OBJECT

public:
    // The pane lives as long as `view`, whose child it becomes.
    explicit TReceivePane(QPlainTextEdit* view);

    // When a frame's text takes the view further than a sixteenth beyond
    // this many characters, the oldest text (at its start) goes, down to
    // this many.
    static constexpr int DefaultLimit = 1 << 20;
    int Limit = DefaultLimit;
    int KeptCharacters() const { return std::max(Limit, 1); }

    // The least time between two turns of the view: a frame at 30 Hz,
    // which is as often as anybody reads a log scrolling by.
    static constexpr int FrameMs = 33;
    // The most one turn puts into the view, so that a backlog does not hold
    // up painting and input; what is left waits for the next frame.
    static constexpr std::size_t Piece = 32 * 1024;

    // Takes in what the line delivered.
    void Receive(std::string_view bytes);
    // Empties the view. What was received before and waits for its frame
    // goes too: it is older than the operator's click.
    void Clear();

    // Characters received and not yet in the view.
    std::size_t Pending() const { return pending_.size() - head_; }
    // Whether a turn of the view is due.
    bool FrameDue() const { return frame_.isActive(); }

private:
    void Flush();
    void Show(const QString& text);

    QPointer<QPlainTextEdit> view_;
    QTimer frame_;
    // What waits starts at head_; the text before it was left out.
    std::string pending_;
    std::size_t head_ = 0;
    // Waiting text was left out for want of room: the view's text is older
    // than the gap and goes when the view next gets its turn.
    bool gap_ = false;
    // The last byte taken in was a CR, so an LF that follows is its pair.
    bool endedWithCr_ = false;
};
