#include "glyphs.h"

#include <png.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "faces.h"

#include FT_GLYPH_H
#include FT_MODULE_H
#include FT_OUTLINE_H

namespace charlib {

namespace {

// No sound font has glyphs or lines many ems high; a damaged one (its units
// per em far too small, its coordinates or metrics garbage) would have
// FreeType fill bitmaps, and the preview a picture, of gigabytes.
constexpr long largest_in_ems = 8;
constexpr unsigned smallest_size = 4, largest_size = 256;

void set_size(const std::filesystem::path& path, FT_Face face, unsigned size)
{
    if (size < smallest_size || size > largest_size)
        throw Failure(Code::SizeOutOfRange,
            {{"path", path}, {"size", std::uint64_t{size}}, {"low", std::uint64_t{smallest_size}},
                {"high", std::uint64_t{largest_size}}});
    if (FT_Set_Pixel_Sizes(face, 0, size) != 0)
        throw Failure(Code::SizeNotInFont, {{"path", path}, {"size", std::uint64_t{size}}});
    const FT_Size_Metrics& metrics = face->size->metrics;
    const long line = (metrics.height + 63) >> 6, limit = largest_in_ems * size;
    if (line < 0 || line > limit || (metrics.ascender >> 6) > limit || (-metrics.descender >> 6) > limit)
        throw Failure(Code::LinesTooTall,
            {{"path", path}, {"size", std::uint64_t{size}}, {"height", std::int64_t{line}},
                {"times", std::int64_t{largest_in_ems}}});
}

// What is wrong with a character's glyph.
Failure glyph_failure(Code code, const std::filesystem::path& path, char32_t c)
{
    return Failure(code, {{"path", path}, {"character", c}});
}

// Refuses an outline far larger than the size before it is drawn.
void check_extent(const std::filesystem::path& path, FT_Face face, char32_t c)
{
    if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return;  // a bitmap is as large as its strike
    FT_BBox box;
    FT_Outline_Get_CBox(&face->glyph->outline, &box);
    const long width = (box.xMax - box.xMin) >> 6, height = (box.yMax - box.yMin) >> 6;
    const long size = face->size->metrics.y_ppem;
    if (width > largest_in_ems * size || height > largest_in_ems * size)
        throw Failure(Code::GlyphTooTall,
            {{"path", path}, {"character", c}, {"size", std::int64_t{size}}, {"width", std::int64_t{width}},
                {"height", std::int64_t{height}}, {"times", std::int64_t{largest_in_ems}}});
}

struct GlyphDone {
    void operator()(FT_Glyph glyph) const { FT_Done_Glyph(glyph); }
};
using GlyphCopy = std::unique_ptr<FT_GlyphRec, GlyphDone>;

// Loads the glyph's outline and draws it as a distance field: FreeType's
// "sdf" renderer gives 128 on the outline, more inside, and a margin of the
// spread around it, with bitmap_left and bitmap_top moved out to match.
// Returns the outline as loaded, or nothing for a glyph with no outline,
// such as the space.
GlyphCopy load_distance_field(
    const std::filesystem::path& path, const Font::Faces& faces, char32_t c, unsigned spread)
{
    FT_Int field_spread = static_cast<FT_Int>(spread);
    if (FT_Property_Set(faces.library, "sdf", "spread", &field_spread) != 0)
        throw Failure(Code::SpreadOutOfRange,
            {{"path", path}, {"spread", std::uint64_t{spread}}, {"low", std::uint64_t{2}},
                {"high", std::uint64_t{32}}});
    // The outline even where the font has a bitmap for the size.
    FT_Face face = faces.face;
    if (FT_Load_Char(face, c, FT_LOAD_NO_BITMAP) != 0) throw glyph_failure(Code::DamagedGlyph, path, c);
    if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) throw glyph_failure(Code::NoOutlineForField, path, c);
    if (face->glyph->outline.n_contours == 0) return {};
    check_extent(path, face, c);
    FT_Glyph outline = nullptr;
    if (FT_Get_Glyph(face->glyph, &outline) != 0) throw glyph_failure(Code::CannotDrawGlyph, path, c);
    GlyphCopy copy(outline);
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_SDF) != 0)
        throw glyph_failure(Code::CannotDrawField, path, c);
    return copy;
}

