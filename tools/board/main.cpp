// rvd3318-board: a virtual evaluation board for the control panel and for
// lab scripts. It serves a pseudo-terminal (or a serial device), decodes
// what arrives, answers each command with a status line, and shows what a
// real board would have been told.
#include "framework/Exception.h"
#include "tools/board/BoardDecoder.h"
#include "tools/board/BoardLine.h"
#include "tools/board/BoardState.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The rates come from the list the line is served with.
std::string Usage()
{
    return
    "Usage: rvd3318-board [OPTIONS]\n"
    "\n"
    "A virtual RVD3318 evaluation board. It creates a pseudo-terminal, prints\n"
    "the path to give the panel or rvd3318ctl as their port, and decodes every\n"
    "command that arrives into the board's state. Each command is logged on\n"
    "one line and answered on the serial line with one short status line\n"
    "(\"OK LED-1 99.99%\"). Bytes outside the command vocabulary and commands\n"
    "that stop half-way are reported, and decoding goes on.\n"
    "\n"
    "Options:\n"
    "  --device PATH   serve this serial device instead of a new pseudo-terminal\n"
    "                  (the board exits when the device hangs up)\n"
    "  --baud RATE     line rate for --device (default 9600), one of\n"
    "                  " + BoardLineRateList() + "\n"
    "  --link PATH     also make PATH a symbolic link to the pseudo-terminal,\n"
    "                  removed again on exit\n"
    "  --once          exit when the other side closes the pseudo-terminal;\n"
    "                  by default the board waits for the next program to open it\n"
    "  --idle-ms N     report an unfinished command after N ms without bytes\n"
    "                  (default 1000; 0 waits for the rest however long it takes)\n"
    "  --silent        do not answer on the serial line\n"
    "  --help          show this text\n"
    "\n"
    "The first line printed is \"listening on PATH\". Requests on standard input:\n"
    "  state   show what the board has been told      reset   forget it\n"
    "  quit    stop                                   help    list requests\n"
    "SIGUSR1 also shows the state. Ctrl-C, SIGTERM or SIGHUP stop the board.\n"
    "\n"
    "Exit status: 0 when stopped or hung up, 1 when the line cannot be served,\n"
    "2 on bad arguments.\n";
}

struct Options {
    std::string device;
    int baud = 9600;
    std::string link;
    bool once = false;
    int idleMs = 1000;
    bool answer = true;
};

[[noreturn]] void BadArguments(const std::string& message)
{
    std::fprintf(stderr, "rvd3318-board: %s\nTry 'rvd3318-board --help'.\n", message.c_str());
    std::exit(2);
}

int ParseNumber(const std::string& option, const char* text, int low, int high)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        BadArguments(option + " takes a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not '" + text + "'");
    return static_cast<int>(value);
}

Options ParseArguments(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                BadArguments(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage().c_str(), stdout);
            std::exit(0);
        } else if (arg == "--device") {
            options.device = value();
        } else if (arg == "--baud") {
            const std::string rate = value();
            options.baud = 0;
            for (const int known : BoardLineRates)
                if (rate == std::to_string(known))
                    options.baud = known;
            if (options.baud == 0)
                BadArguments("--baud takes one of " + BoardLineRateList() + ", not '" + rate + "'");
        } else if (arg == "--link") {
            options.link = value();
        } else if (arg == "--once") {
            options.once = true;
        } else if (arg == "--idle-ms") {
            options.idleMs = ParseNumber(arg, value(), 0, 3600000);
        } else if (arg == "--silent") {
            options.answer = false;
        } else {
            BadArguments("unknown argument '" + arg + "'");
        }
    }
    if (!options.device.empty() && (!options.link.empty() || options.once))
        BadArguments("--link and --once are for the pseudo-terminal, not for --device");
    return options;
}

