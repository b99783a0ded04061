// The hook through which the port shows its setup dialog.
#include "serial/SetupDialogHook.h"

#include "framework/Exception.h"
#include "serial/ComPort.h"

#include <utility>

namespace {

TSetupDialogHook installedHook;

} // namespace

TSetupDialogHook SetSetupDialogHook(TSetupDialogHook hook)
{
    TSetupDialogHook previous = std::move(installedHook);
    installedHook = std::move(hook);
    return previous;
}

void TCustomComPort::ShowSetupDialog()
{
    // A program that never installed a dialog has made a wiring mistake;
    // saying so beats returning as if the operator had cancelled.
    if (!installedHook)
        throw Exception("No port setup dialog is installed");
    // A copy, so that a hook that replaces itself while it runs stays alive.
    const TSetupDialogHook hook = installedHook;
    hook(*this);
}
