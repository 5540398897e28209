// Extract and the reader against plain versions that decode every line with
// ICU, on random, adversarial and Chinese texts, with buffers from 2 bytes up.
#include <gtest/gtest.h>

#include <random>

#include "reference.h"
#include "temp_dir.h"
#include "text/code_walk.h"
#include "text/core.h"
#include "text/line_reader.h"

namespace {

// Bytes chosen to hit every rule of the reader and the code page: line ends,
// Control-Z, lead bytes, trail bytes that are also ASCII, 0x7F, 0x80, 0xFF.
std::string adversarial_bytes(std::mt19937& random, std::size_t size)
{
    static const unsigned char pool[] = {'A', '#', 'a', '@', ' ', '\r', '\r', '\n', '\n', 0x7F, 0x80, 0xFF,
        0x81, 0xFE, 0x40, 0xA1, 0xB0, 0xD6, 0xD0, 0xA1, 0xB0};
    std::string bytes;
    std::uniform_int_distribution<int> pick(0, sizeof pool), any(0, 255), control_z(0, 2000);
    while (bytes.size() < size) {
        const int choice = pick(random);
        if (control_z(random) == 0)
            bytes += '\x1A';
        else
            bytes += static_cast<char>(choice == sizeof pool ? any(random) : pool[choice]);
    }
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

const std::u16string markers[] = {
    u"", u"#", u"@", u"A", u"a", u"#@",
    u"\u554A",  // 啊 = B0 A1
    u"\uFFFD",  // what a bad lead byte decodes to
    u"\u00C0",  // not in the code page
    u"A\uFFFDa", u"\u20AC", u"\n", u"\u554A@",
};

void expect_same_as_reference(const std::string& bytes, const std::string& what)
{
    TempDir dir;
    const auto path = dir.write("t.txt", bytes);
    for (std::size_t buffer : {2, 3, 5, 64, 4096, 1 << 20}) {
        charlib::LineReader reader;
        reader.open(path, buffer);
        std::vector<std::u16string> lines;
        while (!reader.at_end())
            lines.push_back(reader.read_line());
        ASSERT_EQ(lines, reference::lines(bytes)) << what << ", buffer " << buffer;
        for (const std::u16string& marker : markers)
            for (std::int64_t offset : {0, 1, 3})
                ASSERT_EQ(charlib::extract(path, marker, offset, buffer), reference::extract(bytes, marker, offset))
                    << what << ", marker " << testing::PrintToString(marker) << ", offset " << offset
                    << ", buffer " << buffer << ", bytes " << testing::PrintToString(bytes.substr(0, 200));
    }
}

// Processors without AVX2 take the SSE2 steps: both are checked on every machine.
class ExtractDifferential : public testing::TestWithParam<bool> {
    bool was_ = std::exchange(charlib::use_avx2, GetParam() && charlib::use_avx2);

protected:
    ~ExtractDifferential() override { charlib::use_avx2 = was_; }
};

TEST_P(ExtractDifferential, AdversarialBytesGiveTheSameSetAsDecodingEveryLine)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; ++round)
        expect_same_as_reference(
            adversarial_bytes(random, round < 100 ? round % 12 : 50 + round * 7), "round " + std::to_string(round));
}

TEST_P(ExtractDifferential, ChineseScriptsAndLinesLongerThanTheBufferGiveTheSameSet)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round)
        expect_same_as_reference(script_bytes(random, 50 + round * 10), "round " + std::to_string(round));
    std::string long_line;
    while (long_line.size() < 20000)
        long_line += adversarial_bytes(random, 100);
    std::erase(long_line, '\r');
    std::erase(long_line, '\x1A');
    expect_same_as_reference(
        script_bytes(random, 3) + long_line + "#@\r\n" + long_line + "\r\n#\r\n" + long_line, "long lines");
}

INSTANTIATE_TEST_SUITE_P(Steps, ExtractDifferential, testing::Values(true, false),
    [](const testing::TestParamInfo<bool>& info) { return info.param ? "Avx2" : "Sse2"; });

}  // namespace
