// The search over a catalogue's sorted table of source texts.
//
// It is kept apart from the catalogue bytes so that its promise -- every entry of a
// sorted table is found with at most floor(log2 N) + 1 comparisons -- can be
// checked on its own, with a counting comparison.
#pragma once

#include <cstdint>
#include <optional>

// `compareWithEntry(i)` compares the wanted key with entry i (0-based) and
// returns <0, 0 or >0 as the key orders before, equal to or after it.
// Returns the index of the matching entry, or nothing.
template <class CompareWithEntry>
std::optional<std::uint32_t> SearchSortedCatalogue(std::uint32_t entryCount,
                                                   CompareWithEntry&& compareWithEntry)
{
    if (entryCount == 0)
        return std::nullopt;
    std::uint32_t p = 1; // 1-based position; starts at the largest power of two <= N
    while (p <= entryCount / 2)
        p *= 2;
    std::uint32_t s = p / 2;
    for (;;) {
        const int order = compareWithEntry(p - 1);
        if (order == 0)
            return p - 1;
        if (s == 0)
            return std::nullopt;
        if (order < 0)
            p = p < s + 1 ? 1 : p - s;
        else
            p = (entryCount - p < s) ? entryCount : p + s;
        s /= 2;
    }
}
