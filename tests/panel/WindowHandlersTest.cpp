// What each control change shows and sends: readouts first, then the
// command's exact bytes on the line; the refusal with the port closed;
// the radio buttons, the TGT-UP key-up and the sweep timer.
#include "panel/CaptionFit.h"
#include "tests/panel/WindowFixture.h"
#include "tests/support/Pump.h"

#include <QLocale>
#include <QTimer>

#include <functional>

using namespace std::chrono_literals;

namespace {

const char* const Refusal = "Cannot send command :OPEN THE RS232 PORT FIRST";

// What is left of a timer's wait after an action, beside what is left of a
// precise yardstick timer of `period` started just before the action. A
// wait that the action (re)started with that period falls due no earlier
// than the yardstick, however slow the machine; one that merely went on
// from before falls due earlier when less than `period` was left of it.
struct WaitAfter {
    int remaining;
    int yardstick;
};

WaitAfter WaitAfterAction(const QTimer& timer, int period, const std::function<void()>& action)
{
    QTimer yardstick;
    yardstick.setTimerType(Qt::PreciseTimer);
    yardstick.setSingleShot(true);
    yardstick.start(period);
    action();
    // The timer first: the yardstick is read no earlier, so it cannot
    // come out ahead merely because time passed between the two readings.
    const int remaining = timer.remainingTime();
    return {remaining, yardstick.remainingTime()};
}

} // namespace

TEST_F(WindowTest, ReadoutsAtTheEdgesOfTheirRanges)
{
    OpenPort();
    form->REDTrack->setValue(31);
    EXPECT_EQ(form->Rval->text(), "99.99%");
    form->GREENTrack->setValue(1);
    EXPECT_EQ(form->Gval->text(), "3.225%");
    form->BLUETrack->setValue(4);
    EXPECT_EQ(form->Bval->text(), "12.90%");
    form->BLUETrack->setValue(0);
    EXPECT_EQ(form->Bval->text(), "0%");
    form->IPEAKTrack->setValue(30);
    EXPECT_EQ(form->VALIPK->text(), "32.69mA");
    form->GD_STOP_Track->setValue(5);
    form->GD_STOP_Track->setValue(0);
    EXPECT_EQ(form->VAL_STOP->text(), "0.00mA");
    form->GD_START_Track->setValue(22);
    EXPECT_EQ(form->VAL_START->text(), "3.67mA");
    form->GD_WIDTH_Track->setValue(30);
    EXPECT_EQ(form->VAL_WIDTH->text(), "240ms");
    form->GD_WIDTH_Track->setValue(1);
    EXPECT_EQ(form->VAL_WIDTH->text(), "8ms");
    const std::string sent = "015F" "0261" "0384" "0380" "003E" "05C5" "05C0" "04B6" "06FE" "06E1";
    EXPECT_EQ(Line(sent), sent);
}

TEST_F(WindowTest, PercentUsesTheLocalesDecimalSeparator)
{
    LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    OpenPort();
    form->GREENTrack->setValue(1);
    EXPECT_EQ(form->Gval->text(), "3,225%");
    form->REDTrack->setValue(31);
    EXPECT_EQ(form->Rval->text(), "99,99%");
    EXPECT_EQ(Line("0261015F"), "0261015F");
}

TEST_F(WindowTest, EveryReadoutTextStaysInsideItsGroup)
{
    OpenPort();
    const struct {
        TTrackBar* slider;
        QLabel* readout;
    } pairs[] = {{form->IPEAKTrack, form->VALIPK},        {form->REDTrack, form->Rval},
                 {form->GREENTrack, form->Gval},          {form->BLUETrack, form->Bval},
                 {form->GD_START_Track, form->VAL_START}, {form->GD_STOP_Track, form->VAL_STOP},
                 {form->GD_WIDTH_Track, form->VAL_WIDTH}};
    for (const auto& pair : pairs) {
        for (int position = pair.slider->maximum(); position >= 0; --position) {
            pair.slider->setValue(position);
            SCOPED_TRACE(pair.readout->objectName().toStdString() + " " + pair.readout->text().toStdString());
            const int textWidth = QFontMetrics(pair.readout->font()).horizontalAdvance(pair.readout->text());
            EXPECT_LE(textWidth, pair.readout->width());
            EXPECT_LE(pair.readout->geometry().right(), pair.readout->parentWidget()->width() - 2);
            EXPECT_GE(pair.readout->font().stretch() == QFont::AnyStretch ? 100 : pair.readout->font().stretch(), 80);
        }
    }
    pty.Drain();
}

