#include "font/glyphs.h"

namespace charlib {

Atlas render_grid(const Font& font, std::u32string_view, const AtlasOptions&, const std::string&)
{
    throw FontError(font.path(), "：网格尚未实现");
}

}  // namespace charlib
