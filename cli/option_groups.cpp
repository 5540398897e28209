#include "cli/option_groups.h"

#include <CLI/CLI.hpp>  // here alone: it is large to compile

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "codec/utf.h"
#include "messages/words.h"

namespace charlib::cli {

namespace {

// Written by hand; help2man makes the man page from it.
constexpr const char* help_text = R"(用法: charlib-cli [选项] 来源...
提取各来源文件中所选各行用到的字符，每个字符只取一次，按首次出现的顺序（各来源
依次相接，如同一个文本）；可计数、筛选、排序，并写成多种格式。

选行
  -m, --marker TEXT        只用含有 TEXT（UTF-8）的行（默认为空：所有非空行）
  -n, --offset N           改用每个这样的行之后的第 N 行（不小于0的整数，默认0）；
                           不会跳入下一个来源；只用于 -t lines

来源
  -                        来源为 - 时读标准输入；命名管道也按数据流读取
  -r, --recursive          来源是文件夹时，读取其中（含子文件夹）匹配的文件，按路径排序；
                           同一个文件（如经链接）只读一次，跳过的项目在标准错误中列出
      --glob PATTERN       -r 时要读的文件名（可多次给出；默认见 -t）
      --iglob PATTERN      同 --glob，但不区分大小写
      --hidden             -r 时也读以 . 开头的文件和文件夹
  -e, --encoding NAME      auto（默认）、gbk（也可写 cp936、gb2312 等）、gb18030、utf-8、
                           utf-16le 或 utf-16be（不区分大小写）：auto 时有字节顺序标记按标记；
                           否则多字节序列几乎都有效的按 UTF-8，有有效四字节序列的按
                           GB18030，隔位零字节或大多是汉字的按 UTF-16，其余按 GBK（窗口
                           所读的 GBK 文本照旧按 GBK 读）；给出 -e auto 时说明每个猜测
      --newline MODE       legacy：CR LF 或单独的 CR 结束一行，单独的 LF 留在行中
                           （gbk 的默认）；any：CR LF、CR 或 LF 都结束一行（其他编码的默认）
  -k, --keep-going         某个来源无法使用时报告它，继续处理其他来源，最后以 1 退出
      --strict             来源中有无效字节序列时出错（以 1 退出，什么都不写）；
                           否则只在标准错误中提示（个数和第一处的位置）

翻译文件
  -t, --source-format F    auto（默认，有 -n 时为 lines：按扩展名判断，.xml 按根元素；其余
                           按 lines 读）、lines（逐行读取）、po、json、csv、tsv、srt、vtt、
                           xliff、android、strings、resx、yaml、html 或 properties：只取用户
                           看到的译文，不取键、msgid、注释、时间码和语法；每个条目当作一行
                           （-m 选含标记的条目）。-r 且没有 --glob 时读 *.txt 和这些扩展名的
                           文件（-t lines 时只读 *.txt）。压缩包、Office 文档、PDF、图片、
                           字体和程序文件不是文本，按文件开头的字节认出并拒绝
      --markup MODE        strip：去掉富文本标签（<b>、<color=#f00>、BBCode 的 [b]、[url=…]，
                           [img] 连同图片路径）、花括号占位符（{0}、{name}）和 printf 占位符
                           （%s、%1$d、%n；%% 算作 %）；含 plural、select 或 selectordinal 的
                           ICU MessageFormat 只取各分支的文字（# 代表的数字不算，要数字请加
                           --add-set digits）；keep：保留。
                           翻译文件默认 strip，lines 只能 keep
      --key GLOB           只用键与 GLOB 相配的条目（JSON 路径如 menu.title、PO 的 msgctxt 或
                           msgid、XLIFF 的 resname 或 id、Android/resx 的 name、CSV 的键列，
                           没有键列时为列名），可多次给出
      --column NAME|N      csv/tsv 只取这些列（列名或从 1 起的列号），可多次给出；默认取表头
                           以外、键列以外的所有单元格
      --key-column NAME|N  csv/tsv 的键列（列名、从 1 起的列号或 none）：它的单元格是每行的
                           键，不算译文。默认：第一列的表头为空或是 keys、key、id、term、msgid、
                           identifier、string_id、键（不区分大小写）时第一列是键列，并提示
      --xliff-source       xliff 取 <source> 而不是 <target>

选字
      --exclude FILE       去掉 FILE 中的所有字符（自动判断编码；如字体的字符表或
                           以前的 END.txt），可多次给出
      --only CHARS         只留 CHARS（UTF-8）中的字符
      --no-ascii           去掉 U+0000–U+007F
      --min-count N        只留出现至少 N 次的字符（N 不小于1）
      --order ORDER        first：首次出现的顺序（默认）；code：按编码升序；
                           freq：按出现次数从多到少，次数相同时按首次出现
  -s, --sort               同 --order code
      --add CHARS          另加 CHARS（UTF-8）中的字符，来源中没有也加（如占位符 {0} 在
                           游戏中换成的数字），可多次给出
      --add-file FILE      另加 FILE 中的所有字符（自动判断编码），可多次给出
      --add-set NAME       另加一组字符，可多次给出：ascii（U+0020–U+007E）、digits（0–9）、
                           latin1（U+00A0–U+00FF）、cjk-punct（GB2312 第1、3区的标点和
                           U+3000）、gb2312-1（3755 个一级汉字）、gb2312（GB2312 的全部
                           7445 个字符）或 gbk（代码页936的 21791 个双字节字符和可打印 ASCII）。
                           另加的字符中来源没有的计数为0，--min-count 不去掉另加的字符；
                           --order first 和 freq 时它们排在来源的字符之后，按 --add、
                           --add-file、--add-set 在命令行上的先后；--order code 时一起排序；
                           --exclude、--only 和 --no-ascii 照样去掉它们

输出
  -f, --format FORMAT      text（默认）、counts、tbl、unicode-range、json 或 where，见下
      --locations N        -f where 为每个字符列出的位置数（1 到 1000，默认3）
      --tbl-start HEX      tbl 和 --grid 的起始编码（十六进制，如 8000 或 0x8000，默认 8000）
  -o, --output PATH        写入 PATH（整个替换；链接指向的文件被替换，链接不变；设备和
                           管道直接写入；PATH 为 - 时写到标准输出；缺少的文件夹一并建立），
                           而不是标准输出。来源都是 GBK 时以 GBK 写、每行以 CR LF 结束，
                           text 格式与窗口的“写入END.txt”相同；否则以 UTF-8 写、以 LF 结束。
                           输出文件不能是来源文件；-r 时输出文件不算来源
      --output-encoding E  -o 的编码：gbk、gb18030（每行以 CR LF 结束）或 utf-8（以 LF
                           结束）；json 和 where 总是 utf-8
      --replace-unmappable 输出编码无法表示的字符写作 ?（仍在标准错误中列出），
                           否则不写文件并以 1 退出
      --report             在标准错误中输出中文摘要：来源、行数、字符数、GB2312
                           一级/二级汉字覆盖、GBK 与代码页936以外的字符、无效字节序列、
                           -o 的编码及其理由
  -h, --help               显示本帮助
      --version            显示版本

字体（字体缺少的字符在标准错误中列出：个数，然后每个字符及其编码，最多50个；
字体有、但字形是空的（画不出来）的字符也这样列出，最多10个）
      --font PATH          字体文件（TrueType、OpenType 或 .ttc/.otc 字体集）
      --face N|NAME        字体集中用哪个字体：编号（从0起）或名称，如 "Noto Sans CJK SC"；
                           默认用第一个标明简体中文的字体，没有则用第0个
      --subset OUT         把字体裁剪到字库中的字符，写入 OUT（.ttf、.otf 或 .woff2）；
                           除 HarfBuzz 默认保留的排版特性外，还保留字体中有的中日韩
                           标点挤压和竖排特性（halt、palt、vhal、vpal、vert、vrt2、locl、
                           ccmp、kern、vkrn）
      --layout-features L  增减裁剪（--subset、--web）时保留的排版特性：+smcp 或 smcp
                           保留，-kern 去掉，* 保留全部，-* 全部去掉；以逗号分隔，按顺序生效
      --require-all        字体缺少任何字符或有字符的字形是空的时出错（以 1 退出，
                           什么都不写）
      --missing-only       只留字体缺少的字符（配合 -f where 找出用到它们的地方）
      --atlas OUT          点阵字库：OUT_0.png、OUT_1.png…… 和 BMFont 描述文件 OUT.fnt
                           （json 格式为 OUT.json），含字体对字库中字符的字距调整
      --atlas-format F     描述文件的格式：text（默认）、xml、json（JavaScript 的 BMFont
                           读取库所读的结构）或 binary（BMFont 二进制第3版；不记距离场）
      --engine NAME        为该引擎做点阵字库：godot（Godot 3）、pixi（PixiJS 8）、phaser
                           （Phaser 4）、three（three-bmfont-text）、libgdx、cocos 或 unity。
                           选它读的描述文件格式（godot、libgdx、cocos、unity：text；pixi、
                           phaser：xml；three：json），只读一页的引擎（phaser、cocos、unity）
                           默认 --page auto；引擎用不上的（多页、--sdf）在标准错误中提示
      --no-kerning         描述文件中不列字距调整
      --size PX            点阵字库和预览图的像素高度（4 到 256，默认16）
      --padding N          点阵字库中每个字形四周的空白像素（0 到 255，默认1）
      --page WxH|auto      点阵字库的页面大小（默认 1024x1024，不够时多页）；auto：能放下
                           全部字形的最小页面，宽高都是 2 的幂（最大 4096），放不下时
                           用多个 4096x4096 的页面
      --mono               1 位的点阵字形（复古平台），而不是 8 位灰度
      --sdf                有符号距离场（8 位，轮廓上为128，内大外小），供着色器在任何
                           字号下清晰绘制；描述文件记下 distanceField；不能与 --mono 同用
      --spread PX          --sdf 距离场在轮廓两侧各延伸的像素（2 到 32，默认4）
      --grid WxH           固定网格：第 i 个字符画在第 i 格（与 -f tbl 的编码顺序相同），
                           每格 W×H 像素，字形在同一基线上；放不下的字形报错而不裁掉。
                           另写 OUT.widths，每行“编码=步进宽度”，编码从 --tbl-start 起
      --grid-columns N     网格每行的格数（1 到 256，默认16）；每页的行数取 --page 的高度
      --preview OUT.png    字库的预览图，每行32个，缺少的字符画成空框；有 --atlas 时从点阵
                           字库本身画出（引擎所显示的样子），否则用字体画
      --web DIR            网页字体：把字体切成多块 WOFF2，按字库中字符的出现次数从多到少
                           填满各块，写入 DIR（文件名为内容的散列，可永久缓存），另写
                           DIR/font.css（每块一个 @font-face 及其 unicode-range）和
                           DIR/index.html（用该字体显示一段示例，便于在浏览器中检查）
      --chunk-size KIB     每块 WOFF2 的目标大小（KiB，4 到 10240，默认70）
      --web-all            另把字体中其余的字符按 Unicode 区块切成更多块，供以后的文字使用
      --family NAME        font.css 中的 font-family（默认为字体自己的名字）

格式（标准输出为 UTF-8，每行以 LF 结束；-o 见上。只要 --subset、--atlas、--web 或
--preview 而没有 -f 和 -o 时，字库不写到标准输出）
  text           字库本身：#张三李四
  counts         每行一个字符、一个制表符、出现次数：张	12
  tbl            码表，每行“编码=字符”，编码从 --tbl-start 起递增：8000=张
  unicode-range  CSS 的 unicode-range，相邻编码合并：U+4E00-4E02,U+4E0A
  json           一个对象：来源（路径、格式、编码、字节、行数、选中行数、无效字节序列）、
                 字符及次数和首次出现的位置、覆盖情况
  where          每个字符最多 --locations 处位置，每处一行：字符、编码、文件:行:列、
                 条目的键（按行读取时为空）、上下文，以制表符分隔（总是 UTF-8）：
                 字	U+5B57	po/zh.po:120:7	menu.title	“…这是字的上下文…”
  counts 和 tbl 把控制字符（如换行）写作 U+000A 这样的名字。

示例
  charlib-cli -m '#' -n 1 -s -o END.txt script.txt
  charlib-cli -r -e auto --exclude font.txt --order freq -f tbl -o game.tbl scripts/
  charlib-cli -t json zh.json --add-set ascii --add-set cjk-punct --font f.ttf --subset ui.ttf
  charlib-cli -e utf-8 -f unicode-range chapter1.txt chapter2.txt
  charlib-cli -r --glob '*.txt' --glob '*.srt' -e auto -f json --report subtitles/ > chars.json
  charlib-cli -m '#' -n 1 script.txt --font wqy-microhei.ttc --subset game.woff2 --atlas game
  charlib-cli -t auto -r po/ --font game.ttf --missing-only -f where
  charlib-cli -t auto -r lang/ --font game.ttf --atlas ui --sdf --size 48 --engine pixi
  charlib-cli -t auto -r lang/ --font game.ttf --atlas ui --size 24 --engine phaser
  charlib-cli -m '#' -n 1 script.txt -f tbl --tbl-start 8800 -o game.tbl --font f.ttf --atlas font \
              --grid 16x16 --mono
  charlib-cli -e utf-8 -r docs/ --glob '*.md' --font NotoSansSC.otf --web site/fonts

退出状态：0 成功；1 来源或输出文件无法使用（含Ctrl+Z字符、无法打开、读取或写入、
有无法编码的字符）；2 用法错误。
)";

template <class Value>
Value one_of(const std::string& option, const std::string& given,
    std::initializer_list<std::pair<const char*, Value>> names)
{
    for (const auto& [name, value] : names)
        if (given == name) return value;
    std::string known;
    for (const auto& [name, value] : names)
        known += std::string(known.empty() ? "" : "、") + name;
    throw UsageError("选项 " + option + " 的值“" + given + "”无效，可以是：" + known);
}

std::uint64_t whole_number(const std::string& option, const std::string& text, std::uint64_t least,
    std::uint64_t most = std::uint64_t{1} << 62)
{
    const bool digits =
        !text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoull(text) < least || std::stoull(text) > most)
        throw UsageError("选项 " + option + " 必须是" +
            (most == std::uint64_t{1} << 62
                    ? "不小于" + std::to_string(least) + "的整数"
                    : std::to_string(least) + " 到 " + std::to_string(most) + " 之间的整数") +
            "：" + text);
    return std::stoull(text);
}

