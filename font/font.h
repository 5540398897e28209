#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
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
    // Throws FontError when the file cannot be read or parsed, or has no such face.
    explicit Font(const std::filesystem::path& path, unsigned face = 0);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string family() const;
    // Whether the character map has the character.
    bool has(char32_t c) const;
    // The characters the character map lacks, control characters aside.
    std::u32string missing(std::u32string_view characters) const;

    // FreeType's and HarfBuzz's views of the face (font/faces.h).
    struct Faces;
    const Faces& faces() const { return *faces_; }

private:
    std::filesystem::path path_;
    std::string data_;
    std::unique_ptr<Faces> faces_;
};

// Control characters (C0, DEL, C1): a line break or a tab is no glyph.
bool is_control(char32_t c);

// The font cut down to the characters (with .notdef and what the kept glyphs
// need), as TrueType/OpenType like the source, or WOFF2. Throws FontError.
std::string subset_font(const Font& font, std::u32string_view characters, bool woff2);

struct AtlasOptions {
    unsigned size = 16;  // pixel height, 4 to 256
    unsigned padding = 1;  // empty pixels around each glyph
    unsigned page_width = 1024, page_height = 1024;
    bool mono = false;  // 1-bit glyphs instead of 8-bit coverage
};

struct AtlasGlyph {
    char32_t character = 0;
    unsigned x = 0, y = 0, width = 0, height = 0, page = 0;
    int xoffset = 0, yoffset = 0, xadvance = 0;
};

struct Atlas {
    std::vector<std::string> pages;  // PNG files
    std::string descriptor;  // BMFont text
    std::vector<AtlasGlyph> glyphs;
};

// Every character of the set that the font has, rendered at the size and
// packed into pages named `name`_0.png, `name`_1.png... Throws FontError.
Atlas render_atlas(
    const Font& font, std::u32string_view characters, const AtlasOptions& options, const std::string& name);

// The set drawn in rows of 32 at the size, a missing character as an empty
// box: a PNG picture. Throws FontError.
std::string render_preview(const Font& font, std::u32string_view characters, unsigned size);

}  // namespace charlib
