#include "cli/engines.h"

#include <algorithm>

#include "messages/catalog.h"

namespace charlib::cli {

// The engines' own readers say so: Godot 3's BitmapFont::create_from_fnt
// reads the text form and no distanceField line (a Label draws the field once
// the font's distance_field is set, with GLES3 alone); PixiJS 8 takes .fnt or .xml
// in the text or XML form, and the distance field from XML alone (its text
// reader takes only lines whose tag is lower case, and the tag is
// distanceField); Phaser 4's ParseXMLBitmapFont reads XML and no
// page number; load-bmfont (under three-bmfont-text) reads all four; libGDX's
// BitmapFontData the text form; Cocos's parsers one page of the text form;
// Unity's importer scripts fill one Font of one material from the text form.
const std::vector<Engine>& engines()
{
    using enum AtlasFormat;
    static const std::vector<Engine> all = {
        {"godot", "Godot 3", Text, {Text}, false,
            N_("Godot 3 reads no distanceField from a .fnt: after the import, turn distance_field on in the "
               "BitmapFont resource (Distance Field in the inspector, or font.distance_field = true in a "
               "script), and use the GLES3 renderer (GLES2 draws no distance fields); otherwise the field is "
               "drawn as the glyphs' opacity"),
            {}},
        {"pixi", "PixiJS 8", Xml, {Xml, Text}, false, nullptr, {Xml}},
        {"phaser", "Phaser 4", Xml, {Xml}, true,
            N_("Phaser 4's bitmap text draws no distance fields: the field on the pages is drawn as the "
               "glyphs' opacity, blurred and bold; leave out --sdf"),
            {}},
        {"three", N_("three.js (three-bmfont-text)"), Json, {Json, Text, Binary}, false, nullptr,
            {Json, Text}},
        {"libgdx", "libGDX", Text, {Text}, false, nullptr, {}},
        {"cocos", "Cocos", Text, {Text}, true, nullptr, {}},
        {"unity", "Unity", Text, {Text}, true, nullptr, {}},
    };
    return all;
}

const Engine* engine_named(std::string_view name)
{
    const auto& all = engines();
    const auto found =
        std::find_if(all.begin(), all.end(), [&](const Engine& engine) { return name == engine.name; });
    return found == all.end() ? nullptr : &*found;
}

std::string engine_names()
{
    std::string names;
    for (const Engine& engine : engines())
        names += (names.empty() ? "" : "、") + std::string(engine.name);
    return names;
}

const char* format_name(AtlasFormat format)
{
    using enum AtlasFormat;
    switch (format) {
    case Text: return "text";
    case Xml: return "xml";
    case Json: return "json";
    case Binary: return "binary";
    }
    return "text";
}

std::vector<std::string> atlas_notes(
    const Engine* engine, const AtlasOptions& options, const Atlas& atlas, Language language)
{
    std::vector<std::string> notes;
    const BitmapFont& font = atlas.font;
    if (options.sdf && options.format == AtlasFormat::Binary)
        notes.push_back(tr(language,
            "Note: the binary descriptor has no place to say that the pages are a distance field (of range "
            "{range} pixels): tell the engine that reads it yourself, or use --atlas-format text, xml or json",
            {{"range", std::to_string(font.distance_range)}}));
    if (!engine) return notes;
    const std::string shown(translate(language, engine->shown));
    const std::vector<AtlasFormat>& field_forms = engine->field_forms;
    if (options.sdf && engine->distance_field)
        notes.push_back(
            tr(language, "Note: {why}", {{"why", std::string(translate(language, engine->distance_field))}}));
    else if (options.sdf && !field_forms.empty() &&
        std::find(field_forms.begin(), field_forms.end(), options.format) == field_forms.end())
        notes.push_back(tr(language,
            "Note: {engine} reads distanceField from a descriptor in the {field_form} form alone: a distance "
            "field in the {form} form is drawn as the glyphs' opacity; leave out --atlas-format",
            {{"engine", shown}, {"field_form", format_name(field_forms.front())},
                {"form", format_name(options.format)}}));
    if (engine->one_page && font.page_files.size() > 1) {
        const auto later = std::count_if(
            font.chars.begin(), font.chars.end(), [](const AtlasChar& glyph) { return glyph.page > 0; });
        const std::string advice = options.page_auto
            ? tr(language,
                  "one page of 4096×4096 cannot hold every glyph either: use a smaller --size or fewer "
                  "characters")
            : tr(language, "leave out --page or use --page auto, so that one page holds every glyph");
        notes.push_back(trn(language,
            "Note: {engine} takes glyphs from one page ({page}) alone, and the bitmap font has {pages} "
            "pages: the {later} glyph on the others will be drawn wrong; {advice}",
            "Note: {engine} takes glyphs from one page ({page}) alone, and the bitmap font has {pages} "
            "pages: "
            "the {later} glyphs on the others will be drawn wrong; {advice}",
            static_cast<std::uint64_t>(later),
            {{"engine", shown}, {"page", font.page_files.front()},
                {"pages", std::to_string(font.page_files.size())}, {"later", std::to_string(later)},
                {"advice", advice}}));
    }
    return notes;
}

}  // namespace charlib::cli
