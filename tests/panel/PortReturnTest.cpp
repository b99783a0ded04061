// Unplugging and replugging as the operator meets it: the window closes a
// port whose device went away, says so once, refuses commands, and opens
// the port again when the same device returns at the same path or under
// the same stable name.
#include "panel/PortReturn.h"
#include "tests/panel/WindowFixture.h"
#include "tests/support/Capture.h"
#include "tests/support/Pump.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

int Entries(const char* folder)
{
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

// Points `link` at `target` the way the virtual board's --link does.
void Relink(const QString& link, const std::string& target)
{
    ::unlink(link.toLocal8Bit().constData());
    ASSERT_EQ(::symlink(target.c_str(), link.toLocal8Bit().constData()), 0);
}

class PortReturnTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(folder.isValid());
        link = folder.filePath(QStringLiteral("board.tty"));
        line = std::make_unique<PtyPair>();
        Relink(link, line->SlavePath());
        form->ComPort1->SetPort(link);
        form->OpenRS2321->trigger();
        ASSERT_TRUE(form->ComPort1->Connected());
    }

    // The far end goes; the window has noticed once the port is closed.
    void Vanish()
    {
        line->HangUp();
        ASSERT_TRUE(PumpUntil([&] { return !form->ComPort1->Connected(); }));
    }

    // A new device at the link's place.
    void Return()
    {
        line = std::make_unique<PtyPair>();
        Relink(link, line->SlavePath());
    }

    // One change notification: the operator's key goes down. (Its release
    // would go to a message box the press raised.)
    void Press(QWidget* control, Qt::Key key)
    {
        control->setFocus();
        QTest::keyPress(control, key);
    }

    void ExpectShownOpen(bool open)
    {
        EXPECT_EQ(form->ComLed1->State(), open ? lsOn : lsOff);
        EXPECT_EQ(form->OPEN_PORT->text(), open ? "CLOSE" : "OPEN");
        EXPECT_EQ(form->StatusPanels[0]->text(), open ? "PORT=OPEN" : "PORT=CLOSE");
    }

    QTemporaryDir folder;
    QString link;
    std::unique_ptr<PtyPair> line;
};

TEST_F(PortReturnTest, AVanishedDeviceClosesThePortSaysSoOnceAndRefusesCommands)
{
    Vanish();
    ExpectShownOpen(false);
    QMessageBox* message = form->PortReturn().LostMessage();
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->isVisible());
    EXPECT_FALSE(message->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "nothing the operator must answer first";
    EXPECT_TRUE(message->text().contains(link)) << message->text().toStdString();

    const auto boxes = AnswerBoxes([&] { Press(form->REDTrack, Qt::Key_Right); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, NotConnectedMessage);
    EXPECT_TRUE(form->PortReturn().Waiting());
}

TEST_F(PortReturnTest, TheSameDeviceAtTheSamePathIsOpenedAgainAndSentNothing)
{
    Vanish();
    Return();
    ASSERT_TRUE(PumpUntil([&] { return form->ComPort1->Connected(); }));
    ExpectShownOpen(true);
    EXPECT_EQ(form->StatusPanels[1]->text(), "PORT = " + link);
    EXPECT_FALSE(form->PortReturn().Waiting());
    EXPECT_TRUE(form->PortReturn().LostMessage()->text().contains("opened again"));
    EXPECT_EQ(line->Receive(1, 200ms), "") << "reopening sends nothing";
    // And the line works as one opened by hand.
    Key(form->REDTrack, Qt::Key_Right);
    EXPECT_EQ(line->Receive(9, 250ms), "01410141");
}

TEST_F(PortReturnTest, TheOperatorsToggleEndsTheWaiting)
{
    Vanish();
    // The device is not there: the toggle's open fails as any would.
    ErrorCapture errors;
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    ASSERT_EQ(errors.Messages().size(), 1u);
    EXPECT_EQ(errors.Messages()[0].rfind("Unable to open com port", 0), 0u) << errors.Messages()[0];
    EXPECT_FALSE(form->PortReturn().Waiting());
    Return();
    PumpFor(300ms);
    EXPECT_FALSE(form->ComPort1->Connected());
    ExpectShownOpen(false);
}

TEST_F(PortReturnTest, AWriteOnAHungUpLineBeforeTheWaitNoticedGivesOneBoxThenRefusals)
{
    ErrorCapture errors;
    line->HangUp();
    // The key runs its handler at once, before the event loop could hand
    // the event wait's report over.
    const auto first = AnswerBoxes([&] { Press(form->REDTrack, Qt::Key_Right); });
    EXPECT_TRUE(first.empty());
    ASSERT_EQ(errors.Messages().size(), 1u);
    EXPECT_EQ(errors.Messages()[0].rfind("WriteFile function failed", 0), 0u) << errors.Messages()[0];
    ASSERT_TRUE(PumpUntil([&] { return !form->ComPort1->Connected(); }));
    ExpectShownOpen(false);
    const auto later = AnswerBoxes([&] { Press(form->GREENTrack, Qt::Key_Right); });
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].text, NotConnectedMessage);
    EXPECT_EQ(errors.Messages().size(), 1u) << "no write was tried on the closed port";
}

