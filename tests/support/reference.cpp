#include "reference.h"

#include <cmath>

#include "text/codepage.h"

namespace reference {

std::vector<std::u16string> lines(std::string_view bytes)
{
    bytes = bytes.substr(0, bytes.find('\x1A'));
    std::vector<std::u16string> result;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t cr = bytes.find('\r', start);
        if (cr == std::string_view::npos) {
            result.push_back(charlib::decode(bytes.substr(start)));
            break;
        }
        result.push_back(charlib::decode(bytes.substr(start, cr - start)));
        start = cr + 1;
        if (start < bytes.size() && bytes[start] == '\n') ++start;
    }
    return result;
}

std::u16string extract(std::string_view bytes, std::u16string_view marker, std::int64_t offset)
{
    const std::vector<std::u16string> all = lines(bytes);
    std::u16string set;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::u16string* line = &all[i];
        const bool found = marker.empty() ? !line->empty() : line->find(marker) != std::u16string::npos;
        if (!found) continue;
        if (offset > 0) {
            i += static_cast<std::size_t>(offset);
            if (i >= all.size()) break;
            line = &all[i];
        }
        for (char16_t c : *line)
            if (set.find(c) == std::u16string::npos) set += c;
    }
    return set;
}

std::vector<std::u16string> filter(
    const std::vector<std::u16string>& lines, std::u16string_view marker, double offset)
{
    std::vector<std::u16string> selected;
    if (offset < 0) return selected;
    const double last = static_cast<double>(lines.size()) - 1;
    for (double i = 0; i <= last; ++i) {
        const std::u16string& line = lines[static_cast<std::size_t>(i)];
        if (line.empty() || line.compare(0, marker.size(), marker) != 0) continue;
        i = std::nearbyint(i + offset);
        if (i > last) break;
        selected.push_back(lines[static_cast<std::size_t>(i)]);
    }
    return selected;
}

}  // namespace reference
