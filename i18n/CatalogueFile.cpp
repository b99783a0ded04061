// Reading and checking a .mo catalogue held in owned memory.
#include "i18n/CatalogueFile.h"

#include "framework/Exception.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

} // namespace

CatalogueMemory::CatalogueMemory(std::size_t bytes)
{
    if (bytes == 0)
        return;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t inner = (bytes + page - 1) / page * page;
    if (inner < bytes || inner > std::numeric_limits<std::size_t>::max() - 2 * page)
        throw std::bad_alloc();
    void* mapping = ::mmap(nullptr, inner + 2 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        throw std::bad_alloc();
    auto* first = static_cast<unsigned char*>(mapping) + page;
    if (::mprotect(first, inner, PROT_READ | PROT_WRITE) != 0) {
        ::munmap(mapping, inner + 2 * page);
        throw std::bad_alloc();
    }
    mapping_ = mapping;
    mappingSize_ = inner + 2 * page;
    data_ = first + (inner - bytes);
}

CatalogueMemory::~CatalogueMemory()
{
    Release();
}

CatalogueMemory::CatalogueMemory(CatalogueMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      mapping_(std::exchange(other.mapping_, nullptr)),
      mappingSize_(std::exchange(other.mappingSize_, 0))
{
}

CatalogueMemory& CatalogueMemory::operator=(CatalogueMemory&& other) noexcept
{
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        mapping_ = std::exchange(other.mapping_, nullptr);
        mappingSize_ = std::exchange(other.mappingSize_, 0);
    }
    return *this;
}

void CatalogueMemory::Release() noexcept
{
    if (mapping_ != nullptr)
        ::munmap(mapping_, mappingSize_);
    data_ = nullptr;
    mapping_ = nullptr;
    mappingSize_ = 0;
}

void CatalogueFile::Read(const std::string& path, std::uint64_t from)
{
    bytes_ = CatalogueMemory();
    size_ = fileSize_ = 0;

    // O_NONBLOCK: a FIFO put where a catalogue is expected must not block
    // the program on its open.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0)
        throw Exception("Cannot open file " + path);

    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0
        || static_cast<std::uint64_t>(info.st_size) > std::numeric_limits<std::size_t>::max())
        throw Exception("Cannot create memory map on file " + path);

    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    const std::uint64_t wanted = from < fileSize ? fileSize - from : 0;
    if (from > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        throw Exception("Cannot create memory map on file " + path);
    const auto reasonOf = [&](int error) {
        return Exception("Cannot map file " + path + " into memory. Reason: " + std::strerror(error));
    };

    CatalogueMemory bytes;
    try {
        bytes = CatalogueMemory(static_cast<std::size_t>(wanted));
    } catch (const std::bad_alloc&) {
        throw reasonOf(ENOMEM);
    }
    // A file that shrinks while it is read gives what it still holds; the
    // catalogue checks then judge that.
    std::uint64_t got = 0;
    while (got < wanted) {
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>(wanted - got, std::uint64_t(1) << 30));
        const ssize_t n = ::pread(file.Get(), bytes.Data() + got, chunk, static_cast<off_t>(from + got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw reasonOf(errno);
        }
        if (n == 0)
            break;
        got += static_cast<std::uint64_t>(n);
    }
    bytes_ = std::move(bytes);
    size_ = got;
    fileSize_ = fileSize;
}

bool IsExistingFile(const std::string& path) noexcept
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
