#pragma once
// A code's sentence in English, with {field} where the outcome's fields go;
// {field:glyph} puts a character itself rather than its U+ code. A sentence
// with a count has a plural too, and names the field that holds the count:
// {Code::X, NP_("{count} block has …", "{count} blocks have …"), "count"}.
// Each room's table is in its own file here.

#include <span>

#include "base/outcome.h"
#include "messages/catalog.h"

namespace charlib {

struct Wording {
    Code code;
    const char* english;
    const char* plural = nullptr;
    const char* count_field = nullptr;
};

std::span<const Wording> file_wordings();
std::span<const Wording> source_wordings();
std::span<const Wording> format_wordings();
std::span<const Wording> output_wordings();
std::span<const Wording> font_wordings();

}  // namespace charlib
