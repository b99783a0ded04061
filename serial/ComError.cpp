// The port's exception and the texts of its message numbers.
#include "serial/ComError.h"

#include "i18n/Language.h"
#include "i18n/gnugettext.h"
#include "serial/ComErrorLines.h"
#include "serial/device/OsError.h"
#include "serial/net/NetName.h"

#include <array>
#include <mutex>

namespace {

constexpr std::array<const char*, 23> originalTexts = {
    MarkForTranslation("Unable to open com port"),
    MarkForTranslation("WriteFile function failed"),
    MarkForTranslation("ReadFile function failed"),
    MarkForTranslation("Invalid Async parameter"),
    MarkForTranslation("PurgeComm function failed"),
    MarkForTranslation("Unable to get async status"),
    MarkForTranslation("SetCommState function failed"),
    MarkForTranslation("SetCommTimeouts failed"),
    MarkForTranslation("SetupComm function failed"),
    MarkForTranslation("ClearCommError function failed"),
    MarkForTranslation("GetCommModemStatus function failed"),
    MarkForTranslation("EscapeCommFunction function failed"),
    MarkForTranslation("TransmitCommChar function failed"),
    MarkForTranslation("Cannot set property while connected"),
    MarkForTranslation("EnumPorts function failed"),
    MarkForTranslation("Failed to store settings"),
    MarkForTranslation("Failed to load settings"),
    MarkForTranslation("Link (un)registration failed"),
    MarkForTranslation("Cannot change led state if ComPort is selected"),
    MarkForTranslation("Cannot wait for event if event thread is created"),
    MarkForTranslation("WaitForEvent method failed"),
    MarkForTranslation("A component is linked to OnRxBuf event"),
    MarkForTranslation("Registry error"),
};
// Message n is originalTexts[n - 1]; the numbers are fixed, callers and
// catalogues rely on them.
static_assert(CError_OpenFailed == 1 && CError_ReadFailed == 3 && CError_ClearComFailed == 10 &&
              CError_ConnChangeProp == 14 && CError_RegFailed == 18 && CError_RegError == 23);
static_assert(originalTexts.size() == CError_RegError);

// xgettext: c-format
constexpr const char* osCodeSuffix = MarkForTranslation(" (win error code: %d)");

// The lines under a port's message. Looked up each time, as the suffix is.
constexpr const char* noNameText = MarkForTranslation("No port is chosen.");

// The lines under a failure of a port on a serial server.
// xgettext: c-format
constexpr const char* hostNotFoundText = MarkForTranslation("The host %s could not be found: is its name right?");
// xgettext: c-format
constexpr const char* connectionRefusedText = MarkForTranslation(
    "Nothing accepts connections on %s: is the serial server (ser2net) running there, and on which port does it listen?");
// xgettext: c-format
constexpr const char* timedOutText =
    MarkForTranslation("%s did not answer in time: is the host on and reachable, and the port number right?");
// xgettext: c-format
constexpr const char* serverRefusedText = MarkForTranslation("The serial server refused the port: \"%s\".");
constexpr const char* serverInUseText =
    MarkForTranslation("Another client has the port on the server: close it there, or wait until it lets go.");
constexpr const char* serverClosedText =
    MarkForTranslation("The server closed the connection at once: is its port set up for this kind of name?");
constexpr const char* unreachableText = MarkForTranslation("Is the host on and is the network up?");
// xgettext: c-format
constexpr const char* unknownOptionText = MarkForTranslation(
    "The option \"%s\" is not known: after ? come ign_set_control, poll_modem, timeout=SECONDS or logging=LEVEL.");
// xgettext: c-format
constexpr const char* badTimeoutText =
    MarkForTranslation("The time-out \"%s\" is not a number of seconds above 0 (timeout=3 waits 3 s).");
// xgettext: c-format
constexpr const char* badAddressText = MarkForTranslation(
    "\"%s\" is not HOST:PORT: network ports are named rfc2217://HOST:PORT or socket://HOST:PORT.");
// xgettext: c-format
constexpr const char* badPortText = MarkForTranslation("\"%s\" is not a port number from 1 to 65535.");

// The looked-up texts; written by the start-up step on the main thread
// before any port exists, read by whoever raises.
std::mutex tableMutex;
std::array<std::string, 23> messageTable;
bool tableFilled = false;

std::string Suffix(std::int32_t osCode)
{
    const std::string format = LookupText(osCodeSuffix);
    // The suffix may come translated; only a single %d is substituted, so a
    // catalogue cannot smuggle other conversions into the formatter.
    const std::size_t at = format.find("%d");
    if (at == std::string::npos)
        return format;
    return format.substr(0, at) + std::to_string(osCode) + format.substr(at + 2);
}

void AddNetworkLines(const EComPort& error, std::vector<std::string>& lines)
{
    const std::string& name = error.DevicePath();
    const std::string where = serialdev::net::HostAndPort(name);
    serialdev::net::NetName parsed;
    serialdev::net::NameProblem problem;
    if (serialdev::net::ParseNetName(name, parsed, problem) != 0) {
        switch (problem.kind) {
        case serialdev::net::NameProblem::UnknownOption:
            lines.push_back(FillText(LookupText(unknownOptionText), {problem.value}));
            break;
        case serialdev::net::NameProblem::BadTimeout:
            lines.push_back(FillText(LookupText(badTimeoutText), {problem.value}));
            break;
        case serialdev::net::NameProblem::BadPort:
            lines.push_back(FillText(LookupText(badPortText), {problem.value}));
            break;
        default:
            lines.push_back(FillText(LookupText(badAddressText), {where}));
            break;
        }
        return;
    }
    if (!error.PeerText().empty()) {
        lines.push_back(FillText(LookupText(serverRefusedText), {error.PeerText()}));
        if (serialdev::ClassifyOsError(error.OsCode()) == serialdev::OsErrorKind::InUse)
            lines.push_back(LookupText(serverInUseText));
        return;
    }
    switch (serialdev::ClassifyOsError(error.OsCode())) {
    case serialdev::OsErrorKind::NotThere:
    case serialdev::OsErrorKind::HostNotFound:
        // "No such file" would only mislead: the name is what is not there.
        lines.back() = name + ": " + FillText(LookupText(hostNotFoundText), {parsed.host});
        break;
    case serialdev::OsErrorKind::Refused:
        lines.push_back(FillText(LookupText(connectionRefusedText), {where}));
        break;
    case serialdev::OsErrorKind::TimedOut:
        lines.push_back(FillText(LookupText(timedOutText), {where}));
        break;
    case serialdev::OsErrorKind::ConnectionReset:
        lines.push_back(LookupText(serverClosedText));
        break;
    case serialdev::OsErrorKind::Unreachable:
        lines.push_back(LookupText(unreachableText));
        break;
    default:
        break;
    }
}

} // namespace

