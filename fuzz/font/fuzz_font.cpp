// Arbitrary bytes as the font for the subset and the atlas: a FontError or a
// result, never a crash or a leak.

#include "../fuzz_input.h"
#include "font/font.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const unsigned face = input.take_byte() % 3;
    const unsigned options = input.take_byte();
    const std::u32string set = U"Aa \u00C0\u4E2D\u3002\n\U0001F600";
    try {
        const charlib::Font font(fuzz_file(input.rest()), face);
        (void)font.missing(set);
        try {
            (void)charlib::subset_font(font, set, options & 1);
        } catch (const charlib::FontError&) {
        }
        (void)charlib::render_atlas(font, set, {4 + (options >> 2) % 40, 1, 64, 64, (options & 2) != 0}, "f");
    } catch (const charlib::FontError&) {
    }
    return 0;
}
