// pane_turn_benchmark: what the receive pane of the shown main window does
// with the board's steady stream, without a port, a line or a second
// process, for counting instructions (valgrind --tool=callgrind) rather
// than timing on a busy machine.
//
// The window's pane takes the stream of the receive benchmark (numbered
// 32-byte answer lines at 115 200 baud's pace, one arrival every 10 ms) on
// a clock this program moves; whenever the pane says its turn is due, the
// turn is taken and the window painted, as the event loop would. The clock
// in the status bar ticks once a simulated second. Only Stream() is worth
// counting:
//
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect='*Stream*'
//       build/tests/panel/pane_turn_benchmark [SECONDS]      # default 20
//
// It prints the turns taken and whether the pane's text is the newest text
// sent, exactly.
#include "panel/ZARIDO_CNTL.h"
#include "tests/panel/bench/BoardFeed.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QStyleFactory>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = TReceivePane::Clock;

struct Result {
    long long lines = 0;
    int turns = 0;
};

// Not inlined, so that callgrind can count it alone.
__attribute__((noinline)) Result Stream(TZARIDOForm1& form, double seconds, Clock::time_point& now)
{
    TReceivePane& pane = *form.ReceivePane;
    const double linesPerSecond = 11520.0 / static_cast<double>(BoardLineBytes);
    const long long arrivals = static_cast<long long>(seconds * 100);
    Result result;
    Clock::time_point nextTick = now + std::chrono::seconds(1);
    for (long long n = 1; n <= arrivals; ++n) {
        now += std::chrono::milliseconds(10);
        for (auto due = pane.TurnDue(); due && *due <= now; due = pane.TurnDue()) {
            pane.Turn();
            ++result.turns;
            QCoreApplication::sendPostedEvents();
        }
        if (now >= nextTick) {
            form.Timer1Timer(form.Timer1);
            nextTick += std::chrono::seconds(1);
            QCoreApplication::sendPostedEvents();
        }
        const long long upTo = static_cast<long long>(static_cast<double>(n) / 100.0 * linesPerSecond);
        if (upTo > result.lines) {
            pane.Receive(BoardLines(result.lines, upTo - result.lines));
            result.lines = upTo;
        }
    }
    now += std::chrono::seconds(1);
    while (pane.TurnDue()) {
        pane.Turn();
        ++result.turns;
        QCoreApplication::sendPostedEvents();
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: pane_turn_benchmark [SECONDS]\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    QApplication::setFont(TZARIDOForm1::WindowFont());

    TZARIDOForm1 form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    Clock::time_point now = Clock::now();
    form.ReceivePane->Now = [&now] { return now; };
    form.Clock = [] { return QDateTime::currentDateTime(); };
    // The first lines and paint (fonts, glyphs) are not the stream's doing.
    Stream(form, 1, now);
    form.ReceivePane->Clear();
    QCoreApplication::sendPostedEvents();

    const Result result = Stream(form, seconds, now);
    const std::string sent = BoardLines(0, result.lines);
    const QString text = form.PORTW->toPlainText();
    const bool exact = text == QString::fromLatin1(sent.data(), static_cast<qsizetype>(sent.size()));
    std::printf("pane_turn_benchmark: %.0f s of stream, %lld lines, %d turns, pane %s\n", seconds, result.lines,
                result.turns, exact ? "exact" : "NOT EXACT");
    return exact ? 0 : 1;
}
