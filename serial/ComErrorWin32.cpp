// What Windows can tell about a COM port that failed: that another program
// holds it, or that it is not there.
#include "serial/ComErrorLines.h"

#include "i18n/gnugettext.h"

#include "framework/win32/Windows.h"

namespace {

constexpr const char* notThereText = MarkForTranslation("The device is not there: is it plugged in?");
constexpr const char* notSerialText = MarkForTranslation("It is not a serial device.");
constexpr const char* inUseText = MarkForTranslation("It is in use by another program.");
constexpr const char* closeOtherText =
    MarkForTranslation("Close the program that has the port open (a terminal, another panel), then open it again.");

} // namespace

void AddDeviceLines(const EComPort& error, std::vector<std::string>& lines)
{
    switch (error.OsCode()) {
    // A COM port opens for one program at a time; Windows refuses the
    // second with "access denied", whoever the user is.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        if (error.Code() != CError_OpenFailed)
            break; // from an open port: the device went away instead
        lines.push_back(LookupText(inUseText));
        lines.push_back(LookupText(closeOtherText));
        break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEV_NOT_EXIST:
        lines.push_back(LookupText(notThereText));
        break;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        lines.push_back(LookupText(notSerialText));
        break;
    default:
        break;
    }
}
