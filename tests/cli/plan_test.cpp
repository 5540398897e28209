// charlib-cli's options, in process: what each command line plans, or the
// exact message that refuses it.
#include <gtest/gtest.h>

#include <functional>

#include "cli/plan.h"

namespace {

using namespace charlib;
using namespace charlib::cli;

struct Case {
    std::vector<std::string> args;
    std::string error;  // empty: the line is accepted
    std::function<void(const Plan&)> check = {};
};

TEST(Plan, EveryOptionIsCheckedAndConvertedBeforeAnythingIsRead)
{
    const auto counted = [](const Plan& plan) { EXPECT_TRUE(plan.selection.count); };
    const auto gbk = [](const Plan& plan) { EXPECT_EQ(plan.sources.encoding, Encoding::Gbk); };
    const auto tbl_8800 = [](const Plan& plan) { EXPECT_EQ(plan.output.tbl_start, 0x8800u); };
    const Case cases[] = {
        {{"in.txt"}, "",
            [](const Plan& plan) {
                EXPECT_FALSE(plan.sources.encoding) << "told from the bytes: GBK as the window reads it";
                EXPECT_FALSE(plan.sources.note_guesses) << "guesses are said when -e auto is asked for";
                EXPECT_FALSE(plan.sources.entries.format) << "told from the name";
                EXPECT_FALSE(plan.sources.entries.note_lines);
                EXPECT_FALSE(plan.output.encoding) << "-o writes in the sources' encoding";
                EXPECT_FALSE(plan.selection.count) << "counting costs, and nothing reads the counts";
            }},
        {{"-n", "1", "in.txt"}, "",
            [](const Plan& plan) {
                EXPECT_EQ(plan.sources.entries.format, TextFormat::Lines) << "-n is for lines";
            }},
        {{"-n", "00", "a.csv"}, "", [](const Plan& plan) { EXPECT_FALSE(plan.sources.entries.format); }},
        {{"-e", "GB2312", "in.txt"}, "", gbk},
        {{"--encoding=Windows-936", "in.txt"}, "", gbk},
        {{"-e", "UTF8", "in.txt"}, "",
            [](const Plan& plan) { EXPECT_EQ(plan.sources.encoding, Encoding::Utf8); }},
        {{"-e", "Auto", "in.txt"}, "",
            [](const Plan& plan) {
                EXPECT_FALSE(plan.sources.encoding);
                EXPECT_TRUE(plan.sources.note_guesses);
            }},
        {{"-o", "x", "--output-encoding", "GB18030", "in.txt"}, "",
            [](const Plan& plan) { EXPECT_EQ(plan.output.encoding, OutputEncoding::Gb18030); }},
        {{"-f", "tbl", "--tbl-start", "0x8800", "in.txt"}, "", tbl_8800},
        {{"-f", "tbl", "--tbl-start", "8800", "in.txt"}, "", tbl_8800},
        {{"--font", "f.ttc", "--atlas", "x", "--page", "512x256", "in.txt"}, "",
            [](const Plan& plan) {
                EXPECT_EQ(plan.font.value().atlas_options.page_width, 512u);
                EXPECT_EQ(plan.font->atlas_options.page_height, 256u);
            }},
        {{"--order", "freq", "in.txt"}, "", counted},
        {{"--min-count", "2", "in.txt"}, "", counted},
        {{"-f", "counts", "in.txt"}, "", counted},
        {{"--min-count", "1", "in.txt"}, "", [](const Plan& plan) { EXPECT_FALSE(plan.selection.count); }},
        // Translation files: the format, their options, and how many places each output needs.
        {{"-t", "auto", "-r", "d"}, "",
            [](const Plan& plan) {
                EXPECT_FALSE(plan.sources.entries.format);
                EXPECT_TRUE(plan.sources.entries.note_lines);
                EXPECT_EQ(plan.sources.listing.patterns.size(), known_patterns().size() + 1);
                EXPECT_EQ(plan.sources.listing.patterns[0].pattern, "*.txt");
            }},
        {{"-t", "lines", "-r", "d"}, "",
            [](const Plan& plan) { EXPECT_EQ(plan.sources.listing.patterns.size(), 1u); }},
        {{"-t", "auto", "-r", "--glob", "*.po", "d"}, "",
            [](const Plan& plan) { EXPECT_EQ(plan.sources.listing.patterns.size(), 1u); }},
        {{"-t", "csv", "--column", "zh", "--column", "3", "--key", "menu.*", "--markup", "keep", "in.csv"},
            "",
            [](const Plan& plan) {
                EXPECT_EQ(plan.sources.entries.format, TextFormat::Csv);
                EXPECT_EQ(plan.sources.entries.columns, (std::vector<std::string>{"zh", "3"}));
                EXPECT_EQ(plan.sources.entries.keys, std::vector<std::string>{"menu.*"});
                EXPECT_EQ(plan.sources.entries.strip_markup, false);
                EXPECT_EQ(plan.places(), 0u);
                EXPECT_FALSE(plan.sources.entries.key_column) << "told by the header";
            }},
        {{"-t", "tsv", "--key-column", "none", "in.tsv"}, "",
            [](const Plan& plan) { EXPECT_EQ(plan.sources.entries.key_column, ""); }},
        {{"-t", "auto", "--key-column", "2", "in.csv"}, "",
            [](const Plan& plan) { EXPECT_EQ(plan.sources.entries.key_column, "2"); }},
        {{"-f", "where", "in.txt"}, "", [](const Plan& plan) { EXPECT_EQ(plan.places(), 3u); }},
        {{"-f", "where", "--locations", "7", "in.txt"}, "",
            [](const Plan& plan) { EXPECT_EQ(plan.places(), 7u); }},
        {{"-f", "json", "in.txt"}, "",
            [&](const Plan& plan) {
                counted(plan);
                EXPECT_EQ(plan.places(), 1u);
            }},
        {{"--report", "--font", "f", "in.txt"}, "", [](const Plan& plan) { EXPECT_EQ(plan.places(), 1u); }},
        {{"--report", "in.txt"}, "",
            [&](const Plan& plan) {
                counted(plan);
                EXPECT_EQ(plan.places(), 0u);
            }},
        {{"--only", "字库", "in.txt"}, "",
            [](const Plan& plan) { EXPECT_EQ(plan.choosing.choice.only, U"字库"); }},
        // Additions keep the order of the command line across the three options.
        {{"--add", "零", "--add-set", "digits", "in.txt", "--add-file", "more.txt", "--add=-",
             "--add-set=gbk"},
            "",
            [](const Plan& plan) {
                EXPECT_EQ(plan.choosing.additions,
                    (std::vector<Addition>{std::u32string(U"零"), NamedSet::Digits,
                        std::filesystem::path("more.txt"), std::u32string(U"-"), NamedSet::Gbk}));
                EXPECT_EQ(plan.sources.paths, std::vector<std::filesystem::path>{"in.txt"});
                EXPECT_FALSE(plan.selection.count) << "additions need no counts";
            }},
        {{"--add-set", "hanzi", "in.txt"},
            "选项 --add-set 的值“hanzi”无效，可以是：ascii、digits、latin1、cjk-punct、gb2312-1、gb2312、"
            "gbk"},
        {{"--add", "", "in.txt"}, "--add 的字符是空的"},
        {{"--add", "\xFF", "in.txt"}, "--add 的字符不是有效的 UTF-8：\xFF"},
        {{"in.txt", "--add-file"}, "选项 --add-file 缺少参数或参数个数不对"},
        {{"-t", "po", "-n", "1", "in.po"}, "-n 只用于按行读取（-t lines）：翻译文件的条目没有“之后第 N 行”"},
        {{"-t", "doc", "in.doc"},
            "选项 --source-format "
            "的值“doc”无效，可以是：auto、lines、po、json、csv、tsv、srt、vtt、xliff、android、"
            "strings、resx、yaml、html、properties"},
        {{"-t", "lines", "--key", "a", "in.txt"}, "--key 不能用于 -t lines"},
        {{"-n", "1", "--key", "a", "in.txt"}, "--key 不能用于 -t lines"},
        {{"-t", "json", "--column", "2", "in.json"}, "--column 不能用于 -t json"},
        {{"-t", "json", "--key-column", "id", "in.json"}, "--key-column 不能用于 -t json"},
        {{"-t", "csv", "--key-column", "", "in.csv"}, "--key-column 要给出列名、从 1 起的列号或 none"},
        {{"-t", "csv", "--key-column", "1", "--key-column", "2", "in.csv"}, "选项 --key-column 只能给一次"},
        {{"-t", "po", "--xliff-source", "in.po"}, "--xliff-source 不能用于 -t po"},
        {{"-t", "lines", "--markup", "strip", "in.txt"}, "--markup strip 只用于翻译文件（-t 不是 lines）"},
        {{"--locations", "2", "in.txt"}, "--locations 只能与 -f where 一起使用"},
        {{"-f", "where", "--locations", "0", "in.txt"}, "选项 --locations 必须是1 到 1000 之间的整数：0"},
        {{"--missing-only", "in.txt"}, "--missing-only 只能与 --font 一起使用"},
        {{"--font", "f", "--missing-only", "--subset", "o.ttf", "in.txt"},
            "--missing-only 只留下字体缺少的字符，不能再用来做 --subset、--atlas、--preview 或 --web"},
        {{"-f", "where", "-o", "x", "--output-encoding", "gbk", "in.txt"},
            "where 总是以 UTF-8 写出，不能用 --output-encoding gbk"},

        {{"-o", "out.txt"}, "没有给出要提取的文件"},
        {{"-m"}, "选项 --marker 缺少参数或参数个数不对"},
        {{"-n", "-1", "in.txt"}, "选项 -n/--offset 必须是不小于0的整数：-1"},
        {{"-n", "", "in.txt"}, "选项 -n/--offset 必须是不小于0的整数："},
        {{"-m", "\xFF", "-o", "out.txt", "in.txt"}, "标记文字不是有效的 UTF-8：\xFF"},
        {{"--tbl-start", "80", "in.txt"}, "--tbl-start 只能与 -f tbl 或 --grid 一起使用"},
        // Fonts for engines and the web (the forms each engine gets: engine_fonts_test.cpp).
        {{"--font", "f", "--atlas", "x", "--engine", "phaser", "in.txt"}, "",
            [](const Plan& plan) { EXPECT_TRUE(plan.font.value().atlas_options.page_auto); }},
        {{"--font", "f", "--atlas", "x", "--engine", "godot", "--sdf", "in.txt"}, "",
            [](const Plan& plan) {
                EXPECT_EQ(plan.font.value().atlas_options.format, AtlasFormat::Text);
                EXPECT_FALSE(plan.font->atlas_options.page_auto) << "Godot reads every page";
            }},
        {{"--font", "f", "--atlas", "x", "--engine", "three", "in.txt"}, "",
            [](const Plan& plan) { EXPECT_EQ(plan.font.value().descriptor(), "x.json"); }},
        {{"--font", "f", "--atlas", "x", "--engine", "cocos", "--grid", "16x16", "in.txt"}, "",
            [](const Plan& plan) {
                EXPECT_FALSE(plan.font.value().atlas_options.page_auto) << "a grid's pages";
            }},
        {{"--font", "f", "--atlas", "x", "--page", "auto", "--atlas-keep", "in.txt"}, "",
            [](const Plan& plan) {
                EXPECT_TRUE(plan.font.value().atlas_options.page_auto);
                EXPECT_EQ(plan.font->atlas_options.format, AtlasFormat::Text);
                EXPECT_TRUE(plan.font->atlas_keep);
            }},
        {{"--font", "f", "--atlas", "x", "--engine", "phaser", "--atlas-format", "json", "in.txt"},
            "Phaser 4 读不了 json 格式的描述文件，它读 xml：去掉 --atlas-format 即可"},
        {{"--font", "f", "--atlas", "x", "--engine", "pixi", "--atlas-format", "binary", "in.txt"},
            "PixiJS 8 读不了 binary 格式的描述文件，它读 xml 或 text：去掉 --atlas-format 即可"},
        {{"--font", "f", "--atlas", "x", "--engine", "Godot", "in.txt"},
            "选项 --engine 的值“Godot”无效，可以是：godot、pixi、phaser、three、libgdx、cocos、unity"},
        {{"--font", "f", "--engine", "godot", "in.txt"}, "--engine 只能与 --atlas 一起使用"},
        {{"--font", "f", "--atlas", "x", "--page", "auto", "--grid", "16x16", "in.txt"},
            "--page auto 不能与 --grid 一起使用：网格的页面大小要给出，如 --page 256x256"},
        {{"--font", "f", "--atlas", "x", "--grid", "16x12", "--grid-columns", "32", "--tbl-start", "8800",
             "in.txt"},
            "",
            [](const Plan& plan) {
                const GridOptions& grid = plan.font.value().atlas_options.grid.value();
                EXPECT_EQ(grid.cell_width, 16u);
                EXPECT_EQ(grid.cell_height, 12u);
                EXPECT_EQ(grid.columns, 32u);
            }},
        {{"--font", "f", "--web", "site", "--chunk-size", "40", "--web-all", "--family", "Game Sans",
             "--web-fresh", "--css", "title.css", "--url-prefix", "https://cdn.example/f//", "--layout-features",
             "-kern", "in.txt"},
            "",
            [](const Plan& plan) {
                const FontPlan& font = plan.font.value();
                EXPECT_EQ(font.web.value(), "site");
                EXPECT_EQ(font.web_options.chunk_size, 40u * 1024);
                EXPECT_TRUE(font.web_options.all);
                EXPECT_TRUE(font.web_options.fresh);
                EXPECT_EQ(font.web_options.stylesheet, "title.css");
                EXPECT_EQ(font.web_options.url_prefix, "https://cdn.example/f");
                EXPECT_EQ(font.web_options.features, "-kern");
                EXPECT_TRUE(plan.selection.count) << "pieces follow the counts";
            }},
        {{"--font", "f", "--atlas", "x", "--sdf", "--mono", "in.txt"},
            "--sdf 与 --mono 不能同时使用：距离场是 8 位的"},
        {{"--font", "f", "--sdf", "in.txt"}, "--sdf 只能与 --atlas 一起使用"},
        {{"--font", "f", "--atlas", "x", "--spread", "4", "in.txt"}, "--spread 只能与 --sdf 一起使用"},
        {{"--font", "f", "--atlas", "x", "--sdf", "--spread", "0", "in.txt"},
            "选项 --spread 必须是2 到 32 之间的整数：0"},
        {{"--font", "f", "--atlas", "x", "--atlas-format", "yaml", "in.txt"},
            "选项 --atlas-format 的值“yaml”无效，可以是：text、xml、json、binary"},
        {{"--font", "f", "--atlas", "x", "--grid", "16", "in.txt"}, "--grid 的格式是 宽x高，如 16x16：16"},
        {{"--font", "f", "--atlas", "x", "--grid", "16x16", "--padding", "2", "in.txt"},
            "--padding 不能与 --grid 一起使用：网格的每个字形占一整格"},
        {{"--font", "f", "--atlas", "x", "--grid-columns", "8", "in.txt"},
            "--grid-columns 只能与 --grid 一起使用"},
        {{"--font", "f", "--atlas", "x", "--grid", "16x16", "--atlas-keep", "in.txt"},
            "--atlas-keep 不能与 --grid 一起使用：网格的格子按字库的顺序排列，而不是按先前的图集"},
        {{"--font", "f", "--atlas-keep", "in.txt"}, "--atlas-keep 只能与 --atlas 一起使用"},
        {{"--font", "f", "--web-all", "in.txt"}, "--web-all 只能与 --web 一起使用"},
        {{"--web", "site", "in.txt"}, "--web 只能与 --font 一起使用"},
        {{"--font", "f", "--css", "a.css", "in.txt"}, "--css 只能与 --web 一起使用"},
        {{"--font", "f", "--web", "site", "--css", "index.css", "in.txt"},
            "--css 应是 --web 文件夹中以 .css 结尾的文件名，如 title.css（不能是 index.css，它的检查页会与 font.css 的相同）：index.css"},
        {{"--font", "f", "--web", "site", "--css", "../a.css", "in.txt"}, "--css 应是 --web 文件夹中以 .css 结尾的文件名，如 title.css（不能是 index.css，它的检查页会与 font.css 的相同）：../a.css"},
        {{"--font", "f", "--web", "site", "--url-prefix", "/", "in.txt"}, "--url-prefix 应是网址的开头，如 https://cdn.example.com/fonts，不能有空白：/"},
        {{"--font", "f", "--web", "site", "--url-prefix", "a b", "in.txt"}, "--url-prefix 应是网址的开头，如 https://cdn.example.com/fonts，不能有空白：a b"},
        {{"--font", "f", "--web", "site", "--chunk-size", "1", "in.txt"},
            "选项 --chunk-size 必须是4 到 10240 之间的整数：1"},
        {{"--font", "f", "--web", "site", "--family", "a\"b", "in.txt"},
            "--family 不能为空，也不能含有引号、反斜杠、尖括号、花括号、分号或换行：a\"b"},
        {{"-f", "tbl", "--tbl-start", "12345", "in.txt"}, "--tbl-start 必须是 1 到 4 位十六进制数：12345"},
        {{"-f", "xml", "in.txt"},
            "选项 --format 的值“xml”无效，可以是：text、counts、tbl、unicode-range、json、where"},
        {{"--min-count", "0", "in.txt"}, "选项 --min-count 必须是不小于1的整数：0"},
        {{"-e", "latin1", "in.txt"},
            "选项 --encoding 的值“latin1”无效，可以是：auto、gbk、gb18030、utf-8、utf-16le、utf-16be"},
        {{"-e", "UTF8", "--output-encoding", "UTF-16LE", "-o", "out.txt", "in.txt"},
            "选项 --output-encoding 的值“UTF-16LE”无效，可以是：gbk、gb18030、utf-8"},
        {{"--order", "freq", "--order", "code", "in.txt"}, "选项 --order 只能给一次"},
        {{"--font", "f", "--face", "007", "in.txt"}, "",
            [](const Plan& plan) { EXPECT_EQ(plan.font->face.index, 7u); }},
        {{"--font", "f", "--face", "", "in.txt"}, "--face 要给出字体的编号或名称"},
        {{"--font", "f", "--face", "65536", "in.txt"}, "选项 --face 必须是0 到 65535 之间的整数：65536"},
        {{"--glob", "*.md", "in.txt"}, "--glob 只能与 -r 一起使用"},
        {{"--output-encoding", "utf-8", "in.txt"}, "--output-encoding 只能与 -o 一起使用"},
        {{"-s", "--order", "freq", "in.txt"}, "-s 就是 --order code，不能与 --order freq 同时使用"},
        {{"-f", "json", "-o", "out.txt", "--output-encoding", "gbk", "in.txt"},
            "json 总是以 UTF-8 写出，不能用 --output-encoding gbk"},
        {{"--replace-unmappable", "in.txt"}, "--replace-unmappable 只用于以 gbk 写出的 -o"},
        {{"--atlas", "x", "in.txt"}, "--atlas 只能与 --font 一起使用"},
        {{"--font", "f", "--mono", "in.txt"}, "--mono 只能与 --atlas 一起使用"},
        {{"--font", "f", "--size", "20", "in.txt"}, "--size 只能与 --atlas 或 --preview 一起使用"},
        {{"--font", "f", "--atlas", "x", "--size", "300", "in.txt"},
            "选项 --size 必须是4 到 256 之间的整数：300"},
        {{"--font", "f", "--atlas", "x", "--padding", "1000", "in.txt"},
            "选项 --padding 必须是0 到 255 之间的整数：1000"},
        {{"--font", "f", "--atlas", "x", "--page", "9", "in.txt"},
            "--page 的格式是 宽x高，如 1024x1024，或 auto：9"},
        {{"--font", "f", "--atlas", "x", "--page", "1024x20000", "in.txt"},
            "选项 --page 必须是16 到 16384 之间的整数：20000"},
        {{"--font", "f", "--subset", "out.woff", "in.txt"},
            "--subset 的文件名要以 .ttf、.otf 或 .woff2 结尾（不写 WOFF 1）：out.woff"},
        {{"--font", "f", "--layout-features", "kern", "in.txt"},
            "--layout-features 只能与 --subset 或 --web 一起使用"},
        {{"--font", "f", "--subset", "o.ttf", "--layout-features", "+kerning", "in.txt"},
            "--layout-features：“+kerning”不是特性标签：标签是 1 到 4 个可打印的 ASCII 字符，前面可加 + 或 "
            "-，* 表示所有特性"},
    };
    for (const auto& [args, error, check] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        try {
            const Plan plan = std::get<Plan>(plan_of(args, Language::Chinese));
            EXPECT_EQ(error, "") << "accepted";
            if (check) check(plan);
        } catch (const UsageError& refused) {
            EXPECT_EQ(refused.what(), error);
        }
    }
}

}  // namespace