std::string lower_case(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Options that mean nothing without `needed`.
void only_with(const char* needed, bool present, std::initializer_list<std::pair<const char*, bool>> options)
{
    for (const auto& [option, given] : options)
        if (given && !present) throw UsageError(std::string(option) + " 只能与 " + needed + " 一起使用");
}

}  // namespace

void SourceOptions::add_to(CLI::App& app)
{
    app.add_option("sources", paths_);
    app.add_flag("-r,--recursive", recursive_);
    app.add_option("--glob", globs_)->allow_extra_args(false);
    app.add_option("--iglob", iglobs_)->allow_extra_args(false);
    app.add_flag("--hidden", hidden_);
    app.add_option("-e,--encoding", encoding_);
    app.add_option("--newline", newline_);
    app.add_flag("-k,--keep-going", keep_going_);
    app.add_flag("--strict", strict_);
    app.add_option("-t,--source-format", text_format_);
    app.add_option("--markup", markup_);
    app.add_option("--key", keys_)->allow_extra_args(false);
    app.add_option("--column", columns_)->allow_extra_args(false);
    app.add_option("--key-column", key_column_);
    app.add_flag("--xliff-source", xliff_source_);
}

SourcePlan SourceOptions::plan(bool offset) const
{
    if (paths_.empty()) throw UsageError("没有给出要提取的文件");
    SourcePlan plan;
    plan.paths.assign(paths_.begin(), paths_.end());
    only_with("-r", recursive_,
        {{"--glob", !globs_.empty()}, {"--iglob", !iglobs_.empty()}, {"--hidden", hidden_}});
    plan.listing.recursive = recursive_;
    if (!globs_.empty() || !iglobs_.empty()) plan.listing.patterns.clear();
    for (const std::string& glob : globs_)
        plan.listing.patterns.push_back({glob, false});
    for (const std::string& glob : iglobs_)
        plan.listing.patterns.push_back({glob, true});
    plan.listing.hidden = hidden_;
    // Told from the bytes unless given: a GBK script is read as GBK, as the window reads it.
    if (encoding_ && lower_case(*encoding_) != "auto") {
        plan.encoding = encoding_named(*encoding_);
        if (!plan.encoding)
            throw UsageError("选项 --encoding 的值“" + *encoding_ +
                "”无效，可以是：gbk（cp936、gb2312）、gb18030、utf-8、utf-16le、utf-16be 或 auto");
    }
    plan.note_guesses = encoding_.has_value() && !plan.encoding;
    if (newline_)
        plan.newline =
            one_of<Newline>("--newline", *newline_, {{"legacy", Newline::Legacy}, {"any", Newline::Any}});
    plan.keep_going = keep_going_;
    plan.strict = strict_;
    EntryRules& entries = plan.entries;
    const std::string text_format = text_format_.value_or(offset ? "lines" : "auto");
    if (text_format == "auto") {
        entries.format = std::nullopt;
        entries.note_lines = text_format_.has_value();
    } else {
        entries.format = text_format_named(text_format);
        if (!entries.format)
            throw UsageError("选项 --source-format 的值“" + text_format +
                "”无效，可以是：lines、auto、po、json、csv、tsv、srt、vtt、xliff、android、strings、resx、yam"
                "l、"
                "html 或 properties");
    }
    const bool lines = entries.format == TextFormat::Lines;
    const auto only_for = [&](const char* option, bool given, std::initializer_list<TextFormat> formats) {
        if (!given || !entries.format) return;
        for (TextFormat format : formats)
            if (entries.format == format) return;
        throw UsageError(std::string(option) + " 不能用于 -t " + text_format);
    };
    only_for("--key", !keys_.empty(),
        {TextFormat::Po, TextFormat::Json, TextFormat::Csv, TextFormat::Tsv, TextFormat::Srt, TextFormat::Vtt,
            TextFormat::Xliff, TextFormat::Android, TextFormat::Strings, TextFormat::Resx, TextFormat::Yaml,
            TextFormat::Html, TextFormat::Properties});
    only_for("--column", !columns_.empty(), {TextFormat::Csv, TextFormat::Tsv});
    only_for("--key-column", key_column_.has_value(), {TextFormat::Csv, TextFormat::Tsv});
    only_for("--xliff-source", xliff_source_, {TextFormat::Xliff});
    if (markup_) {
        entries.strip_markup = one_of<bool>("--markup", *markup_, {{"keep", false}, {"strip", true}});
        if (lines && *entries.strip_markup)
            throw UsageError("--markup strip 只用于翻译文件（-t 不是 lines）");
    }
    entries.keys.assign(keys_.begin(), keys_.end());
    for (const std::string& column : columns_)
        if (column.empty()) throw UsageError("--column 要给出列名或从 1 起的列号");
    entries.columns.assign(columns_.begin(), columns_.end());
    if (key_column_) {
        if (key_column_->empty()) throw UsageError("--key-column 要给出列名、从 1 起的列号或 none");
        entries.key_column = *key_column_ == "none" ? std::string() : *key_column_;
    }
    entries.xliff_source = xliff_source_;
    return plan;
}

