// The window under an operator's hands: mouse and keys go in through the
// window system's path (a modal box blocks them as it would on a desktop),
// and every box is answered by a watcher while it runs.
#include "tests/panel/WindowFixture.h"
#include "tests/support/Pump.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWindow>

#include <algorithm>

using namespace std::chrono_literals;

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Watches for refusal boxes; answers each with OK once it has been up for
// `patience`, and records how many there were and how many at once. As a
// window manager would, it gives the window the focus back afterwards.
class BoxWatcher {
public:
    explicit BoxWatcher(QWidget* window, std::chrono::milliseconds patience, std::function<void()> onFirstSight = {})
        : onFirstSight_(std::move(onFirstSight))
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this, window, patience] {
            QMessageBox* box = nullptr;
            int shown = 0;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* candidate = qobject_cast<QMessageBox*>(top); candidate && candidate->isVisible()) {
                    ++shown;
                    box = candidate;
                }
            mostAtOnce = std::max(mostAtOnce, shown);
            if (box == nullptr) {
                seen_ = nullptr;
                return;
            }
            if (box != seen_) {
                seen_ = box;
                since_ = std::chrono::steady_clock::now();
                ++boxes;
                if (onFirstSight_)
                    onFirstSight_();
            }
            if (std::chrono::steady_clock::now() - since_ >= patience) {
                texts.push_back(box->text());
                box->button(QMessageBox::Ok)->click();
                seen_ = nullptr;
                QTimer::singleShot(0, window, [window] { window->activateWindow(); });
            }
        });
        timer_.start();
    }

    int boxes = 0;
    int mostAtOnce = 0;
    QStringList texts;

private:
    QTimer timer_;
    std::function<void()> onFirstSight_;
    QMessageBox* seen_ = nullptr;
    std::chrono::steady_clock::time_point since_;
};

} // namespace

TEST_F(WindowTest, AClickOnTheGrooveWithThePortClosedIsOneStepAndOneBoxAtATime)
{
    QWindow* surface = form->windowHandle();
    const QPoint at = RightOnGroove(form->REDTrack);
    // The operator lets go of the button while the box is up, and takes
    // longer than the slider's repeat delay to answer it.
    BoxWatcher watcher(form.get(), 700ms, [&] { QTest::mouseRelease(surface, Qt::LeftButton, {}, at); });
    QTest::mousePress(surface, Qt::LeftButton, {}, at);
    PumpFor(1500ms);
    EXPECT_EQ(form->REDTrack->value(), 2);
    EXPECT_EQ(form->Rval->text(), "6.451%");
    EXPECT_GE(watcher.boxes, 1);
    EXPECT_LE(watcher.boxes, 2);
    EXPECT_EQ(watcher.mostAtOnce, 1);
    EXPECT_FALSE(form->REDTrack->isSliderDown());

    // The next click is a click of its own, answered at once this time.
    const int before = watcher.boxes;
    QTest::mouseClick(surface, Qt::LeftButton, {}, at);
    PumpFor(800ms);
    EXPECT_EQ(form->REDTrack->value(), 4);
    EXPECT_LE(watcher.boxes - before, 2);
    EXPECT_EQ(watcher.mostAtOnce, 1);
}

TEST_F(WindowTest, AClickOnTheGrooveWithThePortOpenSendsTheStepAndTheEndOfTheClick)
{
    OpenPort();
    QWindow* surface = form->windowHandle();
    QTest::mouseClick(surface, Qt::LeftButton, {}, RightOnGroove(form->GD_WIDTH_Track));
    EXPECT_EQ(Line("06E206E2"), "06E206E2");
    // Held down, the step repeats until the handle reaches the pointer.
    QTest::mousePress(surface, Qt::LeftButton, {}, RightOnGroove(form->GD_WIDTH_Track));
    PumpFor(1500ms);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, RightOnGroove(form->GD_WIDTH_Track));
    EXPECT_GT(form->GD_WIDTH_Track->value(), 4);
    EXPECT_EQ(pty.Drain().size() % 4, 0u);
}

TEST_F(WindowTest, AHeldKeyWithThePortClosedGivesOneBoxPerAnsweredRepeatNeverAQueue)
{
    form->GREENTrack->setFocus();
    ASSERT_TRUE(PumpUntil([&] { return QApplication::focusWidget() == form->GREENTrack; }));
    BoxWatcher watcher(form.get(), 100ms);
    // The keyboard repeats every 30 ms into whichever window has the focus:
    // the box while it is up, the slider in between.
    int repeats = 0;
    QTimer held;
    held.setInterval(30);
    // Each repeat arrives as its own event, not inside the timer's turn,
    // so that the timer goes on while a box waits.
    QObject::connect(&held, &QTimer::timeout, [&] {
        QTimer::singleShot(0, [&] {
            if (QWindow* focus = QGuiApplication::focusWindow())
                qt_handleKeyEvent(focus, QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, {}, repeats++ > 0);
        });
    });
    held.start();
    ASSERT_TRUE(PumpUntil([&] { return watcher.texts.size() >= 3; }, 10s));
    held.stop();
    qt_handleKeyEvent(QGuiApplication::focusWindow(), QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
    PumpFor(300ms);
    EXPECT_EQ(watcher.mostAtOnce, 1);
    // Each box stood for one step; none was left waiting behind the last.
    EXPECT_EQ(watcher.boxes, watcher.texts.size());
    EXPECT_EQ(form->GREENTrack->value(), watcher.boxes);
    EXPECT_LT(watcher.boxes, repeats);
}

TEST_F(WindowTest, TabWalksTheLayoutsOrderAndLeavesTheReceivePane)
{
    form->SEL_BKL->setFocus();
    ASSERT_TRUE(PumpUntil([&] { return QApplication::focusWidget() == form->SEL_BKL; }));
    form->PORTW->setPlainText(QStringLiteral("typed"));
    QStringList walk;
    BoxWatcher watcher(form.get(), 0ms);
    for (int i = 0; i < 13; ++i) {
        QTest::keyClick(form->windowHandle(), Qt::Key_Tab);
        ASSERT_TRUE(PumpUntil([&] { return QApplication::focusWidget() != nullptr; }));
        walk << QApplication::focusWidget()->objectName();
    }
    // The unselected radio button and the disabled speed slider are no tab
    // stops; after the last control the walk starts over.
    EXPECT_EQ(walk, QStringList({"SweepLED", "PORTW", "CLEARW", "EXITBUT", "GD_START_Track", "GD_STOP_Track",
                                 "GD_WIDTH_Track", "OPEN_PORT", "REDTrack", "GREENTrack", "BLUETrack",
                                 "IPEAKTrack", "SEL_BKL"}));
    EXPECT_EQ(form->PORTW->toPlainText(), "typed");
    // Tab's release on the TGT-UP slider sends its command again.
    EXPECT_EQ(watcher.boxes, 1);

    // Backwards out of the pane, and the pane still takes what is typed.
    form->PORTW->setFocus();
    QTest::keyClick(form->windowHandle(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), form->SweepLED);
    form->PORTW->setFocus();
    form->PORTW->moveCursor(QTextCursor::End);
    QTest::keyClicks(form->PORTW, " more");
    EXPECT_EQ(form->PORTW->toPlainText(), "typed more");
}
