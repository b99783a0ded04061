// Ctrl-C and Ctrl-Break in the console that started the panel, that console
// closed, the user logging off and the system shutting down. The system
// calls the handler on a thread of its own, and ends the process as soon
// as the handler returns from the last three: so the handler hands the
// close to the main thread and waits (a bounded while) until it is done.
// A session that ends while the panel runs without a console reaches Qt's
// own session handling instead, which is told the same.
#include "app/TerminationSignals.h"

#include "framework/ErrorDisplay.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>

#include "framework/win32/Windows.h"

#include <atomic>

namespace {

QPointer<QObject> closer;
HANDLE closedEvent = nullptr;

// How long a console that is being closed waits for the port to close.
// Windows itself ends the process after about five seconds.
constexpr DWORD CloseWaitMs = 4000;

BOOL WINAPI OnConsoleControl(DWORD type)
{
    QObject* target = closer.data();
    if (!target)
        return FALSE;
    QMetaObject::invokeMethod(target, [] {
        GuardedCall([] { TTerminationSignals::CloseAll(); });
        if (closedEvent)
            ::SetEvent(closedEvent);
    }, Qt::QueuedConnection);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        ::WaitForSingleObject(closedEvent, CloseWaitMs);
    return TRUE;
}

} // namespace

class TTerminationSignals::Platform {
public:
    explicit Platform(QObject* owner)
    {
        closer = owner;
        closedEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
        if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            QObject::connect(app, &QGuiApplication::commitDataRequest, owner,
                             [] { GuardedCall([] { TTerminationSignals::CloseAll(); }); });
        }
    }

    ~Platform()
    {
        ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
        closer = nullptr;
        if (closedEvent)
            ::CloseHandle(closedEvent);
        closedEvent = nullptr;
    }
};

TTerminationSignals::TTerminationSignals(QObject* parent)
    : QObject(parent), platform_(std::make_unique<Platform>(this))
{
}

TTerminationSignals::~TTerminationSignals() = default;
