// The receive pane on its own view and in the window: text taken in faster
// than frames, when the view takes its turns (on a clock the test moves),
// pieces of a backlog, the bound, CLEAR WINDOW and closing while text waits
// for its frame.
#include "panel/ReceivePane.h"
#include "tests/panel/WindowFixture.h"
#include "tests/support/Pump.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

QString Latin1(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

class ReceivePaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.resize(441, 89);
        view.setUndoRedoEnabled(false);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        QObject::connect(view.document(), &QTextDocument::contentsChange, [this](int, int removed, int added) {
            if (removed == 0 && added > 0)
                ++insertions;
        });
    }
    bool FramesDone() { return PumpUntil([&] { return !pane->FrameDue(); }); }

    QPlainTextEdit view;
    TReceivePane* pane = new TReceivePane(&view);
    int insertions = 0;
};

// The pane on a clock the test moves: arrivals at given moments, and the
// view's turns whenever the pane says one is due, as its timer would take
// them; how long each arrival waited until the view showed it. A turn is
// counted as the view's insertion, also one that the pane's own timer
// took while the test let the event loop run.
class PacedPaneTest : public ReceivePaneTest {
protected:
    using Clock = TReceivePane::Clock;

    void SetUp() override
    {
        ReceivePaneTest::SetUp();
        pane->Now = [this] { return now; };
    }
    void Run(Clock::duration span)
    {
        const Clock::time_point until = now + span;
        for (auto due = pane->TurnDue(); due && *due <= until; due = pane->TurnDue()) {
            now = std::max(now, *due);
            if (arrivals.empty() || arrivals.back().at != now)
                ++turnsAlone;
            pane->Turn();
            for (Arrival& arrival : arrivals)
                if (!arrival.waited && arrival.end <= static_cast<std::size_t>(view.toPlainText().size()))
                    arrival.waited = now - arrival.at;
        }
        now = until;
    }
    void Arrive(Clock::duration after, const std::string& text)
    {
        Run(after);
        sent += text;
        arrivals.push_back({now, sent.size(), std::nullopt});
        pane->Receive(text);
    }
    // The longest wait of the arrivals from `first` on; unshown ones wait for ever.
    Clock::duration LongestWait(std::size_t first) const
    {
        Clock::duration longest{};
        for (std::size_t i = first; i < arrivals.size(); ++i)
            longest = std::max(longest, arrivals[i].waited.value_or(Clock::duration::max()));
        return longest;
    }

    struct Arrival {
        Clock::time_point at;
        std::size_t end;
        std::optional<Clock::duration> waited;
    };
    Clock::time_point now = Clock::time_point{} + std::chrono::hours(1);
    std::vector<Arrival> arrivals;
    std::string sent;
    // The view's turns: each puts what waited into the view in one insertion.
    const int& turns = insertions;
    // Turns taken at a moment when nothing arrived: the main thread woke
    // for them alone.
    int turnsAlone = 0;
};

std::string NumberedLine(int n)
{
    char line[40];
    std::snprintf(line, sizeof line, "%010d OK LED-1 99.99%%     \n", n);
    return line;
}

} // namespace

