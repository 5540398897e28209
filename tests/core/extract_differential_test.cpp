// extract_source, with its counts, and the reader against decoding the whole
// file with ICU and selecting lines in plain code: every encoding, random,
// adversarial and Chinese texts, buffers from a few bytes up.
#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <random>
#include <string_view>

#include "base/types.h"
#include "codec/encodings.h"
#include "codec/utf.h"
#include "extract/extract.h"
#include "extract/line_reader.h"
#include "files/input_file.h"
#include "output/output.h"
#include "reference.h"
#include "simd/kernel.h"
#include "sources/facts.h"
#include "temp_dir.h"

namespace {

using namespace charlib;

// Bytes chosen to hit every rule of the reader and the code page: line ends,
// Control-Z, lead bytes, trail bytes that are also ASCII, 0x7F, 0x80, 0xFF.
std::string adversarial_bytes(std::mt19937& random, std::size_t size)
{
    static const unsigned char pool[] = {'A', '#', 'a', '@', ' ', '\r', '\r', '\n', '\n', 0x7F, 0x80, 0xFF,
        0x81, 0xFE, 0x40, 0xA1, 0xB0, 0xD6, 0xD0, 0xA1, 0xB0};
    std::string bytes;
    std::uniform_int_distribution<int> pick(0, sizeof pool), any(0, 255), control_z(0, 2000);
    while (bytes.size() < size)
        bytes += control_z(random) == 0
            ? '\x1A'
            : static_cast<char>(pick(random) == sizeof pool ? any(random) : pool[random() % sizeof pool]);
    return bytes;
}

// Mostly Chinese text with marker lines, as the tool meets it in use.
std::string script_bytes(std::mt19937& random, int lines)
{
    std::string bytes;
    std::uniform_int_distribution<int> lead(0xB0, 0xB8), trail(0xA1, 0xFE), length(0, 30), kind(0, 5);
    for (int i = 0; i < lines; ++i) {
        if (kind(random) == 0) bytes += "#@";
        for (int n = length(random); n > 0; --n) {
            if (kind(random) == 0)
                bytes += static_cast<char>('a' + n % 26);
            else
                bytes += {static_cast<char>(lead(random)), static_cast<char>(trail(random))};
        }
        bytes += kind(random) == 0 ? "\r" : "\r\n";
    }
    return bytes;
}

// Text in an encoding with line ends of every kind, characters beyond the
// BMP and beyond code page 936, a byte-order mark now and then, and stray
// bytes and short sequences from the edges of UTF-8's ranges, most of them
// invalid.
std::string sample(std::mt19937& random, Encoding encoding, std::size_t length)
{
    static const char32_t pool[] = {U'A', U'#', U'a', U' ', U'\r', U'\n', U'\r', U'\n', U'中', U'文', U'啊',
        U'\uFFFD', U'\u00C0', U'\U0001F600', U'\u20AC', U'\uFEFF'};
    static const std::string_view stray[] = {{"\0", 1}, "\x7F", "\x80", "\x8F", "\x90", "\x9F", "\xA0",
        "\xBF", "\xC0", "\xC1", "\xC2", "\xDF", "\xE0", "\xE1", "\xEC", "\xED", "\xEE", "\xEF", "\xF0",
        "\xF1", "\xF3", "\xF4", "\xF5", "\xFF", "\x81", "\x30", "\xD8", "\xDC", "\xE0\x80\x80",
        "\xE0\xA0\x80", "\xED\x9F\xBF", "\xED\xA0\x80", "\xF0\x80\x80\x80", "\xF0\x8F\xBF",
        "\xF0\x90\x80\x80", "\xF1\x80\x80\x80", "\xF4\x8F\xBF\xBF", "\xF4\x90\x80\x80"};
    const char* const names[] = {"windows-936-2000", "gb18030", "UTF-8", "UTF-16LE", "UTF-16BE"};
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(names[static_cast<int>(encoding)], &error);
    ucnv_setSubstChars(converter, "?", 1, &error);
    std::string bytes;
    for (std::u32string text = random() % 4 ? U"" : U"\uFEFF"; bytes.size() < length; text.clear()) {
        text += pool[random() % std::size(pool)];
        const std::u16string units = to_utf16(text);
        char out[16];
        bytes.append(out,
            static_cast<std::size_t>(ucnv_fromUChars(
                converter, out, sizeof out, units.data(), static_cast<int32_t>(units.size()), &error)));
        if (random() % 8 == 0) bytes += stray[random() % std::size(stray)];
    }
    ucnv_close(converter);
    return bytes;
}

// 啊 is B0 A1 in code page 936, U+FFFD what invalid bytes decode to, U+00C0 not in code page 936.
const std::u16string markers[] = {u"", u"#", u"@", u"A", u"a", u"#@", u"\u554A", u"\uFFFD", u"\u00C0",
    u"A\uFFFDa", u"\u20AC", u"\n", u"\u554A@", u"\U0001F600"};

void expect_same_as_reference(
    const std::string& bytes, SourceFormat format, const std::string& what, const Kernel& kernel)
{
    TempDir dir;
    const auto path = dir.write("t.txt", bytes);
    const std::size_t buffers[] = {2, 3, 5, 64, 1 << 20};
    // The reader and the facts walk with no kernel: checked once.
    const bool once = &kernel == &best_kernel();
    if (once && format.encoding == Encoding::Gbk && format.newline == Newline::Legacy)
        for (std::size_t buffer : buffers) {
            LineReader reader;
            reader.open(path, buffer);
            std::vector<std::u16string> lines;
            while (!reader.at_end())
                lines.push_back(reader.read_line());
            ASSERT_EQ(lines, reference::lines(bytes)) << what << ", buffer " << buffer;
        }
    for (const std::u16string& marker : markers)
        for (std::int64_t offset : {0, 1, 3}) {
            const reference::Extracted expected =
                reference::extract(bytes, format.encoding, format.newline, marker, offset);
            const std::string where = what + ", marker " + testing::PrintToString(marker) + ", offset " +
                std::to_string(offset) + ", bytes " + testing::PrintToString(bytes.substr(0, 200));
            for (std::size_t buffer : buffers) {
                const bool count = buffer == 5 || buffer == 3;
                // Large files are read in parts side by side: with buffers of 3 bytes, small ones too.
                const Tuning tuning{&kernel, buffer == 3 ? 3u : 1u, 1};
                // The lines are counted, and the first half of the file given as already read.
                std::string shown;
                const Reading reading{buffer == 64 ? std::string_view(bytes).substr(0, bytes.size() / 2) : "",
                    [&](std::string_view more) { shown += more; }, buffer == 3 || buffer == 64};
                InputFile file(path);
                const Tally tally = extract_source(
                    file, format, {code_points(marker), offset, count}, tuning, reading, buffer);
                ASSERT_EQ(tally.characters, expected.tally.characters) << where << ", buffer " << buffer;
                ASSERT_EQ(tally.counts, count ? expected.tally.counts : std::vector<std::uint64_t>())
                    << where;
                if (reading.count_lines) {
                    ASSERT_EQ(std::pair(tally.lines, tally.selected_lines),
                        std::pair(expected.lines, expected.selected))
                        << where << ", buffer " << buffer;
                }
                if (buffer == 64 && bytes.find('\x1A') == std::string::npos) {
                    ASSERT_EQ(shown, bytes.substr(bytes.size() / 2)) << where;
                }
            }
            if (!once) continue;
            const SourceFacts facts = examine_source(path, format, {code_points(marker), offset});
            ASSERT_EQ(std::tuple(facts.bytes, facts.lines, facts.selected_lines),
                std::tuple(bytes.size(), expected.lines, expected.selected))
                << where;
        }
}

// Every kernel the processor can run.
class ExtractDifferential : public testing::TestWithParam<const Kernel*> {
protected:
    void expect_same(const std::string& bytes, SourceFormat format, const std::string& what)
    {
        expect_same_as_reference(bytes, format, what, *GetParam());
    }
};

TEST_P(ExtractDifferential, AdversarialCodePage936GivesTheSameAsDecodingEveryLine)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; round += rounds_divisor)
        expect_same(adversarial_bytes(random, round < 100 ? round % 12 : 50 + round * 7),
            {Encoding::Gbk, round % 3 ? Newline::Legacy : Newline::Any}, "round " + std::to_string(round));
}

