// charlib-cli: the character library of text files, from a terminal.

#include <unistd.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "base/error.h"
#include "codec/encodings.h"
#include "codec/utf.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "font/font.h"
#include "output/output.h"
#include "sources/listing.h"
#include "sources/read_source.h"

namespace {

using namespace charlib;

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

constexpr const char* help_text = R"(用法: charlib-cli [选项] 来源...
提取各来源文件中所选各行用到的字符，每个字符只取一次，按首次出现的顺序（各来源
依次相接，如同一个文本）；可计数、筛选、排序，并写成多种格式。

选行
  -m, --marker TEXT        只用含有 TEXT（UTF-8）的行（默认为空：所有非空行）
  -n, --offset N           改用每个这样的行之后的第 N 行（不小于0的整数，默认0）；
                           不会跳入下一个来源

来源
  -                        来源为 - 时读标准输入；命名管道也按数据流读取
  -r, --recursive          来源是文件夹时，读取其中（含子文件夹）匹配的文件，按路径排序；
                           同一个文件（如经链接）只读一次，跳过的项目在标准错误中列出
      --glob PATTERN       -r 时要读的文件名（默认 *.txt，可多次给出）
      --iglob PATTERN      同 --glob，但不区分大小写
      --hidden             -r 时也读以 . 开头的文件和文件夹
  -e, --encoding NAME      gbk（默认；也可写 cp936、gb2312 等）、gb18030、utf-8、utf-16le、
                           utf-16be 或 auto（不区分大小写）：auto 时有字节顺序标记按标记；
                           否则多字节序列几乎都有效的按 UTF-8，有有效四字节序列的按
                           GB18030，隔位零字节或大多是汉字的按 UTF-16，其余按 GBK
      --newline MODE       legacy：CR LF 或单独的 CR 结束一行，单独的 LF 留在行中
                           （gbk 的默认）；any：CR LF、CR 或 LF 都结束一行（其他编码的默认）
  -k, --keep-going         某个来源无法使用时报告它，继续处理其他来源，最后以 1 退出
      --strict             来源中有无效字节序列时出错（以 1 退出，什么都不写）；
                           否则只在标准错误中提示（个数和第一处的位置）

选字
      --exclude FILE       去掉 FILE 中的所有字符（自动判断编码；如字体的字符表或
                           以前的 END.txt），可多次给出
      --no-ascii           去掉 U+0000–U+007F
      --min-count N        只留出现至少 N 次的字符（N 不小于1）
      --order ORDER        first：首次出现的顺序（默认）；code：按编码升序；
                           freq：按出现次数从多到少，次数相同时按首次出现
  -s, --sort               同 --order code

输出
  -f, --format FORMAT      text（默认）、counts、tbl、unicode-range 或 json，见下
      --tbl-start HEX      tbl 的起始编码（十六进制，如 8000 或 0x8000，默认 8000）
  -o, --output PATH        写入 PATH（整个替换；链接指向的文件被替换，链接不变；设备和
                           管道直接写入；PATH 为 - 时写到标准输出），而不是标准输出；
                           text 格式与窗口的“写入END.txt”相同：字库加 CR LF。
                           输出文件不能是来源文件；-r 时输出文件不算来源
      --output-encoding E  -o 的编码：gbk（默认）、gb18030 或 utf-8；json 总是 utf-8
      --replace-unmappable 输出编码无法表示的字符写作 ?（仍在标准错误中列出），
                           否则不写文件并以 1 退出
      --report             在标准错误中输出中文摘要：来源、行数、字符数、GB2312
                           一级/二级汉字覆盖、GBK 与代码页936以外的字符、无效字节序列
  -h, --help               显示本帮助
      --version            显示版本

字体（字体缺少的字符在标准错误中列出：个数，然后每个字符及其编码，最多50个）
      --font PATH          字体文件（TrueType、OpenType 或 .ttc/.otc 字体集）
      --face N             字体集中的第几个字体（默认0）
      --subset OUT         把字体裁剪到字库中的字符，写入 OUT（.ttf、.otf 或 .woff2）；
                           除 HarfBuzz 默认保留的排版特性外，还保留字体中有的中日韩
                           标点挤压和竖排特性（halt、palt、vhal、vpal、vert、vrt2、locl、
                           ccmp、kern、vkrn）
      --layout-features L  增减裁剪时保留的排版特性：+smcp 或 smcp 保留，-kern 去掉，
                           * 保留全部，-* 全部去掉；以逗号分隔，按顺序生效
      --require-all        字体缺少任何字符时出错（以 1 退出，什么都不写）
      --atlas OUT          点阵字库：OUT_0.png、OUT_1.png…… 和 BMFont 文本格式的 OUT.fnt
      --size PX            点阵字库和预览图的像素高度（4 到 256，默认16）
      --padding N          点阵字库中每个字形四周的空白像素（0 到 255，默认1）
      --page WxH           点阵字库的页面大小（默认 1024x1024，不够时多页）
      --mono               1 位的点阵字形（复古平台），而不是 8 位灰度
      --preview OUT.png    把字库用字体画成预览图，每行32个，缺少的字符画成空框

格式（标准输出为 UTF-8，每行以 LF 结束；-o 用输出编码，每行以 CR LF 结束）
  text           字库本身：#张三李四
  counts         每行一个字符、一个制表符、出现次数：张	12
  tbl            码表，每行“编码=字符”，编码从 --tbl-start 起递增：8000=张
  unicode-range  CSS 的 unicode-range，相邻编码合并：U+4E00-4E02,U+4E0A
  json           一个对象：来源（路径、编码、字节、行数、选中行数、无效字节序列）、
                 字符及次数、覆盖情况
  counts 和 tbl 把控制字符（如换行）写作 U+000A 这样的名字。

示例
  charlib-cli -m '#' -n 1 -s -o END.txt script.txt
  charlib-cli -r -e auto --exclude font.txt --order freq -f tbl -o game.tbl scripts/
  charlib-cli -e utf-8 -f unicode-range chapter1.txt chapter2.txt
  charlib-cli -r --glob '*.txt' --glob '*.srt' -e auto -f json --report subtitles/ > chars.json
  charlib-cli -m '#' -n 1 script.txt --font wqy-microhei.ttc --subset game.woff2 --atlas game

退出状态：0 成功；1 来源或输出文件无法使用（含Ctrl+Z字符、无法打开、读取或写入、
有无法编码的字符）；2 用法错误。
)";

