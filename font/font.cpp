#include "font/font.h"

#include <hb-subset.h>
#include <sys/mman.h>
#include <woff2/encode.h>

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "files/input_file.h"
#include "faces.h"

namespace charlib {

namespace {

// OpenType reaches its tables by 32-bit offsets, so no font exceeds 4 GiB,
// and the largest made (pan-CJK collections, colour emoji) stay in the low
// hundreds of MB. A larger file is not a font: refused before it is read
// into memory.
constexpr std::uint64_t largest_font = std::uint64_t{1} << 30;

struct Free {
    void operator()(char* bytes) const { std::free(bytes); }
};

// Room for a whole font. Every 4 KiB page of fresh memory costs a page fault
// when first written, and on a virtual machine the faults cost more than the
// copy itself: in huge pages (2 MiB) a 20 MB font was read in 4 ms, not 60.
std::unique_ptr<char, Free> font_buffer(std::size_t size)
{
    constexpr std::size_t huge_page = std::size_t{2} << 20;
    if (size < huge_page) return std::unique_ptr<char, Free>(static_cast<char*>(std::malloc(size + 1)));
    const std::size_t rounded = (size + huge_page - 1) / huge_page * huge_page;
    std::unique_ptr<char, Free> buffer(static_cast<char*>(std::aligned_alloc(huge_page, rounded)));
    if (buffer) ::madvise(buffer.get(), rounded, MADV_HUGEPAGE);  // a hint: without it, small pages
    return buffer;
}

// A file whose size the system does not know, read to its end.
hb_blob_t* read_unsized_font(InputFile& file, const std::filesystem::path& path)
{
    auto bytes = std::make_unique<std::string>();
    constexpr std::size_t piece = std::size_t{1} << 16;
    for (std::size_t count = piece; count > 0;) {
        const std::size_t at = bytes->size();
        bytes->resize(at + piece);
        count = file.read(bytes->data() + at, piece);
        bytes->resize(at + count);
        if (bytes->size() > largest_font)
            throw Failure(Code::FontTooLarge, {{"path", path}, {"limit", Bytes{largest_font}}});
    }
    std::string* owned = bytes.release();
    return hb_blob_create(owned->data(), static_cast<unsigned>(owned->size()), HB_MEMORY_MODE_READONLY, owned,
        [](void* text) { delete static_cast<std::string*>(text); });
}

// The whole file as a blob, read at the size it has when opened: a file that
// grows meanwhile is cut there, one that shrinks ends early (and will not
// parse). A file that says it is empty is read to its end: the kernel's
// files under /proc say so.
hb_blob_t* read_font(const std::filesystem::path& path)
{
    InputFile file(path);
    const std::uint64_t length = file.size();
    if (length > largest_font)
        throw Failure(Code::FontTooLarge,
            {{"path", path}, {"limit", Bytes{largest_font}}, {"size", Bytes{length}}});
    if (length == 0) return read_unsized_font(file, path);
    std::unique_ptr<char, Free> data = font_buffer(static_cast<std::size_t>(length));
    if (!data) throw std::bad_alloc();
    std::size_t size = 0;
    while (size < length) {
        const std::size_t count = file.read(data.get() + size, static_cast<std::size_t>(length) - size);
        if (count == 0) break;
        size += count;
    }
    char* bytes = data.release();
    return hb_blob_create(bytes, static_cast<unsigned>(size), HB_MEMORY_MODE_READONLY, bytes,
        [](void* owned) { std::free(owned); });
}

// A face only FreeType reads (Type 1, BDF...), named as FreeType names it.
FaceName named_by_freetype(FT_Face face)
{
    FaceName named{
        face->family_name ? face->family_name : "", face->style_name ? face->style_name : "", {}, {}, false};
    named.names = {named.family, named.family + " " + named.style};
    return named;
}

}  // namespace

std::vector<FaceName> face_names_of(const std::filesystem::path& path)
{
    hb_blob_t* blob = read_font(path);
    std::vector<FaceName> names = read_face_names(blob);
    hb_blob_destroy(blob);
    if (!names.empty()) return names;
    const Font font(path, 0);  // what FreeType alone reads has one face, named by FreeType
    return font.face_names();
}

Font::Font(const std::filesystem::path& path, unsigned face) : Font(path, FaceChoice{face, {}})
{
}

Font::Font(const std::filesystem::path& path, const FaceChoice& choice) :
    path_(path),
    faces_(std::make_unique<Faces>())
{
    Faces& faces = *faces_;
    faces.blob = read_font(path);
    unsigned size = 0;
    const char* data = hb_blob_get_data(faces.blob, &size);
    // HarfBuzz counts the faces of a font or collection from its header alone;
    // none for what only FreeType reads (Type 1, BDF...) or not a font at all.
    face_names_ = read_face_names(faces.blob);
    const std::size_t count = face_names_.size();
    const unsigned face = chosen_face(path, face_names_, choice);
    faces.index = face;
    if (FT_Init_FreeType(&faces.library) != 0) throw std::bad_alloc();  // its one way to fail
    // Above 0xFFFF FreeType would take the index for a named instance of a variable font.
    if (face > 0xFFFF ||
        FT_New_Memory_Face(faces.library, reinterpret_cast<const FT_Byte*>(data), static_cast<FT_Long>(size),
            static_cast<FT_Long>(face), &faces.face) != 0) {
        if (count == 0) throw Failure(Code::NotAFont, {{"path", path}});
        if (count == 1) throw Failure(Code::DamagedFont, {{"path", path}});
        throw Failure(Code::DamagedFace, {{"path", path}, {"face", std::uint64_t{face}}});
    }
    if (count == 0) {
        face_names_.push_back(named_by_freetype(faces.face));
        if (!choice.index && !choice.name.empty()) chosen_face(path, face_names_, choice);
    }
    if (FT_Select_Charmap(faces.face, FT_ENCODING_UNICODE) != 0)
        throw Failure(Code::NoUnicodeCmap, {{"path", path}});
    faces.shaping = hb_face_create(faces.blob, face);
}

Font::~Font() = default;

unsigned Font::face_index() const
{
    return faces_->index;
}

std::string Font::family() const
{
    const char* family = faces_->face->family_name;
    return family ? family : path_.stem().string();
}

bool Font::has(char32_t c) const
{
    return FT_Get_Char_Index(faces_->face, c) != 0;
}

std::u32string Font::missing(std::u32string_view characters) const
{
    std::u32string lacking;
    for (char32_t c : characters)
        if (needs_glyph(c) && !has(c)) lacking += c;
    return lacking;
}

namespace {

bool has_table(hb_face_t* face, hb_tag_t tag)
{
    hb_blob_t* table = hb_face_reference_table(face, tag);
    const bool found = hb_blob_get_length(table) > 0;
    hb_blob_destroy(table);
    return found;
}

// Characters a font draws as nothing on purpose: the spaces, the format
// characters but those that stand before numbers (the Arabic number sign),
// and the blank Braille pattern.
bool meant_blank(char32_t c)
{
    const auto code = static_cast<UChar32>(c);
    const bool format = u_charType(code) == U_FORMAT_CHAR &&
        !u_hasBinaryProperty(code, UCHAR_PREPENDED_CONCATENATION_MARK);
    return u_isUWhiteSpace(code) || format || c == U'\u2800';
}

// Whether FreeType, which reads every outline format, finds nothing to draw.
// Bitmap and colour glyphs are drawn from tables an outline does not show:
// they are taken as drawn.
bool draws_nothing(FT_Face face, FT_UInt glyph)
{
    if (!FT_IS_SCALABLE(face) || FT_HAS_COLOR(face)) return false;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return true;
    return face->glyph->format == FT_GLYPH_FORMAT_OUTLINE && face->glyph->outline.n_points == 0;
}

}  // namespace

std::u32string Font::blank(std::u32string_view characters) const
{
    // HarfBuzz measures a glyph from its header alone, in a fraction of the
    // time FreeType takes to load it; FreeType has the last word on a glyph
    // that HarfBuzz finds no ink in or cannot read.
    const std::unique_ptr<hb_font_t, void (*)(hb_font_t*)> measuring(
        hb_font_create(faces_->shaping), hb_font_destroy);
    std::u32string empty;
    for (char32_t c : characters) {
        if (!needs_glyph(c) || meant_blank(c)) continue;
        const FT_UInt glyph = FT_Get_Char_Index(faces_->face, c);
        if (glyph == 0) continue;  // missing, not blank
        hb_glyph_extents_t extents{};
        const bool inked = hb_font_get_glyph_extents(measuring.get(), glyph, &extents) &&
            extents.width != 0 && extents.height != 0;
        if (!inked && draws_nothing(faces_->face, glyph)) empty += c;
    }
    return empty;
}

bool Font::has_cff_outlines() const
{
    return has_table(faces_->shaping, HB_TAG('C', 'F', 'F', ' ')) ||
        has_table(faces_->shaping, HB_TAG('C', 'F', 'F', '2'));
}

bool needs_glyph(char32_t c)
{
    const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
    return !control && !u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
}

std::optional<Outcome> parse_layout_features(std::string_view list, std::vector<LayoutFeatureChange>& changes)
{
    std::vector<LayoutFeatureChange> read;
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find_first_of(", ", at), list.size());
        const std::string_view item = list.substr(at, end - at);
        at = end + 1;
        if (item.empty()) continue;
        LayoutFeatureChange change;
        std::string_view tag = item;
        if (tag[0] == '+' || tag[0] == '-') {
            change.keep = tag[0] == '+';
            tag.remove_prefix(1);
        }
        const bool printable =
            std::all_of(tag.begin(), tag.end(), [](char c) { return c > ' ' && c < 0x7F; });
        if (tag.empty() || tag.size() > 4 || !printable)
            return Outcome(Code::BadFeatureTag, {{"tag", std::string(item)}});
        change.tag = tag;
        read.push_back(std::move(change));
    }
    if (read.empty()) return Outcome(Code::NoFeatureTags);
    changes = std::move(read);
    return std::nullopt;
}

