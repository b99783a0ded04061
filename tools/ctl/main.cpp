// rvd3318ctl: drives an RVD3318 evaluation board from the command line, for
// lab scripts. Every command goes out exactly as the panel would send it.
#include "framework/Exception.h"
#include "panel/BoardCommands.h"
#include "serial/CPort.h"
#include "serial/ComPortList.h"

#include <QCoreApplication>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* const Usage =
    "Usage: rvd3318ctl [--port NAME] [--baud RATE] [--sweep-interval MS] COMMAND...\n"
    "       rvd3318ctl ports\n"
    "\n"
    "Sends commands to an RVD3318 evaluation board, in the order given, exactly\n"
    "as the control panel sends them. All arguments are checked before the port\n"
    "is opened: one bad argument and nothing is sent.\n"
    "\n"
    "Commands:\n"
    "  mode rgb | mode backlight  operating mode (also: bkl, back-light)\n"
    "  ipeak N                    I-PEAK current, 0 (off) to 30\n"
    "  led1 N | led2 N | led3 N   LED-1 to LED-3 level, 0 to 31\n"
    "  tgt-up N | tgt-dwn N       gradual dimming targets, 0 to 30\n"
    "  str-dim N                  gradual dimming time, 0 to 30 steps of 8 ms\n"
    "  sweep N                    N sweep commands (1 to 1000); the first of each\n"
    "                             run of this program is \"90\" \"80\", then \"80\" \"80\",\n"
    "                             and so on alternating\n"
    "  ports                      list the serial ports present, then the paths\n"
    "                             in CPORT_EXTRA_PORTS (colon-separated)\n"
    "\n"
    "Options:\n"
    "  --port NAME            the board's port: a path (/dev/pts/3, ./board.tty)\n"
    "                         or a name under /dev (ttyUSB0); default: the\n"
    "                         environment variable RVD3318_PORT\n"
    "  --baud RATE            line rate (default 9600)\n"
    "  --sweep-interval MS    pause between sweep commands (default 0)\n"
    "  --help                 show this text\n"
    "\n"
    "Exit status: 0 when everything was sent, 1 when the port failed, 2 on bad\n"
    "arguments.\n";

struct Step {
    enum TKind { Slider, Mode, Sweep };
    TKind Kind = Slider;
    TBoardSlider SliderId = TBoardSlider::IPeak;
    int Number = 0;  // position, or count of sweep commands
    TBoardMode ModeId = TBoardMode::BackLight;
};

struct Options {
    std::string port;
    int baud = 9600;
    int sweepIntervalMs = 0;
    bool listPorts = false;
    std::vector<Step> steps;
};

class BadArguments : public Exception {
public:
    using Exception::Exception;
};

int ParseNumber(const std::string& what, const std::string& text, int low, int high)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0')
        throw BadArguments(what + " takes a whole number, not '" + text + "'");
    if (value < low || value > high)
        throw BadArguments(what + " " + text + " is out of range: " + std::to_string(low) +
                           " to " + std::to_string(high));
    return static_cast<int>(value);
}

bool SliderOf(const std::string& word, TBoardSlider& slider)
{
    static const struct {
        const char* word;
        TBoardSlider slider;
    } names[] = {{"ipeak", TBoardSlider::IPeak},  {"led1", TBoardSlider::Led1},
                 {"led2", TBoardSlider::Led2},    {"led3", TBoardSlider::Led3},
                 {"tgt-up", TBoardSlider::TgtUp}, {"tgt-dwn", TBoardSlider::TgtDwn},
                 {"tgt-down", TBoardSlider::TgtDwn}, {"str-dim", TBoardSlider::StrDim}};
    for (const auto& name : names)
        if (word == name.word) {
            slider = name.slider;
            return true;
        }
    return false;
}

