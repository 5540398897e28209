#include <hb-ot.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "faces.h"
#include "font/font.h"

namespace charlib {

namespace {

template <auto destroy> struct Destroy {
    template <typename T> void operator()(T* object) const { destroy(object); }
};
using Blob = std::unique_ptr<hb_blob_t, Destroy<hb_blob_destroy>>;
using Set = std::unique_ptr<hb_set_t, Destroy<hb_set_destroy>>;
using ShapingFont = std::unique_ptr<hb_font_t, Destroy<hb_font_destroy>>;
using Buffer = std::unique_ptr<hb_buffer_t, Destroy<hb_buffer_destroy>>;

// Big-endian numbers of a table, 0 past its end.
class TableReader {
public:
    explicit TableReader(hb_blob_t* blob) :
        data_(reinterpret_cast<const unsigned char*>(hb_blob_get_data(blob, &size_)))
    {
    }
    bool has(std::size_t at, std::size_t count) const { return at <= size_ && count <= size_ - at; }
    unsigned u8(std::size_t at) const { return has(at, 1) ? data_[at] : 0; }
    unsigned u16(std::size_t at) const { return u8(at) << 8 | u8(at + 1); }
    std::size_t u32(std::size_t at) const { return std::size_t{u16(at)} << 16 | u16(at + 2); }

private:
    unsigned size_ = 0;
    const unsigned char* data_;
};

using GlyphPair = std::pair<hb_codepoint_t, hb_codepoint_t>;

// What the legacy `kern` table kerns: the glyph pairs its format-0 subtables
// list, and the glyphs the class-based ones (formats 2 and 3) put in classes.
// Format 1 kerns by context, which a pair cannot carry.
void read_kern_table(hb_face_t* face, std::vector<GlyphPair>& pairs, hb_set_t* glyphs)
{
    const Blob blob(hb_face_reference_table(face, HB_TAG('k', 'e', 'r', 'n')));
    const TableReader table(blob.get());
    // Microsoft's version 0 has 16-bit headers; Apple's version 1.0, 32-bit ones.
    const bool apple = table.u16(0) == 1;
    const std::size_t header = apple ? 8 : 6;
    std::size_t count = apple ? table.u32(4) : table.u16(2);
    for (std::size_t at = apple ? 8 : 4; count > 0 && table.has(at, header); --count) {
        const std::size_t length = apple ? table.u32(at) : table.u16(at + 2);
        const unsigned coverage = table.u16(at + 4);
        const unsigned format = apple ? coverage & 0xFF : coverage >> 8;
        const std::size_t body = at + header;
        std::size_t end = at + length;
        if (format == 0) {
            const std::size_t listed = table.u16(body);
            for (std::size_t i = 0, pair = body + 8; i < listed && table.has(pair, 6); ++i, pair += 6)
                pairs.emplace_back(table.u16(pair), table.u16(pair + 2));
            // A long list outgrows the 16-bit length: the list tells where it ends.
            end = std::max(end, body + 8 + 6 * listed);
        } else if (format == 2) {
            for (std::size_t side : {body + 2, body + 4}) {
                const std::size_t classes = at + table.u16(side);
                const unsigned first = table.u16(classes), count_of_glyphs = table.u16(classes + 2);
                if (count_of_glyphs > 0) hb_set_add_range(glyphs, first, first + count_of_glyphs - 1);
            }
        } else if (format == 3) {
            const std::size_t glyph_count = table.u16(body);
            const std::size_t left = body + 6 + 2 * table.u8(body + 2), right = left + glyph_count;
            for (std::size_t glyph = 0; glyph < glyph_count; ++glyph)
                if (table.u8(left + glyph) != 0 || table.u8(right + glyph) != 0)
                    hb_set_add(glyphs, static_cast<hb_codepoint_t>(glyph));
        }
        if (end <= at) break;
        at = end;
    }
}

// The glyphs that the lookups of the GPOS `kern` feature read, in any script
// and language: the first and second glyphs of its pairs among them.
void add_gpos_kerning_glyphs(hb_face_t* face, hb_set_t* glyphs)
{
    const hb_tag_t kern[] = {HB_TAG('k', 'e', 'r', 'n'), HB_TAG_NONE};
    const Set lookups(hb_set_create());
    hb_ot_layout_collect_lookups(face, HB_OT_TAG_GPOS, nullptr, nullptr, kern, lookups.get());
    for (hb_codepoint_t lookup = HB_SET_VALUE_INVALID; hb_set_next(lookups.get(), &lookup);)
        hb_ot_layout_lookup_collect_glyphs(face, HB_OT_TAG_GPOS, lookup, glyphs, glyphs, glyphs, nullptr);
}

// The pair's whole advance in 64ths of a pixel, shaped alone; nothing when
// shaping does not keep the characters' own glyphs, which the atlas draws.
std::optional<hb_position_t> pair_advance(hb_font_t* font, hb_buffer_t* buffer,
    const std::uint32_t (&text)[2], const GlyphPair& glyphs, const std::vector<hb_feature_t>& features)
{
    hb_buffer_clear_contents(buffer);
    hb_buffer_add_utf32(buffer, text, 2, 0, 2);
    hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(font, buffer, features.data(), static_cast<unsigned>(features.size()));
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* position = hb_buffer_get_glyph_positions(buffer, nullptr);
    if (count != 2 || info[0].codepoint != glyphs.first || info[1].codepoint != glyphs.second)
        return std::nullopt;
    return position[0].x_advance + position[1].x_advance;
}

}  // namespace

std::vector<KerningPair> kerning_pairs(const Font& font, std::u32string_view characters, unsigned size)
{
    hb_face_t* face = font.faces().shaping;
    const ShapingFont shaping(hb_font_create(face));
    const int scale = static_cast<int>(size) * 64;
    hb_font_set_scale(shaping.get(), scale, scale);
    hb_font_set_ppem(shaping.get(), size, size);  // for the sizes GPOS device tables adjust

    std::map<hb_codepoint_t, std::u32string> by_glyph;
    for (char32_t c : characters) {
        hb_codepoint_t glyph = 0;
        if (hb_font_get_nominal_glyph(shaping.get(), c, &glyph) &&
            by_glyph[glyph].find(c) == std::u32string::npos)
            by_glyph[glyph] += c;
    }

    // HarfBuzz applies GPOS kerning, or the `kern` table when GPOS has none.
    // Either kerns only some glyphs: only pairs of those are shaped.
    std::vector<GlyphPair> listed;
    const Set kerned_glyphs(hb_set_create());
    read_kern_table(face, listed, kerned_glyphs.get());
    add_gpos_kerning_glyphs(face, kerned_glyphs.get());
    std::vector<std::pair<GlyphPair, std::pair<char32_t, char32_t>>> candidates;
    const auto add_pairs = [&](hb_codepoint_t first, hb_codepoint_t second) {
        const auto left = by_glyph.find(first), right = by_glyph.find(second);
        if (left == by_glyph.end() || right == by_glyph.end()) return;
        for (char32_t a : left->second)
            for (char32_t b : right->second)
                candidates.push_back({{first, second}, {a, b}});
    };
    std::vector<hb_codepoint_t> kerned;
    for (const auto& [glyph, of_glyph] : by_glyph)
        if (hb_set_has(kerned_glyphs.get(), glyph)) kerned.push_back(glyph);
    for (hb_codepoint_t first : kerned)
        for (hb_codepoint_t second : kerned)
            add_pairs(first, second);
    for (const auto& [first, second] : listed)
        if (!hb_set_has(kerned_glyphs.get(), first) || !hb_set_has(kerned_glyphs.get(), second))
            add_pairs(first, second);
    std::sort(candidates.begin(), candidates.end(),
        [](const auto& left, const auto& right) { return left.second < right.second; });
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    // Ligatures and contextual forms are off: the atlas draws each character alone.
    std::vector<hb_feature_t> plain, with_kerning;
    for (const char* feature : {"-kern", "-liga", "-clig", "-calt"}) {
        hb_feature_t parsed{};
        hb_feature_from_string(feature, -1, &parsed);
        plain.push_back(parsed);
    }
    with_kerning = plain;
    with_kerning.front().value = 1;
    const Buffer buffer(hb_buffer_create());
    std::vector<KerningPair> pairs;
    for (const auto& [glyphs, pair] : candidates) {
        const std::uint32_t text[2] = {pair.first, pair.second};
        const auto kerned_advance = pair_advance(shaping.get(), buffer.get(), text, glyphs, with_kerning);
        const auto plain_advance = pair_advance(shaping.get(), buffer.get(), text, glyphs, plain);
        if (!hb_buffer_allocation_successful(buffer.get())) throw std::bad_alloc();
        if (!kerned_advance || !plain_advance) continue;
        const long amount = std::lround((*kerned_advance - *plain_advance) / 64.0);
        if (amount != 0) pairs.push_back({pair.first, pair.second, static_cast<int>(amount)});
    }
    return pairs;
}

}  // namespace charlib
