// How fast a received byte reaches the main thread, where the time goes on
// the way, how many bytes a second get through, and what an idle open port
// costs, also once its far end has hung up. Measured on a pseudo-terminal
// pair, for the port component's OnRxChar and, in the same run, for
// QSerialPort's readyRead and for the
// least any port with an event thread can do: a bare relay, a thread that
// waits on the line and hands each arrival to the main thread's loop
// through an eventfd, then waits until it was handled, and nothing else.
//
//   event_latency_benchmark [bytes] [latency]   (default 10000 bytes;
//                                               "latency": that part only)
#include "framework/PathStamps.h"
#include "serial/CPort.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Stats.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace ps = pathstamps;

double CpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The stages of one byte's way, in microseconds. For QSerialPort only the
// first (write -> handler entered) and the handler's own read are known.
enum Stage {
    WriteToWait,       // far-end write -> the event wait returns
    WaitToHandOver,    // the wait returns -> the event thread begins the hand-over
    HandOverToWake,    // hand-over begins -> the main thread takes the batch up
    WakeToHandler,     // taken up -> OnRxChar entered
    WriteToHandler,    // far-end write -> handler entered (all of the above)
    InHandler,         // the handler's read
    Total,             // far-end write -> handler done (the latency)
    HandledToResumed,  // batch handled -> event thread running again (way back)
    StageCountAll
};

const char* const StageNames[StageCountAll] = {
    "far-end write -> event wait returns",
    "wait returns -> hand-over begins",
    "hand-over -> main thread takes batch",
    "takes batch -> OnRxChar entered",
    "far-end write -> handler entered",
    "handler's read (ReadText/readAll)",
    "total: write -> handler done",
    "(way back) handled -> event thread runs",
};

struct Breakdown {
    std::vector<double> stage[StageCountAll];
    stats::Percentiles Of(Stage s) const { return stats::Summarise(stage[s]); }
};

double Us(std::int64_t fromNs, std::int64_t toNs)
{
    return double(toNs - fromNs) / 1000.0;
}

void ClearStamps()
{
    for (auto& s : ps::last)
        s.store(0);
}

// Sends `count` bytes one at a time from the far end and times each until
// the receiver's handler ran. The main thread sleeps in its event loop
// between bytes, as it would in the panel. `setHandler` installs a handler
// that calls its first argument on entry and its second when done.
Breakdown MeasureLatency(PtyPair& pty, int count, bool stamped,
                         std::function<void(std::function<void()>, std::function<void()>)> setHandler)
{
    Breakdown b;
    QEventLoop loop;
    std::int64_t sent = 0, entered = 0, done = 0;
    bool got = false;
    setHandler([&] { entered = ps::Now(); },
               [&] {
                   done = ps::Now();
                   got = true;
                   loop.quit();
               });
    std::int64_t previousHandled = 0;
    for (int i = 0; i < count; ++i) {
        // The way back of the previous byte has finished by now, or is
        // about to: the event thread runs on before the next byte.
        if (stamped && previousHandled) {
            const std::int64_t resumed = ps::last[ps::ThreadResumed].load();
            if (resumed >= previousHandled)
                b.stage[HandledToResumed].push_back(Us(previousHandled, resumed));
        }
        ClearStamps();
        got = false;
        QTimer guard; // a lost byte must not hang the benchmark
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(2000);
        sent = ps::Now();
        pty.Send("A");
        if (!got)
            loop.exec();
        if (!got) {
            std::fprintf(stderr, "byte %d was not delivered within 2 s\n", i);
            break;
        }
        b.stage[WriteToHandler].push_back(Us(sent, entered));
        b.stage[InHandler].push_back(Us(entered, done));
        b.stage[Total].push_back(Us(sent, done));
        if (stamped) {
            const std::int64_t waited = ps::last[ps::WaitReturned].load();
            const std::int64_t handedOver = ps::last[ps::HandedOver].load();
            const std::int64_t woke = ps::last[ps::MainWoke].load();
            if (waited && handedOver && woke) {
                b.stage[WriteToWait].push_back(Us(sent, waited));
                b.stage[WaitToHandOver].push_back(Us(waited, handedOver));
                b.stage[HandOverToWake].push_back(Us(handedOver, woke));
                b.stage[WakeToHandler].push_back(Us(woke, entered));
            }
            previousHandled = ps::last[ps::Handled].load();
        }
    }
    return b;
}

