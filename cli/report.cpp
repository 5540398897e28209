#include "report.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <utility>

#include "codec/encodings.h"
#include "codec/utf.h"
#include "messages/catalog.h"
#include "messages/words.h"
#include "output/output.h"

namespace charlib::cli {

namespace {

// What a file that is not text is, and what to do instead, by the kind's id.
struct KindWords {
    std::string_view kind;
    const char* what;
    const char* instead;  // "" for nothing to advise
};

constexpr KindWords kinds[] = {
    {"excel-workbook", N_("an Excel workbook (ZIP)"), N_("export it as CSV first")},
    {"word-document", N_("a Word document (ZIP)"), N_("save it as plain text (.txt) first")},
    {"powerpoint-deck", N_("a PowerPoint deck (ZIP)"), N_("export its text as plain text first")},
    {"opendocument-spreadsheet", N_("an OpenDocument spreadsheet (ZIP)"), N_("export it as CSV first")},
    {"opendocument-text", N_("an OpenDocument text (ZIP)"), N_("save it as plain text (.txt) first")},
    {"opendocument-presentation", N_("an OpenDocument presentation (ZIP)"),
        N_("export its text as plain text first")},
    {"epub", N_("an EPUB book (ZIP)"), N_("unpack it first and read its .xhtml files")},
    {"zip", N_("a ZIP archive"), N_("unpack it first")},
    {"old-office-document", N_("an old Office file (.xls, .doc or .ppt)"),
        N_("export it as CSV or save it as plain text first")},
    {"pdf", N_("a PDF file"), N_("export its text as plain text first")},
    {"png", N_("a PNG picture"), ""},
    {"jpeg", N_("a JPEG picture"), ""},
    {"gif", N_("a GIF picture"), ""},
    {"webp", N_("a WebP picture"), ""},
    {"font", N_("a font file"), N_("give fonts with --font")},
    {"executable", N_("a program"), ""},
    {"gzip", N_("a gzip archive"), N_("unpack it first")},
    {"7z", N_("a 7z archive"), N_("unpack it first")},
    {"rar", N_("a RAR archive"), N_("unpack it first")},
    {"sqlite", N_("an SQLite database"), ""},
};

std::string not_text_said(Outcome outcome, Language language)
{
    const std::string id = outcome.text("kind");
    const auto found =
        std::find_if(std::begin(kinds), std::end(kinds), [&](const KindWords& k) { return k.kind == id; });
    std::string what(translate(language, found == std::end(kinds) ? N_("a binary file") : found->what));
    // A space between hanzi and a Latin name, as Chinese is typeset.
    if (language == Language::Chinese && !what.empty() && static_cast<unsigned char>(what[0]) < 0x80)
        what = " " + what;
    const std::string said = words(outcome.with("kind", what), language);
    if (found == std::end(kinds) || !*found->instead) return said;
    return tr(language, "{text}: {more}",
        {{"text", said}, {"more", std::string(translate(language, found->instead))}});
}

}  // namespace

std::string said(const Outcome& outcome, Language language)
{
    const std::string text = words(outcome, language);
    switch (outcome.code) {
    case Code::ControlZ:
    case Code::ControlZAtCharacter:
        return tr(language, "The file “{path}”: {text}", {{"path", outcome.path().string()}, {"text", text}});
    case Code::NotText: return not_text_said(outcome, language);
    case Code::TranslationFileTooLarge:
    case Code::TranslationStreamTooLarge:
        return tr(language, "{text}, or read it by lines with -t lines", {{"text", text}});
    case Code::InvalidSequencesRefused: return tr(language, "{text} (--strict)", {{"text", text}});
    case Code::KeyColumn:
    case Code::KeyColumnNoHeader:
        return tr(language, "{text}; choose another column, or none, with --key-column", {{"text", text}});
    case Code::LineFeedsOnly:
        return tr(language, "{text} To split at LF, add --newline any", {{"text", text}});
    case Code::NulInText: return tr(language, "{text} (give the encoding with -e)", {{"text", text}});
    case Code::NoSuchColumn: return tr(language, "{text} (--column)", {{"text", text}});
    case Code::NoSuchKeyColumn: return tr(language, "{text} (--key-column)", {{"text", text}});
    default: return text;
    }
}

std::string reason_said(const Outcome& reason, Language language)
{
    std::string text = words(reason, language);
    if (reason.code == Code::ValidUtf8 && reason.find("multibyte"))
        text += trn(language, " ({count} multibyte sequence)", " ({count} multibyte sequences)",
            reason.number("multibyte"), {{"count", std::to_string(reason.number("multibyte"))}});
    if (reason.code == Code::Gb18030FourByte && reason.find("invalid"))
        text += trn(language, ", {count} invalid sequence", ", {count} invalid sequences",
            reason.number("invalid"), {{"count", std::to_string(reason.number("invalid"))}});
    if (reason.find("looked_at"))
        text += tr(language, " (in the first {count} MiB)",
            {{"count", std::to_string(reason.number("looked_at") >> 20)}});
    return text;
}

std::string listed(std::u32string_view characters, std::size_t most, Language language)
{
    const bool chinese = language == Language::Chinese;
    std::string text;
    for (std::size_t i = 0; i < characters.size() && i < most; ++i)
        text += (i ? (chinese ? "、" : ", ") : "") + to_utf8(characters.substr(i, 1)) + " " +
            code_point_name(characters[i]);
    return text + (characters.size() > most ? (chinese ? "……" : "…") : "");
}

void print_report(std::ostream& out, const std::vector<SourceReport>& sources, const Tally& chosen, const FontFacts* font,
    const Places& places, Language language)
{
    const auto n = [](std::uint64_t number) { return std::to_string(number); };
    std::uint64_t lines = 0, selected = 0, invalid = 0;
    std::size_t used = 0;
    for (const SourceReport& source : sources) {
        if (source.error) continue;
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
    const bool entries = std::any_of(sources.begin(), sources.end(),
        [](const SourceReport& source) { return !source.error && source.text_format != "lines"; });
    // Three counts, each with its own plural: three texts in one.
    out
        << tr(language, "{sources}, {lines}, {selected}",
               {{"sources", trn(language, "{count} source", "{count} sources", used, {{"count", n(used)}})},
                   {"lines", trn(language, "{count} line", "{count} lines", lines, {{"count", n(lines)}})},
                   {"selected", tr(language, "{count} selected", {{"count", n(selected)}})}})
        << (entries ? tr(language, " (each entry of a translation file counts as a line)") : "");
    if (used < sources.size())
        out << trn(language, "; {count} source could not be used",
            "; {count} sources could not be used", sources.size() - used,
            {{"count", n(sources.size() - used)}});
    out << "\n";
    std::size_t explained = 0;
    for (const SourceReport& source : sources)
        if (source.encoding_reason && explained++ < most_reasons)
            out << tr(language, "  {path}: read as {encoding}: {reason}",
                             {{"path", source.path.string()}, {"encoding", encoding_name(source.encoding)},
                                 {"reason", reason_said(*source.encoding_reason, language)}})
                      << "\n";
    if (explained > most_reasons)
        out << trn(language,
                         "  … and {count} more source read in the encoding its bytes or format tell",
                         "  … and {count} more sources read in the encoding their bytes or format tell",
                         explained - most_reasons, {{"count", n(explained - most_reasons)}})
                  << "\n";
    // Characters counted 0 are not in the text: they were added.
    std::u32string added;
    for (std::size_t i = 0; i < chosen.counts.size(); ++i)
        if (chosen.counts[i] == 0) added += chosen.characters[i];
    const std::string outside =
        tr(language, "{count} outside code page 936", {{"count", n(found.outside.size())}});
    out << trn(language, "{count} distinct character", "{count} distinct characters",
                     chosen.characters.size(), {{"count", n(chosen.characters.size())}})
              << (added.empty() ? ""
                                : tr(language, ", {count} of them added (not in the sources)",
                                      {{"count", n(added.size())}}))
              << "\n"
              << tr(language, "GB2312 level-1 hanzi {count} / {total} ({percent})",
                     {{"count", n(found.level1)}, {"total", n(found.level1_size)},
                         {"percent", percent(found.level1, found.level1_size)}})
              << "\n"
              << tr(language, "GB2312 level-2 hanzi {count} / {total} ({percent})",
                     {{"count", n(found.level2)}, {"total", n(found.level2_size)},
                         {"percent", percent(found.level2, found.level2_size)}})
              << "\n"
              << tr(language, "GB2312 other characters {count}, single-byte characters {single}",
                     {{"count", n(found.gb2312_other)}, {"single", n(found.single_byte)}})
              << "\n"
              << tr(language, "{count} in GBK beyond GB2312", {{"count", n(found.beyond_gb2312)}}) << "\n"
              << (found.outside.empty()
                         ? outside
                         : tr(language, "{text}: {more}",
                               {{"text", outside}, {"more", listed(found.outside, most_listed, language)}}))
              << "\n"
              << trn(language, "{count} invalid byte sequence", "{count} invalid byte sequences", invalid,
                     {{"count", n(invalid)}})
              << "\n";
    std::size_t shown = 0;
    for (const SourceReport& source : sources)
        for (const InvalidSequence& place : source.facts.first_invalid)
            if (shown++ < most_places)
                out << tr(language, "  {path}:{line}: byte {byte}",
                                 {{"path", source.path.string()}, {"line", n(place.line)},
                                     {"byte", n(place.byte)}})
                          << "\n";
    if (!font || font->missing.empty()) return;
    out << trn(language, "{count} character the font lacks, where it first occurs:",
                     "{count} characters the font lacks, each where it first occurs:", font->missing.size(),
                     {{"count", n(font->missing.size())}})
              << "\n";
    for (std::size_t i = 0; i < font->missing.size() && i < most_missing; ++i) {
        const char32_t c = font->missing[i];
        const auto found = places.find(c);
        const bool placed = found != places.end() && !found->second.empty();
        out << "  " << listed(std::u32string_view(&c, 1), 1, language) << "  "
                  << (placed ? place_name(found->second.front())
                             : added.find(c) != std::u32string::npos
                             ? tr(language, "(an added character)")
                             : tr(language, "(not in the selected lines)"))
                  << "\n";
    }
    if (font->missing.size() > most_missing)
        out << tr(language, "  … and {count} more", {{"count", n(font->missing.size() - most_missing)}})
                  << "\n";
}

void print_output_encoding(std::ostream& out, const std::filesystem::path& path, const OutputChoice& choice, Language language)
{
    const char* why = "";
    switch (choice.why) {
    case OutputChoice::Why::Asked: why = N_("as asked"); break;
    case OutputChoice::Why::Format: why = N_("this format is always UTF-8"); break;
    case OutputChoice::Why::SourcesGbk:
        why = N_("the sources are all GBK, as the window writes END.txt");
        break;
    case OutputChoice::Why::SourcesNotGbk: why = N_("not every source is GBK"); break;
    case OutputChoice::Why::Unmappable:
        why = N_("the sources are GBK, but some characters are not in GBK");
        break;
    }
    const bool utf8 = choice.encoding == OutputEncoding::Utf8;
    out << tr(language, "Output “{path}”: {encoding}, {line_end} line ends ({why})",
                     {{"path", path == "-" ? tr(language, "standard output") : path.string()},
                         {"encoding",
                             utf8                                         ? "utf-8"
                                 : choice.encoding == OutputEncoding::Gbk ? "gbk"
                                                                          : "gb18030"},
                         {"line_end", utf8 ? "LF" : "CR LF"}, {"why", std::string(translate(language, why))}})
              << "\n";
}

Progress::Progress(const std::vector<std::filesystem::path>& sources, Language language, bool shown) :
    language_(language)
{
    for (const auto& source : sources) {
        std::error_code error;
        const auto size = std::filesystem::file_size(source, error);
        total_ += error ? 0 : size;
    }
    shown_ = shown && ::isatty(2) && total_ > (std::uint64_t{64} << 20);
    start_ = last_ = std::chrono::steady_clock::now();
}

Progress::~Progress()
{
    if (drawn_) std::cerr << "\r\033[K" << std::flush;
}

std::function<void(std::uint64_t)> Progress::source(std::uint64_t before)
{
    if (!shown_) return {};
    return [this, before](std::uint64_t bytes) { show(before + bytes); };
}

void Progress::show(std::uint64_t done)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const auto mb = [](double megabytes) {
        char text[32];
        std::snprintf(text, sizeof text, "%.0f", megabytes);
        return std::string(text);
    };
    std::cerr << "\r"
              << tr(language_, "Read {done} / {total} MB  {speed} MB/s",
                     {{"done", mb(done / 1e6)}, {"total", mb(total_ / 1e6)},
                         {"speed", mb(seconds > 0 ? done / 1e6 / seconds : 0.0)}})
              << std::flush;
    drawn_ = true;
}

CountProgress::CountProgress(std::string wording, int to, bool shown) :
    wording_(std::move(wording)),
    to_(to),
    shown_(shown && ::isatty(to))
{
}

CountProgress::~CountProgress()
{
    if (drawn_) write("\r\033[K");
}

void CountProgress::write(const std::string& text) const
{
    std::cerr << std::flush;
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t written = ::write(to_, text.data() + at, text.size() - at);
        if (written <= 0) return;  // a progress line is not worth an error
        at += static_cast<std::size_t>(written);
    }
}

std::function<void(std::size_t, std::size_t)> CountProgress::callback()
{
    if (!shown_) return {};
    return [this](std::size_t done, std::size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && done < total && now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        write("\r" + fill(wording_, {{"done", std::to_string(done)}, {"total", std::to_string(total)}}));
        drawn_ = true;
    };
}

}  // namespace charlib::cli
