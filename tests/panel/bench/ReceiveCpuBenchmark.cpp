// receive_cpu_benchmark: what receiving a board's steady stream costs the
// panel, against the least any receiver with this port costs and against
// what a Qt serial terminal costs.
//
// Each side runs in a child process of its own, so that its CPU time
// (user + system, all its threads) is its own, and receives on a
// pseudo-terminal of its own the same paced stream: numbered 32-byte
// answer lines at 115 200 baud's pace (11 520 B/s), written every 10 ms.
// The sides:
//
//   panel     the main window, shown, with its port open on the line
//   port      the floor: the panel's port component with the panel's
//             events, whose OnRxChar reads and discards; no window
//   window    the panel with its pane left out: the same shown window and
//             port, whose OnRxChar reads and discards, as the port's does;
//             what the panel costs beyond the port without showing text
//   terminal  the yardstick: what a Qt serial terminal does, a QSerialPort
//             whose every readyRead is read at once (readAll) and kept, and
//             a QPlainTextEdit of the pane's size and font that gets what
//             was kept at the end, every TerminalShowMs while anything waits
//   terminal@MS  the same, showing every MS milliseconds
//   eachread  a terminal that puts the text of every readyRead into its
//             view at once (readAll + insertPlainText): no terminal
//             shown on a screen does that, and it costs twice what one does
//
// Reported for each: bytes received, CPU seconds over the stream and per MB
// received, context switches (wake-ups) per write, resident memory at the
// end, and whether its text is the newest text sent, exactly; then each
// side's CPU per MB as a ratio to the port's, the pane's own (panel less
// window) too when both run, and the panel's to the terminal's.
//
//   receive_cpu_benchmark [SECONDS] [SIDES]   default 60 s, panel,terminal,port;
//                                             SIDES e.g. "panel,port,terminal@50"
//
// Without QT_QPA_PLATFORM the windows are drawn offscreen; under an X server
// (Xvfb) QT_QPA_PLATFORM=xcb draws them there, which costs more.
#include "panel/ZARIDO_CNTL.h"
#include "tests/panel/bench/BoardFeed.h"
#include "tests/support/PtyPair.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr double BytesPerSecond = 11520.0;  // 115 200 baud, 8N1
constexpr int WriteEveryMs = 10;
// How often the terminal yardstick shows what it has read. Chosen so that
// it costs what a Qt serial terminal costs on the same stream (see README).
constexpr int TerminalShowMs = 35;

std::string LoadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "?";
    return file.readAll().split(' ').mid(0, 3).join(' ').toStdString();
}

bool WriteLine(int fd, const std::string& line)
{
    return WriteAll(fd, line.data(), line.size());
}

// Reads one line from `fd`, waiting at most `timeoutMs`; empty on failure.
std::string ReadLine(int fd, int timeoutMs)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
            return {};
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        if (c == '\n')
            return line;
        line += c;
    }
}

struct Usage {
    double cpu = 0;
    long switches = 0;
};

Usage TakeUsage()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {seconds(u.ru_utime) + seconds(u.ru_stime), u.ru_nvcsw + u.ru_nivcsw};
}

// ---- the sides, each in its own process ------------------------------------------

class Side {
public:
    virtual ~Side() = default;
    // Empty when the side receives; else why not.
    virtual std::string Open(const QString& path) = 0;
    virtual long long Received() const = 0;
    // Whether the last of `lines` lines has arrived.
    virtual bool Arrived(long long lines) const = 0;
    // What its text says of the stream of `lines` lines.
    virtual std::string TextVerdict(long long lines) const = 0;
};

