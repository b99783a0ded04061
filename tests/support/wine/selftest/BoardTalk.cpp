// Talks to the virtual board (rvd3318-board) through a COM port under wine:
// sends commands as the panel does, waits for the answer with an overlapped
// WaitCommEvent(EV_RXCHAR), reads it, and checks it.
//
//   BoardTalk.exe COMn
//
// Exit status 0 when every answer was the expected one.
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

bool Complete(HANDLE port, OVERLAPPED& ov, BOOL started, DWORD& done, DWORD ms)
{
    if (started)
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    if (WaitForSingleObject(ov.hEvent, ms) != WAIT_OBJECT_0) {
        CancelIo(port);
        return false;
    }
    return GetOverlappedResult(port, &ov, &done, FALSE);
}

// Sends `command` and collects the answer line (up to '\n'), within 3 s.
std::string Exchange(HANDLE port, const std::string& command, double& answerMs)
{
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD done = 0;
    auto sent = Clock::now();
    if (!Complete(port, ov, WriteFile(port, command.data(), DWORD(command.size()), &done, &ov), done,
                  2000) ||
        done != command.size()) {
        std::printf("write of %s failed: error %lu\n", command.c_str(), GetLastError());
        CloseHandle(ov.hEvent);
        return {};
    }
    std::string answer;
    while (answer.find('\n') == std::string::npos && MsSince(sent) < 3000) {
        DWORD mask = 0;
        ResetEvent(ov.hEvent);
        if (!Complete(port, ov, WaitCommEvent(port, &mask, &ov), done, 3000)) {
            std::printf("WaitCommEvent failed: error %lu\n", GetLastError());
            break;
        }
        if (!(mask & EV_RXCHAR))
            continue;
        // Read what is queued, no more: a read of more would wait for the
        // interval time-out after the last byte.
        COMSTAT stat = {};
        DWORD errors = 0;
        if (!ClearCommError(port, &errors, &stat) || stat.cbInQue == 0)
            continue;
        char buffer[256];
        ResetEvent(ov.hEvent);
        done = 0;
        DWORD size = stat.cbInQue < sizeof buffer ? stat.cbInQue : DWORD(sizeof buffer);
        if (Complete(port, ov, ReadFile(port, buffer, size, &done, &ov), done, 2000))
            answer.append(buffer, done);
    }
    answerMs = MsSince(sent);
    CloseHandle(ov.hEvent);
    return answer;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string name = argc > 1 ? argv[1] : "COM25";
    std::string path = "\\\\.\\" + name;
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::printf("CreateFile %s: error %lu\n", path.c_str(), GetLastError());
        return 1;
    }
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutConstant = 2000;
    if (!SetCommState(port, &dcb) || !SetCommTimeouts(port, &timeouts) ||
        !SetCommMask(port, EV_RXCHAR) || !PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR)) {
        std::printf("setting up %s: error %lu\n", name.c_str(), GetLastError());
        return 1;
    }

    struct {
        const char* command;
        const char* answer;
    } const exchanges[] = {
        {"2020", "OK RGB\n"},
        {"015F", "OK LED-1 99.99%\n"},  // LED1 at 31
        {"0140", "OK LED-1 0%\n"},      // LED1 at 0
        {"1010", "OK BACK LIGHT\n"},
        {"01", "ERR HALF COMMAND\n"},   // half a command: answered after the board's idle time (1 s)
        {"2AZZ", "ERR 4 BAD BYTES\n"},  // outside the vocabulary
    };
    int failures = 0;
    for (const auto& exchange : exchanges) {
        double ms = 0;
        std::string answer = Exchange(port, exchange.command, ms);
        bool good = answer == exchange.answer;
        std::string shown = answer;
        if (!shown.empty() && shown.back() == '\n')
            shown.pop_back();
        std::printf("%s %s -> \"%s\" in %.1f ms\n", good ? "ok  " : "FAIL", exchange.command,
                    shown.c_str(), ms);
        failures += good ? 0 : 1;
    }
    CloseHandle(port);
    std::printf("%s\n", failures ? "FAILED" : "PASSED");
    return failures ? 1 : 0;
}
