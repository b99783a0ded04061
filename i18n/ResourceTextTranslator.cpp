#include "i18n/ResourceTextTranslator.h"

#include "i18n/GnuGettextQt.h"

#include "framework/ErrorDisplay.h"

#include <QCoreApplication>

namespace {

// The error display itself loads Qt texts (its OK button); while it is
// showing a lookup error, those lookups must not report again.
thread_local bool reportingLookupError = false;

ResourceTextTranslator* installedTranslator = nullptr;

} // namespace

QString ResourceTextTranslator::translate(const char* /*context*/, const char* sourceText,
                                          const char* /*disambiguation*/, int /*n*/) const
{
    if (sourceText == nullptr || reportingLookupError)
        return {};
    const std::string text(sourceText);
    try {
        const std::string result = TranslateResourceText(text);
        if (result == text)
            return {};
        return QString::fromUtf8(result.data(), static_cast<qsizetype>(result.size()));
    } catch (...) {
        reportingLookupError = true;
        ShowException(std::current_exception());
        reportingLookupError = false;
        return {};
    }
}

void GnuGettextStartup()
{
    StartCatalogueEngine(RunningExecutablePath());
    ResetComponentTranslation();
    if (installedTranslator == nullptr && QCoreApplication::instance() != nullptr) {
        installedTranslator = new ResourceTextTranslator(QCoreApplication::instance());
        QCoreApplication::installTranslator(installedTranslator);
    }
}

void GnuGettextShutdown()
{
    DropComponentTranslation();
    StopCatalogueEngine();
    if (installedTranslator != nullptr) {
        QCoreApplication::removeTranslator(installedTranslator);
        delete installedTranslator;
        installedTranslator = nullptr;
    }
}
