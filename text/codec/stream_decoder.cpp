#include "codec/stream_decoder.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <algorithm>
#include <utility>

namespace charlib {

// Notes where each invalid sequence's U+FFFD goes, then substitutes as ICU does.
struct InvalidSequenceCallback {
    static void call(const void* context, UConverterToUnicodeArgs* args, const char* bytes, int32_t length,
        UConverterCallbackReason reason, UErrorCode* error)
    {
        if (reason <= UCNV_IRREGULAR) {
            auto* self = static_cast<StreamDecoder*>(const_cast<void*>(context));
            self->invalid_units_.push_back(static_cast<std::size_t>(args->target - self->units_.data()));
        }
        UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, bytes, length, reason, error);
    }
};

StreamDecoder::StreamDecoder(Encoding encoding)
{
    if (encoding == Encoding::Utf8) return;
    converter_ = std::make_unique<IcuConverter>(encoding == Encoding::Gbk ? "windows-936-2000"
            : encoding == Encoding::Gb18030                               ? "gb18030"
            : encoding == Encoding::Utf16Le                               ? "UTF-16LE"
                                                                          : "UTF-16BE");
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter_->get(), &InvalidSequenceCallback::call, this, nullptr, nullptr, &error);
}

StreamDecoder::StreamDecoder(const char* icu_name) :
    converter_(std::make_unique<IcuConverter>(icu_name)),
    declared_(true)
{
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter_->get(), &InvalidSequenceCallback::call, this, nullptr, nullptr, &error);
}

StreamDecoder::~StreamDecoder() = default;

std::u32string_view StreamDecoder::decode(
    std::string_view bytes, bool last, std::vector<InvalidPlace>* invalid)
{
    places_.clear();
    std::size_t produced = 0;
    if (!converter_) {
        pending_.append(bytes);
        make_room(pending_.size());
        const std::size_t used = decode_utf8(pending_, last, characters_.get(), produced, &places_);
        for (InvalidPlace& place : places_)
            place.byte += consumed_ - (pending_.size() - bytes.size());
        pending_.erase(0, used);
    } else {
        produced = decode_with_icu(bytes, last);
    }
    std::u32string_view characters(characters_.get(), produced);
    // A byte-order mark is not a character.
    std::size_t dropped = 0;
    if (!bom_checked_ && !characters.empty()) {
        bom_checked_ = true;
        if (characters.front() == U'\uFEFF') characters.remove_prefix(dropped = 1);
    }
    if (invalid)
        for (const InvalidPlace& place : places_)
            invalid->push_back({place.byte, characters_before_ + place.character - dropped});
    characters_before_ += characters.size();
    consumed_ += bytes.size();
    return characters;
}

void StreamDecoder::make_room(std::size_t size)
{
    if (size <= room_) return;
    room_ = size;
    characters_.reset(new char32_t[room_]);
}

std::size_t StreamDecoder::decode_with_icu(std::string_view bytes, bool last)
{
    // Never more units than bytes in our encodings, but for a flush; a declared one may pack more.
    units_.resize((declared_ ? 2 : 1) * bytes.size() + 16);
    offsets_.resize(units_.size());
    make_room(units_.size());
    const char* in = bytes.data();
    UChar* out = units_.data();
    invalid_units_.clear();
    UErrorCode error = U_ZERO_ERROR;
    // Bytes of a sequence that the pieces before left unfinished, held by ICU.
    const std::int32_t held = std::max(0, ucnv_toUCountPending(converter_->get(), &error));
    error = U_ZERO_ERROR;
    ucnv_toUnicode(converter_->get(), &out, units_.data() + units_.size(), &in, bytes.data() + bytes.size(),
        offsets_.data(), last, &error);
    char32_t* characters = characters_.get();
    std::size_t produced = 0, next_invalid = 0;
    for (const UChar* unit = units_.data(); unit < out; ++unit) {
        const auto index = static_cast<std::size_t>(unit - units_.data());
        if (next_invalid < invalid_units_.size() && invalid_units_[next_invalid] == index) {
            ++next_invalid;
            // ICU gives -1 for a sequence begun in a piece before: it began with the bytes it held.
            const std::int64_t byte =
                static_cast<std::int64_t>(consumed_) + (offsets_[index] < 0 ? -held : offsets_[index]);
            places_.push_back({static_cast<std::size_t>(byte < 0 ? 0 : byte), produced});
        }
        const char16_t c = *unit;
        if (high_surrogate_ && c >= 0xDC00 && c < 0xE000)
            characters[produced++] =
                0x10000 + ((char32_t(std::exchange(high_surrogate_, 0)) - 0xD800) << 10) + (c - 0xDC00);
        else if (c >= 0xD800 && c < 0xDC00)
            high_surrogate_ = c;  // ICU gives only whole pairs; the low half may be in the next piece
        else
            characters[produced++] = c;
    }
    return produced;
}

}  // namespace charlib
