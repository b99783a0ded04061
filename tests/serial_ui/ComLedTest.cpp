// Tests of the connection LED on shown widgets.
#include "framework/Component.h"
#include "serial/posix/SerialDevice.h"
#include "serial_ui/CPortCtl.h"
#include "tests/serial/FakeLines.h"
#include "tests/serial/CatchComError.h"
#include "tests/serial_ui/UiTestHelpers.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Pump.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Not a colour of any glyph, so wherever it shows, the glyph left the
// pixel unpainted.
const QColor Backdrop(20, 90, 200);

const QColor Red(255, 0, 0), DarkRed(128, 0, 0), Green(0, 255, 0), DarkGreen(0, 128, 0),
    Blue(0, 0, 255), Navy(0, 0, 128), Yellow(255, 255, 0), Olive(128, 128, 0),
    Magenta(255, 0, 255), Purple(128, 0, 128);

// A port on the slave side of a pty that can also be handed a batch of
// line events the way its event thread hands them over.
class TestPort : public TComPort {
public:
    explicit TestPort(const PtyPair& pty)
    {
        SetPort(QString::fromStdString(pty.SlavePath()));
    }
    void Deliver(TComEvents events) { HandleEvents(events); }
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// A shown window with a plain backdrop and one LED at (10, 10).
class LedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(120, 80);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, Backdrop);
        window.setPalette(palette);
        window.setAutoFillBackground(true);
        led = new TComLed(&window);
        led->move(10, 10);
        led->OnChange = [this](QObject* sender, TLedState state) {
            EXPECT_EQ(sender, led);
            changes.push_back(state);
        };
        window.show();
    }

    // The window as painted now, LED included.
    QImage Render() { return window.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // A pixel of the LED's area, in the LED's coordinates.
    QColor LedPixel(const QImage& image, int x, int y) { return image.pixelColor(led->x() + x, led->y() + y); }
    // The lamp's centre: a 15 x 15 glyph centred in 25 x 25 starts at (5, 5).
    QColor Centre() { return LedPixel(Render(), 12, 12); }

    std::vector<TLedState> TakeChanges()
    {
        std::vector<TLedState> result = changes;
        changes.clear();
        return result;
    }

    // A port on the pty that the LED follows for `signal`, opened, with the
    // changes so far taken.
    TestPort& OpenBoundPort(TComLedSignal signal)
    {
        boundPort_.emplace(pty);
        led->SetLedSignal(signal);
        led->SetComPort(&*boundPort_);
        boundPort_->OpenPort();
        TakeChanges();
        return *boundPort_;
    }

    // The LED tells its handler when it goes, so the record outlives it.
    std::vector<TLedState> changes;
    PtyPair pty;
    QWidget window;
    TComLed* led = nullptr;

private:
    std::optional<TestPort> boundPort_;
};

using States = std::vector<TLedState>;

// ---- a new LED, no port -------------------------------------------------------

TEST_F(LedTest, NewLedIsAnUnlitRedLampOfTwentyFivePixels)
{
    EXPECT_EQ(led->size(), QSize(25, 25));
    EXPECT_EQ(led->State(), lsOff);
    EXPECT_EQ(led->Kind(), lkRedLight);
    EXPECT_EQ(led->LedSignal(), lsConn);
    EXPECT_EQ(led->RingDuration(), 1000);
    EXPECT_EQ(led->ComPort(), nullptr);
    EXPECT_FALSE(led->RingTimer()->isActive());
    // Nothing is loaded before the lamp is first painted.
    EXPECT_TRUE(led->GlyphOn().isNull());
    EXPECT_TRUE(led->GlyphOff().isNull());

    const QImage image = Render();
    EXPECT_EQ(LedPixel(image, 12, 12), DarkRed);
    EXPECT_EQ(led->GlyphOn().size(), QSize(15, 15));
    EXPECT_EQ(led->GlyphOff().size(), QSize(15, 15));
    EXPECT_TRUE(changes.empty());
}

TEST_F(LedTest, WritingStateLightsTheLampAndNotifiesOnce)
{
    led->SetState(lsOn);
    EXPECT_EQ(led->State(), lsOn);
    EXPECT_EQ(TakeChanges(), States{lsOn});
    EXPECT_EQ(Centre(), Red);
}

