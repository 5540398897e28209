#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "text/byte_lines.h"
#include "text/code_walk.h"
#include "text/codepage.h"
#include "text/core.h"

// The character set is gathered as byte codes rather than characters (see
// code_walk.h): decoding a line through the code page costs far more than
// finding its codes, and a large text has only a few thousand distinct
// codes, which are decoded once at the end.

namespace charlib {

namespace {

// The character each code decodes to, taken from the code page converter
// itself so that it cannot disagree with decode(). A lead byte on its own
// (no valid trail byte after it) is a code of its own too.
const std::array<char16_t, 65536>& characters_of_codes()
{
    static const std::array<char16_t, 65536> table = [] {
        std::array<char16_t, 65536> units{};
        const auto set = [&](Code code, std::string_view bytes) {
            const std::u16string text = decode(bytes);
            units[code] = text.size() == 1 ? text[0] : u'\uFFFD';
        };
        for (unsigned byte = 0; byte < 256; ++byte) {
            const char single = static_cast<char>(byte);
            set(static_cast<Code>(byte), {&single, 1});
        }
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
                if (is_trail_byte(static_cast<unsigned char>(trail))) {
                    const char pair[2] = {char(lead), char(trail)};
                    set(static_cast<Code>(trail << 8 | lead), {pair, 2});
                }
        return units;
    }();
    return table;
}

// Distinct codes in order of first arrival; membership is one byte test.
class CodeSet {
public:
    void insert(Code code)
    {
        if (!seen_[code]) add(code);
    }
    void insert(std::string_view bytes)
    {
        for_each_code(
            bytes, [this](Code code) { insert(code); }, nullptr, seen_.data());
    }
    // Whole lines with their line ends, see for_each_code.
    void insert_text(std::string_view bytes, bool& after_cr)
    {
        for_each_code<true>(
            bytes, [this](Code code) { insert(code); }, &after_cr, seen_.data());
    }
    void clear()
    {
        for (Code code : order_)
            seen_[code] = false;
        order_.clear();
    }
    const std::vector<Code>& order() const { return order_; }

private:
    // Kept out of line so that the test above stays small enough to inline.
    [[gnu::noinline]] void add(Code code)
    {
        seen_[code] = true;
        order_.push_back(code);
    }

    std::array<bool, 65536 + 3> seen_{};
    std::vector<Code> order_;
};

// Finds the marker in decoded text fed one character at a time
// (Knuth-Morris-Pratt), for lines that arrive in pieces or markers that
// cannot be looked for as bytes.
class MarkerMatcher {
public:
    explicit MarkerMatcher(std::u16string_view marker) : marker_(marker), fallback_(marker.size() + 1, 0)
    {
        for (std::size_t i = 1, k = 0; i < marker_.size(); ++i) {
            while (k > 0 && marker_[i] != marker_[k])
                k = fallback_[k];
            if (marker_[i] == marker_[k]) ++k;
            fallback_[i + 1] = k;
        }
    }
    void reset()
    {
        matched_ = 0;
        found_ = false;
    }
    // An empty marker is found in any line that has a character.
    void feed(char16_t c)
    {
        while (matched_ > 0 && marker_[matched_] != c)
            matched_ = fallback_[matched_];
        if (matched_ < marker_.size() && marker_[matched_] == c) ++matched_;
        if (matched_ == marker_.size()) {
            found_ = true;
            matched_ = fallback_[matched_];
        }
    }
    bool found() const { return found_; }

private:
    std::u16string_view marker_;
    std::vector<std::size_t> fallback_;
    std::size_t matched_ = 0;
    bool found_ = false;
};

// True when the marker's bytes occur in the line at a character boundary: an
// ASCII marker can also match the trail byte of a double-byte character.
bool contains_at_boundary(std::string_view line, std::string_view marker)
{
    const auto bytes = reinterpret_cast<const unsigned char*>(line.data());
    std::size_t boundary = 0;  // a known character boundary, never past a candidate
    for (std::size_t from = 0;;) {
        const void* hit = memmem(line.data() + from, line.size() - from, marker.data(), marker.size());
        if (!hit) return false;
        const auto candidate = static_cast<std::size_t>(static_cast<const char*>(hit) - line.data());
        while (boundary < candidate)
            boundary += is_lead_byte(bytes[boundary]) && boundary + 1 < line.size() &&
                    is_trail_byte(bytes[boundary + 1])
                ? 2
                : 1;
        if (boundary == candidate) return true;
        from = candidate + 1;
    }
}

class Extractor {
public:
    Extractor(ByteLines& lines, std::u16string_view marker, std::int64_t offset) :
        lines_(lines),
        marker_(marker),
        marker_bytes_(encode(marker)),
        // A marker that comes back unchanged from the code page can be
        // looked for as bytes; any other (U+FFFD, characters the code page
        // lacks) is compared as decoded text.
        marker_as_bytes_(decode(marker_bytes_) == marker),
        jump_(offset > 0 ? offset : 0),
        matcher_(marker)
    {
    }

