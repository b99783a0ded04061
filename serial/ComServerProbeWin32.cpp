// The server probe's watch on Windows: the socket's connect event,
// watched by the event loop. A write notifier is not enough here: it
// hears of a connect that was made, but a refused one never wakes it, and
// the probe would wait for its time-out each time.
#include "serial/ComServerProbeWatch.h"

#include "framework/win32/Windows.h"
#include <winsock2.h>

#include <QWinEventNotifier>

namespace {

// Owns the event object for as long as the notifier watches it.
class ConnectWatch final : public QObject {
public:
    ConnectWatch(WSAEVENT event, QObject* parent) : QObject(parent), event_(event), notifier_(event, this) {}
    ~ConnectWatch() override
    {
        notifier_.setEnabled(false);
        ::WSACloseEvent(event_);
    }
    QWinEventNotifier& Notifier() { return notifier_; }

private:
    WSAEVENT event_;
    QWinEventNotifier notifier_;
};

} // namespace

QObject* WatchConnect(qintptr socket, QObject* parent, std::function<void()> ended)
{
    WSAEVENT event = ::WSACreateEvent();
    if (event == WSA_INVALID_EVENT)
        return nullptr;
    // Set at once when the connect has already ended.
    if (::WSAEventSelect(static_cast<SOCKET>(socket), event, FD_CONNECT) != 0) {
        ::WSACloseEvent(event);
        return nullptr;
    }
    auto* watch = new ConnectWatch(event, parent);
    QObject::connect(&watch->Notifier(), &QWinEventNotifier::activated, parent,
                     [watch, ended = std::move(ended)] {
                         // Once: the event stays set until reset.
                         watch->Notifier().setEnabled(false);
                         ended();
                     });
    return watch;
}
