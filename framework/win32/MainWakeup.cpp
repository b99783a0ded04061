// The main thread's wake-up on Windows: a hidden window of this program's
// own. A thread posts it a message; the main thread's message loop, which
// Qt runs, hands the message to the window, which runs the queued calls.
// Window-message delivery is what smWindowSync promises its handlers.
#include "framework/MainWakeup.h"

#include "framework/ErrorDisplay.h"
#include "framework/PathStamps.h"

#include "framework/win32/Windows.h"

#include <atomic>

namespace {

constexpr UINT RunQueuedMessage = WM_APP + 1;
const wchar_t* const WindowClass = L"RVD3318MainWakeup";

void (*runQueued)() = nullptr;
std::atomic<HWND> window{nullptr};
// One message in the window's queue is enough: it runs every queued call.
std::atomic<bool> posted{false};
// Main thread only. A handler that runs an event loop of its own (a
// message box) lets the window's messages through: the queued calls are
// not run again from inside one of them, as on Linux, where the event
// loop does not report the wake-up again while it is being handled. They
// run once the outer run is over.
bool running = false;
bool runAgain = false;

LRESULT CALLBACK WakeupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != RunQueuedMessage)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    if (running) {
        runAgain = true;
        return 0;
    }
    running = true;
    do {
        runAgain = false;
        GuardedCall([] {
            pathstamps::Stamp(pathstamps::MainWoke);
            posted.store(false);
            if (runQueued)
                runQueued();
        });
    } while (runAgain);
    running = false;
    return 0;
}

// A thread's done signal lives in its fiber-local slot, whose callback
// frees it when the thread ends: mingw's run-time frees a thread_local
// object's storage before its destructor runs when Qt has adopted the
// thread, and the destructor would then write into freed memory.
void WINAPI FreeDoneSignal(void* signal)
{
    delete static_cast<WakeEvent*>(signal);
}

DWORD DoneSignalSlot()
{
    static const DWORD slot = ::FlsAlloc(FreeDoneSignal);
    return slot;
}

} // namespace

namespace mainwakeup {

bool Start(void (*run)())
{
    if (window.load())
        return true;
    runQueued = run;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WakeupProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = WindowClass;
    if (!::RegisterClassW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    // A message-only window: it is never shown and gets no broadcasts.
    HWND made = ::CreateWindowExW(0, WindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    if (!made)
        return false;
    window.store(made);
    return true;
}

bool Started()
{
    return window.load() != nullptr;
}

void Signal()
{
    HWND target = window.load();
    if (!target)
        return;
    if (posted.exchange(true))
        return;
    if (!::PostMessageW(target, RunQueuedMessage, 0, 0))
        posted.store(false);
}

const WakeEvent* ThreadDoneSignal()
{
    const DWORD slot = DoneSignalSlot();
    if (slot == FLS_OUT_OF_INDEXES)
        return nullptr;
    if (auto* signal = static_cast<WakeEvent*>(::FlsGetValue(slot)))
        return signal;
    auto* signal = new WakeEvent;
    if (signal->Open(true) != 0 || !::FlsSetValue(slot, signal)) {
        delete signal;
        return nullptr;
    }
    return signal;
}

} // namespace mainwakeup

void ApplyThreadPriority(QThread::Priority priority)
{
    int level = THREAD_PRIORITY_NORMAL;
    switch (priority) {
    case QThread::IdlePriority: level = THREAD_PRIORITY_IDLE; break;
    case QThread::LowestPriority: level = THREAD_PRIORITY_LOWEST; break;
    case QThread::LowPriority: level = THREAD_PRIORITY_BELOW_NORMAL; break;
    case QThread::HighPriority: level = THREAD_PRIORITY_ABOVE_NORMAL; break;
    case QThread::HighestPriority: level = THREAD_PRIORITY_HIGHEST; break;
    case QThread::TimeCriticalPriority: level = THREAD_PRIORITY_TIME_CRITICAL; break;
    default: return;
    }
    ::SetThreadPriority(::GetCurrentThread(), level);
}
