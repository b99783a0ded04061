// Editing a port's settings in the setup dialog, and the hook that lets the port ask for it.
#include "serial_ui/CPortSetup.h"

#include "serial/ComPort.h"
#include "serial/SetupDialogHook.h"
#include "serial_ui/ComSelect.h"

#include <QPointer>

#include <array>
#include <memory>

void EditPortSettings(TCustomComPort* port)
{
    const auto dialog = std::make_unique<TComSetupFrm>();
    const std::array<TComComboBox*, 6> selectors = dialog->Selectors();
    for (TComComboBox* selector : selectors)
        selector->setComPort(port); // binding shows the port's present value

    // The modal loop runs handlers that might destroy the port; the
    // selectors forget it then, and so must this call.
    const QPointer<TCustomComPort> watched(port);
    if (dialog->exec() != TComSetupFrm::mrOk || !watched)
        return;

    port->BeginSettingsUpdate();
    try {
        for (TComComboBox* selector : selectors) {
            // A port whose name is not among the listed ports (the start
            // name "COM1", or a path the list does not know) shows no
            // selection; writing the selector's empty choice would wipe the
            // name. Without a choice of the operator the name stays.
            if (selector == selectors[0] && selector->currentIndex() < 0)
                continue;
            selector->CommitToPort();
        }
    } catch (...) {
        // The batch ends on this way out too; the write's error is the one
        // the caller hears about, not a follow-up of the same trouble.
        try {
            port->EndSettingsUpdate();
        } catch (...) {
        }
        throw;
    }
    port->EndSettingsUpdate();
}

void InstallSetupDialogHook()
{
    SetSetupDialogHook([](TCustomComPort& port) { EditPortSettings(&port); });
}
