// SIGINT, SIGTERM and SIGHUP, through a pipe the event loop watches.
#include "app/TerminationSignals.h"

#include "framework/ErrorDisplay.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the signal handler, read on the main thread.
int signalPipe[2] = {-1, -1};

constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void NoteSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

class TTerminationSignals::Platform {
public:
    explicit Platform(QObject* owner)
    {
        if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, owner);
        QObject::connect(notifier_, &QSocketNotifier::activated, owner, [] {
            GuardedCall([] {
                char bytes[16];
                while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
                }
                TTerminationSignals::CloseAll();
            });
        });
        struct sigaction action {};
        action.sa_handler = NoteSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : Signals)
            ::sigaction(signal, &action, nullptr);
    }

    ~Platform()
    {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        for (int signal : Signals)
            ::sigaction(signal, &action, nullptr);
        delete notifier_;
        for (int& fd : signalPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }

private:
    QSocketNotifier* notifier_ = nullptr;
};

TTerminationSignals::TTerminationSignals(QObject* parent)
    : QObject(parent), platform_(std::make_unique<Platform>(this))
{
}

TTerminationSignals::~TTerminationSignals() = default;
