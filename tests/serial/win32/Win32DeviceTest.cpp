// The COM port device under wine, against a pseudo-terminal whose far end
// (com-far-end) answers over the line. The hang-up test comes last: after
// it the far end is gone.
#include "FarEnd.h"

#include "serial/win32/Win32Device.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace std::chrono_literals;
using farend::Ask;
using farend::Clock;
using farend::MsSince;
using farend::Send;
using serialdev::EventBit::RxChar;

namespace {

// Started again with WIN32_DEVICE_TEST_OPEN=COMn, the test program is a
// second program that only tries to open that port, and ends with what
// the open gave.
const int secondProgram = [] {
    char name[32] = {};
    if (::GetEnvironmentVariableA("WIN32_DEVICE_TEST_OPEN", name, sizeof name) == 0)
        return 0;
    serialdev::Win32Device device;
    ::ExitProcess(static_cast<UINT>(device.Open(name)));
}();

// What a second program's open of `port` gives, or -1 when it could not be run.
int OpenInAnotherProgram(const std::string& port)
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ::SetEnvironmentVariableA("WIN32_DEVICE_TEST_OPEN", port.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                          &process);
    ::SetEnvironmentVariableA("WIN32_DEVICE_TEST_OPEN", nullptr);
    if (!started)
        return -1;
    DWORD code = DWORD(-1);
    if (::WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.hProcess, &code);
    else
        ::TerminateProcess(process.hProcess, DWORD(-1));
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// A stop event as the port's event thread has one.
struct StopEvent {
    StopEvent() { handle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~StopEvent() { ::CloseHandle(handle); }
    HANDLE handle;
};

struct WaitResult {
    int error = -1;
    std::uint32_t events = 0;
    long long ms = 0;
};

// WaitEvent on a thread of its own.
std::future<WaitResult> WaitAsync(serialdev::Device& device, HANDLE stop)
{
    return std::async(std::launch::async, [&device, stop] {
        WaitResult r;
        const auto start = Clock::now();
        r.error = device.WaitEvent(r.events, stop);
        r.ms = MsSince(start);
        return r;
    });
}

class Win32DeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(device.Open(farend::PortName()), 0);
        ASSERT_EQ(device.SetQueueSizes(4096, 2048), 0);
        ASSERT_EQ(device.SetLineSettings(farend::Settings9600()), 0);
        ASSERT_EQ(device.SetTimeouts(serialdev::Timeouts{}), 0);
        ASSERT_EQ(device.Purge(true, true), 0);
    }
    void TearDown() override { device.Close(); }

    serialdev::Win32Device device;
};

// ---- open and close -------------------------------------------------------------------

TEST_F(Win32DeviceTest, OpensClosesAndOpensAgain)
{
    EXPECT_EQ(device.Kind(), serialdev::DeviceKind::Tty);
    EXPECT_EQ(device.Open(farend::PortName()), ERROR_BUSY); // this device has it already
    device.Close();
    device.Close(); // twice is harmless
    std::uint32_t flags = 0;
    std::int32_t queued = 0;
    EXPECT_EQ(device.ClearErrors(flags, queued), ERROR_INVALID_HANDLE);
    EXPECT_EQ(device.Open(farend::PortName()), 0);
    EXPECT_EQ(device.SetTimeouts(serialdev::Timeouts{}), 0); // a new opening has the driver's own
    EXPECT_EQ(Ask(device, "E again"), "G again");
}

