// The port's exception and the texts of its message numbers.
#include "serial/ComError.h"

#include "i18n/gnugettext.h"

#include <array>
#include <mutex>

namespace {

constexpr std::array<const char*, 23> originalTexts = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};
// Message n is originalTexts[n - 1]; the numbers are fixed, callers and
// catalogues rely on them.
static_assert(CError_OpenFailed == 1 && CError_ReadFailed == 3 && CError_ClearComFailed == 10 &&
              CError_ConnChangeProp == 14 && CError_RegFailed == 18 && CError_RegError == 23);
static_assert(originalTexts.size() == CError_RegError);

constexpr const char* osCodeSuffix = " (win error code: %d)";

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

} // namespace

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
