#include <array>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include "text/character_set.h"
#include "text/extractors.h"

namespace charlib {

std::u32string code_points(std::u16string_view text)
{
    std::u32string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        const bool pair =
            c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        result += pair ? 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00) : c;
    }
    return result;
}

void Tally::add(const Tally& later)
{
    CharacterSet set(!counts.empty() || !later.counts.empty());
    set.insert(*this);
    set.insert(later);
    *this = set.take();
}

// What a line is to the extractor while it reads it.
enum class LineRole { Tested, Skipped, Taken };

struct CodePointExtractor::State {
    State(Newline newline, const Selection& selection) :
        any_newline(newline == Newline::Any),
        empty_marker(selection.marker.empty()),
        jump(selection.offset > 0 ? selection.offset : 0),
        marker(code_points(selection.marker)),
        matcher(marker),
        set(selection.count),
        held(selection.count)
    {
    }

    void end_line()
    {
        ++line_ends;
        line_open = false;
        switch (role) {
        case LineRole::Tested:
            selected += found && jump == 0;
            if (found && jump > 0) {
                role = jump == 1 ? LineRole::Taken : LineRole::Skipped;
                skip_left = jump - 1;
            }
            break;
        case LineRole::Skipped:
            if (--skip_left == 0) role = LineRole::Taken;
            break;
        case LineRole::Taken:
            ++selected;
            role = LineRole::Tested;
            break;
        }
        found = false;
        matcher.reset();
        held.clear();
    }

    void character(char32_t c)
    {
        switch (role) {
        case LineRole::Tested:
            if (found) {
                if (jump == 0) set.insert(c);
                return;
            }
            found = empty_marker || matcher.feed(c);
            if (jump > 0) return;
            // Characters before the marker's end are held until it is found.
            if (found) {
                set.insert(held);
                set.insert(c);
            } else {
                held.insert(c);
            }
            return;
        case LineRole::Skipped: return;
        case LineRole::Taken: set.insert(c); return;
        }
    }

    // Where the line that starts at `from` ends in the piece: at a CR, an LF
    // that ends lines, or U+001A; npos when it goes on past the piece.
    std::size_t line_end(std::u32string_view piece, std::size_t from) const
    {
        for (std::size_t i = from; i < piece.size(); ++i) {
            const char32_t c = piece[i];
            if (c <= U'\x1A' && (c == U'\r' || c == U'\x1A' || (c == U'\n' && any_newline))) return i;
        }
        return std::u32string_view::npos;
    }

    // A line that lies whole in one piece, without its end, at once.
    void whole_line(std::u32string_view line)
    {
        if (line.empty()) return;
        line_open = true;
        switch (role) {
        case LineRole::Tested:
            found = empty_marker || line.find(marker) != std::u32string_view::npos;
            if (found && jump == 0) set.insert(line);
            return;
        case LineRole::Skipped: return;
        case LineRole::Taken: set.insert(line); return;
        }
    }

    const bool any_newline;
    const bool empty_marker;
    const std::int64_t jump;
    const std::u32string marker;
    MarkerMatcher matcher;
    CharacterSet set;
    CharacterSet held;
    LineRole role = LineRole::Tested;
    std::int64_t skip_left = 0;
    bool found = false;
    bool after_cr = false;
    bool ended = false;
    bool line_open = false;  // a line has begun since the last line end
    std::uint64_t line_ends = 0;
    std::uint64_t selected = 0;
};

CodePointExtractor::CodePointExtractor(Newline newline, const Selection& selection) :
    state_(std::make_unique<State>(newline, selection))
{
}

CodePointExtractor::~CodePointExtractor() = default;

bool CodePointExtractor::feed(std::u32string_view characters)
{
    State& s = *state_;
    if (s.ended) return false;
    for (std::size_t i = 0; i < characters.size();) {
        // The usual case: a whole line within the piece, tested and tallied
        // at once. Its end, and a line that goes on into the next piece, are
        // taken character by character.
        if (!s.line_open && !(s.after_cr && characters[i] == U'\n')) {
            s.after_cr = false;
            const std::size_t end = s.line_end(characters, i);
            if (end != std::u32string_view::npos) {
                s.whole_line(characters.substr(i, end - i));
                i = end;
            }
        }
        const char32_t c = characters[i++];
        if (c == U'\x1A') {
            s.ended = true;
            return false;
        }
        const bool after_cr = std::exchange(s.after_cr, c == U'\r');
        if (c == U'\r' || (c == U'\n' && s.any_newline && !after_cr)) {
            s.end_line();
        } else if (c != U'\n' || !after_cr) {
            s.line_open = true;
            s.character(c);
        }
    }
    return true;
}

Tally CodePointExtractor::finish()
{
    State& s = *state_;
    if (s.line_open) s.end_line();  // the last line, without a line end
    return s.set.take();
}

std::uint64_t CodePointExtractor::line() const
{
    return state_->line_ends + 1;
}

std::uint64_t CodePointExtractor::lines() const
{
    return state_->line_ends + state_->line_open;
}

std::uint64_t CodePointExtractor::selected_lines() const
{
    return state_->selected;
}

std::size_t decode_utf8(
    std::string_view bytes, bool last, std::u32string& characters, std::vector<InvalidPlace>* invalid)
{
    const std::size_t first = characters.size(), noted = invalid ? invalid->size() : 0;
    characters.resize(first + bytes.size());  // never more characters than bytes
    std::size_t produced = 0;
    const std::size_t used = decode_utf8(bytes, last, characters.data() + first, produced, invalid);
    characters.resize(first + produced);
    for (std::size_t k = noted; invalid && k < invalid->size(); ++k)
        (*invalid)[k].character += first;
    return used;
}

std::size_t decode_utf8(std::string_view bytes, bool last, char32_t* out, std::size_t& produced,
    std::vector<InvalidPlace>* invalid)
{
    const auto* const begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* p = begin;
    const auto* const end = p + bytes.size();
    char32_t* const out_begin = out;
    while (p < end) {
        // The common cases first, each in a tight loop of its own: ASCII, and
        // three-byte sequences without special ranges (hanzi and the like).
        while (p < end && *p < 0x80)
            *out++ = *p++;
        while (end - p >= 3 && *p >= 0xE1 && *p <= 0xEF && *p != 0xED && (p[1] & 0xC0) == 0x80 &&
            (p[2] & 0xC0) == 0x80) {
            *out++ = (*p & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
            p += 3;
        }
        if (p == end || *p < 0x80) continue;
        const Utf8Character one = decode_one(p, end);
        // A sequence cut off by the end of these bytes may go on in the next.
        if (one.cut_off && !last) break;
        if (!one.well_formed && invalid)
            invalid->push_back(
                {static_cast<std::size_t>(p - begin), static_cast<std::size_t>(out - out_begin)});
        *out++ = one.value;
        p += one.length;
    }
    produced = static_cast<std::size_t>(out - out_begin);
    return static_cast<std::size_t>(p - begin);
}

}  // namespace charlib
