// The command line and environment, looked at before Qt starts.
#include "app/CommandLine.h"

#include <cstdlib>
#include <string>

#ifndef RVD3318_PANEL_VERSION
#define RVD3318_PANEL_VERSION "unknown"
#endif

namespace {

constexpr const char* Program = "rvd3318-panel";

// The environment variables are those app/Unattended.h reads, in the order
// it acts on them.
constexpr const char* Usage =
    "Usage: rvd3318-panel [--help | --version]\n"
    "\n"
    "The control panel for an RVD3318 evaluation board on a serial line: set\n"
    "the board's mode, peak current, LED levels and gradual dimming, and see\n"
    "what the board answers. It takes no other arguments and stores nothing;\n"
    "its texts follow LANG (German comes with the program).\n"
    "\n"
    "Options:\n"
    "  --help       show this text\n"
    "  --version    show the program's version\n"
    "\n"
    "Environment:\n"
    "  CPORT_EXTRA_PORTS=PATH:...       more ports for the port list (virtual ones)\n"
    "Unattended runs (scripts, tests), acted on once the window is shown:\n"
    "  RVD3318_PANEL_SETUP=1            choose Edit > Format RS232... first\n"
    "  RVD3318_PANEL_OPEN=PORT          set the port name to PORT and open it\n"
    "  RVD3318_PANEL_REPORT_DIALOGS=1   write every dialog and message box to\n"
    "                                   standard output and close it as Cancel;\n"
    "                                   the window closes after the steps above\n"
    "  RVD3318_PANEL_SCREENSHOT=FILE    then save the window as a PNG picture\n"
    "                                   and close it\n"
    "  RVD3318_PANEL_EXIT_WHEN_SHOWN=1  print \"shown <resident kB>\" when the\n"
    "                                   window first painted, and close it\n"
    "\n"
    "Exit status: 0 when the window was closed, 1 without a display, 2 for a\n"
    "bad argument, 217 when a start-up step failed (\"Runtime error 217\").\n";

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

std::optional<int> HandleCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(Usage, out);
            std::fflush(out);
            return 0;
        }
        if (argument == "--version") {
            std::fprintf(out, "%s %s\n", Program, RVD3318_PANEL_VERSION);
            std::fflush(out);
            return 0;
        }
        std::fprintf(err, "%s: unknown argument '%s'\nTry '%s --help'.\n", Program, argument.c_str(), Program);
        return BadArgumentExitCode;
    }
    // Qt would pick its X11 platform, fail to connect and abort the process.
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !IsSet("QT_QPA_PLATFORM")) {
        std::fprintf(err, "%s: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
                     Program);
        return NoDisplayExitCode;
    }
    return std::nullopt;
}