TEST_F(LedTest, EveryWriteOfStateNotifiesAlsoWithoutAChange)
{
    led->SetState(lsOn);
    led->SetState(lsOn);
    led->SetState(lsOff);
    led->SetState(lsOff);
    EXPECT_EQ(TakeChanges(), (States{lsOn, lsOn, lsOff, lsOff}));
}

TEST_F(LedTest, TheParentShowsAroundTheLampAndThroughTheGlyphsTransparentColour)
{
    led->SetState(lsOn);
    const QImage image = Render();
    // Outside the glyph: nothing is drawn, no frame and no fill.
    EXPECT_EQ(LedPixel(image, 0, 0), Backdrop);
    EXPECT_EQ(LedPixel(image, 24, 24), Backdrop);
    // The glyph's own corners are its background colour, left unpainted.
    EXPECT_EQ(LedPixel(image, 5, 5), Backdrop);
    EXPECT_EQ(LedPixel(image, 19, 19), Backdrop);
    EXPECT_EQ(LedPixel(image, 5, 19), Backdrop);
    // The rim's outline is painted.
    EXPECT_EQ(LedPixel(image, 12, 5), QColor(0, 0, 0));
}

// ---- the built-in glyphs --------------------------------------------------------

struct KindColours {
    TLedKind kind;
    QColor on;
    QColor off;
    QColor background;  // the glyph's transparent colour
};

TEST_F(LedTest, EachKindShowsItsLensColourOnAndOff)
{
    const KindColours table[] = {
        {lkRedLight, Red, DarkRed, Olive},
        {lkGreenLight, Green, DarkGreen, Olive},
        {lkBlueLight, Blue, Navy, Olive},
        {lkYellowLight, Yellow, Olive, Purple},
        {lkPurpleLight, Magenta, Purple, Olive},
        // The unlit bulb is clear glass: the backdrop shows at its centre.
        {lkBulb, Yellow, Backdrop, Olive},
    };
    led->SetKind(lkBulb);
    // A change of kind loads the glyphs at once, before any paint.
    EXPECT_FALSE(led->GlyphOn().isNull());
    EXPECT_FALSE(led->GlyphOff().isNull());
    for (const KindColours& row : table) {
        SCOPED_TRACE(static_cast<int>(row.kind));
        led->SetKind(row.kind);
        for (const QPixmap* glyph : {&led->GlyphOn(), &led->GlyphOff()}) {
            EXPECT_EQ(glyph->size(), QSize(15, 15));
            const QImage pixels = glyph->toImage().convertToFormat(QImage::Format_ARGB32);
            EXPECT_EQ(qAlpha(pixels.pixel(0, 14)), 0);
            EXPECT_EQ(qAlpha(pixels.pixel(0, 0)), 0);
            // No pixel of the background colour is left opaque.
            for (int y = 0; y < 15; ++y) {
                for (int x = 0; x < 15; ++x) {
                    if (qAlpha(pixels.pixel(x, y)) != 0) {
                        EXPECT_NE(QColor(pixels.pixel(x, y)).rgb(), row.background.rgb()) << x << "," << y;
                    }
                }
            }
        }
        led->SetState(lsOn);
        EXPECT_EQ(Centre(), row.on);
        led->SetState(lsOff);
        const QImage off = Render();
        EXPECT_EQ(LedPixel(off, 12, 12), row.off);
        EXPECT_EQ(LedPixel(off, 5, 19), Backdrop);
    }
}

TEST_F(LedTest, WritingTheSameKindAgainKeepsTheLoadedGlyphs)
{
    led->SetKind(lkBlueLight);
    const qint64 key = led->GlyphOn().cacheKey();
    led->SetKind(lkBlueLight);
    EXPECT_EQ(led->GlyphOn().cacheKey(), key);
}

// ---- custom glyphs -------------------------------------------------------------

// A square glyph of `side` pixels: a border of `key` (the bottom-left pixel,
// hence transparent) around a `fill` square.
QPixmap SquareGlyph(int side, QColor key, QColor fill)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(key);
    QPainter painter(&image);
    painter.fillRect(2, 2, side - 4, side - 4, fill);
    painter.end();
    return QPixmap::fromImage(image);
}

TEST_F(LedTest, GlyphsWrittenUnderAnotherKindAreIgnored)
{
    led->SetKind(lkGreenLight);
    const QImage before = led->GlyphOn().toImage();
    led->SetGlyphOn(SquareGlyph(9, Qt::white, Qt::cyan));
    led->SetGlyphOff(SquareGlyph(9, Qt::white, Qt::cyan));
    EXPECT_EQ(led->GlyphOn().toImage(), before);
    led->SetState(lsOn);
    EXPECT_EQ(Centre(), Green);
}