TEST_P(ExtractDifferential, ChineseScriptsAndLinesLongerThanTheBufferGiveTheSameSet)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20; round += rounds_divisor)
        expect_same(script_bytes(random, 50 + round * 10), {}, "round " + std::to_string(round));
    std::string long_line;
    while (long_line.size() < 20000)
        long_line += adversarial_bytes(random, 100);
    std::erase(long_line, '\r');
    std::erase(long_line, '\x1A');
    expect_same(script_bytes(random, 3) + long_line + "#@\r\n" + long_line + "\r\n#\r\n" + long_line, {},
        "long lines");
}

TEST_P(ExtractDifferential, EveryEncodingGivesTheSameAsDecodingTheWholeFile)
{
    std::mt19937 random(9);
    for (Encoding encoding :
        {Encoding::Gbk, Encoding::Gb18030, Encoding::Utf8, Encoding::Utf16Le, Encoding::Utf16Be})
        for (int round = 0; round < 40; round += rounds_divisor)
            for (Newline newline : {Newline::Legacy, Newline::Any})
                expect_same(sample(random, encoding, static_cast<std::size_t>(round * round / 4)),
                    {encoding, newline}, encoding_name(encoding) + ", round " + std::to_string(round));
}

// A walk into a buffer stops when the buffer is nearly full, wherever that
// falls: never so that the next walk, which starts afresh, reads the LF of
// a CR LF as a character. Every place for the CR LF around where it stops.
TEST_P(ExtractDifferential, WalksIntoABufferGoOnAsOneWalkWhereverTheyStop)
{
    const auto all_codes = [&](std::string_view bytes) {
        std::vector<GbkCode> all;
        GbkCode codes[walk_batch];
        while (!bytes.empty()) {
            const Walked walked = GetParam()->codes(bytes, codes);
            all.insert(all.end(), codes, codes + walked.codes);
            bytes.remove_prefix(walked.bytes);
        }
        return all;
    };
    for (std::size_t at = 900; at < 1300; ++at) {
        std::string text(2048, 'a');
        text.replace(at, 2, "\r\n");
        std::string padded = text + std::string(piece_padding, '\xE4');
        const std::vector<GbkCode> codes = all_codes(std::string_view(padded).substr(0, text.size()));
        ASSERT_EQ(codes.size(), text.size() - 2) << "CR LF at " << at;
        ASSERT_EQ(std::count(codes.begin(), codes.end(), GbkCode{'\n'}), 0) << "CR LF at " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, ExtractDifferential,
    testing::ValuesIn(runnable_kernels().begin(), runnable_kernels().end()),
    [](const testing::TestParamInfo<const Kernel*>& info) { return std::string(info.param->name); });

}  // namespace
