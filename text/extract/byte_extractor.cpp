#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "byte_extractor.h"
#include "byte_lines.h"
#include "codec/code_page_936.h"
#include "codec/utf.h"
#include "jump.h"
#include "marker_matcher.h"
#include "simd/kernel.h"

// Lines and markers are found in the bytes, and characters are gathered
// without decoding each line: for code page 936 as byte codes (see
// simd/code_sets.h), since decoding through the code page costs far more than
// finding the codes and a large text has only a few thousand distinct ones,
// decoded once at the end; for UTF-8 as code points read from bit masks.

namespace charlib {

namespace {

// The character of each code, from the code page converter itself so that
// it cannot disagree with decode(): the codes, each followed by a line feed
// that no byte before it can pair with, decoded in one call. A lead byte on
// its own (no valid trail byte after it) is a code of its own too.
std::u16string decode_codes(const std::vector<GbkCode>& codes)
{
    std::string bytes;
    bytes.reserve(codes.size() * 3);
    for (GbkCode code : codes) {
        bytes += static_cast<char>(code & 0xFF);
        if (code > 0xFF) bytes += static_cast<char>(code >> 8);
        bytes += '\n';
    }
    const std::u16string units = decode(bytes);
    std::u16string characters;
    characters.reserve(codes.size());
    std::size_t unit = 0;
    for (GbkCode code : codes) {
        if (code == '\n') {  // its own line feed, then the one that follows it
            characters += u'\n';
            unit += 2;
            continue;
        }
        const std::size_t first = unit;
        while (unit < units.size() && units[unit] != u'\n')
            ++unit;
        characters += unit - first == 1 ? units[first] : u'\uFFFD';
        ++unit;
    }
    return characters;
}

// Every code's character, for the rare walks that need them one by one.
const std::array<char16_t, 65536>& characters_of_codes()
{
    static const std::array<char16_t, 65536> table = [] {
        std::vector<GbkCode> codes;
        for (unsigned byte = 0; byte < 256; ++byte)
            codes.push_back(static_cast<GbkCode>(byte));
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
                if (is_trail_byte(static_cast<unsigned char>(trail)))
                    codes.push_back(static_cast<GbkCode>(trail << 8 | lead));
        const std::u16string characters = decode_codes(codes);
        std::array<char16_t, 65536> table{};
        for (std::size_t i = 0; i < codes.size(); ++i)
            table[codes[i]] = characters[i];
        return table;
    }();
    return table;
}

// The characters of the codes: several codes for one character (U+FFFD) are one.
Tally tally_of(const CodeSet& set)
{
    const std::vector<GbkCode>& codes = set.codes();
    const std::u16string characters = decode_codes(codes);
    Tally tally;
    std::unordered_map<char16_t, std::size_t> place;  // the character's place in the tally
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const char16_t c = characters[i];
        const auto [at, added] = place.try_emplace(c, tally.characters.size());
        if (added) {
            tally.characters += c;
            if (set.counting()) tally.counts.push_back(0);
        }
        if (set.counting()) tally.counts[at->second] += set.count(codes[i]);
    }
    return tally;
}

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

// What the extractor needs to know of an encoding.
struct CodePage936 {
    using Code = charlib::GbkCode;
    using Set = CodeSet;
    static constexpr auto insert = &Kernel::insert_codes;
    static constexpr auto walk = &Kernel::codes;
    static char32_t character(Code code) { return characters_of_codes()[code]; }
    // A marker that comes back unchanged from the code page can be looked for
    // as bytes; any other (U+FFFD, characters the code page lacks) is
    // compared as decoded text.
    static std::optional<std::string> marker_bytes(std::u32string_view marker)
    {
        const std::u16string units = to_utf16(marker);
        std::string bytes = encode(units);
        if (decode(bytes) != units) return std::nullopt;
        return bytes;
    }
    static bool contains(std::string_view line, std::string_view marker)
    {
        return contains_at_boundary(line, marker);
    }
};

struct Utf8Bytes {
    using Code = char32_t;
    using Set = CharacterSet;
    static constexpr auto insert = &Kernel::insert_code_points;
    static constexpr auto walk = &Kernel::code_points;
    static char32_t character(Code code) { return code; }
    // UTF-8 finds itself at character boundaries only; but U+FFFD also
    // stands for bytes that are no UTF-8, which must be decoded to be seen.
    static std::optional<std::string> marker_bytes(std::u32string_view marker)
    {
        for (char32_t c : marker)
            if (c == U'\uFFFD' || (c >= 0xD800 && c < 0xE000)) return std::nullopt;
        return to_utf8(marker);
    }
    static bool contains(std::string_view line, std::string_view marker)
    {
        return memmem(line.data(), line.size(), marker.data(), marker.size()) != nullptr;
    }
};

template <class Bytes> class Extractor {
public:
    using Code = typename Bytes::Code;
    using Set = typename Bytes::Set;

    Extractor(ByteLines& lines, const Selection& selection, bool any_newline, const Kernel& kernel) :
        lines_(lines),
        kernel_(kernel),
        empty_marker_(selection.marker.empty()),
        marker_bytes_(Bytes::marker_bytes(selection.marker)),
        jump_(selection.offset),
        any_newline_(any_newline),
        matcher_(selection.marker),
        set_(selection.count),
        pending_(selection.count)
    {
    }

    Set run()
    {
        // Every line is taken: no need to find the lines one by one.
        if (empty_marker_ && jump_.none()) {
            LineEnds ends{any_newline_};
            while (!lines_.at_end())
                (kernel_.*Bytes::insert)(set_, lines_.next_bytes(), ends);
            return std::move(set_);
        }
        // Lines come many at a time and the marker is looked for across them
        // all; a line longer than the buffer comes in pieces.
        while (!lines_.at_end()) {
            const std::string_view chunk = marker_bytes_ ? lines_.next_lines() : std::string_view();
            if (!chunk.empty()) {
                take_lines(chunk);
                continue;
            }
            const LinePiece piece = lines_.next_piece();
            if (jump_.under_way()) {
                // Jumped to: taken untested when the jump ends here, else passed over.
                const bool take = jump_.lands_next();
                jump_.step();
                selected_ += take;
                for (LinePiece part = piece;; part = lines_.next_piece()) {
                    if (take) insert(part.bytes);
                    if (part.ends_line) break;
                }
            } else {
                const bool found = test_line(piece);
                selected_ += found && jump_.none();
                jump_.tested(found);
            }
        }
        return std::move(set_);
    }

private:
    // A line, or a piece of one: no line end in it.
    void insert(std::string_view bytes)
    {
        LineEnds none;
        (kernel_.*Bytes::insert)(set_, bytes, none);
    }
    // Every character of a piece, in order.
    template <class Visit> void walk(std::string_view bytes, Visit&& visit)
    {
        Code codes[walk_batch];
        while (!bytes.empty()) {
            const Walked walked = (kernel_.*Bytes::walk)(bytes, codes);
            for (std::size_t i = 0; i < walked.codes; ++i)
                visit(codes[i]);
            bytes.remove_prefix(walked.bytes);
        }
    }

    // The end of the line that begins at `from`: its CR, or LF with
    // Newline::Any; the next CR is remembered, so that LF lines do not make
    // every search run to the end of the chunk.
    std::size_t line_end(std::string_view chunk, std::size_t from)
    {
        if (next_cr_ < from || next_cr_ == std::string_view::npos)
            next_cr_ = std::min(chunk.find('\r', from), chunk.size());
        if (!any_newline_) return next_cr_;
        return std::min(chunk.substr(0, next_cr_).find('\n', from), next_cr_);
    }
    // Where the line after the one that ends at `end` begins: past a CR LF pair as one.
    static std::size_t next_line(std::string_view chunk, std::size_t end)
    {
        return end + (chunk.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    // Where the line holding byte `at` begins, `from` being a line's start.
    std::size_t line_start(std::string_view chunk, std::size_t from, std::size_t at) const
    {
        const std::size_t end = chunk.substr(from, at - from).find_last_of(any_newline_ ? "\r\n" : "\r");
        return end == std::string_view::npos ? from : next_line(chunk, from + end);
    }

    // Whole lines: each is tested, taken or passed over as in the piece by
    // piece loop, but the marker is found across them with one search, and
    // the lines before a match are never looked at.
    void take_lines(std::string_view chunk)
    {
        next_cr_ = std::string_view::npos;
        for (std::size_t from = 0; from < chunk.size();) {
            if (!jump_.under_way() && !empty_marker_) {
                const std::size_t hit = chunk.find(*marker_bytes_, from);
                if (hit == std::string_view::npos) return;
                from = line_start(chunk, from, hit);
            }
            const std::size_t end = line_end(chunk, from);
            const std::string_view line = chunk.substr(from, end - from);
            if (jump_.under_way()) {
                if (jump_.lands_next()) {
                    insert(line);
                    ++selected_;
                }
                jump_.step();
            } else if (empty_marker_ ? !line.empty() : Bytes::contains(line, *marker_bytes_)) {
                if (jump_.none()) {
                    insert(line);
                    ++selected_;
                }
                jump_.tested(true);
            }
            if (end == chunk.size()) return;
            from = next_line(chunk, end);
        }
    }

    // Tests the line that begins with `piece` for the marker and consumes it.
    // Without a jump, a matching line's characters are collected too.
    bool test_line(LinePiece piece)
    {
        if (piece.ends_line && marker_bytes_) {
            const bool found =
                empty_marker_ ? !piece.bytes.empty() : Bytes::contains(piece.bytes, *marker_bytes_);
            if (found && jump_.none()) insert(piece.bytes);
            return found;
        }
        // Characters seen before the marker are held back until it is found.
        matcher_.reset();
        pending_.clear();
        for (;;) {
            if (jump_.none()) {
                walk(piece.bytes, [&](Code code) {
                    if (matcher_.found()) {
                        set_.insert(code);
                        return;
                    }
                    pending_.insert(code);
                    if (matcher_.feed(Bytes::character(code))) set_.insert(pending_);
                });
            } else if (!matcher_.found()) {
                walk(piece.bytes, [&](Code code) { matcher_.feed(Bytes::character(code)); });
            }
            if (piece.ends_line) return matcher_.found();
            piece = lines_.next_piece();
        }
    }

    ByteLines& lines_;
    const Kernel& kernel_;
    bool empty_marker_;
    std::optional<std::string> marker_bytes_;
    Jump jump_;
    std::size_t next_cr_ = 0;  // in the chunk being taken
    bool any_newline_;
    MarkerMatcher matcher_;
    Set set_;
    Set pending_;

public:
    std::uint64_t selected_ = 0;  // lines tested or jumped to and taken
};

}  // namespace

Tally extract_from_bytes(
    ByteLines& lines, const SourceFormat& format, const Selection& selection, const Kernel& kernel)
{
    const bool any_newline = format.newline == Newline::Any;
    const auto extracted = [&](auto&& extractor, auto&& finish) {
        Tally tally = finish(extractor.run());
        tally.selected_lines = extractor.selected_;
        return tally;
    };
    if (format.encoding == Encoding::Utf8)
        return extracted(Extractor<Utf8Bytes>(lines, selection, any_newline, kernel),
            [](CharacterSet&& set) { return set.take(); });
    return extracted(Extractor<CodePage936>(lines, selection, any_newline, kernel),
        [](CodeSet&& set) { return tally_of(set); });
}

}  // namespace charlib
