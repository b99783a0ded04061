// The main window: its form, its controls' handlers, the port and its
// status bar, and where it opens on the screen.
#include "panel/ZARIDO_CNTL.h"

#include "framework/Component.h"
#include "framework/ErrorDisplay.h"
#include "i18n/GnuGettextQt.h"
#include "panel/CaptionFit.h"
#include "panel/PortReturn.h"
#include "panel/Readouts.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QDateTime>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

namespace {

constexpr int ClientWidth = 696;
constexpr int ClientHeight = 294;
// 8 points at 96 pixels per inch.
constexpr int FontPixelSize = 11;
// Where the window's outer top-left corner goes when the screen has room.
constexpr QPoint Place(258, 144);
// The sweep timer's interval for each position of the SWEEP slider.
constexpr int SweepStepMs = 300;

// Ticks that fall due while a message box is waiting for the operator are
// dropped: with the port closed each would open another box on top.
bool MessageBoxShown()
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr;
}

// A text of the window's own in the language of the catalogues.
QString Text(const char* english)
{
    return QString::fromStdString(LookupText(english));
}

QString LongTimeText(const QTime& time, const QLocale& locale)
{
    // The locale's long form ends in the time zone, which does not fit the
    // panel; the rest is the long time of the regional settings.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return locale.toString(time, format.trimmed());
}

} // namespace

TZARIDOForm1::TZARIDOForm1(QWidget* parent)
    : QMainWindow(parent)
    , ComPort1(new TComPort(this))
    , commander_(*ComPort1)
{
    Q_INIT_RESOURCE(panel);
    {
        TFormLoading loading;
        setupUi(this);
        ComPort1->setObjectName(QStringLiteral("ComPort1"));
        ConfigurePort();
        ConfigureLed();
        Timer1 = new TTimer(this);
        Timer1->setObjectName(QStringLiteral("Timer1"));
        Timer2 = new TTimer(this);
        Timer2->setObjectName(QStringLiteral("Timer2"));
        Timer2->SetEnabled(false);
        loading.Finish();
    }

    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/rvd3318-panel.png")));
    setFont(WindowFont());
    QPalette background = palette();
    background.setColor(QPalette::Window, background.color(QPalette::Button));
    setPalette(background);
    ClientArea->setAutoFillBackground(true);
    // An error here is shown, and the window keeps the texts it has.
    GuardedCall([this] { TranslateCaptions(); });
    ClientArea->setFixedSize(ClientWidth, ClientHeight);
    setFixedSize(ClientWidth, ClientHeight + MainMenu1->sizeHint().height());
    move(Place);

    CreateStatusPanels();
    // What the board sends is not the operator's editing: an undo history
    // of every received batch would grow without end.
    PORTW->setUndoRedoEnabled(false);
    // Tab leaves the pane for the next control, as everywhere else in the
    // window; a tab character has no use in what the board is told.
    PORTW->setTabChangesFocus(true);
    ReceivePane = new TReceivePane(PORTW);
    for (QWidget* control : ClientArea->findChildren<QWidget*>())
        if (!CaptionText(control).isEmpty())
            FitCaption(control);
    ConnectHandlers();

    // An error here is shown, and the window is created all the same.
    GuardedCall([this] { FormCreate(this); });
}

TZARIDOForm1::~TZARIDOForm1() = default;

void TZARIDOForm1::showEvent(QShowEvent* event)
{
    GuardedCall([&] {
        QMainWindow::showEvent(event);
        if (placed_)
            return;
        placed_ = true;
        KeepOnScreen();
    });
}

void TZARIDOForm1::KeepOnScreen()
{
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    // A scale factor makes the screen smaller in the window's pixels: at 2
    // a 1280 x 1024 screen has room for 640 x 512, and the fixed place
    // would put most of the window beyond its edge.
    const QRect available = screen->availableGeometry();
    const QRect frame = frameGeometry();
    const auto fit = [](int wanted, int size, int start, int room) {
        const int latest = start + room - size;
        return std::max(start, std::min(wanted, latest));
    };
    const QPoint place(fit(Place.x(), frame.width(), available.x(), available.width()),
                       fit(Place.y(), frame.height(), available.y(), available.height()));
    if (place != frame.topLeft())
        move(place);
}

void TZARIDOForm1::TranslateCaptions()
{
    // The readouts are numbers, the maker's name and the window's caption
    // are names; the port's name is a device's, and the lamp has no text.
    for (const char* name : {"VALIPK", "Rval", "Gval", "Bval", "VAL_START", "VAL_STOP", "VAL_WIDTH", "Label9",
                             "ComPort1", "ComLed1", ".windowTitle"})
        TP_Ignore(this, name);
    TranslateObjectTree(this, "default");
}

