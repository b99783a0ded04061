// UTF-8 checks and line-end conversion for catalogue texts.
#include "i18n/Utf8.h"

#include <algorithm>
#include <cstddef>

bool IsWellFormedUtf8(std::string_view bytes) noexcept
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0)
                low = 0xA0; // overlong below U+0800
            else if (b == 0xED)
                high = 0x9F; // surrogates U+D800..U+DFFF
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0)
                low = 0x90; // overlong below U+10000
            else if (b == 0xF4)
                high = 0x8F; // above U+10FFFF
        } else {
            return false; // continuation byte, C0/C1 or F5..FF as a lead
        }
        if (n - i < length)
            return false;
        if (p[i + 1] < low || p[i + 1] > high)
            return false;
        for (std::size_t k = 2; k < length; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        }
        i += length;
    }
    return true;
}

std::string RemoveCarriageReturns(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(result),
                 [](char c) { return c != '\r'; });
    return result;
}

std::string InsertCarriageReturns(std::string_view text)
{
    if (text.find('\n') == std::string_view::npos)
        return std::string(text);
    std::string result;
    result.reserve(text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    char previous = '\0';
    for (const char c : text) {
        if (c == '\n' && previous != '\r')
            result.push_back('\r');
        result.push_back(c);
        previous = c;
    }
    return result;
}
