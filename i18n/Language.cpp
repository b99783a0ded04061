// The interface language from the environment.
#include "i18n/Language.h"

#include "i18n/SystemFiles.h"

#include <array>
#include <cstdlib>
#include <utility>

std::string LocaleIdentifierLanguage(std::uint32_t localeIdentifier)
{
    static constexpr std::array<std::pair<std::uint32_t, const char*>, 25> table{{
        {0x0406, "da_DK"}, {0x0407, "de_DE"}, {0x0408, "gr_GR"}, {0x0409, "en_US"},
        {0x040A, "es_ES"}, {0x040B, "fi_FI"}, {0x040C, "fr_FR"}, {0x040F, "is_IS"},
        {0x0410, "it_IT"}, {0x0412, "ko_KO"}, {0x0413, "nl_NL"}, {0x0414, "no_NO"},
        {0x0415, "pl_PL"}, {0x0416, "pt_BR"}, {0x0419, "ru_RU"}, {0x041D, "sv_SE"},
        {0x0809, "en_UK"}, {0x080C, "fr_BE"}, {0x0813, "nl_BE"}, {0x0814, "nn_NO"},
        {0x0816, "pt_PT"}, {0x081D, "fi_SE"}, {0x0C0A, "es_ES"}, {0x0C0C, "fr_CA"},
        {0x1007, "de_LU"},
    }};
    for (const auto& [identifier, code] : table) {
        if (identifier == localeIdentifier)
            return code;
    }
    return "C";
}

std::string TwoLetterLanguageAndCountry(std::string_view localeName)
{
    const std::size_t end = localeName.find_first_of(".@");
    const std::string_view name = localeName.substr(0, end);
    const std::size_t underscore = name.find('_');
    if (underscore == std::string_view::npos)
        return {};
    const std::string_view language = name.substr(0, underscore);
    const std::string_view country = name.substr(underscore + 1);
    if (language.size() != 2 || country.size() != 2)
        return {};
    return std::string(language) + "_" + std::string(country);
}

std::string DetectSystemLanguage()
{
    const std::string locale = sysfiles::UserLocaleName();
    std::string code = TwoLetterLanguageAndCountry(locale);
    // A locale identifier table serves platforms that report numbers; this
    // one reports names, so a name without two-letter codes ends here.
    return code.empty() ? std::string("C") : code;
}

std::string LanguageFromEnvironment()
{
    const char* lang = std::getenv("LANG");
    std::string code = (lang != nullptr && *lang != '\0') ? std::string(lang) : DetectSystemLanguage();
    const std::size_t dot = code.find('.');
    if (dot != std::string::npos)
        code.erase(dot);
    return code;
}
