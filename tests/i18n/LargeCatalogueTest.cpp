// A large catalogue nobody here wrote (Debian's iso-codes), read by the
// engine and by Python's gettext module: every key must agree.
#include "CatalogueFiles.h"

#include "i18n/gnugettext.h"
#include "tests/support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace i18ntest {
namespace {

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

std::string WithCarriageReturns(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

TEST(I18nLargeCatalogueTest, EveryKeyAgreesWithPythonsGettext)
{
    const std::filesystem::path mo = LARGE_CATALOGUE;
    ASSERT_TRUE(std::filesystem::exists(mo)) << mo << " is missing: script/bootstrap installs iso-codes";
    const CommandResult reference =
        RunCommand(std::string(PYTHON3_PROGRAM) + " " + ShellQuoted(MO_REFERENCE_SCRIPT) + " " + ShellQuoted(mo.string()));
    ASSERT_EQ(reference.status, 0) << reference.output;

    // <folder>/<language>/LC_MESSAGES/<domain>.mo
    const std::string domain = mo.stem().string();
    const std::string language = mo.parent_path().parent_path().filename().string();
    const std::string folder = mo.parent_path().parent_path().parent_path().string();
    ScopedEnvironment lang("LANG", "C");
    StartCatalogueEngine("/nonexistent/panel");
    ChooseLanguage(language);
    BindDomainFolder(domain, folder);

    std::istringstream lines(reference.output);
    std::string line;
    std::size_t compared = 0, translated = 0, nonAscii = 0;
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << line;
        const std::string key = FromHex(line.substr(0, space)); // the header's key is empty
        const std::string expected = WithCarriageReturns(FromHex(line.substr(space + 1)));
        ASSERT_EQ(LookupTextInDomain(domain, key), expected) << "key " << key;
        ++compared;
        translated += expected != key;
        nonAscii += std::any_of(expected.begin(), expected.end(), [](char c) { return (c & 0x80) != 0; });
        // Keys that are not in the catalogue come back as they are.
        const std::string longer = key + "\x01";
        ASSERT_EQ(LookupTextInDomain(domain, longer), longer);
        if (!key.empty() && (key.back() & 0x80) == 0) {
            const std::string shorter = key.substr(0, key.size() - 1) + "\x7F";
            const std::string found = LookupTextInDomain(domain, shorter);
            ASSERT_EQ(found, shorter) << "key " << shorter;
        }
    }
    StopCatalogueEngine();
    // Make sure the comparison covered a real, large, non-ASCII catalogue.
    EXPECT_GT(compared, 1000u);
    EXPECT_GT(translated, compared / 4); // many language names read alike in German
    EXPECT_GT(nonAscii, 10u);
}

} // namespace
} // namespace i18ntest