TEST_F(WindowTest, EachSliderSendsItsCommandOnEveryChangeNotification)
{
    OpenPort();
    // A key: the new position, then the key's release repeats it.
    Key(form->REDTrack, Qt::Key_Right);
    EXPECT_EQ(Line("01410141"), "01410141");
    Key(form->GREENTrack, Qt::Key_PageUp);
    EXPECT_EQ(Line("02620262"), "02620262");
    Key(form->BLUETrack, Qt::Key_End);
    EXPECT_EQ(Line("039F039F"), "039F039F");
    Key(form->BLUETrack, Qt::Key_Home);
    EXPECT_EQ(Line("03800380"), "03800380");
    // At the end of the range the key moves nothing; its release still sends.
    Key(form->BLUETrack, Qt::Key_Left);
    EXPECT_EQ(Line("0380"), "0380");
    Key(form->IPEAKTrack, Qt::Key_Right);
    EXPECT_EQ(Line("00210021"), "00210021");
    Key(form->IPEAKTrack, Qt::Key_Left);
    EXPECT_EQ(Line("00000000"), "00000000");
    Key(form->GD_STOP_Track, Qt::Key_End);
    EXPECT_EQ(Line("05DE05DE"), "05DE05DE");
    Key(form->GD_WIDTH_Track, Qt::Key_PageUp);
    EXPECT_EQ(Line("06E206E2"), "06E206E2");
    EXPECT_EQ(form->GD_WIDTH_Track->value(), 2);
    // The end of a drag: the mouse released over the slider.
    QTest::mouseRelease(form->GREENTrack, Qt::LeftButton);
    EXPECT_EQ(Line("0262"), "0262");
    // Capital hexadecimal digits.
    form->GREENTrack->setValue(10);
    EXPECT_EQ(Line("026A"), "026A");
}

TEST_F(WindowTest, TgtUpSendsAgainOnEveryKeyRelease)
{
    OpenPort();
    form->GD_START_Track->setFocus();
    QTest::keyClick(form->GD_START_Track, Qt::Key_Shift);
    EXPECT_EQ(form->VAL_START->text(), "0.00mA");
    EXPECT_EQ(Line("04A0"), "04A0");
    // An arrow: the change, the end of the movement, and the key-up.
    QTest::keyClick(form->GD_START_Track, Qt::Key_Right);
    EXPECT_EQ(form->VAL_START->text(), "1.07mA");
    EXPECT_EQ(Line("04A104A104A1"), "04A104A104A1");
    // Tab pressed on the control before, released on TGT-UP.
    form->EXITBUT->setFocus();
    QTest::keyPress(form->EXITBUT, Qt::Key_Tab);
    EXPECT_TRUE(form->GD_START_Track->hasFocus());
    QTest::keyRelease(form->GD_START_Track, Qt::Key_Tab);
    EXPECT_EQ(Line("04A1"), "04A1");
    // Other sliders have no key-up handler: Shift sends nothing there.
    Key(form->GD_STOP_Track, Qt::Key_Shift);
    EXPECT_EQ(Line(""), "");
}

