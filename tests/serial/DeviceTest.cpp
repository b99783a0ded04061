// The device layer on its own: names, the termios form of a line-settings
// record, what a pseudo-terminal keeps of it, and the input filter.
#include "serial/CPort.h"
#include "serial/posix/InputFilter.h"
#include "serial/posix/LineInput.h"
#include "serial/posix/PortList.h"
#include "serial/posix/SerialDevice.h"
#include "serial/posix/TermiosMapping.h"
#include "serial/posix/Transfer.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using serialdev::BuildTermios;
using serialdev::LineSettings;
using serialdev::TermiosSetup;
namespace F = serialdev::LineFlag;

LineSettings Record(std::uint32_t flags = F::Binary)
{
    LineSettings r;
    r.BaudRate = 9600;
    r.Flags = flags;
    r.ByteSize = 8;
    r.XonChar = 17;
    r.XoffChar = 19;
    return r;
}

TermiosSetup Build(const LineSettings& r)
{
    TermiosSetup setup;
    EXPECT_EQ(BuildTermios(r, termios2{}, setup), 0);
    return setup;
}

TEST(DevicePathTest, MapsWindowsNamesAbsolutePathsAndBareNames)
{
    EXPECT_EQ(serialdev::DevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(serialdev::DevicePath("com12"), "/dev/ttyS11");
    EXPECT_EQ(serialdev::DevicePath("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(serialdev::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(serialdev::DevicePath("COM0"), "/dev/COM0");
    EXPECT_EQ(serialdev::DevicePath("COMX"), "/dev/COMX");
    EXPECT_EQ(serialdev::DevicePath(""), "");
    serialdev::SerialDevice device;
    EXPECT_EQ(device.Open(""), ENOENT);
    EXPECT_EQ(device.Open("/dev/null"), ENOTTY); // not a serial line at all
}

TEST(TermiosMappingTest, DataBitsParityAndStopBits)
{
    LineSettings r = Record();
    termios2 t = Build(r).tio;
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB), 0u);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_EQ(t.c_lflag, 0u); // raw: no echo, no line editing, no signals
    EXPECT_EQ(t.c_oflag, 0u);

    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    for (int bits = 5; bits <= 8; ++bits) {
        r.ByteSize = static_cast<std::uint8_t>(bits);
        EXPECT_EQ(Build(r).tio.c_cflag & CSIZE, sizes[bits - 5]);
    }
    r.ByteSize = 8;
    const tcflag_t parity[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR, PARENB | CMSPAR};
    for (std::uint8_t p = 0; p <= 4; ++p) {
        r.Parity = p;
        EXPECT_EQ(Build(r).tio.c_cflag & (PARENB | PARODD | CMSPAR), parity[p]) << int(p);
    }
    r.StopBits = 2;
    EXPECT_TRUE(Build(r).tio.c_cflag & CSTOPB);

    TermiosSetup setup;
    r.StopBits = 1; // 1.5 stop bits: only with 5 data bits
    EXPECT_EQ(BuildTermios(r, termios2{}, setup), EINVAL);
    r.ByteSize = 5;
    EXPECT_TRUE(Build(r).tio.c_cflag & CSTOPB);
    r.ByteSize = 9;
    EXPECT_EQ(BuildTermios(r, termios2{}, setup), EINVAL);
    r = Record();
    r.Parity = 5;
    EXPECT_EQ(BuildTermios(r, termios2{}, setup), EINVAL);
    r = Record();
    r.BaudRate = 0;
    EXPECT_EQ(BuildTermios(r, termios2{}, setup), EINVAL);
}

TEST(TermiosMappingTest, AnyOtherRateGoesThroughBother)
{
    LineSettings r = Record();
    for (std::uint32_t rate : {56000u, 128000u, 256000u, 31250u}) {
        r.BaudRate = rate;
        const termios2 t = Build(r).tio;
        EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(BOTHER));
        EXPECT_EQ(t.c_ospeed, rate);
        EXPECT_EQ(t.c_ispeed, rate);
    }
}

TEST(TermiosMappingTest, TableRatesGoInWithTheirClassicConstants)
{
    LineSettings r = Record();
    const std::pair<std::uint32_t, tcflag_t> rates[] = {
        {110u, B110}, {300u, B300}, {9600u, B9600}, {115200u, B115200}, {4000000u, B4000000}};
    for (const auto& [rate, constant] : rates) {
        r.BaudRate = rate;
        const termios2 t = Build(r).tio;
        EXPECT_EQ(t.c_cflag & CBAUD, constant) << rate;
        EXPECT_EQ(t.c_cflag & (CBAUD << IBSHIFT), 0u) << rate; // input follows output
        EXPECT_EQ(t.c_ospeed, rate);
        EXPECT_EQ(t.c_ispeed, rate);
    }
    // What only a negative setting gives.
    r.BaudRate = 0xFFFFFFFBu;
    TermiosSetup setup;
    EXPECT_EQ(BuildTermios(r, termios2{}, setup), EINVAL);
}