struct Throughput {
    double bytesPerSecond = 0;
    double receiverCpuSeconds = 0; // the process less the far-end writer
    double seconds = 0;
};

// The far end writes 4 KiB at a time as fast as the line takes it for
// `seconds`; the receiver's handler reports what it read.
Throughput MeasureThroughput(PtyPair& pty, double seconds, std::function<void(std::function<void(std::size_t)>)> setHandler)
{
    std::size_t received = 0;
    setHandler([&](std::size_t n) { received += n; });

    std::atomic<bool> stop = false;
    std::atomic<double> writerCpu = 0;
    const int master = pty.MasterFd();
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    std::thread writer([&] {
        const std::string chunk(4096, 'x');
        while (!stop.load()) {
            std::size_t done = 0;
            while (done < chunk.size() && !stop.load()) {
                const ssize_t n = ::write(master, chunk.data() + done, chunk.size() - done);
                if (n > 0) {
                    done += static_cast<std::size_t>(n);
                } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                    pollfd p{master, POLLOUT, 0};
                    ::poll(&p, 1, 20);
                } else {
                    stop = true;
                }
            }
        }
        writerCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    });
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const std::size_t got = received;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpuAfter = CpuSeconds();
    stop = true;
    writer.join();
    Throughput t;
    t.seconds = elapsed;
    t.bytesPerSecond = double(got) / elapsed;
    t.receiverCpuSeconds = cpuAfter - cpuBefore - writerCpu.load();
    return t;
}

double IdleCpu(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    const double before = CpuSeconds();
    loop.exec();
    return CpuSeconds() - before;
}