TEST_F(WindowTest, ClosedPortRefusesWithAMessageAndTheReadoutChangesAllTheSame)
{
    std::vector<AnsweredBox> boxes = AnswerBoxes([&] { Key(form->REDTrack, Qt::Key_End); });
    EXPECT_EQ(form->Rval->text(), "99.99%");
    EXPECT_EQ(form->REDTrack->value(), 31);
    // The change and the key's release: two refusals, one after the other.
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, Refusal);
    EXPECT_EQ(boxes[0].title, QCoreApplication::applicationName());
    EXPECT_EQ(boxes[0].icon, QMessageBox::NoIcon);

    boxes = AnswerBoxes([&] { QTest::mouseClick(form->SEL_RGB, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Refusal);
    EXPECT_TRUE(form->SEL_RGB->isChecked());

    // Nothing was held back for later.
    OpenPort();
    EXPECT_EQ(Line(""), "");
}

TEST_F(WindowTest, ModeButtonsSendOnlyWhenTheSelectionChanges)
{
    OpenPort();
    QTest::mouseClick(form->SEL_RGB, Qt::LeftButton);
    EXPECT_EQ(Line("2020"), "2020");
    QTest::mouseClick(form->SEL_RGB, Qt::LeftButton);
    EXPECT_EQ(Line(""), "");
    QTest::mouseClick(form->SEL_BKL, Qt::LeftButton);
    EXPECT_EQ(Line("1010"), "1010");
    QTest::mouseClick(form->SEL_BKL, Qt::LeftButton);
    EXPECT_EQ(Line(""), "");
    // Arrow keys move the selection, and the command goes with it.
    Key(form->SEL_BKL, Qt::Key_Down);
    EXPECT_TRUE(form->SEL_RGB->isChecked());
    EXPECT_EQ(Line("2020"), "2020");
}

TEST_F(WindowTest, SweepTimerPeriodFollowsTheSpeedSlider)
{
    const QTimer& ticker = form->Timer2->Ticker();
    // Enabling starts a full period: the wait ends no earlier than that of
    // a 1000 ms timer started just before the click.
    const WaitAfter enabled = WaitAfterAction(ticker, 1000, [&] {
        QTest::mouseClick(form->SweepLED, Qt::LeftButton);
    });
    ASSERT_TRUE(form->SweepLED->isChecked());
    EXPECT_TRUE(form->SWEEPTrack->isEnabled());
    EXPECT_TRUE(form->Timer2->Enabled());
    EXPECT_TRUE(ticker.isActive());
    // The slider shows 1, but until it moves the period stays 1000 ms.
    EXPECT_EQ(form->Timer2->Interval(), 1000);
    EXPECT_GE(enabled.remaining, enabled.yardstick);

    // A new position restarts the wait with the new period. Waiting first
    // until clearly less than 600 ms are left makes a wait that merely went
    // on fall due well before the yardstick.
    ASSERT_TRUE(PumpUntil([&] { return ticker.remainingTime() < 500; }));
    form->SWEEPTrack->setFocus();
    const WaitAfter moved = WaitAfterAction(ticker, 600, [&] {
        QTest::keyPress(form->SWEEPTrack, Qt::Key_Right);
    });
    EXPECT_EQ(form->Timer2->Interval(), 600);
    EXPECT_GE(moved.remaining, moved.yardstick);
    // The release reports the same position: the wait goes on.
    ASSERT_TRUE(PumpUntil([&] { return ticker.remainingTime() < 500; }));
    const int remaining = ticker.remainingTime();
    QTest::keyRelease(form->SWEEPTrack, Qt::Key_Right);
    EXPECT_EQ(form->Timer2->Interval(), 600);
    EXPECT_LE(ticker.remainingTime(), remaining);
    // A new position restarts it with the new period.
    const WaitAfter ended = WaitAfterAction(ticker, 3000, [&] { Key(form->SWEEPTrack, Qt::Key_End); });
    EXPECT_EQ(form->Timer2->Interval(), 3000);
    EXPECT_GE(ended.remaining, ended.yardstick);

    // A mode button disables the speed slider; the ticks go on.
    AnswerBoxes([&] { QTest::mouseClick(form->SEL_RGB, Qt::LeftButton); });
    EXPECT_FALSE(form->SWEEPTrack->isEnabled());
    EXPECT_TRUE(form->SweepLED->isChecked());
    EXPECT_TRUE(ticker.isActive());

    // Clearing stops the ticks and disables the slider; ticking again
    // waits a full period before the first tick, not what was left.
    ASSERT_TRUE(PumpUntil([&] { return ticker.remainingTime() < 2900; }));
    QTest::mouseClick(form->SweepLED, Qt::LeftButton);
    EXPECT_FALSE(form->Timer2->Enabled());
    EXPECT_FALSE(ticker.isActive());
    EXPECT_FALSE(form->SWEEPTrack->isEnabled());
    const WaitAfter again = WaitAfterAction(ticker, 3000, [&] {
        QTest::mouseClick(form->SweepLED, Qt::LeftButton);
    });
    EXPECT_TRUE(form->SWEEPTrack->isEnabled());
    EXPECT_EQ(form->Timer2->Interval(), 3000);
    EXPECT_GE(again.remaining, again.yardstick);
}

TEST_F(WindowTest, SweepTicksAlternateTheSelectorOnTheLine)
{
    OpenPort();
    QTest::mouseClick(form->SweepLED, Qt::LeftButton);
    form->SWEEPTrack->setValue(1);
    form->SWEEPTrack->setValue(2);
    form->SWEEPTrack->setValue(1);
    ASSERT_EQ(form->Timer2->Interval(), 300);
    std::string line;
    ASSERT_TRUE(PumpUntil([&] {
        line += pty.Drain();
        return line.size() >= 12;
    }, 10s));
    QTest::mouseClick(form->SweepLED, Qt::LeftButton);
    line += pty.Receive(1, 100ms);
    EXPECT_EQ(line.substr(0, 12), "908080809080");
    EXPECT_EQ(line.size() % 4, 0u);
}

TEST_F(WindowTest, SweepTicksDoNotPileUpRefusalsWhileOneIsShown)
{
    QTest::mouseClick(form->SweepLED, Qt::LeftButton);
    form->SWEEPTrack->setValue(2);
    form->SWEEPTrack->setValue(1);
    ASSERT_EQ(form->Timer2->Interval(), 300);

    int ticks = 0;
    QObject::connect(&form->Timer2->Ticker(), &QTimer::timeout, [&] { ++ticks; });
    int answered = 0;
    int mostBoxesAtOnce = 0;
    int ticksAtFirstSight = -1;
    QTimer watcher;
    watcher.setInterval(5);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        int shown = 0;
        QMessageBox* box = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* candidate = qobject_cast<QMessageBox*>(top); candidate && candidate->isVisible()) {
                ++shown;
                box = candidate;
            }
        mostBoxesAtOnce = std::max(mostBoxesAtOnce, shown);
        if (box == nullptr)
            return;
        if (ticksAtFirstSight < 0)
            ticksAtFirstSight = ticks;
        // The first box (the slider's) waits while three ticks fall due;
        // a box on top of another is answered at once (and fails the test).
        if (shown > 1 || answered > 0 || ticks >= ticksAtFirstSight + 3) {
            EXPECT_EQ(box->text(), Refusal);
            box->button(QMessageBox::Ok)->click();
            ++answered;
            ticksAtFirstSight = -1;
        }
    });
    watcher.start();
    // A slider's refusal while the sweep runs with the port closed.
    form->REDTrack->setValue(5);
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(mostBoxesAtOnce, 1);
    EXPECT_GE(ticks, 3);
    // Once it is gone, the next tick is refused with a box of its own.
    ASSERT_TRUE(PumpUntil([&] { return answered >= 2; }, 10s));
    watcher.stop();
    QTest::mouseClick(form->SweepLED, Qt::LeftButton);
    EXPECT_EQ(mostBoxesAtOnce, 1);
    EXPECT_FALSE(form->SweepToggle());

    // The phase was kept: with the port open the first tick sends "90".
    OpenPort();
    QTest::mouseClick(form->SweepLED, Qt::LeftButton);
    std::string line;
    ASSERT_TRUE(PumpUntil([&] {
        line += pty.Drain();
        return line.size() >= 4;
    }, 10s));
    QTest::mouseClick(form->SweepLED, Qt::LeftButton);
    EXPECT_EQ(line.substr(0, 4), "9080");
}

