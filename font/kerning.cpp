#include "font/font.h"

namespace charlib {

std::vector<KerningPair> kerning_pairs(const Font&, std::u32string_view, unsigned)
{
    return {};
}

}  // namespace charlib
