// The window as the operator first sees it: every control where the layout
// puts it, with its caption, colours and fonts, the tab order, captions
// and readouts that fit, and the state after creation.
#include "panel/CaptionFit.h"
#include "tests/panel/WindowFixture.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QRadioButton>
#include <QStatusBar>
#include <QPlainTextEdit>

namespace {

struct LayoutRow {
    const char* name;
    const char* parent;  // "window": the client area
    QRect geometry;
    const char* caption;  // nullptr: none
};

const LayoutRow Layout[] = {
    {"GroupBox1", "window", {0, 8, 161, 153}, "Select Operating Mode"},
    {"SEL_BKL", "GroupBox1", {16, 24, 97, 17}, "BACK LIGHT"},
    {"SEL_RGB", "GroupBox1", {16, 40, 57, 17}, "RGB"},
    {"SweepLED", "GroupBox1", {8, 72, 137, 17}, "Repeat Gradual Dimming"},
    {"SWEEPTrack", "GroupBox1", {8, 104, 145, 25}, nullptr},
    {"GroupBox2", "window", {168, 8, 241, 153}, "LED Current Control"},
    {"Label1", "GroupBox2", {8, 32, 41, 13}, "I-PEAK"},
    {"IPEAKTrack", "GroupBox2", {48, 24, 153, 25}, nullptr},
    {"VALIPK", "GroupBox2", {200, 32, 32, 13}, "00mA"},
    {"Label2", "GroupBox2", {8, 64, 36, 13}, "LED-1"},
    {"REDTrack", "GroupBox2", {48, 56, 153, 25}, nullptr},
    {"Rval", "GroupBox2", {203, 64, 24, 13}, "00%"},
    {"Label3", "GroupBox2", {8, 96, 36, 13}, "LED-2"},
    {"GREENTrack", "GroupBox2", {48, 88, 153, 25}, nullptr},
    {"Gval", "GroupBox2", {201, 96, 24, 13}, "00%"},
    {"Label4", "GroupBox2", {8, 128, 36, 13}, "LED-3"},
    {"BLUETrack", "GroupBox2", {48, 120, 153, 25}, nullptr},
    {"Bval", "GroupBox2", {201, 128, 24, 13}, "00%"},
    {"GroupBox3", "window", {416, 8, 273, 153}, "GRADUAL DIMMING"},
    {"Label5", "GroupBox3", {8, 32, 47, 13}, "TGT-UP"},
    {"GD_START_Track", "GroupBox3", {72, 24, 129, 25}, nullptr},
    {"VAL_START", "GroupBox3", {200, 32, 32, 13}, "00mA"},
    {"Label6", "GroupBox3", {8, 64, 60, 13}, "TGT-DWN"},
    {"GD_STOP_Track", "GroupBox3", {72, 56, 129, 25}, nullptr},
    {"VAL_STOP", "GroupBox3", {200, 64, 32, 13}, "00mA"},
    {"Label7", "GroupBox3", {8, 96, 53, 13}, "STR DIM"},
    {"GD_WIDTH_Track", "GroupBox3", {72, 88, 129, 25}, nullptr},
    {"VAL_WIDTH", "GroupBox3", {200, 96, 37, 13}, "000ms"},
    {"Preset5", "GroupBox3", {8, 128, 255, 13}, "Setup TGT-UP or TGT-DWN, then STR-RUN"},
    {"Label9", "window", {0, 160, 107, 13}, "Brevantis"},
    {"PORTW", "window", {0, 176, 441, 89}, ""},
    {"CLEARW", "window", {448, 232, 105, 25}, "CLEAR WINDOW"},
    {"EXITBUT", "window", {576, 232, 113, 25}, "EXIT"},
    {"GroupBox5", "window", {576, 168, 113, 57}, "RS232"},
    {"OPEN_PORT", "GroupBox5", {8, 24, 73, 25}, "OPEN PORT"},
    {"ComLed1", "GroupBox5", {80, 24, 25, 25}, nullptr},
    {"StatusBar1", "window", {0, 269, 696, 25}, nullptr},
};

const QColor Blue(0, 0, 255);
const QColor Green(0, 128, 0);
const QColor Black(0, 0, 0);

struct Look {
    const char* name;
    bool bold;
    QColor colour;
};

const Look Looks[] = {
    {"GroupBox1", false, Black}, {"SEL_BKL", false, Black},   {"SweepLED", false, Black},
    {"GroupBox2", true, Blue},   {"Label1", true, Blue},      {"VALIPK", true, Black},
    {"Label2", true, Blue},      {"Rval", true, Black},       {"Label3", true, Blue},
    {"Gval", true, Black},       {"Label4", true, Blue},      {"Bval", true, Black},
    {"GroupBox3", true, Green},  {"Label5", true, Green},     {"VAL_START", true, Black},
    {"Label6", true, Green},     {"VAL_STOP", true, Black},   {"Label7", true, Green},
    {"VAL_WIDTH", true, Black},  {"Preset5", true, Black},    {"Label9", true, Green},
    {"GroupBox5", false, Black}, {"OPEN_PORT", false, Black}, {"CLEARW", false, Black},
};

QWidget* Control(TZARIDOForm1& form, const char* name)
{
    return form.findChild<QWidget*>(QString::fromLatin1(name));
}

} // namespace

