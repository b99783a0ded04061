#include "serial/win32/PortNames.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace serialdev {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

char Lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool IsComName(std::string_view name)
{
    if (name.size() < 4 || name.size() > 6 || Lower(name[0]) != 'c' || Lower(name[1]) != 'o' ||
        Lower(name[2]) != 'm' || name[3] == '0')
        return false;
    return std::all_of(name.begin() + 3, name.end(), IsDigit);
}

std::string_view Trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string Win32DevicePath(std::string_view name)
{
    if (IsComName(name))
        return "\\\\.\\COM" + std::string(name.substr(3));
    return std::string(name);
}

std::string_view DosDeviceName(std::string_view path)
{
    if (path.size() > 4 && (path.substr(0, 4) == "\\\\.\\" || path.substr(0, 4) == "\\\\?\\"))
        return path.substr(4);
    return path;
}

bool NaturalLess(std::string_view a, std::string_view b)
{
    // The trailing digits, at most 18 of them: a longer run compares as
    // text, which keeps the number inside 64 bits.
    const auto split = [](std::string_view s) {
        std::size_t digits = s.size();
        while (digits > 0 && IsDigit(s[digits - 1]) && s.size() - digits < 18)
            --digits;
        std::int64_t number = -1;
        if (digits < s.size()) {
            number = 0;
            for (char c : s.substr(digits))
                number = number * 10 + (c - '0');
        }
        return std::make_pair(s.substr(0, digits), number);
    };
    const auto [textA, numberA] = split(a);
    const auto [textB, numberB] = split(b);
    const std::size_t common = std::min(textA.size(), textB.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (Lower(textA[i]) != Lower(textB[i]))
            return Lower(textA[i]) < Lower(textB[i]);
    }
    if (textA.size() != textB.size())
        return textA.size() < textB.size();
    if (numberA != numberB)
        return numberA < numberB;
    // Equal but for case: still a strict order, so that sorting is stable
    // from one listing to the next.
    return a < b;
}

std::vector<std::string> SplitPortList(std::string_view list)
{
    // ';' never occurs in a host name or a port number, so a network name
    // needs no joining here, unlike in the colon-separated Linux list.
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(';', start);
        if (end == std::string_view::npos)
            end = list.size();
        const std::string_view name = Trim(list.substr(start, end - start));
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.emplace_back(name);
        start = end + 1;
    }
    return names;
}

bool IsRemotePortName(std::string_view name)
{
    return name.find("://") != std::string_view::npos;
}

} // namespace serialdev