// A view's text against the stream of `lines` lines: exact when it is an
// unbroken run of the newest text sent, at least `kept` characters long (or
// all of the stream, when that is shorter).
std::string NewestVerdict(const QString& text, long long lines, long long kept)
{
    const long long total = lines * BoardLineBytes;
    const long long shownLines = text.size() / BoardLineBytes + 1;
    const long long first = std::max(0LL, lines - shownLines);
    const std::string tail = BoardLines(first, lines - first);
    const QString expected = QString::fromLatin1(tail.data(), static_cast<qsizetype>(tail.size()));
    if (!expected.endsWith(text))
        return "LOST";
    return text.size() >= std::min(total, kept) ? "newest,exact" : "newest,SHORT";
}

// What a view that keeps everything must show.
constexpr long long KeepsAll = std::numeric_limits<long long>::max();

bool LastLineShown(const QTextDocument& document, long long lines)
{
    if (lines == 0)
        return true;
    const QString last = QString::fromStdString(BoardLines(lines - 1, 1)).chopped(1);
    const QTextBlock block = document.lastBlock();
    return block.text().isEmpty() && block.previous().text() == last;
}

// Shows the main window and opens its port on `path` as the operator's
// toggle does; whether the port is open.
bool ShowWithPortOpen(TZARIDOForm1& form, const QString& path)
{
    form.show();
    form.ComPort1->SetPort(path);
    form.TogglePort();
    return form.ComPort1->Connected();
}

class PanelSide : public Side {
public:
    std::string Open(const QString& path) override
    {
        if (!ShowWithPortOpen(form_, path))
            return "the panel's port did not open";
        // Counted on the way in, without changing what the window does.
        auto handler = form_.ComPort1->OnRxChar;
        form_.ComPort1->OnRxChar = [this, handler](QObject* sender, std::int32_t count) {
            received_ += count;
            handler(sender, count);
        };
        return {};
    }
    long long Received() const override { return received_; }
    bool Arrived(long long lines) const override { return LastLineShown(*form_.PORTW->document(), lines); }
    std::string TextVerdict(long long lines) const override
    {
        return NewestVerdict(form_.PORTW->toPlainText(), lines, form_.ReceivePane->KeptCharacters());
    }

private:
    TZARIDOForm1 form_;
    long long received_ = 0;
};

// What both terminal yardsticks share: the window, the port and the view.
class TerminalBase : public Side {
public:
    std::string Open(const QString& path) override
    {
        // The pane's size and font in a window of the panel's size: the
        // same text to lay out and to paint.
        window_.setFixedSize(696, 314);
        view_.setGeometry(0, 176, 441, 89);
        view_.setUndoRedoEnabled(false);
        window_.show();
        port_.setPortName(path);
        port_.setBaudRate(QSerialPort::Baud115200);
        if (!port_.open(QIODevice::ReadWrite))
            return "the terminal's port did not open: " + port_.errorString().toStdString();
        QObject::connect(&port_, &QSerialPort::readyRead, [this] { Take(port_.readAll()); });
        return {};
    }
    long long Received() const override { return received_; }
    bool Arrived(long long lines) const override { return LastLineShown(*view_.document(), lines); }
    std::string TextVerdict(long long lines) const override
    {
        return NewestVerdict(view_.toPlainText(), lines, KeepsAll);
    }

protected:
    virtual void Take(const QByteArray& data) = 0;
    void Show(const QByteArray& data)
    {
        view_.moveCursor(QTextCursor::End);
        view_.insertPlainText(QString::fromLatin1(data));
    }

    QWidget window_;
    QPlainTextEdit view_{&window_};
    QSerialPort port_;
    long long received_ = 0;
};

// Reads every arrival, shows what waits at a steady interval.
class TerminalSide : public TerminalBase {
public:
    explicit TerminalSide(int showMs)
    {
        show_.setInterval(showMs);
        QObject::connect(&show_, &QTimer::timeout, [this] {
            if (waiting_.isEmpty())
                return;
            Show(waiting_);
            waiting_.clear();
        });
        show_.start();
    }

private:
    void Take(const QByteArray& data) override
    {
        received_ += data.size();
        waiting_ += data;
    }

