#include <utility>

#include "extract/extract.h"
#include "jump.h"
#include "marker_matcher.h"
#include "simd/code_sets.h"

namespace charlib {

struct CodePointExtractor::State {
    State(Newline newline, const Selection& selection) :
        any_newline(newline == Newline::Any),
        empty_marker(selection.marker.empty()),
        jump(selection.offset),
        marker(selection.marker),
        matcher(marker),
        set(selection.count),
        held(selection.count)
    {
    }

    void end_line()
    {
        ++line_ends;
        line_open = false;
        if (jump.under_way()) {
            selected += jump.lands_next();
            jump.step();
        } else {
            selected += found && jump.none();
            jump.tested(found);
        }
        found = false;
        matcher.reset();
        held.clear();
    }

    void character(char32_t c)
    {
        if (jump.under_way()) {
            if (jump.lands_next()) set.insert(c);
            return;
        }
        if (found) {
            if (jump.none()) set.insert(c);
            return;
        }
        found = empty_marker || matcher.feed(c);
        if (!jump.none()) return;
        // Characters before the marker's end are held until it is found.
        if (found) {
            set.insert(held);
            set.insert(c);
        } else {
            held.insert(c);
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
        if (jump.under_way()) {
            if (jump.lands_next()) set.insert(line);
            return;
        }
        found = empty_marker || line.find(marker) != std::u32string_view::npos;
        if (found && jump.none()) set.insert(line);
    }

    const bool any_newline;
    const bool empty_marker;
    Jump jump;
    const std::u32string marker;
    MarkerMatcher matcher;
    CharacterSet set;
    CharacterSet held;
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

}  // namespace charlib
