#include <unicode/uchar.h>
#include <unicode/ucnv.h>

#include <vector>

#include "codec/code_page_936.h"
#include "codec/icu_converter.h"
#include "gb2312.h"
#include "output/output.h"

namespace charlib {

// The code page adds 33 characters inside GB 2312's rows (ⅰ-ⅹ, vertical
// punctuation forms, ɑ ń ň ɡ), so the rows alone do not tell. ICU's
// "GB_2312-80" is the plain table, without the high bits; its "EUC-CN"
// holds IBM's additions in row 0xFE.
bool in_gb2312(unsigned lead, unsigned trail)
{
    static const std::vector<bool> assigned = [] {
        std::vector<bool> table(94 * 94);
        const IcuConverter converter("GB_2312-80");
        UErrorCode error = U_ZERO_ERROR;
        ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
        for (std::size_t code = 0; code < table.size(); ++code) {
            const char bytes[2] = {char(0x21 + code / 94), char(0x21 + code % 94)};
            UChar out[2];
            UErrorCode status = U_ZERO_ERROR;
            ucnv_reset(converter.get());
            table[code] = ucnv_toUChars(converter.get(), out, 2, bytes, 2, &status) == 1 && U_SUCCESS(status);
        }
        return table;
    }();
    return lead >= 0xA1 && lead <= 0xFE && trail >= 0xA1 && trail <= 0xFE &&
        assigned[(lead - 0xA1) * 94 + (trail - 0xA1)];
}

namespace {

// The character code page 936 has at a double-byte code, or 0 when it has
// none or one of the private-use area (its user-defined codes).
char32_t at_code(unsigned lead, unsigned trail)
{
    const char pair[2] = {char(lead), char(trail)};
    const std::u16string c = decode({pair, 2});
    if (c.size() != 1 || c[0] == u'\uFFFD' || (c[0] >= 0xE000 && c[0] <= 0xF8FF)) return 0;
    return c[0];
}

std::u32string range(char32_t first, char32_t last)
{
    std::u32string characters;
    for (char32_t c = first; c <= last; ++c)
        characters += c;
    return characters;
}

// GB 2312's characters in the rows [first, last] that `wanted` takes, as code
// page 936 has them: a GBK file holds these, where GB 2312's own table has
// U+30FB, U+2015 and U+00B4 at A1A4, A1AA and A3A7, which the code page
// lacks.
template <class Wanted> std::u32string gb2312_rows(unsigned first, unsigned last, Wanted wanted)
{
    std::u32string characters;
    for (unsigned lead = first; lead <= last; ++lead)
        for (unsigned trail = 0xA1; trail <= 0xFE; ++trail)
            if (in_gb2312(lead, trail))
                if (const char32_t c = at_code(lead, trail); c && wanted(c)) characters += c;
    return characters;
}

}  // namespace

std::u32string characters_of(NamedSet set)
{
    const auto every = [](char32_t) { return true; };
    switch (set) {
    case NamedSet::Ascii: return range(0x20, 0x7E);
    case NamedSet::Digits: return range(U'0', U'9');
    case NamedSet::Latin1: return range(0xA0, 0xFF);
    case NamedSet::CjkPunctuation: {
        const auto punctuation = [](char32_t c) {
            return c == U'\u3000' || (U_GET_GC_MASK(c) & U_GC_P_MASK);
        };
        std::u32string characters = gb2312_rows(0xA1, 0xA1, punctuation);
        return characters + gb2312_rows(0xA3, 0xA3, punctuation);
    }
    case NamedSet::Gb2312Level1: return gb2312_rows(0xB0, 0xD7, every);
    case NamedSet::Gb2312: return gb2312_rows(0xA1, 0xFE, every);
    case NamedSet::Gbk: {
        // ICU's table maps all 23,940 double-byte codes. 2,149 of them map
        // to the private-use area: the user-defined codes (AAA1-AFFE,
        // F8A1-FEFE, A140-A7A0) and 255 places no character was given (in
        // rows A2-A9, D7 and FE). They are no font's characters; the 21,791
        // others are. The euro sign, 0x80, is a single byte.
        std::u32string characters = range(0x20, 0x7E);
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
                if (is_trail_byte(static_cast<unsigned char>(trail)))
                    if (const char32_t c = at_code(lead, trail)) characters += c;
        return characters;
    }
    }
    return {};
}

}  // namespace charlib
