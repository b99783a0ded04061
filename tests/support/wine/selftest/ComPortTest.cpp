// The harness's own proof: a Windows program that drives a COM port under
// wine, mapped to one end of a null-modem pair of pseudo-terminals
// (run-under-wine --null-modem COMa,COMb). COMa is the port under test, COMb
// the far end. It prints what it measures ("[wine] ..." lines), which is
// where the figures in README.md come from.
//
// Environment (set by run-under-wine):
//   WINE_TEST_PORT, WINE_TEST_FAR_PORT   the two COM names (default COM7, COM8)
//   WINE_PTY_COMn                        the pseudo-terminal behind COMn
//   WINE_PTY_MODEM_DIR                   the preload library's line files
//   WINE_HARNESS_PRELOAD                 "0" when run without the preload library
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Env(const char* name, const char* fallback = "")
{
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

bool PreloadActive() { return Env("WINE_HARNESS_PRELOAD", "1") != "0"; }

std::string TestPort() { return Env("WINE_TEST_PORT", "COM7"); }
std::string FarPort() { return Env("WINE_TEST_FAR_PORT", "COM8"); }

// A Unix path as wine's Windows programs name it.
std::string WinePath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The preload library's file for the pseudo-terminal behind `port`:
// DIR/N for /dev/pts/N.
std::string LineFile(const std::string& port, const char* suffix = "")
{
    std::string dir = Env("WINE_PTY_MODEM_DIR");
    std::string pty = Env(("WINE_PTY_" + port).c_str());
    if (dir.empty() || pty.rfind("/dev/pts/", 0) != 0)
        return {};
    return WinePath(dir + "/" + pty.substr(9) + suffix);
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& text)
{
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
    }
    MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

class Overlapped {
public:
    Overlapped()
    {
        ZeroMemory(&ov, sizeof ov);
        ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~Overlapped() { CloseHandle(ov.hEvent); }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    OVERLAPPED ov;
};

class Port {
public:
    explicit Port(const std::string& name)
    {
        std::string path = "\\\\.\\" + name;
        handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        openError = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    }
    ~Port() { Close(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    void Close()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }

    // 115200 8N1, no flow control; read time-outs: wait up to 100 ms per
    // byte gap, 2 s in all, so a read returns what came.
    void Configure()
    {
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "open error " << openError;
        ASSERT_TRUE(SetupComm(handle, 4096, 4096)) << GetLastError();
        DCB dcb;
        ZeroMemory(&dcb, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(handle, &dcb)) << GetLastError();
        dcb.BaudRate = CBR_115200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        ASSERT_TRUE(SetCommState(handle, &dcb)) << GetLastError();
        COMMTIMEOUTS timeouts = {};
        timeouts.ReadIntervalTimeout = 100;
        timeouts.ReadTotalTimeoutConstant = 2000;
        timeouts.WriteTotalTimeoutConstant = 2000;
        ASSERT_TRUE(SetCommTimeouts(handle, &timeouts)) << GetLastError();
        ASSERT_TRUE(PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR)) << GetLastError();
    }

    // Overlapped write, waited for.
    DWORD Write(const std::string& bytes)
    {
        Overlapped o;
        DWORD done = 0;
        if (!WriteFile(handle, bytes.data(), DWORD(bytes.size()), &done, &o.ov)) {
            DWORD error = GetLastError();
            EXPECT_EQ(error, DWORD(ERROR_IO_PENDING));
            if (error != ERROR_IO_PENDING)
                return 0;
            EXPECT_TRUE(GetOverlappedResult(handle, &o.ov, &done, TRUE)) << GetLastError();
        }
        return done;
    }

    // Overlapped read of up to `size` bytes, waited for (the port's
    // time-outs end it).
    std::string Read(size_t size)
    {
        Overlapped o;
        std::string bytes(size, '\0');
        DWORD done = 0;
        if (!ReadFile(handle, bytes.data(), DWORD(size), &done, &o.ov)) {
            DWORD error = GetLastError();
            EXPECT_EQ(error, DWORD(ERROR_IO_PENDING));
            if (error != ERROR_IO_PENDING)
                return {};
            if (WaitForSingleObject(o.ov.hEvent, 5000) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "read still pending after 5 s";
                CancelIo(handle);
            }
            GetOverlappedResult(handle, &o.ov, &done, TRUE);
        }
        bytes.resize(done);
        return bytes;
    }

    // Reads until `wanted` bytes came or `ms` passed.
    std::string ReadAll(size_t wanted, int ms = 3000)
    {
        std::string got;
        auto start = Clock::now();
        while (got.size() < wanted && MsSince(start) < ms)
            got += Read(wanted - got.size());
        return got;
    }

    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD openError = 0;
};

// An overlapped WaitCommEvent in flight.
struct PendingWait {
    explicit PendingWait(HANDLE port) : port(port)
    {
        ok = WaitCommEvent(port, &mask, &o.ov);
        startError = ok ? 0 : GetLastError();
        started = Clock::now();
    }
    bool Pending() const { return !ok && startError == ERROR_IO_PENDING; }
    // Waits up to `ms` for the end; true if it ended.
    bool End(DWORD ms)
    {
        if (ok)
            return true;
        if (startError != ERROR_IO_PENDING) {  // failed at once
            endError = startError;
            endedAfterMs = 0;
            return true;
        }
        if (WaitForSingleObject(o.ov.hEvent, ms) != WAIT_OBJECT_0)
            return false;
        endedAfterMs = MsSince(started);
        DWORD unused = 0;
        ok = GetOverlappedResult(port, &o.ov, &unused, FALSE);
        endError = ok ? 0 : GetLastError();
        return true;
    }

    HANDLE port;
    Overlapped o;
    DWORD mask = 0;
    BOOL ok = FALSE;
    DWORD startError = 0;
    DWORD endError = 0;
    double endedAfterMs = -1;
    Clock::time_point started;
};

class ComPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = std::make_unique<Port>(TestPort());
        remote = std::make_unique<Port>(FarPort());
        ASSERT_NE(port->handle, INVALID_HANDLE_VALUE)
            << "CreateFile " << TestPort() << ": error " << port->openError;
        ASSERT_NE(remote->handle, INVALID_HANDLE_VALUE)
            << "CreateFile " << FarPort() << ": error " << remote->openError;
        ASSERT_NO_FATAL_FAILURE(port->Configure());
        ASSERT_NO_FATAL_FAILURE(remote->Configure());
    }

    std::unique_ptr<Port> port;
    std::unique_ptr<Port> remote;
};