TEST_F(PacedPaneTest, TextAfterAQuietSpellComesWithinAFrameAndAStreamIsNeverFurtherBehindThanItsBound)
{
    const auto frame = std::chrono::milliseconds(TReceivePane::FrameMs);
    const auto bound = std::chrono::milliseconds(TReceivePane::StreamMs);

    // A first answer, and answers further apart than a stream's arrivals.
    for (int n = 0; n < 6; ++n)
        Arrive(bound + 50ms, "answer " + std::to_string(n) + "\n");
    Run(1s);
    EXPECT_LE(LongestWait(0), frame);

    // A steady stream at 115 200 baud's pace, 115 bytes every 10 ms, then
    // one with uneven gaps: never more than the bound behind, and far fewer
    // turns than a frame rate would take.
    const std::size_t stream = arrivals.size();
    const int turnsBefore = turns;
    std::string lines;
    for (int n = 0; n < 2000; ++n)
        lines += NumberedLine(n);
    const int aloneBefore = turnsAlone;
    for (int n = 0; n < 300; ++n)
        Arrive(10ms, lines.substr(115 * n, 115));
    // Each turn of the steady stream falls due before the next arrival and
    // is taken with the arrival before it: none wakes the main thread alone.
    EXPECT_EQ(turnsAlone, aloneBefore);
    const int gaps[] = {1, 37, 2, 60, 15, 90, 3, 3, 45, 20};
    for (int n = 0; n < 200; ++n)
        Arrive(std::chrono::milliseconds(gaps[n % 10]), NumberedLine(n));
    const auto streamed = now - arrivals[stream].at;
    Run(1s);
    EXPECT_LE(LongestWait(stream), bound);
    EXPECT_LE(turns - turnsBefore, streamed / bound + 2);

    // Quiet again: the next answer is back within a frame, all of it is
    // there exactly, the caret after it and its last line in view.
    const std::size_t quiet = arrivals.size();
    Arrive(500ms, "after the stream\n");
    Run(1s);
    EXPECT_LE(LongestWait(quiet), frame);
    EXPECT_TRUE(view.toPlainText() == Latin1(sent));
    EXPECT_EQ(view.textCursor().position(), view.toPlainText().size());
    EXPECT_TRUE(view.viewport()->rect().contains(view.cursorRect()));
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());

    // The operator clicks into the first line: later text goes there, and
    // the view follows that caret, not the end.
    QTextCursor caret(view.document());
    caret.setPosition(6);
    view.setTextCursor(caret);
    Arrive(1s, "<here>");
    Run(1s);
    EXPECT_TRUE(view.toPlainText().startsWith("answer<here> 0"));
    EXPECT_TRUE(view.viewport()->rect().contains(view.cursorRect()));
    EXPECT_LT(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
}

TEST_F(PacedPaneTest, TheScrollBarIsRepaintedWhenItsHandleMovesNotAtEveryTurn)
{
    struct PaintCount : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override { paints += event->type() == QEvent::Paint; return false; }
    } bar, viewport;
    QScrollBar* scroll = view.verticalScrollBar();
    // A focused view blinks its caret on the wall clock, and every blink
    // paints the viewport: on a slow run (the stream takes seconds under
    // wine) those paints would be counted as the pane's turns.
    view.clearFocus();
    scroll->installEventFilter(&bar);
    view.viewport()->installEventFilter(&viewport);
    const auto stream = [&](int from, int count) {
        for (int n = from; n < from + count; ++n) {
            Arrive(3ms, NumberedLine(n));
            QCoreApplication::processEvents();
        }
        Run(1s);
        QCoreApplication::processEvents();
    };

    // Some screens of text: the handle shrinks to its least length and
    // stays at the bottom while the text is painted once a turn.
    stream(0, 300);
    const int barPaints = bar.paints;
    const int viewPaints = viewport.paints;
    const int turnsBefore = turns;
    stream(300, 2000);
    EXPECT_GT(turns - turnsBefore, 50);
    EXPECT_EQ(viewport.paints - viewPaints, turns - turnsBefore);
    EXPECT_LE(bar.paints - barPaints, 2);

    // Scrolled to the top by the operator it is painted again, and again
    // when the next text takes the view back to the caret at the end.
    int before = bar.paints;
    scroll->setValue(0);
    QCoreApplication::processEvents();
    EXPECT_GT(bar.paints, before);
    before = bar.paints;
    stream(2300, 1);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    EXPECT_GT(bar.paints, before);
}

TEST_F(ReceivePaneTest, TextFasterThanFramesGoesInOnceAndExactlyAsSent)
{
    EXPECT_FALSE(pane->FrameDue()) << "an idle pane waits for nothing";
    pane->Receive(std::string("\0", 1));
    EXPECT_FALSE(pane->FrameDue()) << "nothing to show";

    // Many reads within one frame, with line ends split between them.
    std::string expected;
    for (int n = 0; n < 400; ++n) {
        const std::string line = "answer " + std::to_string(n);
        pane->Receive(line + "\r");
        pane->Receive(n % 3 ? std::string("\n", 1) : std::string("\0\n", 2));
        expected += line + "\n";
    }
    // A pair, then an LF of its own: two line ends, not one.
    pane->Receive("\r\n\n\xE4\xFF");
    expected += "\n\n\xE4\xFF";
    EXPECT_TRUE(view.toPlainText().isEmpty()) << "nothing before the frame";
    EXPECT_TRUE(pane->FrameDue());
    ASSERT_TRUE(FramesDone());
    EXPECT_EQ(insertions, 1);
    EXPECT_TRUE(view.toPlainText() == Latin1(expected));
    EXPECT_EQ(view.textCursor().position(), view.toPlainText().size());
    EXPECT_EQ(pane->Pending(), 0u);
}

