// Windows error codes (GetLastError values, and Winsock's for the network
// device) as the port reads them.
#include "serial/device/OsError.h"

#include "framework/win32/Windows.h"
#include <winsock2.h>

#include <string>

namespace serialdev {

OsErrorKind ClassifyOsError(int code)
{
    switch (code) {
    // What a woken or cancelled wait or transfer ends with. Never a lost
    // line: a mask change ends the event wait with it under wine, and an
    // abort ends every pending transfer with it, on a line that is fine.
    case ERROR_OPERATION_ABORTED: return OsErrorKind::Cancelled;
    // What the I/O of an open handle gives once its adapter is pulled, as
    // the drivers in use report it: the serial class driver answers with
    // ERROR_BAD_COMMAND or ERROR_GEN_FAILURE, others with one of the
    // "no longer there" codes. The device also reports ERROR_ACCESS_DENIED
    // from an open handle as ERROR_DEVICE_NOT_CONNECTED (Win32Device.cpp).
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_NOT_READY:
    // A port that is a pipe (a virtual machine's) whose far end closed.
    case ERROR_BROKEN_PIPE: return OsErrorKind::LineLost;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return OsErrorKind::NotThere;
    // A COM port opens for one program only: access denied on opening
    // means another program holds it, not a lack of rights.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return OsErrorKind::InUse;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME: return OsErrorKind::InvalidArgument;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION: return OsErrorKind::NotSerial;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSATRY_AGAIN: return OsErrorKind::HostNotFound;
    case WSAECONNREFUSED: return OsErrorKind::Refused;
    case WSAETIMEDOUT: return OsErrorKind::TimedOut;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAESHUTDOWN: return OsErrorKind::ConnectionReset;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETDOWN: return OsErrorKind::Unreachable;
    default: return OsErrorKind::Other;
    }
}

int OsErrorCode(OsErrorKind kind)
{
    switch (kind) {
    case OsErrorKind::Cancelled: return ERROR_OPERATION_ABORTED;
    case OsErrorKind::LineLost: return ERROR_DEVICE_NOT_CONNECTED;
    case OsErrorKind::NotThere: return ERROR_FILE_NOT_FOUND;
    case OsErrorKind::AccessDenied: return ERROR_ACCESS_DENIED;
    case OsErrorKind::InUse: return ERROR_BUSY;
    case OsErrorKind::NotSerial: return ERROR_NOT_SUPPORTED;
    case OsErrorKind::InvalidArgument: return ERROR_INVALID_PARAMETER;
    case OsErrorKind::HostNotFound: return WSAHOST_NOT_FOUND;
    case OsErrorKind::Refused: return WSAECONNREFUSED;
    case OsErrorKind::TimedOut: return WSAETIMEDOUT;
    case OsErrorKind::ConnectionReset: return WSAECONNRESET;
    case OsErrorKind::Unreachable: return WSAEHOSTUNREACH;
    case OsErrorKind::Other: break;
    }
    return ERROR_GEN_FAILURE;
}

namespace {

// The language of "de_DE", "de", "pt_BR.UTF-8" ... as Windows names it
// ("de-DE"); 0 when Windows does not know it.
LANGID LanguageId(const std::string& language)
{
    std::string base = language.substr(0, language.find_first_of(".@"));
    if (base.empty() || base == "C" || base == "POSIX" || base.size() > LOCALE_NAME_MAX_LENGTH - 1)
        return 0;
    std::wstring name;
    for (char c : base)
        name.push_back(c == '_' ? L'-' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    const LCID locale = ::LocaleNameToLCID(name.c_str(), 0);
    return locale ? LANGIDFROMLCID(locale) : 0;
}

bool FormatIn(DWORD code, LANGID language, std::string& text)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0,
                                          nullptr);
    if (length == 0 || !buffer)
        return false;
    std::wstring wide(buffer, length);
    ::LocalFree(buffer);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' '))
        wide.pop_back();
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 0)
        return false;
    text.assign(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                          nullptr);
    return !text.empty();
}

} // namespace

std::string SystemErrorText(int code, const std::string& language)
{
    const DWORD value = static_cast<DWORD>(code);
    std::string text;
    // The language asked for, if Windows has its texts; then the user's
    // own; then English, which every Windows has.
    if (const LANGID wanted = LanguageId(language)) {
        if (FormatIn(value, wanted, text) ||
            FormatIn(value, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text))
            return text;
    }
    if (FormatIn(value, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text) || FormatIn(value, 0, text))
        return text;
    return "error " + std::to_string(code);
}

} // namespace serialdev
