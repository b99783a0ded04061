// Case-insensitive comparison of names by ASCII rules (only a-z fold), as
// used for domain names and embedded file names.
#pragma once

#include <string_view>

inline char AsciiUpper(char c) noexcept
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline bool AsciiEqualIgnoringCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    }
    return true;
}

struct AsciiLessIgnoringCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept
    {
        const std::size_t n = a.size() < b.size() ? a.size() : b.size();
        for (std::size_t i = 0; i < n; ++i) {
            const auto x = static_cast<unsigned char>(AsciiUpper(a[i]));
            const auto y = static_cast<unsigned char>(AsciiUpper(b[i]));
            if (x != y)
                return x < y;
        }
        return a.size() < b.size();
    }
};
