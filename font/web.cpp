#include "font/web.h"

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
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "codec/utf.h"
#include "faces.h"
#include "output/output.h"
#include "web_pages.h"
#include "web_pieces.h"

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

// What pieces are cut from: the file's bytes and the face's number. A piece
// of another font would mix two designs in one line.
std::string font_identity(const Font& font)
{
    unsigned length = 0;
    const char* data = hb_blob_get_data(font.faces().blob, &length);
    char identity[48];
    std::snprintf(identity, sizeof identity, "fnv1a:%016llx#%u",
        static_cast<unsigned long long>(fnv1a(std::string_view(data, length))), font.face_index());
    return identity;
}

// Six hex digits of a piece's hash, more where another piece of the folder
// with other bytes has them.
std::string piece_name(std::uint64_t digest, const std::map<std::string, std::uint64_t>& taken)
{
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(digest));
    for (std::size_t digits = 6;; ++digits) {
        const std::string name = std::string(hex, digits) + ".woff2";
        const auto found = taken.find(name);
        if (digits == 16 || found == taken.end() || found->second == digest) return name;
    }
}

// The set's characters that need a glyph, most frequent first (ties in the
// set's order), each with its count.
std::vector<std::pair<char32_t, std::uint64_t>> by_frequency(const Tally& set)
{
    std::vector<std::pair<char32_t, std::uint64_t>> order;
    std::vector<bool> seen(0x110000);
    for (std::size_t i = 0; i < set.characters.size(); ++i) {
        const char32_t c = set.characters[i];
        if (c >= seen.size() || seen[c] || !needs_glyph(c)) continue;
        seen[c] = true;
        order.emplace_back(c, i < set.counts.size() ? set.counts[i] : 0);
    }
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return order;
}

const WebFaceRecord* earlier_face(const WebManifest& manifest, const WebFaceRecord& face)
{
    for (const WebFaceRecord& earlier : manifest.faces)
        if (earlier.stylesheet == face.stylesheet && earlier.family == face.family &&
            earlier.weight == face.weight && earlier.style == face.style)
            return &earlier;
    return nullptr;
}

// The earlier pieces of a face that stay, in their order, and the characters
// they hold: every one cut from the same font with the same features that
// holds a character of the set (with --web-all, every one), and the
// punctuation piece. The others go to `web.dropped`.
struct Staying {
    std::vector<WebPieceRecord> pieces;
    std::unordered_set<char32_t> held;
};

Staying pieces_that_stay(const Font& font, const WebFaceRecord* before, const WebFaceRecord& face,
    const WebFontOptions& options, const std::unordered_map<char32_t, std::uint64_t>& uses, WebFont& web)
{
    Staying staying;
    if (!before) return staying;
    const bool same_cut = before->font == face.font && before->features == face.features;
    if (!same_cut && !options.fresh)
        web.notes.push_back({Code::WebFontChanged,
            {{"path", font.path()}, {"family", face.family}, {"stylesheet", face.stylesheet}}});
    for (const WebPieceRecord& piece : before->pieces) {
        const bool used = std::any_of(
            piece.characters.begin(), piece.characters.end(), [&](char32_t c) { return uses.contains(c); });
        if (!same_cut || options.fresh || !(used || piece.punctuation || options.all)) {
            web.dropped.push_back(piece);
            continue;
        }
        staying.pieces.push_back(piece);
        staying.held.insert(piece.characters.begin(), piece.characters.end());
    }
    return staying;
}

}  // namespace

bool belongs_in_first_piece(char32_t c)
{
    return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF60) || (c >= 0xFE10 && c <= 0xFE1F) ||
        (c >= 0xFE30 && c <= 0xFE4F) || c == 0xB7 || c == 0x2014 || c == 0x2026 || c == 0x2018 || c == 0x2019 ||
        c == 0x201C || c == 0x201D || c == 0x20 || c == 0xA0 || c == 0xAD || (c >= 0x200B && c <= 0x200F) ||
        (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) || c == 0xFEFF;
}