void SelectionOptions::add_to(CLI::App& app)
{
    app.add_option("-m,--marker", marker_);
    app.add_option("-n,--offset", offset_);
}

Selection SelectionOptions::plan() const
{
    const std::optional<std::u32string> marker = from_utf8(marker_);
    if (!marker) throw UsageError("标记文字不是有效的 UTF-8：" + marker_);
    return {*marker, static_cast<std::int64_t>(whole_number("-n/--offset", offset_, 0))};
}

void ChoiceOptions::add_to(CLI::App& app)
{
    app.add_option("--exclude", excludes_)->allow_extra_args(false);
    app.add_option("--only", only_);
    app.add_flag("--no-ascii", no_ascii_);
    app.add_option("--min-count", min_count_);
    app.add_option("--order", order_);
    app.add_flag("-s,--sort", sort_);
    // Taken as each is parsed, so that the three keep the order of the command line.
    for (const char* option : {"--add", "--add-file", "--add-set"})
        app.add_option_function<std::string>(
               option, [this, option](const std::string& value) { additions_.emplace_back(option, value); })
            ->trigger_on_parse();
}

ChoicePlan ChoiceOptions::plan() const
{
    ChoicePlan plan;
    plan.excludes.assign(excludes_.begin(), excludes_.end());
    plan.choice.no_ascii = no_ascii_;
    if (only_) {
        plan.choice.only = from_utf8(*only_);
        if (!plan.choice.only) throw UsageError("--only 的字符不是有效的 UTF-8：" + *only_);
    }
    for (const auto& [option, value] : additions_) {
        if (option == "--add-file") {
            plan.additions.emplace_back(std::filesystem::path(value));
        } else if (option == "--add-set") {
            plan.additions.emplace_back(one_of<NamedSet>("--add-set", value,
                {{"ascii", NamedSet::Ascii}, {"digits", NamedSet::Digits}, {"latin1", NamedSet::Latin1},
                    {"cjk-punct", NamedSet::CjkPunctuation}, {"gb2312-1", NamedSet::Gb2312Level1},
                    {"gb2312", NamedSet::Gb2312}, {"gbk", NamedSet::Gbk}}));
        } else {
            std::optional<std::u32string> characters = from_utf8(value);
            if (!characters) throw UsageError("--add 的字符不是有效的 UTF-8：" + value);
            if (characters->empty()) throw UsageError("--add 的字符是空的");
            plan.additions.emplace_back(std::move(*characters));
        }
    }
    if (min_count_) plan.choice.min_count = whole_number("--min-count", *min_count_, 1);
    plan.choice.order = one_of<Order>(
        "--order", order_, {{"first", Order::First}, {"code", Order::Code}, {"freq", Order::Frequency}});
    if (sort_) {
        if (plan.choice.order != Order::First && plan.choice.order != Order::Code)
            throw UsageError("-s 就是 --order code，不能与 --order " + order_ + " 同时使用");
        plan.choice.order = Order::Code;
    }
    return plan;
}

