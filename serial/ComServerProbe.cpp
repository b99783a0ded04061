// The background question to a serial server.
#include "serial/ComServerProbe.h"

#include "framework/ErrorDisplay.h"
#include "serial/ComServerProbeWatch.h"
#include "serial/net/Connect.h"

TServerProbe::TServerProbe(QObject* parent) : QObject(parent)
{
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this, [this] { GuardedCall([this] { Answer(false); }); });
    immediate_.setSingleShot(true);
    connect(&immediate_, &QTimer::timeout, this, [this] { GuardedCall([this] { Answer(immediateAnswer_); }); });
}

TServerProbe::~TServerProbe()
{
    Cancel();
}

bool TServerProbe::Asking() const
{
    return socket_ != -1 || immediate_.isActive();
}

void TServerProbe::Cancel()
{
    timeout_.stop();
    immediate_.stop();
    delete watch_;
    watch_ = nullptr;
    if (socket_ != -1)
        serialdev::net::CloseSocket(static_cast<serialdev::net::SocketHandle>(socket_));
    socket_ = -1;
}

void TServerProbe::Ask(const QString& name)
{
    Cancel();
    serialdev::net::NetName parsed;
    serialdev::net::NameProblem problem;
    serialdev::net::AddressList addresses;
    serialdev::net::UniqueSocket socket;
    int error = serialdev::net::ParseNetName(name.toStdString(), parsed, problem);
    // Looking a name up may take a moment where a name server is slow;
    // a lab's server is mostly named by address or known to the resolver.
    if (!error)
        error = serialdev::net::Resolve(parsed, addresses);
    if (!error)
        error = serialdev::net::StartConnect(*addresses, socket);
    if (error != serialdev::net::ConnectInProgress) {
        // Answered at once, but told from the event loop as always.
        immediateAnswer_ = error == 0;
        immediate_.start(0);
        return;
    }
    socket_ = static_cast<qintptr>(socket.Release());
    watch_ = WatchConnect(socket_, this, [this] { GuardedCall([this] { Connected(); }); });
    timeout_.start(parsed.timeoutMs);
}

void TServerProbe::Connected()
{
    Answer(socket_ != -1 &&
           serialdev::net::ConnectResult(static_cast<serialdev::net::SocketHandle>(socket_)) == 0);
}

void TServerProbe::Answer(bool accepts)
{
    Cancel();
    if (OnAnswer)
        OnAnswer(accepts);
}
