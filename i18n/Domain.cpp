#include "i18n/Domain.h"

#include "i18n/AssemblyAnalyzer.h"
#include "i18n/CatalogueSearch.h"

#include "framework/Exception.h"

#include <cstring>
#include <optional>

namespace {

constexpr std::uint32_t MagicLittleEndian = 0x950412DE;
constexpr std::uint32_t MagicBigEndian = 0xDE120495;
constexpr std::uint64_t HeaderSize = 20; // magic, revision, count, two table positions

std::uint32_t ByteSwap(std::uint32_t v) noexcept
{
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

std::uint32_t LittleEndian32(const unsigned char* p) noexcept
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
        | (std::uint32_t(p[3]) << 24);
}

int CompareBytes(std::string_view key, std::string_view entry) noexcept
{
    const std::size_t n = key.size() < entry.size() ? key.size() : entry.size();
    const int order = n == 0 ? 0 : std::memcmp(key.data(), entry.data(), n);
    if (order != 0)
        return order;
    if (key.size() == entry.size())
        return 0;
    return key.size() < entry.size() ? -1 : 1;
}

} // namespace

std::string WithTrailingSeparator(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    return folder;
}

TDomain::TDomain(std::string domainName, std::string catalogueFolder, std::string catalogueLanguage,
                 const TAssemblyAnalyzer* embeddedCatalogues)
    : domainName_(std::move(domainName)),
      catalogueFolder_(WithTrailingSeparator(std::move(catalogueFolder))),
      catalogueLanguage_(std::move(catalogueLanguage)),
      embeddedCatalogues_(embeddedCatalogues)
{
}

TDomain::~TDomain()
{
    CloseCatalogue();
}

void TDomain::SetCatalogueFolder(std::string folder)
{
    std::lock_guard lock(catalogueLock_);
    CloseLocked();
    openPending_.store(true, std::memory_order_release);
    catalogueFolder_ = WithTrailingSeparator(std::move(folder));
}

void TDomain::SetCatalogueLanguage(std::string language)
{
    std::lock_guard lock(catalogueLock_);
    CloseLocked();
    openPending_.store(true, std::memory_order_release);
    catalogueLanguage_ = std::move(language);
}

void TDomain::CloseCatalogue() noexcept
{
    std::lock_guard lock(catalogueLock_);
    CloseLocked();
}

void TDomain::CloseLocked() noexcept
{
    opened_.store(false, std::memory_order_release);
    file_.Close();
    catalogueBase_ = nullptr;
    entryCount_ = sourceTable_ = translationsTable_ = 0;
}

std::uint32_t TDomain::Word(std::uint64_t position) const noexcept
{
    const std::uint32_t v = LittleEndian32(catalogueBase_ + position);
    return swapped_ ? ByteSwap(v) : v;
}

std::string_view TDomain::Text(std::uint32_t table, std::uint32_t index) const noexcept
{
    const std::uint64_t entry = std::uint64_t(table) + 8 * std::uint64_t(index);
    return {reinterpret_cast<const char*>(catalogueBase_ + Word(entry + 4)), Word(entry)};
}

bool TDomain::TablesLieInside(std::uint64_t catalogueSize) const noexcept
{
    // Checked once at opening, so that the search itself never needs to
    // and no entry can make it read past the mapped file.
    const std::uint64_t tableBytes = 8 * std::uint64_t(entryCount_);
    if (std::uint64_t(sourceTable_) + tableBytes > catalogueSize
        || std::uint64_t(translationsTable_) + tableBytes > catalogueSize)
        return false;
    for (const std::uint32_t table : {sourceTable_, translationsTable_}) {
        for (std::uint32_t i = 0; i < entryCount_; ++i) {
            const std::uint64_t entry = std::uint64_t(table) + 8 * std::uint64_t(i);
            if (std::uint64_t(Word(entry)) + Word(entry + 4) > catalogueSize)
                return false;
        }
    }
    return true;
}

void TDomain::OpenCatalogue()
{
    std::lock_guard lock(catalogueLock_);
    if (Opened() || !OpenPending())
        return;

    const std::string suffix = "/LC_MESSAGES/" + domainName_ + ".mo";
    std::string path = catalogueFolder_ + catalogueLanguage_ + suffix;
    const auto present = [this](const std::string& candidate) {
        return (embeddedCatalogues_ != nullptr && embeddedCatalogues_->IsEmbedded(candidate))
            || IsExistingFile(candidate);
    };
    if (!present(path)) {
        path = catalogueFolder_ + catalogueLanguage_.substr(0, 2) + suffix;
        if (!present(path)) {
            openPending_.store(false, std::memory_order_release);
            return;
        }
    }

    // An embedded catalogue wins over a file of the same path.
    std::optional<TAssemblyFileInfo> embedded;
    if (embeddedCatalogues_ != nullptr)
        embedded = embeddedCatalogues_->Locate(path);
    const std::string filePath = embedded ? embeddedCatalogues_->ExecutablePath() : path;

    file_.Open(filePath); // raises; the domain stays pending

    const auto invalid = [&] {
        CloseLocked();
        openPending_.store(false, std::memory_order_release);
        return Exception("This file is not a valid GNU gettext mo file: " + filePath);
    };

    const std::int64_t offset = embedded ? embedded->Offset : 0;
    if (offset < 0 || static_cast<std::uint64_t>(offset) > file_.Size())
        throw invalid();
    catalogueOffset_ = static_cast<std::uint64_t>(offset);
    const std::uint64_t catalogueSize = file_.Size() - catalogueOffset_;
    if (catalogueSize < HeaderSize)
        throw invalid();
    catalogueBase_ = file_.Data() + catalogueOffset_;
    swapped_ = false;

    const std::uint32_t magic = LittleEndian32(catalogueBase_);
    if (magic != MagicLittleEndian && magic != MagicBigEndian)
        throw invalid();
    swapped_ = magic == MagicBigEndian;
    entryCount_ = Word(8);
    sourceTable_ = Word(12);
    translationsTable_ = Word(16);
    if (!TablesLieInside(catalogueSize))
        throw invalid();
    opened_.store(true, std::memory_order_release);
}

std::string_view TDomain::FindKey(std::string_view key)
{
    if (!Opened() && OpenPending())
        OpenCatalogue();
    if (!Opened())
        return key;
    const auto found = SearchSortedCatalogue(entryCount_, [&](std::uint32_t i) {
        return CompareBytes(key, Text(sourceTable_, i));
    });
    if (!found)
        return key;
    return Text(translationsTable_, *found);
}
