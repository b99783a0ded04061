// A whole file mapped read-only (POSIX). Failures are raised with the
// engine's catalogue messages, naming the file.
#pragma once

#include <cstdint>
#include <string>

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Opens `path` for reading and maps all of it. Raises
    //   "Cannot open file <path>"                    when it cannot be opened,
    //   "Cannot create memory map on file <path>"    when it is no regular file
    //                                                 or its size is unknown,
    //   "Cannot map file <path> into memory. Reason: <system text>".
    // On failure nothing stays open. An empty file opens with no view.
    void Open(const std::string& path);
    void Close() noexcept;

    bool IsOpen() const noexcept { return fd_ >= 0; }
    const unsigned char* Data() const noexcept { return view_; }
    std::uint64_t Size() const noexcept { return size_; }

private:
    int fd_ = -1;
    const unsigned char* view_ = nullptr;
    std::uint64_t size_ = 0;
};

// True for a path that names an existing regular file (after symbolic
// links): a folder or a device is never taken for a catalogue.
bool IsExistingFile(const std::string& path) noexcept;
