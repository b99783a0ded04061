// rvd3318ctl: drives an RVD3318 evaluation board from the command line, for
// lab scripts. Every command goes out exactly as the panel would send it;
// what the board answers is printed, and can be required.
#include "framework/Exception.h"
#include "panel/BoardCommands.h"
#include "serial/CPort.h"
#include "serial/ComError.h"
#include "serial/ComPortList.h"
#include "tools/ctl/PortLine.h"
#include "tools/ctl/PortListing.h"
#include "tools/ctl/Sequence.h"
#include "tools/ctl/SequenceRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "Usage: rvd3318ctl [OPTIONS] COMMAND...\n"
    "       rvd3318ctl [OPTIONS] --file FILE\n"
    "       rvd3318ctl ports\n"
    "       rvd3318ctl --list\n"
    "\n"
    "Sends commands to an RVD3318 evaluation board, in the order given, exactly\n"
    "as the control panel sends them, and prints what the board answers, one\n"
    "line at a time, after each command. Everything is checked before the port\n"
    "is opened: one bad argument or sequence line and nothing is sent.\n"
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
    "  wait MS                    pause MS milliseconds (0 to 3600000) after the\n"
    "                             answers to the command before\n"
    "  ports                      list the serial ports present, then the paths\n"
    "                             in CPORT_EXTRA_PORTS (colon-separated)\n"
    "\n"
    "Options:\n"
    "  --port NAME            the board's port: a path (/dev/pts/3, ./board.tty),\n"
    "                         a name under /dev (ttyUSB0), or a port on a serial\n"
    "                         server (rfc2217://HOST:PORT, socket://HOST:PORT);\n"
    "                         default: the environment variable RVD3318_PORT\n"
    "  --baud RATE            line rate (default 9600)\n"
    "  --file FILE            read the commands from FILE, one a line, '#' starts\n"
    "                         a comment; - reads standard input to its end\n"
    "  --timeout MS           wait up to MS for each command's answer (default\n"
    "                         200; 0 takes only what has arrived)\n"
    "  --expect TEXT          every command must be answered with a line that\n"
    "                         contains TEXT within the time-out\n"
    "  --expect-regex RE      ... with a line in which the regular expression RE\n"
    "                         (Perl syntax) finds a match\n"
    "  --json                 print one JSON record a line for each command:\n"
    "                         command, sent, bytes, answers, time_ms, answer_ms\n"
    "                         (and met, with --expect or --expect-regex)\n"
    "  --sweep-interval MS    pause between sweep commands (default 0)\n"
    "  --list                 lists the serial ports, one a line: name,\n"
    "                         description, stable name\n"
    "  --help                 show this text\n"
    "\n"
    "Exit status: 0 when everything was sent, 1 when the port failed, 2 on bad\n"
    "arguments or a bad sequence, 3 when an answer did not meet an expectation\n"
    "(nothing more is sent then).\n";

struct Options {
    std::string port;
    int baud = 9600;
    int sweepIntervalMs = 0;
    int timeoutMs = 200;
    bool listPorts = false;
    bool json = false;
    std::string file;
    std::vector<std::string> expectTexts;
    std::vector<std::string> expectPatterns;
    std::vector<TCtlStep> steps;
};

class BadArguments : public Exception {
public:
    using Exception::Exception;
};