TEST_F(PortReturnTest, ManyVanishReturnCyclesLeaveNoDescriptorThreadOrMessageBehind)
{
    // The first cycle makes what lives on (the message, Qt's own helpers).
    Vanish();
    Return();
    ASSERT_TRUE(PumpUntil([&] { return form->ComPort1->Connected(); }));
    const int descriptors = Entries("/proc/self/fd");
    const int threads = Entries("/proc/self/task");
    for (int cycle = 0; cycle < 200; ++cycle) {
        Vanish();
        Return();
        ASSERT_TRUE(PumpUntil([&] { return form->ComPort1->Connected(); })) << "cycle " << cycle;
    }
    EXPECT_EQ(Entries("/proc/self/fd"), descriptors);
    EXPECT_EQ(Entries("/proc/self/task"), threads);
    EXPECT_EQ(form->findChildren<QMessageBox*>().size(), 1) << "one message, rewritten";
}

// A pseudo-terminal's number goes to whichever program opens the next one:
// that one is somebody else's line, never the lost device come back.
TEST(PortReturnPseudoTerminalTest, ANewPseudoTerminalAtTheOldNumberIsLeftAlone)
{
    TZARIDOForm1 form;
    form.show();
    auto first = std::make_unique<PtyPair>();
    const std::string path = first->SlavePath();
    form.ComPort1->SetPort(QString::fromStdString(path));
    form.OpenRS2321->trigger();
    first->HangUp();
    ASSERT_TRUE(PumpUntil([&] { return !form.ComPort1->Connected(); }));
    // The lowest free number is given out next; other programs may take
    // it first, so a few are tried.
    std::vector<std::unique_ptr<PtyPair>> others;
    while (others.size() < 16 && (others.empty() || others.back()->SlavePath() != path))
        others.push_back(std::make_unique<PtyPair>());
    if (others.back()->SlavePath() != path)
        GTEST_SKIP() << "no new pseudo-terminal got " << path;
    ::chmod(path.c_str(), 0620); // as grantpt does: the node's attributes change
    PumpFor(300ms);
    EXPECT_FALSE(form.ComPort1->Connected());
    EXPECT_TRUE(form.PortReturn().Waiting());
}

// A device with a stable name may come back under another node; the
// stable name is what identifies it.
TEST(PortReturnStableNameTest, TheSameStableNameIsFollowedToItsNewNode)
{
    QTemporaryDir byId;
    ASSERT_TRUE(byId.isValid());
    const QString stable = byId.filePath(QStringLiteral("usb-Maker_Adapter_A1-if00-port0"));
    TZARIDOForm1 form;
    form.show();
    form.PortReturn().SetStableNameFolder(byId.path());
    auto first = std::make_unique<PtyPair>();
    Relink(stable, first->SlavePath());
    form.ComPort1->SetPort(QString::fromStdString(first->SlavePath()));
    form.OpenRS2321->trigger();
    ASSERT_TRUE(form.ComPort1->Connected());
    EXPECT_EQ(form.PortReturn().StableName(), stable);

    // Another pseudo-terminal takes the old node's place as the device
    // comes back under a new one: the old path is not the device.
    first->HangUp();
    ASSERT_TRUE(PumpUntil([&] { return !form.ComPort1->Connected(); }));
    PtyPair decoy;
    ::unlink(stable.toLocal8Bit().constData());
    PtyPair second;
    Relink(stable, second.SlavePath());
    ASSERT_TRUE(PumpUntil([&] { return form.ComPort1->Connected(); }));
    EXPECT_EQ(form.ComPort1->Port().toStdString(), second.SlavePath());
    EXPECT_EQ(form.StatusPanels[1]->text().toStdString(), "PORT = " + second.SlavePath());
}

} // namespace
