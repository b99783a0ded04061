// port_return_benchmark: what unplugging and replugging costs the main
// window. Its port is opened through a symbolic link to the slave of a
// pseudo-terminal; each round closes the far end (the device goes away),
// waits SECONDS with the window waiting for the device, then points the
// link at a new pseudo-terminal (the device returns). Reported per round:
// how long from the hang-up until the window had closed the port, the
// process CPU time used while waiting (from 300 ms after the loss, once
// the notice about it has painted), and how long from the new link until
// the port was open again (0 when the new pseudo-terminal took the old
// one's node, which the link still named, and was taken back at once).
// The status bar's clock is stopped; first the CPU time of the same span
// with the port open and idle is shown for comparison.
//
//   QT_QPA_PLATFORM=offscreen build/tests/panel/port_return_benchmark [ROUNDS] [SECONDS]
#include "panel/PortReturn.h"
#include "panel/ZARIDO_CNTL.h"
#include "tests/panel/bench/BoardFeed.h"
#include "tests/support/PtyPair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

double CpuMilliseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Runs the event loop, sleeping in it, until `done` holds; the time it
// took in ms, or -1 after 5 s.
double MillisecondsUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 5000)
            return -1;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

// How often the main thread went to sleep and was woken.
long Wakeups()
{
    return StatusNumber("/proc/thread-self/status", "voluntary_ctxt_switches");
}

void RunLoopFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void Relink(const QString& link, const std::string& target)
{
    ::unlink(link.toLocal8Bit().constData());
    if (::symlink(target.c_str(), link.toLocal8Bit().constData()) != 0) {
        std::perror("symlink");
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    QTemporaryDir folder;
    const QString link = folder.filePath(QStringLiteral("board.tty"));
    auto line = std::make_unique<PtyPair>();
    Relink(link, line->SlavePath());

    TZARIDOForm1 form;
    form.show();
    form.ComPort1->SetPort(link);
    form.OpenRS2321->trigger();
    if (!form.ComPort1->Connected()) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }
    // The status bar's clock repaints once a second whatever the port
    // does; it is stopped so that what is measured is the port's part.
    form.Timer1->SetEnabled(false);
    RunLoopFor(300);
    {
        const double before = CpuMilliseconds();
        RunLoopFor(seconds * 1000);
        std::printf("for comparison, the port open and idle for %d s: %.2f ms CPU\n", seconds,
                    CpuMilliseconds() - before);
    }

    std::printf("round  lost→closed ms  CPU while waiting %d s (ms)  main thread woken  back→open ms\n", seconds);
    for (int round = 1; round <= rounds; ++round) {
        line->HangUp();
        const double closed = MillisecondsUntil([&] { return !form.ComPort1->Connected(); });
        // The notice about the loss is laid out and painted first; that
        // is showing, not waiting.
        RunLoopFor(300);
        const double before = CpuMilliseconds();
        const long woken = Wakeups();
        RunLoopFor(seconds * 1000);
        const double waiting = CpuMilliseconds() - before;
        const long wakeups = Wakeups() - woken;
        line = std::make_unique<PtyPair>();
        Relink(link, line->SlavePath());
        const double reopened = MillisecondsUntil([&] { return form.ComPort1->Connected(); });
        std::printf("%5d  %14.2f  %27.2f  %17ld  %12.2f\n", round, closed, waiting, wakeups, reopened);
        std::fflush(stdout);
        if (closed < 0 || reopened < 0)
            return 1;
    }
    return 0;
}
