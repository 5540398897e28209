#include <stb_rect_pack.h>

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "faces.h"
#include "font/font.h"
#include "glyphs.h"

namespace charlib {

namespace {

// stb_rect_pack's placement of the rectangles on one page of this size;
// those that do not fit are left with was_packed unset.
bool pack_page(std::vector<stbrp_rect>& rects, unsigned width, unsigned height)
{
    std::vector<stbrp_node> nodes(width);
    stbrp_context context;
    stbrp_init_target(&context, static_cast<int>(width), static_cast<int>(height), nodes.data(),
        static_cast<int>(nodes.size()));
    return stbrp_pack_rects(&context, rects.data(), static_cast<int>(rects.size())) == 1;
}

// --page auto: the smallest page, both sides powers of two from 16 to 4096,
// that holds every rectangle; of pages of one area the squarer first, then
// the wider. None holds them: 4096×4096, as many as needed.
std::pair<unsigned, unsigned> auto_page(std::vector<stbrp_rect> rects)
{
    std::uint64_t area = 0;
    unsigned widest = 0, tallest = 0;
    for (const stbrp_rect& rect : rects) {
        area += std::uint64_t{static_cast<unsigned>(rect.w)} * static_cast<unsigned>(rect.h);
        widest = std::max(widest, static_cast<unsigned>(rect.w));
        tallest = std::max(tallest, static_cast<unsigned>(rect.h));
    }
    std::vector<std::pair<unsigned, unsigned>> sizes;
    for (unsigned width = 16; width <= largest_auto_page; width *= 2)
        for (unsigned height = 16; height <= largest_auto_page; height *= 2)
            if (width >= widest && height >= tallest && std::uint64_t{width} * height >= area)
                sizes.emplace_back(width, height);
    const auto order = [](const std::pair<unsigned, unsigned>& size) {
        const auto [width, height] = size;
        const unsigned long long side_ratio = width > height ? width / height : height / width;
        return std::tuple(std::uint64_t{width} * height, side_ratio, height);
    };
    std::sort(sizes.begin(), sizes.end(), [&](const auto& a, const auto& b) { return order(a) < order(b); });
    for (const auto& [width, height] : sizes)
        if (pack_page(rects, width, height)) return {width, height};
    return {largest_auto_page, largest_auto_page};
}

// The glyphs packed anew with stb_rect_pack, page after page: each one's
// x, y and page, in the order of `glyphs`, and the pages' pixels.
Atlas packed_anew(const Font& font, const std::vector<Rendered>& glyphs, const AtlasOptions& options)
{
    const unsigned pad = options.padding;
    std::vector<stbrp_rect> waiting;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Rendered& glyph = glyphs[i];
        if (glyph.width == 0 || glyph.height == 0) continue;
        stbrp_rect rect{};
        rect.id = static_cast<int>(i);
        rect.w = static_cast<stbrp_coord>(glyph.width + 2 * pad);
        rect.h = static_cast<stbrp_coord>(glyph.height + 2 * pad);
        waiting.push_back(rect);
    }
    const std::pair<unsigned, unsigned> page_size =
        options.page_auto ? auto_page(waiting) : std::pair(options.page_width, options.page_height);
    const unsigned page_width = page_size.first, page_height = page_size.second;
    Atlas atlas;
    std::vector<AtlasChar>& placements = atlas.font.chars;
    placements.resize(glyphs.size());
    std::vector<PagePixels>& pages = atlas.page_pixels;
    const auto new_page = [&] {
        return PagePixels{
            page_width, page_height, std::vector<unsigned char>(std::size_t{page_width} * page_height)};
    };
    while (!waiting.empty()) {
        pack_page(waiting, page_width, page_height);
        PagePixels& page = pages.emplace_back(new_page());
        std::vector<stbrp_rect> left;
        for (const stbrp_rect& rect : waiting) {
            if (!rect.was_packed) {
                left.push_back(rect);
                continue;
            }
            const Rendered& glyph = glyphs[static_cast<std::size_t>(rect.id)];
            AtlasChar& placed = placements[static_cast<std::size_t>(rect.id)];
            placed.x = static_cast<unsigned>(rect.x) + pad;
            placed.y = static_cast<unsigned>(rect.y) + pad;
            placed.page = static_cast<unsigned>(pages.size() - 1);
            for (unsigned y = 0; y < glyph.height; ++y)
                std::copy_n(glyph.coverage.begin() + std::ptrdiff_t{y} * glyph.width, glyph.width,
                    page.values.begin() + std::ptrdiff_t{placed.y + y} * page_width + placed.x);
        }
        if (left.size() == waiting.size()) throw Failure(Code::PackingFailed, {{"path", font.path()}});
        waiting = std::move(left);
    }
    if (pages.empty()) pages.push_back(new_page());
    return atlas;
}

}  // namespace