// Where contours overlap, as CJK strokes often do, FreeType's field can take
// the wrong side of the outline; the plain coverage (nonzero winding) is
// right. A pixel fully inked or bare gets the field's distance mirrored to
// its side.
void correct_sides(Rendered& field, FT_BitmapGlyph ink)
{
    const FT_Bitmap& bitmap = ink->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.num_grays != 256) return;
    // The field is the coverage's rectangle with a margin: where the coverage sits in it.
    const int x0 = ink->left - field.left, y0 = field.top - ink->top;
    const int pitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
    for (int y = 0; y < static_cast<int>(field.height); ++y)
        for (int x = 0; x < static_cast<int>(field.width); ++x) {
            const int ink_x = x - x0, ink_y = y - y0;
            int coverage = 0;
            if (ink_x >= 0 && ink_y >= 0 && ink_x < static_cast<int>(bitmap.width) &&
                ink_y < static_cast<int>(bitmap.rows)) {
                const int row = bitmap.pitch < 0 ? static_cast<int>(bitmap.rows) - 1 - ink_y : ink_y;
                coverage = bitmap.buffer[std::ptrdiff_t{row} * pitch + ink_x];
            }
            unsigned char& value = field.coverage[std::size_t(y) * field.width + std::size_t(x)];
            const int mirrored = 256 - value;
            if (coverage == 255 && value <= 128)
                value = static_cast<unsigned char>(std::clamp(mirrored, 129, 255));
            else if (coverage == 0 && value >= 128)
                value = static_cast<unsigned char>(std::clamp(mirrored, 0, 127));
        }
}

// The glyph drawn with one FreeType face, the font's or a thread's own.
Rendered render(
    const std::filesystem::path& path, const Font::Faces& faces, char32_t c, const RenderStyle& style)
{
    FT_Face face = faces.face;
    GlyphCopy outline;
    if (style.sdf) {
        outline = load_distance_field(path, faces, c, style.spread);
        if (!outline)
            return Rendered{c, 0, 0, 0, 0, static_cast<int>((face->glyph->advance.x + 32) >> 6), {}};
    } else {
        // Loaded and drawn in two steps (as FT_LOAD_RENDER would), to see its size between them.
        const FT_Int32 target = style.mono ? FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME : FT_LOAD_TARGET_NORMAL;
        if (FT_Load_Char(face, c, target) != 0) throw glyph_failure(Code::DamagedGlyph, path, c);
        check_extent(path, face, c);
        if (FT_Render_Glyph(face->glyph, style.mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0)
            throw glyph_failure(Code::DamagedGlyph, path, c);
    }
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    Rendered glyph{c, bitmap.width, bitmap.rows, slot->bitmap_left, slot->bitmap_top,
        static_cast<int>((slot->advance.x + 32) >> 6), {}};
    glyph.coverage.resize(std::size_t{glyph.width} * glyph.height);
    const unsigned pitch = static_cast<unsigned>(bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch);
    for (unsigned y = 0; y < glyph.height; ++y) {
        const unsigned char* row =
            bitmap.buffer + std::size_t{bitmap.pitch < 0 ? glyph.height - 1 - y : y} * pitch;
        for (unsigned x = 0; x < glyph.width; ++x) {
            unsigned value = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                value = (row[x >> 3] >> (7 - (x & 7)) & 1) * 255;
            else if (style.sdf)  // the field as it is: its num_grays says 255 but it spans 0 to 255
                value = row[x];
            else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
                value = bitmap.num_grays > 1 ? row[x] * 255u / (bitmap.num_grays - 1u) : row[x];
            else
                throw glyph_failure(Code::ColourGlyph, path, c);
            glyph.coverage[std::size_t{y} * glyph.width + x] = static_cast<unsigned char>(value);
        }
    }
    if (outline) {
        // The plain coverage of the same outline, a small cost beside the field's.
        FT_Glyph plain = outline.get();
        if (FT_Glyph_To_Bitmap(&plain, FT_RENDER_MODE_NORMAL, nullptr, false) != 0)
            throw glyph_failure(Code::CannotDrawGlyph, path, c);
        const GlyphCopy ink(plain);
        correct_sides(glyph, reinterpret_cast<FT_BitmapGlyph>(plain));
    }
    // A blank glyph, such as the space, has no pixels at all.
    if (std::all_of(
            glyph.coverage.begin(), glyph.coverage.end(), [](unsigned char value) { return value == 0; })) {
        glyph.width = glyph.height = 0;
        glyph.coverage.clear();
    }
    return glyph;
}

}  // namespace

void set_size(const Font& font, unsigned size)
{
    set_size(font.path(), font.faces().face, size);
}

Rendered render(const Font& font, char32_t c, const RenderStyle& style)
{
    return render(font.path(), font.faces(), c, style);
}

