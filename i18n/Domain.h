// TDomain: the catalogue of one text domain for the active language.
//
// States: pending (OpenPending, nothing read; the state after creation and
// after any change of folder or language), open (Opened), absent (no
// catalogue file, or one that proved invalid). The first search in a pending
// domain moves it to open or absent.
#pragma once

#include "i18n/CatalogueFile.h"
#include "i18n/ReaderSections.h"

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class TAssemblyAnalyzer;

class TDomain {
public:
    // `embeddedCatalogues` may be null (no catalogues inside the executable);
    // it must outlive the domain.
    TDomain(std::string domainName, std::string catalogueFolder, std::string catalogueLanguage,
            const TAssemblyAnalyzer* embeddedCatalogues);
    ~TDomain();
    TDomain(const TDomain&) = delete;
    TDomain& operator=(const TDomain&) = delete;

    const std::string& DomainName() const noexcept { return domainName_; }
    const std::string& CatalogueFolder() const noexcept { return catalogueFolder_; }
    const std::string& CatalogueLanguage() const noexcept { return catalogueLanguage_; }
    bool Opened() const noexcept { return Current() != nullptr; }
    bool OpenPending() const noexcept { return openPending_.load(std::memory_order_acquire); }
    bool Swapped() const noexcept;
    std::uint32_t EntryCount() const noexcept;
    std::uint32_t SourceTable() const noexcept;
    std::uint32_t TranslationsTable() const noexcept;
    // Valid until the catalogue is closed; for the thread that changes the
    // domain's folder or language.
    const unsigned char* CatalogueBase() const noexcept;
    std::uint64_t CatalogueOffset() const noexcept;

    // Both close an open catalogue, free it as soon as no lookup on another
    // thread reads it any more (they wait for that, never long: a lookup
    // holds it for one search), and make the domain pending again.
    void SetCatalogueFolder(std::string folder);
    void SetCatalogueLanguage(std::string language);

    // Opens a pending domain's catalogue (see the class comment). Raises the
    // engine's catalogue errors; after a failure to open or read the domain
    // stays pending, after an invalid catalogue it is absent.
    void OpenCatalogue();
    void CloseCatalogue() noexcept;

    // What FindKey found. It keeps the catalogue its text lies in from being
    // freed while it lives, so hold it only as long as the text is read.
    class Translation {
    public:
        Translation(ReaderSections::Section section, std::string_view text) noexcept
            : section_(std::move(section)), text_(text)
        {
        }
        std::string_view Text() const noexcept { return text_; }
        friend bool operator==(const Translation& t, std::string_view text) noexcept { return t.text_ == text; }
        friend std::ostream& operator<<(std::ostream& out, const Translation& t);

    private:
        ReaderSections::Section section_;
        std::string_view text_;
    };

    // The translation of `key` (UTF-8 bytes, compared unsigned), or `key`
    // itself when the domain has no catalogue or no such entry. Safe from
    // any thread, also while another one changes the language.
    Translation FindKey(std::string_view key);

    // Bytes of catalogues that the domains of this process hold in memory.
    static std::uint64_t CatalogueBytesHeld() noexcept;

private:
    // A catalogue as read: its bytes and the header fields, never changed
    // once published.
    struct Catalogue {
        CatalogueFile file;
        const unsigned char* base = nullptr;
        std::uint64_t offset = 0;
        bool swapped = false;
        std::uint32_t entryCount = 0;
        std::uint32_t sourceTable = 0;
        std::uint32_t translationsTable = 0;
        // The first eight bytes of every source text, in table order, as
        // numbers that order as the texts do (zeros past a text's end). The
        // search compares these, which lie together in a few cache lines,
        // and reads a text itself only where its head equals the key's.
        CatalogueMemory headBytes;
        const std::uint64_t* heads = nullptr;

        std::uint32_t Word(std::uint64_t position) const noexcept;
        std::string_view Text(std::uint32_t table, std::uint32_t index) const noexcept;
        bool TablesLieInside(std::uint64_t catalogueSize) const noexcept;
    };

    const Catalogue* Current() const noexcept { return current_.load(std::memory_order_acquire); }
    void CloseLocked() noexcept;

    const std::string domainName_;
    std::string catalogueFolder_;
    std::string catalogueLanguage_;
    const TAssemblyAnalyzer* embeddedCatalogues_;

    // Lookups read current_ inside a section of readers_ and take no lock;
    // opening and closing take catalogueLock_, and a closed catalogue goes
    // once the lookups that may have seen it have let go. So memory holds
    // one catalogue per domain however often the language changes.
    std::atomic<const Catalogue*> current_{nullptr};
    std::unique_ptr<Catalogue> owned_; // what current_ points to; under catalogueLock_
    mutable ReaderSections readers_;
    std::atomic<bool> openPending_{true};
    std::mutex catalogueLock_;
};

// Appends "/" unless `folder` already ends with one.
std::string WithTrailingSeparator(std::string folder);