TEST_F(LedTest, CustomKindKeepsThePreviousGlyphsUntilNewOnesAreWritten)
{
    led->SetKind(lkGreenLight);
    led->SetKind(lkCustom);
    led->SetState(lsOn);
    EXPECT_EQ(Centre(), Green);

    led->SetGlyphOn(SquareGlyph(9, Qt::white, Qt::cyan));
    EXPECT_EQ(led->GlyphOn().size(), QSize(9, 9));
    QImage image = Render();
    EXPECT_EQ(LedPixel(image, 12, 12), QColor(Qt::cyan));
    // The 9 x 9 glyph starts at (8, 8); its white border is transparent.
    EXPECT_EQ(LedPixel(image, 8, 8), Backdrop);
    EXPECT_EQ(LedPixel(image, 10, 10), QColor(Qt::cyan));

    // The off glyph is still the green kind's until it is written too.
    led->SetState(lsOff);
    EXPECT_EQ(Centre(), DarkGreen);
    led->SetGlyphOff(SquareGlyph(9, Qt::black, Qt::magenta));
    image = Render();
    EXPECT_EQ(LedPixel(image, 12, 12), QColor(Qt::magenta));
    EXPECT_EQ(LedPixel(image, 8, 16), Backdrop);

    // Going back to a built-in kind brings its glyphs back.
    led->SetKind(lkBlueLight);
    EXPECT_EQ(Centre(), Navy);
}

TEST_F(LedTest, AGlyphLargerThanTheControlStartsAtItsCorner)
{
    led->SetKind(lkCustom);
    QImage big(31, 31, QImage::Format_RGB32);
    big.fill(Qt::white);
    big.setPixelColor(0, 0, Qt::cyan);
    big.setPixelColor(1, 1, Qt::magenta);
    led->SetGlyphOff(QPixmap::fromImage(big));
    led->SetGlyphOn(QPixmap::fromImage(big));
    const QImage image = Render();
    EXPECT_EQ(LedPixel(image, 0, 0), QColor(Qt::cyan));
    EXPECT_EQ(LedPixel(image, 1, 1), QColor(Qt::magenta));
    EXPECT_EQ(LedPixel(image, 12, 12), Backdrop);
}

// ---- the disabled look ---------------------------------------------------------

TEST_F(LedTest, ADisabledLedShowsTheOffGlyphWhateverItsState)
{
    led->SetState(lsOn);
    led->setEnabled(false);
    EXPECT_EQ(Centre(), DarkRed);
    EXPECT_EQ(led->State(), lsOn);

    PaintCounter counter;
    led->installEventFilter(&counter);
    led->setEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return counter.paints > 0; }));
    EXPECT_EQ(Centre(), Red);
    led->removeEventFilter(&counter);
}

// ---- binding to a port ----------------------------------------------------------

TEST_F(LedTest, BoundToAClosedPortTheLampFollowsOpeningAndClosing)
{
    TestPort port(pty);
    led->SetComPort(&port);
    EXPECT_EQ(led->ComPort(), &port);
    EXPECT_EQ(led->State(), lsOff);
    EXPECT_TRUE(TakeChanges().empty());

    port.OpenPort();
    EXPECT_EQ(led->State(), lsOn);
    EXPECT_EQ(TakeChanges(), States{lsOn});
    EXPECT_EQ(Centre(), Red);

    port.ClosePort();
    EXPECT_EQ(led->State(), lsOff);
    EXPECT_EQ(TakeChanges(), States{lsOff});
    EXPECT_EQ(Centre(), DarkRed);
}

TEST_F(LedTest, BoundToAnOpenPortTheLampLightsAtOnce)
{
    TestPort port(pty);
    port.OpenPort();
    led->SetComPort(&port);
    EXPECT_EQ(led->State(), lsOn);
    EXPECT_EQ(TakeChanges(), States{lsOn});
    EXPECT_EQ(Centre(), Red);
}

TEST_F(LedTest, BindingToAClosedPortKeepsAStateSetBefore)
{
    led->SetState(lsOn);
    TakeChanges();
    TestPort port(pty);
    led->SetComPort(&port);
    EXPECT_EQ(led->State(), lsOn);
    EXPECT_TRUE(TakeChanges().empty());
}

