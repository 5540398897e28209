#include "reference.h"

#include <unicode/ucnv.h>

#include <cmath>

#include "codec/code_page_936.h"

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

Extracted extract(std::string_view bytes, charlib::Encoding encoding, charlib::Newline newline,
    std::u16string_view marker, std::int64_t offset)
{
    const char* names[] = {"windows-936-2000", "gb18030", "UTF-8", "UTF-16LE", "UTF-16BE"};
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(names[static_cast<int>(encoding)], &error);
    std::u16string units(bytes.size() + 1, u'\0');
    units.resize(static_cast<std::size_t>(ucnv_toUChars(converter, units.data(),
        static_cast<int32_t>(units.size()), bytes.data(), static_cast<int32_t>(bytes.size()), &error)));
    ucnv_close(converter);
    std::u32string text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t c = units[i];
        const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < units.size();  // ICU gives whole pairs
        text += pair ? 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00) : c;
    }
    if (text.starts_with(U'\uFEFF')) text.erase(0, 1);
    text = text.substr(0, text.find(U'\x1A'));
    std::vector<std::u32string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = start;
        while (end < text.size() && text[end] != U'\r' &&
            (text[end] != U'\n' || newline == charlib::Newline::Legacy))
            ++end;
        lines.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, U"\r\n") == 0 ? 2 : 1);
    }
    std::u32string wanted;
    for (std::size_t i = 0; i < marker.size(); ++i) {
        const char32_t c = marker[i];
        const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < marker.size();
        wanted += pair ? 0x10000 + ((c - 0xD800) << 10) + (marker[++i] - 0xDC00) : c;
    }
    Extracted result;
    result.lines = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!(wanted.empty() ? !lines[i].empty() : lines[i].find(wanted) != std::u32string::npos)) continue;
        if (offset > 0 && (i += static_cast<std::size_t>(offset)) >= lines.size()) break;
        ++result.selected;
        for (char32_t c : lines[i]) {
            const std::size_t at = result.tally.characters.find(c);
            if (at == std::u32string::npos) {
                result.tally.characters += c;
                result.tally.counts.push_back(1);
            } else {
                ++result.tally.counts[at];
            }
        }
    }
    return result;
}

}  // namespace reference