struct UsageError {
    std::string message;
};

struct Options {
    std::vector<std::string> sources;
    std::string marker;
    std::string offset = "0";
    bool sort = false;
    std::string order = "first";
    std::optional<std::string> output;
    std::string encoding = "gbk";
    std::optional<std::string> newline;
    std::optional<std::string> output_encoding;
    bool replace_unmappable = false;
    bool recursive = false;
    std::vector<std::string> globs, iglobs;
    bool hidden = false;
    bool keep_going = false;
    bool strict = false;
    std::vector<std::string> excludes;
    bool no_ascii = false;
    std::optional<std::string> min_count;
    std::string format = "text";
    std::optional<std::string> tbl_start;
    bool report = false;
    std::optional<std::string> font, face, subset, atlas, size, padding, page, preview, layout_features;
    bool require_all = false;
    bool mono = false;
};

// What the options ask for, checked and converted.
struct Plan {
    std::vector<std::filesystem::path> sources;
    ListingRules listing;
    bool keep_going = false;
    bool strict = false;
    std::optional<Encoding> encoding;  // nothing: auto
    std::optional<Newline> newline;
    Selection selection;
    std::vector<std::filesystem::path> excludes;
    Choice choice;
    Format format = Format::Text;
    unsigned tbl_start = 0x8000;
    std::optional<std::filesystem::path> output;  // "-": standard output
    OutputEncoding output_encoding = OutputEncoding::Gbk;
    bool replace_unmappable = false;
    bool report = false;
    std::optional<std::filesystem::path> font;
    unsigned face = 0;
    std::optional<std::filesystem::path> subset, preview;
    std::optional<std::filesystem::path> atlas;  // without ".fnt": the pages and the .fnt are named from it
    bool require_all = false;
    std::vector<LayoutFeatureChange> layout_features;
    AtlasOptions atlas_options;
};

template <class Value>
Value one_of(const std::string& option, const std::string& given,
    std::initializer_list<std::pair<const char*, Value>> names)
{
    for (const auto& [name, value] : names)
        if (given == name) return value;
    std::string known;
    for (const auto& [name, value] : names)
        known += std::string(known.empty() ? "" : "、") + name;
    throw UsageError{"选项 " + option + " 的值“" + given + "”无效，可以是：" + known};
}

std::uint64_t whole_number(const std::string& option, const std::string& text, std::uint64_t least,
    std::uint64_t most = std::uint64_t{1} << 62)
{
    const bool digits =
        !text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoull(text) < least || std::stoull(text) > most)
        throw UsageError{"选项 " + option + " 必须是" +
            (most == std::uint64_t{1} << 62
                    ? "不小于" + std::to_string(least) + "的整数"
                    : std::to_string(least) + " 到 " + std::to_string(most) + " 之间的整数") +
            "：" + text};
    return std::stoull(text);
}

