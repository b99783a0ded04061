// The translator: its domains, its language, and text lookup.
#include "i18n/GnuGettextInstance.h"

#include "i18n/AsciiCase.h"
#include "i18n/AssemblyAnalyzer.h"
#include "i18n/Language.h"
#include "i18n/Utf8.h"

#include "framework/Exception.h"

TGnuGettextInstance::TGnuGettextInstance(const std::string& executablePath,
                                         const TAssemblyAnalyzer* embeddedCatalogues)
    : localeFolder_(FolderWithSeparator(executablePath) + "locale"),
      embeddedCatalogues_(embeddedCatalogues)
{
    ChooseLanguage({});
    BindDomainFolder("default", localeFolder_);
    SetActiveDomain("default");
}

TGnuGettextInstance::~TGnuGettextInstance()
{
    DomainNode* node = firstDomain_.load(std::memory_order_acquire);
    while (node != nullptr) {
        DomainNode* next = node->next.load(std::memory_order_acquire);
        delete node;
        node = next;
    }
}

std::vector<TDomain*> TGnuGettextInstance::DomainTable() const
{
    std::vector<TDomain*> table;
    for (DomainNode* node = firstDomain_.load(std::memory_order_acquire); node != nullptr;
         node = node->next.load(std::memory_order_acquire))
        table.push_back(node->domain.get());
    return table;
}

void TGnuGettextInstance::ChooseLanguage(std::string languageCode)
{
    if (languageCode.empty())
        languageCode = LanguageFromEnvironment();
    std::lock_guard lock(tableLock_);
    activeLanguage_ = languageCode;
    for (DomainNode* node = firstDomain_.load(std::memory_order_acquire); node != nullptr;
         node = node->next.load(std::memory_order_acquire))
        node->domain->SetCatalogueLanguage(activeLanguage_);
}

void TGnuGettextInstance::BindDomainFolder(const std::string& domainName, std::string folder)
{
    Domain(domainName).SetCatalogueFolder(std::move(folder));
}

void TGnuGettextInstance::SetActiveDomain(std::string domainName)
{
    activeDomain_ = std::move(domainName);
}

TDomain* TGnuGettextInstance::FindDomain(const std::string& domainName) const noexcept
{
    for (DomainNode* node = firstDomain_.load(std::memory_order_acquire); node != nullptr;
         node = node->next.load(std::memory_order_acquire)) {
        if (AsciiEqualIgnoringCase(node->domain->DomainName(), domainName))
            return node->domain.get();
    }
    return nullptr;
}

TDomain& TGnuGettextInstance::Domain(const std::string& domainName)
{
    if (TDomain* domain = FindDomain(domainName))
        return *domain;
    std::lock_guard lock(tableLock_);
    // Another thread may have added it since the search above.
    if (TDomain* domain = FindDomain(domainName))
        return *domain;
    auto node = std::make_unique<DomainNode>();
    node->domain = std::make_unique<TDomain>(domainName, localeFolder_, activeLanguage_, embeddedCatalogues_);
    DomainNode* added = node.release();
    if (lastDomain_ == nullptr)
        firstDomain_.store(added, std::memory_order_release);
    else
        lastDomain_->next.store(added, std::memory_order_release);
    lastDomain_ = added;
    return *added->domain;
}

std::string TGnuGettextInstance::LookupTextInDomain(const std::string& domainName, std::string text)
{
    // A text of nothing but CRs has no key left to look up: it comes back
    // as it went in, and never as the catalogue's header (the empty key).
    if (!text.empty() && text.find_first_not_of('\r') == std::string::npos)
        return text;
    TDomain& domain = Domain(domainName);
    // The key is copied only when it holds a CR to drop.
    std::string withoutCarriageReturns;
    std::string_view key = text;
    if (text.find('\r') != std::string::npos) {
        withoutCarriageReturns = RemoveCarriageReturns(text);
        key = withoutCarriageReturns;
    }
    std::string result = InsertCarriageReturns(domain.FindKey(key).Text());
    if (!IsWellFormedUtf8(result))
        result.clear();
    if (!text.empty() && result.empty()) {
        throw Exception("Error: Could not translate " + text
                        + ". Probably because the mo file doesn't contain utf-8 encoded translations.");
    }
    return result;
}

std::string TGnuGettextInstance::LookupText(std::string text)
{
    return LookupTextInDomain(activeDomain_, std::move(text));
}
