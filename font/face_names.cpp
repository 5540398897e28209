// The faces of a font file by name, and which of a collection to use:
// pan-CJK collections put their Japanese face first (Noto Sans CJK), which
// would give Chinese text Japanese glyph shapes.
#include <hb-ot.h>

#include <algorithm>

#include "base/ascii.h"
#include "faces.h"

namespace charlib {

namespace {

std::string name_in(hb_face_t* face, hb_ot_name_id_t id, hb_language_t language)
{
    unsigned size = hb_ot_name_get_utf8(face, id, language, nullptr, nullptr) + 1;
    std::string text(size, '\0');
    hb_ot_name_get_utf8(face, id, language, &size, text.data());
    text.resize(size);
    return text;
}

// The name in English where the table has it, else in its first language.
std::string default_name(
    hb_face_t* face, hb_ot_name_id_t id, const hb_ot_name_entry_t* entries, unsigned count)
{
    std::string text = name_in(face, id, HB_LANGUAGE_INVALID);  // English
    for (unsigned i = 0; i < count && text.empty(); ++i)
        if (entries[i].name_id == id) text = name_in(face, id, entries[i].language);
    return text;
}

// Whether a family name says it is drawn for simplified Chinese: the region
// codes pan-CJK families name their faces by (Noto Sans CJK SC, AR PL UKai
// CN), the character sets of the mainland standards (GB2312, GBK, GB18030),
// "Simplified", "Hans", or 简. Words are runs of ASCII letters and digits.
bool says_simplified_chinese(std::string_view family)
{
    if (family.find("简") != std::string_view::npos) return true;
    for (std::size_t at = 0; at < family.size();) {
        const auto word_end = std::find_if(family.begin() + static_cast<std::ptrdiff_t>(at), family.end(),
            [](char c) { return !(c >= '0' && c <= '9') && !((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); });
        const std::size_t end = static_cast<std::size_t>(word_end - family.begin());
        const std::string word = ascii_lower(family.substr(at, end - at));
        at = end + 1;
        const bool gb = word.starts_with("gb") &&
            (word == "gbk" ||
                std::all_of(word.begin() + 2, word.end(), [](char c) { return c >= '0' && c <= '9'; }));
        if (gb || word == "sc" || word == "cn" || word == "prc" || word == "hans" || word == "simplified")
            return true;
    }
    return false;
}

bool simplified_chinese_language(hb_language_t language)
{
    const std::string tag = language ? hb_language_to_string(language) : "";
    return tag == "zh-cn" || tag == "zh-sg" || tag.starts_with("zh-hans");
}

FaceName face_name(hb_face_t* face)
{
    unsigned count = 0;
    const hb_ot_name_entry_t* entries = hb_ot_name_list_names(face, &count);
    FaceName named;
    named.family = default_name(face, HB_OT_NAME_ID_TYPOGRAPHIC_FAMILY, entries, count);
    if (named.family.empty()) named.family = default_name(face, HB_OT_NAME_ID_FONT_FAMILY, entries, count);
    named.style = default_name(face, HB_OT_NAME_ID_TYPOGRAPHIC_SUBFAMILY, entries, count);
    if (named.style.empty()) named.style = default_name(face, HB_OT_NAME_ID_FONT_SUBFAMILY, entries, count);
    if (!named.family.empty())
        named.names.push_back(named.family + (named.style.empty() ? "" : " " + named.style));
    for (unsigned i = 0; i < count; ++i) {
        const hb_ot_name_id_t id = entries[i].name_id;
        const bool family = id == HB_OT_NAME_ID_FONT_FAMILY || id == HB_OT_NAME_ID_TYPOGRAPHIC_FAMILY;
        if (!family && id != HB_OT_NAME_ID_FULL_NAME) continue;
        const std::string text = name_in(face, id, entries[i].language);
        if (text.empty()) continue;
        if (std::find(named.names.begin(), named.names.end(), text) == named.names.end())
            named.names.push_back(text);
        if (!family) continue;
        named.says_simplified = named.says_simplified || says_simplified_chinese(text);
        if (named.chinese_family.empty() && simplified_chinese_language(entries[i].language))
            named.chinese_family = text;
    }
    return named;
}

}  // namespace

std::vector<FaceName> read_face_names(hb_blob_t* blob)
{
    std::vector<FaceName> names;
    for (unsigned i = 0, count = hb_face_count(blob); i < count; ++i) {
        hb_face_t* face = hb_face_create(blob, i);
        names.push_back(face_name(face));
        hb_face_destroy(face);
    }
    return names;
}

unsigned chosen_face(
    const std::filesystem::path& path, const std::vector<FaceName>& faces, const FaceChoice& choice)
{
    if (faces.empty()) return choice.index.value_or(0);
    const std::uint64_t count = faces.size();
    if (choice.index) {
        if (*choice.index >= faces.size())
            throw Failure(
                Code::NoSuchFace, {{"path", path}, {"face", std::uint64_t{*choice.index}}, {"count", count}});
        return *choice.index;
    }
    if (!choice.name.empty()) {
        const std::string wanted = ascii_lower(choice.name);
        std::vector<unsigned> matching;
        for (unsigned i = 0; i < faces.size(); ++i)
            if (std::any_of(faces[i].names.begin(), faces[i].names.end(),
                    [&](const std::string& name) { return ascii_lower(name) == wanted; }))
                matching.push_back(i);
        if (matching.size() == 1) return matching[0];
        if (matching.empty())
            throw Failure(Code::NoFaceNamed, {{"path", path}, {"name", choice.name}, {"count", count}});
        throw Failure(Code::FaceNameAmbiguous,
            {{"path", path}, {"name", choice.name}, {"matches", std::uint64_t{matching.size()}},
                {"count", count}});
    }
    for (unsigned i = 0; i < faces.size(); ++i)
        if (faces[i].says_simplified) return i;
    for (unsigned i = 0; i < faces.size(); ++i)
        if (!faces[i].chinese_family.empty()) return i;
    return 0;
}

}  // namespace charlib