TEST_F(Win32DeviceTest, MissingAndEmptyNamesAreNotThere)
{
    serialdev::Win32Device other;
    const int missing = other.Open("COM199");
    EXPECT_EQ(serialdev::ClassifyOsError(missing), serialdev::OsErrorKind::NotThere) << missing;
    EXPECT_EQ(other.Open(""), ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32DeviceTest, SecondOpenerIsRefusedAsInUse)
{
    serialdev::Win32Device second;
    for (const std::string& name : {farend::PortName(), "\\\\.\\" + farend::PortName()}) {
        const int error = second.Open(name);
        EXPECT_EQ(error, ERROR_ACCESS_DENIED) << name;
        EXPECT_EQ(serialdev::ClassifyOsError(error), serialdev::OsErrorKind::InUse) << error;
    }
    EXPECT_EQ(OpenInAnotherProgram(farend::PortName()), ERROR_ACCESS_DENIED);
    // The holder is not disturbed, and once it lets go the port is free.
    EXPECT_EQ(Ask(device, "E still mine"), "G still mine");
    device.Close();
    EXPECT_EQ(second.Open(farend::PortName()), 0);
    second.Close();
    EXPECT_EQ(OpenInAnotherProgram(farend::PortName()), 0);
}

// ---- settings ---------------------------------------------------------------------------

TEST_F(Win32DeviceTest, LineSettingsReachTheTerminal)
{
    // A pseudo-terminal keeps 8 data bits without parity whatever it is
    // told (the record's other fields: Win32CommBits); rate and stop bits
    // show what arrived.
    EXPECT_EQ(Ask(device, "T?"), "T 9600 8 N 1");
    serialdev::LineSettings s = farend::Settings9600();
    s.BaudRate = 4800;
    s.ByteSize = 7;
    s.Parity = 2; // even
    s.StopBits = 2;
    ASSERT_EQ(device.SetLineSettings(s), 0);
    EXPECT_EQ(Ask(device, "T?"), "T 4800 8 N 2");
    s = farend::Settings9600();
    s.BaudRate = 115200;
    ASSERT_EQ(device.SetLineSettings(s), 0);
    EXPECT_EQ(Ask(device, "T?"), "T 115200 8 N 1");
}

TEST_F(Win32DeviceTest, ImpossibleSettingsAreRefused)
{
    serialdev::LineSettings s = farend::Settings9600();
    s.BaudRate = 0;
    EXPECT_EQ(device.SetLineSettings(s), ERROR_INVALID_PARAMETER);
    s = farend::Settings9600();
    s.ByteSize = 9;
    EXPECT_EQ(device.SetLineSettings(s), ERROR_INVALID_PARAMETER);
    s = farend::Settings9600();
    s.Flags |= serialdev::LineFlag::OutX;
    s.XoffChar = s.XonChar;
    EXPECT_EQ(device.SetLineSettings(s), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(device.SetQueueSizes(-1, 10), ERROR_INVALID_PARAMETER);
    // The line still has what it had.
    EXPECT_EQ(Ask(device, "T?"), "T 9600 8 N 1");
}

// ---- transfers --------------------------------------------------------------------------

TEST_F(Win32DeviceTest, WriteReachesTheFarEnd)
{
    EXPECT_EQ(Ask(device, "E hello, far end"), "G hello, far end");
    const std::string big(1500, 'x');
    EXPECT_EQ(Ask(device, "E " + big), "G " + big);
}

TEST_F(Win32DeviceTest, ReadWithDefaultTimeoutsReturnsAtOnceWithWhatIsQueued)
{
    // Nothing queued: done at once with nothing (wine would keep it pending).
    serialdev::TransferPtr t = serialdev::NewTransfer();
    char buffer[16] = {};
    std::int32_t got = -1;
    auto start = Clock::now();
    ASSERT_EQ(device.StartRead(*t, buffer, sizeof buffer, got), 0);
    ASSERT_EQ(device.Wait(*t, got), 0);
    EXPECT_EQ(got, 0);
    EXPECT_LT(MsSince(start), 500);

    ASSERT_TRUE(Send(device, "S 0 abc\n"));
    ASSERT_TRUE(farend::WaitQueued(device, 3));
    start = Clock::now();
    ASSERT_EQ(device.StartRead(*t, buffer, sizeof buffer, got), 0);
    ASSERT_EQ(device.Wait(*t, got), 0);
    EXPECT_LT(MsSince(start), 500);
    EXPECT_EQ(std::string(buffer, got), "abc");
}

TEST_F(Win32DeviceTest, ReadEndsAtItsTotalTimeout)
{
    serialdev::Timeouts timeouts;
    timeouts.ReadInterval = 0;
    timeouts.ReadTotalConstant = 300;
    ASSERT_EQ(device.SetTimeouts(timeouts), 0);
    serialdev::TransferPtr t = serialdev::NewTransfer();
    char buffer[8] = {};
    std::int32_t got = -1;
    const auto start = Clock::now();
    ASSERT_EQ(device.StartRead(*t, buffer, 5, got), 0);
    ASSERT_EQ(device.Wait(*t, got), 0);
    const long long ms = MsSince(start);
    std::printf("[wine] read of 5 with a total time-out of 300 ms and nothing coming: %lld ms\n", ms);
    EXPECT_EQ(got, 0);
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 2000);

    // Bytes that come in time end it early.
    ASSERT_TRUE(Send(device, "S 50 12345\n"));
    ASSERT_EQ(device.StartRead(*t, buffer, 5, got), 0);
    ASSERT_EQ(device.Wait(*t, got), 0);
    EXPECT_EQ(std::string(buffer, got), "12345");

    // Fewer bytes than asked for: the read ends at its time-out with them.
    ASSERT_TRUE(Send(device, "S 50 12\n"));
    ASSERT_EQ(device.StartRead(*t, buffer, 5, got), 0);
    ASSERT_EQ(device.Wait(*t, got), 0);
    EXPECT_EQ(std::string(buffer, got), "12");
}

TEST_F(Win32DeviceTest, ReadWaitingForTheFirstByteEndsWithItOrAtTheConstant)
{
    // rvd3318ctl's reads: what is queued at once, else the first byte to
    // come within the constant (wine would wait for ever).
    serialdev::Timeouts timeouts;
    timeouts.ReadInterval = MAXDWORD;
    timeouts.ReadTotalMultiplier = MAXDWORD;
    timeouts.ReadTotalConstant = 300;
    ASSERT_EQ(device.SetTimeouts(timeouts), 0);
    serialdev::TransferPtr t = serialdev::NewTransfer();
    char buffer[16] = {};
    std::int32_t got = -1;
    auto start = Clock::now();
    ASSERT_EQ(device.StartRead(*t, buffer, sizeof buffer, got), 0);
    ASSERT_EQ(device.Wait(*t, got), 0);
    EXPECT_EQ(got, 0);
    EXPECT_GE(MsSince(start), 250);
    EXPECT_LT(MsSince(start), 2000);

    ASSERT_TRUE(Send(device, "S 50 x\n"));
    start = Clock::now();
    ASSERT_EQ(device.StartRead(*t, buffer, sizeof buffer, got), 0);
    ASSERT_EQ(device.Wait(*t, got), 0);
    EXPECT_EQ(std::string(buffer, got), "x");
    EXPECT_LT(MsSince(start), 250);

    ASSERT_TRUE(Send(device, "S 0 abc\n"));
    ASSERT_TRUE(farend::WaitQueued(device, 3));
    ASSERT_EQ(device.StartRead(*t, buffer, sizeof buffer, got), 0);
    ASSERT_EQ(device.Wait(*t, got), 0);
    EXPECT_EQ(std::string(buffer, got), "abc");
}

TEST_F(Win32DeviceTest, AbortEndsPendingTransfersAndKeepsTheQueue)
{
    serialdev::Timeouts never; // no time-out at all: waits for its bytes
    never.ReadInterval = 0;
    ASSERT_EQ(device.SetTimeouts(never), 0);
    serialdev::TransferPtr t = serialdev::NewTransfer();
    char buffer[10] = {};
    std::int32_t got = -1;
    ASSERT_EQ(device.StartRead(*t, buffer, sizeof buffer, got), 0);
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(t->Completed());
    EXPECT_EQ(device.StartRead(*t, buffer, sizeof buffer, got), ERROR_BUSY); // its buffer is in use
    const auto start = Clock::now();
    ASSERT_EQ(device.AbortPending(), 0);
    EXPECT_EQ(device.Wait(*t, got), ERROR_OPERATION_ABORTED);
    EXPECT_LT(MsSince(start), 1000);
    ASSERT_EQ(device.SetTimeouts(serialdev::Timeouts{}), 0);
    EXPECT_EQ(Ask(device, "E after the abort"), "G after the abort");
}

TEST_F(Win32DeviceTest, PendingTransferMayBeDestroyed)
{
    serialdev::Timeouts never;
    never.ReadInterval = 0;
    ASSERT_EQ(device.SetTimeouts(never), 0);
    {
        serialdev::TransferPtr t = serialdev::NewTransfer();
        std::vector<char> buffer(64);
        std::int32_t got = -1;
        ASSERT_EQ(device.StartRead(*t, buffer.data(), 64, got), 0);
        std::this_thread::sleep_for(50ms);
    } // the record and its buffer go while the read is pending
    ASSERT_EQ(device.SetTimeouts(serialdev::Timeouts{}), 0);
    EXPECT_EQ(Ask(device, "E after a lost record"), "G after a lost record");
}

TEST_F(Win32DeviceTest, CloseEndsPendingTransfers)
{
    serialdev::Timeouts never;
    never.ReadInterval = 0;
    ASSERT_EQ(device.SetTimeouts(never), 0);
    serialdev::TransferPtr t = serialdev::NewTransfer();
    char buffer[10] = {};
    std::int32_t got = -1;
    ASSERT_EQ(device.StartRead(*t, buffer, sizeof buffer, got), 0);
    const auto start = Clock::now();
    device.Close();
    EXPECT_NE(device.Wait(*t, got), 0);
    EXPECT_TRUE(t->Completed());
    EXPECT_LT(MsSince(start), 3000);
}

TEST_F(Win32DeviceTest, PurgeDropsTheInputQueue)
{
    ASSERT_TRUE(Send(device, "S 0 purge-me\n"));
    ASSERT_TRUE(farend::WaitQueued(device, 8));
    ASSERT_EQ(device.Purge(true, false), 0);
    std::uint32_t flags = 0;
    std::int32_t queued = -1;
    ASSERT_EQ(device.ClearErrors(flags, queued), 0);
    EXPECT_EQ(queued, 0);
    EXPECT_EQ(flags, 0u);
}

TEST_F(Win32DeviceTest, ModemStatusOfAPseudoTerminal)
{
    std::uint32_t bits = 0xFFFF;
    const int error = device.ModemStatus(bits);
    std::printf("[wine] modem status of a pty: error %d, bits 0x%x\n", error, bits);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(bits & ~0xF0u, 0u);
    namespace E = serialdev::EventBit;
    std::printf("[wine] event mask with the modem lines on a pty: error %d\n",
                device.SetEventMask(E::RxChar | E::CTS | E::DSR | E::RLSD | E::Ring));
}

// ---- line events ------------------------------------------------------------------------

TEST_F(Win32DeviceTest, ByteArrivingWakesTheEventWait)
{
    ASSERT_EQ(device.SetEventMask(RxChar), 0);
    StopEvent stop;
    auto wait = WaitAsync(device, stop.handle);
    ASSERT_TRUE(Send(device, "S 150 z\n"));
    ASSERT_EQ(wait.wait_for(3s), std::future_status::ready);
    const WaitResult r = wait.get();
    std::printf("[wine] byte sent 150 ms after the request woke the wait after %lld ms\n", r.ms);
    EXPECT_EQ(r.error, 0);
    EXPECT_TRUE(r.events & RxChar) << r.events;
}

TEST_F(Win32DeviceTest, StopEndsAPendingWaitAtOnce)
{
    ASSERT_EQ(device.SetEventMask(RxChar), 0);
    StopEvent stop;
    auto wait = WaitAsync(device, stop.handle);
    ASSERT_EQ(wait.wait_for(200ms), std::future_status::timeout); // nothing comes
    const auto start = Clock::now();
    ::SetEvent(stop.handle);
    ASSERT_EQ(wait.wait_for(2s), std::future_status::ready);
    const WaitResult r = wait.get();
    std::printf("[wine] stop ended the wait in %lld ms\n", MsSince(start));
    EXPECT_EQ(r.error, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(serialdev::ClassifyOsError(r.error), serialdev::OsErrorKind::Cancelled);
    EXPECT_LT(MsSince(start), 1000);

    // A stop already set ends the next wait before it starts; a fresh one
    // waits normally again.
    std::uint32_t events = 0;
    EXPECT_EQ(device.WaitEvent(events, stop.handle), ERROR_OPERATION_ABORTED);
    StopEvent fresh;
    auto again = WaitAsync(device, fresh.handle);
    ASSERT_TRUE(Send(device, "S 50 y\n"));
    ASSERT_EQ(again.wait_for(3s), std::future_status::ready);
    EXPECT_EQ(again.get().error, 0);
}

// The process's CPU time in milliseconds.
long long CpuMs()
{
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& t) {
        return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) /
                                      10000);
    };
    return ms(kernel) + ms(user);
}