QFont TZARIDOForm1::WindowFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    // Where it is not installed (Windows), the face it was drawn to match,
    // with the same widths: the captions fit either way.
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setPixelSize(FontPixelSize);
    return font;
}

void TZARIDOForm1::ConfigurePort()
{
    ComPort1->SetPort(QStringLiteral("COM1"));
    ComPort1->SetBaudRate(br9600);
    ComPort1->SetDataBits(dbEight);
    ComPort1->SetStopBits(sbOneStopBit);
    ComPort1->Parity()->SetBits(prNone);
    ComPort1->SetEvents(AllComEvents);
    TComFlowControl* flow = ComPort1->FlowControl();
    flow->SetOutCTSFlow(false);
    flow->SetOutDSRFlow(false);
    flow->SetControlDTR(dtrDisable);
    flow->SetControlRTS(rtsDisable);
    flow->SetXonXoffOut(false);
    flow->SetXonXoffIn(false);
    ComPort1->OnRxChar = [this](QObject* sender, std::int32_t count) { ComPort1RxChar(sender, count); };
    ComPort1->OnDeviceLost = [this](QObject* sender) { ComPort1DeviceLost(sender); };
    portReturn_ = std::make_unique<TPortReturn>(*ComPort1, this, PORTW);
    portReturn_->OnReturned = [this] {
        ShowPortState();
        StatusPanels[PortNamePanel]->setText(QStringLiteral("PORT = ") + ComPort1->Port());
    };
}

void TZARIDOForm1::ConfigureLed()
{
    ComLed1->SetLedSignal(lsConn);
    ComLed1->SetKind(lkRedLight);
    ComLed1->SetComPort(ComPort1);
}

void TZARIDOForm1::CreateStatusPanels()
{
    static const struct {
        int width;
        const char* text;
    } panels[StatusPanelCount] = {{75, "PORT : CLOSE"}, {80, "PORT : xxxx"}, {150, "PORT= None,8,9600,1"}, {150, ""}, {50, "RVD3318"}};
    StatusBar1->setContentsMargins(0, 0, 0, 0);
    for (std::size_t i = 0; i < StatusPanelCount; ++i) {
        // Only the port's state is a word; the rest are names and settings.
        const QString text = i == PortStatePanel ? Text(MarkForTranslation("PORT : CLOSE")) : QString::fromLatin1(panels[i].text);
        auto* panel = new TStatusPanel(text, panels[i].width, StatusBar1);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusBar1->addWidget(panel);
        StatusPanels[i] = panel;
    }
}

void TZARIDOForm1::ConnectHandlers()
{
    const auto onChange = [this](TTrackBar* slider, void (TZARIDOForm1::*handler)(QObject*)) {
        connect(slider, &TTrackBar::Change, this, [this, slider, handler] {
            GuardedCall([&] { (this->*handler)(slider); });
        });
    };
    onChange(IPEAKTrack, &TZARIDOForm1::IPEAKTrackChange);
    onChange(REDTrack, &TZARIDOForm1::REDTrackChange);
    onChange(GREENTrack, &TZARIDOForm1::GREENTrackChange);
    onChange(BLUETrack, &TZARIDOForm1::BLUETrackChange);
    onChange(GD_START_Track, &TZARIDOForm1::GD_START_TrackChange);
    onChange(GD_STOP_Track, &TZARIDOForm1::GD_STOP_TrackChange);
    onChange(GD_WIDTH_Track, &TZARIDOForm1::GD_WIDTH_TrackChange);
    onChange(SWEEPTrack, &TZARIDOForm1::SWEEPTrackChange);
    connect(GD_START_Track, &TTrackBar::KeyUp, this,
            [this](int key) { GuardedCall([&] { GD_START_TrackKeyUp(GD_START_Track, key); }); });

    // A radio button's handler runs only when it becomes the selected one.
    connect(SEL_BKL, &QRadioButton::toggled, this, [this](bool checked) {
        GuardedCall([&] {
            if (checked)
                SEL_BKLClick(SEL_BKL);
        });
    });
    connect(SEL_RGB, &QRadioButton::toggled, this, [this](bool checked) {
        GuardedCall([&] {
            if (checked)
                SEL_RGBClick(SEL_RGB);
        });
    });
    connect(SweepLED, &QCheckBox::toggled, this, [this] { GuardedCall([&] { SweepLEDClick(SweepLED); }); });

    Timer1->OnTimer = [this](QObject* sender) { Timer1Timer(sender); };
    Timer2->OnTimer = [this](QObject* sender) { Timer2Timer(sender); };

    connect(OPEN_PORT, &QPushButton::clicked, this, [this] { GuardedCall([&] { OPEN_PORTClick(OPEN_PORT); }); });
    connect(CLEARW, &QPushButton::clicked, this, [this] { GuardedCall([&] { CLEARWClick(CLEARW); }); });
    connect(EXITBUT, &QPushButton::clicked, this, [this] { GuardedCall([&] { EXITBUTClick(EXITBUT); }); });
    connect(Exit1, &QAction::triggered, this, [this] { GuardedCall([&] { Exit1Click(Exit1); }); });
    connect(OpenRS2321, &QAction::triggered, this,
            [this] { GuardedCall([&] { OpenRS2321Click(OpenRS2321); }); });
    connect(FormatRS2321, &QAction::triggered, this,
            [this] { GuardedCall([&] { FormatRS2321Click(FormatRS2321); }); });

    commander_.SetMessageHook([this](const std::string& message) { ShowRefusal(message); });
}