TEST_F(ComPort, OpensAndTakesLineSettings)
{
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port->handle, &dcb));
    EXPECT_EQ(dcb.BaudRate, DWORD(CBR_115200));
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);

    // A second open of the same port: Windows refuses it (sharing mode 0).
    Port second(TestPort());
    std::printf("[wine] second CreateFile of an open port: %s (error %lu)\n",
                second.handle == INVALID_HANDLE_VALUE ? "refused" : "opened",
                second.openError);
    // A port nobody mapped, and one whose path is gone.
    Port unmapped("COM199");
    std::printf("[wine] CreateFile of an unmapped COM199: %s (error %lu)\n",
                unmapped.handle == INVALID_HANDLE_VALUE ? "fails" : "opens", unmapped.openError);
}

TEST_F(ComPort, ArrivalsWhileNoWaitIsPending)
{
    if (!PreloadActive())
        GTEST_SKIP() << "needs the preload library";
    ASSERT_TRUE(SetCommMask(port->handle, EV_RXCHAR));
    // Bytes arrive before any wait: does the next wait report them at once?
    ASSERT_EQ(remote->Write("early"), 5u);
    Sleep(100);
    {
        PendingWait wait(port->handle);
        bool ended = wait.End(300);
        std::printf("[wine] WaitCommEvent started with 5 bytes already queued (arrived before "
                    "it): %s, mask 0x%lx\n",
                    wait.ok && wait.startError == 0 ? "returns at once"
                    : ended                         ? "ends while pending"
                                                    : "stays pending",
                    wait.mask);
        if (!ended) {
            SetCommMask(port->handle, EV_RXCHAR);
            wait.End(1000);
        }
    }
    // The bytes still sit unread: does every new wait report them again?
    // (Windows reports EV_RXCHAR once per arrival.)
    bool lateSent = false;
    {
        PendingWait wait(port->handle);
        bool ended = wait.End(300);
        std::printf("[wine] the next WaitCommEvent, the bytes still unread: %s, mask 0x%lx\n",
                    wait.ok && wait.startError == 0 ? "returns at once"
                    : ended                         ? "ends while pending"
                                                    : "stays pending",
                    wait.mask);
        if (!ended) {
            // A new arrival ends it.
            ASSERT_EQ(remote->Write("late"), 4u);
            lateSent = true;
            ASSERT_TRUE(wait.End(2000));
            EXPECT_TRUE(wait.mask & EV_RXCHAR);
        }
    }
    EXPECT_EQ(port->ReadAll(lateSent ? 9 : 5), lateSent ? "earlylate" : "early");
    // Read: the next wait waits again.
    PendingWait wait(port->handle);
    EXPECT_TRUE(wait.Pending());
    EXPECT_FALSE(wait.End(200));
    SetCommMask(port->handle, 0);
    EXPECT_TRUE(wait.End(1000));
}

