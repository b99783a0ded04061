// How the server probe learns that its background connect has ended, on
// each platform: a write notifier on the descriptor on Linux, where a
// failed connect turns writable as a made one does; on Windows the
// socket's connect event, which Winsock sets when the connect has ended
// either way (a write notifier there hears only of one that was made).
#pragma once

#include <QObject>

#include <functional>

// Calls `ended` on the caller's thread, from its event loop, once the
// connect in progress on `socket` has ended. The watch is a child of
// `parent`; deleting it stops the watching. nullptr when it could not be
// set up (the time-out then answers).
QObject* WatchConnect(qintptr socket, QObject* parent, std::function<void()> ended);