void OutputOptions::add_to(CLI::App& app)
{
    app.add_option("-f,--format", format_);
    app.add_option("--tbl-start", tbl_start_);
    app.add_option("-o,--output", path_);
    app.add_option("--output-encoding", encoding_);
    app.add_flag("--replace-unmappable", replace_unmappable_);
    app.add_flag("--report", report_);
    app.add_option("--locations", locations_);
}

OutputPlan OutputOptions::plan() const
{
    OutputPlan plan;
    plan.format_given = format_.has_value();
    plan.format = one_of<Format>("--format", format_.value_or("text"),
        {{"text", Format::Text}, {"counts", Format::Counts}, {"tbl", Format::Tbl},
            {"unicode-range", Format::UnicodeRange}, {"json", Format::Json}, {"where", Format::Where}});
    if (locations_) {
        if (plan.format != Format::Where) throw UsageError("--locations 只能与 -f where 一起使用");
        plan.locations = static_cast<std::size_t>(whole_number("--locations", *locations_, 1, 1000));
    }
    if (tbl_start_) {
        plan.tbl_start_given = true;
        std::string hex = *tbl_start_;
        if (hex.starts_with("0x") || hex.starts_with("0X")) hex.erase(0, 2);
        if (hex.empty() || hex.size() > 4 ||
            hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw UsageError("--tbl-start 必须是 1 到 4 位十六进制数：" + *tbl_start_);
        plan.tbl_start = static_cast<unsigned>(std::stoul(hex, nullptr, 16));
    }
    if (path_) plan.path = *path_;
    if (encoding_) {
        if (!path_) throw UsageError("--output-encoding 只能与 -o 一起使用");
        const std::optional<Encoding> named = encoding_named(*encoding_);
        if (named == Encoding::Gbk)
            plan.encoding = OutputEncoding::Gbk;
        else if (named == Encoding::Gb18030)
            plan.encoding = OutputEncoding::Gb18030;
        else if (named == Encoding::Utf8)
            plan.encoding = OutputEncoding::Utf8;
        else
            throw UsageError(
                "选项 --output-encoding 的值“" + *encoding_ + "”无效，可以是：gbk、gb18030 或 utf-8");
        if ((plan.format == Format::Json || plan.format == Format::Where) &&
            plan.encoding != OutputEncoding::Utf8)
            throw UsageError(*format_ + " 总是以 UTF-8 写出，不能用 --output-encoding " + *encoding_);
    }
    if (plan.format == Format::Json || plan.format == Format::Where) plan.encoding = OutputEncoding::Utf8;
    if (replace_unmappable_ && (!path_ || (plan.encoding && *plan.encoding != OutputEncoding::Gbk)))
        throw UsageError("--replace-unmappable 只用于以 gbk 写出的 -o");
    if (replace_unmappable_) plan.encoding = OutputEncoding::Gbk;  // only GBK replaces characters
    plan.replace_unmappable = replace_unmappable_;
    plan.report = report_;
    return plan;
}

void FontOptions::add_to(CLI::App& app)
{
    app.add_option("--font", font_);
    app.add_option("--face", face_);
    app.add_option("--subset", subset_);
    app.add_flag("--require-all", require_all_);
    app.add_flag("--missing-only", missing_only_);
    app.add_option("--layout-features", layout_features_);
    app.add_option("--atlas", atlas_);
    app.add_option("--size", size_);
    app.add_option("--padding", padding_);
    app.add_option("--page", page_);
    app.add_flag("--mono", mono_);
    app.add_flag("--sdf", sdf_);
    app.add_option("--spread", spread_);
    app.add_option("--atlas-format", atlas_format_);
    app.add_option("--engine", engine_);
    app.add_flag("--no-kerning", no_kerning_);
    app.add_option("--grid", grid_);
    app.add_option("--grid-columns", grid_columns_);
    app.add_option("--preview", preview_);
    app.add_option("--web", web_);
    app.add_option("--chunk-size", chunk_size_);
    app.add_flag("--web-all", web_all_);
    app.add_option("--family", family_);
}

namespace {

// "1024x1024": the two numbers, each within its bounds.
std::pair<unsigned, unsigned> width_by_height(
    const std::string& option, const std::string& given, unsigned least, unsigned most)
{
    const std::size_t x = given.find('x');
    if (x == std::string::npos)
        throw UsageError(option + " 的格式是 宽x高，如 " +
            (option == "--grid" ? "16x16" : "1024x1024，或 auto") + "：" + given);
    return {static_cast<unsigned>(whole_number(option, given.substr(0, x), least, most)),
        static_cast<unsigned>(whole_number(option, given.substr(x + 1), least, most))};
}

}  // namespace

std::optional<FontPlan> FontOptions::plan() const
{
    only_with("--font", font_.has_value(),
        {{"--face", face_.has_value()}, {"--subset", subset_.has_value()}, {"--atlas", atlas_.has_value()},
            {"--preview", preview_.has_value()}, {"--require-all", require_all_},
            {"--missing-only", missing_only_}, {"--layout-features", layout_features_.has_value()},
            {"--web", web_.has_value()}});
    only_with("--atlas", atlas_.has_value(),
        {{"--padding", padding_.has_value()}, {"--page", page_.has_value()}, {"--mono", mono_}, {"--sdf", sdf_},
            {"--atlas-format", atlas_format_.has_value()}, {"--no-kerning", no_kerning_},
            {"--grid", grid_.has_value()}, {"--engine", engine_.has_value()}});
    only_with("--sdf", sdf_, {{"--spread", spread_.has_value()}});
    only_with("--grid", grid_.has_value(), {{"--grid-columns", grid_columns_.has_value()}});
    only_with("--web", web_.has_value(),
        {{"--chunk-size", chunk_size_.has_value()}, {"--web-all", web_all_}, {"--family", family_.has_value()}});
    if (sdf_ && mono_) throw UsageError("--sdf 与 --mono 不能同时使用：距离场是 8 位的");
    if (grid_ && padding_) throw UsageError("--padding 不能与 --grid 一起使用：网格的每个字形占一整格");
    if (size_ && !atlas_ && !preview_) throw UsageError("--size 只能与 --atlas 或 --preview 一起使用");
    if (!font_) return std::nullopt;
    FontPlan plan;
    plan.path = *font_;
    if (face_ && face_->empty()) throw UsageError("--face 要给出字体的编号或名称");
    if (face_ && face_->find_first_not_of("0123456789") == std::string::npos)
        plan.face.index = static_cast<unsigned>(whole_number("--face", *face_, 0, 65535));
    else if (face_)
        plan.face.name = *face_;
    plan.require_all = require_all_;
    plan.missing_only = missing_only_;
    if (missing_only_ && (subset_ || atlas_ || preview_ || web_))
        throw UsageError(
            "--missing-only 只留下字体缺少的字符，不能再用来做 --subset、--atlas、--preview 或 --web");
    if (subset_) {
        plan.subset = *subset_;
        const std::string extension = lower_case(plan.subset->extension().string());
        if (extension != ".ttf" && extension != ".otf" && extension != ".woff2")
            throw UsageError("--subset 的文件名要以 .ttf、.otf 或 .woff2 结尾（不写 WOFF 1）：" + *subset_);
    }
    if (layout_features_) {
        if (!subset_ && !web_) throw UsageError("--layout-features 只能与 --subset 或 --web 一起使用");
        if (const auto problem = parse_layout_features(*layout_features_, plan.layout_features))
            throw UsageError("--layout-features：" + words(*problem, Language::Chinese));
    }
    if (atlas_) {
        plan.atlas = *atlas_;
        if (plan.atlas->extension() == ".fnt") plan.atlas->replace_extension();
    }
    AtlasOptions& atlas = plan.atlas_options;
    if (size_) atlas.size = static_cast<unsigned>(whole_number("--size", *size_, 4, 256));
    if (padding_) atlas.padding = static_cast<unsigned>(whole_number("--padding", *padding_, 0, 255));
    if (page_ == "auto") {
        if (grid_)
            throw UsageError("--page auto 不能与 --grid 一起使用：网格的页面大小要给出，如 --page 256x256");
        atlas.page_auto = true;
    } else if (page_) {
        std::tie(atlas.page_width, atlas.page_height) = width_by_height("--page", *page_, 16, 16384);
    }
    atlas.mono = mono_;
    atlas.sdf = sdf_;
    if (spread_) atlas.spread = static_cast<unsigned>(whole_number("--spread", *spread_, 2, 32));
    atlas.kerning = !no_kerning_;
    if (atlas_format_)
        atlas.format = one_of<AtlasFormat>("--atlas-format", *atlas_format_,
            {{"text", AtlasFormat::Text}, {"xml", AtlasFormat::Xml}, {"json", AtlasFormat::Json},
                {"binary", AtlasFormat::Binary}});
    if (engine_) {
        plan.engine = engine_named(*engine_);
        if (!plan.engine)
            throw UsageError("选项 --engine 的值“" + *engine_ + "”无效，可以是：" + engine_names());
        const std::vector<AtlasFormat>& reads = plan.engine->reads;
        if (atlas_format_ && std::find(reads.begin(), reads.end(), atlas.format) == reads.end()) {
            std::string known;
            for (AtlasFormat format : reads)
                known += std::string(known.empty() ? "" : " 或 ") + format_name(format);
            throw UsageError(std::string(plan.engine->shown) + " 读不了 " + *atlas_format_ +
                " 格式的描述文件，它读 " + known + "：去掉 --atlas-format 即可");
        }
        if (!atlas_format_) atlas.format = plan.engine->format;
        // An engine that draws from one page gets one page, as small as holds the set.
        if (plan.engine->one_page && !page_ && !grid_) atlas.page_auto = true;
    }
    if (plan.atlas && atlas.format == AtlasFormat::Json && plan.atlas->extension() == ".json")
        plan.atlas->replace_extension();
    if (grid_) {
        GridOptions& grid = atlas.grid.emplace();
        std::tie(grid.cell_width, grid.cell_height) = width_by_height("--grid", *grid_, 4, 1024);
        if (grid_columns_) grid.columns = static_cast<unsigned>(whole_number("--grid-columns", *grid_columns_, 1, 256));
    }
    if (preview_) plan.preview = *preview_;
    if (web_) {
        plan.web = *web_;
        WebFontOptions& web = plan.web_options;
        if (chunk_size_)
            web.chunk_size = static_cast<std::size_t>(whole_number("--chunk-size", *chunk_size_, 4, 10240)) * 1024;
        web.all = web_all_;
        if (family_) {
            if (family_->empty() || family_->find_first_of("\"\\\n\r<>{};") != std::string::npos)
                throw UsageError("--family 不能为空，也不能含有引号、反斜杠、尖括号、花括号、分号或换行：" + *family_);
            web.family = *family_;
        }
        web.layout_features = plan.layout_features;
    }
    return plan;
}

std::optional<std::string> OptionGroups::parse(std::vector<std::string> args)
{
    CLI::App app("charlib-cli");
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", "charlib-cli " CHARLIB_VERSION);
    app.allow_extras();
    sources.add_to(app);
    selection.add_to(app);
    choosing.add_to(app);
    output.add_to(app);
    font.add_to(app);
    std::reverse(args.begin(), args.end());  // as CLI11 takes them
    try {
        app.parse(std::move(args));
    } catch (const CLI::CallForHelp&) {
        return help_text;
    } catch (const CLI::CallForVersion& version) {
        return version.what() + std::string("\n");
    } catch (const CLI::ArgumentMismatch& error) {
        const std::string what = error.what();
        const std::string option = what.substr(0, what.find(':'));
        const CLI::Option* given = app.get_option_no_throw(option);
        if (given && given->count() > 1) throw UsageError("选项 " + option + " 只能给一次");
        throw UsageError("选项 " + option + " 缺少参数或参数个数不对");
    } catch (const CLI::ParseError& error) {
        throw UsageError(std::string("参数有误：") + error.what());
    }
    for (const std::string& extra : app.remaining()) {
        if (extra == "--") break;
        if (extra.size() > 1 && extra[0] == '-') throw UsageError("未知选项：" + extra);
    }
    return std::nullopt;
}

}  // namespace charlib::cli
