// A catalogue file read into memory the engine owns. A mapping of the file
// would fault (SIGBUS) on the next lookup once the file is cut short on disk
// while the program runs, as a copy or a redirection over it does; a copy
// cannot. Failures are raised with the engine's catalogue messages, naming
// the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Memory for a catalogue and the tables made from it, taken from the system
// in whole pages and given back the moment it is freed. Taken from the
// allocator's heap instead, a freed catalogue of some megabytes may stay
// reserved behind small blocks allocated after it, and each change of
// language would add another catalogue's worth to the process.
//
// The bytes end where a page ends, and an inaccessible page follows them
// (another lies before their first page): a read past the end faults at
// once instead of reading whatever lies there.
class CatalogueMemory {
public:
    CatalogueMemory() = default;
    // Raises std::bad_alloc when the system has no memory to give.
    explicit CatalogueMemory(std::size_t bytes);
    ~CatalogueMemory();
    CatalogueMemory(CatalogueMemory&& other) noexcept;
    CatalogueMemory& operator=(CatalogueMemory&& other) noexcept;
    CatalogueMemory(const CatalogueMemory&) = delete;
    CatalogueMemory& operator=(const CatalogueMemory&) = delete;

    // Zero-filled, aligned for any type whose size divides the number of
    // bytes asked for; null when empty.
    unsigned char* Data() const noexcept { return data_; }

private:
    void Release() noexcept;

    unsigned char* data_ = nullptr;
    void* mapping_ = nullptr;
    std::size_t mappingSize_ = 0;
};

class CatalogueFile {
public:
    // Reads `path` from byte `from` to its end. Raises
    //   "Cannot open file <path>"                    when it cannot be opened,
    //   "Cannot create memory map on file <path>"    when it is no regular file
    //                                                 or its size is unknown,
    //   "Cannot map file <path> into memory. Reason: <system text>"
    //                                                 when reading it fails.
    // On failure nothing is kept. Starting past the end reads nothing.
    void Read(const std::string& path, std::uint64_t from = 0);

    const unsigned char* Data() const noexcept { return bytes_.Data(); }
    std::uint64_t Size() const noexcept { return size_; }
    // Size of the whole file when it was read.
    std::uint64_t FileSize() const noexcept { return fileSize_; }

private:
    CatalogueMemory bytes_;
    std::uint64_t size_ = 0;
    std::uint64_t fileSize_ = 0;
};

// True for a path that names an existing regular file (after symbolic
// links): a folder or a device is never taken for a catalogue.
bool IsExistingFile(const std::string& path) noexcept;