TEST_F(WindowTest, EveryControlSitsWhereTheLayoutPutsIt)
{
    for (const LayoutRow& row : Layout) {
        SCOPED_TRACE(row.name);
        QWidget* control = Control(*form, row.name);
        ASSERT_NE(control, nullptr);
        QWidget* parent = std::string(row.parent) == "window" ? form->centralWidget() : Control(*form, row.parent);
        EXPECT_EQ(control->parentWidget(), parent);
        EXPECT_EQ(control->geometry(), row.geometry);
        if (row.caption != nullptr) {
            EXPECT_EQ(CaptionText(control), QString::fromLatin1(row.caption));
        }
    }
    EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(Control(*form, "PORTW"))->toPlainText().isEmpty());
}

TEST_F(WindowTest, WindowHasItsCaptionSizeFrameAndBackground)
{
    EXPECT_EQ(form->windowTitle(), QString(92, QLatin1Char(' ')) + QStringLiteral("RVD3318 CONTROLLER"));
    EXPECT_EQ(form->windowTitle().size(), 110);
    EXPECT_EQ(form->centralWidget()->size(), QSize(696, 294));
    EXPECT_EQ(form->centralWidget()->mapTo(form.get(), QPoint(0, 0)).y(), form->menuBar()->height());
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->pos(), QPoint(258, 144));
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_EQ(form->centralWidget()->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));
    EXPECT_TRUE(form->centralWidget()->autoFillBackground());
}

TEST_F(WindowTest, FontsAndColoursFollowTheLayout)
{
    const QFontInfo windowFont(form->font());
    EXPECT_EQ(windowFont.family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(windowFont.pixelSize(), 11);
    for (const Look& look : Looks) {
        SCOPED_TRACE(look.name);
        QWidget* control = Control(*form, look.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(QFontInfo(control->font()).bold(), look.bold);
        EXPECT_EQ(QFontInfo(control->font()).family(), QStringLiteral("Liberation Sans"));
        EXPECT_EQ(control->font().pixelSize(), 11);
        EXPECT_EQ(control->palette().color(QPalette::WindowText), look.colour);
    }
}

TEST_F(WindowTest, TabOrderFollowsTheLayoutWithinEachParent)
{
    const std::vector<std::string> expected = {"SEL_BKL",   "SEL_RGB",        "SWEEPTrack",    "SweepLED",
                                  "PORTW",     "CLEARW",         "EXITBUT",       "GD_START_Track",
                                  "GD_STOP_Track", "GD_WIDTH_Track", "OPEN_PORT", "REDTrack",
                                  "GREENTrack", "BLUETrack",     "IPEAKTrack"};
    // Only the selected radio button of a group is a tab stop; both keep
    // their place in the chain.
    std::vector<std::string> chain;
    QWidget* start = Control(*form, "SEL_BKL");
    QWidget* widget = start;
    do {
        if (form->centralWidget()->isAncestorOf(widget) && widget->focusPolicy() != Qt::NoFocus)
            chain.push_back(widget->objectName().toStdString());
        widget = widget->nextInFocusChain();
    } while (widget != start && chain.size() < 100);
    EXPECT_EQ(chain, expected);
}

TEST_F(WindowTest, MenusAndStatusPanelsAsLaidOut)
{
    const QList<QAction*> menus = form->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "File");
    EXPECT_EQ(menus[1]->text(), "Edit");
    EXPECT_EQ(menus[2]->text(), "Help");
    QStringList file;
    for (QAction* item : form->File1->actions())
        file << (item->isSeparator() ? QStringLiteral("-") : item->text() + (item->isEnabled() ? "" : " (off)"));
    EXPECT_EQ(file, QStringList({"Open (off)", "Close (off)", "-", "Exit"}));
    QStringList edit;
    for (QAction* item : form->Edit1->actions())
        edit << item->text();
    EXPECT_EQ(edit, QStringList({"Open RS232", "Format RS232..."}));
    EXPECT_TRUE(form->Help1->actions().isEmpty());

    const int widths[] = {75, 80, 150, 150, 50};
    const char* texts[] = {"PORT : CLOSE", "PORT : xxxx", "PORT= None,8,9600,1", ""};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(form->StatusPanels[i]->width(), widths[i]);
        EXPECT_EQ(form->StatusPanels[i]->alignment(), Qt::AlignCenter);
        if (i < 4) {
            EXPECT_EQ(form->StatusPanels[i]->text(), QString::fromLatin1(texts[i]));
        }
    }
}

