#include "FarEnd.h"

#include <cstdlib>
#include <thread>

namespace farend {

std::string PortName()
{
    const char* name = std::getenv("WINE_TEST_PORT");
    return name && *name ? name : "COM31";
}

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

namespace {

// Device::Wait with a bound of the test's own: a transfer still pending
// then is aborted, and fails.
int BoundedWait(serialdev::Device& device, serialdev::Transfer& t, std::int32_t& done, long long ms)
{
    if (::WaitForSingleObject(t.Event(), static_cast<DWORD>(ms > 0 ? ms : 0)) != WAIT_OBJECT_0)
        device.AbortPending();
    const int error = device.Wait(t, done);
    return error ? error : (t.Completed() ? 0 : ERROR_TIMEOUT);
}

} // namespace

bool Send(serialdev::Device& device, const std::string& text)
{
    serialdev::TransferPtr t = serialdev::NewTransfer();
    std::int32_t immediate = 0;
    if (device.StartWrite(*t, text.data(), static_cast<std::int32_t>(text.size()), immediate) != 0)
        return false;
    std::int32_t written = 0;
    return BoundedWait(device, *t, written, 5000) == 0 && written == static_cast<std::int32_t>(text.size());
}

std::string ReadLine(serialdev::Device& device, int ms)
{
    // What is queued at a time (the default time-outs read just that),
    // until the line end: a byte at a time would take a few milliseconds a
    // byte under wine.
    std::string line;
    const auto start = Clock::now();
    while (line.find('\n') == std::string::npos) {
        const long long left = ms - MsSince(start);
        if (left <= 0 || !WaitQueued(device, 1, static_cast<int>(left)))
            return {};
        serialdev::TransferPtr transfer = serialdev::NewTransfer();
        char buffer[512];
        std::int32_t got = 0;
        if (device.StartRead(*transfer, buffer, sizeof buffer, got) != 0 ||
            BoundedWait(device, *transfer, got, ms - MsSince(start)) != 0)
            return {};
        line.append(buffer, static_cast<std::size_t>(got));
    }
    line.resize(line.find('\n'));
    return line;
}

std::string Ask(serialdev::Device& device, const std::string& request)
{
    return Send(device, request + "\n") ? ReadLine(device) : std::string();
}

bool WaitQueued(serialdev::Device& device, std::int32_t count, int ms)
{
    const auto start = Clock::now();
    while (MsSince(start) < ms) {
        std::uint32_t flags = 0;
        std::int32_t queued = 0;
        if (device.ClearErrors(flags, queued) != 0)
            return false;
        if (queued >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

serialdev::LineSettings Settings9600()
{
    serialdev::LineSettings s;
    s.BaudRate = 9600;
    s.Flags = serialdev::LineFlag::Binary | serialdev::LineFlag::DtrEnable | serialdev::LineFlag::RtsEnable;
    s.ByteSize = 8;
    s.XonChar = 0x11;
    s.XoffChar = 0x13;
    s.XonLim = 1024;
    s.XoffLim = 1024;
    return s;
}

} // namespace farend
