// The Windows device layer's pieces that need no port: error codes and
// their texts, the driver's bits and records, the port list from a
// registry key of the test's own, and the device-change window.
#include "serial/win32/CommBits.h"
#include "serial/win32/PortList.h"
#include "serial/win32/PortMonitor.h"

#include "serial/device/OsError.h"

#include <gtest/gtest.h>

#include <dbt.h>
#include <winsock2.h>

using serialdev::ClassifyOsError;
using serialdev::OsErrorKind;

namespace {

// ---- error codes ------------------------------------------------------------------------

TEST(Win32OsError, CodesAreClassified)
{
    EXPECT_EQ(ClassifyOsError(ERROR_OPERATION_ABORTED), OsErrorKind::Cancelled);
    for (int lost : {int(ERROR_BAD_COMMAND), int(ERROR_GEN_FAILURE), int(ERROR_DEVICE_REMOVED), int(ERROR_DEVICE_NOT_CONNECTED)})
        EXPECT_TRUE(serialdev::LineGone(lost)) << lost;
    EXPECT_FALSE(serialdev::LineGone(ERROR_OPERATION_ABORTED));
    EXPECT_FALSE(serialdev::LineGone(0));
    EXPECT_EQ(ClassifyOsError(ERROR_FILE_NOT_FOUND), OsErrorKind::NotThere);
    EXPECT_EQ(ClassifyOsError(ERROR_PATH_NOT_FOUND), OsErrorKind::NotThere);
    EXPECT_EQ(ClassifyOsError(ERROR_ACCESS_DENIED), OsErrorKind::InUse);
    EXPECT_EQ(ClassifyOsError(ERROR_SHARING_VIOLATION), OsErrorKind::InUse);
    EXPECT_EQ(ClassifyOsError(ERROR_BUSY), OsErrorKind::InUse);
    EXPECT_EQ(ClassifyOsError(ERROR_INVALID_PARAMETER), OsErrorKind::InvalidArgument);
    EXPECT_EQ(ClassifyOsError(WSAHOST_NOT_FOUND), OsErrorKind::HostNotFound);
    EXPECT_EQ(ClassifyOsError(WSAECONNREFUSED), OsErrorKind::Refused);
    EXPECT_EQ(ClassifyOsError(WSAETIMEDOUT), OsErrorKind::TimedOut);
    EXPECT_EQ(ClassifyOsError(WSAECONNRESET), OsErrorKind::ConnectionReset);
    EXPECT_EQ(ClassifyOsError(WSAENETUNREACH), OsErrorKind::Unreachable);
    EXPECT_EQ(ClassifyOsError(WSAEHOSTUNREACH), OsErrorKind::Unreachable);
    EXPECT_EQ(ClassifyOsError(ERROR_INVALID_HANDLE), OsErrorKind::Other);
}

TEST(Win32OsError, EveryKindHasACodeOfThatKind)
{
    for (OsErrorKind kind : {OsErrorKind::Cancelled, OsErrorKind::LineLost, OsErrorKind::NotThere,
                             OsErrorKind::InUse, OsErrorKind::NotSerial, OsErrorKind::InvalidArgument,
                             OsErrorKind::HostNotFound, OsErrorKind::Refused, OsErrorKind::TimedOut,
                             OsErrorKind::ConnectionReset, OsErrorKind::Unreachable})
        EXPECT_EQ(ClassifyOsError(serialdev::OsErrorCode(kind)), kind) << static_cast<int>(kind);
    EXPECT_NE(serialdev::OsErrorCode(OsErrorKind::Other), 0);
}

TEST(Win32OsError, SystemTextsAreOneLineOfUtf8)
{
    const std::string english = serialdev::SystemErrorText(ERROR_ACCESS_DENIED, "C");
    EXPECT_EQ(english, "Access denied.") << english; // wine's wording
    for (const char* language : {"", "C", "de_DE", "de", "de_DE.UTF-8", "xx_YY", "fr_FR@euro"}) {
        for (int code : {int(ERROR_FILE_NOT_FOUND), int(ERROR_OPERATION_ABORTED), int(WSAECONNREFUSED)}) {
            const std::string text = serialdev::SystemErrorText(code, language);
            EXPECT_FALSE(text.empty()) << language << " " << code;
            EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
            EXPECT_NE(text.back(), ' ') << text;
        }
    }
    std::printf("[wine] error 2 in German: %s\n", serialdev::SystemErrorText(2, "de_DE").c_str());
    EXPECT_EQ(serialdev::SystemErrorText(0x7654321, "C"), "error 124076833");
}

// ---- the driver's bits and records ------------------------------------------------------

TEST(Win32CommBits, OnlyDefinedBitsPass)
{
    EXPECT_EQ(serialdev::CommMaskFromEvents(0xFFFFFFFF), DWORD(0x05FF));
    EXPECT_EQ(serialdev::EventsFromComm(EV_RXCHAR | EV_RING | 0x10000), serialdev::EventBit::RxChar |
                                                                         serialdev::EventBit::Ring);
    EXPECT_EQ(serialdev::ErrorFlagsFromComm(CE_FRAME | CE_BREAK | 0x20), serialdev::ErrorFlag::Frame |
                                                                          serialdev::ErrorFlag::Break);
    EXPECT_EQ(serialdev::ModemBitsFromComm(MS_CTS_ON | MS_RLSD_ON | 0x1), serialdev::ModemBit::CTS |
                                                                         serialdev::ModemBit::RLSD);
}

TEST(Win32CommBits, RecordGoesIntoTheDcbFieldForField)
{
    namespace F = serialdev::LineFlag;
    serialdev::LineSettings s;
    s.BaudRate = 56000;
    s.Flags = F::Binary | F::Parity | F::OutxCtsFlow | F::DtrHandshake | F::TxContinueOnXoff | F::InX |
              F::ErrorChar | F::RtsToggle | F::AbortOnError;
    s.XonLim = 100;
    s.XoffLim = 200;
    s.ByteSize = 7;
    s.Parity = 3;
    s.StopBits = 2;
    s.XonChar = 0x11;
    s.XoffChar = 0x13;
    s.ErrorChar = '?';
    s.EvtChar = '\n';
    DCB dcb{};
    dcb.fDummy2 = 5; // what the record does not name stays
    serialdev::FillDcb(s, dcb);
    EXPECT_EQ(dcb.fDtrControl, DWORD(DTR_CONTROL_HANDSHAKE));
    EXPECT_EQ(dcb.fRtsControl, DWORD(RTS_CONTROL_TOGGLE));
    EXPECT_TRUE(dcb.fOutxCtsFlow && dcb.fInX && !dcb.fOutX && !dcb.fOutxDsrFlow && dcb.fAbortOnError);
    EXPECT_EQ(dcb.fDummy2, DWORD(5));
    EXPECT_EQ(serialdev::LineSettingsFromDcb(dcb), s);
    EXPECT_EQ(serialdev::CheckLineSettings(s), 0);
    s.XoffChar = s.XonChar;
    EXPECT_EQ(serialdev::CheckLineSettings(s), ERROR_INVALID_PARAMETER);
}

// ---- the port list ----------------------------------------------------------------------

// A SERIALCOMM-like key of the test's own under HKEY_CURRENT_USER.
class Win32PortList : public ::testing::Test {
protected:
    static constexpr const char* key = "Software\\RVD3318Tests\\SERIALCOMM";
    void SetUp() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\RVD3318Tests"); }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\RVD3318Tests"); }
    void AddPort(const char* value, const char* name)
    {
        HKEY k = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr), 0);
        ::RegSetValueExA(k, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(name), DWORD(strlen(name) + 1));
        ::RegCloseKey(k);
    }
    serialdev::PortListSources Sources(const std::string& extra = "")
    {
        serialdev::PortListSources s;
        s.serialCommKey = key;
        s.currentUser = true;
        s.extraPorts = extra;
        s.exists = [](const std::string& name) { return name == "COM7" || name == "\\\\.\\VPORT0"; };
        s.describe = [](const std::string& name) { return name == "COM3" ? "FTDI USB Serial Port" : ""; };
        return s;
    }
    static std::vector<std::string> Names(const std::vector<serialdev::PortInfo>& ports)
    {
        std::vector<std::string> names;
        for (const auto& p : ports)
            names.push_back(p.name);
        return names;
    }
};

