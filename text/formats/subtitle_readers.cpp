// Subtitles: SubRip (.srt) and WebVTT (.vtt). One entry per cue, its text
// lines joined; the formatting tags players do not draw are removed here.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>

#include "codec/utf.h"
#include "readers.h"

namespace charlib::formats {

namespace {

// The lines of `text`; a line ends at LF, CR LF or CR, as LineIndex counts them.
std::vector<std::string_view> split_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
        if (end == text.size()) break;
        start = end + (text.substr(end).starts_with("\r\n") ? 2 : 1);
    }
    return lines;
}

std::string_view trim(std::string_view text)
{
    const std::size_t start = text.find_first_not_of(" \t\f");
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\f") + 1 - start);
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool is_number(std::string_view text)
{
    text = trim(text);
    return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
}

// The length of the timestamp that starts `text` ("00:00:01,000", "01:02.500"), or 0.
std::size_t timestamp_length(std::string_view text)
{
    std::size_t at = 0, fields = 0;
    const auto digits = [&] {
        const std::size_t start = at;
        while (at < text.size() && is_digit(text[at]))
            ++at;
        return at > start;
    };
    if (!digits()) return 0;
    while (fields < 2 && at + 1 < text.size() && text[at] == ':' && is_digit(text[at + 1])) {
        ++at;
        digits();
        ++fields;
    }
    if (fields == 0) return 0;
    if (at + 1 < text.size() && (text[at] == ',' || text[at] == '.') && is_digit(text[at + 1])) {
        ++at;
        digits();
    }
    return at;
}

// "00:00:01,000 --> 00:00:04,000 X1:40" or "00:01.000 --> 00:04.000 align:start".
bool is_timing_line(std::string_view line)
{
    line = trim(line);
    const std::size_t start = timestamp_length(line);
    if (start == 0) return false;
    line = trim(line.substr(start));
    return line.starts_with("-->") && timestamp_length(trim(line.substr(3))) > 0;
}

// `line` is `word` alone or followed by white space ("NOTE", "NOTE about...").
bool starts_with_word(std::string_view line, std::string_view word)
{
    return line.starts_with(word) &&
        (line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '\t');
}

enum class Dialect { Srt, Vtt };

struct Cue {
    std::string identifier;  // the number or identifier line, if any
    std::size_t first_text = 0;  // index of its first text line
    std::vector<std::string_view> lines;
};

// The cues of the lines from `first` on: a block (lines between blank lines)
// is an optional identifier line, a timing line and text lines; a block
// without a timing line is skipped, as players skip it.
std::vector<Cue> split_cues(const std::vector<std::string_view>& lines, std::size_t first, Dialect dialect)
{
    std::vector<Cue> cues;
    bool in_cue = false;  // after a timing line, until a blank line
    bool skipping = false;  // in a NOTE, STYLE or REGION block
    std::string_view previous;  // the block's last line before its timing line
    bool in_block = false;  // `previous` is set
    for (std::size_t i = first; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (trim(line).empty()) {
            in_cue = skipping = in_block = false;
        } else if (skipping) {
        } else if (is_timing_line(line)) {
            Cue cue{in_block ? std::string(trim(previous)) : std::string(), i + 1, {}};
            // SubRip written without blank lines: the number closed the previous cue's text.
            if (in_cue && dialect == Dialect::Srt && !cues.back().lines.empty() &&
                is_number(cues.back().lines.back())) {
                cue.identifier = trim(cues.back().lines.back());
                cues.back().lines.pop_back();
            }
            cues.push_back(std::move(cue));
            in_cue = true;
            in_block = false;
        } else if (in_cue) {
            if (cues.back().lines.empty()) cues.back().first_text = i;
            cues.back().lines.push_back(line);
        } else if (!in_block && dialect == Dialect::Vtt &&
            (starts_with_word(line, "NOTE") || starts_with_word(line, "STYLE") ||
                starts_with_word(line, "REGION"))) {
            skipping = true;
        } else {
            previous = line;
            in_block = true;
        }
    }
    return cues;
}

// SubRip text without <i>, </b>, <font color="...">... and ASS override
// blocks such as {\an8}; neither spans a line.
std::string srt_shown(std::string_view text)
{
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == '<') {
            const std::size_t name = at + 1 < text.size() && text[at + 1] == '/' ? at + 2 : at + 1;
            if (name < text.size() && std::isalpha(static_cast<unsigned char>(text[name]))) {
                const std::size_t end = text.find_first_of("<>\n", name);
                if (end != std::string_view::npos && text[end] == '>') {
                    at = end + 1;
                    continue;
                }
            }
        } else if (text.substr(at).starts_with("{\\")) {
            const std::size_t end = text.find_first_of("}\n", at);
            if (end != std::string_view::npos && text[end] == '}') {
                at = end + 1;
                continue;
            }
        }
        shown += text[at++];
    }
    return shown;
}