TEST_F(ComPort, WriteReachesTheFarEnd)
{
    EXPECT_EQ(port->Write("ping"), 4u);
    EXPECT_EQ(remote->ReadAll(4), "ping");
    EXPECT_EQ(remote->Write("pong!"), 5u);
    EXPECT_EQ(port->ReadAll(5), "pong!");
}

TEST_F(ComPort, WaitReportsReceivedBytesAndReadGetsThem)
{
    if (!PreloadActive())
        GTEST_SKIP() << "needs the preload library";
    ASSERT_TRUE(SetCommMask(port->handle, EV_RXCHAR | EV_TXEMPTY));
    PendingWait wait(port->handle);
    ASSERT_TRUE(wait.Pending()) << "WaitCommEvent: ok " << wait.ok << " error " << wait.startError
                                << " mask " << wait.mask;
    // Nothing arrives: the wait stays pending (without the preload library
    // it ends cancelled within milliseconds).
    EXPECT_FALSE(wait.End(300)) << "ended after " << wait.endedAfterMs << " ms, error "
                                << wait.endError << ", mask " << wait.mask;

    auto written = Clock::now();
    ASSERT_EQ(remote->Write("hello"), 5u);
    ASSERT_TRUE(wait.End(3000)) << "no event within 3 s of the far end's write";
    double latency = MsSince(written);
    EXPECT_TRUE(wait.ok) << "error " << wait.endError;
    EXPECT_TRUE(wait.mask & EV_RXCHAR) << "mask " << wait.mask;
    std::printf("[wine] EV_RXCHAR: mask 0x%lx, %.1f ms after the far end's write\n", wait.mask,
                latency);

    COMSTAT stat;
    DWORD errors = 0;
    ASSERT_TRUE(ClearCommError(port->handle, &errors, &stat));
    std::printf("[wine] ClearCommError after arrival: errors 0x%lx, cbInQue %lu\n", errors,
                stat.cbInQue);
    EXPECT_EQ(port->ReadAll(5), "hello");
}

TEST_F(ComPort, WaitReportsOutputEmptyAfterAWrite)
{
    if (!PreloadActive())
        GTEST_SKIP() << "needs the preload library";
    ASSERT_TRUE(SetCommMask(port->handle, EV_RXCHAR | EV_TXEMPTY));
    PendingWait wait(port->handle);
    ASSERT_TRUE(wait.Pending() || wait.ok);
    auto written = Clock::now();
    ASSERT_EQ(port->Write("abc"), 3u);
    ASSERT_TRUE(wait.End(3000)) << "no EV_TXEMPTY within 3 s";
    EXPECT_TRUE(wait.ok) << wait.endError;
    EXPECT_TRUE(wait.mask & EV_TXEMPTY) << "mask " << wait.mask;
    std::printf("[wine] EV_TXEMPTY: mask 0x%lx, %.1f ms after the write\n", wait.mask,
                MsSince(written));
    EXPECT_EQ(remote->ReadAll(3), "abc");
}

double ProcessCpuMs()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

TEST_F(ComPort, WhatAnIdleWaitCosts)
{
    if (!PreloadActive())
        GTEST_SKIP() << "needs the preload library";
    // Wine has no modem-line notice from a pty: how often does a pending
    // wait look, and what does that cost? (The preload library's TIOCMGET
    // answers count the looks from outside: strace -f -e ioctl.)
    ASSERT_TRUE(SetCommMask(port->handle, EV_RXCHAR | EV_CTS | EV_DSR));
    PendingWait wait(port->handle);
    ASSERT_TRUE(wait.Pending());
    double cpuBefore = ProcessCpuMs();
    EXPECT_FALSE(wait.End(2000));
    double cpu = ProcessCpuMs() - cpuBefore;
    std::printf("[wine] a pending WaitCommEvent (EV_RXCHAR|EV_CTS|EV_DSR) for 2 s: %.0f ms CPU\n",
                cpu);
    ASSERT_TRUE(SetCommMask(port->handle, 0));
    EXPECT_TRUE(wait.End(2000));
}