TEST_F(Win32DeviceTest, IdleWaitCostsNoCpu)
{
    ASSERT_EQ(device.SetEventMask(RxChar), 0);
    StopEvent stop;
    const long long before = CpuMs();
    auto wait = WaitAsync(device, stop.handle);
    ASSERT_EQ(wait.wait_for(1500ms), std::future_status::timeout);
    ::SetEvent(stop.handle);
    EXPECT_EQ(wait.get().error, ERROR_OPERATION_ABORTED);
    const long long used = CpuMs() - before;
    std::printf("[wine] CPU time of a process waiting 1.5 s for a line event: %lld ms\n", used);
    EXPECT_LT(used, 300);
}

TEST_F(Win32DeviceTest, MaskChangeEndsTheWaitWithoutAnError)
{
    ASSERT_EQ(device.SetEventMask(RxChar), 0);
    StopEvent stop;
    auto wait = WaitAsync(device, stop.handle);
    ASSERT_EQ(wait.wait_for(200ms), std::future_status::timeout);
    ASSERT_EQ(device.SetEventMask(RxChar | serialdev::EventBit::TxEmpty), 0);
    ASSERT_EQ(wait.wait_for(2s), std::future_status::ready);
    const WaitResult r = wait.get();
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.events & RxChar, 0u);
}