// The font options: all of them need --font, and the atlas's own need --atlas.
void plan_font(const Options& o, Plan& plan)
{
    const std::pair<const char*, bool> need_font[] = {{"--face", o.face.has_value()},
        {"--subset", o.subset.has_value()}, {"--atlas", o.atlas.has_value()},
        {"--preview", o.preview.has_value()}, {"--require-all", o.require_all},
        {"--layout-features", o.layout_features.has_value()}};
    for (const auto& [option, given] : need_font)
        if (given && !o.font) throw UsageError{std::string(option) + " 只能与 --font 一起使用"};
    const std::pair<const char*, bool> need_atlas[] = {
        {"--padding", o.padding.has_value()}, {"--page", o.page.has_value()}, {"--mono", o.mono}};
    for (const auto& [option, given] : need_atlas)
        if (given && !o.atlas) throw UsageError{std::string(option) + " 只能与 --atlas 一起使用"};
    if (o.size && !o.atlas && !o.preview) throw UsageError{"--size 只能与 --atlas 或 --preview 一起使用"};
    if (!o.font) return;
    plan.font = *o.font;
    if (o.face) plan.face = static_cast<unsigned>(whole_number("--face", *o.face, 0, 65535));
    if (o.subset) {
        plan.subset = *o.subset;
        std::string extension = plan.subset->extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
            [](unsigned char c) { return std::tolower(c); });
        if (extension != ".ttf" && extension != ".otf" && extension != ".woff2")
            throw UsageError{"--subset 的文件名要以 .ttf、.otf 或 .woff2 结尾（不写 WOFF 1）：" + *o.subset};
    }
    if (o.layout_features) {
        if (!o.subset) throw UsageError{"--layout-features 只能与 --subset 一起使用"};
        if (const auto problem = parse_layout_features(*o.layout_features, plan.layout_features))
            throw UsageError{"--layout-features：" + *problem};
    }
    if (o.atlas) {
        plan.atlas = *o.atlas;
        if (plan.atlas->extension() == ".fnt") plan.atlas->replace_extension();
    }
    if (o.preview) plan.preview = *o.preview;
    plan.require_all = o.require_all;
    AtlasOptions& atlas = plan.atlas_options;
    if (o.size) atlas.size = static_cast<unsigned>(whole_number("--size", *o.size, 4, 256));
    if (o.padding) atlas.padding = static_cast<unsigned>(whole_number("--padding", *o.padding, 0, 255));
    if (o.page) {
        const std::size_t x = o.page->find('x');
        if (x == std::string::npos) throw UsageError{"--page 的格式是 宽x高，如 1024x1024：" + *o.page};
        atlas.page_width = static_cast<unsigned>(whole_number("--page", o.page->substr(0, x), 16, 16384));
        atlas.page_height = static_cast<unsigned>(whole_number("--page", o.page->substr(x + 1), 16, 16384));
    }
    atlas.mono = o.mono;
}

std::optional<Encoding> source_encoding(const std::string& name)
{
    std::string lower = name;
    std::transform(
        lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower == "auto") return std::nullopt;
    if (const auto encoding = encoding_named(name)) return encoding;
    throw UsageError{"选项 --encoding 的值“" + name +
        "”无效，可以是：gbk（cp936、gb2312）、gb18030、utf-8、utf-16le、utf-16be 或 auto"};
}

OutputEncoding output_encoding(const std::string& name)
{
    const std::optional<Encoding> encoding = encoding_named(name);
    if (encoding == Encoding::Gbk) return OutputEncoding::Gbk;
    if (encoding == Encoding::Gb18030) return OutputEncoding::Gb18030;
    if (encoding == Encoding::Utf8) return OutputEncoding::Utf8;
    throw UsageError{"选项 --output-encoding 的值“" + name + "”无效，可以是：gbk、gb18030 或 utf-8"};
}

