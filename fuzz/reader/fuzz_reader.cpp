// The line reader, scan, load and filter on arbitrary bytes.

#include <cstring>

#include "../fuzz_input.h"
#include "actions/actions.h"
#include "extract/line_reader.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::size_t buffer = input.take_buffer_size();
    const std::size_t limit = input.take_byte() % 8;
    const double offset = (input.take_byte() % 8) / 2.0;
    const std::string_view bytes = input.rest();
    const auto& path = fuzz_file(bytes);

    const std::vector<std::u16string> expected = reference::lines(bytes);
    std::vector<std::u16string> lines;
    {
        charlib::LineReader reader;
        reader.open(path, buffer);
        while (!reader.at_end())
            lines.push_back(reader.read_line());
    }
    FUZZ_CHECK(lines == expected);

    const charlib::ScanResult scanned = charlib::scan(path);
    const void* control_z = std::memchr(bytes.data(), 0x1A, bytes.size());
    if (control_z) {
        FUZZ_CHECK(scanned.status == charlib::ScanStatus::ControlZ);
        FUZZ_CHECK(scanned.position ==
            static_cast<std::uint64_t>(static_cast<const char*>(control_z) - bytes.data()) + 1);
    } else {
        FUZZ_CHECK(
            scanned.status == (bytes.empty() ? charlib::ScanStatus::Empty : charlib::ScanStatus::Clean));
    }

    const charlib::LoadResult loaded = charlib::load(path, limit);
    FUZZ_CHECK(loaded.over_limit == (expected.size() > limit));
    FUZZ_CHECK(std::equal(loaded.lines.begin(), loaded.lines.end(), expected.begin(),
        expected.begin() + static_cast<std::ptrdiff_t>(std::min(limit, expected.size()))));
    FUZZ_CHECK(loaded.lines.size() == std::min(limit, expected.size()));

    for (const std::u16string& marker : {std::u16string(), std::u16string(u"A"), std::u16string(u"\uFFFD"),
             expected.empty() ? std::u16string(u"#") : expected[0].substr(0, 2)})
        FUZZ_CHECK(charlib::filter(expected, marker, offset) == reference::filter(expected, marker, offset));
    return 0;
}