TEST_F(ReceivePaneTest, ABacklogGoesInAPiecePerFrameInOrder)
{
    std::string sent;
    for (int n = 0; sent.size() < 2 * TReceivePane::Piece + 500; ++n)
        sent += "line " + std::to_string(n) + "\n";
    pane->Receive(sent);
    ASSERT_TRUE(PumpUntil([&] { return insertions == 1; }));
    EXPECT_EQ(pane->Pending(), sent.size() - TReceivePane::Piece) << "one piece a turn";
    EXPECT_TRUE(pane->FrameDue());
    ASSERT_TRUE(FramesDone());
    EXPECT_EQ(insertions, 3);
    EXPECT_TRUE(view.toPlainText() == Latin1(sent));
}

TEST_F(ReceivePaneTest, MoreThanTheBoundWithinAFrameStartsAfreshWithTheNewest)
{
    pane->Limit = 1000;
    view.setPlainText("older text");
    std::string sent;
    for (int n = 0; n < 500; ++n) {
        sent += "line " + std::to_string(n) + "\r";
        pane->Receive("line " + std::to_string(n) + "\r");
    }
    EXPECT_EQ(pane->Pending(), 1000u);
    ASSERT_TRUE(FramesDone());
    QString expected = Latin1(sent.substr(sent.size() - 1000));
    expected.replace('\r', '\n');
    EXPECT_TRUE(view.toPlainText() == expected) << view.toPlainText().left(80).toStdString();
}

TEST_F(ReceivePaneTest, ClearTakesTheWaitingTextAlongAndTheLineEndPairStaysOne)
{
    pane->Receive("shown\r\n");
    ASSERT_TRUE(FramesDone());
    pane->Receive("waiting\r");
    pane->Clear();
    EXPECT_FALSE(pane->FrameDue());
    PumpFor(3 * std::chrono::milliseconds(TReceivePane::FrameMs));
    EXPECT_TRUE(view.toPlainText().isEmpty());
    // The LF completes the cleared CR: no blank line at the top.
    pane->Receive("\nnext");
    ASSERT_TRUE(FramesDone());
    EXPECT_EQ(view.toPlainText(), "next");
}

// ---- in the window -----------------------------------------------------------------

TEST_F(WindowTest, ClearWindowWhileTextWaitsClearsThatTextToo)
{
    OpenPort();
    pty.Send("shown ");
    ASSERT_TRUE(PumpUntil([&] { return form->PORTW->toPlainText() == "shown "; }));
    // What the handler has read and the pane not yet shown.
    form->ReceivePane->Receive("waiting");
    QTest::mouseClick(form->CLEARW, Qt::LeftButton);
    PumpFor(3 * std::chrono::milliseconds(TReceivePane::FrameMs));
    EXPECT_TRUE(form->PORTW->toPlainText().isEmpty());
    pty.Send("after");
    ASSERT_TRUE(PumpUntil([&] { return form->PORTW->toPlainText() == "after"; }));
}

TEST_F(WindowTest, TextWaitingWhenTheWindowClosesDoesNoHarm)
{
    OpenPort();
    form->ReceivePane->Receive("last words");
    QTest::mouseClick(form->EXITBUT, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    ASSERT_TRUE(PumpUntil([&] { return !form->ReceivePane->FrameDue(); }));
    EXPECT_EQ(form->PORTW->toPlainText(), "last words");

    // Gone with its frame still due: the frame goes with it.
    form->ReceivePane->Receive(" and more");
    ASSERT_TRUE(form->ReceivePane->FrameDue());
    form.reset();
    PumpFor(3 * std::chrono::milliseconds(TReceivePane::FrameMs));
}