TEST_F(LedTest, WritingStateWhileBoundRaisesCode19AndChangesNothing)
{
    TestPort port(pty);
    led->SetComPort(&port);
    const EComPort error = CatchComError([&] { led->SetState(lsOn); });
    EXPECT_EQ(error.Code(), CError_LedStateFailed);
    EXPECT_EQ(error.OsCode(), -1);
    EXPECT_STREQ(error.what(), "Cannot change led state if ComPort is selected");
    EXPECT_EQ(led->State(), lsOff);
    EXPECT_TRUE(TakeChanges().empty());
    EXPECT_EQ(Centre(), DarkRed);

    // Unbinding puts the lamp out and makes the state writable again.
    led->SetComPort(nullptr);
    EXPECT_EQ(TakeChanges(), States{lsOff});
    led->SetState(lsOn);
    EXPECT_EQ(led->State(), lsOn);
}

TEST_F(LedTest, RebindingMovesTheLinkToTheNewPort)
{
    PtyPair otherPty;
    TestPort first(pty);
    TestPort second(otherPty);
    second.OpenPort();
    led->SetComPort(&first);
    led->SetComPort(&second);
    EXPECT_EQ(TakeChanges(), States{lsOn});
    // The first port no longer reaches the LED ...
    first.OpenPort();
    first.ClosePort();
    EXPECT_TRUE(TakeChanges().empty());
    // ... the second does.
    second.ClosePort();
    EXPECT_EQ(TakeChanges(), States{lsOff});
}

TEST_F(LedTest, ADestroyedPortIsForgottenAndTheLampGoesOut)
{
    auto port = std::make_unique<TestPort>(pty);
    port->OpenPort();
    led->SetComPort(port.get());
    TakeChanges();

    port.reset();
    EXPECT_EQ(led->ComPort(), nullptr);
    EXPECT_EQ(led->State(), lsOff);
    // The port's closing and then the unbinding: each puts the lamp out.
    EXPECT_EQ(TakeChanges(), (States{lsOff, lsOff}));
    led->SetState(lsOn);
    EXPECT_EQ(Centre(), Red);
}

TEST_F(LedTest, APortOutlivingItsLedNoLongerCallsIt)
{
    TestPort port(pty);
    led->SetComPort(&port);
    delete led;
    led = nullptr;
    port.OpenPort();
    port.ClosePort();
    EXPECT_EQ(changes, States{lsOff});  // the unbinding in the LED's destructor
}

TEST_F(LedTest, BindingWhileAFormLoadsLeavesTheStateAlone)
{
    TestPort port(pty);
    port.OpenPort();
    std::vector<TLedState> seen;
    TFormLoading loading;
    TComLed loaded(&window);
    loaded.OnChange = [&](QObject*, TLedState state) { seen.push_back(state); };
    loaded.SetComPort(&port);
    EXPECT_EQ(loaded.State(), lsOff);
    loading.Finish();
    EXPECT_TRUE(seen.empty());
    // Once loaded, the port's reports reach it as usual.
    port.ClosePort();
    EXPECT_EQ(seen, States{lsOff});
    port.OpenPort();
    EXPECT_EQ(loaded.State(), lsOn);
}

// ---- the chosen signal -----------------------------------------------------------

TEST_F(LedTest, ChangingTheSignalWhileOpenKeepsTheLampUntilTheNextReport)
{
    TestPort& port = OpenBoundPort(lsConn);

    led->SetLedSignal(lsCTS);
    EXPECT_EQ(led->State(), lsOn);
    EXPECT_TRUE(TakeChanges().empty());
    // A pty has no modem lines: the next CTS report says "off".
    port.Deliver({evCTS});
    EXPECT_EQ(led->State(), lsOff);
    EXPECT_EQ(TakeChanges(), States{lsOff});
    // The connection is no longer followed.
    port.ClosePort();
    EXPECT_EQ(TakeChanges(), States{lsOff});  // CTS reported off before closing
    port.OpenPort();
    EXPECT_EQ(led->State(), lsOff);
}

