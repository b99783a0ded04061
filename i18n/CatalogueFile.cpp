// Reading and checking a .mo catalogue held in owned memory.
#include "i18n/CatalogueFile.h"

#include "framework/Exception.h"
#include "i18n/SystemFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

CatalogueMemory::CatalogueMemory(std::size_t bytes)
{
    if (bytes == 0)
        return;
    const std::size_t page = sysfiles::PageSize();
    const std::size_t inner = (bytes + page - 1) / page * page;
    if (inner < bytes || inner > std::numeric_limits<std::size_t>::max() - 2 * page)
        throw std::bad_alloc();
    void* mapping = sysfiles::ReservePages(inner + 2 * page);
    if (mapping == nullptr)
        throw std::bad_alloc();
    auto* first = static_cast<unsigned char*>(mapping) + page;
    if (!sysfiles::CommitPages(first, inner)) {
        sysfiles::ReleasePages(mapping, inner + 2 * page);
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
        sysfiles::ReleasePages(mapping_, mappingSize_);
    data_ = nullptr;
    mapping_ = nullptr;
    mappingSize_ = 0;
}

void CatalogueFile::Read(const std::string& path, std::uint64_t from)
{
    bytes_ = CatalogueMemory();
    size_ = fileSize_ = 0;

    sysfiles::ReadFile file;
    if (file.Open(path) != 0)
        throw Exception("Cannot open file " + path);

    std::uint64_t fileSize = 0;
    if (!file.RegularSize(fileSize) || fileSize > std::numeric_limits<std::size_t>::max())
        throw Exception("Cannot create memory map on file " + path);

    const std::uint64_t wanted = from < fileSize ? fileSize - from : 0;
    const auto reasonOf = [&](int error) {
        return Exception("Cannot map file " + path + " into memory. Reason: " + sysfiles::ErrorText(error));
    };

    CatalogueMemory bytes;
    try {
        bytes = CatalogueMemory(static_cast<std::size_t>(wanted));
    } catch (const std::bad_alloc&) {
        throw Exception("Cannot map file " + path + " into memory. Reason: " + std::strerror(ENOMEM));
    }
    // A file that shrinks while it is read gives what it still holds; the
    // catalogue checks then judge that.
    std::uint64_t got = 0;
    while (got < wanted) {
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>(wanted - got, std::uint64_t(1) << 30));
        int error = 0;
        const std::int64_t n = file.ReadAt(from + got, bytes.Data() + got, chunk, error);
        if (n < 0)
            throw reasonOf(error);
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
    return sysfiles::IsExistingFile(path);
}