FontData::FontData(std::string bytes)
{
    const auto held = std::make_shared<const std::string>(std::move(bytes));
    bytes_ = *held;
    owner_ = held;
}

FontData subset_font(const Font& font, std::u32string_view characters, bool woff2,
    const std::vector<LayoutFeatureChange>& features)
{
    hb_subset_input_t* input = hb_subset_input_create_or_fail();
    if (!input) throw std::bad_alloc();
    hb_set_t* unicodes = hb_subset_input_unicode_set(input);
    for (char32_t c : characters)
        hb_set_add(unicodes, c);
    // Without them browsers space CJK punctuation and set vertical text
    // differently from the full font.
    hb_set_t* kept = hb_subset_input_set(input, HB_SUBSET_SETS_LAYOUT_FEATURE_TAG);
    for (const char* tag :
        {"halt", "vhal", "palt", "vpal", "chws", "vchw", "vert", "vrt2", "locl", "ccmp", "kern", "vkrn"})
        hb_set_add(kept, hb_tag_from_string(tag, 4));
    for (const LayoutFeatureChange& change : features) {
        if (change.tag == "*") {
            hb_set_clear(kept);
            if (change.keep) hb_set_invert(kept);  // every feature
        } else if (change.keep) {
            hb_set_add(kept, hb_tag_from_string(change.tag.data(), static_cast<int>(change.tag.size())));
        } else {
            hb_set_del(kept, hb_tag_from_string(change.tag.data(), static_cast<int>(change.tag.size())));
        }
    }
    hb_face_t* cut = hb_subset_or_fail(font.faces().shaping, input);
    hb_subset_input_destroy(input);
    if (!cut) throw Failure(Code::SubsetFailed, {{"path", font.path()}});
    // A table of glyphs HarfBuzz cannot read is left out of the subset, which
    // would then draw nothing.
    for (const char* tag : {"glyf", "CFF ", "CFF2", "CBDT", "sbix"}) {
        const hb_tag_t table = hb_tag_from_string(tag, 4);
        if (has_table(font.faces().shaping, table) && !has_table(cut, table)) {
            hb_face_destroy(cut);
            throw Failure(Code::SubsetLostTable,
                {{"path", font.path()}, {"table", std::string(tag, tag[3] == ' ' ? 3 : 4)}});
        }
    }
    hb_blob_t* blob = hb_face_reference_blob(cut);
    hb_face_destroy(cut);
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    // The subset stays in HarfBuzz's blob: a copy would cost as much as the subsetting.
    const FontData subset(
        std::shared_ptr<const void>(blob,
            [](const void* held) { hb_blob_destroy(static_cast<hb_blob_t*>(const_cast<void*>(held))); }),
        std::string_view(data, length));
    const std::string_view bytes = subset.bytes();
    if (bytes.empty()) throw Failure(Code::SubsetEmpty, {{"path", font.path()}});
    if (!woff2) return subset;
    return FontData(woff2_from_sfnt(font, bytes, 11));
}

std::string woff2_from_sfnt(const Font& font, std::string_view sfnt, int brotli_quality)
{
    const auto* in = reinterpret_cast<const uint8_t*>(sfnt.data());
    std::string compressed(woff2::MaxWOFF2CompressedSize(in, sfnt.size()), '\0');
    std::size_t compressed_length = compressed.size();
    woff2::WOFF2Params params;
    params.brotli_quality = brotli_quality;
    // Debian's libwoff2 reports every compression on standard error: the
    // program that cares silences it (the library leaves the process's
    // descriptors alone).
    if (!woff2::ConvertTTFToWOFF2(
            in, sfnt.size(), reinterpret_cast<uint8_t*>(compressed.data()), &compressed_length, params))
        throw Failure(Code::Woff2Failed, {{"path", font.path()}});
    compressed.resize(compressed_length);
    return compressed;
}

}  // namespace charlib
