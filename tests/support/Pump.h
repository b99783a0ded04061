// Lets the main thread's event loop run while a test waits for something
// that another thread hands over.
#pragma once

#include <QCoreApplication>
#include <QThread>

#include <chrono>

// Runs events until `done()` holds or `timeout` passes; returns done().
template <class Condition>
bool PumpUntil(Condition done, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Runs events for `span`.
inline void PumpFor(std::chrono::milliseconds span)
{
    PumpUntil([] { return false; }, span);
}
