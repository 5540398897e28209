// Java .properties, read as java.util.Properties.load reads them.
#include "codec/utf.h"
#include "readers.h"

namespace charlib::formats {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\f';
}

// A logical line: its natural lines joined, each byte with its offset in
// the file.
struct LogicalLine {
    std::string bytes;
    std::vector<std::size_t> offsets;
};

class PropertiesReader {
public:
    explicit PropertiesReader(std::string_view text) : text_(text), lines_(text) { }

    std::vector<Entry> entries()
    {
        std::vector<Entry> read;
        while (at_ < text_.size()) {
            const LogicalLine line = next_line();
            if (line.bytes.empty()) continue;
            read_pair(line, read);
        }
        return read;
    }

private:
    // The next logical line; empty for a blank or comment line.
    LogicalLine next_line()
    {
        LogicalLine line;
        for (bool first = true;; first = false) {
            while (at_ < text_.size() && is_blank(text_[at_]))
                ++at_;
            const std::size_t end = std::min(text_.find_first_of("\r\n", at_), text_.size());
            const bool comment = first && at_ < end && (text_[at_] == '#' || text_[at_] == '!');
            std::size_t backslashes = 0;
            for (; !comment && at_ < end; ++at_) {
                backslashes = text_[at_] == '\\' ? backslashes + 1 : 0;
                line.bytes += text_[at_];
                line.offsets.push_back(at_);
            }
            at_ = end;
            if (at_ < text_.size()) at_ += text_.substr(at_).starts_with("\r\n") ? 2 : 1;
            // An odd run of backslashes at the end continues the line.
            if (backslashes % 2 == 0) return line;
            line.bytes.pop_back();
            line.offsets.pop_back();
            if (at_ >= text_.size()) return line;
        }
    }

    // The key ends at the first unescaped '=', ':' or blank; blanks and
    // one separator follow it.
    void read_pair(const LogicalLine& line, std::vector<Entry>& read) const
    {
        const std::string_view bytes = line.bytes;
        std::size_t key_end = 0;
        while (key_end < bytes.size() && bytes[key_end] != '=' && bytes[key_end] != ':' &&
            !is_blank(bytes[key_end]))
            key_end += bytes[key_end] == '\\' ? 2 : 1;
        key_end = std::min(key_end, bytes.size());
        std::size_t value_start = key_end;
        bool separated = false;
        while (value_start < bytes.size()) {
            const char c = bytes[value_start];
            if ((c == '=' || c == ':') && !separated)
                separated = true;
            else if (!is_blank(c))
                break;
            ++value_start;
        }
        std::u32string value = decoded(line, value_start, bytes.size());
        if (value.empty()) return;
        const std::size_t place = line.offsets[value_start];
        read.push_back(
            {std::move(value), to_utf8(decoded(line, 0, key_end)), lines_.line(place), lines_.column(place)});
    }

    // line.bytes[from, to) with its escapes decoded.
    std::u32string decoded(const LogicalLine& line, std::size_t from, std::size_t to) const
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(line.bytes.data());
        std::u32string units;
        for (std::size_t i = from; i < to;) {
            if (bytes[i] != '\\') {
                const Utf8Character character = decode_one(bytes + i, bytes + to);
                units += character.value;
                i += character.length;
                continue;
            }
            if (++i >= to) break;  // a lone backslash at the end is dropped
            switch (bytes[i]) {
            case 't': units += U'\t'; break;
            case 'n': units += U'\n'; break;
            case 'r': units += U'\r'; break;
            case 'f': units += U'\f'; break;
            case 'u': {
                char32_t unit = 0;
                for (int digit = 1; digit <= 4; ++digit) {
                    const int value = i + digit < to ? hex_value(static_cast<char>(bytes[i + digit])) : -1;
                    if (value < 0) {
                        const std::size_t place = line.offsets[i - 1];
                        throw Malformed(lines_.line(place), lines_.column(place),
                            ".properties 格式错误：\\u 后应有 4 位十六进制数字");
                    }
                    unit = unit << 4 | static_cast<char32_t>(value);
                }
                units += unit;
                i += 5;
                continue;
            }
            default: {  // \X is X
                const Utf8Character character = decode_one(bytes + i, bytes + to);
                units += character.value;
                i += character.length;
                continue;
            }
            }
            ++i;
        }
        return joined_surrogates(units);
    }

    std::string_view text_;
    LineIndex lines_;
    std::size_t at_ = 0;
};

}  // namespace

// An entry's place is its value's first character.
std::vector<Entry> read_properties(std::string_view text)
{
    return PropertiesReader(text).entries();
}

}  // namespace charlib::formats
