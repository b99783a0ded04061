// The port list from the registry and the device installation database.
#include "serial/win32/PortList.h"

#include "serial/win32/PortNames.h"

#include "framework/win32/Windows.h"
#include <setupapi.h>

#include <algorithm>
#include <cstdlib>

namespace serialdev {

namespace {

// The class of serial and parallel ports, and the interface every COM port
// driver offers (winioctl.h, devguid.h): spelt out here so that no GUID
// library is needed at link time.
constexpr GUID portsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr GUID comPortInterface = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

std::string Utf8(const wchar_t* text, std::size_t length)
{
    if (length == 0)
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string result(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), result.data(), size, nullptr, nullptr);
    return result;
}

// A text property of a device, "" when it has none.
std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    wchar_t buffer[512];
    DWORD type = 0;
    DWORD size = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(buffer),
                                             sizeof buffer - sizeof(wchar_t), &size) ||
        type != REG_SZ)
        return {};
    buffer[std::min<std::size_t>(size / sizeof(wchar_t), std::size(buffer) - 1)] = L'\0';
    return Utf8(buffer, std::wcslen(buffer));
}

// The "PortName" the port's driver keeps in the device's own key.
std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    char name[256] = {};
    DWORD size = sizeof name - 1;
    DWORD type = 0;
    std::string result;
    if (::RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        name[std::min<DWORD>(size, sizeof name - 1)] = '\0';
        result = name;
    }
    ::RegCloseKey(key);
    return result;
}

// "USB Serial Port (COM3)" by "FTDI" -> "FTDI USB Serial Port": the port's
// name is shown beside it anyway, and Windows's own ports name their maker
// "(Standard port types)", which says nothing.
std::string Description(std::string friendly, const std::string& maker, const std::string& port)
{
    const std::string suffix = " (" + port + ")";
    if (friendly.size() > suffix.size() && friendly.compare(friendly.size() - suffix.size(), suffix.size(), suffix) == 0)
        friendly.resize(friendly.size() - suffix.size());
    if (maker.empty() || maker.front() == '(' || friendly.find(maker) != std::string::npos)
        return friendly;
    return friendly.empty() ? maker : maker + " " + friendly;
}

void AddDescriptions(HDEVINFO set, std::vector<PortInfo>& found)
{
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const std::string port = PortNameOf(set, device);
        if (port.empty() || std::any_of(found.begin(), found.end(), [&](const PortInfo& p) { return p.name == port; }))
            continue;
        found.push_back({port,
                         Description(DeviceProperty(set, device, SPDRP_FRIENDLYNAME),
                                     DeviceProperty(set, device, SPDRP_MFG), port),
                         ""});
    }
    ::SetupDiDestroyDeviceInfoList(set);
}

// The registry's port names, in the order the key gives them.
int RegistryPorts(const PortListSources& sources, std::vector<std::string>& names)
{
    HKEY key = nullptr;
    const LONG opened = ::RegOpenKeyExA(sources.currentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                                        sources.serialCommKey.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return 0; // no serial port was ever there
    if (opened != ERROR_SUCCESS)
        return static_cast<int>(opened);
    int error = 0;
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD valueSize = sizeof valueName;
        char data[256];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG r = ::RegEnumValueA(key, index, valueName, &valueSize, nullptr, &type,
                                       reinterpret_cast<BYTE*>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        // A value too long for a port name is no port; the others still are.
        if (r == ERROR_MORE_DATA)
            continue;
        if (r != ERROR_SUCCESS) {
            error = static_cast<int>(r);
            break;
        }
        if (type != REG_SZ)
            continue;
        data[std::min<DWORD>(dataSize, sizeof data - 1)] = '\0';
        std::string name(data);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
            name.pop_back();
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }
    ::RegCloseKey(key);
    return error;
}

} // namespace

std::vector<PortInfo> InstalledPortDescriptions()
{
    std::vector<PortInfo> found;
    AddDescriptions(::SetupDiGetClassDevsW(&portsClass, nullptr, nullptr, DIGCF_PRESENT), found);
    // Ports of other classes (a modem's, a phone's) that offer the COM
    // port interface.
    AddDescriptions(::SetupDiGetClassDevsW(&comPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
                    found);
    return found;
}

bool DeviceExists(const std::string& name)
{
    if (name.empty())
        return false;
    const std::string_view device = DosDeviceName(name);
    if (device.size() == name.size() && name.find_first_of("\\/") != std::string::npos)
        return ::GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
    char target[1024];
    return ::QueryDosDeviceA(std::string(device).c_str(), target, sizeof target) != 0;
}

PortListSources SystemPortSources()
{
    PortListSources sources;
    if (const char* extra = std::getenv("CPORT_EXTRA_PORTS"))
        sources.extraPorts = extra;
    sources.exists = DeviceExists;
    // Asked once for the whole list: the database is slow to walk.
    sources.describe = [cache = std::vector<PortInfo>(), filled = false](const std::string& name) mutable {
        if (!filled) {
            cache = InstalledPortDescriptions();
            filled = true;
        }
        const auto found = std::find_if(cache.begin(), cache.end(), [&](const PortInfo& p) {
            return ::lstrcmpiA(p.name.c_str(), name.c_str()) == 0;
        });
        return found == cache.end() ? std::string() : found->description;
    };
    return sources;
}

int ListPorts(const PortListSources& sources, std::vector<PortInfo>& ports)
{
    ports.clear();
    std::vector<std::string> names;
    const int error = RegistryPorts(sources, names);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    for (const std::string& name : names)
        ports.push_back({name, sources.describe ? sources.describe(name) : std::string(), ""});
    for (const std::string& name : SplitPortList(sources.extraPorts)) {
        if (std::any_of(ports.begin(), ports.end(), [&](const PortInfo& p) { return p.name == name; }))
            continue;
        // A port on another machine is listed as named: whether it is there
        // shows when it is opened.
        if (IsRemotePortName(name)) {
            ports.push_back({name, "", ""});
            continue;
        }
        if (sources.exists && !sources.exists(name))
            continue;
        ports.push_back({name, sources.describe ? sources.describe(std::string(DosDeviceName(name))) : std::string(), ""});
    }
    return error;
}

int ListSystemPorts(std::vector<PortInfo>& ports)
{
    return ListPorts(SystemPortSources(), ports);
}

} // namespace serialdev
