#include "base/ascii.h"
#include "formats/entries.h"
#include "formats/format_table.h"

#include <algorithm>
#include <utility>

#include "codec/utf.h"
#include "readers.h"

namespace charlib {

namespace {

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
    return std::string(format_info(format).name);
}

std::optional<TextFormat> text_format_named(std::string_view name)
{
    for (const FormatInfo& info : text_formats())
        if (info.name == name) return info.format;
    return std::nullopt;
}

std::optional<TextFormat> text_format_of(const std::filesystem::path& path, std::string_view head)
{
    const std::string extension = ascii_lower(path.extension().string());
    for (const FormatInfo& info : text_formats())
        if (info.format != TextFormat::Lines &&
            std::find(info.extensions.begin(), info.extensions.end(), extension) != info.extensions.end())
            return info.format;
    if (extension == ".xml") {
        // The encoding does not matter for the root's name unless it is UTF-16.
        std::string narrow;
        for (char c : head)
            if (c != '\0') narrow += c;
        const std::string root = root_element(narrow);
        for (const FormatInfo& info : text_formats())
            if (!info.xml_root.empty() && info.xml_root == root) return info.format;
    }
    return std::nullopt;
}

const std::vector<std::string>& known_patterns()
{
    static const std::vector<std::string> patterns = [] {
        std::vector<std::string> all;
        bool xml = false;
        for (const FormatInfo& info : text_formats()) {
            if (info.format == TextFormat::Lines) continue;
            for (const std::string_view extension : info.extensions)
                all.push_back("*" + std::string(extension));
            xml = xml || !info.xml_root.empty();
        }
        if (xml) all.push_back("*.xml");
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

// The file's text, decoded as its format's rule says: what the file
// declares, else -e, else a byte-order mark, else the rule's encodings.
formats::Decoded decoded_text(TextFormat format, const ByteSource& bytes, const EntryOptions& options)
{
    using namespace formats;
    const std::string head = first_bytes(bytes, std::size_t{1} << 20);
    const EncodingRule rule = format_info(format).encoding;
    if (rule == EncodingRule::Declared)
        return *decode_text(bytes, format_reading(format).declaration(head, options.encoding));
    if (options.encoding) return *decode_text(bytes, text_encoding(*options.encoding));
    if (const std::optional<TextEncoding> mark = byte_order_mark(head)) return *decode_text(bytes, *mark);
    const TextEncoding utf8 = text_encoding(Encoding::Utf8);
    if (rule == EncodingRule::Utf8) return *decode_text(bytes, utf8);
    if (rule != EncodingRule::FromBytes)
        if (std::optional<Decoded> valid = decode_text(bytes, utf8, true)) return std::move(*valid);
    if (rule == EncodingRule::Utf8ElseLatin1) return *decode_text(bytes, {std::nullopt, "ISO-8859-1"});
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

constexpr std::size_t kept = 30;

// A parser's reason quotes at most a little of the file: it may quote a whole
// token, and a token can be a megabyte long. What stands in quotes keeps its
// first and last 30 characters.
std::string shortened(std::string_view reason)
{
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

std::string formats::excerpt(std::string_view text)
{
    if (first_characters(text, 2 * kept + 1).size() == text.size()) return std::string(text);
    return std::string(first_characters(text, kept)) + "…" + std::string(last_characters(text, kept));
}

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
            throw malformed(
                Code::NulInText, lines.line(nul), lines.column(nul), {{"encoding", read.encoding}});
        }
        if (const Reader reader = format_reading(format).reader) {
            const std::string extension = ascii_lower(path.extension().string());
            Reading reading{options, extension, read};
            reader(text, reading, counted);
        }
    } catch (Failure& failure) {
        // The readers say where in the text; the file is named here.
        Outcome& outcome = failure.outcome();
        if (!outcome.find("path")) outcome.with("path", path);
        if (const Value* detail = outcome.find("detail"))
            outcome.with("detail", shortened(std::get<std::string>(*detail)));
        throw;
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