TEST_F(LedTest, OnlyTheChosenSignalReachesTheLamp)
{
    TestPort port(pty);
    led->SetLedSignal(lsDSR);
    led->SetComPort(&port);
    port.OpenPort();
    // Opening reports DSR (off on a pty), not the connection.
    EXPECT_EQ(TakeChanges(), States{lsOff});
    port.Deliver({evCTS, evRLSD, evRing});
    EXPECT_TRUE(TakeChanges().empty());
    port.Deliver({evDSR});
    EXPECT_EQ(TakeChanges(), States{lsOff});
}

// A line with a real CTS: the event wait sees the change and the lamp
// follows, nothing handed to the port by the test.
TEST_F(LedTest, LampFollowsTheLinesCtsAsTheEventWaitSeesIt)
{
    class LinedPort : public TComPort {
    public:
        LinedPort(const PtyPair& pty, FakeLines& lines)
        {
            SetPort(QString::fromStdString(pty.SlavePath()));
            SetLineProbe(&lines);
        }
    };
    FakeLines lines;
    LinedPort port(pty, lines);
    led->SetLedSignal(lsCTS);
    led->SetComPort(&port);
    port.OpenPort();
    EXPECT_EQ(TakeChanges(), States{lsOff});
    lines.Set(TIOCM_CTS, true);
    EXPECT_TRUE(PumpUntil([&] { return led->State() == lsOn; }));
    EXPECT_EQ(Centre(), Red);
    lines.Set(TIOCM_DSR, true);
    lines.Set(TIOCM_CTS, false);
    EXPECT_TRUE(PumpUntil([&] { return led->State() == lsOff; }));
    EXPECT_EQ(Centre(), DarkRed);
    EXPECT_EQ(TakeChanges(), (States{lsOn, lsOff}));
    port.ClosePort();
}

TEST_F(LedTest, BindingToAnOpenPortReadsTheModemLine)
{
    TestPort port(pty);
    port.OpenPort();
    led->SetLedSignal(lsRLSD);
    led->SetComPort(&port);
    EXPECT_EQ(TakeChanges(), States{lsOff});
    led->SetComPort(nullptr);
    TakeChanges();
    // Events, not levels: nothing to read, the lamp starts out.
    led->SetLedSignal(lsRx);
    led->SetComPort(&port);
    EXPECT_EQ(TakeChanges(), States{lsOff});
}

TEST_F(LedTest, ReceiveActivityLightsTheLampUntilTheBytesAreRead)
{
    bool reading = false;
    TestPort& port = OpenBoundPort(lsRx);
    port.OnRxChar = [&](QObject*, std::int32_t) { reading = true; };

    pty.Send("abc");
    ASSERT_TRUE(PumpUntil([&] { return reading; }));
    EXPECT_EQ(led->State(), lsOn);
    EXPECT_EQ(Centre(), Red);
    EXPECT_EQ(TakeChanges(), States{lsOn});

    std::string text;
    port.ReadText(text, 3);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(led->State(), lsOff);
    EXPECT_EQ(TakeChanges(), States{lsOff});
}

TEST_F(LedTest, TransmitActivityLightsTheLampUntilTheOutputIsEmpty)
{
    bool empty = false;
    TestPort& port = OpenBoundPort(lsTx);

    port.OnTxEmpty = [&](QObject*) { empty = true; };
    port.WriteText("xy");
    EXPECT_EQ(pty.Receive(2), "xy");
    ASSERT_TRUE(PumpUntil([&] { return empty; }));
    EXPECT_EQ(led->State(), lsOff);
    const States seen = TakeChanges();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), lsOn);
    EXPECT_EQ(seen.back(), lsOff);
}

// ---- rings -----------------------------------------------------------------------

TEST_F(LedTest, ARingLightsTheLampForTheRingDurationAndItGoesOutByItself)
{
    TestPort& port = OpenBoundPort(lsRing);
    led->SetRingDuration(100);

    port.Deliver({evRing});
    EXPECT_EQ(led->State(), lsOn);
    EXPECT_TRUE(led->RingTimer()->isActive());
    EXPECT_EQ(Centre(), Red);
    ASSERT_TRUE(PumpUntil([&] { return led->State() == lsOff; }));
    EXPECT_FALSE(led->RingTimer()->isActive());
    EXPECT_EQ(TakeChanges(), (States{lsOn, lsOff}));
    EXPECT_EQ(Centre(), DarkRed);
}

