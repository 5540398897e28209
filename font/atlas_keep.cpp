#include <png.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/input_file.h"
#include "font/font.h"
#include "glyphs.h"

// --atlas-keep: an atlas whose glyphs stay where the earlier one had them, so
// that a page changes only when it gains a glyph and a patch carries only
// those pages.
namespace charlib {

namespace {

// A descriptor lists a few thousand glyphs; a page is at most 16384² pixels.
constexpr std::uint64_t largest_descriptor = std::uint64_t{64} << 20;
constexpr std::uint64_t largest_page_file = std::uint64_t{512} << 20;
constexpr unsigned largest_page_side = 16384;

std::optional<std::string> file_bytes(const std::filesystem::path& path, std::uint64_t most)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) > most)
        return std::nullopt;
    try {
        InputFile file(path);
        std::string bytes(static_cast<std::size_t>(file.size()), '\0');
        std::size_t got = 0;
        while (got < bytes.size()) {
            const std::size_t count = file.read_at(got, bytes.data() + got, bytes.size() - got);
            if (count == 0) return std::nullopt;  // shorter than it said: changing under us
            got += count;
        }
        return bytes;
    } catch (const Failure&) {
        return std::nullopt;
    }
}

// A page's values from its PNG: the alpha channel, where the atlas puts the
// glyphs (a 1-bit page's transparent black reads as 0, its white as 255).
std::optional<PagePixels> decoded_page(const std::string& bytes, unsigned width, unsigned height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return std::nullopt;
    if (image.width != width || image.height != height) {
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_GA;
    std::vector<unsigned char> grey_alpha(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, grey_alpha.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    PagePixels page{width, height, std::vector<unsigned char>(std::size_t{width} * height)};
    for (std::size_t i = 0; i < page.values.size(); ++i)
        page.values[i] = grey_alpha[2 * i + 1];
    return page;
}

// Which pixels of a page are taken, and the first place, from the top and
// then from the left, where a rectangle overlaps none. Each row keeps, for
// each pixel, the length of the run of free (positive) or taken (negative)
// pixels that begins there, so that a search skips whole runs: two bytes a
// pixel, as a page side is at most 16384.
class PageSpace {
public:
    PageSpace(unsigned width, unsigned height) :
        width_(width),
        height_(height),
        runs_(std::size_t{width} * height, 1),
        widest_(height)
    {
        for (unsigned y = 0; y < height; ++y)
            measure_row(y);
    }

    bool is_free(unsigned x, unsigned y, unsigned w, unsigned h) const
    {
        if (x + w > width_ || y + h > height_) return false;
        for (unsigned row = y; row < y + h; ++row)
            if (runs_[index(x, row)] < static_cast<std::int32_t>(w)) return false;  // taken, or too short
        return true;
    }

    void take(unsigned x, unsigned y, unsigned w, unsigned h)
    {
        for (unsigned row = y; row < y + h; ++row) {
            std::fill_n(runs_.begin() + static_cast<std::ptrdiff_t>(index(x, row)), w, -1);
            measure_row(row);
        }
    }

    std::optional<std::pair<unsigned, unsigned>> find(unsigned w, unsigned h)
    {
        if (w == 0 || h == 0 || w > width_ || h > height_) return std::nullopt;
        // A rectangle no smaller than one that found no place finds none either.
        for (const auto& [failed_w, failed_h] : failed_)
            if (w >= failed_w && h >= failed_h) return std::nullopt;
        for (unsigned y = 0; y + h <= height_; ++y) {
            const auto narrow = std::find_if(
                widest_.begin() + y, widest_.begin() + y + h, [w](unsigned widest) { return widest < w; });
            if (narrow != widest_.begin() + y + h) {
                y = static_cast<unsigned>(narrow - widest_.begin());  // no place reaches over that row
                continue;
            }
            for (unsigned x = 0; x + w <= width_;) {
                const std::int32_t run = runs_[index(x, y)];
                if (run < static_cast<std::int32_t>(w)) {
                    x += static_cast<unsigned>(run < 0 ? -run : run);
                    continue;
                }
                for (unsigned left = x; left + w <= x + static_cast<unsigned>(run); ++left)
                    if (is_free(left, y, w, h)) return std::pair(left, y);
                x += static_cast<unsigned>(run);
            }
        }
        failed_.emplace_back(w, h);
        return std::nullopt;
    }

private:
    std::size_t index(unsigned x, unsigned y) const { return std::size_t{y} * width_ + x; }

    // The runs of a row again, from which of its pixels are taken (negative).
    void measure_row(unsigned y)
    {
        std::int32_t run = 0;
        bool run_taken = false;
        unsigned widest = 0;
        for (unsigned x = width_; x-- > 0;) {
            const bool taken = runs_[index(x, y)] < 0;
            run = (x + 1 < width_ && taken == run_taken) ? run + 1 : 1;
            run_taken = taken;
            runs_[index(x, y)] = static_cast<std::int16_t>(taken ? -run : run);
            if (!taken) widest = std::max(widest, static_cast<unsigned>(run));
        }
        widest_[y] = widest;
    }

    unsigned width_, height_;
    std::vector<std::int16_t> runs_;
    std::vector<unsigned> widest_;  // a row's longest free run
    std::vector<std::pair<unsigned, unsigned>> failed_;
};

// A glyph's pixels against those under its rectangle on the page.
bool drawn_alike(const Rendered& glyph, const PagePixels& page, const AtlasChar& place)
{
    for (unsigned y = 0; y < glyph.height; ++y)
        if (!std::equal(glyph.coverage.begin() + std::ptrdiff_t{y} * glyph.width,
                glyph.coverage.begin() + std::ptrdiff_t{y + 1} * glyph.width,
                page.values.begin() +
                    static_cast<std::ptrdiff_t>(std::size_t{place.y + y} * page.width + place.x)))
            return false;
    return true;
}

}  // namespace

std::optional<EarlierAtlas> read_earlier_atlas(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return std::nullopt;
    EarlierAtlas earlier;
    earlier.descriptor = path;
    const auto unusable = [&](const std::filesystem::path& file) {
        earlier.unusable = Outcome(Code::AtlasUnreadable, {{"path", file}});
        earlier.pages.clear();
        earlier.page_pixels.clear();
        return earlier;
    };
    const std::optional<std::string> bytes = file_bytes(path, largest_descriptor);
    std::optional<BitmapFont> font = bytes ? read_descriptor(*bytes) : std::nullopt;
    // No page larger than --page makes: a damaged size would be gigabytes of pixels.
    if (!font || font->page_files.empty() || font->page_width > largest_page_side ||
        font->page_height > largest_page_side)
        return unusable(path);
    earlier.font = std::move(*font);
    for (const std::string& file : earlier.font.page_files) {
        // Only a page beside the descriptor: a name with a folder in it is not the atlas's.
        const std::filesystem::path page = path.parent_path() / file;
        if (std::filesystem::path(file).filename() != file) return unusable(page);
        std::optional<std::string> png = file_bytes(page, largest_page_file);
        std::optional<PagePixels> pixels =
            png ? decoded_page(*png, earlier.font.page_width, earlier.font.page_height) : std::nullopt;
        if (!pixels) return unusable(page);
        earlier.pages.push_back(std::move(*png));
        earlier.page_pixels.push_back(std::move(*pixels));
    }
    return earlier;
}

std::optional<Atlas> keep_earlier_places(const std::vector<Rendered>& glyphs, const AtlasOptions& options,
    const std::string& name, const AtlasMetrics& metrics, Notes& notes)
{
    const EarlierAtlas& earlier = *options.earlier;
    if (earlier.unusable) {
        notes.push_back(*earlier.unusable);
        return std::nullopt;
    }
    const BitmapFont& was = earlier.font;
    const auto unreadable = [&] {
        notes.push_back(Outcome(Code::AtlasUnreadable, {{"path", earlier.descriptor}}));
        return std::nullopt;
    };
    const auto font_changed = [&](char32_t character) {
        notes.push_back(
            Outcome(Code::AtlasFontChanged, {{"path", earlier.descriptor}, {"character", character}}));
        return std::nullopt;
    };
    // Pages named as this atlas names them, as many as the descriptor lists.
    if (earlier.page_pixels.size() != was.page_files.size() || was.page_files.empty() ||
        was.page_width > largest_page_side || was.page_height > largest_page_side)
        return unreadable();
    for (const PagePixels& page : earlier.page_pixels)
        if (page.width != was.page_width || page.height != was.page_height ||
            page.values.size() != std::size_t{page.width} * page.height)
            return unreadable();
    for (std::size_t i = 0; i < was.page_files.size(); ++i)
        if (was.page_files[i] != name + "_" + std::to_string(i) + ".png") return unreadable();

    // Settings that change every glyph. The binary form has no distance field:
    // there a changed spread shows in the glyphs themselves, below.
    const unsigned range = options.sdf ? 2 * options.spread : 0;
    const bool same_page =
        options.page_auto || (was.page_width == options.page_width && was.page_height == options.page_height);
    if (was.size != options.size || was.smooth == options.mono || was.spacing != options.padding ||
        !same_page || (options.format != AtlasFormat::Binary && was.distance_range != range) ||
        was.line_height != metrics.line_height || was.base != metrics.base) {
        notes.push_back(Outcome(Code::AtlasSettingsChanged, {{"path", earlier.descriptor}}));
        return std::nullopt;
    }

    // Each glyph the earlier atlas has must be drawn as it was there: its
    // measures, and its pixels on the page. Comparing the pixels tells a font
    // of the same name with other outlines (or another FreeType's drawing)
    // from the same font, which no name or size in the descriptor could.
    const unsigned pad = options.padding;
    const unsigned page_width = was.page_width, page_height = was.page_height;
    std::map<char32_t, const AtlasChar*> had;
    for (const AtlasChar& glyph : was.chars)
        had.emplace(glyph.id, &glyph);
    std::vector<PageSpace> spaces;
    for (std::size_t i = 0; i < earlier.page_pixels.size(); ++i)
        spaces.emplace_back(page_width, page_height);
    Atlas atlas;
    atlas.page_pixels = earlier.page_pixels;
    atlas.pages = earlier.pages;
    std::vector<AtlasChar>& places = atlas.font.chars;
    places.resize(glyphs.size());
    std::vector<std::size_t> waiting;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Rendered& glyph = glyphs[i];
        const auto found = had.find(glyph.character);
        const bool drawn = glyph.width > 0 && glyph.height > 0;
        if (found == had.end()) {
            if (drawn) waiting.push_back(i);
            continue;
        }
        const AtlasChar& place = *found->second;
        if (place.width != glyph.width || place.height != glyph.height || place.xoffset != glyph.left ||
            place.yoffset != static_cast<int>(metrics.base) - glyph.top || place.xadvance != glyph.advance)
            return font_changed(glyph.character);
        if (!drawn) continue;
        if (place.page >= spaces.size() || place.x + place.width > page_width ||
            place.y + place.height > page_height)
            return unreadable();
        // The padding too is kept clear; two glyphs on the same pixels are a damaged descriptor.
        const unsigned x = place.x >= pad ? place.x - pad : 0, y = place.y >= pad ? place.y - pad : 0;
        const unsigned w = std::min(place.x + place.width + pad, page_width) - x;
        const unsigned h = std::min(place.y + place.height + pad, page_height) - y;
        if (!spaces[place.page].is_free(x, y, w, h)) return unreadable();
        spaces[place.page].take(x, y, w, h);
        if (!drawn_alike(glyph, atlas.page_pixels[place.page], place)) return font_changed(glyph.character);
        places[i].x = place.x;
        places[i].y = place.y;
        places[i].page = place.page;
    }

    // The new glyphs, tallest first, each on a page that already changes if one has room, else
    // on the first page with room, else on a new page: as few pages change as can be.
    std::stable_sort(waiting.begin(), waiting.end(), [&](std::size_t a, std::size_t b) {
        return std::pair(glyphs[a].height, glyphs[a].width) > std::pair(glyphs[b].height, glyphs[b].width);
    });
    for (const std::size_t i : waiting) {
        const Rendered& glyph = glyphs[i];
        const unsigned w = glyph.width + 2 * pad, h = glyph.height + 2 * pad;
        std::optional<std::pair<unsigned, unsigned>> spot;
        std::size_t page = 0;
        for (const bool changing : {true, false})
            for (std::size_t tried = 0; tried < spaces.size() && !spot; ++tried)
                if (atlas.pages[tried].empty() == changing && (spot = spaces[tried].find(w, h))) page = tried;
        // --page auto chose the smallest page that held the earlier glyphs: what outgrows it
        // takes a larger page, as a fresh pack would, not a second one.
        if (!spot && options.page_auto &&
            (page_width < largest_auto_page || page_height < largest_auto_page)) {
            notes.push_back(Outcome(Code::AtlasPageOutgrown,
                {{"path", earlier.descriptor}, {"page_width", std::uint64_t{page_width}},
                    {"page_height", std::uint64_t{page_height}}}));
            return std::nullopt;
        }
        if (!spot) {
            spaces.emplace_back(page_width, page_height);
            atlas.page_pixels.push_back(
                {page_width, page_height, std::vector<unsigned char>(std::size_t{page_width} * page_height)});
            atlas.pages.emplace_back();
            spot = spaces.back().find(w, h);
            page = spaces.size() - 1;
        }
        spaces[page].take(spot->first, spot->second, w, h);
        // What a glyph no longer used left there goes: the new one and its padding start clear.
        PagePixels& pixels = atlas.page_pixels[page];
        for (unsigned y = 0; y < h; ++y)
            std::fill_n(pixels.values.begin() +
                    static_cast<std::ptrdiff_t>(std::size_t{spot->second + y} * page_width + spot->first),
                w, 0);
        AtlasChar& placed = places[i];
        placed.x = spot->first + pad;
        placed.y = spot->second + pad;
        placed.page = static_cast<unsigned>(page);
        for (unsigned y = 0; y < glyph.height; ++y)
            std::copy_n(glyph.coverage.begin() + std::ptrdiff_t{y} * glyph.width, glyph.width,
                pixels.values.begin() +
                    static_cast<std::ptrdiff_t>(std::size_t{placed.y + y} * page_width + placed.x));
        atlas.pages[page].clear();  // drawn again
    }
    return atlas;
}

}  // namespace charlib
