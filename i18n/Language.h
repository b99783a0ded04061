// Where the interface language comes from when the caller names none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The language code a locale identifier stands for ("de_DE" for 1031), or
// "C" for an identifier not in the table. Only platforms that report a
// numeric locale identifier reach this; Linux reports locale names.
std::string LocaleIdentifierLanguage(std::uint32_t localeIdentifier);

// "ll_CC" from a locale name such as "fr_CA.UTF-8@euro", when both its
// language and its country part are exactly two characters; else empty.
std::string TwoLetterLanguageAndCountry(std::string_view localeName);

// The user's message locale as the platform reports it: LC_ALL, else
// LC_MESSAGES (the first that is set and not empty), read as "ll_CC". Gives
// "C" when that locale has no two-letter language and country codes.
std::string DetectSystemLanguage();

// The code used when the caller gives none: "LANG", else the detected
// language; either cut before its first ".".
std::string LanguageFromEnvironment();
