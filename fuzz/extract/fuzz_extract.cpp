// extract and extract_source on arbitrary bytes in every encoding, with any
// kernel the processor can run, compared with decoding every line (the whole
// file, for the pipeline) with ICU; and the encoding -e auto detects, which
// every kernel must tell alike.

#include "../fuzz_input.h"
#include "actions/actions.h"
#include "base/types.h"
#include "codec/code_page_936.h"
#include "codec/utf.h"
#include "extract/extract.h"
#include "reference.h"
#include "simd/kernel.h"
#include "sources/detection.h"
#include "sources/facts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::int64_t offset = input.take_byte() % 4;
    const std::size_t buffer = input.take_buffer_size();
    const unsigned marker_kind = input.take_byte();
    std::u16string marker = charlib::decode(input.take(marker_kind % 5));
    if (marker_kind & 0x80) marker += u'\uFFFD';  // what invalid bytes decode to
    if (marker_kind & 0x40) marker.insert(0, u"\u00C0");  // not in the code page
    const unsigned format = input.take_byte();
    const auto kernels = charlib::runnable_kernels();
    const charlib::Kernel& kernel = *kernels[input.take_byte() % kernels.size()];

    // Large files are read in parts side by side; here small ones are too, at times.
    const charlib::Tuning tuning{&kernel, (format & 0x40) ? 3u : 1u, 1};
    const std::string_view bytes = input.rest();
    const auto& path = fuzz_file(bytes);
    // -e auto: the file streamed as the bytes in memory, a text cut anywhere, and the plain kernel.
    const charlib::Detection read = charlib::detect(path, kernel),
                             held = charlib::detect(bytes, true, kernel);
    const charlib::Detection plain = charlib::detect(bytes, true, *kernels.front());
    for (const charlib::Detection& other : {held, plain})
        FUZZ_CHECK(
            read.encoding == other.encoding && read.reason == other.reason && read.guessed == other.guessed);
    charlib::detect(bytes, false, kernel);
    if (format % 6 == 5) {  // the window's extract
        const charlib::Tally expected =
            reference::extract(bytes, charlib::Encoding::Gbk, charlib::Newline::Legacy, marker, offset).tally;
        FUZZ_CHECK(charlib::extract(path, marker, offset, buffer, tuning) ==
            std::u16string(expected.characters.begin(), expected.characters.end()));
        return 0;
    }
    const auto encoding = static_cast<charlib::Encoding>(format % 6);
    const auto newline = (format & 0x80) ? charlib::Newline::Any : charlib::Newline::Legacy;
    const charlib::Tally got = charlib::extract_source(
        path, {encoding, newline}, {charlib::code_points(marker), offset, true}, buffer, tuning);
    const reference::Extracted expected = reference::extract(bytes, encoding, newline, marker, offset);
    FUZZ_CHECK(got.characters == expected.tally.characters && got.counts == expected.tally.counts);
    const charlib::SourceFacts facts =
        charlib::examine_source(path, {encoding, newline}, {charlib::code_points(marker), offset});
    FUZZ_CHECK(facts.lines == expected.lines && facts.selected_lines == expected.selected);
    return 0;
}