TEST_F(Win32DeviceTest, WriteDrainingReportsTxEmpty)
{
    ASSERT_EQ(device.SetEventMask(serialdev::EventBit::TxEmpty), 0);
    StopEvent stop;
    auto wait = WaitAsync(device, stop.handle);
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(Send(device, "E drained\n"));
    ASSERT_EQ(wait.wait_for(3s), std::future_status::ready);
    const WaitResult r = wait.get();
    EXPECT_EQ(r.error, 0);
    EXPECT_TRUE(r.events & serialdev::EventBit::TxEmpty) << r.events;
}

// ---- the far end going away (last: it does not come back) -------------------------------

TEST_F(Win32DeviceTest, FarEndHangingUpIsALostLine)
{
    ASSERT_EQ(device.SetEventMask(RxChar), 0);
    StopEvent stop;
    auto wait = WaitAsync(device, stop.handle);
    ASSERT_TRUE(Send(device, "H 200\n"));
    const auto ready = wait.wait_for(3s);
    if (ready != std::future_status::ready)
        ::SetEvent(stop.handle);
    const WaitResult r = wait.get();
    std::printf("[wine] far end hung up: wait ended after %lld ms, error %d (%s), events 0x%x\n", r.ms, r.error,
                serialdev::SystemErrorText(r.error, "C").c_str(), r.events);
    EXPECT_TRUE(serialdev::LineGone(r.error)) << r.error;

    serialdev::TransferPtr t = serialdev::NewTransfer();
    std::int32_t got = 0;
    int error = device.StartWrite(*t, "x", 1, got);
    if (error == 0)
        error = device.Wait(*t, got);
    std::printf("[wine] write after the hang-up: error %d, %d written\n", error, got);
    EXPECT_TRUE(serialdev::LineGone(error)) << error;
    char c = 0;
    error = device.StartRead(*t, &c, 1, got);
    if (error == 0)
        error = device.Wait(*t, got);
    std::printf("[wine] read after the hang-up: error %d, %d read\n", error, got);
    EXPECT_TRUE(serialdev::LineGone(error)) << error;
    std::uint32_t flags = 0;
    std::int32_t queued = 0;
    error = device.ClearErrors(flags, queued);
    std::printf("[wine] ClearErrors after the hang-up: error %d, flags 0x%x, %d queued\n", error, flags, queued);
    std::uint32_t bits = 0;
    error = device.ModemStatus(bits);
    std::printf("[wine] ModemStatus after the hang-up: error %d\n", error);
}

} // namespace

