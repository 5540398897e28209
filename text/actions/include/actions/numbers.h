#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace charlib {

// The decimal number a text begins with, blanks skipped; 0 when there is none.
// "3" -> 3, " 2.5x" -> 2.5, "-1" -> -1, "abc" -> 0, "" -> 0.
double numeric_value(std::u16string_view text);

// True when the text, blanks aside, is empty or one number with nothing after
// it: "", " ", "3", "2.5" and "-1" are; "x", "-", "+", "." and "2x" are not.
bool is_number_or_blank(std::u16string_view text);

// The nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
// Values beyond the 64-bit range are clamped to it.
std::int64_t whole(double value);

// A whole number in decimal, as the window shows counts.
std::u16string number_text(std::int64_t value);

}  // namespace charlib