Plan plan_of(const Options& o)
{
    if (o.sources.empty()) throw UsageError{"没有给出要提取的文件"};
    Plan plan;
    plan.sources.assign(o.sources.begin(), o.sources.end());
    plan.listing.recursive = o.recursive;
    const std::pair<const char*, bool> need_recursive[] = {
        {"--glob", !o.globs.empty()}, {"--iglob", !o.iglobs.empty()}, {"--hidden", o.hidden}};
    for (const auto& [option, given] : need_recursive)
        if (given && !o.recursive) throw UsageError{std::string(option) + " 只能与 -r 一起使用"};
    if (!o.globs.empty() || !o.iglobs.empty()) plan.listing.patterns.clear();
    for (const std::string& glob : o.globs)
        plan.listing.patterns.push_back({glob, false});
    for (const std::string& glob : o.iglobs)
        plan.listing.patterns.push_back({glob, true});
    plan.listing.hidden = o.hidden;
    plan.keep_going = o.keep_going;
    plan.strict = o.strict;
    plan.encoding = source_encoding(o.encoding);
    if (o.newline)
        plan.newline =
            one_of<Newline>("--newline", *o.newline, {{"legacy", Newline::Legacy}, {"any", Newline::Any}});
    const std::optional<std::u32string> marker = from_utf8(o.marker);
    if (!marker) throw UsageError{"标记文字不是有效的 UTF-8：" + o.marker};
    plan.selection.marker = *marker;
    plan.selection.offset = static_cast<std::int64_t>(whole_number("-n/--offset", o.offset, 0));
    plan.excludes.assign(o.excludes.begin(), o.excludes.end());
    plan.choice.no_ascii = o.no_ascii;
    if (o.min_count) plan.choice.min_count = whole_number("--min-count", *o.min_count, 1);
    plan.choice.order = one_of<Order>(
        "--order", o.order, {{"first", Order::First}, {"code", Order::Code}, {"freq", Order::Frequency}});
    if (o.sort) {
        if (plan.choice.order != Order::First && plan.choice.order != Order::Code)
            throw UsageError{"-s 就是 --order code，不能与 --order " + o.order + " 同时使用"};
        plan.choice.order = Order::Code;
    }
    plan.format = one_of<Format>("--format", o.format,
        {{"text", Format::Text}, {"counts", Format::Counts}, {"tbl", Format::Tbl},
            {"unicode-range", Format::UnicodeRange}, {"json", Format::Json}});
    if (o.tbl_start) {
        if (plan.format != Format::Tbl) throw UsageError{"--tbl-start 只能与 -f tbl 一起使用"};
        std::string hex = *o.tbl_start;
        if (hex.starts_with("0x") || hex.starts_with("0X")) hex.erase(0, 2);
        if (hex.empty() || hex.size() > 4 ||
            hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw UsageError{"--tbl-start 必须是 1 到 4 位十六进制数：" + *o.tbl_start};
        plan.tbl_start = static_cast<unsigned>(std::stoul(hex, nullptr, 16));
    }
    if (o.output) plan.output = *o.output;
    if (o.output_encoding) {
        if (!o.output) throw UsageError{"--output-encoding 只能与 -o 一起使用"};
        plan.output_encoding = output_encoding(*o.output_encoding);
        if (plan.format == Format::Json && plan.output_encoding != OutputEncoding::Utf8)
            throw UsageError{"json 总是以 UTF-8 写出，不能用 --output-encoding " + *o.output_encoding};
    }
    if (plan.format == Format::Json) plan.output_encoding = OutputEncoding::Utf8;
    plan.replace_unmappable = o.replace_unmappable;
    if (o.replace_unmappable && (!o.output || plan.output_encoding != OutputEncoding::Gbk))
        throw UsageError{"--replace-unmappable 只用于以 gbk 写出的 -o"};
    plan.report = o.report;
    plan_font(o, plan);
    plan.selection.count = plan.choice.order == Order::Frequency || plan.choice.min_count > 1 ||
        plan.format == Format::Counts || plan.format == Format::Json || plan.report;
    return plan;
}

// Returns nothing when --help or --version was answered.
std::optional<Options> parse(int argc, char** argv)
{
    Options o;
    CLI::App app("charlib-cli");
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", "charlib-cli " CHARLIB_VERSION);
    app.allow_extras();
    app.add_option("-m,--marker", o.marker);
    app.add_option("-n,--offset", o.offset);
    app.add_flag("-s,--sort", o.sort);
    app.add_option("--order", o.order);
    app.add_option("-o,--output", o.output);
    app.add_option("-e,--encoding", o.encoding);
    app.add_option("--newline", o.newline);
    app.add_option("--output-encoding", o.output_encoding);
    app.add_flag("--replace-unmappable", o.replace_unmappable);
    app.add_flag("-r,--recursive", o.recursive);
    app.add_option("--glob", o.globs)->allow_extra_args(false);
    app.add_option("--iglob", o.iglobs)->allow_extra_args(false);
    app.add_flag("--hidden", o.hidden);
    app.add_flag("-k,--keep-going", o.keep_going);
    app.add_flag("--strict", o.strict);
    app.add_option("--exclude", o.excludes)->allow_extra_args(false);
    app.add_flag("--no-ascii", o.no_ascii);
    app.add_option("--min-count", o.min_count);
    app.add_option("-f,--format", o.format);
    app.add_option("--tbl-start", o.tbl_start);
    app.add_flag("--report", o.report);
    app.add_option("--font", o.font);
    app.add_option("--face", o.face);
    app.add_option("--subset", o.subset);
    app.add_flag("--require-all", o.require_all);
    app.add_option("--layout-features", o.layout_features);
    app.add_option("--atlas", o.atlas);
    app.add_option("--size", o.size);
    app.add_option("--padding", o.padding);
    app.add_option("--page", o.page);
    app.add_flag("--mono", o.mono);
    app.add_option("--preview", o.preview);
    app.add_option("sources", o.sources);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << help_text;
        return std::nullopt;
    } catch (const CLI::CallForVersion& version) {
        std::cout << version.what() << "\n";
        return std::nullopt;
    } catch (const CLI::ArgumentMismatch& error) {
        const std::string what = error.what();
        const std::string option = what.substr(0, what.find(':'));
        const CLI::Option* given = app.get_option_no_throw(option);
        if (given && given->count() > 1) throw UsageError{"选项 " + option + " 只能给一次"};
        throw UsageError{"选项 " + option + " 缺少参数或参数个数不对"};
    } catch (const CLI::ParseError& error) {
        throw UsageError{std::string("参数有误：") + error.what()};
    }
    for (const std::string& extra : app.remaining()) {
        if (extra == "--") break;
        if (extra.size() > 1 && extra[0] == '-') throw UsageError{"未知选项：" + extra};
    }
    return o;
}

