// The Windows wake-up: an event object. A blocking one resets itself when
// its waiter wakes; the other stays set until drained, so that a wait on
// several handles sees it whoever looks first.
#pragma once

// A HANDLE, without bringing <windows.h> into every file that waits.
using WakeHandle = void*;

class WakeEvent {
public:
    WakeEvent() = default;
    ~WakeEvent() { Close(); }
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // Returns 0 or the Windows error code.
    int Open(bool blocking = false);
    void Close();

    bool IsOpen() const { return handle_ != nullptr; }
    WakeHandle Handle() const { return handle_; }

    void Signal() const;
    void Drain() const;
    void Wait() const;

private:
    WakeHandle handle_ = nullptr;
};
