// The walks over 64-byte blocks, for one instruction set's steps (see
// sse2_steps.h): a file includes this after walk_rules.h and its steps, once
// it has chosen the instruction set to compile them for.

namespace charlib {

namespace {

// GbkCode page 936: the character boundaries come from bit masks, not from a
// byte-by-byte walk whose every step waits for the one before. Returns the
// bytes read.
template <class Steps, class Sink>
std::size_t walk_code_page(std::string_view bytes, LineEnds& line_ends, Sink& sink)
{
    const auto begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto end = begin + bytes.size();
    LineEnds ends = line_ends;  // in a register, whatever the sink writes
    bool first_is_trail = false;
    for (const unsigned char* p = begin; p < end; p += 64) {
        if (sink.full()) {
            line_ends = ends;
            return static_cast<std::size_t>(p - begin) + first_is_trail;
        }
        const auto left = static_cast<std::size_t>(end - p);
        const std::uint64_t valid = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
        // The last byte has no trail byte after it.
        const std::uint64_t pairable = left > 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (left - 1)) - 1;
        const ByteClasses classes = Steps::classify(p);
        const std::uint64_t pairs = pair_starts(classes.lead & classes.trail & pairable, first_is_trail);
        std::uint64_t starts =
            ~(pairs << 1 | first_is_trail) & valid & ~line_end_bits(classes.cr, classes.lf, left, ends);
        alignas(32) GbkCode codes[64];
        Steps::codes_of_block(p, pairs, codes);
        if constexpr (Steps::gathers && Sink::passes_known)
            if (const auto known = sink.known()) starts &= ~Steps::seen_codes(codes, known);
        while (starts) {
            sink.take(codes[__builtin_ctzll(starts)]);
            starts &= starts - 1;
        }
        first_is_trail = pairs >> 63;
    }
    line_ends = ends;
    return bytes.size();
}

// UTF-8, as ICU decodes it. Blocks of well-formed text are read from bit
// masks, any other block character by character.
template <class Steps, class Sink>
std::size_t walk_utf8(std::string_view bytes, LineEnds& line_ends, Sink& sink)
{
    const auto begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto end = begin + bytes.size();
    LineEnds ends = line_ends;
    std::size_t skip = 0;  // bytes at the block's start that end the character before
    for (const unsigned char* p = begin; p < end; p += 64) {
        if (sink.full()) {
            line_ends = ends;
            return static_cast<std::size_t>(p - begin) + skip;
        }
        const auto left = static_cast<std::size_t>(end - p);
        const std::uint64_t valid = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
        Utf8Classes classes = Steps::classify_utf8(p);
        classes.lead2 &= valid;
        classes.lead3 &= valid;
        classes.lead4 &= valid;
        const std::uint64_t carried = (std::uint64_t{1} << skip) - 1;
        const std::uint64_t longer = classes.lead3 | classes.lead4;
        // The continuation bytes that well-formed text has here, and how many
        // the last character has in the next block.
        const std::uint64_t wanted =
            (classes.lead2 | longer) << 1 | longer << 2 | classes.lead4 << 3 | carried;
        const std::size_t beyond =
            std::max({classes.lead2 >> 63, (longer >> 63) * 2, (classes.lead4 >> 63) * 3, longer >> 62 & 1,
                (classes.lead4 >> 62 & 1) * 2, classes.lead4 >> 61 & 1});
        bool plain = !(classes.careful & valid) && (classes.continuation & valid) == wanted;
        for (std::size_t k = 0; plain && k < beyond; ++k)
            plain = 64 + k < left && (p[64 + k] & 0xC0) == 0x80;
        if (plain) {
            std::uint64_t starts =
                ~classes.continuation & valid & ~carried & ~line_end_bits(classes.cr, classes.lf, left, ends);
            // Nearly every character is known: test 64 at once, then take the rest.
            if constexpr (Steps::gathers && Sink::passes_known)
                if (const auto known = sink.known())
                    starts &= ~Steps::seen_code_points(p, known) | classes.lead4;
            while (starts) {
                const unsigned char* q = p + __builtin_ctzll(starts);
                starts &= starts - 1;
                const unsigned lead = q[0];
                // ASCII and three bytes (hanzi) without a branch between them; two and four bytes are rare.
                if ((lead >= 0x80 && lead < 0xE0) || lead >= 0xF0)
                    sink.take(lead < 0xE0 ? (lead & 0x1Fu) << 6 | (q[1] & 0x3Fu)
                                          : (lead & 0x07u) << 18 | (q[1] & 0x3Fu) << 12 |
                                (q[2] & 0x3Fu) << 6 | (q[3] & 0x3Fu));
                else
                    sink.take(
                        lead < 0x80 ? lead : (lead & 0x0Fu) << 12 | (q[1] & 0x3Fu) << 6 | (q[2] & 0x3Fu));
            }
            skip = beyond;
            continue;
        }
        // Character by character, as far as the characters that begin here go.
        const unsigned char* q = p + skip;
        const unsigned char* const block_end = left > 64 ? p + 64 : end;
        while (q < block_end) {
            const Utf8Character one = decode_one(q, end);
            q += one.length;
            if (!ends_line(one.value, ends)) sink.take(one.value);
        }
        skip = static_cast<std::size_t>(q - block_end);
    }
    line_ends = ends;
    return bytes.size();
}

// UTF-8's sequences counted 64 bytes at a time from bit masks: each lead
// byte in the first 61 is a valid sequence or one invalid one with the
// continuation bytes it takes; a continuation byte that no lead takes, or a
// byte that never begins a character, is an invalid sequence of its own.
template <class Steps>
const unsigned char* count_utf8(const unsigned char* p, const unsigned char* end, SequenceCounts& counts)
{
    // In locals: members would be stored at every step, as the bytes might alias them.
    std::uint64_t valid = counts.valid, invalid = counts.invalid;
    constexpr std::uint64_t owned = (std::uint64_t{1} << 61) - 1;
    while (end - p >= 64) {
        const Utf8Classes classes = Steps::classify_utf8(p);
        const std::uint64_t continuation = classes.continuation;
        if (!(classes.lead2 | classes.lead3 | classes.lead4 | continuation | classes.careful)) {
            p += 64;  // ASCII
            continue;
        }
        Utf8Care care;
        if (classes.careful) care = Steps::utf8_care(p);
        const std::uint64_t leads = (classes.lead2 | classes.lead3 | classes.lead4) & owned;
        const std::uint64_t narrow = care.e0 | care.ed | care.f0 | care.f4;
        const std::uint64_t second = ((leads & ~narrow) & continuation >> 1) | (care.e0 & care.from_a0 >> 1) |
            (care.ed & (continuation & ~care.from_a0) >> 1) | (care.f0 & care.from_90 >> 1) |
            (care.f4 & (continuation & ~care.from_90) >> 1);
        const std::uint64_t two = leads & second;
        const std::uint64_t three = two & (classes.lead3 | classes.lead4) & continuation >> 2;
        const std::uint64_t four = three & classes.lead4 & continuation >> 3;
        const std::uint64_t whole = (two & classes.lead2) | (three & classes.lead3) | four;
        const std::uint64_t taken = two << 1 | three << 2 | four << 3;
        valid += static_cast<std::uint64_t>(__builtin_popcountll(whole));
        invalid += static_cast<std::uint64_t>(__builtin_popcountll(leads & ~whole) +
            __builtin_popcountll(continuation & ~taken & owned) + __builtin_popcountll(care.never & owned));
        // On after the last byte taken.
        p += 61 + __builtin_ctzll(~(taken >> 61));
    }
    counts = {valid, invalid};
    return count_utf8_steps(p, end, counts);
}

// GB18030 paired from bit masks as code page 936 is; a lead byte without a
// trail byte is invalid, but before a digit it may begin a four-byte sequence.
template <class Steps>
const unsigned char* count_gb18030_pairs(
    const unsigned char* p, const unsigned char* end, SequenceCounts& counts)
{
    std::uint64_t valid = counts.valid, invalid = counts.invalid;
    while (end - p >= 64 + 4) {
        const Gb18030Bytes bytes = Steps::gb18030_bytes(p);
        const std::uint64_t pairs = pair_starts(bytes.could_pair, false);
        const std::uint64_t starts = ~(pairs << 1);
        const std::uint64_t alone = starts & bytes.lead & ~pairs;
        // 0x80 and 0xFF, but an 0xFF after a lone lead byte: ICU takes it into that invalid sequence.
        const std::uint64_t wrong = alone | (starts & bytes.high & ~bytes.lead & ~(alone << 1));
        // The byte after the last is not in the masks.
        const std::uint64_t four = alone & (bytes.digit >> 1 | std::uint64_t{1} << 63);
        if (four) {
            const std::uint64_t before = (std::uint64_t{1} << __builtin_ctzll(four)) - 1;
            valid += static_cast<std::uint64_t>(__builtin_popcountll(pairs & before));
            invalid += static_cast<std::uint64_t>(__builtin_popcountll(wrong & before));
            p += __builtin_ctzll(four);
            break;
        }
        valid += static_cast<std::uint64_t>(__builtin_popcountll(pairs));
        invalid += static_cast<std::uint64_t>(__builtin_popcountll(wrong));
        p += 64 + (pairs >> 63);
    }
    counts = {valid, invalid};
    return p;
}

template <class Steps>
void count_bytes(const unsigned char* p, const unsigned char* end, std::uint64_t offset, ByteCounts& counts)
{
    for (; p < end; p += 64, offset += 64) {
        const auto left = static_cast<std::size_t>(end - p);
        const std::uint64_t valid = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
        std::uint64_t zero = 0, control = 0;
        Steps::zeros_and_controls(p, zero, control);
        zero &= valid;
        control &= valid;
        // Both are rare in text.
        if (zero) {
            const std::uint64_t even = offset % 2 ? 0xAAAAAAAAAAAAAAAA : 0x5555555555555555;
            counts.zeros_even += static_cast<std::uint64_t>(__builtin_popcountll(zero & even));
            counts.zeros_odd += static_cast<std::uint64_t>(__builtin_popcountll(zero & ~even));
        }
        if (control) counts.controls += static_cast<std::uint64_t>(__builtin_popcountll(control));
    }
}

template <class Steps> void insert_codes(CodeSet& set, std::string_view bytes, LineEnds& ends)
{
    IntoSet<CodeSet> sink{set};
    walk_code_page<Steps>(bytes, ends, sink);
}

template <class Steps> void insert_code_points(CharacterSet& set, std::string_view bytes, LineEnds& ends)
{
    IntoSet<CharacterSet> sink{set};
    walk_utf8<Steps>(bytes, ends, sink);
}

template <class Steps> Walked codes(std::string_view bytes, GbkCode* out)
{
    LineEnds ends;
    IntoBuffer<GbkCode> sink{out};
    const std::size_t read = walk_code_page<Steps>(bytes, ends, sink);
    return {past_line_end(bytes, read, ends), sink.count};
}

template <class Steps> Walked code_points(std::string_view bytes, char32_t* out)
{
    LineEnds ends;
    IntoBuffer<char32_t> sink{out};
    const std::size_t read = walk_utf8<Steps>(bytes, ends, sink);
    return {past_line_end(bytes, read, ends), sink.count};
}

template <class Steps> constexpr Kernel block_kernel(Isa isa, const char* name)
{
    return {isa, name, insert_codes<Steps>, insert_code_points<Steps>, codes<Steps>, code_points<Steps>,
        count_utf8<Steps>, count_gb18030_pairs<Steps>, count_bytes<Steps>};
}

}  // namespace

}  // namespace charlib