TEST_F(ComPort, SetCommMaskEndsAPendingWait)
{
    if (!PreloadActive())
        GTEST_SKIP() << "needs the preload library";
    ASSERT_TRUE(SetCommMask(port->handle, EV_RXCHAR));
    PendingWait wait(port->handle);
    ASSERT_TRUE(wait.Pending());
    ASSERT_FALSE(wait.End(100));

    // CancelIoEx first: on Windows it ends the wait; note what wine does.
    BOOL cancelled = CancelIoEx(port->handle, &wait.o.ov);
    DWORD cancelError = cancelled ? 0 : GetLastError();
    bool endedByCancel = wait.End(200);
    std::printf("[wine] CancelIoEx on a pending WaitCommEvent: %s (error %lu), wait %s\n",
                cancelled ? "TRUE" : "FALSE", cancelError,
                endedByCancel ? "ended" : "still pending");
    if (endedByCancel)
        return;

    auto asked = Clock::now();
    ASSERT_TRUE(SetCommMask(port->handle, 0)) << GetLastError();
    ASSERT_TRUE(wait.End(2000)) << "SetCommMask(0) did not end the wait";
    EXPECT_FALSE(wait.ok);
    EXPECT_EQ(wait.endError, DWORD(ERROR_OPERATION_ABORTED));
    std::printf("[wine] SetCommMask(0) ends a pending wait: ok %d, error %lu, mask 0x%lx, "
                "%.1f ms\n",
                wait.ok, wait.endError, wait.mask, MsSince(asked));
}

TEST_F(ComPort, ClosingTheHandleEndsAPendingWait)
{
    if (!PreloadActive())
        GTEST_SKIP() << "needs the preload library";
    ASSERT_TRUE(SetCommMask(port->handle, EV_RXCHAR));
    PendingWait wait(port->handle);
    ASSERT_TRUE(wait.Pending());
    ASSERT_FALSE(wait.End(100));
    auto asked = Clock::now();
    port->Close();
    ASSERT_EQ(WaitForSingleObject(wait.o.ov.hEvent, 2000), WAIT_OBJECT_0)
        << "closing the handle did not end the wait";
    double ms = MsSince(asked);
    // The handle is gone: read the status the system left in the OVERLAPPED.
    std::printf("[wine] CloseHandle ends a pending wait: status 0x%lx, %.1f ms\n",
                (unsigned long)wait.o.ov.Internal, ms);
    EXPECT_EQ((unsigned long)wait.o.ov.Internal, 0xC0000120ul);  // STATUS_CANCELLED = error 995
}

TEST_F(ComPort, ReadWithImmediateTimeoutsOnAnEmptyQueue)
{
    // (MAXDWORD, 0, 0): on Windows, a read returns at once with what is
    // queued, possibly nothing. Record what wine does.
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    ASSERT_TRUE(SetCommTimeouts(port->handle, &timeouts));
    Overlapped o;
    char buffer[16];
    DWORD done = 0;
    auto start = Clock::now();
    BOOL ok = ReadFile(port->handle, buffer, sizeof buffer, &done, &o.ov);
    DWORD error = ok ? 0 : GetLastError();
    bool ended = ok || WaitForSingleObject(o.ov.hEvent, 500) == WAIT_OBJECT_0;
    std::printf("[wine] ReadFile (MAXDWORD,0,0) on an empty queue: ok %d error %lu, %s after "
                "%.1f ms\n",
                ok, error, ended ? "ended" : "still pending", MsSince(start));
    if (!ended) {
        ASSERT_EQ(remote->Write("x"), 1u);
        ended = WaitForSingleObject(o.ov.hEvent, 2000) == WAIT_OBJECT_0;
        GetOverlappedResult(port->handle, &o.ov, &done, FALSE);
        std::printf("[wine]   ... a byte from the far end ends it: %s, %lu byte(s)\n",
                    ended ? "yes" : "no", done);
        if (!ended)
            CancelIo(port->handle);
    }
}

