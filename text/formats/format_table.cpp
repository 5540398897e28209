// The one table of text formats: to add a format, add its row here (and its
// TextFormat value); -t, -t auto, -r's patterns, the help, read_entries and
// the fuzzer take it from this row.
#include "formats/format_table.h"

#include "readers.h"

// Marks an English text for the catalog (xgettext reads N_ here too); the
// front ends translate it where they show it.
#ifndef N_
#define N_(text) text
#endif

namespace charlib {

namespace formats {

namespace {

struct Format {
    FormatInfo info;
    FormatReading reading;
};

const std::vector<Format>& formats()
{
    using F = TextFormat;
    using R = EncodingRule;
    static const std::vector<Format> all = {
        {{F::Lines, "lines", {".txt"}, R::FromBytes, false, N_("plain text: every line")}, {}},
        {{F::Po, "po", {".po", ".pot"}, R::Declared, true, N_("gettext PO and POT: the msgstr texts")},
            {[](std::string_view text, Reading& reading, const EntrySink& sink) {
                 read_po(text, reading.extension == ".pot", sink);
             },
                po_encoding}},
        {{F::Json, "json", {".json", ".arb"}, R::Utf8, true,
             N_("JSON and Flutter's .arb: every string value")},
            {[](std::string_view text, Reading& reading, const EntrySink& sink) {
                read_json(text, reading.extension == ".arb", sink);
            }}},
        {{F::Csv, "csv", {".csv"}, R::Utf8ElseFromBytes, true,
             N_("CSV spreadsheets: the cells after the header, but the key column's")},
            {[](std::string_view text, Reading& reading, const EntrySink& sink) {
                reading.read.key_column = read_csv(text, ',', reading.options, sink);
            }}},
        {{F::Tsv, "tsv", {".tsv"}, R::Utf8ElseFromBytes, true,
             N_("TSV spreadsheets: the cells after the header, but the key column's")},
            {[](std::string_view text, Reading& reading, const EntrySink& sink) {
                reading.read.key_column = read_csv(text, '\t', reading.options, sink);
            }}},
        {{F::Srt, "srt", {".srt"}, R::Utf8ElseFromBytes, true, N_("SubRip subtitles: the cues' text")},
            {[](std::string_view text, Reading& reading, const EntrySink& sink) {
                reading.read.unreadable_cues = read_srt(text, sink);
            }}},
        {{F::Vtt, "vtt", {".vtt"}, R::Utf8, true, N_("WebVTT subtitles: the cues' text")},
            {[](std::string_view text, Reading& reading, const EntrySink& sink) {
                reading.read.unreadable_cues = read_vtt(text, sink);
            }}},
        {{F::Xliff, "xliff", {".xlf", ".xliff"}, R::Declared, true,
             N_("XLIFF 1.2 and 2.0: each unit's target (or source)"), "xliff"},
            {[](std::string_view text, Reading& reading, const EntrySink& sink) {
                 read_xliff(text, reading.options.xliff_source, sink);
             },
                xml_encoding}},
        {{F::Android, "android", {}, R::Declared, true,
             N_("Android's strings.xml: strings, plurals and string arrays"), "resources"},
            {[](std::string_view text, Reading&, const EntrySink& sink) { read_android(text, sink); },
                xml_encoding}},
        {{F::Strings, "strings", {".strings"}, R::Utf8ElseFromBytes, true,
             N_("Apple's .strings: the values")},
            {[](std::string_view text, Reading&, const EntrySink& sink) { read_strings(text, sink); }}},
        {{F::Resx, "resx", {".resx"}, R::Declared, true, N_(".NET's .resx: the string values"), "root"},
            {[](std::string_view text, Reading&, const EntrySink& sink) { read_resx(text, sink); },
                xml_encoding}},
        {{F::Yaml, "yaml", {".yaml", ".yml"}, R::Utf8, true, N_("YAML: every string value")},
            {[](std::string_view text, Reading&, const EntrySink& sink) { read_yaml(text, sink); }}},
        {{F::Html, "html", {".html", ".htm"}, R::Utf8ElseFromBytes, true,
             N_("HTML: the text, the title and the alt, title, placeholder and aria-label attributes")},
            {[](std::string_view text, Reading&, const EntrySink& sink) { read_html(text, sink); }}},
        {{F::Properties, "properties", {".properties"}, R::Utf8ElseLatin1, true,
             N_("Java's .properties: the values")},
            {[](std::string_view text, Reading&, const EntrySink& sink) { read_properties(text, sink); }}},
    };
    return all;
}

const Format& format_row(TextFormat format)
{
    for (const Format& row : formats())
        if (row.info.format == format) return row;
    return formats().front();
}

}  // namespace

const FormatReading& format_reading(TextFormat format)
{
    return format_row(format).reading;
}

}  // namespace formats

const std::vector<FormatInfo>& text_formats()
{
    static const std::vector<FormatInfo> infos = [] {
        std::vector<FormatInfo> all;
        for (const formats::Format& row : formats::formats())
            all.push_back(row.info);
        return all;
    }();
    return infos;
}

const FormatInfo& format_info(TextFormat format)
{
    return formats::format_row(format).info;
}

}  // namespace charlib
