// Java .properties, read as java.util.Properties.load reads them.
#include "codec/utf.h"
#include "readers.h"

namespace charlib::formats {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\f';
}
bool is_line_end(char c)
{
    return c == '\r' || c == '\n';
}

// A logical line read in one pass: a backslash before a line end joins the
// next natural line, whose leading blanks go. Yields each byte, a backslash
// escape as its pair, with its offset in the file.
class LogicalLine {
public:
    LogicalLine(std::string_view text, std::size_t at) : text_(text), at_(at) { }

    bool ended() const { return at_ >= text_.size() || is_line_end(text_[at_]); }
    std::size_t offset() const { return at_; }
    char peek() const { return text_[at_]; }
    // The byte at offset(), and past it and any line joins after it.
    char take()
    {
        const char c = text_[at_++];
        join();
        return c;
    }
    // Past a backslash alone: what follows it is escaped, a backslash too.
    void skip_backslash() { ++at_; }
    // Past the line's end.
    std::size_t next_line()
    {
        while (!ended())
            take();
        if (at_ < text_.size()) at_ += text_.substr(at_).starts_with("\r\n") ? 2 : 1;
        return at_;
    }
    // A backslash and a line end: the line goes on after the next one's blanks.
    void join()
    {
        while (at_ + 1 < text_.size() && text_[at_] == '\\' && is_line_end(text_[at_ + 1])) {
            at_ += text_.substr(at_ + 1).starts_with("\r\n") ? 3 : 2;
            while (at_ < text_.size() && is_blank(text_[at_]))
                ++at_;
        }
    }

private:
    std::string_view text_;
    std::size_t at_;
};

class PropertiesReader {
public:
    explicit PropertiesReader(std::string_view text) : text_(text), lines_(text) { }

    void read(const EntrySink& sink)
    {
        std::size_t at = 0;
        std::string key, value;
        while (at < text_.size()) {
            while (at < text_.size() && is_blank(text_[at]))
                ++at;
            LogicalLine line(text_, at);
            line.join();
            const bool comment =
                !line.ended() && at == line.offset() && (line.peek() == '#' || line.peek() == '!');
            if (!comment && !line.ended()) read_pair(line, key, value, sink);
            // A comment ends at its natural line, whatever backslash ends it.
            at = comment ? natural_line_end(at) : line.next_line();
        }
    }

private:
    std::size_t natural_line_end(std::size_t at) const
    {
        at = std::min(text_.find_first_of("\r\n", at), text_.size());
        if (at < text_.size()) at += text_.substr(at).starts_with("\r\n") ? 2 : 1;
        return at;
    }

    // The key ends at the first unescaped '=', ':' or blank; blanks and one
    // separator follow it.
    void read_pair(LogicalLine& line, std::string& key, std::string& value, const EntrySink& sink) const
    {
        key.clear();
        value.clear();
        decode(line, key, true);
        bool separated = false;
        while (!line.ended() &&
            (is_blank(line.peek()) || (!separated && (line.peek() == '=' || line.peek() == ':')))) {
            separated = separated || !is_blank(line.peek());
            line.take();
        }
        if (line.ended()) return;
        const std::size_t place = line.offset();
        decode(line, value, false);
        if (!value.empty()) sink(value, key, lines_.line(place), lines_.column(place));
    }

    // The line's bytes with their escapes decoded, up to its end or, for a
    // key, an unescaped separator.
    void decode(LogicalLine& line, std::string& out, bool key) const
    {
        SurrogateJoiner units(out);
        while (!line.ended()) {
            const char c = line.peek();
            if (key && (c == '=' || c == ':' || is_blank(c))) break;
            if (c != '\\') {
                units.add(character(line));
                continue;
            }
            const std::size_t backslash = line.offset();
            line.skip_backslash();
            if (line.ended()) break;  // a lone backslash at the end is dropped
            switch (line.peek()) {
            case 't': units.add(U'\t'); break;
            case 'n': units.add(U'\n'); break;
            case 'r': units.add(U'\r'); break;
            case 'f': units.add(U'\f'); break;
            case 'u': {
                line.take();
                char32_t unit = 0;
                for (int digit = 0; digit < 4; ++digit) {
                    const int value = line.ended() ? -1 : hex_value(line.peek());
                    if (value < 0)
                        throw malformed(Code::PropertiesBadUnicodeEscape, lines_.line(backslash),
                            lines_.column(backslash));
                    unit = unit << 4 | static_cast<char32_t>(value);
                    line.take();
                }
                units.add(unit);
                continue;
            }
            default:  // \X is X
                units.add(character(line));
                continue;
            }
            line.take();
        }
    }

    // The UTF-8 character at the line's place: its bytes are never split by a join.
    static char32_t character(LogicalLine& line)
    {
        unsigned char bytes[4];
        std::size_t length = 0;
        bytes[length++] = static_cast<unsigned char>(line.take());
        const std::size_t wanted = bytes[0] < 0xC0 ? 1 : bytes[0] < 0xE0 ? 2 : bytes[0] < 0xF0 ? 3 : 4;
        while (length < wanted && !line.ended() && (static_cast<unsigned char>(line.peek()) & 0xC0) == 0x80)
            bytes[length++] = static_cast<unsigned char>(line.take());
        return decode_one(bytes, bytes + length).value;
    }

    std::string_view text_;
    LineIndex lines_;
};

}  // namespace

// An entry's place is its value's first character.
void read_properties(std::string_view text, const EntrySink& sink)
{
    PropertiesReader(text).read(sink);
}

}  // namespace charlib::formats
