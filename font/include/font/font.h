#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/outcome.h"

// Fonts made from a character library: a subset font (HarfBuzz, WOFF2),
// a bitmap font atlas and a preview picture (FreeType, libpng).
namespace charlib {

// What a face of a font file calls itself, from its name table.
struct FaceName {
    std::string family;  // the typographic family (name 16), else name 1; English where there is one
    std::string style;  // name 17, else 2
    std::vector<std::string> names;  // family and full names, in every language the table has
    std::string chinese_family;  // the family in simplified Chinese (zh-CN, zh-SG), where the table has it
    bool says_simplified = false;  // a word of a family name says so: SC, CN, GB..., or 简
};

// Which face of a font file to use: a number, else a name (any of the
// face's family or full names, in any case), else the first face whose
// family name says it is for simplified Chinese, else the first with a
// family name in simplified Chinese, else face 0.
struct FaceChoice {
    std::optional<unsigned> index;
    std::string name;
};

// Every face of a font file, in order, as Font::face_names() gives them: for
// saying which a file has when the one asked for is not there. Throws Failure.
std::vector<FaceName> face_names_of(const std::filesystem::path& path);

// One face of a font file, held in memory.
class Font {
public:
    // Throws Failure (base/outcome.h) when the file cannot be read or parsed,
    // or has no such face (NoSuchFace, NoFaceNamed, FaceNameAmbiguous); a
    // folder, a pipe or a device is refused at once.
    explicit Font(const std::filesystem::path& path, unsigned face = 0);
    Font(const std::filesystem::path& path, const FaceChoice& choice);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    const std::filesystem::path& path() const { return path_; }
    unsigned face_index() const;
    // Every face of the file, in order: one for a single font.
    const std::vector<FaceName>& face_names() const { return face_names_; }
    std::string family() const;
    // Whether the character map has the character.
    bool has(char32_t c) const;
    // The characters the character map lacks, of those that need a glyph.
    std::u32string missing(std::u32string_view characters) const;
    // The characters the character map has whose glyph draws nothing: an
    // empty outline, or one that cannot be loaded (a damaged font). Spaces
    // and format characters, blank by design, and characters that need no
    // glyph are left out.
    std::u32string blank(std::u32string_view characters) const;
    // Whether the outlines are CFF (a `CFF ` or `CFF2` table) rather than
    // TrueType's: such a font and its subsets belong in .otf files.
    bool has_cff_outlines() const;

