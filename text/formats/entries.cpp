#include "formats/entries.h"
#include "formats/format_table.h"

#include <algorithm>
#include <array>
#include <utility>

#include "base/outcome.h"
#include "codec/utf.h"
#include "readers.h"

namespace charlib {

namespace {

constexpr std::array<std::pair<TextFormat, const char*>, 14> names{{{TextFormat::Lines, "lines"},
    {TextFormat::Po, "po"}, {TextFormat::Json, "json"}, {TextFormat::Csv, "csv"}, {TextFormat::Tsv, "tsv"},
    {TextFormat::Srt, "srt"}, {TextFormat::Vtt, "vtt"}, {TextFormat::Xliff, "xliff"},
    {TextFormat::Android, "android"}, {TextFormat::Strings, "strings"}, {TextFormat::Resx, "resx"},
    {TextFormat::Yaml, "yaml"}, {TextFormat::Html, "html"}, {TextFormat::Properties, "properties"}}};

// Extensions, lower case, and the format each names; .xml is told by its root element.
constexpr std::array<std::pair<const char*, TextFormat>, 17> extensions{
    {{".po", TextFormat::Po}, {".pot", TextFormat::Po}, {".json", TextFormat::Json},
        {".arb", TextFormat::Json}, {".csv", TextFormat::Csv}, {".tsv", TextFormat::Tsv},
        {".srt", TextFormat::Srt}, {".vtt", TextFormat::Vtt}, {".xlf", TextFormat::Xliff},
        {".xliff", TextFormat::Xliff}, {".strings", TextFormat::Strings}, {".resx", TextFormat::Resx},
        {".yaml", TextFormat::Yaml}, {".yml", TextFormat::Yaml}, {".html", TextFormat::Html},
        {".htm", TextFormat::Html}, {".properties", TextFormat::Properties}}};

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    });
    return text;
}

// The name of an XML file's root element, skipping the declaration,
// comments, processing instructions and the doctype.
std::string root_element(std::string_view head)
{
    std::size_t at = 0;
    while ((at = head.find('<', at)) != std::string_view::npos) {
        const std::string_view rest = head.substr(at + 1);
        if (rest.starts_with("?") || rest.starts_with("!")) {
            at += 1;
            continue;
        }
        const std::size_t end = rest.find_first_of(" \t\r\n/>");
        std::string_view name = rest.substr(0, end);
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos)
            name.remove_prefix(colon + 1);
        return std::string(name);
    }
    return {};
}

}  // namespace

std::string text_format_name(TextFormat format)
{
    for (const auto& [value, name] : names)
        if (value == format) return name;
    return "lines";
}

std::optional<TextFormat> text_format_named(std::string_view name)
{
    for (const auto& [value, text] : names)
        if (name == text) return value;
    return std::nullopt;
}

std::optional<TextFormat> text_format_of(const std::filesystem::path& path, std::string_view head)
{
    const std::string extension = lower(path.extension().string());
    for (const auto& [text, format] : extensions)
        if (extension == text) return format;
    if (extension == ".xml") {
        // The encoding does not matter for the root's name unless it is UTF-16.
        std::string narrow;
        for (char c : head)
            if (c != '\0') narrow += c;
        const std::string root = root_element(narrow);
        if (root == "resources") return TextFormat::Android;
        if (root == "xliff") return TextFormat::Xliff;
        if (root == "root") return TextFormat::Resx;
    }
    return std::nullopt;
}

const std::vector<std::string>& known_patterns()
{
    static const std::vector<std::string> patterns = [] {
        std::vector<std::string> all;
        for (const auto& [text, format] : extensions)
            all.push_back(std::string("*") + text);
        all.push_back("*.xml");
        return all;
    }();
    return patterns;
}

