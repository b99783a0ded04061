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
// them. Tells how long each arrival waited until the view showed it.
class PacedPaneTest : public ReceivePaneTest {
protected:
    using Clock = TReceivePane::Clock;

    void SetUp() override
    {
        ReceivePaneTest::SetUp();
        pane->Now = [this] { return now; };
    }

    // Runs the clock to `until`, taking the turns that fall due on the way.
    void RunTo(Clock::time_point until)
    {
        while (const auto due = pane->TurnDue()) {
            if (*due > until)
                break;
            now = std::max(now, *due);
            pane->Turn();
            ++turns;
            const auto shown = static_cast<std::size_t>(view.toPlainText().size());
            for (Arrival& arrival : arrivals)
                if (!arrival.shownAfter && arrival.textEnd <= shown)
                    arrival.shownAfter = now - arrival.at;
        }
        now = until;
    }
    // `text` arrives `after` the last arrival (or the start).
    void Arrive(Clock::duration after, const std::string& text)
    {
        RunTo(now + after);
        sent += text;
        arrivals.push_back({now, sent.size(), std::nullopt});
        pane->Receive(text);
    }
    // The longest wait of arrivals [from, to).
    Clock::duration LongestWait(std::size_t from, std::size_t to) const
    {
        Clock::duration longest{};
        for (std::size_t i = from; i < to; ++i) {
            EXPECT_TRUE(arrivals[i].shownAfter) << "arrival " << i << " never shown";
            longest = std::max(longest, arrivals[i].shownAfter.value_or(Clock::duration::max()));
        }
        return longest;
    }

    struct Arrival {
        Clock::time_point at;
        std::size_t textEnd;
        std::optional<Clock::duration> shownAfter;
    };
    Clock::time_point now = Clock::time_point{} + std::chrono::hours(1);
    std::vector<Arrival> arrivals;
    std::string sent;
    int turns = 0;
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
    Arrive(0ms, "first answer\n");
    for (int n = 0; n < 5; ++n)
        Arrive(bound + 50ms, "answer " + std::to_string(n) + "\n");
    RunTo(now + 1s);
    EXPECT_LE(LongestWait(0, arrivals.size()), frame);

    // A steady stream at 115 200 baud's pace, 115 bytes every 10 ms, then
    // one with uneven gaps: never more than the bound behind, and the view
    // takes far fewer turns than a frame rate would give it.
    const std::size_t streamStart = arrivals.size();
    const int turnsBefore = turns;
    int line = 0;
    std::string pieces;
    for (int n = 0; n < 300; ++n) {
        while (pieces.size() < 115)
            pieces += NumberedLine(line++);
        Arrive(10ms, pieces.substr(0, 115));
        pieces.erase(0, 115);
    }
    const int gaps[] = {1, 37, 2, 60, 15, 90, 3, 3, 45, 20};
    for (int n = 0; n < 200; ++n)
        Arrive(std::chrono::milliseconds(gaps[n % 10]), NumberedLine(line++));
    const std::size_t streamEnd = arrivals.size();
    RunTo(now + 1s);
    EXPECT_LE(LongestWait(streamStart, streamEnd), bound);
    const auto streamed = std::chrono::duration_cast<std::chrono::milliseconds>(
        arrivals[streamEnd - 1].at - arrivals[streamStart].at);
    EXPECT_LE(turns - turnsBefore, streamed / bound + 2) << "turns taken at most every " << bound.count() << " ms";

    // Quiet again: the next answer is back within a frame.
    Arrive(500ms, "after the stream\n");
    RunTo(now + 1s);
    EXPECT_LE(LongestWait(streamEnd, arrivals.size()), frame);

    // All of it, exactly, with the caret after it and its last line in view.
    EXPECT_TRUE(view.toPlainText() == Latin1(sent));
    EXPECT_EQ(view.textCursor().position(), view.toPlainText().size());
    EXPECT_TRUE(view.viewport()->rect().contains(view.cursorRect()));
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
}

TEST_F(PacedPaneTest, TextInsertedAtACaretInEarlierTextKeepsThatCaretInView)
{
    for (int n = 0; n < 100; ++n)
        Arrive(1ms, NumberedLine(n));
    RunTo(now + 1s);
    // The operator clicks into the first line: later text goes there, and
    // the view follows the caret, not the end.
    QTextCursor caret(view.document());
    caret.setPosition(5);
    view.setTextCursor(caret);
    Arrive(1s, "<here>");
    RunTo(now + 1s);
    EXPECT_TRUE(view.toPlainText().startsWith("00000<here>00000"));
    EXPECT_EQ(view.textCursor().position(), 11);
    EXPECT_TRUE(view.viewport()->rect().contains(view.cursorRect()));
    EXPECT_LT(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
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

TEST_F(PacedPaneTest, TheScrollBarIsRepaintedWhenItsHandleMovesNotAtEveryTurn)
{
    struct PaintCount : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } bar, viewport;
    QScrollBar* scroll = view.verticalScrollBar();
    scroll->installEventFilter(&bar);
    view.viewport()->installEventFilter(&viewport);
    const auto stream = [&](int from, int count) {
        for (int n = from; n < from + count; ++n) {
            Arrive(3ms, NumberedLine(n));
            QCoreApplication::processEvents();
        }
        RunTo(now + 1s);
        QCoreApplication::processEvents();
    };

    // Some screens of text: the handle shrinks to its least length.
    stream(0, 300);
    ASSERT_GT(scroll->maximum(), 200);
    const int barPaints = bar.paints;
    const int viewPaints = viewport.paints;
    const int turnsBefore = turns;
    stream(300, 2000);
    EXPECT_GT(turns - turnsBefore, 50);
    EXPECT_EQ(viewport.paints - viewPaints, turns - turnsBefore) << "the text is painted once a turn";
    EXPECT_LE(bar.paints - barPaints, 2) << "the bar looks the same after every turn";

    // Scrolled to the top by the operator, it is painted again; and again
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