WebFont make_web_font(const Font& font, const Tally& set, const WebFontOptions& options, const WebFolder& earlier)
{
    if (options.chunk_size == 0) throw Failure(Code::ZeroChunkSize, {{"path", font.path()}});
    const Style style = style_of(font);
    WebFaceRecord face{options.stylesheet, options.family.empty() ? font.family() : options.family, style.weight,
        style.style, font_identity(font), options.features, options.sample, {}};
    WebFont web;
    const std::vector<std::pair<char32_t, std::uint64_t>> frequent = by_frequency(set);
    std::unordered_map<char32_t, std::uint64_t> uses;
    for (const auto& [c, count] : frequent)
        uses.emplace(c, count);

    const WebFaceRecord* before = earlier_face(earlier.manifest, face);
    const Staying kept = pieces_that_stay(font, before, face, options, uses, web);
    const std::vector<WebPieceRecord>& staying = kept.pieces;
    const std::unordered_set<char32_t>& held = kept.held;
    const bool first_stays = std::any_of(
        staying.begin(), staying.end(), [](const WebPieceRecord& piece) { return piece.punctuation; });

    // What no staying piece holds: the punctuation the font has, the set, the rest of the font.
    std::u32string first, chosen, rest;
    FT_Face ft = font.faces().face;
    FT_UInt glyph = 0;
    if (!first_stays)
        for (FT_ULong c = FT_Get_First_Char(ft, &glyph); glyph != 0; c = FT_Get_Next_Char(ft, c, &glyph))
            if (belongs_in_first_piece(static_cast<char32_t>(c))) first += static_cast<char32_t>(c);
    bool any_in_font = false;
    for (const auto& [c, count] : frequent) {
        if (!font.has(c)) continue;
        any_in_font = true;
        if (!held.contains(c) && !belongs_in_first_piece(c)) chosen += c;
    }
    // Latin letters kern with each other, which works only within one file: they go
    // first, and take little room in the first of the set's pieces.
    std::stable_partition(chosen.begin(), chosen.end(), [](char32_t c) { return c < 0x250; });
    if (options.all) {
        for (FT_ULong c = FT_Get_First_Char(ft, &glyph); glyph != 0; c = FT_Get_Next_Char(ft, c, &glyph)) {
            const auto character = static_cast<char32_t>(c);
            if (!uses.contains(character) && !held.contains(character) && needs_glyph(character) &&
                !belongs_in_first_piece(character))
                rest += character;
        }
        std::stable_sort(rest.begin(), rest.end(), [](char32_t a, char32_t b) {
            return ublock_getCode(static_cast<UChar32>(a)) < ublock_getCode(static_cast<UChar32>(b));
        });
    }
    if (options.all ? first.empty() && rest.empty() && staying.empty() && !any_in_font : !any_in_font)
        throw Failure(options.all   ? Code::FontHasNoGlyphCharacters
                : !frequent.empty() ? Code::FontLacksEveryCharacter
                                    : Code::NoGlyphCharacters,
            {{"path", font.path()}});

    // Made now: the punctuation piece, the set's, the font's rest, and the staying ones whose files are gone.
    std::vector<std::u32string> cut;
    if (!first.empty()) cut.push_back(first);
    Cutter cutter(font, options);
    for (std::u32string& piece : cutter.cut(chosen))
        cut.push_back(std::move(piece));
    for (std::u32string& piece : cutter.cut(rest))
        cut.push_back(std::move(piece));
    const std::size_t new_pieces = cut.size();
    for (const WebPieceRecord& piece : staying)
        if (!earlier.intact.contains(piece.file)) cut.push_back(piece.characters);  // made again
    std::vector<std::string> compressed = compress(font, cut, options);

    // Names are unique in the folder: among every face's pieces and the files beside them.
    std::map<std::string, std::uint64_t> taken;
    for (const WebFaceRecord& other : earlier.manifest.faces)
        for (const WebPieceRecord& piece : other.pieces)
            taken.emplace(piece.file, piece.digest);
    for (const auto& [file, digest] : earlier.other_pieces)
        taken.emplace(file, digest);
    std::vector<WebFontPiece> made;
    for (std::size_t i = 0; i < cut.size(); ++i) {
        const std::uint64_t digest = fnv1a(compressed[i]);
        made.push_back({piece_name(digest, taken), std::move(cut[i]), std::move(compressed[i]), false, 0});
        taken[made.back().file] = digest;
    }

    // The stylesheet's order: the punctuation piece, those that stay as they were, the new ones.
    const auto add = [&](WebFontPiece piece, const WebPieceRecord* record, bool punctuation) {
        for (char32_t c : piece.characters)
            if (const auto found = uses.find(c); found != uses.end()) piece.used += found->second;
        face.pieces.push_back(record ? *record
                                     : WebPieceRecord{piece.file, piece.characters, piece.bytes.size(),
                                           fnv1a(piece.bytes), punctuation});
        web.pieces.push_back(std::move(piece));
    };
    if (!first.empty()) add(std::move(made.front()), nullptr, true);
    std::size_t next_restored = new_pieces;
    for (const WebPieceRecord& record : staying) {
        if (earlier.intact.contains(record.file)) {
            add({record.file, record.characters, {}, true, 0}, &record, record.punctuation);
        } else {
            web.notes.push_back({Code::WebPieceRestored, {{"path", record.file}}});
            add(std::move(made[next_restored++]), nullptr, record.punctuation);
        }
    }
    for (std::size_t i = first.empty() ? 0 : 1; i < new_pieces; ++i)
        add(std::move(made[i]), nullptr, false);
    for (std::size_t i = 1; i < web.pieces.size(); ++i)
        if (web.pieces[i].used > web.pieces[web.preload].used) web.preload = i;

    // The folder's manifest with this face in its place, or added.
    web.manifest = earlier.manifest;
    // Retired: what is dropped now, and what was before and is still in the folder, unless listed again.
    web.manifest.retired.clear();
    for (const std::string& file : earlier.manifest.retired)
        if (earlier.other_pieces.contains(file)) web.manifest.retired.insert(file);
    for (const WebPieceRecord& piece : web.dropped)
        web.manifest.retired.insert(piece.file);
    for (const WebFontPiece& piece : web.pieces)
        web.manifest.retired.erase(piece.file);
    if (before)
        web.manifest.faces[static_cast<std::size_t>(before - earlier.manifest.faces.data())] = std::move(face);
    else
        web.manifest.faces.push_back(std::move(face));
    web.stylesheet = options.stylesheet;
    web.css = stylesheet_css(web.manifest, options.stylesheet, options.url_prefix);
    web.check_page = check_page_name(options.stylesheet);
    web.html = check_page_html(web.manifest, options.stylesheet, options.words);
    return web;
}

}  // namespace charlib
