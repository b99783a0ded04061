// TDomain: the catalogue of one text domain for the active language.
//
// States: pending (OpenPending, nothing mapped; the state after creation and
// after any change of folder or language), open (Opened), absent (no
// catalogue file, or one that proved invalid). The first search in a pending
// domain moves it to open or absent.
#pragma once

#include "i18n/CatalogueFile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

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
    const unsigned char* CatalogueBase() const noexcept;
    std::uint64_t CatalogueOffset() const noexcept;

    // Both close an open catalogue and make the domain pending again.
    void SetCatalogueFolder(std::string folder);
    void SetCatalogueLanguage(std::string language);

    // Opens a pending domain's catalogue (see the class comment). Raises the
    // engine's catalogue errors; after a failure to open or read the domain
    // stays pending, after an invalid catalogue it is absent.
    void OpenCatalogue();
    void CloseCatalogue() noexcept;

    // The translation of `key` (UTF-8 bytes, compared unsigned), or `key`
    // itself when the domain has no catalogue or no such entry. Safe from
    // any thread. A returned translation stays valid as long as the domain.
    std::string_view FindKey(std::string_view key);

private:
    // A catalogue as read: its bytes and the header fields, never changed
    // once published. A closed one is kept until the domain goes, since a
    // lookup on another thread may still be reading it; closing happens
    // only when the language or a folder changes.
    struct Catalogue {
        CatalogueFile file;
        const unsigned char* base = nullptr;
        std::uint64_t offset = 0;
        bool swapped = false;
        std::uint32_t entryCount = 0;
        std::uint32_t sourceTable = 0;
        std::uint32_t translationsTable = 0;

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

    std::atomic<const Catalogue*> current_{nullptr};
    std::atomic<bool> openPending_{true};
    std::vector<std::unique_ptr<Catalogue>> catalogues_; // every one read; under catalogueLock_
    std::mutex catalogueLock_;
};

// Appends "/" unless `folder` already ends with one.
std::string WithTrailingSeparator(std::string folder);
