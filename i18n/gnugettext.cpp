// The engine's free functions over the running translator.
#include "i18n/gnugettext.h"

#include "i18n/SystemFiles.h"

#include <memory>
#include <mutex>
#include <shared_mutex>

namespace {

// Process-wide state of the engine. All of it is set up and torn down on
// the main thread by the start-up and shutdown steps.
std::string executablePath;
std::unique_ptr<TAssemblyAnalyzer> embeddedCatalogues;
std::vector<std::string> resourceTextDomains;
std::unique_ptr<std::shared_mutex> resourceTextLock;
std::unique_ptr<TGnuGettextInstance> defaultTranslator;

} // namespace

std::string RunningExecutablePath()
{
    return sysfiles::RunningExecutablePath();
}

void StartCatalogueEngine(const std::string& path)
{
    StopCatalogueEngine();
    executablePath = path;
    embeddedCatalogues = std::make_unique<TAssemblyAnalyzer>();
    embeddedCatalogues->Analyze(executablePath, EmbeddedDirectoryPosition());
    resourceTextDomains = {"default"};
    resourceTextLock = std::make_unique<std::shared_mutex>();
    defaultTranslator = std::make_unique<TGnuGettextInstance>(executablePath, embeddedCatalogues.get());
}

void StopCatalogueEngine() noexcept
{
    defaultTranslator.reset();
    resourceTextLock.reset();
    resourceTextDomains.clear();
    embeddedCatalogues.reset();
    executablePath.clear();
}

std::string LookupText(std::string text)
{
    if (!defaultTranslator)
        return text;
    return defaultTranslator->LookupText(std::move(text));
}

std::string LookupTextInDomain(const std::string& domainName, std::string text)
{
    if (!defaultTranslator)
        return text;
    return defaultTranslator->LookupTextInDomain(domainName, std::move(text));
}

std::string TranslateResourceText(std::string text)
{
    if (!resourceTextLock || !defaultTranslator)
        return text;
    std::shared_lock lock(*resourceTextLock);
    std::string result;
    for (const std::string& domain : resourceTextDomains) {
        result = defaultTranslator->LookupTextInDomain(domain, text);
        if (result != text)
            break;
    }
    return result;
}

void AddResourceTextDomain(const std::string& domainName)
{
    if (!resourceTextLock)
        return;
    std::unique_lock lock(*resourceTextLock);
    resourceTextDomains.push_back(domainName);
}

void ChooseLanguage(std::string languageCode)
{
    if (defaultTranslator)
        defaultTranslator->ChooseLanguage(std::move(languageCode));
}

void BindDomainFolder(const std::string& domainName, std::string folder)
{
    if (defaultTranslator)
        defaultTranslator->BindDomainFolder(domainName, std::move(folder));
}

void SetActiveDomain(std::string domainName)
{
    if (defaultTranslator)
        defaultTranslator->SetActiveDomain(std::move(domainName));
}

TGnuGettextInstance* DefaultTranslator() noexcept
{
    return defaultTranslator.get();
}

std::string ExecutablePath()
{
    return executablePath;
}

std::vector<std::string> ResourceTextDomains()
{
    if (!resourceTextLock)
        return {};
    std::shared_lock lock(*resourceTextLock);
    return resourceTextDomains;
}

const TAssemblyAnalyzer* EmbeddedCatalogues() noexcept
{
    return embeddedCatalogues.get();
}
