// charlib-cli's fonts for engines and the web, end to end: which files a run
// writes, that they agree with the code table, and that a failure writes none.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "run_cli.h"
#include "sfnt.h"

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(0, line.find('\r')));
    return lines;
}

TEST(EngineFonts, DescriptorFormsDistanceFieldsAndAPreviewFromTheAtlas)
{
    TempDir dir;
    dir.write("ui.txt", "AVATAR 中文字体 AV\n");
    const CliRun run = run_cli(dir,
        {"-e", "utf-8", "ui.txt", "--font", microhei, "--atlas", "ui.json", "--atlas-format", "json", "--sdf",
            "--spread", "6", "--size", "24", "--preview", "ui.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json font = nlohmann::json::parse(TempDir::read(dir.path() / "ui.json"));
    EXPECT_EQ(font["distanceField"]["fieldType"], "sdf");
    EXPECT_EQ(font["distanceField"]["distanceRange"], 12);
    EXPECT_EQ(font["pages"][0], "ui_0.png");
    EXPECT_EQ(font["chars"].size(), 9u) << "A V T R space 中 文 字 体";
    bool av = false;
    for (const auto& pair : font["kernings"])
        av = av || (pair["first"] == 'A' && pair["second"] == 'V' && pair["amount"] < 0);
    EXPECT_TRUE(av) << "the font kerns A V";
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "ui_0.png"));
    EXPECT_GT(std::filesystem::file_size(dir.path() / "ui.png"), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "ui.fnt"));

    const CliRun plain = run_cli(dir,
        {"-e", "utf-8", "ui.txt", "--font", microhei, "--atlas", "ui", "--atlas-format", "xml",
            "--no-kerning"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const std::string xml = TempDir::read(dir.path() / "ui.fnt");
    EXPECT_TRUE(xml.starts_with("<?xml")) << xml.substr(0, 40);
    EXPECT_FALSE(has(xml, "<kerning "));
    EXPECT_FALSE(has(xml, "distanceField"));
}

TEST(EngineFonts, EachEngineGetsTheFormItReadsAndIsToldWhatItCannotUse)
{
    TempDir dir;
    dir.write("ui.txt", "AVATAR 中文字体，游戏里的一行字。\n");
    const struct {
        std::vector<std::string> options;
        std::string begins;  // the descriptor, OUT.fnt
        std::size_t pages;
        std::vector<std::string> warnings;  // each on standard error; none: nothing said of the atlas
    } cases[] = {
        {{"--engine", "phaser"}, "<?xml", 1, {}},
        {{"--engine", "phaser", "--sdf"}, "<?xml", 1, {"注意：Phaser 4 的位图文字不画距离场"}},
        {{"--engine", "phaser", "--page", "64x64"}, "<?xml", 0,
            {"注意：Phaser 4 只从一页（ui_0.png）取字形，而点阵字库有 ", "请去掉 --page 或改用 --page auto"}},
        {{"--engine", "cocos", "--size", "256", "--page", "256x256"}, "info face=", 0,
            {"注意：Cocos 只从一页"}},
        {{"--engine", "godot", "--sdf"}, "info face=", 1,
            {"注意：Godot 3 读 .fnt 时不读 distanceField", "font.distance_field = true"}},
        {{"--engine", "pixi", "--sdf"}, "<?xml", 1, {}},
        {{"--engine", "pixi", "--sdf", "--atlas-format", "text"}, "info face=", 1,
            {"注意：PixiJS 8 只从 xml 格式的描述文件读 distanceField，text 格式的距离场会被当作透明度画出"}},
        {{"--atlas-format", "binary", "--sdf"}, "BMF\3", 1,
            {"注意：二进制描述文件没有记下距离场的地方：读它的引擎不会知道页面是距离场（范围 8 像素）"}},
        {{"--engine", "three", "--atlas-format", "binary"}, "BMF\3", 1, {}},
    };
    for (const auto& [options, begins, pages, warnings] : cases) {
        const CliRun run =
            run_cli(dir, joined({"-e", "utf-8", "ui.txt", "--font", microhei, "--atlas", "ui"}, options));
        SCOPED_TRACE(options[1]);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(TempDir::read(dir.path() / "ui.fnt").starts_with(begins));
        const bool several = std::filesystem::exists(dir.path() / "ui_1.png");
        if (pages > 0)
            EXPECT_EQ(several, pages > 1);
        else
            EXPECT_TRUE(several) << "the pages asked for are too small for one";
        for (const std::string& warning : warnings)
            EXPECT_TRUE(has(run.err, warning));
        EXPECT_TRUE(!warnings.empty() || run.err.find("注意：") == std::string::npos) << run.err;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename().string().starts_with("ui_")) std::filesystem::remove(entry.path());
    }
    const CliRun text = run_cli(dir, {"-e", "utf-8", "ui.txt", "--font", microhei, "--atlas", "ui", "--sdf"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(
        has(TempDir::read(dir.path() / "ui.fnt"), "distanceField fieldType=\"sdf\" distanceRange=8\n"))
        << "a word, quoted: readers take a bare value for a number";
}

// A weekly patch: the text changes, and --atlas-keep leaves every glyph still
// used where it was and every page that gains none as it was.
TEST(EngineFonts, AtlasKeepLeavesTheEarlierGlyphsAndUntouchedPagesAsTheyWere)
{
    TempDir dir;
    const std::string verse = "天地玄黄宇宙洪荒日月盈昃辰宿列张寒来暑往秋收冬藏闰余成岁律吕调阳云腾致雨露结为霜"
                              "金生丽水玉出昆冈剑号巨阙珠称夜光果珍李柰菜重芥姜海咸河淡鳞潜羽翔龙师火帝鸟官人皇";
    const std::vector<std::string> atlas = {
        "-e", "utf-8", "ui.txt", "--font", microhei, "--atlas", "ui", "--page", "128x128", "--atlas-keep"};
    // Each character's line of the descriptor, and the pages' bytes.
    const auto written = [&] {
        std::map<std::string, std::string> chars;
        for (const std::string& line : lines_of(TempDir::read(dir.path() / "ui.fnt")))
            if (line.starts_with("char ")) chars[line.substr(0, line.find(' ', 5))] = line;
        std::vector<std::string> pages;
        for (int i = 0; std::filesystem::exists(dir.path() / ("ui_" + std::to_string(i) + ".png")); ++i)
            pages.push_back(TempDir::read(dir.path() / ("ui_" + std::to_string(i) + ".png")));
        return std::pair(chars, pages);
    };
    dir.write("ui.txt", verse + "\n");
    const CliRun first = run_cli(dir, atlas);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_FALSE(has(first.err, "注意")) << "no atlas before: nothing to say";
    const auto [chars, pages] = written();
    ASSERT_GE(pages.size(), 2u);
    // Dated an hour back, so that a page written again shows it.
    const auto page_time = [&](std::size_t i) {
        return std::filesystem::last_write_time(dir.path() / ("ui_" + std::to_string(i) + ".png"));
    };
    const auto hour_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (std::size_t i = 0; i < pages.size(); ++i)
        std::filesystem::last_write_time(dir.path() / ("ui_" + std::to_string(i) + ".png"), hour_ago);

    dir.write("ui.txt", verse.substr(3 * 20) + "始制文字乃服衣裳\n");  // 20 characters go, 8 come
    const CliRun second = run_cli(dir, atlas);
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_FALSE(has(second.err, "注意"));
    const auto [kept_chars, kept_pages] = written();
    std::set<std::string> gained;
    for (const auto& [id, line] : kept_chars) {
        if (chars.contains(id))
            EXPECT_EQ(line, chars.at(id)) << "kept in place";
        else
            gained.insert(line.substr(line.find(" page=")));
    }
    EXPECT_EQ(kept_chars.size(), chars.size() - 20 + 8);
    for (std::size_t i = 0; i < kept_pages.size(); ++i)
        if (!gained.contains(" page=" + std::to_string(i) + " chnl=15")) {
            EXPECT_EQ(kept_pages[i], pages.at(i)) << "page " << i << " gained nothing";
            EXPECT_EQ(page_time(i), hour_ago) << "page " << i << " is not written again";
        }
    EXPECT_LT(gained.size(), kept_pages.size()) << "the new glyphs took the space of those gone";

    const CliRun larger = run_cli(dir, joined(atlas, {"--size", "17"}));
    ASSERT_EQ(larger.status, 0) << larger.err;
    EXPECT_TRUE(has(larger.err, "注意：先前的图集“ui.fnt”是以其他字号、间距、页面大小、位深或距离场生成的"));
    dir.write("ui.fnt", "info face=\"damaged");
    const CliRun damaged = run_cli(dir, atlas);
    ASSERT_EQ(damaged.status, 0) << damaged.err;
    EXPECT_TRUE(has(damaged.err, "注意：先前图集的文件“ui.fnt”无法读取、已损坏或与描述文件不符"));
    const auto anew = written();
    ASSERT_EQ(run_cli(dir, std::vector(atlas.begin(), atlas.end() - 1)).status, 0);
    EXPECT_TRUE(written() == anew) << "packed anew, as without --atlas-keep";
}

TEST(EngineFonts, AGridFollowsTheCodeTableAndRefusesWhatItCannotHold)
{
    TempDir dir;
    dir.write("script.txt", "#\xD5\xC5\xC8\xFD\r\nhi \xC4\xE3\r\n");  // "#张三", "hi 你" in GBK
    const CliRun run = run_cli(dir,
        {"script.txt", "-f", "tbl", "--tbl-start", "8800", "-o", "game.tbl", "--font", microhei, "--atlas",
            "grid", "--grid", "16x16", "--grid-columns", "4", "--size", "14"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> table = lines_of(TempDir::read(dir.path() / "game.tbl"));
    const std::vector<std::string> widths = lines_of(TempDir::read(dir.path() / "grid.widths"));
    ASSERT_EQ(widths.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(widths[i].substr(0, 5), table[i].substr(0, 5)) << "the same code on line " << i;
    EXPECT_EQ(widths[1], "8801=14") << "张, the second character, is as wide as the size";

    dir.write("wide.txt", "\xD5\xC5\r\n");
    const CliRun big = run_cli(dir,
        {"wide.txt", "--font", microhei, "--atlas", "big", "--grid", "8x8", "--size", "32", "-o", "big.txt"});
    EXPECT_TRUE(ended(big, 1, "U+5F20"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "big.txt") ||
        std::filesystem::exists(dir.path() / "big_0.png") ||
        std::filesystem::exists(dir.path() / "big.widths"))
        << "nothing written";

    // Ink left of the pen is moved into its cell, whatever the cell's size; the .fnt draws it from the pen.
    dir.write("low.txt", "_j");
    for (const char* cell : {"64x64", "128x128"}) {
        const CliRun low = run_cli(dir,
            {"-e", "utf-8", "low.txt", "--font", microhei, "--atlas", "low", "--grid", cell, "--size", "16"});
        ASSERT_EQ(low.status, 0) << cell << ": " << low.err;
        const std::string fnt = TempDir::read(dir.path() / "low.fnt");
        const std::size_t line = fnt.find("char id=95 ");
        ASSERT_NE(line, std::string::npos) << fnt;
        EXPECT_TRUE(fnt.substr(line).starts_with("char id=95 x=0 ")) << fnt.substr(line, 80);
        EXPECT_TRUE(has(fnt.substr(line, fnt.find('\n', line) - line), " xoffset=-1 "))
            << fnt.substr(line, 80);
    }
}

// A site cut, edited and cut again: the pieces kept, those no longer used
// named, the lines to paste, and a folder that is a file refused.
TEST(EngineFonts, WebPiecesStayAcrossEditsAndEndWithTheLinesToPaste)
{
    TempDir dir;
    dir.write("page.txt", "的的的的了了了是，\n一二三\n");
    const CliRun run = run_cli(
        dir, {"-e", "utf-8", "page.txt", "--font", microhei, "--web", "site", "--family", "Game Sans"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(has_woff2_noise(run.err)) << run.err;
    const auto pieces = [&] {
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "site"))
            if (entry.path().extension() == ".woff2") found.insert(entry.path().filename().string());
        return found;
    };
    const std::set<std::string> first = pieces();
    EXPECT_EQ(first.size(), 2u) << "the punctuation, then a few characters in one piece";
    const std::string css = TempDir::read(dir.path() / "site/font.css");
    EXPECT_TRUE(has(css, "font-family: \"Game Sans\""));
    EXPECT_TRUE(has(TempDir::read(dir.path() / "site/index.html"), "<p>的的的的了了了是，</p>\n<p>一二三</p>"));
    EXPECT_TRUE(has(run.err, "粘贴到网页的 <head> 中（路径是从当前文件夹看的）：\n"
                             "  <link rel=\"stylesheet\" href=\"site/font.css\">\n  <link rel=\"preload\" "
                             "href=\"site/"));

    // Edited: the piece of the hanzi holds none of them now, the punctuation piece stays.
    dir.write("page.txt", "新写文字\n");
    const CliRun again = run_cli(dir, {"-e", "utf-8", "page.txt", "--font", microhei, "--web", "site", "--family",
                                          "Game Sans", "-f", "json", "--url-prefix", "https://cdn.example/f/"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(has(again.err, "“font.css”不再列出以前切出的 1 块"));
    EXPECT_FALSE(has(again.err, "粘贴")) << "json carries them";
    const nlohmann::json web = nlohmann::json::parse(again.out)["font"]["web"];
    ASSERT_EQ(web["written"].size(), 1u);
    ASSERT_EQ(web["dropped"].size(), 1u);
    EXPECT_EQ(web["pieces"], 2);
    EXPECT_TRUE(first.contains(web["dropped"][0])) << web;
    EXPECT_EQ(web["paste"][0], "<link rel=\"stylesheet\" href=\"https://cdn.example/f/font.css\">");
    EXPECT_EQ(web["paste"][1], "<link rel=\"preload\" href=\"https://cdn.example/f/" +
                                   web["written"][0].get<std::string>() +
                                   "\" as=\"font\" type=\"font/woff2\" crossorigin>");
    EXPECT_EQ(pieces().size(), 3u) << "the dropped piece is left for pages cached before";
    EXPECT_TRUE(has(TempDir::read(dir.path() / "site/font.css"), "src: url(\"https://cdn.example/f/"));

    // Another stylesheet beside it; a damaged manifest stops the run and changes nothing.
    ASSERT_EQ(run_cli(dir, {"-e", "utf-8", "page.txt", "--font", microhei, "--web", "site", "--css", "title.css"})
                  .status,
        0);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "site/title.html"));
    EXPECT_TRUE(has(TempDir::read(dir.path() / "site/font.css"), "Game Sans"));
    dir.write("site/charlib-web.json", "{\"charlib_web_manifest\": 1, \"faces\": [{}]}");
    const std::string kept_css = TempDir::read(dir.path() / "site/font.css");
    EXPECT_TRUE(ended(run_cli(dir, {"-e", "utf-8", "page.txt", "--font", microhei, "--web", "site"}), 1,
        "网页字体清单“site/charlib-web.json”中的“faces[0].stylesheet”有误或缺失"));
    EXPECT_EQ(TempDir::read(dir.path() / "site/font.css"), kept_css);

    dir.write("taken", "a file, not a folder");
    const CliRun file =
        run_cli(dir, {"-e", "utf-8", "page.txt", "--font", microhei, "--web", "taken", "-o", "o.txt"});
    EXPECT_TRUE(ended(file, 1, "taken"));
    EXPECT_EQ(TempDir::read(dir.path() / "taken"), "a file, not a folder");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "o.txt"));
}

TEST(EngineFonts, GlyphsThatDrawNothingAreReportedAsMissingOnesAre)
{
    TempDir dir;
    dir.write("text.txt", "中文字体测试一二三四五 A\u3000B\n");  // the spaces are blank by design
    ASSERT_EQ(
        run_cli(dir, {"-e", "utf-8", "text.txt", "--font", microhei, "--subset", "small.ttf"}).status, 0);
    std::string font = TempDir::read(dir.path() / "small.ttf");
    const sfnt::Table loca = sfnt::table(font, "loca");
    // Every glyph empty: offsets all 0.
    std::fill_n(font.begin() + static_cast<std::ptrdiff_t>(loca.offset), loca.length, '\0');
    dir.write("damaged.ttf", font);

    const CliRun run = run_cli(
        dir, {"-e", "utf-8", "text.txt", "--font", "damaged.ttf", "--subset", "out.ttf", "-f", "json"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(has(run.err,
        "字体“damaged.ttf”中有 13 个字符的字形是空的（画不出来）：中 U+4E2D、文 U+6587、字 "
        "U+5B57、体 U+4F53、测 U+6D4B、试 U+8BD5、一 U+4E00、二 U+4E8C、三 U+4E09、四 U+56DB……\n"));
    const nlohmann::json json = nlohmann::json::parse(run.out)["font"];
    EXPECT_EQ(json["missing"].size(), 0u);
    ASSERT_EQ(json["blank"].size(), 13u);
    EXPECT_EQ(json["blank"][12], (nlohmann::json{{"character", "B"}, {"code_point", "U+0042"}}));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "out.ttf"));

    const CliRun strict = run_cli(dir,
        {"-e", "utf-8", "text.txt", "--font", "damaged.ttf", "--require-all", "--atlas", "strict", "-o",
            "strict.txt"});
    EXPECT_TRUE(ended(strict, 1, "有 --require-all，什么都没有写入"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "strict.txt") ||
        std::filesystem::exists(dir.path() / "strict.fnt") ||
        std::filesystem::exists(dir.path() / "strict_0.png"));
}

TEST(EngineFonts, TheFaceUsedIsSaidWithTheOthersOfItsCollection)
{
    TempDir dir;
    dir.write("text.txt", "中文\n");
    ASSERT_EQ(
        run_cli(dir, {"-e", "utf-8", "text.txt", "--font", microhei, "--subset", "small.ttf"}).status, 0);
    const std::string small = TempDir::read(dir.path() / "small.ttf");
    const auto named = [&](const std::u16string& family) {
        return sfnt::with_names(small, {{1, 0x0409, family}, {2, 0x0409, u"Regular"}});
    };
    dir.write("set.ttc", sfnt::collection({named(u"Test JP"), named(u"Test KR"), named(u"Test SC")}));
    dir.write("one.ttf", named(u"Solo"));
    const std::string plain = run_cli(dir, {"-e", "utf-8", "text.txt"}).out;
    const std::string others = "\n  --face 0  Test JP Regular\n  --face 1  Test KR Regular";
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"--font", "set.ttc"}, 0,
            "charlib-cli: 字体集“set.ttc”有 3 个字体，使用 Test SC Regular"
            "（--face 2，名称标明简体中文）；其他字体：" +
                others + "\n"},
        {{"--font", "set.ttc", "--face", "test kr"}, 0,
            "charlib-cli: 字体集“set.ttc”有 3 个字体，使用 Test KR Regular（--face 1）；其他字体：\n"
            "  --face 0  Test JP Regular\n  --face 2  Test SC Regular\n"},
        {{"--font", "set.ttc", "--face", "99"}, 1,
            "charlib-cli: 字体“set.ttc”只有 3 个字体（--face 0 到 2），没有 --face 99；可选的字体：" +
                others + "\n  --face 2  Test SC Regular\n"},
        {{"--font", "one.ttf"}, 0, ""},  // a single font is said only when --face names it
        {{"--font", "one.ttf", "--face", "0"}, 0,
            "charlib-cli: 字体“one.ttf”：使用 Solo Regular（--face 0）\n"},
    };
    for (const auto& [options, status, said] : cases) {
        const CliRun run = run_cli(dir, joined({"-e", "utf-8", "text.txt"}, options));
        EXPECT_EQ(run.status, status) << testing::PrintToString(options);
        EXPECT_EQ(run.err, said);
        EXPECT_EQ(run.out, status == 0 ? plain : "") << "standard output as without the font";
    }
    const CliRun json = run_cli(dir, {"-e", "utf-8", "text.txt", "--font", "set.ttc", "-f", "json"});
    EXPECT_EQ(nlohmann::json::parse(json.out)["font"]["face"], 2) << json.err;
}

}  // namespace
