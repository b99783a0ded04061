// The receive pane on its own view and in the window: text taken in faster
// than frames, pieces of a backlog, the bound, CLEAR WINDOW and closing
// while text waits for its frame.
#include "panel/ReceivePane.h"
#include "tests/panel/WindowFixture.h"
#include "tests/support/Pump.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include <memory>
#include <string>

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

} // namespace

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