TEST(TermiosMappingTest, FlowControlAndModemLines)
{
    TermiosSetup s = Build(Record());
    EXPECT_EQ(s.tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(s.tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_FALSE(s.raiseDTR);
    EXPECT_FALSE(s.raiseRTS);

    s = Build(Record(F::Binary | F::OutxCtsFlow));
    EXPECT_TRUE(s.tio.c_cflag & CRTSCTS);
    s = Build(Record(F::Binary | F::RtsHandshake));
    EXPECT_TRUE(s.tio.c_cflag & CRTSCTS);
    EXPECT_TRUE(s.raiseRTS);
    s = Build(Record(F::Binary | F::RtsToggle | F::DtrEnable));
    EXPECT_EQ(s.tio.c_cflag & CRTSCTS, 0u);
    EXPECT_TRUE(s.raiseRTS);
    EXPECT_TRUE(s.raiseDTR);

    LineSettings r = Record(F::Binary | F::OutX);
    r.XonChar = 'Q';
    r.XoffChar = 'S';
    s = Build(r);
    EXPECT_EQ(s.tio.c_iflag & (IXON | IXOFF), tcflag_t(IXON));
    EXPECT_EQ(s.tio.c_cc[VSTART], 'Q');
    EXPECT_EQ(s.tio.c_cc[VSTOP], 'S');
    EXPECT_EQ(Build(Record(F::Binary | F::InX)).tio.c_iflag & (IXON | IXOFF), tcflag_t(IXOFF));
}

TEST(TermiosMappingTest, ParityCheckingReplacementAndNullDiscarding)
{
    LineSettings r = Record(F::Binary | F::Parity);
    // Checking without parity bits on the line checks nothing.
    EXPECT_EQ(Build(r).tio.c_iflag & (INPCK | PARMRK), 0u);
    r.Parity = 2;
    TermiosSetup s = Build(r);
    EXPECT_EQ(s.tio.c_iflag & (INPCK | PARMRK), tcflag_t(INPCK | PARMRK));
    EXPECT_TRUE(s.markErrors);
    EXPECT_FALSE(s.replaceErrors);
    r.Flags |= F::ErrorChar;
    r.ErrorChar = '#';
    s = Build(r);
    EXPECT_TRUE(s.replaceErrors);
    EXPECT_EQ(s.errorChar, '#');
    EXPECT_TRUE(Build(Record(F::Binary | F::Null)).discardNull);
}

TEST(PseudoTerminalTest, KeepsRateStopBitsAndFlowFlagsOfTheOpenPort)
{
    PtyPair pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    port.SetEvents({});
    port.OpenPort();

    // Root may open the device beside the lock, which lets the test read
    // back what the port set.
    const int fd = ::open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << "tests run as root";
    auto current = [fd] {
        termios2 t{};
        EXPECT_EQ(::ioctl(fd, TCGETS2, &t), 0);
        return t;
    };
    port.SetBaudRate(br56000);
    EXPECT_EQ(current().c_ospeed, 56000u);
    port.SetBaudRate(br256000);
    EXPECT_EQ(current().c_ospeed, 256000u);
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(250000);
    EXPECT_EQ(current().c_ospeed, 250000u);
    port.SetStopBits(sbTwoStopBits);
    EXPECT_TRUE(current().c_cflag & CSTOPB);
    port.FlowControl()->SetFlowControl(fcHardware);
    EXPECT_TRUE(current().c_cflag & CRTSCTS);
    port.FlowControl()->SetFlowControl(fcSoftware);
    EXPECT_EQ(current().c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(current().c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    port.FlowControl()->SetXonChar('Q');
    port.FlowControl()->SetXoffChar('S');
    EXPECT_EQ(current().c_cc[VSTART], 'Q');
    EXPECT_EQ(current().c_cc[VSTOP], 'S');
    // What a pseudo-terminal does not keep: it stays 8 bits without parity.
    port.Parity()->SetBits(prEven);
    EXPECT_EQ(current().c_cflag & CSIZE, tcflag_t(CS8));
    ::close(fd);
}

TEST(InputFilterTest, ResolvesParityMarksAcrossReadsAndDropsNulls)
{
    serialdev::InputFilter filter;
    std::string out;
    filter.Configure(true, false, 0, false);
    const std::string marked("a\xFF\x00" "b\xFF\xFF" "c", 7);
    filter.Process(marked.data(), marked.size(), out);
    EXPECT_EQ(out, "ab\xFF" "c");

    out.clear();
    filter.Process("x\xFF", 2, out); // the mark is split between two reads
    EXPECT_EQ(out, "x");
    EXPECT_EQ(filter.Carried(), 1u);
    filter.Process("\x00", 1, out);
    EXPECT_EQ(filter.Carried(), 2u);
    filter.Process("y", 1, out);
    EXPECT_EQ(out, "xy");
    EXPECT_EQ(filter.Carried(), 0u);

    out.clear();
    filter.Configure(true, true, '?', false);
    filter.Process(marked.data(), marked.size(), out);
    EXPECT_EQ(out, "a?\xFF" "c");

    out.clear();
    filter.Configure(false, false, 0, true);
    filter.Process("\x00" "z\x00", 3, out);
    EXPECT_EQ(out, "z");
    // A replacement that is NUL itself is dropped too when nulls are discarded.
    out.clear();
    filter.Configure(true, true, '\0', true);
    filter.Process(marked.data(), marked.size(), out);
    EXPECT_EQ(out, "a\xFF" "c");
}

TEST(InputFilterTest, UnmarkedInputPassesInWholeRunsAndNullsGoWhereverTheyStand)
{
    serialdev::InputFilter filter;
    std::string out = "kept";
    const std::string bytes("\x00\x00" "ab" "\x00" "c\xFF" "\x00\x00\x00" "d" "\x00", 12);
    filter.Process(bytes.data(), bytes.size(), out);
    EXPECT_EQ(out, "kept" + bytes) << "nothing filtered: all of it, appended";

    out = "kept";
    filter.Configure(false, false, 0, true);
    filter.Process(bytes.data(), bytes.size(), out);
    EXPECT_EQ(out, "keptabc\xFF" "d");
    out.clear();
    filter.Process("\x00\x00\x00", 3, out);
    EXPECT_EQ(out, "");
    filter.Process("xyz", 3, out);
    EXPECT_EQ(out, "xyz");
    EXPECT_EQ(filter.Carried(), 0u);
}

TEST(PseudoTerminalTest, NullsAreDiscardedOnTheWayIn)
{
    PtyPair pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    port.SetEvents({});
    port.SetDiscardNull(true);
    port.OpenPort();
    port.Timeouts()->SetReadInterval(0);
    port.Timeouts()->SetReadTotalConstant(500);
    pty.Send(std::string("\x00" "A\x00" "B", 4));
    std::string text;
    EXPECT_EQ(port.ReadText(text, 2), 2);
    EXPECT_EQ(text, "AB");
}

// With parity checked the line marks its errors, and so escapes every
// 0xFF it receives as two; the read path gives each byte back once, and
// the replacement character stands only for an error.
TEST(PseudoTerminalTest, CheckedParityGivesEveryReceivedByteBackOnce)
{
    PtyPair pty;
    TComPort port;
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    port.SetEvents({});
    port.Parity()->SetBits(prEven);
    port.Parity()->SetCheck(true);
    port.Parity()->SetReplace(true);
    port.Parity()->SetReplaceChar('?');
    port.OpenPort();
    port.Timeouts()->SetReadInterval(0);
    port.Timeouts()->SetReadTotalConstant(500);
    const std::string sent("a\xFF" "b\xFF\xFF\x00" "c\xFF", 8);
    pty.Send(sent);
    std::string text;
    EXPECT_EQ(port.ReadText(text, 16), 8);
    EXPECT_EQ(text, sent);
}

} // namespace

TEST(TransferRefusalTest, AWriteOnAStillPendingRecordIsRefusedAndNotToldAsStarted)
{
    PtyPair pty;
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    serialdev::LineInput input;
    struct Activity : serialdev::TransferActivity {
        void InputTaken(int, bool) override {}
        void WriteStarted() override { ++started; }
        int started = 0;
    } activity;
    int& started = activity.started;
    {
        serialdev::Transfers transfers(input, activity);
        transfers.SetFd(fd);
        serialdev::Timeouts waitLong;
        waitLong.ReadInterval = 0;
        waitLong.ReadTotalConstant = 10000;
        serialdev::Transfer record;
        char buffer[4];
        std::int32_t immediate = -1;
        ASSERT_EQ(transfers.StartRead(record, waitLong, buffer, 4, immediate), 0);
        ASSERT_FALSE(record.Completed()) << "the read waits for bytes that do not come";

        // The record's buffer is in use: a write on it is refused, and the
        // event wait must not be told to watch for a drain of nothing.
        EXPECT_EQ(transfers.StartWrite(record, waitLong, "abc", 3, immediate), EBUSY);
        EXPECT_EQ(started, 0);

        transfers.AbortPending();
        std::int32_t transferred = -1;
        EXPECT_EQ(transfers.Wait(record, transferred), ECANCELED);

        serialdev::Transfer write;
        EXPECT_EQ(transfers.StartWrite(write, waitLong, "abc", 3, immediate), 0);
        EXPECT_EQ(immediate, 3);
        EXPECT_EQ(started, 1);
        EXPECT_EQ(pty.Receive(3), "abc");
        transfers.SetFd(-1);
    }
    ::close(fd);
}
