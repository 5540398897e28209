// Web fonts, read back through their CSS, libwoff2's decoder and FreeType;
// and cut again into the folder of an earlier cut, as a site is edited.
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
#include "font/web.h"
#include "output/output.h"

namespace {

using namespace charlib;
using namespace charlib::testing;

struct CssFace {
    std::string family, weight, file;
    std::set<char32_t> characters;
};

// Each @font-face's family, weight, file and the characters of its unicode-range.
std::vector<CssFace> css_faces(const std::string& css)
{
    std::vector<CssFace> faces;
    const std::regex block(R"re(@font-face \{\n  font-family: ("(?:[^"\\]|\\.)*");[^}]*font-weight: (\d+);[^}]*)re"
                           R"re(src: url\("([^"]+)"\) format\("woff2"\);[^}]*unicode-range: ([^;]*);)re");
    const std::regex range(R"(U\+([0-9A-F]+)(?:-([0-9A-F]+))?)");
    for (auto face = std::sregex_iterator(css.begin(), css.end(), block); face != std::sregex_iterator();
         ++face) {
        CssFace read{(*face)[1], (*face)[2], (*face)[3], {}};
        const std::string ranges = (*face)[4];
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

// A set whose counts put it in the order given: the first most frequent.
Tally ranked(const std::u32string& order)
{
    Tally tally{order, {}};
    for (std::size_t i = 0; i < order.size(); ++i)
        tally.counts.push_back(order.size() - i);
    return tally;
}

// The characters of a font that its first piece holds, in code order.
std::u32string first_piece_of(const std::filesystem::path& font)
{
    std::u32string first;
    for (char32_t c : Face(TempDir::read(font)).characters())
        if (belongs_in_first_piece(c)) first += c;
    return first;
}

// What every web font owes: its CSS names the pieces in order, their ranges
// are exactly their characters, which are what each decodes to; the first
// piece holds the font's punctuation and spaces, the others follow `order`,
// and all but the last of each run come near the target.
void expect_sound(const WebFont& web, const std::u32string& first, const std::u32string& order,
    std::size_t first_run, std::size_t chunk_size)
{
    const std::vector<CssFace> faces = css_faces(web.css);
    ASSERT_EQ(faces.size(), web.pieces.size());
    ASSERT_FALSE(web.pieces.empty());
    EXPECT_EQ(web.pieces.front().characters, first);
    std::u32string joined;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const WebFontPiece& piece = web.pieces[i];
        EXPECT_EQ(faces[i].file, piece.file);
        EXPECT_EQ(piece.file, fnv1a_name(piece.bytes));
        std::u32string sorted = piece.characters;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, std::u32string(faces[i].characters.begin(), faces[i].characters.end())) << i;
        EXPECT_EQ(Face(decoded(piece.bytes)).characters(), sorted) << i;
        if (i == 0) continue;
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
    EXPECT_EQ(web.check_page, "index.html");
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

// What charlib-cli writes of a cut: the new pieces, the stylesheet, the manifest.
void write_folder(const TempDir& dir, const WebFont& web)
{
    for (const WebFontPiece& piece : web.pieces)
        if (!piece.kept) dir.write(piece.file, piece.bytes);
    dir.write(web.stylesheet, web.css);
    dir.write(std::string(web_manifest_name), write_web_manifest(web.manifest));
}

std::vector<std::string> files_of(const WebFont& web)
{
    std::vector<std::string> files;
    for (const WebFontPiece& piece : web.pieces)
        files.push_back(piece.file);
    return files;
}

TEST(WebFont, FrequentCharactersFillPiecesNearTheTargetTheSameOnEveryThread)
{
    const Font font(microhei);
    std::u32string frequent;  // 360 hanzi out of code order
    for (unsigned i = 0; i < 360; ++i)
        frequent += static_cast<char32_t>(0x4E00 + i * 7919 % 20902);
    // A line break, a joiner, a character the font lacks and punctuation add no piece.
    Tally given = ranked(frequent.substr(0, 200) + U"\n\u200D\U0010FFFD，" + frequent.substr(200) + U"Az");
    given.counts[3] = 1000;
    WebFontOptions options;
    options.chunk_size = 12 * 1024;
    options.threads = 2;
    options.sample = {U"第一行", U"<b>二</b>"};
    const auto terminal = file_of(2);
    std::vector<std::pair<std::size_t, std::size_t>> calls;
    options.progress = [&](std::size_t done, std::size_t total) {
        calls.emplace_back(done, total);
        EXPECT_EQ(file_of(2), terminal);  // the caller may print meanwhile
    };
    const WebFont web = make_web_font(font, given, options);
    EXPECT_EQ(file_of(2), terminal);

    ASSERT_GE(web.pieces.size(), 4u);
    std::u32string order = frequent;
    std::rotate(order.begin(), order.begin() + 3, order.begin() + 4);  // the most frequent now
    order = U"Az" + order;  // Latin letters first, so that their kerning pairs are in one file
    expect_sound(web, first_piece_of(microhei), order, order.size(), options.chunk_size);
    EXPECT_EQ(web.preload, 1u) << "the piece of the most frequent characters";
    std::vector<std::pair<std::size_t, std::size_t>> expected_calls;
    for (std::size_t done = 1; done <= web.pieces.size(); ++done)
        expected_calls.emplace_back(done, web.pieces.size());
    EXPECT_EQ(calls, expected_calls);
    EXPECT_NE(web.html.find("<p>第一行</p>\n<p>&lt;b&gt;二&lt;/b&gt;</p>"), std::string::npos);
    // Made beside others, a piece is the same as made alone.
    EXPECT_EQ(web.pieces[1].bytes, subset_font(font, web.pieces[1].characters, true).bytes());
    EXPECT_NE(
        web.css.find("font-family: \"WenQuanYi Micro Hei\";\n  font-style: normal;\n  font-weight: 400;\n"
                     "  font-display: swap;\n"),
        std::string::npos);

    // On one thread, the same bytes under the same names.
    options.threads = 1;
    options.progress = {};
    const WebFont alone = make_web_font(font, given, options);
    ASSERT_EQ(files_of(alone), files_of(web));
    for (std::size_t i = 0; i < web.pieces.size(); ++i)
        EXPECT_EQ(alone.pieces[i].bytes, web.pieces[i].bytes) << i;
    EXPECT_EQ(alone.css, web.css);
    EXPECT_EQ(alone.html, web.html);
    EXPECT_EQ(write_web_manifest(alone.manifest), write_web_manifest(web.manifest));
}

TEST(WebFont, AllFollowsWithTheRestOfTheFontByBlock)
{
    const Font font(inconsolata);
    const std::u32string frequent = U"zé€a";
    WebFontOptions options;
    options.all = true;
    options.chunk_size = 4 * 1024;
    options.threads = 2;
    options.family = "Mono \"Web\" \\ </style>\n";
    options.url_prefix = "https://cdn.example/a\"b";
    const WebFont web = make_web_font(font, ranked(frequent + U"\t\uFE0Fz "), options);

    std::u32string rest;
    for (char32_t c : Face(TempDir::read(inconsolata)).characters())
        if (frequent.find(c) == std::u32string::npos && needs_glyph(c) && !belongs_in_first_piece(c)) rest += c;
    std::stable_sort(rest.begin(), rest.end(),
        [](char32_t a, char32_t b) { return ublock_getCode(UChar32(a)) < ublock_getCode(UChar32(b)); });
    ASSERT_GT(rest.size(), 200u);
    // The URLs begin with the prefix: the check against the CSS reads them without it.
    WebFont read = web;
    const std::string prefix = "https://cdn.example/a\\\"b/";
    for (std::size_t at = 0; (at = read.css.find(prefix, at)) != std::string::npos;)
        read.css.erase(at, prefix.size());
    expect_sound(read, first_piece_of(inconsolata), U"zéa€" + rest, frequent.size(), options.chunk_size);
    EXPECT_NE(web.css.find(R"(font-family: "Mono \"Web\" \\ \3c /style>\a ";)"), std::string::npos);
    EXPECT_NE(web.html.find("<h2>Mono &quot;Web&quot; \\ &lt;/style&gt;\n 500 normal"), std::string::npos);
    EXPECT_EQ(web.html.find("</style>\";"), std::string::npos);
    EXPECT_EQ(paste_lines(web, "fonts", options.url_prefix),
        (std::vector<std::string>{"<link rel=\"stylesheet\" href=\"https://cdn.example/a&quot;b/font.css\">",
            "<link rel=\"preload\" href=\"https://cdn.example/a&quot;b/" + web.pieces[web.preload].file +
                "\" as=\"font\" type=\"font/woff2\" crossorigin>"}));
    EXPECT_EQ(paste_lines(web, "", "").front(), "<link rel=\"stylesheet\" href=\"font.css\">");
}

TEST(WebFont, RefusesWhatItCannotCutAndManifestsItCannotRead)
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
        EXPECT_EQ(failure_of([&] { make_web_font(font, Tally{std::get<0>(test), {}}, std::get<1>(test)); }),
            std::get<2>(test));

    // A manifest read back is the manifest written.
    const WebFont web = make_web_font(font, ranked(U"ab，"), {});
    const std::string written = write_web_manifest(web.manifest);
    EXPECT_EQ(write_web_manifest(read_web_manifest(written, "m.json")), written);
    const auto changed = [&](const std::string& from, const std::string& to) {
        std::string text = written;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const std::tuple<std::string, std::string, std::vector<Field>> manifests[] = {
        {"", "web-manifest-unreadable", {{"line", std::uint64_t{1}}, {"column", std::uint64_t{0}}}},
        {"{\n \"faces\": [,]\n}", "web-manifest-unreadable", {{"line", std::uint64_t{2}}, {"column", std::uint64_t{12}}}},
        {"[]", "web-manifest-entry-wrong", {{"key", std::string("charlib_web_manifest")}}},
        {changed("\"charlib_web_manifest\": 1", "\"charlib_web_manifest\": 2"), "web-manifest-too-new",
            {{"version", std::uint64_t{2}}}},
        {changed("\"weight\": 500", "\"weight\": 0"), "web-manifest-entry-wrong",
            {{"key", std::string("faces[0].weight")}}},
        {changed("\"style\": \"normal\"", "\"style\": \"bold\""), "web-manifest-entry-wrong",
            {{"key", std::string("faces[0].style")}}},
        {changed(".woff2\"", ".woff2/../x\""), "web-manifest-entry-wrong",
            {{"key", std::string("faces[0].pieces[0].file")}}},
        {changed("\"characters\": \"U+", "\"characters\": \"U+110000,U+"), "web-manifest-entry-wrong",
            {{"key", std::string("faces[0].pieces[0].characters")}}},
        {changed("\"stylesheet\": \"font.css\"", "\"stylesheet\": \"../font.css\""), "web-manifest-entry-wrong",
            {{"key", std::string("faces[0].stylesheet")}}},
    };
    for (const auto& test : manifests) {
        try {
            read_web_manifest(std::get<0>(test), "m.json");
            ADD_FAILURE() << std::get<0>(test);
        } catch (const Failure& failure) {
            EXPECT_EQ(code_id(failure.outcome().code), std::get<1>(test)) << std::get<0>(test);
            for (const Field& field : std::get<2>(test)) {
                const Value* value = failure.outcome().find(field.name);
                EXPECT_TRUE(value && *value == field.value) << std::get<0>(test) << ": " << field.name;
            }
        }
    }
}

// A site edited: the pieces that still hold a character of the set stay as they
// were; only characters no piece holds are cut; a piece gone from the folder
// is made again; another font or --fresh cuts anew.
TEST(WebFont, AnEditKeepsEveryPieceThatStillHoldsACharacter)
{
    const Font font(microhei);
    std::u32string hanzi;
    for (unsigned i = 0; i < 300; ++i)
        hanzi += static_cast<char32_t>(0x4E00 + i * 7919 % 20902);
    WebFontOptions options;
    options.chunk_size = 6 * 1024;
    const TempDir dir;
    const WebFont first = make_web_font(font, ranked(hanzi.substr(0, 250) + U"，。"), options);
    ASSERT_GE(first.pieces.size(), 4u);
    write_folder(dir, first);

    // The characters of piece 2 go; 20 new ones come, and a punctuation mark the text had not used.
    std::u32string edited;
    for (char32_t c : hanzi.substr(0, 250))
        if (first.pieces[2].characters.find(c) == std::u32string::npos) edited += c;
    const std::u32string added = hanzi.substr(250, 20);
    const WebFont second = make_web_font(font, ranked(edited + added + U"「"), options, read_web_folder(dir.path()));
    EXPECT_TRUE(second.notes.empty());
    ASSERT_EQ(second.dropped.size(), 1u);
    EXPECT_EQ(second.dropped.front().file, first.pieces[2].file);
    std::vector<std::string> kept = files_of(first);
    kept.erase(kept.begin() + 2);
    const std::vector<std::string> now = files_of(second);
    ASSERT_GT(now.size(), kept.size());
    EXPECT_EQ(std::vector<std::string>(now.begin(), now.begin() + std::ptrdiff_t(kept.size())), kept);
    std::u32string cut_now;
    for (std::size_t i = 0; i < second.pieces.size(); ++i) {
        EXPECT_EQ(second.pieces[i].kept, i < kept.size()) << i;
        EXPECT_EQ(second.pieces[i].bytes.empty(), i < kept.size()) << i;
        if (!second.pieces[i].kept) cut_now += second.pieces[i].characters;
    }
    EXPECT_EQ(cut_now, added) << "only what no piece held";
    for (const CssFace& face : css_faces(first.css)) {
        if (face.file == first.pieces[2].file) continue;
        EXPECT_NE(second.css.find("url(\"" + face.file + "\") format(\"woff2\");\n  unicode-range: " +
                      unicode_range(std::u32string(face.characters.begin(), face.characters.end()))),
            std::string::npos)
            << face.file;
    }
    EXPECT_EQ(second.manifest.retired, std::set<std::string>{first.pieces[2].file});
    write_folder(dir, second);

    // A kept piece lost from the folder is made again from its characters: the same bytes, the same name.
    std::filesystem::remove(dir.path() / now[1]);
    const WebFont third = make_web_font(font, ranked(edited + added), options, read_web_folder(dir.path()));
    EXPECT_EQ(files_of(third), now);
    ASSERT_EQ(third.notes.size(), 1u);
    EXPECT_EQ(third.notes[0].code, Code::WebPieceRestored);
    EXPECT_FALSE(third.pieces[1].kept);
    EXPECT_TRUE(third.dropped.empty());
    EXPECT_EQ(third.manifest.retired, second.manifest.retired) << "still in the folder";
    std::filesystem::remove(dir.path() / first.pieces[2].file);
    EXPECT_TRUE(make_web_font(font, ranked(edited + added), options, read_web_folder(dir.path()))
                    .manifest.retired.empty())
        << "a retired piece deleted is forgotten";

    // Another font of the same family, or a fresh cut, keeps none; only another font is worth a note.
    const Font other(microhei, 1);
    WebFontOptions same_family = options;
    same_family.family = "WenQuanYi Micro Hei";
    const WebFont changed = make_web_font(other, ranked(edited), same_family, read_web_folder(dir.path()));
    ASSERT_EQ(changed.notes.size(), 1u);
    EXPECT_EQ(changed.notes[0].code, Code::WebFontChanged);
    EXPECT_EQ(changed.dropped.size(), now.size());
    options.fresh = true;
    const WebFont fresh = make_web_font(font, ranked(edited + added), options, read_web_folder(dir.path()));
    EXPECT_TRUE(fresh.notes.empty());
    EXPECT_EQ(fresh.dropped.size(), now.size());
    EXPECT_EQ(fresh.manifest.faces.size(), 1u);
}

// A family's weights in one stylesheet, a second stylesheet beside it, and
// each face's pieces kept when another is cut.
TEST(WebFont, TheFacesOfAFamilyShareOneStylesheet)
{
    const std::filesystem::path bold = dejavu_sans.parent_path() / "DejaVuSans-Bold.ttf";
    if (!std::filesystem::exists(dejavu_sans) || !std::filesystem::exists(bold))
        GTEST_SKIP() << "DejaVu Sans is not installed (fonts-dejavu-core)";
    const Tally text = ranked(U"Sphinx of black quartz, judge my vow.");
    WebFontOptions options;
    options.family = "Check Sans";
    const TempDir dir;
    const auto cut = [&](const std::filesystem::path& path, const WebFontOptions& with) {
        const WebFont web = make_web_font(Font(path), text, with, read_web_folder(dir.path()));
        write_folder(dir, web);
        return web;
    };
    const WebFont regular = cut(dejavu_sans, options);
    const WebFont both = cut(bold, options);
    WebFontOptions title = options;
    title.stylesheet = "title.css";
    title.family = "Title";
    const WebFont other = cut(bold, title);
    const WebFont again = cut(dejavu_sans, options);  // nothing changed: everything kept

    const auto weights = [](const std::string& css) {
        std::vector<std::string> found;
        for (const CssFace& face : css_faces(css))
            found.push_back(face.family + " " + face.weight);
        found.erase(std::unique(found.begin(), found.end()), found.end());
        return found;
    };
    EXPECT_EQ(weights(regular.css), (std::vector<std::string>{"\"Check Sans\" 400"}));
    EXPECT_EQ(weights(both.css), (std::vector<std::string>{"\"Check Sans\" 400", "\"Check Sans\" 700"}));
    EXPECT_EQ(weights(other.css), (std::vector<std::string>{"\"Title\" 700"}));
    EXPECT_EQ(other.check_page, "title.html");
    EXPECT_EQ(again.css, both.css);
    EXPECT_EQ(again.manifest.faces.size(), 3u);
    for (const WebFontPiece& piece : again.pieces)
        EXPECT_TRUE(piece.kept) << piece.file;
    for (const char* name : {"data-weight=\"400\"", "data-weight=\"700\""})
        EXPECT_NE(again.html.find(name), std::string::npos) << name;
    EXPECT_EQ(again.html.find("Title"), std::string::npos) << "title.css's face is on its own page";
    EXPECT_TRUE(is_stylesheet_name("title.css"));
    for (const char* name : {"index.css", "a/b.css", ".css", ".hidden.css", "font.html"})
        EXPECT_FALSE(is_stylesheet_name(name)) << name;
}

}  // namespace
