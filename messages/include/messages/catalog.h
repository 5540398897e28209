#pragma once
// The translations of English texts, from the PO catalogs in po/ (made into
// a table when the program is built).

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messages/language.h"

// Marks an English text for the catalog where a table declares it; it is
// translated where it is shown (xgettext reads both N_ and tr).
#define N_(text) text
// Marks the singular and plural English of a text with a count, where a table
// declares them (xgettext reads NP_:1,2 and trn:2,3).
#define NP_(singular, plural) singular, plural

namespace charlib {

struct Arg {
    std::string_view name;
    std::string value;
};

// The text in the language; the English itself when the catalog lacks it.
std::string_view translate(Language language, std::string_view english);
// Translates, then puts each argument's value for its {name}.
std::string tr(Language language, std::string_view english, std::initializer_list<Arg> args = {});
// The singular or plural text for the count, translated, then filled: English
// has one form for 1 and another for the rest, Chinese one form for all.
std::string trn(Language language, std::string_view singular, std::string_view plural, std::uint64_t count,
    std::initializer_list<Arg> args = {});
// The singular or plural text for the count, translated.
std::string_view translate_plural(
    Language language, std::string_view singular, std::string_view plural, std::uint64_t count);
// Puts each argument's value for its {name} in an already translated text.
std::string fill(std::string_view text, std::initializer_list<Arg> args);
// The same, each {name} or {name:style} asked of `value_of`; one it has no value for stays as it is.
std::string fill(std::string_view text,
    const std::function<std::optional<std::string>(std::string_view name, std::string_view style)>& value_of);

// A text of a catalog: an entry with a plural is there twice, by its msgid and
// by its msgid_plural (that one marked plural), both with msgstr[0].
struct CatalogText {
    std::string_view english;
    std::string_view translation;
    bool plural = false;
};

// The Chinese catalog, sorted by the English.
const std::vector<CatalogText>& chinese_catalog();

}  // namespace charlib