void TZARIDOForm1::ShowRefusal(const std::string& message)
{
    const QString text = QString::fromStdString(LookupText(message));
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok, this);
    box.exec();
}

QString TZARIDOForm1::CurrentReadout(int position) const
{
    return MilliAmpTable.at(static_cast<std::size_t>(position)) + QStringLiteral("mA");
}

QString TZARIDOForm1::PercentReadout(int position) const
{
    const QString separator = QLocale().decimalPoint();
    const char decimal = separator.size() == 1 && separator.at(0).unicode() < 0x80
                             ? static_cast<char>(separator.at(0).unicode())
                             : '.';
    return QString::fromStdString(PercentText(position, decimal));
}

// ---- board controls ----------------------------------------------------------

void TZARIDOForm1::FormCreate(QObject* /*Sender*/)
{
    for (int position = 0; position < static_cast<int>(MilliAmpTable.size()); ++position)
        MilliAmpTable[static_cast<std::size_t>(position)] = QString::fromLatin1(MilliAmpText(position));
}

void TZARIDOForm1::IPEAKTrackChange(QObject* /*Sender*/)
{
    const int position = IPEAKTrack->value();
    SetReadout(VALIPK, CurrentReadout(position));
    commander_.SendSlider(TBoardSlider::IPeak, position);
}

void TZARIDOForm1::REDTrackChange(QObject* /*Sender*/)
{
    SetReadout(Rval, PercentReadout(REDTrack->value()));
    commander_.SendSlider(TBoardSlider::Led1, REDTrack->value());
}

void TZARIDOForm1::GREENTrackChange(QObject* /*Sender*/)
{
    SetReadout(Gval, PercentReadout(GREENTrack->value()));
    commander_.SendSlider(TBoardSlider::Led2, GREENTrack->value());
}

void TZARIDOForm1::BLUETrackChange(QObject* /*Sender*/)
{
    SetReadout(Bval, PercentReadout(BLUETrack->value()));
    commander_.SendSlider(TBoardSlider::Led3, BLUETrack->value());
}

void TZARIDOForm1::GD_START_TrackChange(QObject* /*Sender*/)
{
    const int position = GD_START_Track->value();
    SetReadout(VAL_START, CurrentReadout(position));
    commander_.SendSlider(TBoardSlider::TgtUp, position);
}

void TZARIDOForm1::GD_START_TrackKeyUp(QObject* Sender, int /*Key*/)
{
    GD_START_TrackChange(Sender);
}

void TZARIDOForm1::GD_STOP_TrackChange(QObject* /*Sender*/)
{
    const int position = GD_STOP_Track->value();
    SetReadout(VAL_STOP, CurrentReadout(position));
    commander_.SendSlider(TBoardSlider::TgtDwn, position);
}

void TZARIDOForm1::GD_WIDTH_TrackChange(QObject* /*Sender*/)
{
    const int position = GD_WIDTH_Track->value();
    SetReadout(VAL_WIDTH, QString::fromStdString(StrDimText(position)));
    commander_.SendSlider(TBoardSlider::StrDim, position);
}

void TZARIDOForm1::SEL_BKLClick(QObject* /*Sender*/)
{
    SWEEPTrack->setEnabled(false);
    commander_.SendMode(TBoardMode::BackLight);
}

