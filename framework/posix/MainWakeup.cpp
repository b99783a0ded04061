// The main thread's wake-up on Linux: an eventfd its event loop watches. A
// thread only writes to it, so nothing of the hand-over passes through
// Qt's own queues, whose futex locking ThreadSanitizer cannot see.
#include "framework/MainWakeup.h"

#include "framework/ErrorDisplay.h"
#include "framework/PathStamps.h"
#include "framework/posix/EventFd.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// It lives as long as the process: a notifier may still watch it while
// static objects go.
EventFd& Wakeup()
{
    static EventFd* event = new EventFd;
    return *event;
}
QPointer<QSocketNotifier> notifier;

} // namespace

namespace mainwakeup {

bool Start(void (*run)())
{
    if (notifier)
        return true;
    if (Wakeup().Open() != 0)
        return false;
    auto* watch = new QSocketNotifier(Wakeup().Fd(), QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(watch, &QSocketNotifier::activated, [run] {
        GuardedCall([run] {
            pathstamps::Stamp(pathstamps::MainWoke);
            Wakeup().Drain();
            run();
        });
    });
    notifier = watch;
    return true;
}

bool Started()
{
    return !notifier.isNull();
}

void Signal()
{
    Wakeup().Signal();
}

const WakeEvent* ThreadDoneSignal()
{
    thread_local WakeEvent signal;
    return signal.Open(true) == 0 ? &signal : nullptr;
}

} // namespace mainwakeup

// Thread priorities on Linux: the idle class for the lowest, otherwise the
// thread's nice value.
void ApplyThreadPriority(QThread::Priority priority)
{
    if (priority == QThread::IdlePriority) {
        sched_param param{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
        return;
    }
    int nice = 0;
    switch (priority) {
    case QThread::LowestPriority: nice = 10; break;
    case QThread::LowPriority: nice = 5; break;
    case QThread::HighPriority: nice = -5; break;
    case QThread::HighestPriority: nice = -10; break;
    case QThread::TimeCriticalPriority: nice = -15; break;
    default: return;
    }
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
}
