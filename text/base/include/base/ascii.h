#pragma once
// ASCII case, whatever the locale: for names, extensions, tags and options,
// never for text.

#include <algorithm>
#include <string>
#include <string_view>

namespace charlib {

inline char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ascii_lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = ascii_lower(c);
    return lower;
}

inline bool equal_ignoring_ascii_case(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
        std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

}  // namespace charlib