namespace {

std::string first_bytes(const ByteSource& bytes, std::size_t most)
{
    std::string head(most, '\0');
    std::size_t got = 0;
    while (got < most)
        if (const std::size_t count = bytes.read_at(got, head.data() + got, most - got))
            got += count;
        else
            break;
    head.resize(got);
    return head;
}

// The file's text, decoded as its format says unless -e does: XML and PO by
// what they declare; JSON, YAML and WebVTT are UTF-8, as they are
// defined; the others are UTF-8 when they are valid UTF-8, and
// otherwise what their readers take (Java's ISO-8859-1 for .properties,
// the detected encoding for the rest). A byte-order mark always decides.
formats::Decoded decoded_text(TextFormat format, const ByteSource& bytes, const EntryOptions& options)
{
    using namespace formats;
    const std::string head = first_bytes(bytes, std::size_t{1} << 20);
    if (format == TextFormat::Po) return *decode_text(bytes, po_encoding(head, options.encoding));
    if (format == TextFormat::Xliff || format == TextFormat::Android || format == TextFormat::Resx)
        return *decode_text(bytes, xml_encoding(head, options.encoding));
    if (options.encoding) return *decode_text(bytes, text_encoding(*options.encoding));
    if (const std::optional<TextEncoding> mark = byte_order_mark(head)) return *decode_text(bytes, *mark);
    const TextEncoding utf8 = text_encoding(Encoding::Utf8);
    if (format == TextFormat::Json || format == TextFormat::Yaml || format == TextFormat::Vtt)
        return *decode_text(bytes, utf8);
    if (std::optional<Decoded> valid = decode_text(bytes, utf8, true)) return std::move(*valid);
    if (format == TextFormat::Properties) return *decode_text(bytes, {std::nullopt, "ISO-8859-1"});
    return *decode_text(bytes, text_encoding(options.detect ? options.detect() : Encoding::Gbk));
}

// The first `count` characters of UTF-8 text, or its last ones.
std::string_view first_characters(std::string_view text, std::size_t count)
{
    std::size_t at = 0;
    for (; at < text.size() && count > 0; --count)
        for (++at; at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;)
            ++at;
    return text.substr(0, at);
}
std::string_view last_characters(std::string_view text, std::size_t count)
{
    std::size_t at = text.size();
    for (; at > 0 && count > 0; --count)
        while (at > 0 && (static_cast<unsigned char>(text[--at]) & 0xC0) == 0x80) { }
    return text.substr(at);
}

// A reason quotes at most a little of the file: a parser may quote a whole
// token, and a token can be a megabyte long. What stands in quotes keeps its
// first and last 30 characters.
std::string shortened(std::string_view reason)
{
    constexpr std::size_t kept = 30;
    std::string out;
    for (std::size_t at = 0; at < reason.size();) {
        const std::size_t open = reason.find_first_of("'\"", at);
        if (open == std::string_view::npos) {
            out += reason.substr(at);
            break;
        }
        std::size_t close = reason.find(reason[open], open + 1);
        // A quote left open (the reason was cut) runs to the end.
        if (close == std::string_view::npos) close = reason.size();
        const std::string_view quoted = reason.substr(open + 1, close - open - 1);
        out += reason.substr(at, open + 1 - at);
        if (first_characters(quoted, 2 * kept + 1).size() < quoted.size())
            out.append(first_characters(quoted, kept)).append("…").append(last_characters(quoted, kept));
        else
            out += quoted;
        if (close < reason.size()) out += reason[close];
        at = close + 1;
    }
    return out;
}

}  // namespace

