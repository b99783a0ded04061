// The way from the port component to its setup dialog. The dialog lives in
// the user-interface room above this one, which installs itself here at
// start-up; the port only knows that something may be installed.
#pragma once

#include <functional>

class TCustomComPort;

// Runs the setup dialog for `port` and writes the operator's choices back.
using TSetupDialogHook = std::function<void(TCustomComPort& port)>;

// Installs `hook` and returns the one it replaces; an empty function
// uninstalls it.
TSetupDialogHook SetSetupDialogHook(TSetupDialogHook hook);