// The files a run writes, so that none of its inputs is among them.
class RunOutputs {
public:
    explicit RunOutputs(const Plan& plan)
    {
        if (plan.output && *plan.output != "-") named_.push_back(*plan.output);
        if (plan.subset) named_.push_back(*plan.subset);
        if (plan.preview) named_.push_back(*plan.preview);
        if (plan.atlas) {
            named_.push_back(plan.atlas->string() + ".fnt");
            atlas_folder_ = folder_of(*plan.atlas);
            atlas_name_ = plan.atlas->filename().string();
        }
        for (const std::filesystem::path& path : named_)
            ids_.push_back(file_id(path));
    }

    // The output that `input` is, if it is one: the same file by whatever
    // path, or one of the atlas's pages.
    std::optional<std::filesystem::path> which(const std::filesystem::path& input) const
    {
        const std::optional<FileId> id = file_id(input == "-" ? "/dev/stdin" : input);
        if (!id) return std::nullopt;
        for (std::size_t i = 0; i < named_.size(); ++i)
            if (ids_[i] == id) return named_[i];
        if (atlas_folder_ && is_page(input.filename().string()) &&
            file_id(folder_of(input)) == file_id(*atlas_folder_))
            return *atlas_folder_ / input.filename();
        return std::nullopt;
    }

    // Two outputs that would write one file.
    void check_apart() const
    {
        for (std::size_t i = 0; i < named_.size(); ++i) {
            const auto resolved = [](const std::filesystem::path& path) {
                return std::filesystem::weakly_canonical(std::filesystem::absolute(path));
            };
            for (std::size_t j = i + 1; j < named_.size(); ++j)
                if (resolved(named_[i]) == resolved(named_[j]) || (ids_[i] && ids_[i] == ids_[j]))
                    throw UsageError{
                        "两个输出是同一个文件：“" + named_[i].string() + "”和“" + named_[j].string() + "”"};
            if (atlas_folder_ && is_page(named_[i].filename().string()) &&
                file_id(folder_of(named_[i])) == file_id(*atlas_folder_))
                throw UsageError{"输出“" + named_[i].string() + "”会被点阵字库的页面覆盖"};
        }
    }

private:
    static std::filesystem::path folder_of(const std::filesystem::path& path)
    {
        return path.has_parent_path() ? path.parent_path() : ".";
    }
    // NAME_0.png, NAME_1.png...
    bool is_page(const std::string& name) const
    {
        const std::string prefix = atlas_name_ + "_", suffix = ".png";
        if (!name.starts_with(prefix) || !name.ends_with(suffix)) return false;
        const std::string number = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        return !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
    }

    std::vector<std::filesystem::path> named_;
    std::vector<std::optional<FileId>> ids_;
    std::optional<std::filesystem::path> atlas_folder_;
    std::string atlas_name_;
};

