#include "actions/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace charlib {

namespace {

bool is_blank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}
bool is_digit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

struct Parsed {
    double value = 0.0;
    bool whole_text = true;  // nothing but blanks beside the number
};

// Like BASIC's Val: blanks anywhere are skipped, reading stops at the
// first character that cannot continue the number.
Parsed parse_number(std::u16string_view text)
{
    Parsed parsed;
    std::string number;
    std::size_t digits = 0;
    enum { Sign, Integer, Fraction, ExponentSign, Exponent } part = Sign;
    std::size_t exponent_start = 0;
    for (char16_t c : text) {
        if (is_blank(c)) continue;
        const bool sign = c == u'+' || c == u'-';
        if (part == Sign && sign) {
            number += static_cast<char>(c);
            part = Integer;
        } else if ((part == Sign || part == Integer || part == Fraction) && is_digit(c)) {
            number += static_cast<char>(c);
            ++digits;
            if (part == Sign) part = Integer;
        } else if ((part == Sign || part == Integer) && c == u'.') {
            number += '.';
            part = Fraction;
        } else if ((part == Integer || part == Fraction) && digits > 0 &&
            (c == u'e' || c == u'E' || c == u'd' || c == u'D')) {
            exponent_start = number.size();
            number += 'e';
            part = ExponentSign;
        } else if (part == ExponentSign && sign) {
            number += static_cast<char>(c);
            part = Exponent;
        } else if ((part == ExponentSign || part == Exponent) && is_digit(c)) {
            number += static_cast<char>(c);
            part = Exponent;
        } else {
            parsed.whole_text = false;
            break;
        }
    }
    if (digits == 0) {
        parsed.whole_text = parsed.whole_text && number.empty();
        return parsed;
    }
    // An exponent mark without digits is not part of the number.
    if (exponent_start != 0 && !is_digit(static_cast<char16_t>(number.back()))) {
        number.resize(exponent_start);
        parsed.whole_text = false;
    }
    const char* first = number.data();
    if (*first == '+') ++first;  // from_chars takes no plus sign
    const auto [end, error] = std::from_chars(first, number.data() + number.size(), parsed.value);
    if (error == std::errc::result_out_of_range)
        parsed.value = number.find("e-") != std::string::npos ? 0.0
            : number.front() == '-'                           ? -HUGE_VAL
                                                              : HUGE_VAL;
    return parsed;
}

}  // namespace

double numeric_value(std::u16string_view text)
{
    return parse_number(text).value;
}

bool is_number_or_blank(std::u16string_view text)
{
    return parse_number(text).whole_text;
}

std::int64_t whole(double value)
{
    if (std::isnan(value)) return 0;
    constexpr double limit = 9.2e18;  // inside the 64-bit range
    if (value >= limit) return static_cast<std::int64_t>(limit);
    if (value <= -limit) return -static_cast<std::int64_t>(limit);
    return static_cast<std::int64_t>(std::nearbyint(value));
}

std::u16string number_text(std::int64_t value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace charlib
