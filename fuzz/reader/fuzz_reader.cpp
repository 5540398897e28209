// The line reader, scan, load and filter on arbitrary bytes; and the
// kernels' walks of the same bytes, whatever follows them, against the plain
// kernel's.

#include <cstring>

#include "../fuzz_input.h"
#include "actions/actions.h"
#include "extract/line_reader.h"
#include "reference.h"
#include "simd/kernel.h"

namespace {

using charlib::Kernel;

// The walks of `kernel` and of the plain kernel: first half the bytes, then
// all of them, so that the second walk meets known characters.
template <class Set>
Set walked(const Kernel& kernel, void (*Kernel::*insert)(Set&, std::string_view, charlib::LineEnds&),
    std::string_view bytes, charlib::LineEnds& ends, bool counting)
{
    Set set(counting);
    charlib::LineEnds first = ends;
    (kernel.*insert)(set, bytes.substr(0, bytes.size() / 2), first);
    (kernel.*insert)(set, bytes, ends);
    return set;
}

template <class Code>
std::vector<Code> batches(
    const Kernel& kernel, charlib::Walked (*Kernel::*walk)(std::string_view, Code*), std::string_view bytes)
{
    std::vector<Code> all;
    Code codes[charlib::walk_batch];
    while (!bytes.empty()) {
        const charlib::Walked walked = (kernel.*walk)(bytes, codes);
        all.insert(all.end(), codes, codes + walked.codes);
        bytes.remove_prefix(walked.bytes);
    }
    return all;
}

void check_kernel_walks(std::string_view input, unsigned walk)
{
    const auto kernels = charlib::runnable_kernels();
    const Kernel& kernel = *kernels[walk % kernels.size()];
    const Kernel& plain = *kernels.front();
    // The padding the walks may read holds the text's own bytes, then lead bytes.
    std::string padded(input);
    padded += input.substr(0, charlib::piece_padding);
    padded.append(charlib::piece_padding, '\xE4');
    const std::string_view bytes = std::string_view(padded).substr(0, input.size());
    // Counting, in one run of four: its tables cost more than the walks.
    const bool counting = (walk & 0x90) == 0x90;
    const charlib::LineEnds ends{(walk & 0x20) != 0, (walk & 0x40) != 0};

    charlib::LineEnds mine = ends, theirs = ends;
    const auto codes = walked(kernel, &Kernel::insert_codes, bytes, mine, counting);
    const auto plain_codes = walked(plain, &Kernel::insert_codes, bytes, theirs, counting);
    FUZZ_CHECK(codes.codes() == plain_codes.codes() && mine.after_cr == theirs.after_cr);
    for (charlib::GbkCode code : codes.codes())
        FUZZ_CHECK(codes.count(code) == plain_codes.count(code));

    mine = theirs = ends;
    auto characters = walked(kernel, &Kernel::insert_code_points, bytes, mine, counting).take();
    auto plain_characters = walked(plain, &Kernel::insert_code_points, bytes, theirs, counting).take();
    FUZZ_CHECK(characters.characters == plain_characters.characters &&
        characters.counts == plain_characters.counts && mine.after_cr == theirs.after_cr);

    FUZZ_CHECK(batches(kernel, &Kernel::codes, bytes) == batches(plain, &Kernel::codes, bytes));
    FUZZ_CHECK(batches(kernel, &Kernel::code_points, bytes) == batches(plain, &Kernel::code_points, bytes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::size_t buffer = input.take_buffer_size();
    const std::size_t limit = input.take_byte() % 8;
    const double offset = (input.take_byte() % 8) / 2.0;
    const unsigned walk = input.take_byte();
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
    check_kernel_walks(bytes, walk);
    return 0;
}