    QTimer show_;
    QByteArray waiting_;
};

// Shows every arrival at once.
class EachReadSide : public TerminalBase {
    void Take(const QByteArray& data) override
    {
        received_ += data.size();
        Show(data);
    }
};

// Reads what arrives and keeps only its count.
class DiscardingSide : public Side {
public:
    long long Received() const override { return received_; }
    bool Arrived(long long lines) const override { return received_ >= lines * BoardLineBytes; }
    std::string TextVerdict(long long lines) const override
    {
        return received_ == lines * BoardLineBytes ? "all,discarded" : "LOST";
    }

protected:
    void Take(TComPort& port, std::int32_t count)
    {
        port.ReadText(buffer_, count);
        received_ += static_cast<long long>(buffer_.size());
    }

private:
    std::string buffer_;
    long long received_ = 0;
};

class PortSide : public DiscardingSide {
public:
    std::string Open(const QString& path) override
    {
        port_.SetPort(path);
        port_.SetEvents(AllComEvents);
        port_.OnRxChar = [this](QObject*, std::int32_t count) { Take(port_, count); };
        port_.OpenPort();
        return port_.Connected() ? std::string() : "the port did not open";
    }

private:
    TComPort port_{nullptr};
};

// The panel's window and port as they are, with received text dropped
// where the panel would hand it to its pane.
class WindowSide : public DiscardingSide {
public:
    std::string Open(const QString& path) override
    {
        if (!ShowWithPortOpen(form_, path))
            return "the window's port did not open";
        form_.ComPort1->OnRxChar = [this](QObject*, std::int32_t count) { Take(*form_.ComPort1, count); };
        return {};
    }

private:
    TZARIDOForm1 form_;
};

// The interval of "terminal@MS"; 0 when `name` names no terminal.
int TerminalInterval(const std::string& name)
{
    if (name == "terminal")
        return TerminalShowMs;
    if (name.rfind("terminal@", 0) != 0)
        return 0;
    const int ms = std::atoi(name.c_str() + 9);
    return ms > 0 ? ms : 0;
}

std::unique_ptr<Side> MakeSide(const std::string& name)
{
    if (name == "panel")
        return std::make_unique<PanelSide>();
    if (name == "window")
        return std::make_unique<WindowSide>();
    if (const int ms = TerminalInterval(name))
        return std::make_unique<TerminalSide>(ms);
    if (name == "eachread")
        return std::make_unique<EachReadSide>();
    if (name == "port")
        return std::make_unique<PortSide>();
    return nullptr;
}

// The child: opens its side, then follows the parent's commands on
// `commands` ("start", "stop LINES") and reports on `reports`.
int RunChild(const std::string& name, const std::string& path, int commands, int reports)
{
    int argc = 1;
    char program[] = "receive_cpu_benchmark";
    char* argv[] = {program, nullptr};
    QApplication application(argc, argv);
    // What the panel program does before its window exists.
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    QApplication::setFont(TZARIDOForm1::WindowFont());

    std::unique_ptr<Side> side = MakeSide(name);
    std::string failure;
    try {
        failure = side->Open(QString::fromStdString(path));
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (!failure.empty()) {
        WriteLine(reports, "failed " + failure + "\n");
        return 1;
    }
    // The first paint (fonts, glyphs) is not the stream's doing.
    QTimer::singleShot(500, [&] { WriteLine(reports, "ready\n"); });

    Usage atStart;
    long long receivedAtStart = 0;
    long long lines = -1;
    QTimer finish;
    finish.setInterval(5);
    std::chrono::steady_clock::time_point stopAt;
    QObject::connect(&finish, &QTimer::timeout, [&] {
        const bool late = std::chrono::steady_clock::now() - stopAt > std::chrono::seconds(10);
        if (!side->Arrived(lines) && !late)
            return;
        finish.stop();
        const Usage atEnd = TakeUsage();
        char text[256];
        std::snprintf(text, sizeof text, "result %.4f %ld %lld %ld %s\n", atEnd.cpu - atStart.cpu,
                      atEnd.switches - atStart.switches, side->Received() - receivedAtStart,
                      StatusKilobytes("VmRSS"), side->TextVerdict(lines).c_str());
        WriteLine(reports, text);
        QCoreApplication::quit();
    });

    std::string command;
    QSocketNotifier notifier(commands, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char c;
        const ssize_t n = ::read(commands, &c, 1);
        if (n <= 0) {
            QCoreApplication::quit(); // the parent is gone
            return;
        }
        if (c != '\n') {
            command += c;
            return;
        }
        if (command == "start") {
            receivedAtStart = side->Received();
            atStart = TakeUsage();
            WriteLine(reports, "started\n");
        } else if (command.rfind("stop ", 0) == 0) {
            lines = std::atoll(command.c_str() + 5);
            stopAt = std::chrono::steady_clock::now();
            finish.start();
        }
        command.clear();
    });
    application.exec();
    return 0;
}