void TZARIDOForm1::SEL_RGBClick(QObject* /*Sender*/)
{
    SWEEPTrack->setEnabled(false);
    commander_.SendMode(TBoardMode::RGB);
}

void TZARIDOForm1::SweepLEDClick(QObject* /*Sender*/)
{
    const bool on = SweepLED->isChecked();
    Timer2->SetEnabled(on);
    SWEEPTrack->setEnabled(on);
}

void TZARIDOForm1::SWEEPTrackChange(QObject* /*Sender*/)
{
    Timer2->SetInterval(SWEEPTrack->value() * SweepStepMs);
}

void TZARIDOForm1::Timer2Timer(QObject* /*Sender*/)
{
    // While a lost port is waited for, the operator has been told once;
    // a refusal per tick would only pile up. The sweep goes on when the
    // port is back.
    if (MessageBoxShown() || portReturn_->Waiting())
        return;
    commander_.Sweep();
}

// ---- connection and status -----------------------------------------------------

void TZARIDOForm1::TogglePort()
{
    // The operator takes over from the waiting for a lost port.
    portReturn_->StopWaiting();
    StatusPanels[PortNamePanel]->setText(ComPort1->Port());
    if (ComPort1->Connected())
        ComPort1->ClosePort();
    else
        ComPort1->OpenPort();
    ShowPortState();
    StatusPanels[PortNamePanel]->setText(QStringLiteral("PORT = ") + ComPort1->Port());
}

QString TZARIDOForm1::LineFormatText() const
{
    return QStringLiteral("PORT= ") + ParityText(ComPort1->Parity()->Bits()) + QLatin1Char(',') +
           DataBitsText(ComPort1->DataBits()) + QLatin1Char(',') + BaudRateText(ComPort1->BaudRate()) +
           QLatin1Char(',') + StopBitsText(ComPort1->StopBits());
}

void TZARIDOForm1::OPEN_PORTClick(QObject* /*Sender*/)
{
    // The start name asks for a choice first; a dialog that cannot be
    // built leaves by its error and the port is not touched.
    const QString name = ComPort1->Port();
    if (name == QLatin1String("COM1") || name.isEmpty())
        ComPort1->ShowSetupDialog();
    TogglePort();
}

void TZARIDOForm1::OpenRS2321Click(QObject* /*Sender*/)
{
    TogglePort();
}

void TZARIDOForm1::FormatRS2321Click(QObject* /*Sender*/)
{
    ComPort1->ShowSetupDialog();
    StatusPanels[PortNamePanel]->setText(QStringLiteral("PORT = ") + ComPort1->Port());
    StatusPanels[LineFormatPanel]->setText(LineFormatText());
}

void TZARIDOForm1::Timer1Timer(QObject* /*Sender*/)
{
    const QLocale locale;
    const QDateTime now = Clock();
    QString text = locale.toString(now.date(), QLocale::ShortFormat);
    // Within the first second after midnight the date stands alone.
    const QTime time = now.time();
    if (time.hour() != 0 || time.minute() != 0 || time.second() != 0)
        text += QLatin1Char(' ') + LongTimeText(time, locale);
    StatusPanels[ClockPanel]->setText(text);
}

void TZARIDOForm1::ComPort1RxChar(QObject* /*Sender*/, std::int32_t Count)
{
    ComPort1->ReadText(received_, Count);
    ReceivePane->Receive(received_);
}

void TZARIDOForm1::ComPort1DeviceLost(QObject* /*Sender*/)
{
    portReturn_->TakeLoss();
    ShowPortState();
}

void TZARIDOForm1::ShowPortState()
{
    if (ComPort1->Connected()) {
        OPEN_PORT->setText(Text(MarkForTranslation("CLOSE")));
        StatusPanels[PortStatePanel]->setText(Text(MarkForTranslation("PORT=OPEN")));
    } else {
        OPEN_PORT->setText(Text(MarkForTranslation("OPEN")));
        StatusPanels[PortStatePanel]->setText(Text(MarkForTranslation("PORT=CLOSE")));
    }
    FitCaption(OPEN_PORT);
}

void TZARIDOForm1::CLEARWClick(QObject* /*Sender*/)
{
    ReceivePane->Clear();
}

void TZARIDOForm1::EXITBUTClick(QObject* /*Sender*/)
{
    close();
}

void TZARIDOForm1::Exit1Click(QObject* /*Sender*/)
{
    close();
}
