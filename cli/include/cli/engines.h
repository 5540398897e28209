#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "font/font.h"
#include "messages/language.h"

// What each game engine reads of an atlas, as tests/engines/ checked it in
// the engine itself or with an independent reader (see the README's table).
namespace charlib::cli {

struct Engine {
    const char* name;  // as --engine takes it
    const char* shown;  // in messages, in English: translate() it
    AtlasFormat format;  // the form it is given
    std::vector<AtlasFormat> reads;  // every form it reads
    bool one_page;  // draws every glyph from one page: it gets --page auto
    const char* distance_field;  // why --sdf does not work there as it is, in English; nullptr: it does,
    std::vector<AtlasFormat> field_forms;  // from these forms (empty: any)
};

// Every engine, in the order of the help.
const std::vector<Engine>& engines();
// Nothing for a name no engine has.
const Engine* engine_named(std::string_view name);
// "godot、pixi、…", for messages.
std::string engine_names();
const char* format_name(AtlasFormat format);

// What the atlas made for the engine (nullptr: none named) holds that the
// engine or the descriptor's form cannot use, each a warning in the language.
std::vector<std::string> atlas_notes(
    const Engine* engine, const AtlasOptions& options, const Atlas& atlas, Language language);

}  // namespace charlib::cli
