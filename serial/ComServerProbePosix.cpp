// The server probe's watch on Linux: the descriptor turns writable when
// its connect has ended, made or failed.
#include "serial/ComServerProbeWatch.h"

#include <QSocketNotifier>

QObject* WatchConnect(qintptr socket, QObject* parent, std::function<void()> ended)
{
    auto* notifier = new QSocketNotifier(socket, QSocketNotifier::Write, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [ended = std::move(ended)] { ended(); });
    return notifier;
}