    std::u16string run()
    {
        // Every line is taken: no need to find the lines one by one.
        if (marker_.empty() && jump_ == 0) {
            bool after_cr = false;
            while (!lines_.at_end())
                set_.insert_text(lines_.next_bytes(), after_cr);
            return characters();
        }
        while (!lines_.at_end()) {
            const LinePiece piece = lines_.next_piece();
            if (!test_line(piece)) continue;
            if (jump_ == 0) continue;  // collected while it was tested
            // Jump to the line `jump_` lines further; a jump past the end of
            // the file ends the reading with the set gathered so far.
            if (!skip_lines(jump_ - 1) || lines_.at_end()) break;
            collect_line();
        }
        return characters();
    }

private:
    // Tests the line that begins with `piece` for the marker and consumes it.
    // Without a jump, a matching line's characters are collected too.
    bool test_line(LinePiece piece)
    {
        if (piece.ends_line && marker_as_bytes_) {
            const bool found =
                marker_.empty() ? !piece.bytes.empty() : contains_at_boundary(piece.bytes, marker_bytes_);
            if (found && jump_ == 0) set_.insert(piece.bytes);
            return found;
        }
        // Characters seen before the marker are held back until it is found.
        const auto& characters = characters_of_codes();
        matcher_.reset();
        pending_.clear();
        for (;;) {
            if (jump_ == 0) {
                for_each_code(piece.bytes, [&](Code code) {
                    if (matcher_.found()) {
                        set_.insert(code);
                        return;
                    }
                    pending_.insert(code);
                    matcher_.feed(characters[code]);
                    if (matcher_.found())
                        for (Code held : pending_.order())
                            set_.insert(held);
                });
            } else if (!matcher_.found()) {
                for_each_code(piece.bytes, [&](Code code) { matcher_.feed(characters[code]); });
            }
            if (piece.ends_line) return matcher_.found();
            piece = lines_.next_piece();
        }
    }

    // False when the text ends first.
    bool skip_lines(std::int64_t count)
    {
        for (; count > 0; --count) {
            if (lines_.at_end()) return false;
            while (!lines_.next_piece().ends_line) { }
        }
        return true;
    }

    void collect_line()
    {
        LinePiece piece;
        do {
            piece = lines_.next_piece();
            set_.insert(piece.bytes);
        } while (!piece.ends_line);
    }

    std::u16string characters() const
    {
        const auto& characters = characters_of_codes();
        std::u16string text;
        std::vector<bool> seen(65536);
        for (Code code : set_.order()) {
            const char16_t c = characters[code];
            if (seen[c]) continue;  // several codes for one character: U+FFFD
            seen[c] = true;
            text += c;
        }
        return text;
    }

    ByteLines& lines_;
    std::u16string_view marker_;
    std::string marker_bytes_;
    bool marker_as_bytes_;
    std::int64_t jump_;
    MarkerMatcher matcher_;
    CodeSet set_;
    CodeSet pending_;
};

}  // namespace

std::u16string extract(const std::filesystem::path& path, std::u16string_view marker, std::int64_t offset,
    std::size_t buffer_size)
{
    ByteLines lines(path, buffer_size);
    return Extractor(lines, marker, offset).run();
}

}  // namespace charlib
