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

// The lines of a text one at a time; a line ends at LF, CR LF or CR, as
// LineIndex counts them.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) { }
    // The next line, or nothing after the last; `index` counts them from 0.
    std::optional<std::string_view> next()
    {
        if (at_ > text_.size()) return std::nullopt;
        const std::size_t end = std::min(text_.find_first_of("\r\n", at_), text_.size());
        const std::string_view line = text_.substr(at_, end - at_);
        at_ = end == text_.size() ? end + 1 : end + (text_.substr(end).starts_with("\r\n") ? 2 : 1);
        ++read_;
        return line;
    }
    std::size_t index() const { return read_ - 1; }  // of the line last given

private:
    std::string_view text_;
    std::size_t at_ = 0, read_ = 0;
};

std::string srt_shown(std::string_view text);
std::string vtt_shown(std::string_view text);

// The cues of the lines `lines` gives, each handed over as its block ends:
// a block (lines between blank lines) is an optional identifier line, a
// timing line and text lines; a block without a timing line is skipped, as
// players skip it, and counted.
class CueReader {
public:
    CueReader(Dialect dialect, const EntrySink& sink) : dialect_(dialect), sink_(sink) { }

    std::uint64_t read(Lines& lines)
    {
        while (const std::optional<std::string_view> line = lines.next())
            take(*line, lines.index());
        end_block();
        finish_cue();
        return unreadable_;
    }

private:
    struct Cue {
        std::string identifier;  // the number or identifier line, if any
        std::size_t first_text = 0;  // the index of its first text line
        std::size_t lines = 0;
        std::string text;  // the text lines joined
        std::size_t last_line = 0;  // where the last of them begins in `text`
    };

    void take(std::string_view line, std::size_t index)
    {
        if (trim(line).empty()) {
            end_block();
            finish_cue();
            in_cue_ = skipping_ = in_block_ = false;
            return;
        }
        if (!block_started_) block_started_ = true;
        if (skipping_) return;
        if (is_timing_line(line)) {
            block_timed_ = true;
            std::string identifier = in_block_ ? std::string(trim(previous_)) : std::string();
            // SubRip written without blank lines: the number closed the previous cue's text.
            if (in_cue_ && dialect_ == Dialect::Srt && cue_.lines > 0 &&
                is_number(std::string_view(cue_.text).substr(cue_.last_line))) {
                identifier = trim(std::string_view(cue_.text).substr(cue_.last_line));
                cue_.text.resize(cue_.last_line > 0 ? cue_.last_line - 1 : 0);
                --cue_.lines;
            }
            finish_cue();
            cue_ = {std::move(identifier), index + 1, 0, {}, 0};
            in_cue_ = has_cue_ = true;
            in_block_ = false;
        } else if (in_cue_) {
            if (cue_.lines++ == 0)
                cue_.first_text = index;
            else
                cue_.text += '\n';
            cue_.last_line = cue_.text.size();
            cue_.text.append(line);
        } else if (!in_block_ && dialect_ == Dialect::Vtt &&
            (starts_with_word(line, "NOTE") || starts_with_word(line, "STYLE") ||
                starts_with_word(line, "REGION"))) {
            skipping_ = block_skipped_ = true;
        } else {
            previous_ = line;
            in_block_ = true;
        }
    }

    void end_block()
    {
        if (block_started_ && !block_timed_ && !block_skipped_) ++unreadable_;
        block_started_ = block_timed_ = block_skipped_ = false;
    }

    void finish_cue()
    {
        if (!has_cue_) return;
        has_cue_ = false;
        ++cues_;
        entry_ = dialect_ == Dialect::Srt ? srt_shown(cue_.text) : vtt_shown(cue_.text);
        if (entry_.empty()) return;
        const std::string number = cue_.identifier.empty() ? std::to_string(cues_) : std::string();
        sink_(entry_, cue_.identifier.empty() ? std::string_view(number) : cue_.identifier, cue_.first_text + 1,
            1);
    }

    Dialect dialect_;
    const EntrySink& sink_;
    Cue cue_;
    bool has_cue_ = false;  // cue_ holds a cue not yet handed over
    std::uint64_t cues_ = 0, unreadable_ = 0;
    bool in_cue_ = false;  // after a timing line, until a blank line
    bool skipping_ = false;  // in a NOTE, STYLE or REGION block
    std::string_view previous_;  // the block's last line before its timing line
    bool in_block_ = false;  // `previous_` is set
    bool block_started_ = false, block_timed_ = false, block_skipped_ = false;
    std::string entry_;
};

// SubRip text without <i>, </b>, <font color="...">... and ASS override
// blocks such as {\an8}; neither spans a line.
std::string srt_shown(std::string_view text)
{
    std::string shown;
    // Where the next '}' or line end is, found once for all the "{\\" before it.
    std::size_t brace_end = 0;
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
            if (brace_end <= at) brace_end = std::min(text.find_first_of("}\n", at), text.size());
            if (brace_end < text.size() && text[brace_end] == '}') {
                at = brace_end + 1;
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
            const std::size_t end = text.substr(0, at + 11).find(';', at);
            if (end != std::string_view::npos)
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

}  // namespace

std::uint64_t read_srt(std::string_view text, const EntrySink& sink)
{
    Lines lines(text);
    return CueReader(Dialect::Srt, sink).read(lines);
}

std::uint64_t read_vtt(std::string_view text, const EntrySink& sink)
{
    if (!starts_with_word(text.substr(0, text.find_first_of("\r\n")), "WEBVTT"))
        throw malformed(Code::VttNoHeader, 1, 1);
    // The header block (the WEBVTT line and what follows it up to a blank line) is not shown.
    Lines lines(text);
    while (const std::optional<std::string_view> line = lines.next())
        if (trim(*line).empty()) break;
    return CueReader(Dialect::Vtt, sink).read(lines);
}

}  // namespace charlib::formats