TEST_F(LedTest, ASecondRingDoesNotLengthenTheTime)
{
    TestPort& port = OpenBoundPort(lsRing);
    led->SetRingDuration(60000);

    port.Deliver({evRing});
    PumpFor(50ms);
    const int left = led->RingTimer()->remainingTime();
    ASSERT_GT(left, 0);
    port.Deliver({evRing});
    EXPECT_LE(led->RingTimer()->remainingTime(), left);
    EXPECT_EQ(TakeChanges(), (States{lsOn, lsOn}));
}

TEST_F(LedTest, WithRingDurationZeroARingKeepsTheLampLit)
{
    TestPort port(pty);
    led->SetLedSignal(lsRing);
    led->SetComPort(&port);
    port.OpenPort();
    led->SetRingDuration(0);
    TakeChanges();

    port.Deliver({evRing});
    EXPECT_FALSE(led->RingTimer()->isActive());
    PumpFor(100ms);
    EXPECT_EQ(led->State(), lsOn);
    EXPECT_EQ(TakeChanges(), States{lsOn});
    // A new duration starts the count of the ring that is lit.
    led->SetRingDuration(50);
    EXPECT_TRUE(led->RingTimer()->isActive());
    ASSERT_TRUE(PumpUntil([&] { return led->State() == lsOff; }));
}

// ---- no operator input inside a port operation --------------------------------

TEST_F(LedTest, AClickQueuedDuringOpeningRunsOnlyAfterTheOpenReturned)
{
    auto* button = new QPushButton(QStringLiteral("OPEN PORT"), &window);
    button->setGeometry(40, 10, 70, 25);
    button->show();
    PaintCounter counter;
    led->installEventFilter(&counter);
    ASSERT_TRUE(PumpUntil([&] { return counter.paints > 0; }));

    TestPort port(pty);
    led->SetComPort(&port);
    bool inOperation = false;
    bool clickedInOperation = false;
    int clicks = 0;
    int paintsBeforeAfterOpen = -1;
    QObject::connect(button, &QPushButton::clicked, [&] {
        ++clicks;
        clickedInOperation = clickedInOperation || inOperation;
    });
    port.OnBeforeOpen = [&](QObject*) {
        inOperation = true;
        counter.paints = 0;
    };
    // Runs right after the links were told: the lamp must already show.
    port.OnAfterOpen = [&](QObject*) { paintsBeforeAfterOpen = counter.paints; };

    QueueClick(button);
    port.OpenPort();
    inOperation = false;

    EXPECT_EQ(clicks, 0);
    EXPECT_GE(paintsBeforeAfterOpen, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(clickedInOperation);
    led->removeEventFilter(&counter);
}

TEST_F(LedTest, AClickQueuedDuringClosingRunsOnlyAfterTheCloseReturned)
{
    auto* button = new QPushButton(QStringLiteral("EXIT"), &window);
    button->setGeometry(40, 10, 70, 25);
    button->show();
    PumpFor(20ms);

    TestPort port(pty);
    led->SetComPort(&port);
    port.OpenPort();
    bool inOperation = false;
    bool clickedInOperation = false;
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] {
        ++clicks;
        clickedInOperation = clickedInOperation || inOperation;
    });
    port.OnBeforeClose = [&](QObject*) { inOperation = true; };

    QueueClick(button);
    port.ClosePort();
    inOperation = false;
    EXPECT_EQ(led->State(), lsOff);
    EXPECT_EQ(clicks, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(clickedInOperation);
}

// ---- operator events on the lamp itself -----------------------------------------

TEST_F(LedTest, ClickingTheLampCallsItsHandlers)
{
    std::vector<std::string> seen;
    led->OnMouseDown = [&](QObject* sender, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        EXPECT_EQ(sender, led);
        seen.push_back("down " + std::to_string(x) + "," + std::to_string(y));
    };
    led->OnMouseUp = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { seen.push_back("up"); };
    led->OnClick = [&](QObject* sender) {
        EXPECT_EQ(sender, led);
        seen.push_back("click");
    };
    led->OnDblClick = [&](QObject*) { seen.push_back("double"); };
    QTest::mouseClick(led, Qt::LeftButton, Qt::NoModifier, QPoint(12, 12));
    EXPECT_EQ(seen, (std::vector<std::string>{"down 12,12", "up", "click"}));
    seen.clear();
    QTest::mouseDClick(led, Qt::LeftButton, Qt::NoModifier, QPoint(3, 4));
    ASSERT_FALSE(seen.empty());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "double"), seen.end());
}

} // namespace