std::vector<Rendered> render_all(const Font& font, std::u32string_view characters, const RenderStyle& style,
    unsigned size, unsigned threads, const Progress& progress)
{
    set_size(font, size);
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    // A thread opens a face of its own: worth it for a few dozen glyphs at least.
    constexpr std::size_t least_a_thread = 32;
    threads = static_cast<unsigned>(std::clamp<std::size_t>(characters.size() / least_a_thread, 1, threads));
    std::vector<Rendered> glyphs(characters.size());
    const auto tell = [&](std::size_t done) {
        if (progress) progress(done, characters.size());
    };
    if (threads == 1) {
        for (std::size_t i = 0; i < characters.size(); ++i) {
            glyphs[i] = render(font, characters[i], style);
            if (i % 16 == 15) tell(i + 1);
        }
        return glyphs;
    }

    // The calling thread draws with the font's face, the others each with a
    // face of their own read from the same bytes: FreeType's objects are not
    // to be shared between threads.
    unsigned length = 0;
    const auto* data = reinterpret_cast<const FT_Byte*>(hb_blob_get_data(font.faces().blob, &length));
    const auto own_faces = std::make_unique<Font::Faces[]>(threads - 1);
    for (unsigned t = 0; t + 1 < threads; ++t) {
        Font::Faces& faces = own_faces[t];
        if (FT_Init_FreeType(&faces.library) != 0) throw std::bad_alloc();  // its one way to fail
        if (FT_New_Memory_Face(faces.library, data, static_cast<FT_Long>(length),
                static_cast<FT_Long>(font.faces().index), &faces.face) != 0 ||
            FT_Select_Charmap(faces.face, FT_ENCODING_UNICODE) != 0)
            throw Failure(
                Code::DamagedFace, {{"path", font.path()}, {"face", std::uint64_t{font.faces().index}}});
        set_size(font.path(), faces.face, size);
    }

    // Chunks of characters handed out in order; a thread that fails stops, and
    // the others take no new chunk. Every character before the first failing
    // one is then drawn, so the failure reported is the one a single thread meets.
    constexpr std::size_t chunk = 16;
    std::atomic<std::size_t> next{0}, drawn{0};
    std::atomic<bool> failed{false};
    struct Failed {
        std::size_t position = SIZE_MAX;
        std::exception_ptr error;
    };
    std::vector<Failed> failures(threads);
    const auto work = [&](unsigned t) {
        const Font::Faces& faces = t == 0 ? font.faces() : own_faces[t - 1];
        while (!failed) {
            const std::size_t begin = next.fetch_add(chunk);
            if (begin >= characters.size()) return;
            for (std::size_t i = begin; i < std::min(begin + chunk, characters.size()); ++i) {
                try {
                    glyphs[i] = render(font.path(), faces, characters[i], style);
                } catch (...) {
                    failures[t] = {i, std::current_exception()};
                    failed = true;
                    return;
                }
            }
            const std::size_t done = drawn += std::min(chunk, characters.size() - begin);
            if (t != 0) continue;
            try {
                tell(done);  // from the calling thread alone
            } catch (...) {
                // The caller stopped the work: the others take no new chunk, and this is what is reported.
                failures[0] = {0, std::current_exception()};
                failed = true;
                return;
            }
        }
    };
    {
        std::vector<std::jthread> workers;
        try {
            for (unsigned t = 1; t < threads; ++t)
                workers.emplace_back(work, t);
        } catch (const std::system_error&) {
            // No more threads to be had: those started and this one draw the rest.
        }
        work(0);
    }
    const auto first = std::min_element(failures.begin(), failures.end(),
        [](const Failed& a, const Failed& b) { return a.position < b.position; });
    if (first->error) std::rethrow_exception(first->error);
    return glyphs;
}

namespace {

void append(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

}  // namespace

std::string png(const std::vector<unsigned char>& image, unsigned width, unsigned height, Pixels pixels)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<unsigned char> row(std::size_t{width} * 2);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, append, nullptr);
    png_set_IHDR(png, info, width, height, pixels == Pixels::OneBit ? 1 : 8,
        pixels == Pixels::GreyAlpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (pixels == Pixels::OneBit) {
        // The .fnt takes glyphs from the alpha channel: black is transparent.
        png_color_16 transparent{};
        png_set_tRNS(png, info, nullptr, 0, &transparent);
    }
    png_write_info(png, info);
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* line = image.data() + std::size_t{y} * width;
        std::fill(row.begin(), row.end(), 0);
        for (unsigned x = 0; x < width; ++x) {
            if (pixels == Pixels::GreyAlpha) {
                row[2 * x] = 255;
                row[2 * x + 1] = line[x];
            } else if (pixels == Pixels::OneBit) {
                row[x >> 3] |= (line[x] >= 128) << (7 - (x & 7));
            } else {
                row[x] = line[x];
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string checked(std::string picture)
{
    if (picture.empty()) throw std::bad_alloc();  // libpng's way to fail with sizes this small
    return picture;
}

}  // namespace charlib