TEST_F(WindowTest, PortToggleAndReceivedBytes)
{
    form->ComPort1->SetPort(QString::fromStdString(pty.SlavePath()));
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    ASSERT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(form->OPEN_PORT->text(), "CLOSE");
    EXPECT_EQ(form->StatusPanels[0]->text(), "PORT=OPEN");
    EXPECT_EQ(form->StatusPanels[1]->text(), "PORT = " + QString::fromStdString(pty.SlavePath()));

    pty.Send(std::string("OK LED-1\r\n", 10));
    ASSERT_TRUE(PumpUntil([&] { return form->PORTW->toPlainText().contains("LED-1"); }));
    pty.Send(std::string("ab\0cd", 5));
    ASSERT_TRUE(PumpUntil([&] { return form->PORTW->toPlainText().endsWith("abcd"); }));
    QTest::mouseClick(form->CLEARW, Qt::LeftButton);
    EXPECT_TRUE(form->PORTW->toPlainText().isEmpty());

    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(form->OPEN_PORT->text(), "OPEN");
    EXPECT_EQ(form->StatusPanels[0]->text(), "PORT=CLOSE");
    EXPECT_EQ(pty.Receive(1, 100ms), "");
}

TEST_F(WindowTest, ExitClosesTheWindowAndThePort)
{
    OpenPort();
    QTest::mouseClick(form->EXITBUT, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    form.reset();
    // The device is free again once the window is gone.
    TComPort other;
    other.SetPort(QString::fromStdString(pty.SlavePath()));
    other.SetEvents(TComEvents{});
    EXPECT_NO_THROW(other.OpenPort());
}
