// How fast a received byte reaches the main thread, and what an idle open
// port costs. Measured on a pseudo-terminal pair, for the port component's
// OnRxChar and, in the same run, for QSerialPort's readyRead.
//
//   event_latency_benchmark [bytes]      (default 10000)
#include "serial/CPort.h"
#include "tests/support/PtyPair.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Summary {
    double medianUs = 0;
    double p99Us = 0;
    std::size_t samples = 0;
};

Summary Summarise(std::vector<double> us)
{
    Summary s;
    s.samples = us.size();
    if (us.empty())
        return s;
    std::sort(us.begin(), us.end());
    s.medianUs = us[us.size() / 2];
    s.p99Us = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    return s;
}

// Sends `count` bytes one at a time from the far end; `arrived` is called
// with the send time when the receiver's handler ran. The main thread
// sleeps in its event loop between bytes, as it would in the panel.
Summary MeasureLatency(PtyPair& pty, int count, std::function<void(std::function<void()>)> setHandler)
{
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(count));
    QEventLoop loop;
    Clock::time_point sent;
    bool got = false;
    setHandler([&] {
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        got = true;
        loop.quit();
    });
    for (int i = 0; i < count; ++i) {
        got = false;
        QTimer guard; // a lost byte must not hang the benchmark
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(2000);
        sent = Clock::now();
        pty.Send("A");
        if (!got)
            loop.exec();
        if (!got) {
            std::fprintf(stderr, "byte %d was not delivered within 2 s\n", i);
            break;
        }
    }
    return Summarise(samples);
}

double IdleCpu(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    const double before = CpuSeconds();
    loop.exec();
    return CpuSeconds() - before;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(100, std::atoi(argv[1])) : 10000;

    Summary ours;
    double ourIdle = 0;
    {
        PtyPair pty;
        TComPort port;
        port.SetPort(QString::fromStdString(pty.SlavePath()));
        port.OpenPort();
        ours = MeasureLatency(pty, count, [&](std::function<void()> arrived) {
            port.OnRxChar = [&port, arrived](QObject*, std::int32_t n) {
                std::string text;
                port.ReadText(text, n);
                arrived();
            };
        });
        port.OnRxChar = nullptr;
        ourIdle = IdleCpu(5.0);
    }

    Summary theirs;
    double theirIdle = 0;
    bool qtOpened = false;
    {
        PtyPair pty;
        QSerialPort serial;
        serial.setPortName(QString::fromStdString(pty.SlavePath()));
        qtOpened = serial.open(QIODevice::ReadWrite);
        if (qtOpened) {
            theirs = MeasureLatency(pty, count, [&](std::function<void()> arrived) {
                QObject::connect(&serial, &QSerialPort::readyRead, [&serial, arrived] {
                    serial.readAll();
                    arrived();
                });
            });
            theirIdle = IdleCpu(5.0);
        } else {
            std::fprintf(stderr, "QSerialPort could not open %s: %s\n", pty.SlavePath().c_str(),
                         qPrintable(serial.errorString()));
        }
    }

    std::printf("byte written at the far end -> handler on the main thread (%d bytes, one at a time)\n", count);
    std::printf("  TComPort OnRxChar        median %8.1f us   p99 %8.1f us   (%zu samples)\n", ours.medianUs,
                ours.p99Us, ours.samples);
    if (qtOpened) {
        std::printf("  QSerialPort readyRead    median %8.1f us   p99 %8.1f us   (%zu samples)\n",
                    theirs.medianUs, theirs.p99Us, theirs.samples);
        std::printf("  ratio TComPort/QSerialPort  median %.2f   p99 %.2f\n", ours.medianUs / theirs.medianUs,
                    ours.p99Us / theirs.p99Us);
    }
    std::printf("CPU time of an open, idle port over 5 s\n");
    std::printf("  TComPort     %.4f s\n", ourIdle);
    if (qtOpened)
        std::printf("  QSerialPort  %.4f s\n", theirIdle);
    return 0;
}
