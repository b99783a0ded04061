// How a thread wakes the main thread's event loop to run the calls queued
// for it (framework/ThreadSync.cpp), and how a thread takes the priority
// it was started with. One implementation per platform folder: an eventfd
// the event loop watches on Linux, a hidden window's messages on Windows.
#pragma once

#include "framework/WakeEvent.h"

#include <QThread>

namespace mainwakeup {

// On the main thread, with the application made: makes the wake-up, after
// each signal of which the event loop calls `run` (inside GuardedCall).
// False when it could not be made; callers then post Qt events instead.
bool Start(void (*run)());
// Whether Start succeeded.
bool Started();
// From any thread: wakes the main thread once more.
void Signal();

// The calling thread's own blocking wake-up, on which it waits for the
// main thread to finish a call it handed over; made on first use and kept
// until the thread ends. nullptr when none can be made.
const WakeEvent* ThreadDoneSignal();

} // namespace mainwakeup

// Gives the calling thread `priority`, as far as the system lets this
// process (raising it usually needs privileges; then it stays normal).
void ApplyThreadPriority(QThread::Priority priority);
