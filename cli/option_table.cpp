#include "cli/option_table.h"

#include <algorithm>
#include <stdexcept>

#include "cli/engines.h"
#include "cli/plan.h"
#include "formats/format_table.h"
#include "messages/catalog.h"

namespace charlib::cli {

namespace {

std::vector<std::string> source_formats()
{
    std::vector<std::string> names{"auto"};
    for (const FormatInfo& format : text_formats())
        names.emplace_back(format.name);
    return names;
}

std::vector<std::string> engine_list()
{
    std::vector<std::string> names;
    for (const Engine& engine : engines())
        names.emplace_back(engine.name);
    return names;
}

}  // namespace

const std::vector<OptionInfo>& option_table()
{
    using enum OptionGroup;
    using enum Completion;
    static const std::vector<OptionInfo> table = {
        {"-m", "--marker", "TEXT", "", Selection, nullptr, false,
            N_("use only the lines that hold TEXT (UTF-8); empty: every line that is not empty")},
        {"-n", "--offset", "N", "0", Selection, nullptr, false,
            N_("use the Nth line after each such line instead (a whole number, 0 or more); it does not "
               "run into the next source; for -t lines alone")},

        {"-r", "--recursive", "", "", Sources, nullptr, false,
            N_("a source that is a folder gives its matching files, in its subfolders too, in path order; "
               "a file (reached through links, say) is read once, and what is skipped is listed on "
               "standard error")},
        {"", "--glob", "PATTERN", "", Sources, nullptr, true,
            N_("the names of the files -r reads (may be given more than once; the default: see -t)")},
        {"", "--iglob", "PATTERN", "", Sources, nullptr, true, N_("as --glob, in any case")},
        {"", "--hidden", "", "", Sources, nullptr, false,
            N_("-r also reads the files and folders whose names begin with .")},
        {"-e", "--encoding", "NAME", "auto", Sources,
            [] { return std::vector<std::string>{"auto", "gbk", "gb18030", "utf-8", "utf-16le", "utf-16be"}; },
            false,
            N_("gbk (also cp936, gb2312 and the like), gb18030, utf-8, utf-16le, utf-16be or auto, in any "
               "case. auto follows a byte-order mark; else takes text whose multi-byte sequences are nearly "
               "all valid as UTF-8, text with valid four-byte sequences as GB18030, alternate zero bytes or "
               "mostly hanzi as UTF-16, and the rest as GBK (GBK text the window reads is read as GBK still); "
               "-e auto given says each guess")},
        {"", "--newline", "MODE", "", Sources, [] { return std::vector<std::string>{"legacy", "any"}; }, false,
            N_("legacy: CR LF or a lone CR ends a line, a lone LF stays in the line (the default for gbk); "
               "any: CR LF, CR or LF ends a line (the default for the other encodings)")},
        {"-k", "--keep-going", "", "", Sources, nullptr, false,
            N_("report a source that cannot be used, go on with the others and exit with 1 at the end")},
        {"", "--strict", "", "", Sources, nullptr, false,
            N_("invalid byte sequences in a source are an error (exit with 1, nothing written); otherwise "
               "standard error only notes them (how many, and where the first is)")},

        {"-t", "--source-format", "F", "auto", TranslationFiles, source_formats, false,
            N_("auto (lines with -n: told by the extension, .xml by its root element, else read as lines), "
               "lines (line by line), or a translation format: only the translated text users see is taken, "
               "not keys, msgids, comments, timecodes or syntax; each entry counts as a line (-m chooses the "
               "entries that hold the marker). -r without --glob reads *.txt and the files of these "
               "extensions (*.txt alone with -t lines). Archives, Office documents, PDF, pictures, fonts and "
               "programs are not text: told by their first bytes and refused")},
        {"", "--markup", "MODE", "", TranslationFiles, [] { return std::vector<std::string>{"strip", "keep"}; },
            false,
            N_("strip: remove rich-text tags (<b>, <color=#f00>, BBCode's [b], [url=…], [img] with the "
               "picture's path), brace placeholders ({0}, {name}) and printf placeholders (%s, %1$d, %n; %% "
               "counts as %); of an ICU MessageFormat with plural, select or selectordinal only the words of "
               "each branch are taken (not the number # stands for: add --add-set digits for digits); keep: "
               "keep them. Translation files strip by default; lines can only keep")},
        {"", "--key", "GLOB", "", TranslationFiles, nullptr, true,
            N_("use only the entries whose key matches GLOB (a JSON path such as menu.title, a PO msgctxt "
               "or msgid, an XLIFF resname or id, an Android or resx name, a CSV key column, else the column "
               "name); may be given more than once")},
        {"", "--column", "NAME|N", "", TranslationFiles, nullptr, true,
            N_("csv/tsv take only these columns (a name, or a number from 1); may be given more than once; "
               "by default every cell outside the header and the key column"),
            Columns},
        {"", "--key-column", "NAME|N", "", TranslationFiles, nullptr, false,
            N_("the key column of csv/tsv (a name, a number from 1, or none): its cells are each row's key, "
               "not translated text. By default the first column is the key column, with a note, when its "
               "header is empty or keys, key, id, term, msgid, identifier, string_id or 键 (in any case)"),
            Columns, {"none"}},
        {"", "--xliff-source", "", "", TranslationFiles, nullptr, false,
            N_("xliff takes <source> instead of <target>")},

        {"", "--exclude", "FILE", "", Choosing, nullptr, true,
            N_("remove every character of FILE (its encoding told from the bytes; a font's character list "
               "or an earlier END.txt, say); may be given more than once"),
            Files},
        {"", "--only", "CHARS", "", Choosing, nullptr, false, N_("keep only the characters of CHARS (UTF-8)")},
        {"", "--no-ascii", "", "", Choosing, nullptr, false, N_("remove U+0000–U+007F")},
        {"", "--min-count", "N", "1", Choosing, nullptr, false,
            N_("keep only the characters used at least N times (N is 1 or more)")},
        {"", "--order", "ORDER", "first", Choosing,
            [] { return std::vector<std::string>{"first", "code", "freq"}; }, false,
            N_("first: in order of first occurrence; code: by code, ascending; freq: the most used first, "
               "ties in order of first occurrence")},
        {"-s", "--sort", "", "", Choosing, nullptr, false, N_("the same as --order code")},
        {"", "--add", "CHARS", "", Choosing, nullptr, true,
            N_("add the characters of CHARS (UTF-8) even when no source has them (the digits that a "
               "placeholder {0} becomes in the game, say); may be given more than once")},
        {"", "--add-file", "FILE", "", Choosing, nullptr, true,
            N_("add every character of FILE (its encoding told from the bytes); may be given more than once"),
            Files},
        {"", "--add-set", "NAME", "", Choosing,
            [] {
                return std::vector<std::string>{
                    "ascii", "digits", "latin1", "cjk-punct", "gb2312-1", "gb2312", "gbk"};
            },
            true,
            N_("add a set of characters; may be given more than once: ascii (U+0020–U+007E), digits (0–9), "
               "latin1 (U+00A0–U+00FF), cjk-punct (the punctuation of GB2312's rows 1 and 3, and U+3000), "
               "gb2312-1 (the 3755 level 1 hanzi), gb2312 (all 7445 characters of GB2312) or gbk (the "
               "21791 double-byte characters of code page 936 and printable ASCII). Added characters no "
               "source has count 0, and --min-count does not remove them; with --order first and freq they "
               "come after the sources' characters, in the order of --add, --add-file and --add-set on the "
               "command line; with --order code they are sorted with them; --exclude, --only and --no-ascii "
               "remove them all the same")},

        {"-f", "--format", "FORMAT", "text", Output,
            [] {
                std::vector<std::string> names;
                for (const FormatHelp& format : output_formats_help())
                    names.emplace_back(format.name);
                return names;
            },
            false, N_("the form of the set, see below")},
        {"", "--locations", "N", "3", Output, nullptr, false,
            N_("how many places -f where lists for each character (1 to 1000)")},
        {"", "--tbl-start", "HEX", "8000", Output, nullptr, false,
            N_("the first code of tbl and of --grid (hexadecimal, such as 8000 or 0x8000)")},
        {"-o", "--output", "PATH", "", Output, nullptr, false,
            N_("write to PATH (replaced whole; a link's file is replaced, the link stays; devices and pipes "
               "are written to; - is standard output; missing folders are made) instead of standard output. "
               "When every source is GBK it is written in GBK with CR LF line ends, and the text format is "
               "the window's \"Write END.txt\"; otherwise in UTF-8 with LF. The output cannot be a source; "
               "with -r it is not taken as one"),
            Files},
        {"", "--output-encoding", "E", "", Output, [] { return std::vector<std::string>{"gbk", "gb18030", "utf-8"}; },
            false,
            N_("the encoding of -o: gbk, gb18030 (lines end with CR LF) or utf-8 (with LF); json and where are "
               "always utf-8")},
        {"", "--replace-unmappable", "", "", Output, nullptr, false,
            N_("write the characters the output encoding cannot hold as ? (still listed on standard error); "
               "otherwise no file is written and the exit status is 1")},
        {"", "--report", "", "", Output, nullptr, false,
            N_("a summary on standard error: sources, lines, characters, coverage of GB2312's level 1 and 2 "
               "hanzi, characters outside GBK and code page 936, invalid byte sequences, and the encoding of "
               "-o and why")},
        {"-h", "--help", "", "", Output, nullptr, false, N_("show this help")},
        {"", "--version", "", "", Output, nullptr, false, N_("show the version")},

        {"", "--font", "PATH", "", Font, nullptr, false,
            N_("a font file (TrueType, OpenType, or a .ttc/.otc collection)"), FontFiles},
        {"", "--face", "N|NAME|list", "", Font, nullptr, false,
            N_("which font of a collection: a number (from 0) or a name, such as \"Noto Sans CJK SC\"; by "
               "default the first that says it is for simplified Chinese, else face 0. list: print the "
               "faces of --font, a number and a name a line, and stop"),
            Faces},
        {"", "--subset", "OUT", "", Font, nullptr, false,
            N_("cut the font down to the characters of the set and write it to OUT (.ttf, .otf or .woff2); "
               "besides the layout features HarfBuzz keeps, the font's CJK punctuation and vertical features "
               "are kept (halt, palt, vhal, vpal, vert, vrt2, locl, ccmp, kern, vkrn)"),
            Files},
        {"", "--layout-features", "L", "", Font, nullptr, false,
            N_("change the layout features that cutting (--subset, --web) keeps: +smcp or smcp keeps, -kern "
               "removes, * keeps all, -* removes all; separated by commas, in order")},
        {"", "--require-all", "", "", Font, nullptr, false,
            N_("a character the font lacks or draws blank is an error (exit with 1, nothing written)")},
        {"", "--missing-only", "", "", Font, nullptr, false,
            N_("keep only the characters the font lacks (with -f where, to find where they are used)")},
        {"", "--preview", "OUT.png", "", Font, nullptr, false,
            N_("a picture of the set, 32 characters a row, the missing ones drawn as empty boxes; drawn from "
               "the atlas itself with --atlas (as the engine shows it), else with the font"),
            Files},

        {"", "--atlas", "OUT", "", Atlas, nullptr, false,
            N_("a bitmap font: OUT_0.png, OUT_1.png… and the BMFont descriptor OUT.fnt (OUT.json in the "
               "json form), with the font's kerning of the set's characters"),
            Files},
        {"", "--atlas-format", "F", "text", Atlas,
            [] { return std::vector<std::string>{"text", "xml", "json", "binary"}; }, false,
            N_("the form of the descriptor: text, xml, json (the structure JavaScript's BMFont readers read) "
               "or binary (BMFont's binary version 3; no distance field)")},
        {"", "--engine", "NAME", "", Atlas, engine_list, false,
            N_("make the atlas for this engine: godot (Godot 3), pixi (PixiJS 8), phaser (Phaser 4), three "
               "(three-bmfont-text), libgdx, cocos or unity. It chooses the descriptor's form the engine "
               "reads (godot, libgdx, cocos, unity: text; pixi, phaser: xml; three: json), --page auto for "
               "the engines that draw from one page (phaser, cocos, unity); what the engine cannot use "
               "(several pages, --sdf) is noted on standard error")},
        {"", "--no-kerning", "", "", Atlas, nullptr, false, N_("list no kerning pairs in the descriptor")},
        {"", "--atlas-keep", "", "", Atlas, nullptr, false,
            N_("keep the glyphs of the atlas already at OUT where they are (the same page and rectangle), put "
               "new ones where glyphs no longer used were, or on a new page when no page has room, and leave a "
               "page that gains no glyph byte for byte as it was, so that a patch carries only the pages that "
               "changed; another --size, --padding, --page, --mono, --sdf, --spread or font packs anew, with a "
               "note. Not with --grid")},
        {"", "--size", "PX", "16", Atlas, nullptr, false,
            N_("the height in pixels of the atlas and the preview (4 to 256)")},
        {"", "--padding", "N", "1", Atlas, nullptr, false,
            N_("the empty pixels around each glyph of the atlas (0 to 255)")},
        {"", "--page", "WxH|auto", "1024x1024", Atlas, nullptr, false,
            N_("the page size of the atlas (more pages when one is not enough); auto: the smallest page that "
               "holds every glyph, each side a power of 2 (at most 4096), else several 4096x4096 pages"),
            Nothing, {"auto", "512x512", "1024x1024", "2048x2048"}},
        {"", "--mono", "", "", Atlas, nullptr, false,
            N_("1-bit glyphs (for retro platforms) instead of 8-bit grey")},
        {"", "--sdf", "", "", Atlas, nullptr, false,
            N_("a signed distance field (8-bit, 128 on the outline, more inside and less outside), for "
               "shaders to draw sharp at any size; the descriptor says distanceField; not with --mono")},
        {"", "--spread", "PX", "4", Atlas, nullptr, false,
            N_("how far the --sdf distance field reaches on each side of the outline, in pixels (2 to 32)")},
        {"", "--grid", "WxH", "", Atlas, nullptr, false,
            N_("a fixed grid: the ith character in the ith cell (in the code order of -f tbl), each cell W×H "
               "pixels, the glyphs on one baseline; a glyph that does not fit is an error, not cut. OUT.widths "
               "is written too, a line \"code=advance\" each, the codes from --tbl-start")},
        {"", "--grid-columns", "N", "16", Atlas, nullptr, false,
            N_("the cells in a row of the grid (1 to 256); the rows of a page follow --page's height")},

        {"", "--web", "DIR", "", Web, nullptr, false,
            N_("web fonts: cut the font into WOFF2 pieces, written to DIR (named by a hash of their content, to "
               "be cached forever): first the full-width punctuation and spaces the font has, then the set's "
               "characters from the most used to the least; with DIR/font.css (an @font-face and its "
               "unicode-range for each piece), DIR/index.html (to check it in a browser) and "
               "DIR/charlib-web.json, which remembers the pieces: a later run keeps every piece that still holds "
               "a character of the set, and cuts only characters no piece holds, so that browsers keep what "
               "they cached; a bold or italic font of the same family is added to font.css beside the others"),
            Folders},
        {"", "--chunk-size", "KIB", "70", Web, nullptr, false,
            N_("the size each WOFF2 piece aims at, in KiB (4 to 10240)")},
        {"", "--web-all", "", "", Web, nullptr, false,
            N_("also cut the rest of the font's characters into more pieces by Unicode block, for text to come")},
        {"", "--family", "NAME", "", Web, nullptr, false,
            N_("the font-family of font.css (by default the font's own name)")},
        {"", "--web-fresh", "", "", Web, nullptr, false,
            N_("cut the web font anew, keeping none of the pieces earlier runs made of this face in DIR")},
        {"", "--css", "NAME", "font.css", Web, nullptr, false,
            N_("the stylesheet to write in DIR, beside the others there; its check page is NAME with .html "
               "(index.html for font.css)")},
        {"", "--url-prefix", "URL", "", Web, nullptr, false,
            N_("the start of the pieces' URLs in the stylesheet, URL/NAME.woff2: for a CDN, or a page whose "
               "stylesheet lives elsewhere (by default the pieces are found beside the stylesheet)")},

        {"", "--save-job", "FILE", "", Project, nullptr, false,
            N_("do not run: add this command line's options to the project file FILE as a job (a [[font]] "
               "table, its paths made relative to FILE's folder; FILE is made when missing), for charlib-cli "
               "build"),
            Files},
        {"", "--job", "NAME", "", Project, nullptr, false,
            N_("the name of the job --save-job adds (by default the name of its first output)")},

        {"", "--list", "", "", Build, nullptr, false, N_("list the project's jobs with their outputs, and stop")},
        {"", "--force", "", "", Build, nullptr, false,
            N_("build every job asked for, also those whose inputs and settings have not changed since their "
               "outputs were written")},
        {"", "--keep-going", "", "", Build, nullptr, false,
            N_("when a job fails, still write the outputs of the jobs that succeeded (and exit with 1); "
               "otherwise a failing job leaves every output of every job as it was")},
        {"", "--depfile", "FILE", "", Build, nullptr, false,
            N_("write FILE, a Make-style dependency file, one rule for the jobs built, skipped ones too: their "
               "outputs (for --web, the stylesheet) depend on every file they read (the sources -r finds, the "
               "font, the lists) and on the project file; for Make, Ninja and CMake's DEPFILE"),
            Files},
        {"", "--watch", "", "", Build, nullptr, false,
            N_("after the build, watch the inputs and build again the jobs whose inputs change (edits in "
               "half a second make one build), until Ctrl+C")},
    };
    return table;
}

const OptionInfo& option_info(std::string_view long_name)
{
    const auto& table = option_table();
    // charlib-cli build has options of its own, one of them named as another's: the run's come first.
    const auto found = std::find_if(
        table.begin(), table.end(), [&](const OptionInfo& option) { return option.long_name == long_name; });
    if (found == table.end()) throw std::logic_error("no option " + std::string(long_name));
    return *found;
}

const OptionInfo& build_option_info(std::string_view long_name)
{
    const auto& table = option_table();
    const auto found = std::find_if(table.begin(), table.end(), [&](const OptionInfo& option) {
        return option.group == OptionGroup::Build && option.long_name == long_name;
    });
    if (found == table.end()) throw std::logic_error("no build option " + std::string(long_name));
    return *found;
}

bool is_job_key(const OptionInfo& option)
{
    return option.group != OptionGroup::Project && option.group != OptionGroup::Build &&
        option.long_name != "--help" && option.long_name != "--version";
}

std::string option_names(const OptionInfo& option)
{
    return option.short_name.empty() ? std::string(option.long_name)
                                     : std::string(option.short_name) + ", " + std::string(option.long_name);
}

std::string allowed_values(const OptionInfo& option, Language language)
{
    std::string joined;
    for (const std::string& value : option.values())
        joined += (joined.empty() ? "" : language == Language::Chinese ? "、" : ", ") + value;
    return joined;
}

void refuse_value(std::string_view long_name, const std::string& given, Language language)
{
    const OptionInfo& option = option_info(long_name);
    throw UsageError(tr(language, "The value “{value}” of {option} is not valid; it can be: {values}",
        {{"value", given}, {"option", std::string(long_name)}, {"values", allowed_values(option, language)}}));
}

const std::string& checked_value(std::string_view long_name, const std::string& given, Language language)
{
    const std::vector<std::string> values = option_info(long_name).values();
    if (std::find(values.begin(), values.end(), given) == values.end()) refuse_value(long_name, given, language);
    return given;
}

std::string_view group_title(OptionGroup group)
{
    switch (group) {
    case OptionGroup::Selection: return N_("Choosing lines");
    case OptionGroup::Sources: return N_("Sources");
    case OptionGroup::TranslationFiles: return N_("Translation files");
    case OptionGroup::Choosing: return N_("Choosing characters");
    case OptionGroup::Output: return N_("Output");
    case OptionGroup::Font: return N_("Fonts");
    case OptionGroup::Atlas: return N_("Bitmap fonts (atlases)");
    case OptionGroup::Web: return N_("Web fonts");
    case OptionGroup::Project: return N_("Projects");
    case OptionGroup::Build: return N_("Building a project: charlib-cli build [FILE] [JOB]...");
    }
    return "";
}

const std::vector<FormatHelp>& output_formats_help()
{
    static const std::vector<FormatHelp> all = {
        {"text", N_("the set itself: #张三李四")},
        {"counts", N_("a character, a tab and its count a line: 张\t12")},
        {"tbl", N_("a code table, \"code=character\" a line, the codes rising from --tbl-start: 8000=张")},
        {"unicode-range", N_("CSS's unicode-range, neighbouring codes merged: U+4E00-4E02,U+4E0A")},
        {"json", N_("one object: the sources (path, format, encoding, bytes, lines, chosen lines, invalid byte "
                    "sequences), the characters with their counts and first places, and the coverage")},
        {"where", N_("up to --locations places of each character, a line each: the character, its code, "
                     "file:line:column, the entry's key (empty for lines) and the context, separated by tabs "
                     "(always UTF-8): 字\tU+5B57\tpo/zh.po:120:7\tmenu.title\t“…这是字的上下文…”")},
    };
    return all;
}

const std::vector<Example>& examples()
{
    static const std::vector<Example> all = {
        {N_("The line after each line marked # of a GBK script, sorted by code, into END.txt"),
            "charlib-cli -m '#' -n 1 -s -o END.txt script.txt"},
        {N_("A folder of scripts, the characters of an existing font removed, as a code table by frequency"),
            "charlib-cli -r -e auto --exclude font.txt --order freq -f tbl -o game.tbl scripts/"},
        {N_("A JSON translation with ASCII and CJK punctuation added, and a font cut down to it"),
            "charlib-cli -t json zh.json --add-set ascii --add-set cjk-punct --font f.ttf --subset ui.ttf"},
        {N_("The unicode-range of two chapters"), "charlib-cli -e utf-8 -f unicode-range chapter1.txt chapter2.txt"},
        {N_("Subtitles as JSON, with a report on standard error"),
            "charlib-cli -r --glob '*.txt' --glob '*.srt' -e auto -f json --report subtitles/ > chars.json"},
        {N_("A font collection cut down to a script, and its bitmap font"),
            "charlib-cli -m '#' -n 1 script.txt --font wqy-microhei.ttc --subset game.woff2 --atlas game"},
        {N_("Where the characters a font lacks are used in a folder of PO files"),
            "charlib-cli -t auto -r po/ --font game.ttf --missing-only -f where"},
        {N_("A distance-field bitmap font for PixiJS"),
            "charlib-cli -t auto -r lang/ --font game.ttf --atlas ui --sdf --size 48 --engine pixi"},
        {N_("A bitmap font on one page for Phaser"),
            "charlib-cli -t auto -r lang/ --font game.ttf --atlas ui --size 24 --engine phaser"},
        {N_("A code table and a 1-bit grid font in the same order, for a retro game"),
            "charlib-cli -m '#' -n 1 script.txt -f tbl --tbl-start 8800 -o game.tbl --font f.ttf --atlas font "
            "--grid 16x16 --mono"},
        {N_("Web fonts for a site's Markdown pages"),
            "charlib-cli -e utf-8 -r docs/ --glob '*.md' --font NotoSansSC.otf --web site/fonts"},
        {N_("The faces of a font collection"), "charlib-cli --font wqy-microhei.ttc --face list"},
    };
    return all;
}

}  // namespace charlib::cli
