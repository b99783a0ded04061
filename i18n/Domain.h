// TDomain: the catalogue of one text domain for the active language.
//
// States: pending (OpenPending, nothing mapped; the state after creation and
// after any change of folder or language), open (Opened), absent (no
// catalogue file, or one that proved invalid). The first search in a pending
// domain moves it to open or absent.
#pragma once

#include "i18n/MappedFile.h"

#include <atomic>
#include <cstdint>
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
    bool Opened() const noexcept { return opened_.load(std::memory_order_acquire); }
    bool OpenPending() const noexcept { return openPending_.load(std::memory_order_acquire); }
    bool Swapped() const noexcept { return swapped_; }
    std::uint32_t EntryCount() const noexcept { return entryCount_; }
    std::uint32_t SourceTable() const noexcept { return sourceTable_; }
    std::uint32_t TranslationsTable() const noexcept { return translationsTable_; }
    const unsigned char* CatalogueBase() const noexcept { return catalogueBase_; }
    std::uint64_t CatalogueOffset() const noexcept { return catalogueOffset_; }

    // Both close an open catalogue and make the domain pending again.
    void SetCatalogueFolder(std::string folder);
    void SetCatalogueLanguage(std::string language);

    // Opens a pending domain's catalogue (see the class comment). Raises the
    // engine's catalogue errors; after a failure to open or map the domain
    // stays pending, after an invalid catalogue it is absent.
    void OpenCatalogue();
    void CloseCatalogue() noexcept;

    // The translation of `key` (UTF-8 bytes, compared unsigned), or `key`
    // itself when the domain has no catalogue or no such entry. A returned
    // translation points into the mapped catalogue and stays valid until the
    // catalogue is closed.
    std::string_view FindKey(std::string_view key);

private:
    void CloseLocked() noexcept;
    std::uint32_t Word(std::uint64_t position) const noexcept;
    std::string_view Text(std::uint32_t table, std::uint32_t index) const noexcept;
    bool TablesLieInside(std::uint64_t catalogueSize) const noexcept;

    const std::string domainName_;
    std::string catalogueFolder_;
    std::string catalogueLanguage_;
    const TAssemblyAnalyzer* embeddedCatalogues_;

    std::atomic<bool> opened_{false};
    std::atomic<bool> openPending_{true};
    bool swapped_ = false;
    std::uint32_t entryCount_ = 0;
    std::uint32_t sourceTable_ = 0;
    std::uint32_t translationsTable_ = 0;
    const unsigned char* catalogueBase_ = nullptr;
    std::uint64_t catalogueOffset_ = 0;
    MappedFile file_;
    std::mutex catalogueLock_;
};

// Appends "/" unless `folder` already ends with one.
std::string WithTrailingSeparator(std::string folder);
