// Qt's own texts looked up in the catalogues, reporting a failed lookup once.
#include "i18n/ResourceTextTranslator.h"

#include "i18n/gnugettext.h"

#include "framework/ErrorDisplay.h"

namespace {

// The error display itself loads Qt texts (its OK button); while it is
// showing a lookup error, those lookups must not report again.
thread_local bool reportingLookupError = false;

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
