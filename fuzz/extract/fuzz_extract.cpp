// extract on arbitrary bytes, compared with decoding every line.

#include "../fuzz_input.h"
#include "reference.h"
#include "text/codepage.h"
#include "text/core.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::int64_t offset = input.take_byte() % 4;
    const std::size_t buffer = input.take_buffer_size();
    const unsigned marker_kind = input.take_byte();
    std::u16string marker = charlib::decode(input.take(marker_kind % 5));
    if (marker_kind & 0x80) marker += u'\uFFFD';  // what invalid bytes decode to
    if (marker_kind & 0x40) marker.insert(0, u"\u00C0");  // not in the code page

    const std::string_view bytes = input.rest();
    const std::u16string got = charlib::extract(fuzz_file(bytes), marker, offset, buffer);
    FUZZ_CHECK(got == reference::extract(bytes, marker, offset));
    return 0;
}
