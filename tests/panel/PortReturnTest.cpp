// Unplugging and replugging as the operator meets it: the window closes a
// port whose device went away, says so once, refuses commands, and opens
// the port again when the same device returns at the same path or under
// the same stable name.
#include "panel/PortNotice.h"
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
    TPortNotice* notice = form->PortReturn().LostNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "nothing the operator must answer first";
    EXPECT_TRUE(notice->Text().contains(link)) << notice->Text().toStdString();

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
    EXPECT_TRUE(form->PortReturn().LostNotice()->Text().contains("opened again"));
    EXPECT_EQ(line->Receive(1, 200ms), "") << "reopening sends nothing";
    // And the line works as one opened by hand.
    Key(form->REDTrack, Qt::Key_Right);
    EXPECT_EQ(line->Receive(9, 250ms), "01410141");
}

// The operator's view of the window: every control it shows, in screen
// coordinates.
std::vector<std::pair<QString, QRect>> ShownControls(QWidget* window)
{
    std::vector<std::pair<QString, QRect>> controls;
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (control->window() == window && control->isVisible())
            controls.emplace_back(control->objectName(), QRect(control->mapToGlobal(QPoint(0, 0)), control->size()));
    }
    return controls;
}

TEST_F(PortReturnTest, TheNoticeCoversNoControlAndTheOperatorGoesOnOnceThePortIsBack)
{
    form->GREENTrack->setFocus();
    Vanish();
    TPortNotice* notice = form->PortReturn().LostNotice();
    ASSERT_NE(notice, nullptr);
    ASSERT_TRUE(notice->isVisible());
    EXPECT_EQ(QApplication::activeWindow(), form.get()) << "the notice took the keyboard";
    EXPECT_EQ(QApplication::focusWidget(), form->GREENTrack);
    for (const auto& [name, rect] : ShownControls(form.get()))
        EXPECT_FALSE(rect.intersects(notice->frameGeometry())) << name.toStdString() << " is covered";
    const QString lostText = notice->Text();

    Return();
    ASSERT_TRUE(PumpUntil([&] { return form->ComPort1->Connected(); }));
    // Both times stay readable until the operator dismisses them.
    ASSERT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->Kind(), TPortNotice::TKind::Information);
    const QString lostAt = lostText.section(QStringLiteral(" went away at "), 1).left(8);
    EXPECT_TRUE(notice->Text().contains("went away at " + lostAt + " and was opened again at "))
        << notice->Text().toStdString();
    for (const auto& [name, rect] : ShownControls(form.get()))
        EXPECT_FALSE(rect.intersects(notice->frameGeometry())) << name.toStdString() << " is covered";

    // The operator clicks LED-1's groove to the right of its handle (a page
    // step, sent again as the button comes up), then presses a key: both
    // reach the board, and nothing asks first.
    const QPoint groove = RightOnGroove(form->REDTrack);
    EXPECT_EQ(QApplication::widgetAt(form->mapToGlobal(groove)), form->REDTrack);
    const auto boxes = AnswerBoxes([&] {
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, groove);
        ASSERT_EQ(QApplication::focusWidget(), form->REDTrack);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    });
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(line->Receive(17, 250ms), "0142" "0142" "0143" "0143");
    EXPECT_TRUE(notice->isVisible());
}

TEST_F(PortReturnTest, ADismissedNoticeStaysAwayUntilTheNextLossWhichReusesIt)
{
    Vanish();
    TPortNotice* notice = form->PortReturn().LostNotice();
    ASSERT_NE(notice, nullptr);
    QTest::mouseClick(notice->DismissButton(), Qt::LeftButton);
    EXPECT_FALSE(notice->isVisible());
    Return();
    ASSERT_TRUE(PumpUntil([&] { return form->ComPort1->Connected(); }));
    EXPECT_FALSE(notice->isVisible()) << "the operator has seen the loss off";

    Vanish();
    EXPECT_EQ(form->PortReturn().LostNotice(), notice);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->Kind(), TPortNotice::TKind::Warning);
    EXPECT_FALSE(notice->Text().contains("and was opened again")) << notice->Text().toStdString();
}

TEST(PortNoticePlaceTest, BelowBesideOrAboveTheWindowWhereTheScreenHasRoomElseOverTheSpareControl)
{
    const QSize size(441, 60);
    const QRect window(258, 144, 696, 315); // bottom 458, right 953
    const QRect spare(window.left() + 4, window.top() + 200, 441, 89);
    const struct {
        const char* where;
        QRect available, window;
        QPoint expected;
    } cases[] = {
        {"below", {0, 0, 1280, 1024}, window, {258, 463}},
        {"below, slid left onto the screen", {0, 0, 800, 1024}, {400, 144, 400, 315}, {359, 463}},
        {"right", {0, 0, 1400, 500}, window, {958, 399}},
        {"left", {0, 0, 1200, 500}, {500, 144, 696, 315}, {55, 399}},
        {"above", {0, 0, 960, 500}, window, {258, 80}},
        {"over the spare control", {0, 0, 960, 480}, {0, 20, 960, 460}, spare.topLeft()},
        {"over it, moved onto the screen", {0, 0, 700, 300}, {0, 0, 700, 300}, {259, 240}},
    };
    for (const auto& c : cases) {
        const QRect placed = NoticePlace(size, c.window, c.available, spare);
        EXPECT_EQ(placed, QRect(c.expected, size)) << c.where;
    }
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
    EXPECT_EQ(form->findChildren<TPortNotice*>().size(), 1) << "one notice, rewritten";
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
