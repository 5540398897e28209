#include "font/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <unicode/uchar.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>
#include <set>
#include <thread>

#include "codec/utf.h"
#include "escape.h"
#include "faces.h"
#include "output/output.h"

namespace charlib {

namespace {

// Cutting measures each candidate piece with a quick WOFF2: Brotli at quality
// 5 takes about a hundredth of the time of quality 11, and what 11 makes is a
// steady share of it (0.90 to 0.95 on WenQuanYi Micro Hei and Noto Sans CJK).
constexpr int probe_quality = 5;
constexpr double final_per_probe = 0.93;
// A probe this close to the target ends the search for a piece's end.
constexpr double close_enough = 0.05;
constexpr int probes_a_piece = 6;

// How much outline a character brings, in FreeType's points and contours
// (composite glyphs and CFF subroutines resolved), plus a little for its
// entries in the other tables.
double outline_weight(const Font& font, char32_t c)
{
    FT_Face face = font.faces().face;
    constexpr double entries = 4;
    if (FT_Load_Glyph(face, FT_Get_Char_Index(face, c),
            FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return entries;
    return entries + face->glyph->outline.n_points + face->glyph->outline.n_contours;
}

// Cuts runs of characters into pieces whose WOFF2 comes near the target: the
// outline weights propose where a piece ends, quick probes of the real subset
// (which sees the glyphs layout features pull in) correct it, and the bytes
// a unit of weight costs carry on from piece to piece.
class Cutter {
public:
    Cutter(const Font& font, const WebFontOptions& options) :
        font_(font),
        options_(options),
        target_(static_cast<double>(options.chunk_size))
    {
        try {
            overhead_ = probe(U"");  // the tables and .notdef every piece carries
        } catch (const Failure&) {
            overhead_ = 0;
        }
    }

    std::vector<std::u32string> cut(const std::u32string& run)
    {
        std::vector<double> sum(run.size() + 1);  // weights of run[0, i)
        for (std::size_t i = 0; i < run.size(); ++i)
            sum[i + 1] = sum[i] + outline_weight(font_, run[i]);
        std::vector<std::u32string> pieces;
        for (std::size_t start = 0; start < run.size();) {
            // The first end after start whose weight reaches the goal.
            const auto end_at = [&](double goal) {
                const auto found = std::lower_bound(
                    sum.begin() + static_cast<std::ptrdiff_t>(start) + 1, sum.end(), sum[start] + goal);
                return std::min(static_cast<std::size_t>(found - sum.begin()), run.size());
            };
            // Ends known to make the piece too small and too large.
            std::size_t small = start, large = run.size() + 1;
            // The last probe, at first that of an empty piece.
            double last_weight = 0, last_size = overhead_;
            std::size_t end = end_at(std::max(target_ - overhead_, 0.0) / bytes_per_weight_), best_end = end;
            double best_miss = INFINITY, best_size = 0;
            std::set<std::size_t> probed;
            for (int n = 0; n < probes_a_piece && probed.insert(end).second; ++n) {
                const double size = probe(std::u32string_view(run).substr(start, end - start));
                if (std::abs(size - target_) < best_miss) {
                    best_miss = std::abs(size - target_);
                    best_end = end;
                    best_size = size;
                }
                if (best_miss <= close_enough * target_ || (end == run.size() && size < target_)) break;
                (size < target_ ? small : large) = end;
                if (small + 1 >= large) break;
                // The secant through the last two probes: the size grows
                // slower than the weight where glyphs share components.
                const double weight = sum[end] - sum[start];
                const double slope = (size - last_size) / (weight - last_weight);
                last_weight = weight;
                last_size = size;
                const double goal = slope > 0 ? weight + (target_ - size) / slope : weight * target_ / size;
                end = std::clamp(end_at(goal), small + 1, large - 1);
            }
            bytes_per_weight_ =
                std::max(best_size - overhead_, 1.0) / std::max(sum[best_end] - sum[start], 1.0);
            pieces.push_back(run.substr(start, best_end - start));
            start = best_end;
        }
        return pieces;
    }

private:
    double probe(std::u32string_view characters) const
    {
        const FontData sfnt = subset_font(font_, characters, false, options_.layout_features);
        return static_cast<double>(woff2_from_sfnt(font_, sfnt.bytes(), probe_quality).size()) *
            final_per_probe;
    }

    const Font& font_;
    const WebFontOptions& options_;
    double target_;
    double overhead_ = 0;
    double bytes_per_weight_ = 2.5;  // about right for CJK outlines; the first probe corrects it
};

// Each piece as WOFF2, side by side on the threads.
std::vector<std::string> compress(
    const Font& font, const std::vector<std::u32string>& pieces, const WebFontOptions& options)
{
    std::vector<std::string> compressed(pieces.size());
    std::atomic<std::size_t> next = 0;
    std::mutex finishing;
    std::size_t done = 0;
    std::exception_ptr failure;
    const auto work = [&] {
        for (std::size_t i; (i = next++) < pieces.size();) {
            try {
                compressed[i] = subset_font(font, pieces[i], true, options.layout_features).bytes();
                const std::lock_guard<std::mutex> lock(finishing);
                ++done;
                if (options.progress && !failure) options.progress(done, pieces.size());
            } catch (...) {
                const std::lock_guard<std::mutex> lock(finishing);
                if (!failure) failure = std::current_exception();
                next = pieces.size();
            }
        }
    };
    unsigned threads = options.threads ? options.threads : std::thread::hardware_concurrency();
    threads = static_cast<unsigned>(std::clamp<std::size_t>(threads, 1, pieces.size()));
    if (threads == 1) {
        work();
    } else {
        std::vector<std::jthread> workers;
        for (unsigned i = 0; i < threads; ++i)
            workers.emplace_back(work);
    }
    if (failure) std::rethrow_exception(failure);
    return compressed;
}

// 64-bit FNV-1a.
std::uint64_t fnv1a(std::string_view bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 0x100000001b3;
    return hash;
}

// Six hex digits of each piece's hash, more for all when two pieces share them.
void name_pieces(std::vector<WebFontPiece>& pieces)
{
    std::vector<std::string> hashes;
    for (const WebFontPiece& piece : pieces) {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a(piece.bytes)));
        hashes.emplace_back(hex);
    }
    std::size_t digits = 6;
    for (; digits < 16; ++digits) {
        std::set<std::string> names;
        for (const std::string& hash : hashes)
            names.insert(hash.substr(0, digits));
        if (names.size() == hashes.size()) break;
    }
    for (std::size_t i = 0; i < pieces.size(); ++i)
        pieces[i].file = hashes[i].substr(0, digits) + ".woff2";
}


// A CSS string; "<" escaped too, so that the name cannot end the page's <style>.
std::string css_string(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte == 0x7F || c == '<') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%x ", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}



struct Style {
    const char* style = "normal";
    unsigned weight = 400;
};

Style style_of(const Font& font)
{
    FT_Face face = font.faces().face;
    Style style;
    if (face->style_flags & FT_STYLE_FLAG_ITALIC) style.style = "italic";
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWeightClass >= 1 && os2->usWeightClass <= 1000)
        style.weight = os2->usWeightClass;
    else if (face->style_flags & FT_STYLE_FLAG_BOLD)
        style.weight = 700;
    return style;
}

std::string css_of(const std::vector<WebFontPiece>& pieces, const std::string& family, const Style& style)
{
    std::string css;
    for (const WebFontPiece& piece : pieces)
        css += "@font-face {\n  font-family: " + css_string(family) + ";\n  font-style: " + style.style +
            ";\n  font-weight: " + std::to_string(style.weight) + ";\n  font-display: swap;\n  src: url(\"" +
            piece.file + "\") format(\"woff2\");\n  unicode-range: " + unicode_range(piece.characters) +
            ";\n}\n";
    return css;
}

// The first characters in paragraphs, in the font; the name above them in the
// browser's own font, so that the page asks for no piece the sample does not need.
std::string html_of(std::u32string_view sample, const std::string& family, const Style& style)
{
    constexpr std::size_t shown = 300, paragraph = 60;
    sample = sample.substr(0, shown);
    const std::string name = xml_escaped(family);
    std::string html = "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    html += "<title>" + name + "</title>\n<link rel=\"stylesheet\" href=\"font.css\">\n<style>\n";
    html += "body { font-family: " + css_string(family) + "; font-style: " + style.style +
        "; font-weight: " + std::to_string(style.weight) +
        "; font-size: 24px; line-height: 1.6; margin: 2em; }\n";
    html += "h1 { font: normal 16px sans-serif; color: #666; }\n</style>\n</head>\n<body>\n";
    html += "<h1>" + name + "</h1>\n";
    for (std::size_t at = 0; at < sample.size(); at += paragraph)
        html += "<p>" + xml_escaped(to_utf8(sample.substr(at, paragraph))) + "</p>\n";
    return html + "</body>\n</html>\n";
}

}  // namespace