// ---- the parent: starts the sides, paces the stream, prints the table -----------

struct Child {
    std::string name;
    std::unique_ptr<PtyPair> pty;
    pid_t pid = -1;
    int commands = -1;  // parent writes
    int reports = -1;   // parent reads
    std::string result;
};

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char c : text + separator) {
        if (c == separator) {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    const std::vector<std::string> names = Split(argc > 2 ? argv[2] : "panel,terminal,port", ',');
    if (seconds <= 0 || names.empty()) {
        std::fprintf(stderr, "usage: receive_cpu_benchmark [SECONDS] [panel,window,terminal,port,terminal@MS,eachread]\n");
        return 2;
    }
    for (const std::string& name : names)
        if (name != "panel" && name != "window" && name != "port" && name != "eachread" && TerminalInterval(name) == 0) {
            std::fprintf(stderr, "receive_cpu_benchmark: no side called %s\n", name.c_str());
            return 2;
        }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<Child> children;
    for (const std::string& name : names) {
        Child child;
        child.name = name;
        child.pty = std::make_unique<PtyPair>();
        int down[2];
        int up[2];
        if (::pipe2(down, O_CLOEXEC) != 0 || ::pipe2(up, O_CLOEXEC) != 0) {
            std::perror("receive_cpu_benchmark: pipe");
            return 1;
        }
        std::fflush(nullptr);
        child.pid = ::fork();
        if (child.pid < 0) {
            std::perror("receive_cpu_benchmark: fork");
            return 1;
        }
        if (child.pid == 0) {
            // Only its own line's far end would keep the line up; none is needed.
            for (const Child& other : children) {
                ::close(other.pty->MasterFd());
                ::close(other.commands);
                ::close(other.reports);
            }
            ::close(child.pty->MasterFd());
            ::close(down[1]);
            ::close(up[0]);
            ::_exit(RunChild(name, child.pty->SlavePath(), down[0], up[1]));
        }
        ::close(down[0]);
        ::close(up[1]);
        child.commands = down[1];
        child.reports = up[0];
        children.push_back(std::move(child));
    }

    bool ok = true;
    for (Child& child : children) {
        const std::string line = ReadLine(child.reports, 30000);
        if (line != "ready") {
            std::fprintf(stderr, "receive_cpu_benchmark: %s: %s\n", child.name.c_str(),
                         line.empty() ? "no answer" : line.c_str());
            ok = false;
        }
    }
    const std::string loadBefore = LoadAverage();
    for (Child& child : children)
        ok = ok && WriteLine(child.commands, "start\n");
    for (Child& child : children)
        ok = ok && ReadLine(child.reports, 5000) == "started";

    long long lines = 0;
    long long writes = 0;
    if (ok) {
        // Every line goes out when it is due at the line's pace, in the
        // write of the tick it falls due in; the sides take turns at being
        // written to first.
        const long long total = static_cast<long long>(seconds * BytesPerSecond) / BoardLineBytes;
        const auto start = std::chrono::steady_clock::now();
        for (long long tick = 1; lines < total; ++tick) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(tick * WriteEveryMs));
            const double due = static_cast<double>(tick * WriteEveryMs) / 1000.0 * BytesPerSecond / BoardLineBytes;
            const long long upTo = std::min(total, static_cast<long long>(due));
            if (upTo <= lines)
                continue;
            const std::string text = BoardLines(lines, upTo - lines);
            for (std::size_t i = 0; i < children.size(); ++i) {
                const Child& child = children[(static_cast<std::size_t>(tick) + i) % children.size()];
                if (!WriteAll(child.pty->MasterFd(), text.data(), text.size()))
                    ok = false;
            }
            lines = upTo;
            ++writes;
        }
    }
    const std::string stop = "stop " + std::to_string(lines) + "\n";
    for (Child& child : children) {
        WriteLine(child.commands, stop);
        child.result = ReadLine(child.reports, 30000);
        ::close(child.commands);
    }
    for (Child& child : children) {
        int status = 0;
        ::waitpid(child.pid, &status, 0);
    }

    std::printf("receive_cpu_benchmark: %.0f s at 115 200 baud's pace: %lld lines of %lld bytes = %lld B in %lld writes "
                "(one every %d ms); windows drawn by %s; load %s before, %s after\n",
                seconds, lines, BoardLineBytes, lines * BoardLineBytes, writes, WriteEveryMs, getenv("QT_QPA_PLATFORM"),
                loadBefore.c_str(), LoadAverage().c_str());
    std::printf("%-12s %12s %9s %10s %8s %14s %10s  %s\n", "side", "received B", "CPU s", "CPU s/MB", "CPU %",
                "switches/write", "RSS kB", "text");
    std::vector<double> perMb(children.size(), 0.0);
    for (std::size_t i = 0; i < children.size(); ++i) {
        const Child& child = children[i];
        double cpu = 0;
        long switches = 0;
        long long received = 0;
        long rss = 0;
        char verdict[64] = "";
        if (std::sscanf(child.result.c_str(), "result %lf %ld %lld %ld %63s", &cpu, &switches, &received, &rss,
                        verdict) != 5) {
            std::printf("%-12s failed: %s\n", child.name.c_str(), child.result.empty() ? "no result" : child.result.c_str());
            ok = false;
            continue;
        }
        perMb[i] = received > 0 ? cpu / (static_cast<double>(received) / 1e6) : 0;
        std::printf("%-12s %12lld %9.3f %10.3f %8.2f %14.2f %10ld  %s\n", child.name.c_str(), received, cpu, perMb[i],
                    100.0 * cpu / seconds, writes > 0 ? double(switches) / double(writes) : 0.0, rss, verdict);
    }
    const auto find = [&](const std::string& name) -> double {
        for (std::size_t i = 0; i < children.size(); ++i)
            if (children[i].name == name)
                return perMb[i];
        return 0;
    };
    const double port = find("port");
    if (port > 0)
        for (std::size_t i = 0; i < children.size(); ++i)
            if (children[i].name != "port" && perMb[i] > 0)
                std::printf("%s / port: %.2f\n", children[i].name.c_str(), perMb[i] / port);
    const double panel = find("panel");
    // The pane's own share: what the panel costs beyond its window.
    const double window = find("window");
    if (panel > 0 && window > 0 && port > 0)
        std::printf("pane (panel - window) / port: %.2f\n", (panel - window) / port);
    for (std::size_t i = 0; i < children.size(); ++i)
        if (panel > 0 && perMb[i] > 0 && TerminalInterval(children[i].name) > 0)
            std::printf("panel / %s: %.2f\n", children[i].name.c_str(), panel / perMb[i]);
    return ok ? 0 : 1;
}