    // FreeType's and HarfBuzz's views of the face (font/faces.h).
    struct Faces;
    const Faces& faces() const { return *faces_; }

private:
    std::filesystem::path path_;
    std::unique_ptr<Faces> faces_;
    std::vector<FaceName> face_names_;
};

// Whether a character is drawn with a glyph of its own: not a control
// character (a line break, a tab) nor a default-ignorable one (a variation
// selector, a joiner, the byte order mark), which renderers do not show.
bool needs_glyph(char32_t c);

// One change to the layout features (GSUB, GPOS) that a subset keeps.
struct LayoutFeatureChange {
    bool keep = true;  // false: drop it
    std::string tag;  // 1 to 4 printable ASCII characters, or "*" for every feature
};

// Reads a list of changes such as "+smcp,-kern", "*" (keep every feature) or
// "-*,smcp" (keep smcp alone): items apart by commas or spaces, each a tag
// with "+" (or nothing) to keep the feature or "-" to drop it. Returns what
// is wrong (BadFeatureTag, NoFeatureTags) when the list is malformed, and
// then leaves `changes` as it was.
std::optional<Outcome> parse_layout_features(
    std::string_view list, std::vector<LayoutFeatureChange>& changes);

// Bytes the font library made, held where they were made, not copied.
class FontData {
public:
    FontData() = default;
    explicit FontData(std::string bytes);
    FontData(std::shared_ptr<const void> owner, std::string_view bytes) :
        owner_(std::move(owner)),
        bytes_(bytes)
    {
    }
    std::string_view bytes() const { return bytes_; }

private:
    std::shared_ptr<const void> owner_;
    std::string_view bytes_;
};

// The font cut down to the characters (with .notdef and what the kept glyphs
// need), as TrueType/OpenType like the source, or WOFF2. Besides HarfBuzz's
// default layout features it keeps the CJK spacing and vertical ones the font
// has (halt, palt, vhal, vpal, chws, vchw, vert, vrt2, locl, ccmp, kern, vkrn); `features`
// are then applied in order. Throws Failure.
FontData subset_font(const Font& font, std::u32string_view characters, bool woff2,
    const std::vector<LayoutFeatureChange>& features = {});

// The forms of the descriptor that engines read beside the pages: BMFont's
// text (`.fnt`), XML, JSON (the layout JavaScript loaders read) and binary
// version 3. Each carries the same information.
enum class AtlasFormat { Text, Xml, Json, Binary };

// A fixed grid instead of packed pages: character i of the set in cell i,
// row by row, so that a cell's number is the character's place in the tbl.
struct GridOptions {
    unsigned cell_width = 16, cell_height = 16;
    unsigned columns = 16;  // cells a row; a sheet has as many rows as fit the page's height
    unsigned first_code = 0x8000;  // the tbl code of character 0, for the widths
    std::string line_end = "\r\n";  // of the widths
};

struct EarlierAtlas;

struct AtlasOptions {
    unsigned size = 16;  // pixel height, 4 to 256
    unsigned padding = 1;  // empty pixels around each glyph
    unsigned page_width = 1024, page_height = 1024;
    // The smallest page whose sides are powers of two (up to 4096) that holds
    // every glyph, else as many 4096×4096 pages as needed; the size above is
    // then not used.
    bool page_auto = false;
    bool mono = false;  // 1-bit glyphs instead of 8-bit coverage
    bool sdf = false;  // a signed distance field: 128 on the outline, more inside
    unsigned spread = 4;  // of the field, in pixels each side of the outline (2 to 32), inside the glyph's bitmap
    bool kerning = true;  // the pairs of the set the font kerns
    AtlasFormat format = AtlasFormat::Text;
    std::optional<GridOptions> grid;
    std::function<void(std::size_t done, std::size_t total)> progress = {};  // glyphs drawn, now and then
    // The atlas as written before (read_earlier_atlas), whose glyphs keep their
    // places: see render_atlas. Not with a grid.
    std::shared_ptr<const EarlierAtlas> earlier;
};

// One glyph's place, in BMFont's terms: its rectangle on a page, and where to
// draw it from the pen position on the top of the line.
struct AtlasChar {
    char32_t id = 0;
    unsigned x = 0, y = 0, width = 0, height = 0;
    int xoffset = 0, yoffset = 0, xadvance = 0;
    unsigned page = 0;
};

// Pixels added to the first character's advance when the second follows it.
struct KerningPair {
    char32_t first = 0, second = 0;
    int amount = 0;
};

// What every form of the descriptor says.
struct BitmapFont {
    std::string face;
    unsigned size = 0;
    bool smooth = true;  // 8-bit glyphs, not 1-bit
    unsigned spacing = 0;  // empty pixels around each glyph
    unsigned line_height = 0, base = 0;
    unsigned page_width = 0, page_height = 0;
    std::vector<std::string> page_files;
    std::vector<AtlasChar> chars;
    std::vector<KerningPair> kernings;
    unsigned distance_range = 0;  // a signed distance field of this range (twice the spread); 0: none
};

// A page's pixels before PNG: a byte a pixel, rows top down; coverage, or
// the distance field, or 0 and 255 for 1-bit glyphs.
struct PagePixels {
    unsigned width = 0, height = 0;
    std::vector<unsigned char> values;
};

struct Atlas {
    BitmapFont font;
    std::vector<PagePixels> page_pixels;
    std::vector<std::string> pages;  // PNG files
    std::string descriptor;  // in the form asked for
    std::string widths;  // a grid's: one "HHHH=advance" line a character
    // Why an earlier atlas could not be kept and the glyphs were packed anew:
    // AtlasUnreadable, AtlasSettingsChanged or AtlasFontChanged.
    Notes notes;
};

// An atlas written before, read back so that the next one keeps each glyph
// where it was: its descriptor, and each page as its PNG bytes and its pixels.
struct EarlierAtlas {
    std::filesystem::path descriptor;
    BitmapFont font;
    std::vector<std::string> pages;
    std::vector<PagePixels> page_pixels;
    // AtlasUnreadable (path: the descriptor or the page): it cannot be kept.
    std::optional<Outcome> unusable;
};

// The atlas whose descriptor is at `path`, in any of the four forms, and its
// pages beside it; nothing when there is no such file. A descriptor or a page
// that cannot be read, is damaged or does not match comes back `unusable`,
// not thrown.
std::optional<EarlierAtlas> read_earlier_atlas(const std::filesystem::path& path);

// A descriptor in any of the four forms, told by its first bytes; nothing
// when it is not one or its numbers do not fit their fields.
std::optional<BitmapFont> read_descriptor(std::string_view bytes);

// Every character of the set that needs a glyph and that the font has,
// rendered at the size and packed into pages named `name`_0.png,
// `name`_1.png... (or, with a grid, every character of the set in its cell).
// With `options.earlier`, each glyph the earlier atlas has keeps its page and
// rectangle; the others go into the free space (where glyphs no longer used
// were, cleared first), on a new page only when no page has room, and a page
// that gains no glyph keeps its bytes. When the earlier atlas cannot be kept
// (unusable, other settings, another font) the glyphs are packed anew, with
// a note. Throws Failure.
Atlas render_atlas(
    const Font& font, std::u32string_view characters, const AtlasOptions& options, const std::string& name);

// The descriptor in one of its forms.
std::string write_descriptor(const BitmapFont& font, AtlasFormat format);

// The pairs among the characters that the font kerns (its `kern` table or
// GPOS pair adjustments), in pixels at the size, those that round to
// nothing left out. Throws Failure.
std::vector<KerningPair> kerning_pairs(const Font& font, std::u32string_view characters, unsigned size);

// The characters of the set that need a glyph, drawn in rows of 32 at the
// size, a missing one as an empty box: a PNG picture. Throws Failure.
std::string render_preview(const Font& font, std::u32string_view characters, unsigned size);

// The same drawn from an atlas's own pages, as an engine will show them (a
// distance field cut at its outline). Throws Failure.
std::string render_preview(const Atlas& atlas, std::u32string_view characters);

}  // namespace charlib
