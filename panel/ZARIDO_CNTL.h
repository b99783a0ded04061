// ZARIDO_CNTL: the panel's main window. The operator chooses the board's
// mode, sets the peak current, the three LED levels and the gradual-dimming
// parameters, and can let a timer repeat the gradual-dimming command. Each
// control change rewrites its readout first and then sends its board
// command; a closed port refuses the command with a message.
//
// The controls come from the form description ZARIDO_CNTL.ui; they are
// public members with the names of the layout, as the handlers are.
#pragma once

#include "panel/BoardCommands.h"
#include "panel/ReceivePane.h"
#include "panel/StatusPanel.h"
#include "framework/Timer.h"
#include "panel/TrackBar.h"
#include "serial/CPort.h"
#include "serial_ui/ComLed.h"

#include "ui_ZARIDO_CNTL.h"

#include <QDateTime>
#include <QMainWindow>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TPortReturn;

class TZARIDOForm1 : public QMainWindow, public Ui::TZARIDOForm1 {
    Q_OBJECT

public:
    explicit TZARIDOForm1(QWidget* parent = nullptr);
    ~TZARIDOForm1() override;

    // The font the window's layout was made for. A program that makes it
    // the application's font before the window exists spares the window
    // laying out every control twice and loading a face it never shows.
    static QFont WindowFont();

    // ---- non-visual parts --------------------------------------------------
    TComPort* ComPort1 = nullptr;
    TTimer* Timer1 = nullptr;  // clock of the status bar
    TTimer* Timer2 = nullptr;  // sweep timer
    // The panels of StatusBar1, left to right: the port's state, its name,
    // its line format, the clock and the board's name.
    enum : std::size_t { PortStatePanel, PortNamePanel, LineFormatPanel, ClockPanel, BoardNamePanel, StatusPanelCount };
    std::array<TStatusPanel*, StatusPanelCount> StatusPanels{};

    // Where the status bar's clock takes the local date and time from.
    std::function<QDateTime()> Clock = [] { return QDateTime::currentDateTime(); };

    // What PORTW shows of the received text: its bound, its line ends and
    // its frames.
    TReceivePane* ReceivePane = nullptr;

    // Readout texts of the current sliders by position; filled by FormCreate.
    std::array<QString, 32> MilliAmpTable;

    // The sweep phase: which selector the next sweep command carries.
    bool SweepToggle() const { return commander_.SweepToggle(); }

    // ---- handlers ------------------------------------------------------------
    void FormCreate(QObject* Sender);
    void IPEAKTrackChange(QObject* Sender);
    void REDTrackChange(QObject* Sender);
    void GREENTrackChange(QObject* Sender);
    void BLUETrackChange(QObject* Sender);
    void GD_START_TrackChange(QObject* Sender);
    void GD_START_TrackKeyUp(QObject* Sender, int Key);
    void GD_STOP_TrackChange(QObject* Sender);
    void GD_WIDTH_TrackChange(QObject* Sender);
    void SEL_BKLClick(QObject* Sender);
    void SEL_RGBClick(QObject* Sender);
    void SweepLEDClick(QObject* Sender);
    void SWEEPTrackChange(QObject* Sender);
    void Timer2Timer(QObject* Sender);

    // Connection and status.
    void OPEN_PORTClick(QObject* Sender);
    void OpenRS2321Click(QObject* Sender);
    void FormatRS2321Click(QObject* Sender);
    void Timer1Timer(QObject* Sender);
    void ComPort1RxChar(QObject* Sender, std::int32_t Count);
    // The port's device went away: closed, told, and waited for.
    void ComPort1DeviceLost(QObject* Sender);
    void CLEARWClick(QObject* Sender);
    void EXITBUTClick(QObject* Sender);
    void Exit1Click(QObject* Sender);

    // Opens the port when it is closed and closes it when it is open,
    // keeping the button caption and the status panels in step.
    void TogglePort();

    // "PORT= " and the port's parity, data bits, baud rate and stop bits.
    QString LineFormatText() const;

    // What takes the port back when its lost device returns.
    TPortReturn& PortReturn() const { return *portReturn_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Moves the window just enough to lie wholly on its screen's available
    // area; where it is larger than that area, to the area's top-left.
    void KeepOnScreen();
    // The window's own captions in the language of the catalogues (domain
    // "default"); numbers, names and the caption stay as they are.
    void TranslateCaptions();
    // The button's caption and the port's status panel for the port's state.
    void ShowPortState();
    void ConfigurePort();
    void ConfigureLed();
    void CreateStatusPanels();
    void ConnectHandlers();
    void ShowRefusal(const std::string& message);
    // Readout texts of a current slider ("32.69mA") and an LED slider ("99.99%").
    QString CurrentReadout(int position) const;
    QString PercentReadout(int position) const;

    TBoardCommander commander_;
    bool placed_ = false;
    // A member, not a child: it lets go of the port before the port goes.
    std::unique_ptr<TPortReturn> portReturn_;
    // What OnRxChar reads into, kept between arrivals so that its memory is
    // taken once, not for every arrival.
    std::string received_;
};
