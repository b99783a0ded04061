// A catalogue file read into memory the engine owns. A mapping of the file
// would fault (SIGBUS) on the next lookup once the file is cut short on disk
// while the program runs, as a copy or a redirection over it does; a copy
// cannot. Failures are raised with the engine's catalogue messages, naming
// the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

    const unsigned char* Data() const noexcept { return bytes_.get(); }
    std::uint64_t Size() const noexcept { return size_; }
    // Size of the whole file when it was read.
    std::uint64_t FileSize() const noexcept { return fileSize_; }

private:
    std::unique_ptr<unsigned char[]> bytes_;
    std::uint64_t size_ = 0;
    std::uint64_t fileSize_ = 0;
};

// True for a path that names an existing regular file (after symbolic
// links): a folder or a device is never taken for a catalogue.
bool IsExistingFile(const std::string& path) noexcept;
