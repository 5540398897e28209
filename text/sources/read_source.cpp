#include "sources/read_source.h"

#include <fnmatch.h>

#include "base/outcome.h"
#include "codec/encodings.h"
#include "codec/utf.h"
#include "extract/extract.h"
#include "files/input_file.h"
#include "places.h"
#include "simd/code_sets.h"
#include "sources/detection.h"
#include "sources/facts.h"
#include "sources/file_kind.h"
#include "sources/listing.h"

namespace charlib {

namespace {

std::string control_z_message(const std::filesystem::path& source, Encoding encoding, const ControlZ& found)
{
    const std::string where = encoding == Encoding::Gbk || encoding == Encoding::Gb18030
        ? "在文件偏移" + std::to_string(found.byte)
        : "在第" + std::to_string(found.character) + "个字符（文件偏移" + std::to_string(found.byte) + "）";
    return "文件“" + source.string() + "”" + where +
        "处发现Ctrl+Z字符，说明此文件并非纯TXT文件，如果仍需要提取，请将些字符修改成非Ctrl+Z字符。";
}

// What a file that is not text looks like, and what to do instead.
std::string not_text_message(const std::filesystem::path& source, NotText kind)
{
    const auto is = [&](const char* what, const char* instead) {
        // A space between hanzi and a Latin name, as Chinese is typeset.
        const char* space = static_cast<unsigned char>(what[0]) < 0x80 ? " " : "";
        return "“" + source.string() + "”是" + space + what + "，不是文本" + (*instead ? "：" : "") + instead;
    };
    switch (kind) {
    case NotText::ExcelWorkbook: return is("Excel 工作簿（ZIP）", "请先导出为 CSV");
    case NotText::WordDocument: return is("Word 文档（ZIP）", "请先另存为纯文本（.txt）");
    case NotText::PowerPointDeck: return is("PowerPoint 演示文稿（ZIP）", "请先把文字导出为纯文本");
    case NotText::OpenDocumentSpreadsheet: return is("OpenDocument 电子表格（ZIP）", "请先导出为 CSV");
    case NotText::OpenDocumentText: return is("OpenDocument 文档（ZIP）", "请先另存为纯文本（.txt）");
    case NotText::OpenDocumentPresentation: return is("OpenDocument 演示文稿（ZIP）", "请先把文字导出为纯文本");
    case NotText::Epub: return is("EPUB 电子书（ZIP）", "请先解压，读其中的 .xhtml 文件");
    case NotText::Zip: return is("ZIP 压缩文件", "请先解压");
    case NotText::OldOfficeDocument:
        return is("旧版 Office 文件（.xls、.doc 或 .ppt）", "请先导出为 CSV 或另存为纯文本");
    case NotText::Pdf: return is("PDF 文件", "请先把文字导出为纯文本");
    case NotText::Png: return is("PNG 图片", "");
    case NotText::Jpeg: return is("JPEG 图片", "");
    case NotText::Gif: return is("GIF 图片", "");
    case NotText::Webp: return is("WebP 图片", "");
    case NotText::Font: return is("字体文件", "字体要用 --font 给出");
    case NotText::Executable: return is("可执行程序", "");
    case NotText::Gzip: return is("gzip 压缩文件", "请先解压");
    case NotText::SevenZip: return is("7z 压缩文件", "请先解压");
    case NotText::Rar: return is("RAR 压缩文件", "请先解压");
    case NotText::Sqlite: return is("SQLite 数据库", "");
    }
    return is("二进制文件", "");
}

bool key_matches(const std::vector<std::string>& keys, std::string_view key)
{
    if (keys.empty()) return true;
    const std::string name(key);
    for (const std::string& glob : keys)
        if (fnmatch(glob.c_str(), name.c_str(), 0) == 0) return true;
    return false;
}

// A translation file over the limit; `size` says how far over.
std::string too_large(const std::filesystem::path& source, TextFormat format, const std::string& size)
{
    return "“" + source.string() + "”" + size + "，不能按 " + text_format_name(format) +
        " 读取（翻译文件要整个读入内存）：请拆分后再读，或用 -t lines 按行读取";
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

// A translation file: its entries, selected as lines are, handed over one
// by one as the reader finds them.
std::string read_entries_into(SourceRead& read, InputFile& file, const std::filesystem::path& source,
    const ReadingRules& rules, TextFormat format)
{
    SourceReport& report = read.report;
    const std::uint64_t size = file.size();
    if (size > largest_translation_file)
        return too_large(source, format, "有 " + std::to_string(size) + " 字节");
    EntryOptions options;
    options.encoding = rules.encoding;
    options.detect = [&] { return detect(file.path(), *rules.tuning.kernel).encoding; };
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
            if (rules.places > 0)
                note_places(
                    utf8_characters(text), source, line, column, std::string(key), rules.places, read.places);
        });
    report.encoding = encoding_named(got.encoding).value_or(Encoding::Utf8);
    if (!encoding_named(got.encoding)) report.encoding_reason = "按文件声明的 " + got.encoding + " 读取";
    report.facts.invalid = got.invalid;
    report.facts.first_invalid = got.first_invalid;
    if (got.invalid > 0) {
        const InvalidSequence& first = got.first_invalid.front();
        const std::string text = "“" + source.string() + "”有 " + std::to_string(got.invalid) +
            " 处无效字节序列（按 " + got.encoding + " 读取），第一处在第 " + std::to_string(first.line) +
            " 行第 " + std::to_string(first.byte) + " 字节";
        if (rules.strict) return text + "；有 --strict，不用这个来源";
        read.warnings.push_back("注意：" + text + "，已记为 U+FFFD");
    }
    if (got.key_column) {
        const KeyColumn& key = *got.key_column;
        read.warnings.push_back("注意：“" + source.string() + "”的第 " + std::to_string(key.number) + " 列（" +
            (key.header.empty() ? std::string("表头为空") : "表头“" + key.header + "”") +
            "）作为键列：给出每行的键，不算译文；可用 --key-column 另选一列或 none");
    }
    if (got.unreadable_cues > 0)
        read.warnings.push_back("注意：“" + source.string() + "”中有 " + std::to_string(got.unreadable_cues) +
            " 个字幕块的时间码无法识别，已跳过");
    read.tally = set.take();
    report.facts.bytes = size;
    report.facts.lines = got.count;
    report.facts.keyed = keyed;
    report.facts.selected_lines = selected;
    report.facts.unreadable_cues = got.unreadable_cues;
    return {};
}

// Reads the source into `read`, in one pass in the common case: the
// encoding told, the characters, lines and Control-Z found from the same
// reads. Returns the reason it cannot be used, if it cannot.
std::string read_into(SourceRead& read, const std::filesystem::path& source, const ReadingRules& rules)
{
    SourceReport& report = read.report;
    std::optional<StreamCopy> copy;
    // A translation file is read whole: a stream of one is copied no further than the limit.
    const bool whole = rules.entries.format && *rules.entries.format != TextFormat::Lines;
    if (StreamCopy::is_stream(source))
        copy.emplace(source, whole ? std::optional(largest_translation_file) : std::nullopt);
    if (copy && copy->too_long())
        return too_large(source, *rules.entries.format, std::string());
    InputFile file(copy ? copy->path() : source);
    const std::uint64_t size = file.size();

    // What is plainly not text is refused before anything else is looked for in it.
    std::string head(4096, '\0');
    head.resize(file.read_at(0, head.data(), head.size()));
    if (const std::optional<NotText> kind = not_text(head, source)) return not_text_message(source, *kind);
    std::optional<TextFormat> text_format = rules.entries.format;
    if (!text_format) {
        text_format = text_format_of(source, head);
        if (!text_format) {
            if (rules.entries.note_lines)
                read.warnings.push_back(
                    "注意：无法从文件名判断“" + source.string() + "”的格式，按 lines 逐行读取");
            text_format = TextFormat::Lines;
        }
    }
    report.text_format = text_format_name(*text_format);
    if (*text_format != TextFormat::Lines) return read_entries_into(read, file, source, rules, *text_format);

    // The first buffer decides the encoding for the reading; the detection
    // goes on over the bytes the extraction reads, and only if it ends
    // elsewhere is the source read again.
    Reading reading;
    std::string first;
    std::optional<DetectionStream> detection;
    if (rules.encoding) {
        report.encoding = *rules.encoding;
    } else {
        first.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, default_buffer_size)));
        first.resize(file.read_at(0, first.data(), first.size()));
        report.encoding = detect(first, first.size() == size, *rules.tuning.kernel).encoding;
        detection.emplace(size, *rules.tuning.kernel);
        detection->feed(first);
        reading.first = first;
        reading.observe = [&](std::string_view bytes) { detection->feed(bytes); };
    }
    reading.count_lines = rules.facts;
    SourceFormat format{report.encoding, rules.newline ? *rules.newline : default_newline(report.encoding)};
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
        if (told.encoding != report.encoding) {
            report.encoding = told.encoding;
            format = {report.encoding, rules.newline ? *rules.newline : default_newline(report.encoding)};
            read.tally = extract_source(file, format, rules.selection, rules.tuning, {{}, {}, rules.facts});
        }
    }
    // Where a Control-Z stands in the characters is counted only when there is one.
    if (read.tally.control_z) {
        if (const auto found = find_control_z(file, report.encoding))
            return control_z_message(source, report.encoding, *found);
    }

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
        const InvalidSequence& first_place = report.facts.first_invalid.front();
        const std::string text = "“" + source.string() + "”有 " + std::to_string(report.facts.invalid) +
            " 处无效字节序列（按 " + encoding_name(format.encoding) + " 读取），第一处在第 " +
            std::to_string(first_place.line) + " 行第 " + std::to_string(first_place.byte) + " 字节";
        if (rules.strict) return text + "；有 --strict，不用这个来源";
        read.warnings.push_back("注意：" + text + "，已记为 U+FFFD");
    }
    if (rules.places > 0)
        locate_in_lines(
            file, source, format, rules.selection, read.tally.characters, rules.places, read.places);
    const std::u32string& characters = read.tally.characters;
    const bool suspect = characters.empty() || characters.find(U'\n') != std::u32string::npos;
    if (format.newline == Newline::Legacy && suspect && line_feeds_only(file))
        read.warnings.push_back("注意：“" + source.string() +
            "”只用 LF 换行，没有一个 CR：按 legacy 规则整个文件是一行，LF 算作字符。要按 LF 分行，请加 "
            "--newline any");
    return {};
}

}  // namespace

SourceRead read_source(const std::filesystem::path& source, const ReadingRules& rules)
{
    SourceRead read;
    read.report.path = source;
    std::string refused;
    try {
        refused = read_into(read, source, rules);
    } catch (const Failure& failure) {
        refused = failure.what();
    }
    if (!refused.empty()) {
        read = {};
        read.report.path = source;
        read.report.error = refused;
    }
    return read;
}

}  // namespace charlib
