#include "cli/font_words.h"

#include <string_view>

#include "messages/catalog.h"
#include "codec/utf.h"
#include "messages/words.h"

namespace charlib::cli {

namespace {

// The fields of the binary descriptor by their ids, as the font library names them.
struct FieldName {
    std::string_view id;
    const char* english;
};

constexpr FieldName field_names[] = {
    {"size", N_("The size")},
    {"spacing", N_("The spacing of the glyphs")},
    {"line-height", N_("The line height")},
    {"base", N_("The height of the baseline")},
    {"page-width", N_("The page width")},
    {"page-height", N_("The page height")},
    {"pages", N_("The number of pages")},
    {"block-size", N_("The size of the descriptor")},
    {"id", N_("The code of character {character}")},
    {"x", N_("The x of character {character}")},
    {"y", N_("The y of character {character}")},
    {"width", N_("The width of character {character}")},
    {"height", N_("The height of character {character}")},
    {"xoffset", N_("The horizontal offset of character {character}")},
    {"yoffset", N_("The vertical offset of character {character}")},
    {"xadvance", N_("The advance of character {character}")},
    {"page", N_("The page of character {character}")},
    {"amount", N_("The kerning of characters {character} and {second}")},
};

std::string descriptor_field(const Outcome& outcome, Language language)
{
    const std::string id = outcome.text("field");
    const auto character = [&](std::string_view name) {
        const Value* value = outcome.find(name);
        const auto* c = value ? std::get_if<char32_t>(value) : nullptr;
        return c ? code_point_name(*c) : std::string();
    };
    for (const FieldName& field : field_names)
        if (field.id == id)
            return tr(language, field.english,
                {{"character", character("character")}, {"second", character("second")}});
    return id;
}

std::string signed_text(const Outcome& outcome, std::string_view name)
{
    const Value* value = outcome.find(name);
    if (const auto* n = value ? std::get_if<std::int64_t>(value) : nullptr) return std::to_string(*n);
    return std::to_string(outcome.number(name));
}

// "; the faces to choose from:" and a line for each.
std::string with_faces(const std::string& said, const Outcome& outcome, Language language)
{
    try {
        return said + tr(language, "; the faces to choose from:") +
            faces_listed(face_names_of(outcome.path()), language);
    } catch (const Failure&) {
        return said;  // read a moment ago, unreadable now: the failure is still the one to say
    }
}

}  // namespace

std::string face_name(const FaceName& face, Language language)
{
    if (face.family.empty()) return tr(language, "(no name)");
    return face.family + (face.style.empty() ? "" : " " + face.style);
}

std::string faces_listed(const std::vector<FaceName>& faces, Language language, std::optional<unsigned> but)
{
    std::string lines;
    for (unsigned i = 0; i < faces.size(); ++i)
        if (i != but) lines += "\n  --face " + std::to_string(i) + "  " + face_name(faces[i], language);
    return lines;
}

std::string failure_words(const Failure& failure, Language language)
{
    const Outcome& outcome = failure.outcome();
    switch (outcome.code) {
    case Code::NoSuchFace: {
        const std::uint64_t count = outcome.number("count");
        const std::string path = outcome.path().string(), face = std::to_string(outcome.number("face"));
        const std::string said = count == 1
            ? tr(language, "The font “{path}” has only 1 face (--face 0), not --face {face}",
                  {{"path", path}, {"face", face}})
            : tr(language, "The font “{path}” has only {count} faces (--face 0 to {last}), not --face {face}",
                  {{"path", path}, {"count", std::to_string(count)}, {"last", std::to_string(count - 1)},
                      {"face", face}});
        return with_faces(said, outcome, language);
    }
    case Code::NoFaceNamed:
    case Code::FaceNameAmbiguous: return with_faces(words(outcome, language), outcome, language);
    case Code::GlyphTooLargeForCell:
        return words(outcome, language) + tr(language, "; use a larger --grid or a smaller --size");
    case Code::DescriptorFieldOutOfRange:
        return tr(language,
            "{field} of the font “{face}” is {value}, beyond the {low} to {high} the binary descriptor can "
            "hold: use the text, XML or JSON form",
            {{"field", descriptor_field(outcome, language)}, {"face", outcome.text("face")},
                {"value", signed_text(outcome, "value")}, {"low", signed_text(outcome, "low")},
                {"high", signed_text(outcome, "high")}});
    default: return words(failure, language);  // with what a failed commit left behind
    }
}

}  // namespace charlib::cli
