// flood_benchmark: how the main window copes with a board that floods its
// port. The window (shown, under whatever platform Qt is given) opens the
// slave of a pseudo-terminal; a writer thread plays the board on the
// master side:
//
//   burst   10 MB as fast as the pseudo-terminal takes them
//   steady  115200 baud (11520 bytes a second) for 10 s
//
// The text is numbered lines of board answers, so that what the receive
// pane keeps can be compared with the newest part of what was sent.
// Reported for each phase: bytes sent, bytes shown (characters that went
// into the pane), whether the pane's text is exactly the newest text sent,
// the longest stall of the event loop (the longest gap between ticks of a
// 1 ms timer, less the millisecond), and resident memory (now and peak).
//
//   QT_QPA_PLATFORM=offscreen build/tests/panel/flood_benchmark [MEGABYTES] [SECONDS]
#include "panel/ZARIDO_CNTL.h"
#include "tests/panel/bench/BoardFeed.h"
#include "tests/support/PtyPair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// The longest gap between ticks of a 1 ms timer since the last Take().
class StallMeter {
public:
    StallMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (last_ > 0 && now - last_ > longest_)
                longest_ = now - last_;
            last_ = now;
        });
        clock_.start();
        timer_.start();
    }
    double TakeMs()
    {
        const double ms = static_cast<double>(longest_) / 1e6 - 1.0;
        longest_ = 0;
        last_ = 0;
        return ms < 0 ? 0 : ms;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

struct Phase {
    const char* name;
    long long lines;
    double seconds;  // 0: as fast as the line takes them
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 10;
    const double steadySeconds = argc > 2 ? std::atof(argv[2]) : 10.0;

    PtyPair pty;
    TZARIDOForm1 form;
    form.show();
    form.ComPort1->SetPort(QString::fromStdString(pty.SlavePath()));
    form.TogglePort();
    if (!form.ComPort1->Connected()) {
        std::fprintf(stderr, "flood_benchmark: the port did not open\n");
        return 1;
    }

    // The first paint (fonts, glyphs) is not the flood's doing.
    QElapsedTimer warmUp;
    warmUp.start();
    while (warmUp.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    long long shown = 0;
    QObject::connect(form.PORTW->document(), &QTextDocument::contentsChange,
                     [&](int, int removed, int added) {
                         if (removed == 0)
                             shown += added;
                     });
    StallMeter stalls;
    long rssAtLimit = 0;

    std::printf("receive pane limit %d characters; %lld-byte lines\n", form.ReceivePane->Limit, BoardLineBytes);
    std::printf("%-8s %12s %12s %8s %10s %10s %10s %10s %10s\n", "phase", "sent", "shown", "newest", "seconds",
                "MB/s", "stall ms", "RSS kB", "peak kB");

    const Phase phases[] = {
        {"burst", megabytes * 1000 * 1000 / BoardLineBytes, 0.0},
        {"steady", static_cast<long long>(11520.0 * steadySeconds) / BoardLineBytes, steadySeconds},
    };
    long long nextLine = 0;
    for (const Phase& phase : phases) {
        shown = 0;
        stalls.TakeMs();
        const long long first = nextLine;
        nextLine += phase.lines;
        std::atomic<bool> done{false};
        QElapsedTimer elapsed;
        elapsed.start();
        std::thread writer([&, first, phase] {
            const long long chunkLines = phase.seconds > 0 ? 4 : 2048;  // 4 lines = 11.1 ms at 115200
            const auto start = std::chrono::steady_clock::now();
            for (long long n = first; n < first + phase.lines; n += chunkLines) {
                const long long count = std::min(chunkLines, first + phase.lines - n);
                if (phase.seconds > 0) {
                    const double due = static_cast<double>(n - first) * BoardLineBytes / 11520.0;
                    std::this_thread::sleep_until(start + std::chrono::duration<double>(due));
                }
                const std::string text = BoardLines(n, count);
                if (!WriteAll(pty.MasterFd(), text.data(), text.size())) {
                    std::perror("flood_benchmark: write");
                    break;
                }
            }
            done = true;
        });
        // The line without its line end: the pane's last block is the empty
        // one after it.
        const QString lastLine = QString::fromStdString(BoardLines(nextLine - 1, 1)).chopped(1);
        const auto arrived = [&] {
            const QTextBlock last = form.PORTW->document()->lastBlock();
            return last.text().isEmpty() && last.previous().text() == lastLine;
        };
        while (phase.lines > 0 && (!done || !arrived())) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (rssAtLimit == 0 && form.PORTW->document()->characterCount() >= form.ReceivePane->Limit)
                rssAtLimit = StatusKilobytes("VmRSS");
        }
        writer.join();
        const double seconds = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
        const long long sent = phase.lines * BoardLineBytes;

        // What the pane keeps must be the newest text, byte for byte.
        const QString pane = form.PORTW->toPlainText();
        const long long paneLines = pane.size() / BoardLineBytes + 1;
        const long long tailFirst = std::max(0LL, nextLine - paneLines);
        const std::string tail = BoardLines(tailFirst, nextLine - tailFirst);
        const QString expected = QString::fromLatin1(tail.data(), static_cast<qsizetype>(tail.size()));
        const bool newest = expected.endsWith(pane) || pane.endsWith(expected);

        std::printf("%-8s %12lld %12lld %8s %10.2f %10.2f %10.1f %10ld %10ld\n", phase.name, sent, shown,
                    newest ? "exact" : "LOST", seconds, static_cast<double>(sent) / 1e6 / seconds, stalls.TakeMs(),
                    StatusKilobytes("VmRSS"), StatusKilobytes("VmHWM"));
        std::fflush(stdout);
    }
    std::printf("RSS when the pane first reached its limit: %ld kB\n", rssAtLimit);
    return 0;
}