// Refuses, before anything is read, a run that would write over one of its inputs.
void check_inputs_apart(const Plan& plan, const RunOutputs& outputs)
{
    outputs.check_apart();
    std::vector<std::filesystem::path> inputs = plan.excludes;
    if (plan.font) inputs.push_back(*plan.font);
    for (const std::filesystem::path& source : plan.sources) {
        std::error_code error;
        if (!plan.listing.recursive || !std::filesystem::is_directory(source, error))
            inputs.push_back(source);
    }
    for (const std::filesystem::path& input : inputs)
        if (const auto output = outputs.which(input))
            throw UsageError{"输出文件“" + output->string() + "”就是输入文件“" + input.string() +
                "”，这样会把它覆盖：请换一个输出文件名"};
}

// One progress line on a terminal, rewritten in place, for large runs.
class Progress {
public:
    Progress(const std::vector<std::filesystem::path>& sources)
    {
        for (const auto& source : sources) {
            std::error_code error;
            const auto size = std::filesystem::file_size(source, error);
            total_ += error ? 0 : size;
        }
        shown_ = ::isatty(2) && total_ > (std::uint64_t{64} << 20);
        start_ = last_ = std::chrono::steady_clock::now();
    }
    ~Progress()
    {
        if (drawn_) std::cerr << "\r\033[K" << std::flush;
    }
    // Reading a source that begins after `before` bytes of the others.
    std::function<void(std::uint64_t)> source(std::uint64_t before)
    {
        if (!shown_) return {};
        return [this, before](std::uint64_t bytes) { show(before + bytes); };
    }

private:
    void show(std::uint64_t done)
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        char line[128];
        std::snprintf(line, sizeof line, "\r已读 %.0f / %.0f MB  %.0f MB/s", done / 1e6, total_ / 1e6,
            seconds > 0 ? done / 1e6 / seconds : 0.0);
        std::cerr << line << std::flush;
        drawn_ = true;
    }

    std::uint64_t total_ = 0;
    bool shown_ = false;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, last_;
};

std::string listed(std::u32string_view characters, std::size_t most)
{
    std::string text;
    for (std::size_t i = 0; i < characters.size() && i < most; ++i)
        text += (i ? "、" : "") + to_utf8(characters.substr(i, 1)) + " " + code_point_name(characters[i]);
    return text + (characters.size() > most ? "……" : "");
}

void print_report(const std::vector<SourceReport>& sources, const Tally& chosen)
{
    std::uint64_t lines = 0, selected = 0, invalid = 0;
    std::size_t used = 0;
    for (const SourceReport& source : sources) {
        if (!source.error.empty()) continue;
        ++used;
        lines += source.facts.lines;
        selected += source.facts.selected_lines;
        invalid += source.facts.invalid;
    }
    const Coverage found = coverage(chosen.characters);
    const auto percent = [](std::uint64_t part, std::uint64_t whole) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f%%", whole ? 100.0 * part / whole : 0.0);
        return std::string(text);
    };
    std::cerr << "来源 " << used << " 个，共 " << lines << " 行，选中 " << selected << " 行";
    if (used < sources.size()) std::cerr << "；无法使用的来源 " << sources.size() - used << " 个";
    std::cerr << "\n";
    std::size_t detected = 0;
    for (const SourceReport& source : sources)
        if (!source.encoding_reason.empty() && detected++ < 20)
            std::cerr << "  " << source.path.string() << "：按 " << encoding_name(source.encoding)
                      << " 读取，因为" << source.encoding_reason << "\n";
    if (detected > 20) std::cerr << "  ……另有 " << detected - 20 << " 个来源的编码是自动判断的\n";
    std::cerr << "不重复字符 " << chosen.characters.size() << " 个\n"
              << "GB2312 一级汉字 " << found.level1 << " / " << found.level1_size << "（"
              << percent(found.level1, found.level1_size) << "）\n"
              << "GB2312 二级汉字 " << found.level2 << " / " << found.level2_size << "（"
              << percent(found.level2, found.level2_size) << "）\n"
              << "GB2312 其他字符 " << found.gb2312_other << " 个，单字节字符 " << found.single_byte
              << " 个\n"
              << "GBK 中 GB2312 以外 " << found.beyond_gb2312 << " 个\n"
              << "代码页936以外 " << found.outside.size() << " 个"
              << (found.outside.empty() ? "" : "：" + listed(found.outside, 10)) << "\n"
              << "无效字节序列 " << invalid << " 处\n";
    std::size_t shown = 0;
    for (const SourceReport& source : sources)
        for (const InvalidSequence& place : source.facts.first_invalid)
            if (shown++ < 10)
                std::cerr << "  " << source.path.string() << ":" << place.line << ":第" << place.byte
                          << "字节\n";
}

void warn(const std::string& text)
{
    std::cerr << "charlib-cli: " << text << "\n";
}

