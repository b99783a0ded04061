// TGnuGettextInstance: the translator. It owns one TDomain per text domain
// used so far and looks texts up in them.
#pragma once

#include "i18n/Domain.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TAssemblyAnalyzer;

class TGnuGettextInstance {
public:
    // Sets itself up as the engine's start-up step requires: default domain
    // "default", LocaleFolder = folder of `executablePath` + "locale", the
    // language from the environment, "default" bound to LocaleFolder.
    // `embeddedCatalogues` may be null and must outlive the instance.
    TGnuGettextInstance(const std::string& executablePath, const TAssemblyAnalyzer* embeddedCatalogues);
    ~TGnuGettextInstance();
    TGnuGettextInstance(const TGnuGettextInstance&) = delete;
    TGnuGettextInstance& operator=(const TGnuGettextInstance&) = delete;

    const std::string& ActiveLanguage() const noexcept { return activeLanguage_; }
    const std::string& ActiveDomain() const noexcept { return activeDomain_; }
    const std::string& LocaleFolder() const noexcept { return localeFolder_; }

    // Every domain used so far, in order of creation.
    std::vector<TDomain*> DomainTable() const;

    // An empty code takes "LANG" or the system's language, cut before ".";
    // a given code is used as it is. Every domain is switched over to it.
    void ChooseLanguage(std::string languageCode);
    void BindDomainFolder(const std::string& domainName, std::string folder);
    void SetActiveDomain(std::string domainName);

    // The domain of that name (ASCII case ignored), created pending if new.
    // Safe from any thread: Qt asks for its texts wherever it needs them.
    TDomain& Domain(const std::string& domainName);

    // `text` is UTF-8. CR bytes are dropped from the key, a CR goes before
    // every bare LF of the result. Raises "Error: Could not translate ..."
    // when a non-empty text's result is not well-formed UTF-8 (or empty),
    // and the catalogue errors of TDomain::OpenCatalogue.
    std::string LookupTextInDomain(const std::string& domainName, std::string text);
    std::string LookupText(std::string text);

private:
    std::string activeLanguage_;
    std::string activeDomain_ = "default";
    std::string localeFolder_;
    // The domain table grows at its end and never shrinks while the
    // translator lives, so a lookup walks it without a lock (each link is
    // published with release order); adding a domain takes tableLock_.
    struct DomainNode {
        std::unique_ptr<TDomain> domain;
        std::atomic<DomainNode*> next{nullptr};
    };
    TDomain* FindDomain(const std::string& domainName) const noexcept;

    std::atomic<DomainNode*> firstDomain_{nullptr};
    DomainNode* lastDomain_ = nullptr;
    mutable std::mutex tableLock_;
    const TAssemblyAnalyzer* embeddedCatalogues_;
};