TEST_F(WindowTest, InitialStateAfterCreation)
{
    EXPECT_TRUE(form->SEL_BKL->isChecked());
    EXPECT_FALSE(form->SEL_RGB->isChecked());
    EXPECT_FALSE(form->SweepLED->isChecked());
    EXPECT_FALSE(form->SWEEPTrack->isEnabled());
    EXPECT_EQ(form->SWEEPTrack->value(), 1);
    EXPECT_EQ(form->SWEEPTrack->minimum(), 1);
    EXPECT_EQ(form->SWEEPTrack->maximum(), 10);
    const struct {
        TTrackBar* slider;
        int maximum;
    } sliders[] = {{form->IPEAKTrack, 30},     {form->REDTrack, 31},      {form->GREENTrack, 31},
                   {form->BLUETrack, 31},      {form->GD_START_Track, 30}, {form->GD_STOP_Track, 30},
                   {form->GD_WIDTH_Track, 30}, {form->SWEEPTrack, 10}};
    for (const auto& s : sliders) {
        SCOPED_TRACE(s.slider->objectName().toStdString());
        if (s.slider != form->SWEEPTrack) {
            EXPECT_EQ(s.slider->value(), 0);
            EXPECT_EQ(s.slider->minimum(), 0);
        }
        EXPECT_EQ(s.slider->maximum(), s.maximum);
        EXPECT_EQ(s.slider->orientation(), Qt::Horizontal);
        EXPECT_EQ(s.slider->tickPosition(), QSlider::TicksBelow);
        EXPECT_EQ(s.slider->tickInterval(), 1);
        EXPECT_EQ(s.slider->singleStep(), 1);
        EXPECT_EQ(s.slider->pageStep(), 2);
    }
    EXPECT_FALSE(form->Timer2->Enabled());
    EXPECT_FALSE(form->Timer2->Ticker().isActive());
    EXPECT_EQ(form->Timer2->Interval(), 1000);
    EXPECT_TRUE(form->Timer1->Enabled());
    EXPECT_EQ(form->Timer1->Interval(), 1000);
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_FALSE(form->SweepToggle());
    EXPECT_EQ(form->MilliAmpTable[0], "0.00");
    EXPECT_EQ(form->MilliAmpTable[21], "3.00");
    EXPECT_EQ(form->MilliAmpTable[22], "3.67");
    EXPECT_EQ(form->MilliAmpTable[30], "32.69");
    EXPECT_EQ(form->MilliAmpTable[31], "32.69");
}

TEST_F(WindowTest, PortStartsWithTheWindowsSettings)
{
    TComPort* port = form->ComPort1;
    EXPECT_EQ(port->Port(), "COM1");
    EXPECT_EQ(port->BaudRate(), br9600);
    EXPECT_EQ(port->DataBits(), dbEight);
    EXPECT_EQ(port->Parity()->Bits(), prNone);
    EXPECT_EQ(port->StopBits(), sbOneStopBit);
    EXPECT_EQ(port->Events(), AllComEvents);
    EXPECT_FALSE(port->FlowControl()->OutCTSFlow());
    EXPECT_FALSE(port->FlowControl()->OutDSRFlow());
    EXPECT_EQ(port->FlowControl()->ControlDTR(), dtrDisable);
    EXPECT_EQ(port->FlowControl()->ControlRTS(), rtsDisable);
    EXPECT_FALSE(port->FlowControl()->XonXoffOut());
    EXPECT_FALSE(port->FlowControl()->XonXoffIn());
    EXPECT_TRUE(static_cast<bool>(port->OnRxChar));
    EXPECT_EQ(port->parent(), form.get());
}

TEST_F(WindowTest, CreatingTheWindowAndOpeningThePortSendNothing)
{
    // A second window, created while the line is watched.
    std::vector<AnsweredBox> boxes = AnswerBoxes([&] {
        TZARIDOForm1 second;
        second.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&second));
        EXPECT_EQ(second.VALIPK->text(), "00mA");
        EXPECT_EQ(second.Rval->text(), "00%");
        EXPECT_EQ(second.VAL_WIDTH->text(), "000ms");
        second.ComPort1->SetPort(QString::fromStdString(pty.SlavePath()));
        second.TogglePort();
        EXPECT_TRUE(second.ComPort1->Connected());
        QTest::qWait(100);
    });
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(pty.Receive(1, std::chrono::milliseconds(200)), "");
}

TEST_F(WindowTest, EveryCaptionFitsItsControl)
{
    int checked = 0;
    for (QWidget* control : form->centralWidget()->findChildren<QWidget*>()) {
        const QString text = CaptionText(control);
        if (text.isEmpty())
            continue;
        SCOPED_TRACE(control->objectName().toStdString() + " \"" + text.toStdString() + "\"");
        const int width = QFontMetrics(control->font()).horizontalAdvance(text);
        EXPECT_LE(width, CaptionRoom(control));
        // The text is at most slightly condensed.
        EXPECT_TRUE(control->font().stretch() == QFont::AnyStretch || control->font().stretch() >= 85);
        ++checked;
    }
    // 4 in GroupBox1 (with its title), 15 in GroupBox2 and 3, the rest.
    EXPECT_GE(checked, 30);
}