// What the sources hold, and what json and the report say of them.
struct Gathered {
    Tally all;
    std::vector<SourceReport> reports;
    std::size_t used = 0;  // sources read
    bool failed = false;  // a source could not be used (with -k)
};

// The characters of every source. Returns nothing when a source stops the run.
std::optional<Gathered> gather(const Plan& plan, const std::vector<std::filesystem::path>& sources)
{
    Progress progress(sources);
    Gathered gathered;
    ReadingRules rules{
        plan.encoding, plan.newline, plan.selection, plan.format == Format::Json || plan.report, plan.strict};
    std::uint64_t before = 0;
    std::size_t guesses = 0;
    for (const std::filesystem::path& source : sources) {
        rules.selection.progress = progress.source(before);
        SourceRead read = read_source(source, rules);
        SourceReport& report = read.report;
        if (read.encoding_guessed && guesses++ < 10)
            warn("注意：“" + source.string() + "”按 " + encoding_name(report.encoding) +
                " 读取（自动判断），因为" + report.encoding_reason);
        for (const std::string& warning : read.warnings)
            warn(warning);
        if (!report.error.empty()) {
            warn(report.error);
            if (!plan.keep_going) return std::nullopt;
            gathered.failed = true;
        } else {
            gathered.all.add(read.tally);
            ++gathered.used;
            std::error_code error;
            before += std::filesystem::file_size(source, error);
        }
        gathered.reports.push_back(std::move(report));
    }
    if (guesses > 10)
        warn("注意：另有 " + std::to_string(guesses - 10) + " 个来源的编码是猜的（--report 列出理由）");
    return gathered;
}

// What the font makes of the set: computed whole before anything is written.
struct FontWork {
    FontFacts facts;
    FontData subset;
    std::string preview;
    Atlas atlas;
};

std::optional<FontWork> make_fonts(const Plan& plan, const Tally& chosen)
{
    const Font font(*plan.font, plan.face);
    FontWork work{
        {plan.font->string(), plan.face, font.family(), font.missing(chosen.characters)}, {}, {}, {}};
    if (!work.facts.missing.empty()) {
        warn("字体“" + plan.font->string() + "”缺少 " + std::to_string(work.facts.missing.size()) +
            " 个字符：" + listed(work.facts.missing, 50));
        if (plan.require_all) {
            warn("有 --require-all，什么都没有写入");
            return std::nullopt;
        }
    }
    if (plan.subset) {
        std::string extension = plan.subset->extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
            [](unsigned char c) { return std::tolower(c); });
        if (extension == ".ttf" && font.has_cff_outlines())
            warn("注意：字体“" + plan.font->string() +
                "”的字形是 CFF 格式，裁剪结果通常用 .otf 作扩展名，而不是“" + plan.subset->string() + "”");
        work.subset = subset_font(font, chosen.characters, extension == ".woff2", plan.layout_features);
    }
    if (plan.atlas)
        work.atlas =
            render_atlas(font, chosen.characters, plan.atlas_options, plan.atlas->filename().string());
    if (plan.preview) work.preview = render_preview(font, chosen.characters, plan.atlas_options.size);
    return work;
}

void add_fonts(FileBatch& files, const Plan& plan, const FontWork& work)
{
    if (plan.subset) files.add(*plan.subset, work.subset.bytes());
    if (plan.preview) files.add(*plan.preview, work.preview);
    if (!plan.atlas) return;
    const std::string base = plan.atlas->string();
    for (std::size_t i = 0; i < work.atlas.pages.size(); ++i)
        files.add(base + "_" + std::to_string(i) + ".png", work.atlas.pages[i]);
    files.add(base + ".fnt", work.atlas.descriptor);
}

// "no source found" names where it looked.
std::string nothing_found(const Plan& plan)
{
    std::string folders, patterns;
    for (const std::filesystem::path& source : plan.sources)
        folders += (folders.empty() ? "“" : "、“") + source.string() + "”";
    for (const NamePattern& pattern : plan.listing.patterns)
        patterns += (patterns.empty() ? "" : "、") + pattern.pattern;
    return "没有找到来源文件：" + folders + "中没有文件名与 " + patterns + " 相配的文件" +
        (plan.listing.hidden ? "" : "（以 . 开头的文件和文件夹要加 --hidden 才读）") + "，什么都没有写入";
}

void warn_skipped(const std::vector<Skipped>& skipped)
{
    if (skipped.empty()) return;
    std::string text = "注意：跳过了 " + std::to_string(skipped.size()) + " 项：";
    for (std::size_t i = 0; i < skipped.size() && i < 20; ++i)
        text += (i ? "；“" : "“") + skipped[i].path.string() + "”（" + skipped[i].reason + "）";
    warn(text + (skipped.size() > 20 ? "……" : ""));
}

