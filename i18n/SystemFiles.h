// What the catalogue core asks of the system: files to read, pages of
// memory with guards around them, the running program's path and the
// user's locale. Plain C++, one implementation per platform folder
// (i18n/posix, i18n/win32). Paths are UTF-8 with '/' between folders on
// every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sysfiles {

// A file opened for reading. Opening never blocks (a FIFO put where a
// catalogue is expected must not hang the program).
class ReadFile {
public:
    ReadFile() = default;
    ~ReadFile();
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;

    // 0, or the system's error code.
    int Open(const std::string& path);
    bool IsOpen() const { return handle_ != Closed; }
    // Whether it is a regular file, and its size then.
    bool RegularSize(std::uint64_t& size) const;
    // Reads up to `count` bytes at `offset`: the count read (0 at the end),
    // or -1 with the system's error code in `error`.
    std::int64_t ReadAt(std::uint64_t offset, void* into, std::size_t count, int& error) const;

private:
    static constexpr std::intptr_t Closed = -1;
    std::intptr_t handle_ = Closed;
};

// Whether `path` names an existing regular file (after symbolic links).
bool IsExistingFile(const std::string& path) noexcept;

// The system's text for one of its error codes (as ReadFile gives them).
std::string ErrorText(int error);

// The size of a page of memory.
std::size_t PageSize();
// Reserves `total` bytes of address space, inaccessible; nullptr when the
// system has none.
void* ReservePages(std::size_t total);
// Makes `bytes` at `at` (within a reservation, on page boundaries)
// readable and writable. False when it cannot.
bool CommitPages(void* at, std::size_t bytes);
// Gives a whole reservation back.
void ReleasePages(void* mapping, std::size_t total);

// The path of the running program, "" when the system does not say.
std::string RunningExecutablePath();

// The user's locale as the system names it ("de_DE", "de-DE", "de_DE.UTF-8"),
// "" when it names none.
std::string UserLocaleName();

} // namespace sysfiles
