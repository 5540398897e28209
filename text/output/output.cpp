#include "base/ascii.h"
#include "output/output.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <numeric>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "codec/code_page_936.h"
#include "codec/encodings.h"
#include "codec/utf.h"
#include "gb2312.h"

namespace charlib {

namespace {

// Characters of GB 2312 in the rows [first, last].
std::uint64_t gb2312_in_rows(unsigned first, unsigned last)
{
    std::uint64_t count = 0;
    for (unsigned lead = first; lead <= last; ++lead)
        for (unsigned trail = 0xA1; trail <= 0xFE; ++trail)
            count += in_gb2312(lead, trail);
    return count;
}

std::string hex4(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

// A character as counts and code tables write it: control characters by name.
std::u32string ascii(std::string_view text)
{
    return std::u32string(text.begin(), text.end());
}

std::u32string shown(char32_t c)
{
    return c < 0x20 || c == 0x7F ? ascii(code_point_name(c)) : std::u32string(1, c);
}

// An outcome as data: its code's id and its fields, so that the json says
// the same in every language. An errno is its number, a size its bytes.
nlohmann::ordered_json outcome_json(const Outcome& outcome)
{
    nlohmann::ordered_json json = {{"code", code_id(outcome.code)}};
    for (const Field& field : outcome.fields) {
        const std::string name(field.name);
        if (const auto* n = std::get_if<std::uint64_t>(&field.value))
            json[name] = *n;
        else if (const auto* i = std::get_if<std::int64_t>(&field.value))
            json[name] = *i;
        else if (const auto* s = std::get_if<std::string>(&field.value))
            json[name] = *s;
        else if (const auto* p = std::get_if<std::filesystem::path>(&field.value))
            json[name] = p->string();
        else if (const auto* c = std::get_if<char32_t>(&field.value))
            json[name] = code_point_name(*c);
        else if (const auto* b = std::get_if<Bytes>(&field.value))
            json[name] = b->count;
        else if (const auto* e = std::get_if<SystemError>(&field.value))
            json[name] = e->number;
    }
    return json;
}

nlohmann::ordered_json json_of(
    const Tally& tally, const std::vector<SourceReport>& sources, const FontFacts* font, const Places* places)
{
    using Json = nlohmann::ordered_json;
    Json json;
    json["sources"] = Json::array();
    for (const SourceReport& source : sources) {
        if (source.error) {
            json["sources"].push_back(
                {{"path", source.path.string()}, {"error", outcome_json(*source.error)}});
            continue;
        }
        Json first = Json::array();
        for (const InvalidSequence& place : source.facts.first_invalid)
            first.push_back({{"line", place.line}, {"byte", place.byte}});
        Json entry = {{"path", source.path.string()}, {"format", source.text_format},
            {"encoding", ascii_lower(encoding_name(source.encoding))}};
        if (source.encoding_reason) entry["encoding_reason"] = outcome_json(*source.encoding_reason);
        entry.update({{"bytes", source.facts.bytes}, {"lines", source.facts.lines},
            {"selected_lines", source.facts.selected_lines},
            {"invalid_sequences", {{"count", source.facts.invalid}, {"first", first}}}});
        json["sources"].push_back(entry);
    }
    json["characters"] = Json::array();
    for (std::size_t i = 0; i < tally.characters.size(); ++i) {
        Json character = {{"character", to_utf8(tally.characters.substr(i, 1))},
            {"code_point", code_point_name(tally.characters[i])}};
        if (!tally.counts.empty()) character["count"] = tally.counts[i];
        if (places) {
            const auto found = places->find(tally.characters[i]);
            if (found != places->end() && !found->second.empty()) {
                const Place& first = found->second.front();
                character["first"] = {
                    {"path", first.source.string()}, {"line", first.line}, {"column", first.column}};
                if (!first.key.empty()) character["first"]["key"] = first.key;
            }
        }
        json["characters"].push_back(character);
    }
    const Coverage found = coverage(tally.characters);
    Json outside = Json::array();
    for (char32_t c : found.outside)
        outside.push_back(code_point_name(c));
    json["coverage"] = {{"gb2312_level1", {{"present", found.level1}, {"of", found.level1_size}}},
        {"gb2312_level2", {{"present", found.level2}, {"of", found.level2_size}}},
        {"gb2312_other", found.gb2312_other}, {"single_byte", found.single_byte},
        {"gbk_beyond_gb2312", found.beyond_gb2312},
        {"outside_code_page_936", {{"count", found.outside.size()}, {"characters", outside}}}};
    if (!font) return json;
    const auto listed = [](std::u32string_view characters) {
        Json list = Json::array();
        for (char32_t c : characters)
            list.push_back(
                {{"character", to_utf8(std::u32string_view(&c, 1))}, {"code_point", code_point_name(c)}});
        return list;
    };
    json["font"] = {{"path", font->path}, {"face", font->face}, {"family", font->family},
        {"missing", listed(font->missing)}, {"blank", listed(font->blank)}};
    if (const std::optional<WebFacts>& web = font->web)
        json["font"]["web"] = {{"stylesheet", web->stylesheet}, {"paste", web->paste}, {"pieces", web->pieces},
            {"written", web->written}, {"dropped", web->dropped}};
    return json;
}

}  // namespace

Tally choose(Tally tally, const Choice& choice)
{
    const std::unordered_set<char32_t> excluded(choice.exclude.begin(), choice.exclude.end());
    const std::unordered_set<char32_t> added(choice.add.begin(), choice.add.end());
    // An empty text's counts are known: there are none.
    const bool counted = !tally.counts.empty() || tally.characters.empty();
    if (!added.empty()) {
        std::unordered_set<char32_t> present(tally.characters.begin(), tally.characters.end());
        for (char32_t c : choice.add)
            if (present.insert(c).second) {
                tally.characters += c;
                if (counted) tally.counts.push_back(0);
            }
    }
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < tally.characters.size(); ++i) {
        const char32_t c = tally.characters[i];
        if (excluded.count(c) || (choice.no_ascii && c < 0x80)) continue;
        if (choice.only && choice.only->find(c) == std::u32string::npos) continue;
        if (counted && tally.counts[i] < choice.min_count && !added.count(c)) continue;
        kept.push_back(i);
    }
    if (choice.order == Order::Code)
        std::sort(kept.begin(), kept.end(),
            [&](std::size_t a, std::size_t b) { return tally.characters[a] < tally.characters[b]; });
    if (choice.order == Order::Frequency && counted)
        std::stable_sort(kept.begin(), kept.end(),
            [&](std::size_t a, std::size_t b) { return tally.counts[a] > tally.counts[b]; });
    Tally chosen;
    for (std::size_t i : kept) {
        chosen.characters += tally.characters[i];
        if (counted) chosen.counts.push_back(tally.counts[i]);
    }
    return chosen;
}

Coverage coverage(std::u32string_view characters)
{
    static const std::uint64_t level1_size = gb2312_in_rows(0xB0, 0xD7);
    static const std::uint64_t level2_size = gb2312_in_rows(0xD8, 0xF7);
    Coverage found;
    found.level1_size = level1_size;
    found.level2_size = level2_size;
    for (char32_t c : characters) {
        const std::string bytes = code_page_bytes(c);
        if (bytes.empty()) {
            found.outside += c;
            continue;
        }
        if (bytes.size() == 1) {
            ++found.single_byte;
            continue;
        }
        const auto lead = static_cast<unsigned char>(bytes[0]), trail = static_cast<unsigned char>(bytes[1]);
        if (!in_gb2312(lead, trail))
            ++found.beyond_gb2312;
        else if (lead >= 0xB0 && lead <= 0xD7)
            ++found.level1;
        else if (lead >= 0xD8 && lead <= 0xF7)
            ++found.level2;
        else
            ++found.gb2312_other;
    }
    return found;
}

std::string unicode_range(std::u32string characters)
{
    std::sort(characters.begin(), characters.end());
    std::string ranges;
    for (std::size_t i = 0; i < characters.size();) {
        std::size_t j = i;
        while (j + 1 < characters.size() && characters[j + 1] == characters[j] + 1)
            ++j;
        ranges += (ranges.empty() ? "" : ",") + code_point_name(characters[i]);
        if (j > i) ranges += "-" + hex4(characters[j]);
        i = j + 1;
    }
    return ranges;
}

std::u32string format_characters(
    const Tally& tally, Format format, std::u32string_view line_end, unsigned tbl_start)
{
    std::u32string text;
    switch (format) {
    case Format::Text: return tally.characters + std::u32string(line_end);
    case Format::UnicodeRange: return ascii(unicode_range(tally.characters)) + std::u32string(line_end);
    case Format::Json:
        return from_utf8(format_json(tally, {}, nullptr)).value_or(U"") + std::u32string(line_end);
    case Format::Where: return format_where(tally, {}, 0, line_end);
    case Format::Counts:
        for (std::size_t i = 0; i < tally.characters.size(); ++i)
            text += shown(tally.characters[i]) + U"\t" +
                ascii(std::to_string(tally.counts.empty() ? 0 : tally.counts[i])) + std::u32string(line_end);
        return text;
    case Format::Tbl:
        for (std::size_t i = 0; i < tally.characters.size(); ++i)
            text += ascii(hex4(tbl_start + static_cast<unsigned>(i))) + U"=" + shown(tally.characters[i]) +
                std::u32string(line_end);
        return text;
    }
    return text;
}

std::string format_json(
    const Tally& tally, const std::vector<SourceReport>& sources, const FontFacts* font, const Places* places)
{
    return json_of(tally, sources, font, places)
        .dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string place_name(const Place& place)
{
    return place.source.string() + ":" + std::to_string(place.line) + ":" + std::to_string(place.column);
}

std::u32string format_where(
    const Tally& tally, const Places& places, std::size_t most, std::u32string_view line_end)
{
    std::u32string text;
    for (char32_t c : tally.characters) {
        const auto found = places.find(c);
        if (found == places.end()) continue;
        const std::vector<Place>& list = found->second;
        for (std::size_t i = 0; i < list.size() && i < most; ++i) {
            std::u32string context = list[i].context;
            // One place a line: the context's own tabs and line ends would split it.
            std::replace_if(
                context.begin(), context.end(),
                [](char32_t k) { return k == U'\t' || k == U'\n' || k == U'\r'; }, U' ');
            text += shown(c) + U"\t" + ascii(code_point_name(c)) + U"\t" +
                from_utf8(place_name(list[i])).value_or(U"?") + U"\t" +
                from_utf8(list[i].key).value_or(U"?") + U"\t“" + context + U"”" + std::u32string(line_end);
        }
    }
    return text;
}

}  // namespace charlib
