// The two byte-level pieces under every lookup: the table search with its
// comparison bound, and the UTF-8 check that decides could-not-translate.
#include "i18n/CatalogueSearch.h"
#include "i18n/Utf8.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(I18nCatalogueSearchTest, FindsEveryEntryWithinTheComparisonBound)
{
    for (std::uint32_t n = 0; n <= 1100; ++n) {
        // Entries 2, 4, 6, ...: the odd keys fall between them or outside.
        const auto bound = n == 0 ? 0u : static_cast<unsigned>(std::floor(std::log2(n))) + 1;
        for (std::uint32_t key = 1; key <= 2 * n + 3; ++key) {
            unsigned comparisons = 0;
            const auto found = SearchSortedCatalogue(n, [&](std::uint32_t i) {
                ++comparisons;
                EXPECT_LT(i, n);
                const std::uint32_t entry = 2 * (i + 1);
                return key < entry ? -1 : (key > entry ? 1 : 0);
            });
            ASSERT_LE(comparisons, bound) << "n=" << n << " key=" << key;
            if (key % 2 == 0 && key <= 2 * n) {
                ASSERT_TRUE(found.has_value()) << "n=" << n << " key=" << key;
                ASSERT_EQ(*found, key / 2 - 1);
            } else {
                ASSERT_FALSE(found.has_value()) << "n=" << n << " key=" << key;
            }
        }
    }
}

TEST(I18nCatalogueSearchTest, LargestTableStaysInRange)
{
    // Near the top of the 32-bit range the steps must neither wrap nor leave the table.
    const std::uint32_t n = 0xFFFFFFFFu;
    for (const std::uint32_t target : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, n - 2, n - 1}) {
        unsigned comparisons = 0;
        const auto found = SearchSortedCatalogue(n, [&](std::uint32_t i) {
            ++comparisons;
            EXPECT_LT(i, n);
            return target < i ? -1 : (target > i ? 1 : 0);
        });
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(*found, target);
        EXPECT_LE(comparisons, 32u);
    }
}

TEST(I18nUtf8Test, WellFormedMeansShortestFormScalarValues)
{
    const std::vector<std::string> good = {
        "", "plain ASCII \x7F", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
        "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", std::string("nul\0inside", 10),
    };
    const std::vector<std::string> bad = {
        "\x80",             // continuation without lead
        "\xC0\xAF",         // overlong "/"
        "\xC1\xBF",         // overlong
        "\xE0\x9F\xBF",     // overlong below U+0800
        "\xED\xA0\x80",     // surrogate U+D800
        "\xED\xBF\xBF",     // surrogate U+DFFF
        "\xF0\x8F\xBF\xBF", // overlong below U+10000
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xF5\x80\x80\x80", "\xFF", "\xFE",
        "\xC3",             // cut short
        "ok\xE2\x82",       // cut short at the end
        "\xE2\x28\xA1",     // bad second byte
        "\xE2\x82\x28",     // bad third byte
        "\xF0\x90\x80\x28", // bad fourth byte
        "Latin-1 \xF6",
    };
    for (const std::string& text : good)
        EXPECT_TRUE(IsWellFormedUtf8(text)) << text;
    for (const std::string& text : bad)
        EXPECT_FALSE(IsWellFormedUtf8(text)) << text;
}

} // namespace
