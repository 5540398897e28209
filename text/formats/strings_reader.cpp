// Apple .strings (old-style property list strings): "key" = "value"; pairs.
#include "codec/utf.h"
#include "readers.h"

namespace charlib::formats {

namespace {

bool is_unquoted(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
        c == '.' || c == '-';
}

class StringsScanner {
public:
    explicit StringsScanner(std::string_view text) : text_(text), lines_(text) { }

    void read(const EntrySink& sink)
    {
        std::string key, value;
        skip_blanks();
        while (at_ < text_.size()) {
            token(key);
            expect('=');
            const std::size_t value_start = at_;
            token(value);
            expect(';');
            if (!value.empty()) sink(value, key, lines_.line(value_start), lines_.column(value_start));
        }
    }

private:
    [[noreturn]] void fail(std::size_t offset, Code code, std::vector<Field> data = {}) const
    {
        throw malformed(code, lines_.line(offset), lines_.column(offset), std::move(data));
    }

    // White space and comments.
    void skip_blanks()
    {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                ++at_;
            } else if (text_.substr(at_).starts_with("/*")) {
                const std::size_t end = text_.find("*/", at_ + 2);
                if (end == std::string_view::npos) fail(at_, Code::StringsUnclosedComment);
                at_ = end + 2;
            } else if (text_.substr(at_).starts_with("//")) {
                at_ = std::min(text_.find_first_of("\r\n", at_), text_.size());
            } else {
                return;
            }
        }
    }

    void expect(char wanted)
    {
        skip_blanks();
        if (at_ >= text_.size() || text_[at_] != wanted)
            fail(at_, Code::StringsExpected, {{"character", char32_t(wanted)}});
        ++at_;
        skip_blanks();
    }

    // A quoted string with its escapes decoded, or an unquoted word, in UTF-8.
    void token(std::string& text)
    {
        text.clear();
        if (at_ < text_.size() && is_unquoted(text_[at_])) {
            const std::size_t start = at_;
            while (at_ < text_.size() && is_unquoted(text_[at_]))
                ++at_;
            text = text_.substr(start, at_ - start);
            return;
        }
        if (at_ >= text_.size() || text_[at_] != '"') fail(at_, Code::StringsExpectedString);
        const std::size_t open = at_++;
        SurrogateJoiner units(text);
        while (true) {
            if (at_ >= text_.size()) fail(open, Code::StringsUnclosedString);
            const char c = text_[at_];
            if (c == '"') break;
            if (c == '\\' && at_ + 1 < text_.size()) {
                units.add(escape());
                continue;
            }
            units.add(character());
        }
        ++at_;
    }

    // The escape at the backslash at_; a character or a UTF-16 unit.
    char32_t escape()
    {
        const std::size_t backslash = at_;
        const char c = text_[at_ + 1];
        at_ += 2;
        switch (c) {
        case 'n': return U'\n';
        case 't': return U'\t';
        case 'r': return U'\r';
        case 'a': return U'\a';
        case 'b': return U'\b';
        case 'f': return U'\f';
        case 'v': return U'\v';
        case 'U':
        case 'u': {
            char32_t unit = 0;
            for (int digits = 0; digits < 4; ++digits, ++at_) {
                const int digit = at_ < text_.size() ? hex_value(text_[at_]) : -1;
                if (digit < 0)
                    fail(backslash, Code::StringsBadUnicodeEscape, {{"escape", std::string{'\\', c}}});
                unit = unit << 4 | static_cast<char32_t>(digit);
            }
            return unit;
        }
        default: break;
        }
        if (c >= '0' && c <= '7') {
            // Up to three octal digits; read as ISO-8859-1.
            char32_t value = static_cast<char32_t>(c - '0');
            for (int digits = 1; digits < 3 && at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '7';
                 ++digits)
                value = value << 3 | static_cast<char32_t>(text_[at_++] - '0');
            return value;
        }
        // \" \\ \' and any other character stand for themselves.
        --at_;
        return character();
    }

    // The UTF-8 character at at_.
    char32_t character()
    {
        const auto* begin = reinterpret_cast<const unsigned char*>(text_.data());
        const Utf8Character read = decode_one(begin + at_, begin + text_.size());
        at_ += read.length;
        return read.value;
    }

    std::string_view text_;
    LineIndex lines_;
    std::size_t at_ = 0;
};

}  // namespace

// An entry's place is its value's opening quote (or first character).
void read_strings(std::string_view text, const EntrySink& sink)
{
    StringsScanner(text).read(sink);
}

}  // namespace charlib::formats
