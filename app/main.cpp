// rvd3318-panel: the control panel for an RVD3318 evaluation board.
//
// Start-up: the application object, the catalogue engine, the serial port
// module, then the main window, shown, and the event loop. Shutdown: the
// window goes first with everything it owns (an open port is closed and its
// event thread ended), then the modules' shutdown steps in reverse order.
// A start-up step that fails ends the program with the runtime error box
// and exit code 217, without a window.
#include "app/CommandLine.h"
#include "app/ErrorBox.h"
#include "app/Process.h"
#include "app/Startup.h"
#include "app/TerminationSignals.h"
#include "app/Unattended.h"
#include "i18n/GnuGettextQt.h"
#include "panel/ZARIDO_CNTL.h"
#include "serial/CPort.h"
#include "serial_ui/CPortSetup.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyleFactory>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

// The window's layout is fixed in pixels; one style everywhere keeps its
// indicators and margins what the layout was checked against.
void ChooseStyle()
{
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
}

void ReportStartupFailure(const TStartupFailure& failure)
{
    const std::string text = RuntimeErrorText(failure.Place);
    // The box does not say why; standard error does.
    std::fprintf(stderr, "rvd3318-panel: start-up of the %s failed: %s\n%s\n", failure.Module.c_str(),
                 failure.Message.c_str(), text.c_str());
    std::fflush(stderr);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
}

} // namespace

int main(int argc, char** argv)
{
    UseStartingConsole();
    if (const std::optional<int> status = HandleCommandLine(argc, argv, stdout, stderr))
        return *status;

    // 1. The runtime and the user-interface framework.
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(ApplicationTitle(QCoreApplication::applicationFilePath()));
    ChooseStyle();
    // Dialogs and message boxes speak in the window's font too.
    QApplication::setFont(TZARIDOForm1::WindowFont());
    TTerminationSignals terminationSignals;
    TErrorDisplayInstallation errorDisplay;

    // 2.-3. The modules' start-up steps; their shutdown steps run in the
    // reverse order when `modules` is stopped.
    TModuleSteps modules({
        {"translation engine", GnuGettextStartup, GnuGettextShutdown},
        {"serial port module", InitComPortModule, DoneComPortModule},
    });
    TStartupFailure failure;
    if (!modules.Start(failure)) {
        ReportStartupFailure(failure);
        return StartupFailureExitCode;
    }

    // The port's ShowSetupDialog runs the setup dialog of the room above it.
    InstallSetupDialogHook();

    {
        // 4.-5. The main window from its form, shown.
        auto window = std::make_unique<TZARIDOForm1>();
        window->show();
        StartUnattendedRun(window.get());

        // 6. The event loop, until the main window is closed.
        QApplication::exec();
    }  // The window and all it owns are destroyed here, its port closed.

    modules.Stop();
    return 0;
}
