#pragma once
// The translations of English texts, from the PO catalogs in po/ (made into
// a table when the program is built).

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "messages/language.h"

// Marks an English text for the catalog where a table declares it; it is
// translated where it is shown (xgettext reads both N_ and tr).
#define N_(text) text

namespace charlib {

struct Arg {
    std::string_view name;
    std::string value;
};

// The text in the language; the English itself when the catalog lacks it.
std::string_view translate(Language language, std::string_view english);
// Translates, then puts each argument's value for its {name}.
std::string tr(Language language, std::string_view english, std::initializer_list<Arg> args = {});
// Puts each argument's value for its {name} in an already translated text.
std::string fill(std::string_view text, std::initializer_list<Arg> args);

// The Chinese catalog, msgid and msgstr, sorted by msgid.
const std::vector<std::pair<std::string_view, std::string_view>>& chinese_catalog();

}  // namespace charlib
