// Arbitrary bytes as the font for the subset (with a layout feature list
// read from the input too), the glyphs that draw nothing, the atlas and its
// preview: a Failure or a result, never a crash or a leak. The parameters
// come from the input's end, so that a font file as a seed is still a font.

#include <algorithm>

#include "../fuzz_input.h"
#include "font/font.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto take_last = [&bytes] {
        if (bytes.empty()) return 0u;
        const auto byte = static_cast<unsigned char>(bytes.back());
        bytes.remove_suffix(1);
        return unsigned{byte};
    };
    const unsigned face = take_last() % 3;
    const unsigned options = take_last();
    const unsigned layout = take_last();
    const std::size_t length = std::min<std::size_t>(take_last() % 16, bytes.size());
    const std::string_view list = bytes.substr(bytes.size() - length);
    bytes.remove_suffix(length);
    std::vector<charlib::LayoutFeatureChange> features;
    if (!charlib::parse_layout_features(list, features)) {
        FUZZ_CHECK(!features.empty());
        for (const auto& change : features)
            FUZZ_CHECK(!change.tag.empty() && change.tag.size() <= 4 &&
                std::all_of(
                    change.tag.begin(), change.tag.end(), [](char c) { return c > ' ' && c < 0x7F; }));
    }
    // Default-ignorables and a control character among them: never missing.
    const std::u32string set = U"Aa \u00C0\u4E2D\u3002\n\U0001F600\u200D\uFE0F\U000E0100";
    try {
        const charlib::Font font(fuzz_file(bytes), face);
        const std::u32string missing = font.missing(set);
        FUZZ_CHECK(missing.find_first_of(U"\n\u200D\uFE0F\U000E0100") == std::u32string::npos);
        // A glyph that draws nothing is one the font has, and never the space's.
        for (const char32_t c : font.blank(set))
            FUZZ_CHECK(font.has(c) && missing.find(c) == std::u32string::npos &&
                std::u32string_view(U" \n\u200D\uFE0F\U000E0100").find(c) == std::u32string_view::npos);
        (void)font.has_cff_outlines();
        try {
            (void)charlib::subset_font(font, set, options & 1, features);
        } catch (const charlib::Failure&) {
        }
        // The atlas packed or on a grid, plain, 1-bit or a distance field, with
        // kerning, in every descriptor form, and its preview.
        charlib::AtlasOptions atlas;
        atlas.size = 4 + (options >> 3) % 24;
        atlas.page_width = atlas.page_height = 64;
        atlas.mono = (options & 2) != 0;
        atlas.sdf = (options & 4) != 0;
        atlas.spread = 1 + (layout >> 1) % 8;
        atlas.format = static_cast<charlib::AtlasFormat>(options >> 6);
        if (layout & 1) {
            charlib::GridOptions& grid = atlas.grid.emplace();
            grid.cell_width = atlas.size;
            grid.cell_height = atlas.size + 4;
            grid.columns = 4;
        }
        try {
            const charlib::Atlas made = charlib::render_atlas(font, set, atlas, "f");
            FUZZ_CHECK(made.pages.size() == made.font.page_files.size());
            (void)charlib::render_preview(made, set);
        } catch (const charlib::Failure&) {
        }
    } catch (const charlib::Failure&) {
    }
    return 0;
}
