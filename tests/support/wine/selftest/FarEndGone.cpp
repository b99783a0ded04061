// What wine reports when the far end of a COM port goes away: the virtual
// board, holding the pseudo-terminal's master side, is stopped while a wait
// and a read are pending. The Linux side (far-end-gone.sh) stops the board
// when this program has made the file named by its second argument.
//
//   FarEndGone.exe COMn READY-FILE
//
// It prints what it sees ("[wine] ..." lines) and exits 0 when the pending
// read ended (in any way) within 3 s of the board's end (the pending wait
// does not end under wine 8); the codes are for the record in README.md.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {
using Clock = std::chrono::steady_clock;
double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    std::string path = std::string("\\\\.\\") + argv[1];
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::printf("CreateFile %s: error %lu\n", path.c_str(), GetLastError());
        return 1;
    }
    COMMTIMEOUTS timeouts = {};  // reads wait for their bytes however long it takes
    SetCommTimeouts(port, &timeouts);
    SetCommMask(port, EV_RXCHAR | EV_ERR | EV_BREAK | EV_RLSD);

    OVERLAPPED waitOv = {}, readOv = {};
    waitOv.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    readOv.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD mask = 0, done = 0;
    BOOL waitStarted = WaitCommEvent(port, &mask, &waitOv);
    DWORD waitStartError = waitStarted ? 0 : GetLastError();
    char buffer[64];
    BOOL readStarted = ReadFile(port, buffer, sizeof buffer, &done, &readOv);
    DWORD readStartError = readStarted ? 0 : GetLastError();
    std::printf("[wine] before: WaitCommEvent %d/%lu, ReadFile %d/%lu\n", waitStarted,
                waitStartError, readStarted, readStartError);
    std::fflush(stdout);

    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(ready);
    auto start = Clock::now();
    auto cpuMs = [] {
        FILETIME created, exited, kernel, user;
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        auto ms = [](const FILETIME& t) {
            return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
        };
        return ms(kernel) + ms(user);
    };
    double cpuBefore = cpuMs();

    HANDLE both[] = {waitOv.hEvent, readOv.hEvent};
    bool waitEnded = false, readEnded = false;
    while ((!waitEnded || !readEnded) && MsSince(start) < 3000) {
        DWORD which = WaitForMultipleObjects(2, both, FALSE, 100);
        if (!waitEnded && WaitForSingleObject(waitOv.hEvent, 0) == WAIT_OBJECT_0) {
            waitEnded = true;
            DWORD unused = 0;
            BOOL ok = GetOverlappedResult(port, &waitOv, &unused, FALSE);
            std::printf("[wine] pending WaitCommEvent ended %.0f ms after ready: ok %d error %lu "
                        "mask 0x%lx\n",
                        MsSince(start), ok, ok ? 0 : GetLastError(), mask);
        }
        if (!readEnded && WaitForSingleObject(readOv.hEvent, 0) == WAIT_OBJECT_0) {
            readEnded = true;
            BOOL ok = GetOverlappedResult(port, &readOv, &done, FALSE);
            std::printf("[wine] pending ReadFile ended %.0f ms after ready: ok %d error %lu, %lu "
                        "bytes\n",
                        MsSince(start), ok, ok ? 0 : GetLastError(), done);
        }
        (void)which;
    }
    if (!waitEnded || !readEnded)
        std::printf("[wine] still pending 3 s after ready: wait %s, read %s; CPU meanwhile %.0f ms\n",
                    waitEnded ? "no" : "yes", readEnded ? "no" : "yes", cpuMs() - cpuBefore);

    COMSTAT stat = {};
    DWORD errors = 0;
    BOOL cleared = ClearCommError(port, &errors, &stat);
    std::printf("[wine] after: ClearCommError %d/%lu errors 0x%lx\n", cleared,
                cleared ? 0 : GetLastError(), errors);
    DWORD status = 0;
    BOOL modem = GetCommModemStatus(port, &status);
    std::printf("[wine] after: GetCommModemStatus %d/%lu status 0x%lx\n", modem,
                modem ? 0 : GetLastError(), status);
    OVERLAPPED writeOv = {};
    writeOv.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    BOOL wrote = WriteFile(port, "015F", 4, &done, &writeOv);
    DWORD writeError = wrote ? 0 : GetLastError();
    if (!wrote && writeError == ERROR_IO_PENDING) {
        wrote = WaitForSingleObject(writeOv.hEvent, 3000) == WAIT_OBJECT_0 &&
                GetOverlappedResult(port, &writeOv, &done, FALSE);
        writeError = wrote ? 0 : GetLastError();
    }
    std::printf("[wine] after: WriteFile %d/%lu\n", wrote, writeError);
    ResetEvent(waitOv.hEvent);
    BOOL again = WaitCommEvent(port, &mask, &waitOv);
    DWORD againError = again ? 0 : GetLastError();
    if (!again && againError == ERROR_IO_PENDING) {
        auto t = Clock::now();
        bool ended = WaitForSingleObject(waitOv.hEvent, 2000) == WAIT_OBJECT_0;
        DWORD unused = 0;
        BOOL ok = ended && GetOverlappedResult(port, &waitOv, &unused, FALSE);
        std::printf("[wine] after: a new WaitCommEvent %s after %.0f ms, ok %d error %lu mask "
                    "0x%lx\n",
                    ended ? "ended" : "pending", MsSince(t), ok, ended && !ok ? GetLastError() : 0,
                    mask);
        if (!ended) {
            SetCommMask(port, 0);
            WaitForSingleObject(waitOv.hEvent, 2000);
        }
    } else {
        std::printf("[wine] after: a new WaitCommEvent %d/%lu mask 0x%lx\n", again, againError,
                    mask);
    }
    CloseHandle(port);
    HANDLE reopened = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    std::printf("[wine] reopening %s with the board gone: %s, error %lu\n", argv[1],
                reopened == INVALID_HANDLE_VALUE ? "fails" : "opens",
                reopened == INVALID_HANDLE_VALUE ? GetLastError() : 0);
    if (reopened != INVALID_HANDLE_VALUE)
        CloseHandle(reopened);
    // The read's end is what a device can rely on; the wait's is recorded.
    return readEnded ? 0 : 1;
}
