#include <string>

#include "font/font.h"

namespace charlib {

namespace {

std::string text_descriptor(const BitmapFont& font)
{
    const std::string smooth = font.smooth ? "1" : "0", spacing = std::to_string(font.spacing);
    std::string fnt = "info face=\"" + font.face + "\" size=" + std::to_string(font.size) +
        " bold=0 italic=0 charset=\"\" unicode=1 stretchH=100 smooth=" + smooth + " aa=" + smooth +
        " padding=0,0,0,0 spacing=" + spacing + "," + spacing + " outline=0\n";
    fnt += "common lineHeight=" + std::to_string(font.line_height) + " base=" + std::to_string(font.base) +
        " scaleW=" + std::to_string(font.page_width) + " scaleH=" + std::to_string(font.page_height) +
        " pages=" + std::to_string(font.page_files.size()) +
        " packed=0 alphaChnl=0 redChnl=4 greenChnl=4 blueChnl=4\n";
    for (std::size_t i = 0; i < font.page_files.size(); ++i)
        fnt += "page id=" + std::to_string(i) + " file=\"" + font.page_files[i] + "\"\n";
    fnt += "chars count=" + std::to_string(font.chars.size()) + "\n";
    for (const AtlasChar& glyph : font.chars)
        fnt += "char id=" + std::to_string(glyph.id) + " x=" + std::to_string(glyph.x) +
            " y=" + std::to_string(glyph.y) + " width=" + std::to_string(glyph.width) +
            " height=" + std::to_string(glyph.height) + " xoffset=" + std::to_string(glyph.xoffset) +
            " yoffset=" + std::to_string(glyph.yoffset) + " xadvance=" + std::to_string(glyph.xadvance) +
            " page=" + std::to_string(glyph.page) + " chnl=15\n";
    return fnt;
}

}  // namespace

std::string write_descriptor(const BitmapFont& font, AtlasFormat format)
{
    switch (format) {
    case AtlasFormat::Text: return text_descriptor(font);
    case AtlasFormat::Xml:
    case AtlasFormat::Json:
    case AtlasFormat::Binary: break;
    }
    return text_descriptor(font);
}

}  // namespace charlib
