// One text domain's catalogue: found, read, searched, and freed once no lookup reads it.
#include "i18n/Domain.h"

#include "i18n/AssemblyAnalyzer.h"
#include "i18n/CatalogueSearch.h"

#include "framework/Exception.h"

#include <cstring>
#include <optional>
#include <ostream>

namespace {

std::atomic<std::uint64_t> catalogueBytesHeld{0};

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

// The first eight bytes of `text`, the first one highest, zeros past its
// end: two texts whose heads differ order as their heads do. (Equal heads
// say nothing: "ab" and "ab\0" share one.)
std::uint64_t Head(std::string_view text) noexcept
{
    std::uint64_t head = 0;
    const std::size_t n = text.size() < 8 ? text.size() : 8;
    for (std::size_t i = 0; i < 8; ++i)
        head = (head << 8) | (i < n ? static_cast<unsigned char>(text[i]) : 0u);
    return head;
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
    if (!owned_)
        return;
    current_.store(nullptr, std::memory_order_seq_cst);
    readers_.WaitForEarlierSections();
    catalogueBytesHeld.fetch_sub(owned_->file.Size());
    owned_.reset();
}

std::uint64_t TDomain::CatalogueBytesHeld() noexcept
{
    return catalogueBytesHeld.load();
}

std::ostream& operator<<(std::ostream& out, const TDomain::Translation& t)
{
    return out << t.Text();
}

bool TDomain::Swapped() const noexcept
{
    ReaderSections::Section section(readers_);
    const Catalogue* c = Current();
    return c != nullptr && c->swapped;
}

std::uint32_t TDomain::EntryCount() const noexcept
{
    ReaderSections::Section section(readers_);
    const Catalogue* c = Current();
    return c != nullptr ? c->entryCount : 0;
}

std::uint32_t TDomain::SourceTable() const noexcept
{
    ReaderSections::Section section(readers_);
    const Catalogue* c = Current();
    return c != nullptr ? c->sourceTable : 0;
}

std::uint32_t TDomain::TranslationsTable() const noexcept
{
    ReaderSections::Section section(readers_);
    const Catalogue* c = Current();
    return c != nullptr ? c->translationsTable : 0;
}

const unsigned char* TDomain::CatalogueBase() const noexcept
{
    const Catalogue* c = Current();
    return c != nullptr ? c->base : nullptr;
}

std::uint64_t TDomain::CatalogueOffset() const noexcept
{
    ReaderSections::Section section(readers_);
    const Catalogue* c = Current();
    return c != nullptr ? c->offset : 0;
}

inline std::uint32_t TDomain::Catalogue::Word(std::uint64_t position) const noexcept
{
    const std::uint32_t v = LittleEndian32(base + position);
    return swapped ? ByteSwap(v) : v;
}

inline std::string_view TDomain::Catalogue::Text(std::uint32_t table, std::uint32_t index) const noexcept
{
    const std::uint64_t entry = std::uint64_t(table) + 8 * std::uint64_t(index);
    return {reinterpret_cast<const char*>(base + Word(entry + 4)), Word(entry)};
}

bool TDomain::Catalogue::TablesLieInside(std::uint64_t catalogueSize) const noexcept
{
    // Checked once at opening, so that the search itself never needs to
    // and no entry can make it read past the catalogue's bytes.
    const std::uint64_t tableBytes = 8 * std::uint64_t(entryCount);
    if (std::uint64_t(sourceTable) + tableBytes > catalogueSize
        || std::uint64_t(translationsTable) + tableBytes > catalogueSize)
        return false;
    for (const std::uint32_t table : {sourceTable, translationsTable}) {
        for (std::uint32_t i = 0; i < entryCount; ++i) {
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

    const auto invalid = [&] {
        openPending_.store(false, std::memory_order_release);
        return Exception("This file is not a valid GNU gettext mo file: " + filePath);
    };

    const std::int64_t offset = embedded ? embedded->Offset : 0;
    auto catalogue = std::make_unique<Catalogue>();
    // Only the catalogue's own bytes: those from its start to the file's end.
    catalogue->file.Read(filePath, offset < 0 ? 0 : static_cast<std::uint64_t>(offset)); // raises; stays pending

    if (offset < 0 || static_cast<std::uint64_t>(offset) > catalogue->file.FileSize())
        throw invalid();
    catalogue->offset = static_cast<std::uint64_t>(offset);
    const std::uint64_t catalogueSize = catalogue->file.Size();
    if (catalogueSize < HeaderSize)
        throw invalid();
    catalogue->base = catalogue->file.Data();

    const std::uint32_t magic = LittleEndian32(catalogue->base);
    if (magic != MagicLittleEndian && magic != MagicBigEndian)
        throw invalid();
    catalogue->swapped = magic == MagicBigEndian;
    catalogue->entryCount = catalogue->Word(8);
    catalogue->sourceTable = catalogue->Word(12);
    catalogue->translationsTable = catalogue->Word(16);
    if (!catalogue->TablesLieInside(catalogueSize))
        throw invalid();
    catalogue->headBytes = CatalogueMemory(sizeof(std::uint64_t) * catalogue->entryCount);
    auto* heads = reinterpret_cast<std::uint64_t*>(catalogue->headBytes.Data());
    for (std::uint32_t i = 0; i < catalogue->entryCount; ++i)
        heads[i] = Head(catalogue->Text(catalogue->sourceTable, i));
    catalogue->heads = heads;
    catalogueBytesHeld.fetch_add(catalogue->file.Size());
    owned_ = std::move(catalogue);
    current_.store(owned_.get(), std::memory_order_release);
}

TDomain::Translation TDomain::FindKey(std::string_view key)
{
    for (;;) {
        {
            ReaderSections::Section section(readers_);
            const Catalogue* catalogue = Current();
            if (catalogue != nullptr) {
                const std::uint64_t keyHead = Head(key);
                const auto found = SearchSortedCatalogue(catalogue->entryCount, [&](std::uint32_t i) {
                    const std::uint64_t head = catalogue->heads[i];
                    if (keyHead != head)
                        return keyHead < head ? -1 : 1;
                    return CompareBytes(key, catalogue->Text(catalogue->sourceTable, i));
                });
                if (!found)
                    return {std::move(section), key};
                return {std::move(section), catalogue->Text(catalogue->translationsTable, *found)};
            }
            if (!OpenPending())
                return {std::move(section), key};
        }
        // Outside the section: opening takes the catalogue lock, whose
        // holder may be waiting for that section to end. Should another
        // thread close the catalogue again before the search, the next
        // round opens the new one.
        OpenCatalogue();
    }
}
