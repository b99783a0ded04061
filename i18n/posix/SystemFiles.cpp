// The catalogue core's system calls on Linux.
#include "i18n/SystemFiles.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sysfiles {

ReadFile::~ReadFile()
{
    if (handle_ != Closed)
        ::close(static_cast<int>(handle_));
}

int ReadFile::Open(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    handle_ = fd;
    return 0;
}

bool ReadFile::RegularSize(std::uint64_t& size) const
{
    struct stat info {};
    if (handle_ == Closed || ::fstat(static_cast<int>(handle_), &info) != 0 || !S_ISREG(info.st_mode)
        || info.st_size < 0)
        return false;
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

std::int64_t ReadFile::ReadAt(std::uint64_t offset, void* into, std::size_t count, int& error) const
{
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        error = EINVAL;
        return -1;
    }
    for (;;) {
        const ssize_t n = ::pread(static_cast<int>(handle_), into, count, static_cast<off_t>(offset));
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

bool IsExistingFile(const std::string& path) noexcept
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string ErrorText(int error)
{
    return std::strerror(error);
}

std::size_t PageSize()
{
    return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

void* ReservePages(std::size_t total)
{
    void* mapping = ::mmap(nullptr, total, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapping == MAP_FAILED ? nullptr : mapping;
}

bool CommitPages(void* at, std::size_t bytes)
{
    return ::mprotect(at, bytes, PROT_READ | PROT_WRITE) == 0;
}

void ReleasePages(void* mapping, std::size_t total)
{
    ::munmap(mapping, total);
}

std::string RunningExecutablePath()
{
    char buffer[PATH_MAX + 1];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (length <= 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string UserLocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return {};
}

} // namespace sysfiles
