// The port's setup dialog and the call that runs it.
#pragma once

#include "serial_ui/ComSetupDialog.h"

class TCustomComPort;

// Runs a fresh setup dialog for `port`: the selectors show the port's
// present values; on OK every selector is written back inside one settings
// batch of the port, which is ended on every way out. Cancel or closing the
// window writes nothing. Errors (the dialog cannot be built, a write fails)
// leave as exceptions; the dialog is released in every case.
void EditPortSettings(TCustomComPort* port);

// Makes TCustomComPort::ShowSetupDialog run EditPortSettings. The program
// calls this once at start-up; the port's room cannot reach this one.
void InstallSetupDialogHook();