// Why the set came out empty, for the user who expected characters.
std::string empty_set_note(const Plan& plan, const Gathered& gathered)
{
    if (!gathered.all.characters.empty())
        return "注意：所有字符都被 --exclude、--no-ascii 或 --min-count 去掉了";
    if (!plan.selection.marker.empty()) return "注意：没有选出任何字符：没有一行含有所给的标记";
    return "注意：没有选出任何字符：来源中没有非空的行";
}

int run(const Plan& plan)
{
    const RunOutputs outputs(plan);
    check_inputs_apart(plan, outputs);
    ListingRules rules = plan.listing;
    rules.leave_out = [&](const std::filesystem::path& path) { return outputs.which(path).has_value(); };
    const SourceListing listing = list_sources(plan.sources, rules);
    warn_skipped(listing.skipped);
    if (listing.files.empty()) {
        warn(nothing_found(plan));
        return exit_failure;
    }
    const std::optional<Gathered> gathered = gather(plan, listing.files);
    if (!gathered) return exit_failure;
    if (gathered->used == 0) {
        warn("没有一个来源能用，什么都没有写入");
        return exit_failure;
    }
    const std::vector<SourceReport>& reports = gathered->reports;
    Choice choice = plan.choice;
    for (const std::filesystem::path& exclude : plan.excludes) {
        const SourceRead read = read_source(exclude, {std::nullopt, Newline::Any, {}});
        if (!read.report.error.empty()) {
            warn(read.report.error);
            return exit_failure;
        }
        choice.exclude += read.tally.characters;
    }
    const Tally chosen = choose(gathered->all, choice);
    if (chosen.characters.empty()) warn(empty_set_note(plan, *gathered));
    if (plan.format == Format::Tbl && plan.tbl_start + chosen.characters.size() > 0x10000) {
        std::cerr << "charlib-cli: " << chosen.characters.size() << " 个字符从 " << std::hex << std::uppercase
                  << plan.tbl_start << std::dec << " 起编码会超过 FFFF，请用更小的 --tbl-start\n";
        return exit_failure;
    }
    const std::optional<FontWork> fonts = plan.font ? make_fonts(plan, chosen) : FontWork{};
    if (!fonts) return exit_failure;
    const FontFacts* font_facts = plan.font ? &fonts->facts : nullptr;
    // Every file is written before any replaces its target: a failure leaves them all as they were.
    FileBatch files;
    // json is UTF-8 whatever the output; the other formats are characters, encoded as asked.
    const auto encoded_as = [&](std::u32string_view line_end, OutputEncoding encoding) {
        if (plan.format == Format::Json)
            return Encoded{format_json(chosen, reports, font_facts) + to_utf8(line_end), {}, false};
        return encode_output(format_characters(chosen, plan.format, line_end, plan.tbl_start), encoding);
    };
    if (plan.output) {
        const Encoded encoded = encoded_as(U"\r\n", plan.output_encoding);
        if (!encoded.unmappable.empty()) {
            warn("有 " + std::to_string(encoded.unmappable.size()) + " 个字符无法用 gbk 写出：" +
                listed(encoded.unmappable, 10));
            if (!plan.replace_unmappable) {
                warn("没有写入“" + plan.output->string() +
                    "”；可去掉这些字符，改用 --output-encoding gb18030 或 utf-8，或加 --replace-unmappable "
                    "写作 ?");
                return exit_failure;
            }
        }
        if (encoded.replaced_invalid)
            warn("来源中有无法解码的字节（记为 U+FFFD），在“" + plan.output->string() + "”中写作 ?");
        if (*plan.output == "-")
            files.add_standard_output(encoded.bytes);
        else
            files.add(*plan.output, encoded.bytes);
    }
    if (plan.font) add_fonts(files, plan, *fonts);
    if (!plan.output) {
        const std::string text = encoded_as(U"\n", OutputEncoding::Utf8).bytes;
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
            warn("无法写入标准输出：" + system_reason(errno));
            return exit_failure;
        }
    }
    files.commit();
    if (plan.report) print_report(reports, chosen);
    return gathered->failed ? exit_failure : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const std::optional<Options> options = parse(argc, argv);
        if (!options) return 0;
        return run(plan_of(*options));
    } catch (const UsageError& error) {
        std::cerr << "charlib-cli: " << error.message << "\n请用 charlib-cli --help 查看用法。\n";
        return exit_usage;
    } catch (const FileError& error) {
        warn(error.what());
        return exit_failure;
    } catch (const FontError& error) {
        warn(error.what());
        return exit_failure;
    }
}
