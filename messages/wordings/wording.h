#pragma once
// A code's sentence in English, with {field} where the outcome's fields go;
// {field:glyph} puts a character itself rather than its U+ code. Each room's
// table is in its own file here.

#include <span>

#include "base/outcome.h"
#include "messages/catalog.h"

namespace charlib {

struct Wording {
    Code code;
    const char* english;
};

std::span<const Wording> file_wordings();
std::span<const Wording> source_wordings();
std::span<const Wording> format_wordings();
std::span<const Wording> output_wordings();
std::span<const Wording> font_wordings();

}  // namespace charlib
