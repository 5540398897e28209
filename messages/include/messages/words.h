#pragma once
// Outcomes of the core in words: the one place a code becomes a sentence.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/outcome.h"
#include "messages/language.h"

namespace charlib {

// The outcome as a sentence in the language, its fields in their places.
std::string words(const Outcome& outcome, Language language);
// A failure in words, then what else it left behind, in brackets.
std::string words(const Failure& failure, Language language);
// The English wording of a code, as the catalog holds it: "" for none.
std::string_view wording(Code code);

// An errno value in words: "No such file or folder".
std::string system_reason(int system_error, Language language);
// 268435456 as "268,435,456".
std::string grouped(std::uint64_t number);
// "268,435,456 bytes (256 MiB)".
std::string bytes_text(std::uint64_t bytes, Language language);

}  // namespace charlib
