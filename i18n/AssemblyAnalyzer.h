// Catalogue files carried inside the executable.
//
// The executable holds a 44-byte marker: a fixed 36-character identifier
// followed by the little-endian 64-bit position of the first entry of a
// directory appended to the file (0: no directory). Each entry is
//   next entry position (u64 LE; 0 ends the directory, with nothing after it)
//   Offset of the embedded file (i64 LE), Size of it (i64 LE)
//   name: the file's path relative to the executable's folder, up to `next`
// The embedding tool in tools/ writes this; the engine only reads it.
#pragma once

#include "i18n/AsciiCase.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::size_t EmbeddedCatalogueMarkerSize = 44;
inline constexpr std::size_t EmbeddedCatalogueMarkerIdSize = 36;

// Patched in the executable file by the embedding tool; all-zero position
// in a freshly built program. Volatile so that the compiler reads what the
// file holds instead of the zeros it was built with.
extern const volatile unsigned char EmbeddedCatalogueMarker[EmbeddedCatalogueMarkerSize];

// The position held in the marker's last 8 bytes.
std::uint64_t EmbeddedDirectoryPosition() noexcept;

struct TAssemblyFileInfo {
    std::int64_t Offset = 0; // first byte of the embedded file within the executable
    std::int64_t Size = 0;   // its length; recorded, not used by the lookup
};

class TAssemblyAnalyzer {
public:
    using EntryMap = std::map<std::string, TAssemblyFileInfo, AsciiLessIgnoringCase>;

    // Reads the directory whose first entry lies at `firstEntry` in
    // `executablePath`. Nothing is read when `firstEntry` is 0. A directory
    // that cannot be read to its end (short read, an entry pointing outside
    // the file or backwards, a repeated name) keeps the entries read so far
    // and is not reported: a damaged directory must not stop the program.
    void Analyze(const std::string& executablePath, std::uint64_t firstEntry);

    // The executable's folder with a trailing separator; empty while the
    // directory is empty.
    const std::string& ExecutableFolder() const noexcept { return executableFolder_; }
    const std::string& ExecutablePath() const noexcept { return executablePath_; }
    const EntryMap& Entries() const noexcept { return entries_; }

    // A path below ExecutableFolder is looked up by its remainder, any
    // other path as a whole; names compare without regard to ASCII case.
    std::optional<TAssemblyFileInfo> Locate(std::string_view path) const;
    bool IsEmbedded(std::string_view path) const { return Locate(path).has_value(); }

private:
    std::string executablePath_;
    std::string executableFolder_;
    EntryMap entries_;
};

// "/a/b/prog" -> "/a/b/"; a name without folder gives "./".
std::string FolderWithSeparator(std::string_view path);