// The yardstick of the hand-over: one thread waits on the line (epoll, with
// a stop eventfd in the set), wakes the main thread's loop through an
// eventfd and blocks on a second one until the handler has run. No
// settings, no status, no buffering: what a design with an event thread
// pays for its thread and nothing more.
class BareRelay {
public:
    explicit BareRelay(const std::string& path)
    {
        line_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios raw{};
        if (line_ >= 0 && ::tcgetattr(line_, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::tcsetattr(line_, TCSANOW, &raw);
        }
        toMain_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        handled_ = ::eventfd(0, EFD_CLOEXEC);
        stop_ = ::eventfd(0, EFD_CLOEXEC);
        notifier_ = std::make_unique<QSocketNotifier>(toMain_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            std::uint64_t count = 0;
            if (::read(toMain_, &count, sizeof count) != sizeof count)
                return;
            if (handler_)
                handler_();
            const std::uint64_t one = 1;
            (void)!::write(handled_, &one, sizeof one);
        });
        thread_ = std::thread([this] { Run(); });
    }
    ~BareRelay()
    {
        stopping_ = true;
        const std::uint64_t one = 1;
        (void)!::write(stop_, &one, sizeof one);
        (void)!::write(handled_, &one, sizeof one); // in case it waits for a handler
        thread_.join();
        notifier_.reset();
        for (int fd : {line_, toMain_, handled_, stop_})
            if (fd >= 0)
                ::close(fd);
    }
    bool Opened() const { return line_ >= 0 && toMain_ >= 0 && handled_ >= 0 && stop_ >= 0; }
    // What the handler has: everything the tty holds, in one read.
    std::size_t Read()
    {
        char buffer[65536];
        const ssize_t n = ::read(line_, buffer, sizeof buffer);
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    std::function<void()> handler_;

private:
    void Run()
    {
        const int poller = ::epoll_create1(EPOLL_CLOEXEC);
        epoll_event lineEvent{EPOLLIN, {}};
        lineEvent.data.fd = line_;
        epoll_event stopEvent{EPOLLIN, {}};
        stopEvent.data.fd = stop_;
        ::epoll_ctl(poller, EPOLL_CTL_ADD, line_, &lineEvent);
        ::epoll_ctl(poller, EPOLL_CTL_ADD, stop_, &stopEvent);
        for (;;) {
            epoll_event ready{};
            const int n = ::epoll_wait(poller, &ready, 1, -1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || ready.data.fd == stop_)
                break;
            const std::uint64_t one = 1;
            (void)!::write(toMain_, &one, sizeof one);
            std::uint64_t done = 0;
            (void)!::read(handled_, &done, sizeof done);
            if (stopping_)
                break;
        }
        ::close(poller);
    }

    int line_ = -1, toMain_ = -1, handled_ = -1, stop_ = -1;
    std::atomic<bool> stopping_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::thread thread_;
};

void PrintStage(const char* name, const stats::Percentiles& s)
{
    std::printf("    %-42s median %8.1f us   p99 %8.1f us\n", name, s.median, s.p99);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(100, std::atoi(argv[1])) : 10000;
    const bool latencyOnly = argc > 2 && std::string(argv[2]) == "latency";
    constexpr double throughputSeconds = 5.0;

    Breakdown ours;
    Throughput ourFlow;
    double ourIdle = 0;
    double ourHungUp = 0;
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(QString::fromStdString(pty.SlavePath()));
        port.OpenPort();
        ps::enabled = true;
        ours = MeasureLatency(pty, count, true, [&](std::function<void()> entered, std::function<void()> done) {
            port.OnRxChar = [&port, entered, done](QObject*, std::int32_t n) {
                entered();
                std::string text;
                port.ReadText(text, n);
                done();
            };
        });
        ps::enabled = false;
        if (!latencyOnly) {
            ourFlow = MeasureThroughput(pty, throughputSeconds, [&](std::function<void(std::size_t)> got) {
                port.OnRxChar = [&port, got](QObject*, std::int32_t n) {
                    std::string text;
                    got(static_cast<std::size_t>(port.ReadText(text, n)));
                };
            });
            port.OnRxChar = nullptr;
            port.ClosePort(); // what the far end still had queued goes
            port.OpenPort();
            ourIdle = IdleCpu(5.0);
            // A line that hangs up must end the wait, not wake it for good.
            pty.HangUp();
            ourHungUp = IdleCpu(5.0);
        }
    }

    Breakdown theirs;
    Throughput theirFlow;
    double theirIdle = 0;
    bool qtOpened = false;
    {
        PtyPair pty;
        QSerialPort serial;
        serial.setPortName(QString::fromStdString(pty.SlavePath()));
        qtOpened = serial.open(QIODevice::ReadWrite);
        if (qtOpened) {
            QMetaObject::Connection handler;
            theirs = MeasureLatency(pty, count, false, [&](std::function<void()> entered, std::function<void()> done) {
                handler = QObject::connect(&serial, &QSerialPort::readyRead, [&serial, entered, done] {
                    entered();
                    serial.readAll();
                    done();
                });
            });
            QObject::disconnect(handler);
            if (!latencyOnly) {
                theirFlow = MeasureThroughput(pty, throughputSeconds, [&](std::function<void(std::size_t)> got) {
                    handler = QObject::connect(&serial, &QSerialPort::readyRead, [&serial, got] {
                        got(static_cast<std::size_t>(serial.readAll().size()));
                    });
                });
                QObject::disconnect(handler);
                serial.close();
                serial.open(QIODevice::ReadWrite);
                theirIdle = IdleCpu(5.0);
            }
        } else {
            std::fprintf(stderr, "QSerialPort could not open %s: %s\n", pty.SlavePath().c_str(),
                         qPrintable(serial.errorString()));
        }
    }

    Breakdown bare;
    Throughput bareFlow;
    bool bareOpened = false;
    {
        PtyPair pty;
        BareRelay relay(pty.SlavePath());
        bareOpened = relay.Opened();
        if (bareOpened) {
            bare = MeasureLatency(pty, count, false, [&](std::function<void()> entered, std::function<void()> done) {
                relay.handler_ = [&relay, entered, done] {
                    entered();
                    relay.Read();
                    done();
                };
            });
            if (!latencyOnly)
                bareFlow = MeasureThroughput(pty, throughputSeconds, [&](std::function<void(std::size_t)> got) {
                    relay.handler_ = [&relay, got] { got(relay.Read()); };
                });
            relay.handler_ = nullptr;
        } else {
            std::fprintf(stderr, "the bare relay could not open %s\n", pty.SlavePath().c_str());
        }
    }

