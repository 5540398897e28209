// Arbitrary bytes as an earlier atlas's descriptor, as --atlas-keep reads it:
// nothing or a font, never a crash or a leak; a font that reads is written
// back in each form (or refused by a form that cannot hold it) and reads back
// as written. The first byte decides whether the bytes are also read from a
// folder, beside a page of the descriptor's name, as read_earlier_atlas does.

#include "../fuzz_input.h"
#include "font/font.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const bool from_folder = input.take_byte() & 1;
    const std::string_view bytes = input.rest();
    const std::optional<charlib::BitmapFont> font = charlib::read_descriptor(bytes);
    if (font) {
        for (const auto format : {charlib::AtlasFormat::Text, charlib::AtlasFormat::Xml,
                 charlib::AtlasFormat::Json, charlib::AtlasFormat::Binary}) {
            std::string written;
            try {
                written = charlib::write_descriptor(*font, format);
            } catch (const charlib::Failure&) {
                continue;
            }
            const std::optional<charlib::BitmapFont> again = charlib::read_descriptor(written);
            FUZZ_CHECK(again && again->chars.size() == font->chars.size() &&
                again->page_files.size() == font->page_files.size());
            FUZZ_CHECK(charlib::write_descriptor(*again, format) == written);
        }
    }
    if (from_folder) {
        const std::optional<charlib::EarlierAtlas> earlier = charlib::read_earlier_atlas(fuzz_file(bytes));
        FUZZ_CHECK(earlier);
        FUZZ_CHECK(earlier->unusable || (font && earlier->page_pixels.size() == font->page_files.size()));
    }
    return 0;
}
