#include "formats/entries.h"

#include <algorithm>
#include <array>
#include <utility>

#include "base/error.h"
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

EntriesRead read_entries(
    TextFormat format, std::string_view bytes, const std::filesystem::path& path, const EntryOptions& options)
{
    using namespace formats;
    EntriesRead read;
    try {
        switch (format) {
        case TextFormat::Po:
            read.entries =
                read_po(bytes, options.encoding, lower(path.extension().string()) == ".pot", read.encoding);
            break;
        case TextFormat::Xliff:
            read.entries = read_xliff(bytes, options.encoding, options.xliff_source, read.encoding);
            break;
        case TextFormat::Android: read.entries = read_android(bytes, options.encoding, read.encoding); break;
        case TextFormat::Resx: read.entries = read_resx(bytes, options.encoding, read.encoding); break;
        default: {
            // A byte-order mark or -e decides; else what was detected. Java
            // reads .properties resource bundles as UTF-8 when they are valid
            // UTF-8, else as ISO-8859-1.
            Decoded decoded;
            const std::optional<Encoding> mark = byte_order_mark(bytes);
            if (format == TextFormat::Properties && !options.encoding && !mark && !from_utf8(bytes))
                decoded = *decode_named(bytes, "ISO-8859-1");
            else if (format == TextFormat::Properties && !options.encoding && !mark)
                decoded = decode_text(bytes, Encoding::Utf8);
            else
                decoded = decode_text(bytes,
                    options.encoding ? *options.encoding
                        : mark       ? *mark
                                     : options.detected);
            read.encoding = decoded.encoding;
            read.invalid = decoded.invalid;
            const std::string_view text = decoded.text;
            switch (format) {
            case TextFormat::Json:
                read.entries = read_json(text, lower(path.extension().string()) == ".arb");
                break;
            case TextFormat::Csv: read.entries = read_csv(text, ',', options.columns); break;
            case TextFormat::Tsv: read.entries = read_csv(text, '\t', options.columns); break;
            case TextFormat::Yaml: read.entries = read_yaml(text); break;
            case TextFormat::Strings: read.entries = read_strings(text); break;
            case TextFormat::Properties: read.entries = read_properties(text); break;
            case TextFormat::Srt: read.entries = read_srt(text); break;
            case TextFormat::Vtt: read.entries = read_vtt(text); break;
            case TextFormat::Html: read.entries = read_html(text); break;
            default: break;
            }
        }
        }
        // The readers that decode for themselves leave U+FFFD where the bytes were invalid.
        if (format == TextFormat::Po || format == TextFormat::Xliff || format == TextFormat::Android ||
            format == TextFormat::Resx)
            for (const Entry& entry : read.entries)
                read.invalid +=
                    static_cast<std::uint64_t>(std::count(entry.text.begin(), entry.text.end(), U'\uFFFD'));
    } catch (const Malformed& malformed) {
        throw FileError(FileError::Action::Parse, path, 0,
            "第 " + std::to_string(malformed.line) + " 行第 " + std::to_string(malformed.column) + " 列：" +
                malformed.what());
    }
    if (read.invalid > 0)
        read.warnings.push_back("注意：“" + path.string() + "”有 " + std::to_string(read.invalid) +
            " 处无效字节序列（按 " + read.encoding + " 读取），已记为 U+FFFD");
    return read;
}

}  // namespace charlib
