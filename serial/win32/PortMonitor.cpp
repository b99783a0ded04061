#include "serial/win32/PortMonitor.h"

#include "framework/win32/Windows.h"
#include <dbt.h>

namespace serialdev {

namespace {

constexpr GUID comPortInterface = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
constexpr wchar_t windowClass[] = L"RVD3318PortMonitor";

LRESULT CALLBACK MonitorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* monitor = reinterpret_cast<PortMonitor*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (monitor && monitor->Handle(message, wParam, lParam))
        return TRUE;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

ATOM RegisterOnce()
{
    // One class for the process; a second monitor finds it registered.
    static const ATOM atom = [] {
        WNDCLASSEXW c{};
        c.cbSize = sizeof c;
        c.lpfnWndProc = MonitorProc;
        c.hInstance = ::GetModuleHandleW(nullptr);
        c.lpszClassName = windowClass;
        const ATOM made = ::RegisterClassExW(&c);
        return made ? made : (::GetLastError() == ERROR_CLASS_ALREADY_EXISTS ? ATOM(1) : ATOM(0));
    }();
    return atom;
}

} // namespace

PortMonitor::PortMonitor(std::function<void()> changed) : changed_(std::move(changed))
{
    if (!RegisterOnce()) {
        error_ = static_cast<int>(::GetLastError());
        return;
    }
    // A top-level window that is never shown, not a message-only one: only
    // top-level windows receive the broadcasts of ports coming and going.
    // Where none can be made (wine without a display), a message-only one
    // still gets the notifications registered below.
    HWND window = ::CreateWindowExW(0, windowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    if (!window)
        window = ::CreateWindowExW(0, windowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        error_ = static_cast<int>(::GetLastError());
        return;
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = window;
    // Ports whose driver offers the COM port interface announce it too,
    // also the ones that do not broadcast as a port.
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = comPortInterface;
    notification_ = ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!notification_)
        error_ = static_cast<int>(::GetLastError()); // the broadcasts still come
}

PortMonitor::~PortMonitor()
{
    if (notification_)
        ::UnregisterDeviceNotification(notification_);
    if (window_) {
        ::SetWindowLongPtrW(static_cast<HWND>(window_), GWLP_USERDATA, 0);
        ::DestroyWindow(static_cast<HWND>(window_));
    }
}

bool PortMonitor::Handle(unsigned message, unsigned long long wParam, long long lParam)
{
    if (message != WM_DEVICECHANGE || (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE))
        return false;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (!header || (header->dbch_devicetype != DBT_DEVTYP_PORT && header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE))
        return false;
    if (changed_) {
        // Nothing may unwind through the system's dispatch.
        try {
            changed_();
        } catch (...) {
        }
    }
    return true;
}

} // namespace serialdev