    const stats::Percentiles ourTotal = ours.Of(Total);
    const stats::Percentiles theirTotal = theirs.Of(Total);
    std::printf("byte written at the far end -> handler on the main thread (%d bytes, one at a time)\n", count);
    std::printf("  TComPort OnRxChar        median %8.1f us   p99 %8.1f us   (%zu samples)\n", ourTotal.median,
                ourTotal.p99, ourTotal.samples);
    if (qtOpened) {
        std::printf("  QSerialPort readyRead    median %8.1f us   p99 %8.1f us   (%zu samples)\n",
                    theirTotal.median, theirTotal.p99, theirTotal.samples);
        std::printf("  ratio TComPort/QSerialPort  median %.2f   p99 %.2f\n", ourTotal.median / theirTotal.median,
                    ourTotal.p99 / theirTotal.p99);
    }
    if (bareOpened) {
        const stats::Percentiles bareTotal = bare.Of(Total);
        std::printf("  bare relay (thread + eventfd) median %8.1f us   p99 %8.1f us   (%zu samples)\n",
                    bareTotal.median, bareTotal.p99, bareTotal.samples);
        std::printf("  ratio TComPort/bare relay    median %.2f   p99 %.2f\n", ourTotal.median / bareTotal.median,
                    ourTotal.p99 / bareTotal.p99);
        if (qtOpened)
            std::printf("  ratio bare relay/QSerialPort median %.2f   p99 %.2f\n",
                        bareTotal.median / theirTotal.median, bareTotal.p99 / theirTotal.p99);
    }
    std::printf("stages (each stage's own median and 99th percentile)\n");
    std::printf("  TComPort\n");
    for (int s = 0; s < StageCountAll; ++s)
        PrintStage(StageNames[s], ours.Of(Stage(s)));
    if (qtOpened) {
        std::printf("  QSerialPort\n");
        PrintStage(StageNames[WriteToHandler], theirs.Of(WriteToHandler));
        PrintStage(StageNames[InHandler], theirs.Of(InHandler));
        PrintStage(StageNames[Total], theirTotal);
    }
    if (latencyOnly)
        return 0;
    std::printf("throughput: far end writes 4 KiB at a time for %.0f s, handler reads what it is told of\n",
                throughputSeconds);
    std::printf("  TComPort     %10.0f bytes/s   receiver CPU %.3f s (%.0f %% of one core)\n",
                ourFlow.bytesPerSecond, ourFlow.receiverCpuSeconds, 100 * ourFlow.receiverCpuSeconds / ourFlow.seconds);
    if (qtOpened) {
        std::printf("  QSerialPort  %10.0f bytes/s   receiver CPU %.3f s (%.0f %% of one core)\n",
                    theirFlow.bytesPerSecond, theirFlow.receiverCpuSeconds,
                    100 * theirFlow.receiverCpuSeconds / theirFlow.seconds);
        std::printf("  ratio TComPort/QSerialPort  %.2f\n", ourFlow.bytesPerSecond / theirFlow.bytesPerSecond);
    }
    if (bareOpened)
        std::printf("  bare relay   %10.0f bytes/s   receiver CPU %.3f s (%.0f %% of one core)\n",
                    bareFlow.bytesPerSecond, bareFlow.receiverCpuSeconds,
                    100 * bareFlow.receiverCpuSeconds / bareFlow.seconds);
    std::printf("CPU time of an open, idle port over 5 s\n");
    std::printf("  TComPort     %.4f s\n", ourIdle);
    if (qtOpened)
        std::printf("  QSerialPort  %.4f s\n", theirIdle);
    std::printf("CPU time of a TComPort over 5 s after its far end hung up\n");
    std::printf("  TComPort     %.4f s\n", ourHungUp);
    return 0;
}
