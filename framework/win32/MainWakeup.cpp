// The main thread's wake-up on Windows: a hidden window of this program's
// own. A thread posts it a message; the main thread's message loop, which
// Qt runs, hands the message to the window, which runs the queued calls.
// Window-message delivery is what smWindowSync promises its handlers.
#include "framework/MainWakeup.h"

#include "framework/ErrorDisplay.h"
#include "framework/PathStamps.h"

#include <windows.h>

#include <atomic>

namespace {

constexpr UINT RunQueuedMessage = WM_APP + 1;
const wchar_t* const WindowClass = L"RVD3318MainWakeup";

void (*runQueued)() = nullptr;
std::atomic<HWND> window{nullptr};
// One message in the window's queue is enough: it runs every queued call.
std::atomic<bool> posted{false};

LRESULT CALLBACK WakeupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != RunQueuedMessage)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    GuardedCall([] {
        pathstamps::Stamp(pathstamps::MainWoke);
        posted.store(false);
        if (runQueued)
            runQueued();
    });
    return 0;
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
