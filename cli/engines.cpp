#include "cli/engines.h"

#include <algorithm>

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
            "Godot 3 读 .fnt 时不读 distanceField：导入后要在 BitmapFont 资源上手动打开 distance_field"
            "（检查器里的 Distance Field，或在脚本里写 font.distance_field = true），并用 GLES3 "
            "渲染器（GLES2 "
            "不画距离场），否则距离场被当作透明度画出", {}},
        {"pixi", "PixiJS 8", Xml, {Xml, Text}, false, nullptr, {Xml}},
        {"phaser", "Phaser 4", Xml, {Xml}, true,
            "Phaser 4 的位图文字不画距离场：页面上的距离场会被当作透明度画出，字形发虚变粗；请去掉 --sdf", {}},
        {"three", "three.js（three-bmfont-text）", Json, {Json, Text, Binary}, false, nullptr, {Json, Text}},
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

std::vector<std::string> atlas_notes(const Engine* engine, const AtlasOptions& options, const Atlas& atlas)
{
    std::vector<std::string> notes;
    const BitmapFont& font = atlas.font;
    if (options.sdf && options.format == AtlasFormat::Binary)
        notes.push_back("注意：二进制描述文件没有记下距离场的地方：读它的引擎不会知道页面是距离场（范围 " +
            std::to_string(font.distance_range) +
            " 像素），要在引擎里自己设定；或改用 --atlas-format text、xml 或 json");
    if (!engine) return notes;
    const std::vector<AtlasFormat>& field_forms = engine->field_forms;
    if (options.sdf && engine->distance_field)
        notes.push_back(std::string("注意：") + engine->distance_field);
    else if (options.sdf && !field_forms.empty() &&
        std::find(field_forms.begin(), field_forms.end(), options.format) == field_forms.end())
        notes.push_back(std::string("注意：") + engine->shown + " 只从 " + format_name(field_forms.front()) +
            " 格式的描述文件读 distanceField，" + format_name(options.format) +
            " 格式的距离场会被当作透明度画出：去掉 --atlas-format 即可");
    if (engine->one_page && font.page_files.size() > 1) {
        const auto later = std::count_if(
            font.chars.begin(), font.chars.end(), [](const AtlasChar& glyph) { return glyph.page > 0; });
        notes.push_back(std::string("注意：") + engine->shown + " 只从一页（" + font.page_files.front() +
            "）取字形，而点阵字库有 " + std::to_string(font.page_files.size()) + " 页：其余各页上的 " +
            std::to_string(later) + " 个字形会画错；" +
            (options.page_auto ? "4096×4096 的一页也放不下全部字形，请减小 --size 或减少字符"
                               : "请去掉 --page 或改用 --page auto，让一页放下全部字形"));
    }
    return notes;
}

}  // namespace charlib::cli