// The whole sequence, read before anything is sent. The bound keeps a
// mistaken --file /dev/zero from filling memory.
std::string ReadSequenceText(const std::string& file)
{
    std::FILE* in = file == "-" ? stdin : std::fopen(file.c_str(), "rb");
    if (!in)
        throw BadArguments("cannot read " + file + ": " + std::strerror(errno));
    std::string text;
    char buffer[65536];
    std::size_t n;
    while (text.size() <= MaxSequenceBytes && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        text.append(buffer, n);
    const bool failed = std::ferror(in);
    const int error = errno;
    if (in != stdin)
        std::fclose(in);
    if (failed)
        throw BadArguments("cannot read " + file + ": " + std::strerror(error));
    return text;
}

Options ParseArguments(const std::vector<std::string>& args)
{
    Options options;
    if (const char* port = std::getenv("RVD3318_PORT"))
        options.port = port;
    for (std::size_t i = 0; i < args.size();) {
        const std::string& word = args[i];
        auto next = [&](const std::string& what) -> const std::string& {
            if (i + 1 >= args.size())
                throw BadArguments(word + " needs " + what);
            return args[++i];
        };
        if (IsCommandWord(word)) {
            options.steps.push_back(ParseCommand(args, i));
            continue;
        }
        if (word == "--help" || word == "-h") {
            std::fputs(Usage, stdout);
            std::exit(0);
        } else if (word == "--port") {
            options.port = next("a port name");
        } else if (word == "--baud") {
            options.baud = ParseWholeNumber(word, next("a rate"), 50, 4000000);
        } else if (word == "--sweep-interval") {
            options.sweepIntervalMs = ParseWholeNumber(word, next("a time in ms"), 0, 60000);
        } else if (word == "--timeout") {
            options.timeoutMs = ParseWholeNumber(word, next("a time in ms"), 0, 60000);
        } else if (word == "--file" || word == "-f") {
            if (!options.file.empty())
                throw BadArguments("one --file at a time");
            options.file = next("a file name (- for standard input)");
        } else if (word == "--expect") {
            options.expectTexts.push_back(next("a text"));
        } else if (word == "--expect-regex") {
            options.expectPatterns.push_back(next("a regular expression"));
        } else if (word == "--json") {
            options.json = true;
        } else if (word == "ports") {
            options.listPorts = true;
        } else if (!word.empty() && word[0] == '-') {
            throw BadArguments("unknown option '" + word + "'");
        } else {
            throw BadArguments("unknown command '" + word + "'");
        }
        ++i;
    }
    if (!options.file.empty() && !options.steps.empty())
        throw BadArguments("commands come either from the command line or from --file, not both");
    if (!options.file.empty())
        options.steps = ParseSequence(ReadSequenceText(options.file),
                                      options.file == "-" ? "standard input" : options.file);
    if (options.listPorts && !options.steps.empty())
        throw BadArguments("'ports' cannot be combined with board commands");
    if (!options.listPorts && options.steps.empty())
        throw BadArguments(options.file.empty() ? "nothing to send: give at least one command"
                                                : "nothing to send: " + options.file + " holds no command");
    if (!options.listPorts && options.port.empty())
        throw BadArguments("no port: give --port NAME (or set RVD3318_PORT)");
    return options;
}

// The expectations as the runner takes them; a pattern that does not
// compile is a usage error, found before the port is opened.
std::vector<TExpectation> Expectations(const Options& options)
{
    std::vector<TExpectation> expectations;
    for (const std::string& text : options.expectTexts)
        expectations.push_back(ExpectContaining(text));
    for (const std::string& pattern : options.expectPatterns) {
        QRegularExpression re(QString::fromStdString(pattern));
        if (!re.isValid())
            throw BadArguments("--expect-regex '" + pattern + "': " + re.errorString().toStdString() +
                               " at offset " + std::to_string(re.patternErrorOffset()));
        expectations.push_back({"matching /" + pattern + "/", [re](const std::string& line) {
                                    return re.match(QString::fromLatin1(line)).hasMatch();
                                }});
    }
    return expectations;
}

// The port takes an absolute path as it is and looks any other name up
// under /dev; a relative path is meant from here.
QString PortName(const std::string& name)
{
    if (name.find('/') == std::string::npos || name[0] == '/' || IsNetworkPortName(QString::fromStdString(name)))
        return QString::fromStdString(name);
    return QDir::current().absoluteFilePath(QString::fromStdString(name));
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
        std::fprintf(stderr, "rvd3318ctl: cannot read the system's port list: %s\n",
                     SystemErrorDescription(error).c_str());
    for (const QString& name : names)
        std::printf("%s\n", name.toLocal8Bit().constData());
    return error != 0 && names.isEmpty() ? 1 : 0;
}

int Send(const Options& options, std::vector<TExpectation> expectations)
{
    TComPort port;
    port.SetEvents(TComEvents{});  // answers are read by the runner: no event thread
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

    TPortLine line(port);
    TRunSettings settings;
    settings.AnswerTimeout = std::chrono::milliseconds(options.timeoutMs);
    settings.SweepInterval = std::chrono::milliseconds(options.sweepIntervalMs);
    settings.Expectations = std::move(expectations);
    const bool withExpectations = !settings.Expectations.empty();
    TSequenceRunner runner(line, std::move(settings));
    if (options.json) {
        runner.OnRecord = [withExpectations](const TCommandRecord& record) {
            std::printf("%s\n", RecordJson(record, withExpectations).c_str());
            std::fflush(stdout);
        };
    } else {
        runner.OnAnswer = [](const std::string& answer) {
            std::fwrite(answer.data(), 1, answer.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        };
    }
    TSequenceRunner::TResult result;
    try {
        result = runner.Run(options.steps);
    } catch (const std::exception& error) {
        // Counted for the error message: the board has everything before it.
        const int sent = runner.CommandsSent();
        std::fprintf(stderr, "rvd3318ctl: %s (%d command%s sent in full before it)\n", error.what(),
                     sent, sent == 1 ? "" : "s");
        return 1;
    }
    port.ClosePort();
    if (result == TSequenceRunner::TResult::ExpectationNotMet) {
        std::fprintf(stderr, "rvd3318ctl: %s\n", runner.Failure().c_str());
        return 3;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The port component is a QObject and posts its notices through Qt.
    QCoreApplication app(argc, argv);

    std::vector<std::string> args(argv + 1, argv + argc);
    if (std::find(args.begin(), args.end(), "--list") != args.end()) {
        if (args.size() == 1)
            return PrintPortList(stdout, stderr);
        std::fprintf(stderr, "rvd3318ctl: --list takes nothing else\nTry 'rvd3318ctl --help'.\n");
        return 2;
    }
    Options options;
    std::vector<TExpectation> expectations;
    try {
        options = ParseArguments(args);
        expectations = Expectations(options);
    } catch (const std::exception& error) {  // BadArguments, TSequenceError
        std::fprintf(stderr, "rvd3318ctl: %s\nTry 'rvd3318ctl --help'.\n", error.what());
        return 2;
    }
    return options.listPorts ? ListPorts() : Send(options, std::move(expectations));
}
