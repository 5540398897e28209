#pragma once

#include <string>
#include <string_view>

namespace charlib {

// Text made safe inside XML or HTML, in an attribute's quotes or between tags.
inline std::string xml_escaped(std::string_view text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

}  // namespace charlib
