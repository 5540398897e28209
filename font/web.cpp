#include "font/font.h"

namespace charlib {

WebFont make_web_font(const Font& font, std::u32string_view, const WebFontOptions&)
{
    throw FontError(font.path(), "：网页字体尚未实现");
}

}  // namespace charlib