WebFont make_web_font(const Font& font, std::u32string_view characters, const WebFontOptions& options)
{
    if (options.chunk_size == 0) throw Failure(Code::ZeroChunkSize, {{"path", font.path()}});
    std::u32string chosen;  // most frequent first, each once
    std::vector<bool> seen(0x110000);
    bool any_needing_glyph = false;
    for (const char32_t c : characters) {
        if (c >= seen.size() || !needs_glyph(c) || seen[c]) continue;
        any_needing_glyph = true;
        seen[c] = true;
        if (font.has(c)) chosen += c;
    }
    std::u32string rest;
    if (options.all) {
        FT_Face face = font.faces().face;
        FT_UInt glyph = 0;
        for (FT_ULong c = FT_Get_First_Char(face, &glyph); glyph != 0; c = FT_Get_Next_Char(face, c, &glyph))
            if (c < seen.size() && !seen[c] && needs_glyph(static_cast<char32_t>(c)))
                rest += static_cast<char32_t>(c);
        std::stable_sort(rest.begin(), rest.end(), [](char32_t a, char32_t b) {
            return ublock_getCode(static_cast<UChar32>(a)) < ublock_getCode(static_cast<UChar32>(b));
        });
    }
    if (chosen.empty() && rest.empty())
        throw Failure(options.all   ? Code::FontHasNoGlyphCharacters
                : any_needing_glyph ? Code::FontLacksEveryCharacter
                                    : Code::NoGlyphCharacters,
            {{"path", font.path()}});

    Cutter cutter(font, options);
    std::vector<std::u32string> cut = cutter.cut(chosen);
    for (std::u32string& piece : cutter.cut(rest))
        cut.push_back(std::move(piece));
    std::vector<std::string> compressed = compress(font, cut, options);

    WebFont web;
    for (std::size_t i = 0; i < cut.size(); ++i)
        web.pieces.push_back({"", std::move(cut[i]), std::move(compressed[i])});
    name_pieces(web.pieces);
    const std::string family = options.family.empty() ? font.family() : options.family;
    const Style style = style_of(font);
    web.css = css_of(web.pieces, family, style);
    web.html = html_of(chosen.empty() ? rest : chosen, family, style);
    return web;
}

}  // namespace charlib