Options ParseArguments(const std::vector<std::string>& args)
{
    Options options;
    if (const char* port = std::getenv("RVD3318_PORT"))
        options.port = port;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        auto next = [&](const std::string& what) -> const std::string& {
            if (i + 1 >= args.size())
                throw BadArguments(word + " needs " + what);
            return args[++i];
        };
        TBoardSlider slider;
        if (word == "--help" || word == "-h") {
            std::fputs(Usage, stdout);
            std::exit(0);
        } else if (word == "--port") {
            options.port = next("a port name");
        } else if (word == "--baud") {
            options.baud = ParseNumber(word, next("a rate"), 50, 4000000);
        } else if (word == "--sweep-interval") {
            options.sweepIntervalMs = ParseNumber(word, next("a time in ms"), 0, 60000);
        } else if (word == "ports") {
            options.listPorts = true;
        } else if (word == "mode") {
            const std::string& mode = next("rgb or backlight");
            Step step;
            step.Kind = Step::Mode;
            if (mode == "rgb" || mode == "RGB")
                step.ModeId = TBoardMode::RGB;
            else if (mode == "backlight" || mode == "back-light" || mode == "bkl")
                step.ModeId = TBoardMode::BackLight;
            else
                throw BadArguments("unknown mode '" + mode + "': use rgb or backlight");
            options.steps.push_back(step);
        } else if (SliderOf(word, slider)) {
            Step step;
            step.Kind = Step::Slider;
            step.SliderId = slider;
            step.Number = ParseNumber(word, next("a position"), 0, SliderMaxPosition(slider));
            options.steps.push_back(step);
        } else if (word == "sweep") {
            Step step;
            step.Kind = Step::Sweep;
            step.Number = ParseNumber(word, next("a count"), 1, 1000);
            options.steps.push_back(step);
        } else if (!word.empty() && word[0] == '-') {
            throw BadArguments("unknown option '" + word + "'");
        } else {
            throw BadArguments("unknown command '" + word + "'");
        }
    }
    if (options.listPorts && !options.steps.empty())
        throw BadArguments("'ports' cannot be combined with board commands");
    if (!options.listPorts && options.steps.empty())
        throw BadArguments("nothing to send: give at least one command");
    if (!options.listPorts && options.port.empty())
        throw BadArguments("no port: give --port NAME (or set RVD3318_PORT)");
    return options;
}

// The port takes an absolute path as it is and looks any other name up
// under /dev; a relative path is meant from here.
QString PortName(const std::string& name)
{
    if (name.find('/') == std::string::npos || name[0] == '/')
        return QString::fromStdString(name);
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd))
        return QString::fromStdString(name);
    return QString::fromStdString(std::string(cwd) + "/" + name);
}

void SetRate(TComPort& port, int baud)
{
    for (int r = br110; r <= br256000; ++r)
        if (BaudRateValue(static_cast<TBaudRate>(r)) == baud) {
            port.SetBaudRate(static_cast<TBaudRate>(r));
            return;
        }
    port.SetCustomBaudRate(baud);
    port.SetBaudRate(brCustom);
}

int ListPorts()
{
    // The machine's own ports first and the extra paths after them, in the
    // order they were given: what a script reading this output expects.
    QStringList names;
    const int error = ListPortNames(names);
    if (error != 0)
        std::fprintf(stderr, "rvd3318ctl: cannot read the system's tty list: %s\n",
                     std::strerror(error));
    for (const QString& name : names)
        std::printf("%s\n", name.toLocal8Bit().constData());
    return error != 0 && names.isEmpty() ? 1 : 0;
}

int Send(const Options& options)
{
    TComPort port;
    port.SetEvents(TComEvents{});  // nothing is read: no event thread
    port.SetPort(PortName(options.port));
    SetRate(port, options.baud);
    try {
        port.OpenPort();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rvd3318ctl: cannot open port %s: %s\n", options.port.c_str(),
                     error.what());
        if (const auto* portError = dynamic_cast<const EComPort*>(&error))
            for (const std::string& line : ComErrorDetails(*portError))
                std::fprintf(stderr, "  %s\n", line.c_str());
        return 1;
    }

    TBoardCommander commander(port);
    bool refused = false;
    commander.SetMessageHook([&](const std::string& message) {
        std::fprintf(stderr, "rvd3318ctl: %s\n", message.c_str());
        refused = true;
    });
    // Counted for the error message: the board has everything before it.
    int sent = 0;
    try {
        for (const Step& step : options.steps) {
            switch (step.Kind) {
            case Step::Slider:
                sent += commander.SendSlider(step.SliderId, step.Number) ? 1 : 0;
                break;
            case Step::Mode:
                sent += commander.SendMode(step.ModeId) ? 1 : 0;
                break;
            case Step::Sweep:
                for (int n = 0; n < step.Number && !refused; ++n) {
                    if (n > 0 && options.sweepIntervalMs > 0)
                        std::this_thread::sleep_for(std::chrono::milliseconds(options.sweepIntervalMs));
                    sent += commander.Sweep() ? 1 : 0;
                }
                break;
            }
            if (refused)
                return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rvd3318ctl: %s (%d command%s sent in full before it)\n", error.what(),
                     sent, sent == 1 ? "" : "s");
        return 1;
    }
    port.ClosePort();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The port component is a QObject and posts its notices through Qt.
    QCoreApplication app(argc, argv);

    std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    try {
        options = ParseArguments(args);
    } catch (const BadArguments& error) {
        std::fprintf(stderr, "rvd3318ctl: %s\nTry 'rvd3318ctl --help'.\n", error.what());
        return 2;
    }
    return options.listPorts ? ListPorts() : Send(options);
}