TEST_F(ComPort, ModemStatusAndOutputLines)
{
    DWORD status = 0;
    BOOL got = GetCommModemStatus(port->handle, &status);
    DWORD error = got ? 0 : GetLastError();
    std::printf("[wine] GetCommModemStatus: %s, status 0x%lx, error %lu\n", got ? "TRUE" : "FALSE",
                status, error);
    BOOL clrdtr = EscapeCommFunction(port->handle, CLRDTR);
    DWORD clrdtrError = clrdtr ? 0 : GetLastError();
    std::printf("[wine] EscapeCommFunction(CLRDTR): %s, error %lu\n", clrdtr ? "TRUE" : "FALSE",
                clrdtrError);
    if (!PreloadActive()) {
        EXPECT_FALSE(got) << "GetCommModemStatus works on a pty without the preload library?";
        EXPECT_FALSE(clrdtr);
        // And a wait ends at once, cancelled.
        ASSERT_TRUE(SetCommMask(port->handle, EV_RXCHAR));
        PendingWait wait(port->handle);
        bool ended = wait.End(1000);
        std::printf("[wine] without preload, WaitCommEvent: start ok %d error %lu; %s, ok %d "
                    "error %lu mask 0x%lx after %.1f ms\n",
                    wait.ok, wait.startError, ended ? "ended" : "pending", wait.ok, wait.endError,
                    wait.mask, wait.endedAfterMs);
        EXPECT_TRUE(ended);
        EXPECT_FALSE(wait.ok);
        BOOL ctsMask = SetCommMask(port->handle, EV_CTS);
        DWORD ctsMaskError = ctsMask ? 0 : GetLastError();
        PendingWait ctsWait(port->handle);
        bool ctsEnded = ctsWait.End(1000);
        std::printf("[wine] without preload, SetCommMask(EV_CTS): %d (error %lu); WaitCommEvent "
                    "start ok %d error %lu, %s, error %lu after %.1f ms\n",
                    ctsMask, ctsMaskError, ctsWait.ok, ctsWait.startError,
                    ctsEnded ? "ended" : "pending", ctsWait.endError, ctsWait.endedAfterMs);
        if (!ctsEnded)
            SetCommMask(port->handle, 0), ctsWait.End(1000);
        return;
    }
    ASSERT_TRUE(got) << error;
    EXPECT_EQ(status & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON), 0u);
    ASSERT_TRUE(clrdtr) << clrdtrError;
    ASSERT_TRUE(EscapeCommFunction(port->handle, CLRRTS)) << GetLastError();
    std::string out = LineFile(TestPort(), ".out");
    if (!out.empty())
        EXPECT_EQ(ReadWholeFile(out), "\n");
    ASSERT_TRUE(EscapeCommFunction(port->handle, SETDTR)) << GetLastError();
    if (!out.empty())
        EXPECT_EQ(ReadWholeFile(out), "DTR\n");
    ASSERT_TRUE(EscapeCommFunction(port->handle, SETRTS)) << GetLastError();
    if (!out.empty())
        EXPECT_EQ(ReadWholeFile(out), "DTR RTS\n");
}

TEST_F(ComPort, InputLineChangesWakeTheWait)
{
    if (!PreloadActive())
        GTEST_SKIP() << "needs the preload library";
    std::string lines = LineFile(TestPort());
    if (lines.empty())
        GTEST_SKIP() << "no WINE_PTY_MODEM_DIR / WINE_PTY_" << TestPort();
    WriteWholeFile(lines, "");
    ASSERT_TRUE(SetCommMask(port->handle, EV_CTS | EV_DSR | EV_RLSD | EV_RXCHAR)) << GetLastError();
    PendingWait wait(port->handle);
    ASSERT_TRUE(wait.Pending()) << wait.startError;
    ASSERT_FALSE(wait.End(200));
    auto raised = Clock::now();
    WriteWholeFile(lines, "CTS DSR\n");
    ASSERT_TRUE(wait.End(3000)) << "raising CTS and DSR did not end the wait";
    double ms = MsSince(raised);
    EXPECT_TRUE(wait.ok) << wait.endError;
    EXPECT_EQ(wait.mask & (EV_CTS | EV_DSR), DWORD(EV_CTS | EV_DSR)) << "mask " << wait.mask;
    std::printf("[wine] EV_CTS|EV_DSR after the line file changed: mask 0x%lx, %.1f ms\n",
                wait.mask, ms);
    DWORD status = 0;
    ASSERT_TRUE(GetCommModemStatus(port->handle, &status));
    EXPECT_EQ(status, DWORD(MS_CTS_ON | MS_DSR_ON));
    WriteWholeFile(lines, "");
}

}  // namespace
