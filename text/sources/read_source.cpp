#include "sources/read_source.h"

#include <fnmatch.h>

#include "base/outcome.h"
#include "codec/encodings.h"
#include "codec/utf.h"
#include "extract/extract.h"
#include "files/input_file.h"
#include "formats/format_table.h"
#include "places.h"
#include "selected_lines.h"
#include "simd/code_sets.h"
#include "sources/detection.h"
#include "sources/facts.h"
#include "sources/file_kind.h"
#include "sources/listing.h"

namespace charlib {

namespace {

Outcome control_z(const std::filesystem::path& source, Encoding encoding, const ControlZ& found)
{
    if (encoding == Encoding::Gbk || encoding == Encoding::Gb18030)
        return {Code::ControlZ, {{"path", source}, {"offset", found.byte}}};
    return {
        Code::ControlZAtCharacter, {{"path", source}, {"index", found.character}, {"offset", found.byte}}};
}

bool key_matches(const std::vector<std::string>& keys, std::string_view key)
{
    if (keys.empty()) return true;
    const std::string name(key);
    for (const std::string& glob : keys)
        if (fnmatch(glob.c_str(), name.c_str(), 0) == 0) return true;
    return false;
}

Outcome invalid_sequences(const std::filesystem::path& source, std::uint64_t count,
    const std::string& encoding, const InvalidSequence& first, bool strict)
{
    return {strict ? Code::InvalidSequencesRefused : Code::InvalidSequences,
        {{"path", source}, {"count", count}, {"encoding", encoding}, {"line", first.line},
            {"byte", first.byte}}};
}

bool has_byte_order_mark(std::string_view head)
{
    for (const std::string_view mark : {std::string_view("\xEF\xBB\xBF"), std::string_view("\xFF\xFE"),
             std::string_view("\xFE\xFF"), std::string_view("\0\0\xFE\xFF", 4)})
        if (head.starts_with(mark)) return true;
    return false;
}

// What a translation file was read in, and why: its reader names the
// encoding; the format's rule, the first bytes and the detection, when the
// reader asked for it, say why.
void report_entries_encoding(SourceReport& report, const std::string& name, TextFormat format,
    std::string_view head, const std::optional<Detection>& detected, bool told)
{
    const std::optional<Encoding> known = encoding_named(name);
    report.encoding = known ? SourceEncoding{known, {}} : SourceEncoding{std::nullopt, name};
    if (told) return;
    const FormatInfo& info = format_info(format);
    const Outcome format_default(Code::FormatDefault, {{"format", std::string(info.name)}});
    if (has_byte_order_mark(head))
        report.encoding_reason = Outcome(Code::Bom);
    else if (detected && known == detected->encoding)
        report.encoding_reason = detected->reason;
    else if (info.encoding == EncodingRule::Declared && known == Encoding::Utf8)
        report.encoding_reason = format_default;
    else if (info.encoding == EncodingRule::Declared &&
        (head.starts_with(std::string_view("<\0", 2)) || head.starts_with(std::string_view("\0<", 2))))
        report.encoding_reason = Outcome(Code::Utf16Pattern, {{"encoding", name}});
    else if (info.encoding == EncodingRule::Declared)
        report.encoding_reason = Outcome(Code::Declared, {{"encoding", name}});
    else if (known == Encoding::Utf8 && info.encoding != EncodingRule::Utf8)
        report.encoding_reason = Outcome(Code::ValidUtf8);
    else
        report.encoding_reason = format_default;
}

// A file's bytes for the format readers.
class FileBytes final : public ByteSource {
public:
    explicit FileBytes(InputFile& file) : file_(file) { }
    std::size_t read_at(std::uint64_t offset, char* buffer, std::size_t size) const override
    {
        return file_.read_at(offset, buffer, size);
    }
    std::uint64_t size() const override { return file_.size(); }

private:
    InputFile& file_;
};

// The characters of UTF-8 text into the set, a slice at a time: an entry
// can be as long as its file.
void insert_utf8(CharacterSet& set, std::string_view text, std::u32string& slice)
{
    constexpr std::size_t slice_bytes = std::size_t{1} << 16;
    for (std::size_t at = 0; at < text.size();) {
        slice.clear();
        const bool last = text.size() - at <= slice_bytes;
        at += decode_utf8(text.substr(at, slice_bytes), last, slice);
        set.insert(slice);
    }
}

// An entry's text in UTF-8, cut for the sample. No character takes more
// than 4 bytes, so those bytes hold enough of a long entry.
std::u32string sample_of_entry(std::string_view text)
{
    constexpr std::size_t enough = longest_sample_line * 4;
    std::u32string characters;
    decode_utf8(text.substr(0, enough), text.size() <= enough, characters);
    if (characters.size() > longest_sample_line) characters.resize(longest_sample_line);
    return characters;
}

// The first `count` selected lines, each cut for the sample: read again,
// only as far as they go.
std::vector<std::u32string> sample_lines(
    InputFile& file, SourceFormat format, const Selection& selection, std::size_t count)
{
    std::vector<std::u32string> sample;
    for_each_selected_line(file, format, selection, [&](std::uint64_t, std::u32string_view line) {
        sample.emplace_back(line.substr(0, longest_sample_line));
        return sample.size() < count;
    });
    return sample;
}

// A translation file: its entries, selected as lines are, handed over one
// by one as the reader finds them.
std::optional<Outcome> read_entries_into(SourceRead& read, InputFile& file,
    const std::filesystem::path& source, const ReadingRules& rules, TextFormat format, std::string_view head)
{
    SourceReport& report = read.report;
    const std::uint64_t size = file.size();
    if (size > largest_translation_file)
        return Outcome(Code::TranslationFileTooLarge,
            {{"path", source}, {"format", text_format_name(format)}, {"size", Bytes{size}},
                {"limit", Bytes{largest_translation_file}}});
    EntryOptions options;
    options.encoding = rules.encoding;
    std::optional<Detection> detected;
    options.detect = [&] {
        detected = detect(file.path(), *rules.tuning.kernel);
        return detected->encoding;
    };
    options.columns = rules.entries.columns;
    options.key_column = rules.entries.key_column;
    options.xliff_source = rules.entries.xliff_source;

    const bool strip = rules.entries.strip_markup.value_or(true);
    const std::string marker = to_utf8(rules.selection.marker);
    CharacterSet set(rules.selection.count);
    std::u32string slice;
    std::uint64_t keyed = 0, selected = 0;
    const EntriesRead got = read_entries(format, FileBytes(file), source, options,
        [&](std::string& text, std::string_view key, std::uint64_t line, std::uint64_t column) {
            if (!key_matches(rules.entries.keys, key)) return;
            ++keyed;
            if (!marker.empty() && text.find(marker) == std::string::npos) return;
            ++selected;
            if (strip) strip_markup_in_place(text);
            insert_utf8(set, text, slice);
            if (read.sample.size() < rules.sample) read.sample.push_back(sample_of_entry(text));
            if (rules.places > 0)
                note_places(
                    utf8_characters(text), source, line, column, std::string(key), rules.places, read.places);
        });
    report_entries_encoding(report, got.encoding, format, head, detected, rules.encoding.has_value());
    report.facts.invalid = got.invalid;
    report.facts.first_invalid = got.first_invalid;
    if (got.invalid > 0) {
        Outcome invalid =
            invalid_sequences(source, got.invalid, got.encoding, got.first_invalid.front(), rules.strict);
        if (rules.strict) return invalid;
        read.warnings.push_back(std::move(invalid));
    }
    if (got.key_column) {
        const KeyColumn& key = *got.key_column;
        if (key.header.empty())
            read.warnings.push_back({Code::KeyColumnNoHeader, {{"path", source}, {"column", key.number}}});
        else
            read.warnings.push_back(
                {Code::KeyColumn, {{"path", source}, {"column", key.number}, {"header", key.header}}});
    }
    if (got.unreadable_cues > 0)
        read.warnings.push_back({Code::UnreadableCues, {{"path", source}, {"count", got.unreadable_cues}}});
    read.tally = set.take();
    report.facts.bytes = size;
    report.facts.lines = got.count;
    report.facts.keyed = keyed;
    report.facts.selected_lines = selected;
    report.facts.unreadable_cues = got.unreadable_cues;
    return std::nullopt;
}

// Reads the source into `read`, in one pass in the common case: the
// encoding told, the characters, lines and Control-Z found from the same
// reads. Returns the reason it cannot be used, if it cannot.
std::optional<Outcome> read_into(
    SourceRead& read, const std::filesystem::path& source, const ReadingRules& rules)
{
    SourceReport& report = read.report;
    std::optional<StreamCopy> copy;
    // A translation file is read whole: a stream of one is copied no further than the limit.
    const bool whole = rules.entries.format && *rules.entries.format != TextFormat::Lines;
    if (StreamCopy::is_stream(source))
        copy.emplace(source, whole ? std::optional(largest_translation_file) : std::nullopt);
    if (copy && copy->too_long())
        return Outcome(Code::TranslationStreamTooLarge,
            {{"path", source}, {"format", text_format_name(*rules.entries.format)},
                {"limit", Bytes{largest_translation_file}}});
    InputFile file(copy ? copy->path() : source);
    const std::uint64_t size = file.size();

    // What is plainly not text is refused before anything else is looked for in it.
    std::string head(4096, '\0');
    head.resize(file.read_at(0, head.data(), head.size()));
    if (const std::optional<NotText> kind = not_text(head, source))
        return Outcome(Code::NotText, {{"path", source}, {"kind", std::string(not_text_id(*kind))}});
    std::optional<TextFormat> text_format = rules.entries.format;
    if (!text_format) {
        text_format = text_format_of(source, head);
        if (!text_format) {
            if (rules.entries.note_lines) read.warnings.push_back({Code::ReadAsLines, {{"path", source}}});
            text_format = TextFormat::Lines;
        }
    }
    report.text_format = text_format_name(*text_format);
    if (*text_format != TextFormat::Lines)
        return read_entries_into(read, file, source, rules, *text_format, head);

    // The first buffer decides the encoding for the reading; the detection
    // goes on over the bytes the extraction reads, and only if it ends
    // elsewhere is the source read again.
    Reading reading;
    std::string first;
    std::optional<DetectionStream> detection;
    Encoding encoding = Encoding::Gbk;
    if (rules.encoding) {
        encoding = *rules.encoding;
    } else {
        first.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, default_buffer_size)));
        first.resize(file.read_at(0, first.data(), first.size()));
        encoding = detect(first, first.size() == size, *rules.tuning.kernel).encoding;
        detection.emplace(size, *rules.tuning.kernel);
        detection->feed(first);
        reading.first = first;
        reading.observe = [&](std::string_view bytes) { detection->feed(bytes); };
    }
    reading.count_lines = rules.facts;
    SourceFormat format{encoding, rules.newline ? *rules.newline : default_newline(encoding)};
    read.tally = extract_source(file, format, rules.selection, rules.tuning, reading);
    if (detection) {
        // What the extraction did not read of the window: the parts after the first.
        std::string rest(default_buffer_size, '\0');
        while (detection->wanted() > 0) {
            const std::size_t count = file.read_at(detection->seen(), rest.data(), rest.size());
            if (count == 0) break;
            detection->feed({rest.data(), count});
        }
        const Detection told = detection->finish();
        report.encoding_reason = told.reason;
        read.encoding_guessed = told.guessed;
        if (told.encoding != encoding) {
            encoding = told.encoding;
            format = {encoding, rules.newline ? *rules.newline : default_newline(encoding)};
            read.tally = extract_source(file, format, rules.selection, rules.tuning, {{}, {}, rules.facts});
        }
    }
    // Where a Control-Z stands in the characters is counted only when there is one.
    if (read.tally.control_z) {
        if (const auto found = find_control_z(file, encoding)) return control_z(source, encoding, *found);
    }
    report.encoding = {encoding, {}};

    report.facts.bytes = size;
    report.facts.lines = read.tally.lines;
    report.facts.selected_lines = read.tally.selected_lines;
    // Without a marker every non-empty line was decoded: U+FFFD tells of
    // invalid sequences. With one, the lines not taken must be looked at.
    const bool undecodable = read.tally.characters.find(U'\uFFFD') != std::u32string::npos;
    const bool some_lines = !rules.selection.marker.empty() || rules.selection.offset > 0;
    if (undecodable || ((rules.facts || rules.strict) && some_lines)) {
        const SourceFacts examined = examine_source(file, format, rules.selection);
        report.facts.invalid = examined.invalid;
        report.facts.first_invalid = examined.first_invalid;
    }
    if (report.facts.invalid > 0) {
        Outcome invalid = invalid_sequences(source, report.facts.invalid, encoding_name(format.encoding),
            report.facts.first_invalid.front(), rules.strict);
        if (rules.strict) return invalid;
        read.warnings.push_back(std::move(invalid));
    }
    if (rules.places > 0)
        locate_in_lines(
            file, source, format, rules.selection, read.tally.characters, rules.places, read.places);
    if (rules.sample > 0) read.sample = sample_lines(file, format, rules.selection, rules.sample);
    const std::u32string& characters = read.tally.characters;
    const bool suspect = characters.empty() || characters.find(U'\n') != std::u32string::npos;
    if (format.newline == Newline::Legacy && suspect && line_feeds_only(file))
        read.warnings.push_back({Code::LineFeedsOnly, {{"path", source}}});
    return std::nullopt;
}

}  // namespace

SourceRead read_source(const std::filesystem::path& source, const ReadingRules& rules)
{
    SourceRead read;
    read.report.path = source;
    std::optional<Outcome> refused;
    try {
        refused = read_into(read, source, rules);
    } catch (const Failure& failure) {
        refused = failure.outcome();
    }
    if (refused) {
        read = {};
        read.report.path = source;
        read.report.error = std::move(refused);
    }
    return read;
}

}  // namespace charlib