// The character a WebVTT character reference ("amp", "#233", "#x2014") names; nothing if unknown.
std::optional<char32_t> character_reference(std::string_view name)
{
    static constexpr std::array<std::pair<std::string_view, char32_t>, 8> named{
        {{"amp", U'&'}, {"lt", U'<'}, {"gt", U'>'}, {"nbsp", U'\u00A0'}, {"lrm", U'\u200E'},
            {"rlm", U'\u200F'}, {"quot", U'"'}, {"apos", U'\''}}};
    for (const auto& [text, character] : named)
        if (name == text) return character;
    if (name.size() < 2 || name[0] != '#') return std::nullopt;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return std::nullopt;
    char32_t value = 0;
    for (char c : digits) {
        const int digit = is_digit(c)     ? c - '0'
            : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
            : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        if (digit < 0) return std::nullopt;
        value = std::min<char32_t>(value * (hex ? 16 : 10) + static_cast<char32_t>(digit), 0x110000);
    }
    const bool valid = value != 0 && value < 0x110000 && (value < 0xD800 || value > 0xDFFF);
    return valid ? value : U'\uFFFD';
}

// WebVTT cue text without its tags (<v Name>, <c.loud>, <i>, <ruby>, <rt>,
// <lang en>, <00:00:01.000>) and with character references decoded.
std::string vtt_shown(std::string_view text)
{
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == '<') {
            // Every < opens a tag in cue text; one left open runs to the end.
            at = std::min(text.find('>', at), text.size() - 1) + 1;
            continue;
        }
        if (text[at] == '&') {
            const std::size_t end = text.find(';', at);
            if (end != std::string_view::npos && end - at <= 10)
                if (const std::optional<char32_t> character =
                        character_reference(text.substr(at + 1, end - at - 1))) {
                    shown += to_utf8(std::u32string_view(&*character, 1));
                    at = end + 1;
                    continue;
                }
        }
        shown += text[at++];
    }
    return shown;
}

std::vector<Entry> cue_entries(const std::vector<std::string_view>& lines, std::size_t first, Dialect dialect)
{
    const std::vector<Cue> cues = split_cues(lines, first, dialect);
    std::vector<Entry> entries;
    for (std::size_t index = 0; index < cues.size(); ++index) {
        const Cue& cue = cues[index];
        std::string joined;
        for (const std::string_view line : cue.lines)
            joined.append(joined.empty() ? "" : "\n").append(line);
        Entry entry{characters_of(dialect == Dialect::Srt ? srt_shown(joined) : vtt_shown(joined)),
            cue.identifier.empty() ? std::to_string(index + 1) : cue.identifier, cue.first_text + 1, 1};
        if (!entry.text.empty()) entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

std::vector<Entry> read_srt(std::string_view text)
{
    return cue_entries(split_lines(text), 0, Dialect::Srt);
}

std::vector<Entry> read_vtt(std::string_view text)
{
    if (!starts_with_word(text.substr(0, text.find_first_of("\r\n")), "WEBVTT"))
        throw Malformed(1, 1, "不是 WebVTT 文件：第一行应为 WEBVTT");
    // The header block (the WEBVTT line and what follows it up to a blank line) is not shown.
    const std::vector<std::string_view> lines = split_lines(text);
    std::size_t first = 1;
    while (first < lines.size() && !trim(lines[first]).empty())
        ++first;
    return cue_entries(lines, first, Dialect::Vtt);
}

}  // namespace charlib::formats
