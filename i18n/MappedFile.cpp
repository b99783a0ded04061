#include "i18n/MappedFile.h"

#include "framework/Exception.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

MappedFile::~MappedFile()
{
    Close();
}

void MappedFile::Open(const std::string& path)
{
    Close();
    // O_NONBLOCK: a FIFO put where a catalogue is expected must not block
    // the program on its open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw Exception("Cannot open file " + path);

    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0
        || static_cast<std::uint64_t>(info.st_size) > std::numeric_limits<std::size_t>::max()) {
        ::close(fd);
        throw Exception("Cannot create memory map on file " + path);
    }

    const auto size = static_cast<std::uint64_t>(info.st_size);
    void* view = nullptr;
    if (size > 0) {
        view = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (view == MAP_FAILED) {
            const int error = errno;
            ::close(fd);
            throw Exception("Cannot map file " + path + " into memory. Reason: " + std::strerror(error));
        }
    }
    fd_ = fd;
    view_ = static_cast<const unsigned char*>(view);
    size_ = size;
}

void MappedFile::Close() noexcept
{
    if (view_ != nullptr)
        ::munmap(const_cast<unsigned char*>(view_), static_cast<std::size_t>(size_));
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    view_ = nullptr;
    size_ = 0;
}

bool IsExistingFile(const std::string& path) noexcept
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
