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

void TGnuGettextInstance::ChooseLanguage(std::string languageCode)
{
    if (languageCode.empty())
        languageCode = LanguageFromEnvironment();
    activeLanguage_ = languageCode;
    for (const auto& domain : domainTable_)
        domain->SetCatalogueLanguage(activeLanguage_);
}

void TGnuGettextInstance::BindDomainFolder(const std::string& domainName, std::string folder)
{
    Domain(domainName).SetCatalogueFolder(std::move(folder));
}

void TGnuGettextInstance::SetActiveDomain(std::string domainName)
{
    activeDomain_ = std::move(domainName);
}

TDomain& TGnuGettextInstance::Domain(const std::string& domainName)
{
    for (const auto& domain : domainTable_) {
        if (AsciiEqualIgnoringCase(domain->DomainName(), domainName))
            return *domain;
    }
    domainTable_.push_back(
        std::make_unique<TDomain>(domainName, localeFolder_, activeLanguage_, embeddedCatalogues_));
    return *domainTable_.back();
}

std::string TGnuGettextInstance::LookupTextInDomain(const std::string& domainName, std::string text)
{
    TDomain& domain = Domain(domainName);
    // The key is copied only when it holds a CR to drop.
    std::string withoutCarriageReturns;
    std::string_view key = text;
    if (text.find('\r') != std::string::npos) {
        withoutCarriageReturns = RemoveCarriageReturns(text);
        key = withoutCarriageReturns;
    }
    std::string result = InsertCarriageReturns(domain.FindKey(key));
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
