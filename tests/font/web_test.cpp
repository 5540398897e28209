// Web fonts, read back through their CSS, libwoff2's decoder and FreeType.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <set>
#include <tuple>

#include "codec/utf.h"
#include "face.h"

namespace {

using namespace charlib;
using namespace charlib::testing;

struct CssFace {
    std::string file;
    std::set<char32_t> characters;
};

// Each @font-face's file and the characters of its unicode-range.
std::vector<CssFace> css_faces(const std::string& css)
{
    std::vector<CssFace> faces;
    const std::regex block(
        R"re(@font-face \{[^}]*src: url\("([^"]+)"\) format\("woff2"\);[^}]*unicode-range: ([^;]*);)re");
    const std::regex range(R"(U\+([0-9A-F]+)(?:-([0-9A-F]+))?)");
    for (auto face = std::sregex_iterator(css.begin(), css.end(), block); face != std::sregex_iterator();
         ++face) {
        CssFace read{(*face)[1], {}};
        const std::string ranges = (*face)[2];
        long previous = -2;  // ranges come in order, merged: none starts where the last ended
        for (auto r = std::sregex_iterator(ranges.begin(), ranges.end(), range); r != std::sregex_iterator();
             ++r) {
            const auto first = static_cast<char32_t>(std::stoul((*r)[1], nullptr, 16));
            const auto last =
                (*r)[2].matched ? static_cast<char32_t>(std::stoul((*r)[2], nullptr, 16)) : first;
            EXPECT_GT(long(first), previous + 1) << ranges;
            previous = long(last);
            for (char32_t c = first; c <= last; ++c)
                EXPECT_TRUE(read.characters.insert(c).second) << "U+" << std::hex << unsigned(c) << " twice";
        }
        faces.push_back(std::move(read));
    }
    return faces;
}

std::string fnv1a_name(const std::string& bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 0x100000001b3;
    char name[32];
    std::snprintf(name, sizeof name, "%06llx.woff2", static_cast<unsigned long long>(hash >> 40));
    return name;
}

// What every web font owes: its CSS names the pieces in order, their ranges
// are exactly their characters, which are what each decodes to; the pieces
// follow `order`, and all but the last of each run come near the target.
void expect_sound(
    const WebFont& web, const std::u32string& order, std::size_t first_run, std::size_t chunk_size)
{
    const std::vector<CssFace> faces = css_faces(web.css);
    ASSERT_EQ(faces.size(), web.pieces.size());
    std::u32string joined;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const WebFontPiece& piece = web.pieces[i];
        EXPECT_EQ(faces[i].file, piece.file);
        EXPECT_EQ(piece.file, fnv1a_name(piece.bytes));
        std::u32string sorted = piece.characters;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, std::u32string(faces[i].characters.begin(), faces[i].characters.end())) << i;
        EXPECT_EQ(Face(decoded(piece.bytes)).characters(), sorted) << i;
        const bool last_of_run =
            joined.size() + piece.characters.size() == first_run || i + 1 == faces.size();
        EXPECT_TRUE(joined.size() >= first_run || joined.size() + piece.characters.size() <= first_run)
            << "piece " << i << " mixes the runs";
        if (!last_of_run) {
            EXPECT_GT(piece.bytes.size(), chunk_size * 3 / 4) << i;
            EXPECT_LT(piece.bytes.size(), chunk_size * 5 / 4) << i;
        }
        joined += piece.characters;
    }
    EXPECT_EQ(joined, order);
    EXPECT_NE(web.html.find("<link rel=\"stylesheet\" href=\"font.css\">"), std::string::npos);
    EXPECT_NE(web.html.find("<meta charset=\"utf-8\">"), std::string::npos);
}

// The file behind a descriptor, to tell the terminal from /dev/null.
std::pair<dev_t, ino_t> file_of(int fd)
{
    struct stat status { };
    if (::fstat(fd, &status) != 0) return {0, 0};
    return {status.st_dev, status.st_ino};
}