EntriesRead read_entries(TextFormat format, const ByteSource& bytes, const std::filesystem::path& path,
    const EntryOptions& options, const EntrySink& sink)
{
    using namespace formats;
    EntriesRead read;
    const EntrySink counted = [&](std::string& text, std::string_view key, std::uint64_t line,
                                  std::uint64_t column) {
        ++read.count;
        sink(text, key, line, column);
    };
    try {
        const Decoded decoded = decoded_text(format, bytes, options);
        read.encoding = decoded.encoding;
        read.invalid = decoded.invalid;
        read.first_invalid = decoded.first_invalid;
        const std::string_view text = decoded.text;
        // No text format has a NUL, and C parsers would end the text there.
        if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
            const LineIndex lines(text);
            throw Malformed(lines.line(nul), lines.column(nul),
                "有 NUL 字符（U+0000），文本中不会有它：这不是按 " + read.encoding +
                    " 写的文本（编码不对可用 -e 指定）");
        }
        const std::string extension = lower(path.extension().string());
        switch (format) {
        case TextFormat::Po: read_po(text, extension == ".pot", counted); break;
        case TextFormat::Xliff: read_xliff(text, options.xliff_source, counted); break;
        case TextFormat::Android: read_android(text, counted); break;
        case TextFormat::Resx: read_resx(text, counted); break;
        case TextFormat::Json: read_json(text, extension == ".arb", counted); break;
        case TextFormat::Csv: read.key_column = read_csv(text, ',', options, counted); break;
        case TextFormat::Tsv: read.key_column = read_csv(text, '\t', options, counted); break;
        case TextFormat::Yaml: read_yaml(text, counted); break;
        case TextFormat::Strings: read_strings(text, counted); break;
        case TextFormat::Properties: read_properties(text, counted); break;
        case TextFormat::Srt: read.unreadable_cues = read_srt(text, counted); break;
        case TextFormat::Vtt: read.unreadable_cues = read_vtt(text, counted); break;
        case TextFormat::Html: read_html(text, counted); break;
        case TextFormat::Lines: break;
        }
    } catch (const Malformed& malformed) {
        throw Failure(Code::CannotParse, {{"path", path}, {"line", malformed.line}, {"column", malformed.column},
            {"reason", shortened(malformed.what())}});
    }
    return read;
}

EntriesRead read_entries(
    TextFormat format, std::string_view bytes, const std::filesystem::path& path, const EntryOptions& options)
{
    std::vector<Entry> entries;
    EntriesRead read = read_entries(format, MemoryBytes(bytes), path, options,
        [&](std::string& text, std::string_view key, std::uint64_t line, std::uint64_t column) {
            entries.push_back({utf8_characters(text), std::string(key), line, column});
        });
    read.entries = std::move(entries);
    return read;
}

}  // namespace charlib

namespace charlib {

const std::vector<FormatInfo>& text_formats()
{
    using F = TextFormat;
    using R = EncodingRule;
    static const std::vector<FormatInfo> formats = {
        {F::Lines, "lines", {".txt"}, R::FromBytes, false},
        {F::Po, "po", {".po", ".pot"}, R::Declared, true},
        {F::Json, "json", {".json", ".arb"}, R::Utf8, true},
        {F::Csv, "csv", {".csv"}, R::Utf8ElseFromBytes, true},
        {F::Tsv, "tsv", {".tsv"}, R::Utf8ElseFromBytes, true},
        {F::Srt, "srt", {".srt"}, R::Utf8ElseFromBytes, true},
        {F::Vtt, "vtt", {".vtt"}, R::Utf8, true},
        {F::Xliff, "xliff", {".xlf", ".xliff"}, R::Declared, true},
        {F::Android, "android", {}, R::Declared, true},
        {F::Strings, "strings", {".strings"}, R::Utf8ElseFromBytes, true},
        {F::Resx, "resx", {".resx"}, R::Declared, true},
        {F::Yaml, "yaml", {".yaml", ".yml"}, R::Utf8, true},
        {F::Html, "html", {".html", ".htm"}, R::Utf8ElseFromBytes, true},
        {F::Properties, "properties", {".properties"}, R::Utf8ElseLatin1, true},
    };
    return formats;
}

const FormatInfo& format_info(TextFormat format)
{
    for (const FormatInfo& info : text_formats())
        if (info.format == format) return info;
    return text_formats().front();
}

}  // namespace charlib
