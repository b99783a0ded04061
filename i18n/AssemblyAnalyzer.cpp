// Finding the catalogue directory embedded in an executable.
#include "i18n/AssemblyAnalyzer.h"

#include "i18n/SystemFiles.h"

// The identifier, then 8 zero bytes (7 written plus the literal's own).
extern const volatile unsigned char EmbeddedCatalogueMarker[EmbeddedCatalogueMarkerSize];
__attribute__((used)) const volatile unsigned char EmbeddedCatalogueMarker[EmbeddedCatalogueMarkerSize] =
    "6637DB2E-62E1-4A60-AC19-C23867046A89\0\0\0\0\0\0\0";

namespace {

std::uint64_t LittleEndian64(const unsigned char* bytes) noexcept
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

// Reads exactly `size` bytes at `position`; false on any shortfall.
bool ReadAt(const sysfiles::ReadFile& file, std::uint64_t position, void* buffer, std::size_t size) noexcept
{
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        int error = 0;
        const std::int64_t got = file.ReadAt(position, out, size, error);
        if (got <= 0)
            return false;
        out += got;
        size -= static_cast<std::size_t>(got);
        position += static_cast<std::uint64_t>(got);
    }
    return true;
}

std::string_view TrimControlAndSpace(std::string_view name) noexcept
{
    while (!name.empty() && static_cast<unsigned char>(name.front()) <= ' ')
        name.remove_prefix(1);
    while (!name.empty() && static_cast<unsigned char>(name.back()) <= ' ')
        name.remove_suffix(1);
    return name;
}

} // namespace

std::uint64_t EmbeddedDirectoryPosition() noexcept
{
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = EmbeddedCatalogueMarker[EmbeddedCatalogueMarkerIdSize + static_cast<std::size_t>(i)];
    return LittleEndian64(bytes);
}

std::string FolderWithSeparator(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return "./";
    return std::string(path.substr(0, slash + 1));
}

void TAssemblyAnalyzer::Analyze(const std::string& executablePath, std::uint64_t firstEntry)
{
    executablePath_ = executablePath;
    if (firstEntry == 0)
        return;
    executableFolder_ = FolderWithSeparator(executablePath);

    sysfiles::ReadFile fd;
    std::uint64_t fileSize = 0;
    if (fd.Open(executablePath) != 0 || !fd.RegularSize(fileSize))
        return;

    std::uint64_t position = firstEntry;
    for (;;) {
        unsigned char head[24];
        if (!ReadAt(fd, position, head, 8))
            break;
        const std::uint64_t next = LittleEndian64(head);
        if (next == 0)
            break;
        // Each entry must lie wholly after the one before and inside the
        // file: this bounds the name's length and rules out cycles.
        if (position > fileSize || next < position + 24 || next > fileSize)
            break;
        if (!ReadAt(fd, position + 8, head + 8, 16))
            break;
        std::string name(static_cast<std::size_t>(next - position - 24), '\0');
        if (!ReadAt(fd, position + 24, name.data(), name.size()))
            break;
        TAssemblyFileInfo file;
        file.Offset = static_cast<std::int64_t>(LittleEndian64(head + 8));
        file.Size = static_cast<std::int64_t>(LittleEndian64(head + 16));
        if (!entries_.emplace(std::string(TrimControlAndSpace(name)), file).second)
            break;
        position = next;
    }
}

std::optional<TAssemblyFileInfo> TAssemblyAnalyzer::Locate(std::string_view path) const
{
    if (entries_.empty())
        return std::nullopt;
    std::string_view name = path;
    if (!executableFolder_.empty() && name.substr(0, executableFolder_.size()) == executableFolder_)
        name.remove_prefix(executableFolder_.size());
    const auto found = entries_.find(name);
    if (found == entries_.end())
        return std::nullopt;
    return found->second;
}