// ---- the virtual board at the far end (run by the win32_device_board test) --------------

namespace {

// Sends a command as the panel does and collects the board's answer line,
// woken by the event wait as the port's event thread is.
std::string Exchange(serialdev::Device& device, const std::string& command)
{
    if (!Send(device, command))
        return "(write failed)";
    std::string answer;
    StopEvent stop;
    const auto start = Clock::now();
    while (answer.find('\n') == std::string::npos && MsSince(start) < 3000) {
        auto wait = WaitAsync(device, stop.handle);
        if (wait.wait_for(3s) != std::future_status::ready) {
            ::SetEvent(stop.handle);
            return "(no event)";
        }
        if (const WaitResult r = wait.get(); r.error != 0)
            return "(wait failed: " + std::to_string(r.error) + ")";
        serialdev::TransferPtr t = serialdev::NewTransfer();
        char buffer[128];
        std::int32_t got = 0;
        if (device.StartRead(*t, buffer, sizeof buffer, got) != 0 || device.Wait(*t, got) != 0)
            return "(read failed)";
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    return answer;
}

TEST(Win32DeviceBoard, CommandsGetTheBoardsAnswers)
{
    char port[32] = {};
    if (::GetEnvironmentVariableA("WINE_TEST_BOARD_PORT", port, sizeof port) == 0)
        GTEST_SKIP() << "no board (WINE_TEST_BOARD_PORT)";
    serialdev::Win32Device device;
    ASSERT_EQ(device.Open(port), 0);
    ASSERT_EQ(device.SetLineSettings(farend::Settings9600()), 0);
    ASSERT_EQ(device.SetTimeouts(serialdev::Timeouts{}), 0);
    ASSERT_EQ(device.Purge(true, true), 0);
    ASSERT_EQ(device.SetEventMask(RxChar), 0);
    EXPECT_EQ(Exchange(device, "2020"), "OK RGB\n");
    EXPECT_EQ(Exchange(device, "015F"), "OK LED-1 99.99%\n");
    EXPECT_EQ(Exchange(device, "2AZZ"), "ERR 4 BAD BYTES\n");
}

} // namespace
