#include "cli/manual.h"

#include <string_view>
#include <vector>

#include "cli/option_table.h"
#include "codec/utf.h"
#include "messages/catalog.h"

namespace charlib::cli {

std::size_t columns_of(char32_t c)
{
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
        (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000;
    return wide ? 2 : 1;
}

std::size_t columns_of(std::string_view utf8)
{
    std::size_t columns = 0;
    for (char32_t c : from_utf8(utf8).value_or(U""))
        columns += columns_of(c);
    return columns;
}

namespace {

// Closing marks stay with what comes before them, opening marks with what follows.
bool closes(char32_t c) { return std::u32string_view(U"，。、；：！？）」』”’》").find(c) != std::u32string_view::npos; }
bool opens(char32_t c) { return std::u32string_view(U"（「『“‘《").find(c) != std::u32string_view::npos; }

// The units a line may break between: a word, or one hanzi with the marks that cling to it.
struct Piece {
    std::u32string text;
    std::size_t columns = 0;
    bool space_before = false;
};

std::vector<Piece> pieces_of(const std::u32string& text)
{
    std::vector<Piece> pieces;
    bool space = false;
    for (char32_t c : text) {
        if (c == U' ') {
            space = true;
            continue;
        }
        const bool wide = columns_of(c) == 2;
        const bool joins = !pieces.empty() && !space &&
            (closes(c) || opens(pieces.back().text.back()) ||
                (!wide && columns_of(pieces.back().text.back()) == 1));
        if (!joins) pieces.push_back({U"", 0, space});
        pieces.back().text += c;
        pieces.back().columns += columns_of(c);
        space = false;
    }
    return pieces;
}

// The text in lines of at most `width` columns (a longer word stands alone).
std::vector<std::string> wrapped(std::string_view text, std::size_t width)
{
    std::vector<std::string> lines;
    const std::u32string all = from_utf8(text).value_or(U"");
    std::size_t at = 0;
    while (at <= all.size()) {
        const std::size_t end = std::min(all.find(U'\n', at), all.size());
        std::u32string line;
        std::size_t used = 0;
        for (const Piece& piece : pieces_of(all.substr(at, end - at))) {
            const std::size_t gap = piece.space_before && used > 0 ? 1 : 0;
            if (used > 0 && used + gap + piece.columns > width) {
                lines.push_back(to_utf8(line));
                line.clear();
                used = 0;
            } else if (gap) {
                line += U' ';
                used += 1;
            }
            line += piece.text;
            used += piece.columns;
        }
        lines.push_back(to_utf8(line));
        at = end + 1;
    }
    return lines;
}

std::string indented(std::string_view text, std::size_t indent, std::size_t width)
{
    std::string out;
    for (const std::string& line : wrapped(text, width - indent))
        out += std::string(indent, ' ') + line + "\n";
    return out;
}

// An example's command cut into lines of at most `width`, each but the last
// ending in " \"; an option stays on the line of its value.
std::vector<std::string> command_lines(std::string_view command, std::size_t width)
{
    std::vector<std::string> units;
    std::size_t start = 0;
    while (start < command.size()) {
        std::size_t end = command.find(' ', start);
        if (end == std::string_view::npos) end = command.size();
        const std::string_view word = command.substr(start, end - start);
        if (units.empty() || word.starts_with('-') || !units.back().starts_with('-') ||
            units.back().find(' ') != std::string::npos)
            units.emplace_back(word);
        else
            units.back() += " " + std::string(word);
        start = end + 1;
    }
    std::vector<std::string> lines{""};
    for (const std::string& unit : units) {
        if (!lines.back().empty() && lines.back().size() + 1 + unit.size() + 2 > width) {
            lines.back() += " \\";
            lines.push_back("    " + unit);
        } else {
            lines.back() += (lines.back().empty() ? "" : " ") + unit;
        }
    }
    return lines;
}

}  // namespace

std::string option_help(const OptionInfo& option, Language language)
{
    std::string help(translate(language, option.help));
    const std::string space = language == Language::English ? " " : "";  // Chinese brackets bring their own
    if (option.values)
        help += space + tr(language, "(one of: {values})", {{"values", allowed_values(option, language)}});
    if (!option.default_value.empty())
        help += space + tr(language, "(default: {value})", {{"value", std::string(option.default_value)}});
    return help;
}

namespace {

std::string option_heading(const OptionInfo& option)
{
    return option_names(option) + (option.value_name.empty() ? "" : " " + std::string(option.value_name));
}

constexpr OptionGroup groups[] = {OptionGroup::Selection, OptionGroup::Sources, OptionGroup::TranslationFiles,
    OptionGroup::Choosing, OptionGroup::Output, OptionGroup::Font, OptionGroup::Atlas, OptionGroup::Web,
    OptionGroup::Project, OptionGroup::Build};

const char* const usage = N_("Usage: charlib-cli [OPTION]... SOURCE...");
const char* const build_usage = N_("Usage: charlib-cli build [FILE] [JOB]... [OPTION]...");
const char* const build_note =
    N_("Builds the jobs of a project file (FILE: by default charlib.toml, here or in the nearest folder above), "
       "or the jobs named. Each [[font]] table of the file is a job: its name, its sources = [...], and "
       "charlib-cli's options by their long names (size = 24, add-set = [\"ascii\"], sdf = true), paths "
       "relative to the file's folder; a [defaults] table holds what every job shares. Jobs are made side by "
       "side and their files written together: a job that fails leaves every file as it was. A job whose "
       "inputs and settings have not changed since it was built is left as it is (.charlib-state.json beside "
       "the project file remembers them).");
const char* const summary = N_("build the character library of text files");
const char* const description =
    N_("Extracts the characters that the chosen lines of the sources use, each once, in order of first "
       "occurrence (the sources one after another, as one text); counts, chooses and orders them, and writes "
       "them in several forms, and makes fonts of them. A source - is standard input; named pipes are read "
       "as streams too.");
const char* const font_note =
    N_("Characters the font lacks are listed on standard error: how many, then each with its code, up to 50; "
       "characters the font has but draws blank likewise, up to 10.");
const char* const formats_note =
    N_("Standard output is UTF-8 with LF line ends; for -o see above. With only --subset, --atlas, --web or "
       "--preview and neither -f nor -o, the set is not printed. counts and tbl write control characters (a "
       "line feed, say) by name, as U+000A.");
const char* const exit_status =
    N_("0 success; 1 a source or the output cannot be used (a Ctrl+Z character, a file that cannot be "
       "opened, read or written, characters that cannot be encoded); 2 a usage error.");

}  // namespace

namespace {

std::string group_help(OptionGroup group, Language language, std::size_t width, bool titled = true)
{
    constexpr std::size_t column = 27;  // where the help of each option begins
    std::string out = titled ? "\n" + std::string(translate(language, group_title(group))) + "\n" : "\n";
    if (group == OptionGroup::Font) out += indented(translate(language, font_note), 0, width);
    if (group == OptionGroup::Build) out += indented(translate(language, build_note), 0, width);
    for (const OptionInfo& option : option_table()) {
        if (option.group != group) continue;
        std::string heading = "  " + option_heading(option);
        if (option.short_name.empty()) heading.insert(0, "    ");
        const std::vector<std::string> lines = wrapped(option_help(option, language), width - column);
        if (heading.size() + 2 > column) {
            out += heading + "\n";
            heading.clear();
        }
        for (const std::string& line : lines) {
            heading.resize(column, ' ');
            out += heading + line + "\n";
            heading.clear();
        }
    }
    return out;
}

}  // namespace

std::string build_help_text(Language language, std::size_t width)
{
    return std::string(translate(language, build_usage)) + "\n" + group_help(OptionGroup::Build, language, width, false);
}

std::string help_text(Language language, std::size_t width)
{
    std::string out = std::string(translate(language, usage)) + "\n" +
        indented(translate(language, description), 0, width);
    for (OptionGroup group : groups)
        out += group_help(group, language, width);
    out += "\n" + std::string(translate(language, N_("Formats"))) + "\n";
    out += indented(translate(language, formats_note), 0, width);
    for (const FormatHelp& format : output_formats_help()) {
        std::string heading = "  " + std::string(format.name);
        for (const std::string& line : wrapped(translate(language, format.help), width - 17)) {
            heading.resize(17, ' ');
            out += heading + line + "\n";
            heading.clear();
        }
    }
    out += "\n" + std::string(translate(language, N_("Examples"))) + "\n";
    for (const Example& example : examples()) {
        out += indented(translate(language, example.purpose), 2, width);
        for (const std::string& line : command_lines(example.command, width - 4))
            out += "    " + line + "\n";
    }
    out += "\n" + std::string(translate(language, N_("Exit status"))) + "\n";
    out += indented(translate(language, exit_status), 2, width);
    return out;
}

namespace {

// Text as groff prints it: backslashes and minus signs escaped, no line taken
// for a request, and (`breaks`) a place to break after each hanzi, as groff
// breaks at spaces alone.
std::string roff(std::string_view text, bool breaks = true)
{
    const std::u32string all = from_utf8(text).value_or(U"");
    std::string out;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const char32_t c = all[i];
        if (c == U'\\')
            out += "\\e";
        else if (c == U'-')
            out += "\\-";
        else
            out += to_utf8(std::u32string(1, c));
        const bool last = i + 1 == all.size();
        if (breaks && columns_of(c) == 2 && !opens(c) && !last && !closes(all[i + 1])) out += "\\:";
    }
    return (out.starts_with('.') || out.starts_with('\'') ? "\\&" : "") + out;
}

}  // namespace

std::string man_page(Language language, const std::string& version)
{
    const auto heading = [&](std::string_view english) {
        return ".SH \"" + std::string(translate(language, english)) + "\"\n";
    };
    std::string out = ".TH CHARLIB\\-CLI 1 \"\" \"charlib " + version + "\" \"" +
        std::string(translate(language, N_("User Commands"))) + "\"\n.ad l\n";
    out += heading(N_("NAME")) + "charlib\\-cli \\- " + roff(translate(language, summary), false) + "\n";
    out += heading(N_("SYNOPSIS")) + ".B charlib\\-cli\n[\\fI" + roff(translate(language, N_("OPTION"))) +
        "\\fR]... \\fI" + roff(translate(language, N_("SOURCE"))) + "\\fR...\n";
    out += heading(N_("DESCRIPTION")) + roff(translate(language, description)) + "\n";
    out += heading(N_("OPTIONS"));
    for (OptionGroup group : groups) {
        out += ".SS \"" + std::string(translate(language, group_title(group))) + "\"\n";
        if (group == OptionGroup::Font) out += roff(translate(language, font_note)) + "\n";
        for (const OptionInfo& option : option_table()) {
            if (option.group != group) continue;
            out += ".TP\n\\fB" + roff(option_names(option)) + "\\fR";
            if (!option.value_name.empty()) out += " \\fI" + roff(option.value_name) + "\\fR";
            out += "\n" + roff(option_help(option, language)) + "\n";
        }
    }
    out += heading(N_("FORMATS")) + roff(translate(language, formats_note)) + "\n";
    for (const FormatHelp& format : output_formats_help())
        out += ".TP\n.B " + roff(format.name) + "\n" + roff(translate(language, format.help)) + "\n";
    out += heading(N_("EXAMPLES"));
    for (const Example& example : examples()) {
        out += ".PP\n" + roff(translate(language, example.purpose)) + "\n.PP\n.RS\n.EX\n";
        for (const std::string& line : command_lines(example.command, 64))
            out += roff(line) + "\n";
        out += ".EE\n.RE\n";
    }
    out += heading(N_("EXIT STATUS")) + roff(translate(language, exit_status)) + "\n";
    out += heading(N_("SEE ALSO")) + ".BR charlib (1)\n";
    return out;
}

namespace {

// What the man pages of the two windows hold; each text in English, translated when written.
struct WindowPage {
    std::string_view title;  // roff: "CHARLIB"
    std::string_view program;  // roff: "charlib"
    std::string_view what, synopsis, description;
    std::vector<std::pair<std::string, std::string_view>> items;  // roff, and its help
    std::string_view see_also;  // roff
};

std::string window_page(const WindowPage& page, Language language, const std::string& version)
{
    const auto heading = [&](std::string_view english) {
        return ".SH \"" + std::string(translate(language, english)) + "\"\n";
    };
    std::string out = ".TH " + std::string(page.title) + " 1 \"\" \"charlib " + version + "\" \"" +
        std::string(translate(language, N_("User Commands"))) + "\"\n.ad l\n";
    out += heading(N_("NAME")) + std::string(page.program) + " \\- " + roff(translate(language, page.what), false) + "\n";
    out += heading(N_("SYNOPSIS")) + ".B " + std::string(page.program) + "\n" + std::string(page.synopsis) + "\n";
    out += heading(N_("DESCRIPTION")) + roff(translate(language, page.description)) + "\n";
    out += heading(N_("OPTIONS"));
    for (const auto& [item, help] : page.items)
        out += ".TP\n" + item + "\n" + roff(translate(language, help)) + "\n";
    out += heading(N_("SEE ALSO")) + std::string(page.see_also);
    return out;
}

}  // namespace

std::string window_man_page(Language language, const std::string& version)
{
    return window_page({"CHARLIB", "charlib", N_("the Charlib window: build the character library of a text file"),
                           "[\\fIFILE\\fR]",
                           N_("Opens one window in which a text file is chosen, its lines previewed and filtered by a "
                              "marker, and the distinct characters of the chosen lines collected, sorted and written "
                              "to END.txt in code page 936, in the folder of the chosen file."),
                           {{"\\fIFILE\\fR", N_("open FILE as if it had been chosen with the Browse button")},
                               {"\\fB" + roff("-h, --help") + "\\fR", option_info("--help").help},
                               {"\\fB" + roff("--version") + "\\fR", option_info("--version").help}},
                           ".BR charlib\\-cli (1)\n"},
        language, version);
}

std::string studio_man_page(Language language, const std::string& version)
{
    return window_page(
        {"CHARLIB\\-STUDIO", "charlib\\-studio",
            N_("Charlib Studio: the jobs of a Charlib project, their characters and fonts, in one window"),
            "[\\fIPROJECT.toml\\fR | \\fIFOLDER\\fR | \\fIFILE\\fR...]",
            N_("Opens a project file in a window: its jobs, the sources each job reads, the characters they use and "
               "where each occurs, the characters the job's font lacks, and the files the job writes. A build makes "
               "the files of every job as charlib-cli build does, from the same project file."),
            {{"\\fIPROJECT.toml\\fR", N_("open the project file, a charlib.toml as charlib-cli build reads it")},
                {"\\fIFOLDER\\fR", N_("open the folder's charlib.toml, or read the folder as a new project's sources")},
                {"\\fIFILE\\fR...", N_("read the files as a new project's sources")},
                {"\\fB\\-h\\fR, \\fB\\-\\-help\\fR", option_info("--help").help},
                {"\\fB\\-\\-version\\fR", option_info("--version").help}},
            ".BR charlib\\-cli (1),\n.BR charlib (1)\n"},
        language, version);
}

std::string bash_completion()
{
    std::string names, cases;
    for (const OptionInfo& option : option_table()) {
        names += (names.empty() ? "" : " ") + (option.short_name.empty() ? "" : std::string(option.short_name) + " ") +
            std::string(option.long_name);
        if (option.value_name.empty()) continue;
        std::string pattern =
            (option.short_name.empty() ? "" : std::string(option.short_name) + "|") + std::string(option.long_name);
        std::string words;
        if (option.values)
            for (const std::string& value : option.values())
                words += (words.empty() ? "" : " ") + value;
        for (std::string_view value : option.suggestions)
            words += (words.empty() ? "" : " ") + std::string(value);
        std::string action;
        switch (option.completion) {
        case Completion::Nothing: break;
        case Completion::Files: action = "_charlib_cli_files"; break;
        case Completion::Folders: action = "_charlib_cli_folders"; break;
        case Completion::FontFiles: action = "_charlib_cli_fonts"; break;
        case Completion::Faces: action = "_charlib_cli_faces"; break;
        case Completion::Columns: action = "_charlib_cli_columns"; break;
        }
        if (!words.empty()) action += std::string(action.empty() ? "" : "; ") + "_charlib_cli_add " + words;
        cases += "        " + pattern + ") " + action + (action.empty() ? "" : "; ") + "return ;;\n";
    }
    return R"bash(# bash completion for charlib-cli, made from its table of options.

_charlib_cli_add()  # the words that begin with what is typed
{
    local word
    for word in "$@"; do
        [[ $word == "$cur"* ]] && COMPREPLY+=("$word")
    done
}

_charlib_cli_files()
{
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY+=($(compgen -f -- "$cur"))
}

_charlib_cli_folders()
{
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY+=($(compgen -d -- "$cur"))
}

_charlib_cli_fonts()  # font files in any case, and folders to find them in
{
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY+=($(compgen -d -- "$cur") $(compgen -f -X '!*.[oOtT][tT][fFcC]' -- "$cur"))
}

_charlib_cli_given()  # the value of the last of the options named on the line
{
    local i value=
    for ((i = 1; i < COMP_CWORD; i++)); do
        local name
        for name in "$@"; do
            [[ ${COMP_WORDS[i]} == "$name" ]] || continue
            if [[ ${COMP_WORDS[i+1]} == = ]]; then value=${COMP_WORDS[i+2]}; else value=${COMP_WORDS[i+1]}; fi
        done
    done
    value=${value#[\"\']}
    value=${value%[\"\']}
    [[ $value == '~/'* ]] && value=$HOME/${value#'~/'}
    printf '%s' "$value"
}

_charlib_cli_faces()  # numbers and names, as charlib-cli --font F --face list prints them
{
    local font
    font=$(_charlib_cli_given --font)
    [[ -f $font ]] || return
    local IFS=$'\n' face
    for face in $("${COMP_WORDS[0]}" --font "$font" --face list 2>/dev/null | tr '\t' '\n'); do
        [[ $face == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$face")")
    done
}

_charlib_cli_columns()  # the header cells of the first CSV or TSV file on the line, and their numbers
{
    local i file= header cell number=0
    for ((i = 1; i < ${#COMP_WORDS[@]}; i++)); do
        [[ $i != "$COMP_CWORD" && ${COMP_WORDS[i],,} == *.[ct]sv && -f ${COMP_WORDS[i]} ]] || continue
        file=${COMP_WORDS[i]}
        break
    done
    [[ -n $file ]] || return
    IFS= read -r header <"$file"
    header=${header%$'\r'}
    header=${header#$'\xef\xbb\xbf'}
    local IFS=,
    [[ ${file,,} == *.tsv ]] && IFS=$'\t'
    for cell in $header; do
        number=$((number + 1))
        cell=${cell#\"}
        cell=${cell%\"}
        [[ $cell == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$cell")")
        [[ $number == "$cur"* ]] && COMPREPLY+=("$number")
    done
}

_charlib_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    COMPREPLY=()
    if [[ $prev == = ]]; then prev=${COMP_WORDS[COMP_CWORD-2]}; fi
    [[ $cur == = ]] && cur=
    case $prev in
)bash" + cases + R"bash(    esac
    if [[ $cur == -* ]]; then
        _charlib_cli_add )bash" + names + R"bash(
        return
    fi
    _charlib_cli_files
}
complete -F _charlib_cli charlib-cli
)bash";
}

}  // namespace charlib::cli