Atlas render_atlas(
    const Font& font, std::u32string_view characters, const AtlasOptions& options, const std::string& name)
{
    if (options.sdf && options.mono) {  // a distance field needs its 8 bits, in the pages too
        AtlasOptions field = options;
        field.mono = false;
        return render_atlas(font, characters, field, name);
    }
    if (options.grid) return render_grid(font, characters, options, name);
    std::u32string drawn;
    for (char32_t c : characters)
        if (needs_glyph(c) && font.has(c)) drawn += c;
    const std::vector<Rendered> glyphs =
        render_all(
        font, drawn, RenderStyle{options.mono, options.sdf, options.spread}, options.size, 0, options.progress);

    // Glyphs with pixels are packed, page after page; the space and its kind take no room.
    const unsigned pad = options.padding;
    const unsigned largest_width = options.page_auto ? largest_auto_page : options.page_width;
    const unsigned largest_height = options.page_auto ? largest_auto_page : options.page_height;
    for (const Rendered& glyph : glyphs)
        if (glyph.width > 0 && glyph.height > 0 &&
            (glyph.width + 2 * pad > largest_width || glyph.height + 2 * pad > largest_height))
            throw Failure(Code::GlyphTooLargeForPage,
                {{"path", font.path()}, {"character", glyph.character},
                    {"width", std::uint64_t{glyph.width + 2 * pad}},
                    {"height", std::uint64_t{glyph.height + 2 * pad}},
                    {"page_width", std::uint64_t{largest_width}},
                    {"page_height", std::uint64_t{largest_height}}});
    const FT_Size_Metrics& size_metrics = font.faces().face->size->metrics;
    const int base = static_cast<int>((size_metrics.ascender + 63) >> 6);
    const AtlasMetrics metrics{
        static_cast<unsigned>((size_metrics.height + 63) >> 6), static_cast<unsigned>(base)};
    Notes notes;
    std::optional<Atlas> kept;
    if (options.earlier) kept = keep_earlier_places(glyphs, options, name, metrics, notes);
    Atlas atlas = kept ? std::move(*kept) : packed_anew(font, glyphs, options);
    atlas.notes = std::move(notes);
    std::vector<AtlasChar>& placements = atlas.font.chars;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Rendered& glyph = glyphs[i];
        AtlasChar& placed = placements[i];
        placed.id = glyph.character;
        placed.width = glyph.width;
        placed.height = glyph.height;
        placed.xoffset = glyph.left;
        placed.yoffset = base - glyph.top;
        placed.xadvance = glyph.advance;
    }
    atlas.font.line_height = metrics.line_height;
    atlas.font.base = metrics.base;
    finish_atlas(font, atlas, options, name);
    return atlas;
}

void finish_atlas(const Font& font, Atlas& atlas, const AtlasOptions& options, const std::string& name)
{
    BitmapFont& bitmap = atlas.font;
    bitmap.face = font.family();
    bitmap.size = options.size;
    bitmap.smooth = !options.mono;
    bitmap.spacing = options.grid ? 0 : options.padding;
    bitmap.page_width = atlas.page_pixels.front().width;
    bitmap.page_height = atlas.page_pixels.front().height;
    bitmap.distance_range = options.sdf ? 2 * options.spread : 0;
    // A page kept from an earlier atlas, which gained no glyph, keeps its bytes.
    atlas.pages.resize(atlas.page_pixels.size());
    for (std::size_t i = 0; i < atlas.page_pixels.size(); ++i) {
        const PagePixels& page = atlas.page_pixels[i];
        bitmap.page_files.push_back(name + "_" + std::to_string(i) + ".png");
        if (atlas.pages[i].empty())
            atlas.pages[i] = checked(
                png(page.values, page.width, page.height, options.mono ? Pixels::OneBit : Pixels::GreyAlpha));
    }
    if (options.kerning) {
        std::u32string kept;
        for (const AtlasChar& glyph : bitmap.chars)
            kept += glyph.id;
        bitmap.kernings = kerning_pairs(font, kept, options.size);
    }
    atlas.descriptor = write_descriptor(bitmap, options.format);
}

}  // namespace charlib