TEST_F(Win32PortList, MissingKeyMeansNoPorts)
{
    std::vector<serialdev::PortInfo> ports{{"old", "", ""}};
    EXPECT_EQ(serialdev::ListPorts(Sources(), ports), 0);
    EXPECT_TRUE(ports.empty());
}

TEST_F(Win32PortList, RegistryPortsInNaturalOrderThenExtras)
{
    AddPort("\\Device\\Serial9", "COM10");
    AddPort("\\Device\\Serial1", "COM2");
    AddPort("\\Device\\VCP0", "COM3");
    AddPort("\\Device\\VCP0dup", "COM3");
    std::vector<serialdev::PortInfo> ports;
    ASSERT_EQ(serialdev::ListPorts(Sources("COM9;rfc2217://lab:2001; COM7 ;;\\\\.\\VPORT0;COM2"), ports), 0);
    EXPECT_EQ(Names(ports), (std::vector<std::string>{"COM2", "COM3", "COM10", "rfc2217://lab:2001", "COM7",
                                                       "\\\\.\\VPORT0"}));
    EXPECT_EQ(ports[1].description, "FTDI USB Serial Port");
    EXPECT_EQ(ports[0].description, "");
}

TEST_F(Win32PortList, SystemListReadsAndKnowsMappedPorts)
{
    std::vector<serialdev::PortInfo> ports;
    EXPECT_EQ(serialdev::ListPorts(serialdev::SystemPortSources(), ports), 0);
    std::string shown;
    for (const auto& p : ports)
        shown += p.name + (p.description.empty() ? "" : " (" + p.description + ")") + "; ";
    std::printf("[wine] system ports: %s\n", shown.c_str());
    EXPECT_TRUE(serialdev::DeviceExists("COM1")); // wine always maps COM1
    EXPECT_FALSE(serialdev::DeviceExists("COM199"));
}

// ---- the device-change window -----------------------------------------------------------

TEST(Win32PortMonitor, PortArrivalsAndRemovalsCallBack)
{
    int calls = 0;
    serialdev::PortMonitor monitor([&calls] { ++calls; });
    ASSERT_TRUE(monitor.WatchesDevices()) << monitor.Error();
    DEV_BROADCAST_PORT_A port{};
    port.dbcp_size = sizeof port;
    port.dbcp_devicetype = DBT_DEVTYP_PORT;
    EXPECT_TRUE(monitor.Handle(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&port)));
    EXPECT_TRUE(monitor.Handle(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&port)));
    DEV_BROADCAST_HDR volume{};
    volume.dbch_size = sizeof volume;
    volume.dbch_devicetype = DBT_DEVTYP_VOLUME;
    EXPECT_FALSE(monitor.Handle(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume)));
    EXPECT_FALSE(monitor.Handle(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
    EXPECT_FALSE(monitor.Handle(WM_TIMER, 0, 0));
    EXPECT_EQ(calls, 2);

    serialdev::PortMonitor second([] {}); // a second one shares the window class
    EXPECT_TRUE(second.WatchesDevices());
}

} // namespace
