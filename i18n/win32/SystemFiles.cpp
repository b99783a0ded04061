// The catalogue core's system calls on Windows. Paths come and go as
// UTF-8 with '/' between folders, which the wide-character calls take.
#include "i18n/SystemFiles.h"

#include "framework/win32/Windows.h"

#include <cstdlib>
#include <string>

namespace sysfiles {

namespace {

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Utf8(const wchar_t* text, int length)
{
    if (length <= 0)
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

ReadFile::~ReadFile()
{
    if (handle_ != Closed)
        ::CloseHandle(AsHandle(handle_));
}

int ReadFile::Open(const std::string& path)
{
    // Others may go on writing or even deleting the file: what was read is
    // the engine's own copy.
    HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return static_cast<int>(::GetLastError());
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return 0;
}

bool ReadFile::RegularSize(std::uint64_t& size) const
{
    if (handle_ == Closed || ::GetFileType(AsHandle(handle_)) != FILE_TYPE_DISK)
        return false;
    LARGE_INTEGER bytes{};
    if (!::GetFileSizeEx(AsHandle(handle_), &bytes) || bytes.QuadPart < 0)
        return false;
    size = static_cast<std::uint64_t>(bytes.QuadPart);
    return true;
}

std::int64_t ReadFile::ReadAt(std::uint64_t offset, void* into, std::size_t count, int& error) const
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD ask = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    DWORD got = 0;
    if (!::ReadFile(AsHandle(handle_), into, ask, &got, &at)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_HANDLE_EOF)
            return 0;
        error = static_cast<int>(code);
        return -1;
    }
    return static_cast<std::int64_t>(got);
}

bool IsExistingFile(const std::string& path) noexcept
{
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::string ErrorText(int error)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = Utf8(text, static_cast<int>(length));
    if (text)
        ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

std::size_t PageSize()
{
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return info.dwPageSize;
}

void* ReservePages(std::size_t total)
{
    return ::VirtualAlloc(nullptr, total, MEM_RESERVE, PAGE_NOACCESS);
}

bool CommitPages(void* at, std::size_t bytes)
{
    return ::VirtualAlloc(at, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void ReleasePages(void* mapping, std::size_t)
{
    ::VirtualFree(mapping, 0, MEM_RELEASE);
}

std::string RunningExecutablePath()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            std::string path = Utf8(buffer.data(), static_cast<int>(length));
            for (char& c : path)
                if (c == '\\')
                    c = '/';
            return path;
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string UserLocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return value;
    }
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const int length = ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    std::string locale = Utf8(name, length > 0 ? length - 1 : 0);
    // "de-DE" as the rest of the engine writes it.
    for (char& c : locale)
        if (c == '-')
            c = '_';
    return locale;
}

} // namespace sysfiles
