// The port's exception and the texts of its message numbers.
#include "serial/ComError.h"

#include "i18n/gnugettext.h"

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
