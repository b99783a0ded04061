#include "framework/win32/WakeEvent.h"

#include "framework/win32/Windows.h"

int WakeEvent::Open(bool blocking)
{
    if (handle_)
        return 0;
    // Manual reset for an event that a wait among others watches: it must
    // stay set until its owner drains it.
    handle_ = ::CreateEventW(nullptr, blocking ? FALSE : TRUE, FALSE, nullptr);
    return handle_ ? 0 : static_cast<int>(::GetLastError());
}

void WakeEvent::Close()
{
    if (handle_)
        ::CloseHandle(handle_);
    handle_ = nullptr;
}

void WakeEvent::Signal() const
{
    if (handle_)
        ::SetEvent(handle_);
}

void WakeEvent::Drain() const
{
    if (handle_)
        ::ResetEvent(handle_);
}

void WakeEvent::Wait() const
{
    if (handle_)
        ::WaitForSingleObject(handle_, INFINITE);
}
