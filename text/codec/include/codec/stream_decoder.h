#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/types.h"
#include "codec/icu_converter.h"
#include "codec/utf.h"

namespace charlib {

// Decodes a source piece by piece into code points, as ICU decodes it:
// invalid sequences become U+FFFD, and the places where they began are
// noted for those who ask. The byte-order mark is dropped.
class StreamDecoder {
public:
    explicit StreamDecoder(Encoding encoding);
    // An encoding by its ICU name, as files declare them ("ISO-8859-1",
    // "UTF-32LE"...); throws Failure (Code::NoConverter) when ICU has none.
    explicit StreamDecoder(const char* icu_name);
    ~StreamDecoder();

    // The characters of the next bytes, until the next call; `last` for the
    // final piece. Invalid places count in the whole source.
    std::u32string_view decode(std::string_view bytes, bool last, std::vector<InvalidPlace>* invalid);

private:
    void make_room(std::size_t size);
    std::size_t decode_with_icu(std::string_view bytes, bool last);
    friend struct InvalidSequenceCallback;

    std::unique_ptr<IcuConverter>
        converter_;  // none for UTF-8: our own decoder is faster and knows the places
    std::string pending_;
    std::unique_ptr<char32_t[]> characters_;
    std::size_t room_ = 0;
    std::u16string units_;
    std::vector<int32_t> offsets_;
    std::vector<std::size_t> invalid_units_;
    std::vector<InvalidPlace> places_;  // in this piece
    char16_t high_surrogate_ = 0;
    std::uint64_t consumed_ = 0;
    std::uint64_t characters_before_ = 0;
    bool bom_checked_ = false;
    bool declared_ = false;  // by an ICU name
};

}  // namespace charlib