// `format` with each %s or %d replaced by the next of `values` in turn:
// a translated format cannot reach a formatter, and one with fewer
// directives just shows fewer values.
std::string FillText(const std::string& format, std::initializer_list<std::string> values)
{
    std::string text;
    auto next = values.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 's' || format[i + 1] == 'd') &&
            next != values.end()) {
            text += *next++;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

const char* ComErrorOriginalText(std::int32_t code)
{
    if (code < 1 || code > static_cast<std::int32_t>(originalTexts.size()))
        return "";
    return originalTexts[static_cast<std::size_t>(code - 1)];
}

std::string ComErrorText(std::int32_t code)
{
    if (code < 1 || code > static_cast<std::int32_t>(originalTexts.size()))
        return std::string();
    std::lock_guard lock(tableMutex);
    if (tableFilled)
        return messageTable[static_cast<std::size_t>(code - 1)];
    return originalTexts[static_cast<std::size_t>(code - 1)];
}

EComPort::EComPort(std::int32_t code) : Exception(ComErrorText(code)), code_(code), osCode_(-1) {}

EComPort::EComPort(std::int32_t code, std::int32_t osCode)
    : Exception(ComErrorText(code) + Suffix(osCode)), code_(code), osCode_(osCode)
{
}

EComPort::EComPort(std::int32_t code, std::int32_t osCode, std::string devicePath)
    : EComPort(code, osCode)
{
    devicePath_ = std::move(devicePath);
}

EComPort::EComPort(std::int32_t code, std::int32_t osCode, std::string devicePath, std::string peerText)
    : EComPort(code, osCode, std::move(devicePath))
{
    peerText_ = std::move(peerText);
}

std::vector<std::string> EComPort::Details() const
{
    return ComErrorDetails(*this);
}

std::string SystemErrorDescription(int code)
{
    return serialdev::SystemErrorText(code, LanguageFromEnvironment());
}

std::vector<std::string> ComErrorDetails(const EComPort& error)
{
    std::vector<std::string> lines;
    const int os = error.OsCode();
    if (os <= 0)
        return lines;
    const std::string& path = error.DevicePath();
    const std::string description = SystemErrorDescription(os);
    lines.push_back(path.empty() ? description : path + ": " + description);
    if (serialdev::net::IsNetName(path)) {
        AddNetworkLines(error, lines);
        return lines;
    }
    if (path.empty()) {
        if (error.Code() == CError_OpenFailed)
            lines.push_back(LookupText(noNameText));
        return lines;
    }
    AddDeviceLines(error, lines);
    return lines;
}

void InitComPortModule()
{
    AddResourceTextDomain("cport");
    std::lock_guard lock(tableMutex);
    for (std::size_t i = 0; i < originalTexts.size(); ++i)
        messageTable[i] = LookupText(originalTexts[i]);
    tableFilled = true;
}

void DoneComPortModule()
{
    std::lock_guard lock(tableMutex);
    tableFilled = false;
    for (std::string& text : messageTable)
        text.clear();
}