TEST(WebFont, FrequentCharactersFillPiecesNearTheTargetOnThreads)
{
    const Font font(microhei);
    std::u32string frequent;  // 360 hanzi out of code order
    for (unsigned i = 0; i < 360; ++i)
        frequent += static_cast<char32_t>(0x4E00 + i * 7919 % 20902);
    // A repeat, a line break, a joiner and a character the font lacks add nothing.
    const std::u32string given =
        frequent.substr(0, 200) + U"\n" + frequent[3] + U"\u200D\U0010FFFD" + frequent.substr(200);
    WebFontOptions options;
    options.chunk_size = 12 * 1024;
    options.threads = 2;
    const auto terminal = file_of(2);
    std::vector<std::pair<std::size_t, std::size_t>> calls;
    options.progress = [&](std::size_t done, std::size_t total) {
        calls.emplace_back(done, total);
        EXPECT_EQ(file_of(2), terminal);  // the caller may print meanwhile
    };
    const WebFont web = make_web_font(font, given, options);
    EXPECT_EQ(file_of(2), terminal);

    ASSERT_GE(web.pieces.size(), 3u);
    expect_sound(web, frequent, frequent.size(), options.chunk_size);
    std::vector<std::pair<std::size_t, std::size_t>> expected_calls;
    for (std::size_t done = 1; done <= web.pieces.size(); ++done)
        expected_calls.emplace_back(done, web.pieces.size());
    EXPECT_EQ(calls, expected_calls);
    EXPECT_NE(web.html.find("<p>" + to_utf8(frequent.substr(0, 60)) + "</p>"), std::string::npos);
    // Made beside others, a piece is the same as made alone.
    EXPECT_EQ(web.pieces[1].bytes, subset_font(font, web.pieces[1].characters, true).bytes());
    EXPECT_NE(
        web.css.find("font-family: \"WenQuanYi Micro Hei\";\n  font-style: normal;\n  font-weight: 400;\n"
                     "  font-display: swap;\n"),
        std::string::npos);
}

TEST(WebFont, AllFollowsWithTheRestOfTheFontByBlock)
{
    const Font font(inconsolata);
    const std::u32string frequent = U"zé€a";
    WebFontOptions options;
    options.all = true;
    options.chunk_size = 4 * 1024;
    options.threads = 2;
    options.family = "Mono \"Web\" \\ </style>";
    const WebFont web = make_web_font(font, frequent + U"\t\uFE0Fz", options);

    const Face source(TempDir::read(inconsolata));
    std::u32string rest;
    for (char32_t c : source.characters())
        if (frequent.find(c) == std::u32string::npos && needs_glyph(c)) rest += c;
    std::stable_sort(rest.begin(), rest.end(),
        [](char32_t a, char32_t b) { return ublock_getCode(UChar32(a)) < ublock_getCode(UChar32(b)); });
    ASSERT_GT(rest.size(), 200u);
    expect_sound(web, frequent + rest, frequent.size(), options.chunk_size);
    EXPECT_NE(web.css.find(R"(font-family: "Mono \"Web\" \\ \3c /style>";)"), std::string::npos);
    EXPECT_NE(web.html.find("<p>zé€a</p>"), std::string::npos);
    EXPECT_NE(web.html.find("<h1>Mono &quot;Web&quot; \\ &lt;/style&gt;</h1>"), std::string::npos);
    EXPECT_EQ(web.html.find("</style>\";"), std::string::npos);
}

TEST(WebFont, RefusesWhatItCannotCut)
{
    const Font font(inconsolata);
    WebFontOptions zero;
    zero.chunk_size = 0;
    const std::tuple<std::u32string, WebFontOptions, std::string> cases[] = {
        {U"中文\n", {}, "font-lacks-every-character"},
        {U"\n\u200D", {}, "no-glyph-characters"},
        {U"abc", zero, "zero-chunk-size"},
    };
    for (const auto& test : cases)  // no structured binding: clang 14's lambdas cannot capture one
        EXPECT_EQ(failure_of([&] { make_web_font(font, std::get<0>(test), std::get<1>(test)); }),
            std::get<2>(test));
}

}  // namespace
