// The kernel in plain code, one character at a time: for processors without
// SSE2, and the yardstick the others are tested against.
#include "codec/code_page_936.h"
#include "kernels.h"
#include "walk_rules.h"

namespace charlib {

namespace {

template <class Sink> std::size_t walk_code_page(std::string_view bytes, LineEnds& ends, Sink& sink)
{
    const auto begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto end = begin + bytes.size();
    const unsigned char* p = begin;
    while (p < end && !sink.full()) {
        GbkCode code = *p++;
        if (is_lead_byte(static_cast<unsigned char>(code)) && p < end && is_trail_byte(*p))
            code = static_cast<GbkCode>(*p++ << 8 | code);
        if (!ends_line(code, ends)) sink.take(code);
    }
    return static_cast<std::size_t>(p - begin);
}

template <class Sink> std::size_t walk_utf8(std::string_view bytes, LineEnds& ends, Sink& sink)
{
    const auto begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto end = begin + bytes.size();
    const unsigned char* p = begin;
    while (p < end && !sink.full()) {
        const Utf8Character one = decode_one(p, end);
        p += one.length;
        if (!ends_line(one.value, ends)) sink.take(one.value);
    }
    return static_cast<std::size_t>(p - begin);
}

void insert_codes(CodeSet& set, std::string_view bytes, LineEnds& ends)
{
    IntoSet<CodeSet> sink{set};
    walk_code_page(bytes, ends, sink);
}

void insert_code_points(CharacterSet& set, std::string_view bytes, LineEnds& ends)
{
    IntoSet<CharacterSet> sink{set};
    walk_utf8(bytes, ends, sink);
}

Walked codes(std::string_view bytes, GbkCode* out)
{
    LineEnds ends;
    IntoBuffer<GbkCode> sink{out};
    const std::size_t read = walk_code_page(bytes, ends, sink);
    return {past_line_end(bytes, read, ends), sink.count};
}

Walked code_points(std::string_view bytes, char32_t* out)
{
    LineEnds ends;
    IntoBuffer<char32_t> sink{out};
    const std::size_t read = walk_utf8(bytes, ends, sink);
    return {past_line_end(bytes, read, ends), sink.count};
}

const unsigned char* count_utf8(const unsigned char* p, const unsigned char* end, SequenceCounts& counts)
{
    return count_utf8_steps(p, end, counts);
}

// No blocks: the caller steps through every sequence.
const unsigned char* count_gb18030_pairs(const unsigned char* p, const unsigned char*, SequenceCounts&)
{
    return p;
}

void count_bytes(const unsigned char* p, const unsigned char* end, std::uint64_t offset, ByteCounts& counts)
{
    for (; p < end; ++p, ++offset) {
        const unsigned byte = *p;
        (offset % 2 ? counts.zeros_odd : counts.zeros_even) += byte == 0;
        counts.controls += (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F;
    }
}

}  // namespace

const Kernel scalar_kernel = {Isa::Scalar, "scalar", insert_codes, insert_code_points, codes, code_points,
    count_utf8, count_gb18030_pairs, count_bytes};

}  // namespace charlib
