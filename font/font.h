#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Fonts made from a character library: a subset font (HarfBuzz, WOFF2),
// a bitmap font atlas and a preview picture (FreeType, libpng).
namespace charlib {

// The one error type of the font library: the font's path and the reason,
// ready to show in Chinese.
class FontError : public std::runtime_error {
public:
    FontError(const std::filesystem::path& path, const std::string& reason);
};

// One face of a font file, held in memory.
class Font {
public:
    // Throws FontError when the file cannot be read or parsed, or has no such
    // face; a folder, a pipe or a device is refused at once.
    explicit Font(const std::filesystem::path& path, unsigned face = 0);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string family() const;
    // Whether the character map has the character.
    bool has(char32_t c) const;
    // The characters the character map lacks, of those that need a glyph.
    std::u32string missing(std::u32string_view characters) const;
    // Whether the outlines are CFF (a `CFF ` or `CFF2` table) rather than
    // TrueType's: such a font and its subsets belong in .otf files.
    bool has_cff_outlines() const;

    // FreeType's and HarfBuzz's views of the face (font/faces.h).
    struct Faces;
    const Faces& faces() const { return *faces_; }

private:
    std::filesystem::path path_;
    std::unique_ptr<Faces> faces_;
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
// with "+" (or nothing) to keep the feature or "-" to drop it. Returns the
// problem, ready to show in Chinese, when the list is malformed, and then
// leaves `changes` as it was.
std::optional<std::string> parse_layout_features(
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
// has (halt, palt, vhal, vpal, vert, vrt2, locl, ccmp, kern, vkrn); `features`
// are then applied in order. Throws FontError.
FontData subset_font(const Font& font, std::u32string_view characters, bool woff2,
    const std::vector<LayoutFeatureChange>& features = {});

struct AtlasOptions {
    unsigned size = 16;  // pixel height, 4 to 256
    unsigned padding = 1;  // empty pixels around each glyph
    unsigned page_width = 1024, page_height = 1024;
    bool mono = false;  // 1-bit glyphs instead of 8-bit coverage
};

struct Atlas {
    std::vector<std::string> pages;  // PNG files
    std::string descriptor;  // BMFont text
};

// Every character of the set that needs a glyph and that the font has,
// rendered at the size and packed into pages named `name`_0.png,
// `name`_1.png... Throws FontError.
Atlas render_atlas(
    const Font& font, std::u32string_view characters, const AtlasOptions& options, const std::string& name);

// The characters of the set that need a glyph, drawn in rows of 32 at the
// size, a missing one as an empty box: a PNG picture. Throws FontError.
std::string render_preview(const Font& font, std::u32string_view characters, unsigned size);

}  // namespace charlib
