// Unattended runs (scripts, tests, the start-up benchmark) steer the panel
// through environment variables, since the program takes no arguments:
//
//   RVD3318_PANEL_SETUP=1          once the window is shown, choose
//                                  Edit > Format RS232..., which shows the
//                                  setup dialog (before any open below)
//   RVD3318_PANEL_OPEN=PORT        once the window is shown, set the port
//                                  name and open it, as Edit > Open RS232
//   RVD3318_PANEL_REPORT_DIALOGS=1 every dialog and message box that is
//                                  shown is written to standard output
//                                  ("dialog TITLE", a "text ..." line for
//                                  each caption, label and button in it,
//                                  "end dialog") and then closed as
//                                  Cancel; the window is closed after the
//                                  steps above unless a screenshot is due
//   RVD3318_PANEL_SCREENSHOT=FILE  then save a picture of the window as
//                                  PNG, say where on standard output, and
//                                  close the window
//   RVD3318_PANEL_EXIT_WHEN_SHOWN=1  print "shown <resident kB>" on standard
//                                  output when the window first painted,
//                                  and close it
//
// Without them nothing here does anything.
#pragma once

#include "app/Process.h"

#include <functional>

class QWidget;
class TZARIDOForm1;

// Runs `action` once, on the main thread, after `window` has painted for
// the first time.
void WhenFirstPainted(QWidget* window, std::function<void()> action);


// Arms whatever the environment asks for; call once the window is shown.
void StartUnattendedRun(TZARIDOForm1* window);