void Say(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A symbolic link to the pseudo-terminal under a fixed name, so that a
// script can name the port before the board has started.
class Link {
public:
    Link(std::string path, const std::string& target)
        : path_(std::move(path))
    {
        struct stat st{};
        if (lstat(path_.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode))
                throw Exception("--link " + path_ + ": exists and is not a symbolic link");
            ::unlink(path_.c_str());  // left behind by an earlier board
        }
        if (symlink(target.c_str(), path_.c_str()) != 0)
            throw Exception("--link " + path_ + ": " + std::strerror(errno));
        target_ = target;
    }
    ~Link()
    {
        char buffer[256];
        const ssize_t n = readlink(path_.c_str(), buffer, sizeof buffer - 1);
        if (n > 0 && std::string(buffer, static_cast<std::size_t>(n)) == target_)
            ::unlink(path_.c_str());
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

private:
    std::string path_;
    std::string target_;
};

class Board {
public:
    Board(TBoardLine line, const Options& options, int signals)
        : line_(std::move(line)), options_(options), signals_(signals)
    {
    }

    // Serves the line until a stop is asked for or the line is gone.
    int Run();

private:
    using Clock = std::chrono::steady_clock;

    void Handle(const std::vector<TLineEvent>& events);
    void TakeBytes();
    // Returns false when the board is to stop.
    bool LineWentDown();
    bool HandleSignal();
    bool HandleRequest();
    // Reports what is still pending and the final state.
    int Stop();

    TBoardLine line_;
    Options options_;
    int signals_;
    TBoardDecoder decoder_;
    TBoardState state_;
    bool lineUp_ = true;
    bool stdinOpen_ = true;
    bool answersDropped_ = false;
    std::string request_;
    Clock::time_point lastByte_{};
};

void Board::Handle(const std::vector<TLineEvent>& events)
{
    for (const TLineEvent& event : events) {
        state_.Apply(event);
        Say((event.Kind == TLineEvent::Command ? "" : "bad: ") + event.Describe());
        if (!options_.answer || !lineUp_)
            continue;
        if (line_.Write(TBoardState::Answer(event))) {
            answersDropped_ = false;
        } else if (!answersDropped_) {
            answersDropped_ = true;
            Say("note: the other side is not reading; answers are dropped");
        }
    }
}

void Board::TakeBytes()
{
    std::string bytes;
    const bool alive = line_.Read(bytes);
    if (!bytes.empty()) {
        lastByte_ = Clock::now();
        Handle(decoder_.Feed(bytes));
    }
    if (!alive && lineUp_)
        lineUp_ = false;
}

bool Board::LineWentDown()
{
    Handle(decoder_.Flush());
    if (!line_.IsPseudoTerminal()) {
        Say("the other side hung up");
        return false;
    }
    Say("line closed by the other side");
    if (options_.once)
        return false;
    line_.DiscardUnreadAnswers();
    Say("waiting for the next program to open " + line_.Path());
    return true;
}

bool Board::HandleSignal()
{
    signalfd_siginfo info{};
    if (::read(signals_, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
        return true;
    if (info.ssi_signo == SIGUSR1) {
        std::fputs(state_.Describe().c_str(), stdout);
        std::fflush(stdout);
        return true;
    }
    Say(std::string("stopping on ") + strsignal(static_cast<int>(info.ssi_signo)));
    return false;
}

bool Board::HandleRequest()
{
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        stdinOpen_ = false;  // no more requests; the line is still served
        return true;
    }
    request_.append(buffer, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = request_.find('\n')) != std::string::npos) {
        std::string word = request_.substr(0, end);
        request_.erase(0, end + 1);
        while (!word.empty() && (word.back() == '\r' || word.back() == ' '))
            word.pop_back();
        while (!word.empty() && word.front() == ' ')
            word.erase(0, 1);
        if (word == "state" || word == "s") {
            std::fputs(state_.Describe().c_str(), stdout);
            std::fflush(stdout);
        } else if (word == "reset") {
            state_ = TBoardState();
            Say("state forgotten");
        } else if (word == "quit" || word == "q" || word == "exit") {
            Say("stopping on request");
            return false;
        } else if (word == "help" || word == "?") {
            Say("requests: state, reset, quit, help");
        } else if (!word.empty()) {
            Say("unknown request '" + word + "'; requests: state, reset, quit, help");
        }
    }
    if (request_.size() > 4096)
        request_.clear();  // a line that long is no request
    return true;
}

int Board::Stop()
{
    Handle(decoder_.Flush());
    std::fputs(state_.Describe().c_str(), stdout);
    std::fflush(stdout);
    return 0;
}

int Board::Run()
{
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({signals_, POLLIN, 0});
        const int lineSlot = lineUp_ ? static_cast<int>(fds.size()) : -1;
        if (lineUp_)
            fds.push_back({line_.DataFd(), POLLIN, 0});
        const int watchSlot = line_.WatchFd() >= 0 ? static_cast<int>(fds.size()) : -1;
        if (watchSlot >= 0)
            fds.push_back({line_.WatchFd(), POLLIN, 0});
        const int stdinSlot = stdinOpen_ ? static_cast<int>(fds.size()) : -1;
        if (stdinOpen_)
            fds.push_back({STDIN_FILENO, POLLIN, 0});

        // Wait without a deadline unless a command is half in.
        int timeout = -1;
        if (decoder_.HasPending() && options_.idleMs > 0) {
            const auto due = lastByte_ + std::chrono::milliseconds(options_.idleMs);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
            timeout = left.count() > 0 ? static_cast<int>(left.count()) + 1 : 0;
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            Say(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (ready == 0) {
            Handle(decoder_.Flush());
            continue;
        }
        if (fds[0].revents != 0 && !HandleSignal())
            return Stop();
        if (lineSlot >= 0 && fds[static_cast<std::size_t>(lineSlot)].revents != 0) {
            TakeBytes();
            if (!lineUp_ && !LineWentDown())
                return Stop();
        }
        if (watchSlot >= 0 && fds[static_cast<std::size_t>(watchSlot)].revents != 0) {
            line_.DrainWatch();
            if (!lineUp_) {
                // Somebody opened or closed the other end, and may have sent
                // already: what is waiting is answered when the program is
                // still there, and only decoded when it has come and gone.
                if (!line_.OtherSideClosed()) {
                    lineUp_ = true;
                    Say("line opened by the other side");
                    TakeBytes();
                    if (!lineUp_ && !LineWentDown())
                        return Stop();
                } else {
                    TakeBytes();
                    Handle(decoder_.Flush());
                }
            }
        }
        if (stdinSlot >= 0 && fds[static_cast<std::size_t>(stdinSlot)].revents != 0 &&
            !HandleRequest())
            return Stop();
    }
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = ParseArguments(argc, argv);

    std::signal(SIGPIPE, SIG_IGN);
    // Started in the background of a shell, a read of the terminal would
    // stop the board; this way the read fails and requests are given up.
    std::signal(SIGTTIN, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        sigaddset(&stopSignals, s);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signals < 0) {
        std::fprintf(stderr, "rvd3318-board: signalfd: %s\n", std::strerror(errno));
        return 1;
    }

    try {
        TBoardLine line = options.device.empty() ? TBoardLine::OpenPseudoTerminal()
                                                 : TBoardLine::OpenDevice(options.device, options.baud);
        std::optional<Link> link;
        if (!options.link.empty())
            link.emplace(options.link, line.Path());
        Say("listening on " + line.Path());
        if (!options.link.empty())
            Say("linked as " + options.link);
        Board board(std::move(line), options, signals);
        const int code = board.Run();
        return code;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rvd3318-board: %s\n", error.what());
        return 1;
    }
}
