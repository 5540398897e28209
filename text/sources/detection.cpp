#include "sources/detection.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "codec/code_page_936.h"
#include "codec/icu_converter.h"
#include "codec/utf.h"
#include "files/input_file.h"
#include "simd/kernel.h"

namespace charlib {

namespace {

// -e auto decides from the first 64 MiB at most, so that detection costs a
// fraction of the pass that extracts; a text that has shown no other
// encoding by then is taken as it began.
constexpr std::uint64_t detection_window = std::uint64_t{64} << 20;

// UTF-16 is told from the first MiB, half a million characters: a text
// is UTF-16 from its start or not at all.
constexpr std::uint64_t utf16_window = std::uint64_t{1} << 20;

// UTF-8 and GB18030 may have one invalid sequence for every 20 valid
// multi-byte ones: a few stray bytes are reported later, not taken for
// another encoding. GBK read as UTF-8 gives four invalid sequences for each
// chance-valid one, so it never comes near, and a text of fewer than 20
// multi-byte sequences must be entirely valid.
constexpr std::uint64_t valid_per_invalid = 20;

// Latin text in UTF-16 has a NUL byte in nearly every unit, always the high
// byte: half the units at least. CJK text has them only in its ASCII
// characters and in the low byte of a few characters (一 U+4E00, the
// ideographic space U+3000), which would point to the wrong byte order in a
// short text: the share of CJK characters decides there.
constexpr std::uint64_t units_per_nul = 2;

// Readings are walked in slices of this size, to drop one that cannot win soon after it cannot.
constexpr std::ptrdiff_t detection_slice = std::ptrdiff_t{64} << 10;

std::optional<Encoding> byte_order_mark(std::string_view start)
{
    if (start.starts_with("\xEF\xBB\xBF")) return Encoding::Utf8;
    if (start.starts_with("\xFF\xFE")) return Encoding::Utf16Le;
    if (start.starts_with("\xFE\xFF")) return Encoding::Utf16Be;
    if (start.starts_with("\x84\x31\x95\x33")) return Encoding::Gb18030;
    return std::nullopt;
}

// Whether a multi-byte reading with these counts can still have few enough
// invalid sequences, when at most `remaining` bytes follow (each pair of
// them at best a valid sequence).
bool may_be_valid(std::uint64_t valid, std::uint64_t invalid, std::uint64_t remaining)
{
    return invalid * valid_per_invalid <= valid + remaining / 2 + 1;
}

bool cjk_unit(char16_t unit)
{
    // Ideographs and extension A, CJK and full-width punctuation, and the
    // dashes, quotes and ellipsis of Chinese text.
    return (unit >= 0x4E00 && unit <= 0x9FFF) || (unit >= 0x3400 && unit <= 0x4DBF) ||
        (unit >= 0x3000 && unit <= 0x303F) || (unit >= 0xFF00 && unit <= 0xFFEF) ||
        (unit >= 0xF900 && unit <= 0xFAFF) || (unit >= 0xFE30 && unit <= 0xFE4F) ||
        (unit >= 0x2010 && unit <= 0x2027);
}

// One byte order of UTF-16: how its characters fall.
struct Utf16Reading {
    std::uint64_t cjk = 0;
    std::uint64_t other = 0;  // neither CJK nor ASCII
    std::uint64_t unpaired = 0;  // surrogates
    char16_t high = 0;  // a high surrogate waiting for its low one
    bool possible = true;

    void add(char16_t unit)
    {
        if (high) {
            const char16_t first = std::exchange(high, 0);
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                // Planes 2 and 3 hold the ideographs of extension B and after.
                ++(first >= 0xD840 && first <= 0xD8BF ? cjk : other);
                return;
            }
            ++unpaired;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF)
            high = unit;
        else if (unit >= 0xDC00 && unit <= 0xDFFF)
            ++unpaired;
        else if (unit != '\t' && unit != '\n' && unit != '\r' && (unit < 0x20 || unit >= 0x7F))
            ++(cjk_unit(unit) ? cjk : other);
    }
    // Nine in ten of the other characters are CJK, and every surrogate is paired.
    bool mostly_cjk() const { return unpaired == 0 && cjk > 0 && other * 10 <= cjk + other; }
};

// Reads the first bytes of a text every way -e auto can take them, all in
// one pass over pieces of any size, and stops each reading as soon as it
// cannot win.
class EncodingDetector {
public:
    // `window`: how many bytes will come at most.
    EncodingDetector(std::uint64_t window, const Kernel& kernel) :
        window_(window),
        kernel_(kernel),
        buffer_(new unsigned char[64]()),
        capacity_(64)
    {
    }

    // Room for the next `size` bytes; fill it, then take them.
    char* room(std::size_t size)
    {
        // Keep what a reading has not used yet: a sequence cut at the end.
        std::uint64_t keep = end_;
        if (utf8_possible_) keep = std::min(keep, utf8_at_);
        if (gb18030_possible_) keep = std::min(keep, gb18030_at_);
        if (utf16_le_.possible || utf16_be_.possible) keep = std::min(keep, utf16_at_);
        const auto kept = static_cast<std::size_t>(end_ - keep);
        // The bit-mask walks read up to 64 bytes past the end.
        if (kept + size + 64 > capacity_) {
            std::unique_ptr<unsigned char[]> larger(new unsigned char[capacity_ = kept + size + 64]);
            std::memcpy(larger.get(), at(keep), kept);
            buffer_ = std::move(larger);
        } else {
            std::memmove(buffer_.get(), at(keep), kept);
        }
        base_ = keep;
        return reinterpret_cast<char*>(buffer_.get() + kept);
    }

    // Looks at `count` bytes put in the room; false once the verdict cannot change.
    bool take(std::size_t count)
    {
        const std::uint64_t begin = end_;
        end_ += count;
        std::memset(at(end_), 0, 64);
        if (start_.size() < 4) {
            start_.append(
                reinterpret_cast<const char*>(at(begin)), std::min<std::size_t>(count, 4 - start_.size()));
            if (start_.size() == 4) mark_ = byte_order_mark(start_);
        }
        if (mark_) return false;
        read(begin, false);
        settled_ = !utf8_possible_ && !gb18030_possible_ && !utf16_le_.possible && !utf16_be_.possible &&
            !alternate_nuls_possible(bytes_.zeros_odd, bytes_.zeros_even) &&
            !alternate_nuls_possible(bytes_.zeros_even, bytes_.zeros_odd);
        return !settled_;
    }

    // `complete`: the text ends here. `cut`: it goes on past the window.
    Detection finish(bool complete, bool cut)
    {
        if (!mark_) mark_ = byte_order_mark(start_);
        if (mark_) return {*mark_, Outcome(Code::Bom), false};
        if (!settled_) read(end_, complete);
        // What was decided from the first part only says how much it looked at.
        const auto reason = [cut](Code code, std::vector<Field> fields = {}) {
            Outcome said(code, std::move(fields));
            if (cut) said.with("looked_at", Bytes{detection_window});
            return said;
        };
        const std::uint64_t units = std::min(end_, utf16_window) / 2;
        const bool even = !complete || end_ % 2 == 0;
        const auto alternate_nuls = [&](std::uint64_t in_high_bytes, std::uint64_t in_low_bytes) {
            return even && in_high_bytes > 0 && in_high_bytes * units_per_nul >= units &&
                in_low_bytes * 4 <= in_high_bytes;
        };
        if (alternate_nuls(bytes_.zeros_odd, bytes_.zeros_even))
            return {
                Encoding::Utf16Le, reason(Code::Utf16Pattern, {{"encoding", std::string("UTF-16LE")}}), true};
        if (alternate_nuls(bytes_.zeros_even, bytes_.zeros_odd))
            return {
                Encoding::Utf16Be, reason(Code::Utf16Pattern, {{"encoding", std::string("UTF-16BE")}}), true};
        if (utf8_possible_ && utf8_valid_ > 0 && utf8_invalid_ * valid_per_invalid <= utf8_valid_) {
            if (utf8_invalid_ == 0)
                return {Encoding::Utf8, reason(Code::ValidUtf8, {{"multibyte", utf8_valid_}}), false};
            return {Encoding::Utf8,
                reason(Code::MostlyUtf8, {{"multibyte", utf8_valid_}, {"invalid", utf8_invalid_}}), true};
        }
        // ASCII bytes read as UTF-16 look like ideographs too: most units must
        // have a byte beyond ASCII, and the bytes must make no clean code page 936 text.
        const bool clean_code_page = bytes_.controls == 0 && gb18030_invalid_ == 0 && gb18030_four_ == 0;
        const std::uint64_t read_units = utf16_at_ / 2;
        if (even && !clean_code_page && ascii_pairs_ * 3 <= read_units * 2) {
            const Utf16Reading* best = nullptr;
            for (const Utf16Reading* reading : {&utf16_le_, &utf16_be_})
                if (reading->possible && reading->mostly_cjk() && (!best || reading->cjk > best->cjk))
                    best = reading;
            if (best) {
                const std::uint64_t percent = best->cjk * 100 / (best->cjk + best->other);
                return {best == &utf16_le_ ? Encoding::Utf16Le : Encoding::Utf16Be,
                    reason(Code::Utf16MostlyCjk,
                        {{"encoding", std::string(best == &utf16_le_ ? "UTF-16LE" : "UTF-16BE")},
                            {"percent", percent}}),
                    true};
            }
        }
        if (gb18030_possible_ && gb18030_four_ > 0 &&
            gb18030_invalid_ * valid_per_invalid <= gb18030_valid_) {
            Outcome said = reason(Code::Gb18030FourByte, {{"four_byte", gb18030_four_}});
            if (gb18030_invalid_) said.with("invalid", gb18030_invalid_);
            return {Encoding::Gb18030, said, true};
        }
        if (utf8_valid_ == 0 && utf8_invalid_ == 0)
            return {Encoding::Gbk, reason(end_ == 0 ? Code::EmptyFile : Code::AsciiOnly), false};
        return {Encoding::Gbk, reason(Code::DefaultEncoding), true};
    }

private:
    unsigned char* at(std::uint64_t offset) const { return buffer_.get() + (offset - base_); }
    std::uint64_t offset(const unsigned char* p) const
    {
        return base_ + static_cast<std::uint64_t>(p - buffer_.get());
    }

    bool alternate_nuls_possible(std::uint64_t in_high_bytes, std::uint64_t in_low_bytes) const
    {
        const std::uint64_t window = std::min(window_, utf16_window), seen = std::min(end_, window);
        const std::uint64_t more = (window - seen) / 2 + 1;
        return (in_high_bytes + more) * units_per_nul >= seen / 2 + more &&
            in_low_bytes * 4 <= in_high_bytes + more;
    }

    // The new bytes from `from` on, then each reading that can still win, a
    // slice at a time; `last`: nothing follows.
    void read(std::uint64_t from, bool last)
    {
        count_bytes(from);
        const unsigned char* const end = at(end_);
        const auto slice_end = [end](const unsigned char* p) {
            return end - p > detection_slice ? p + detection_slice : end;
        };
        for (bool done = false; utf8_possible_ && !done;) {
            const unsigned char* const stop = slice_end(at(utf8_at_));
            done = stop == end;
            utf8_at_ = offset(read_utf8(at(utf8_at_), stop, last && done));
            utf8_possible_ = may_be_valid(utf8_valid_, utf8_invalid_, window_ - std::min(window_, utf8_at_));
        }
        for (bool done = false; gb18030_possible_ && !done;) {
            const unsigned char* const stop = slice_end(at(gb18030_at_));
            done = stop == end;
            gb18030_at_ = offset(read_gb18030(at(gb18030_at_), stop, last && done));
            gb18030_possible_ =
                may_be_valid(gb18030_valid_, gb18030_invalid_, window_ - std::min(window_, gb18030_at_));
        }
        read_utf16(last);
    }

    // NUL bytes in even and odd places and control characters, in the UTF-16 window.
    void count_bytes(std::uint64_t from)
    {
        const std::uint64_t to = std::min(end_, utf16_window);
        if (from < to) kernel_.count_bytes(at(from), at(to), from, bytes_);
    }

    // Counts the valid multi-byte and the invalid sequences of UTF-8, as ICU
    // decodes them, up to a sequence cut off by `end` unless `last`.
    const unsigned char* read_utf8(const unsigned char* p, const unsigned char* end, bool last)
    {
        SequenceCounts counts{utf8_valid_, utf8_invalid_};
        p = kernel_.count_utf8(p, end, counts);
        while (last && p < end) {  // cut off by the end of the text: invalid, as ICU has it
            const Utf8Character one = decode_one(p, end);
            if (!one.well_formed)
                ++counts.invalid;
            else if (one.value >= 0x80)
                ++counts.valid;
            p += one.length;
        }
        utf8_valid_ = counts.valid;
        utf8_invalid_ = counts.invalid;
        return p;
    }

    // Whether ICU's gb18030 decodes the four-byte sequence at p to a character.
    bool four_bytes_mapped(const unsigned char* p)
    {
        const std::size_t index =
            ((std::size_t(p[0] - 0x81) * 10 + std::size_t(p[1] - 0x30)) * 126 + std::size_t(p[2] - 0x81)) *
                10 +
            std::size_t(p[3] - 0x30);
        if (four_bytes_.empty()) {
            four_bytes_.resize(std::size_t{126} * 10 * 126 * 10);
            gb18030_ = std::make_unique<IcuConverter>("gb18030");
            UErrorCode error = U_ZERO_ERROR;
            ucnv_setToUCallBack(gb18030_->get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
        }
        std::uint8_t& known = four_bytes_[index];  // 1 mapped, 2 not
        if (!known) {
            UErrorCode error = U_ZERO_ERROR;
            UChar out[4];
            ucnv_reset(gb18030_->get());
            const int32_t length =
                ucnv_toUChars(gb18030_->get(), out, 4, reinterpret_cast<const char*>(p), 4, &error);
            known = U_SUCCESS(error) && length > 0 ? 1 : 2;
        }
        return known == 1;
    }

    // One GB18030 sequence at p; p itself when it may go on past `end`.
    const unsigned char* step_gb18030(const unsigned char* p, const unsigned char* end, bool last)
    {
        const auto lead = [](unsigned byte) { return byte >= 0x81 && byte <= 0xFE; };
        const auto digit = [](unsigned byte) { return byte >= 0x30 && byte <= 0x39; };
        if (*p < 0x80) return p + 1;
        const auto left = end - p;
        if (lead(*p) && left < 2) {
            if (!last) return p;
        } else if (lead(*p) && p[1] >= 0x40 && p[1] != 0x7F) {
            ++(p[1] == 0xFF ? gb18030_invalid_ : gb18030_valid_);  // ICU takes 0xFF into the invalid sequence
            return p + 2;
        } else if (lead(*p) && digit(p[1])) {
            if (left < 3 || (left < 4 && lead(p[2]))) {
                if (!last) return p;
                ++gb18030_invalid_;  // cut off by the end, as ICU counts it
                return end;
            }
            if (lead(p[2]) && digit(p[3])) {
                if (four_bytes_mapped(p)) {
                    ++gb18030_four_;
                    ++gb18030_valid_;
                } else {
                    ++gb18030_invalid_;
                }
                return p + 4;
            }
        }
        ++gb18030_invalid_;  // the next byte is read again
        return p + 1;
    }

    // Counts the two- and four-byte sequences of GB18030 and the invalid ones,
    // up to a sequence cut off by `end` unless `last`.
    const unsigned char* read_gb18030(const unsigned char* p, const unsigned char* end, bool last)
    {
        while (p < end) {
            SequenceCounts counts{gb18030_valid_, gb18030_invalid_};
            p = kernel_.count_gb18030_pairs(p, end, counts);
            gb18030_valid_ = counts.valid;
            gb18030_invalid_ = counts.invalid;
            // Where the blocks stopped, a block's worth one step at a time:
            // four-byte sequences seldom come alone.
            for (const unsigned char* const stop = end - p > 64 ? p + 64 : end; p < stop;) {
                const unsigned char* const next = step_gb18030(p, end, last);
                if (next == p) return p;
                p = next;
            }
        }
        return p;
    }

    // Both byte orders of UTF-16, unit by unit, over their window.
    void read_utf16(bool last)
    {
        if (!utf16_le_.possible && !utf16_be_.possible) return;
        const std::uint64_t window = std::min(window_, utf16_window);
        const unsigned char* p = at(utf16_at_);
        const unsigned char* const end = at(std::min(end_, window));
        for (; end - p >= 2; p += 2) {
            ascii_pairs_ += p[0] >= 0x20 && p[0] < 0x7F && p[1] >= 0x20 && p[1] < 0x7F;
            utf16_le_.add(static_cast<char16_t>(p[1] << 8 | p[0]));
            utf16_be_.add(static_cast<char16_t>(p[0] << 8 | p[1]));
        }
        utf16_at_ = offset(p);
        // At best every unit still to come is CJK.
        const std::uint64_t most_units = window / 2 + 1;
        for (Utf16Reading* reading : {&utf16_le_, &utf16_be_}) {
            if (last && end_ <= window && reading->high) {  // else its low half may lie past the window
                reading->high = 0;
                ++reading->unpaired;
            }
            reading->possible = reading->possible && reading->unpaired == 0 &&
                reading->other * 10 <= most_units && ascii_pairs_ * 3 <= most_units * 2;
        }
    }

    std::uint64_t window_;
    const Kernel& kernel_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t capacity_;
    std::uint64_t base_ = 0;  // the offset of buffer_[0] in the text
    std::uint64_t end_ = 0;  // of the bytes taken
    std::string start_;  // the first four bytes
    std::optional<Encoding> mark_;
    bool settled_ = false;

    ByteCounts bytes_;  // in the UTF-16 window

    std::uint64_t utf8_at_ = 0, utf8_valid_ = 0, utf8_invalid_ = 0;
    bool utf8_possible_ = true;

    std::uint64_t gb18030_at_ = 0, gb18030_valid_ = 0, gb18030_four_ = 0, gb18030_invalid_ = 0;
    bool gb18030_possible_ = true;
    std::vector<std::uint8_t> four_bytes_;  // what ICU made of each four-byte sequence met
    std::unique_ptr<IcuConverter> gb18030_;

    std::uint64_t utf16_at_ = 0, ascii_pairs_ = 0;  // units of two printable ASCII bytes
    Utf16Reading utf16_le_, utf16_be_;
};

}  // namespace

class DetectionStream::Detector : public EncodingDetector {
    using EncodingDetector::EncodingDetector;
};

DetectionStream::DetectionStream(std::uint64_t file_size, const Kernel& kernel) :
    detector_(std::make_unique<Detector>(std::min(file_size, detection_window), kernel)),
    size_(file_size),
    window_(std::min(file_size, detection_window))
{
}

DetectionStream::~DetectionStream() = default;

void DetectionStream::feed(std::string_view bytes)
{
    // A buffer at a time, as from a file: a copy of a buffer costs little beside the reading.
    while (!bytes.empty() && wanted() > 0) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>({bytes.size(), wanted(), default_buffer_size}));
        std::memcpy(detector_->room(count), bytes.data(), count);
        settled_ = !detector_->take(count);
        seen_ += count;
        bytes.remove_prefix(count);
    }
}

std::uint64_t DetectionStream::wanted() const
{
    return settled_ ? 0 : window_ - seen_;
}

Detection DetectionStream::finish()
{
    return detector_->finish(!settled_ && seen_ == size_, size_ > detection_window);
}

Detection detect(const std::filesystem::path& path, const Kernel& kernel)
{
    InputFile file(path);
    DetectionStream stream(file.size(), kernel);
    const std::unique_ptr<char[]> buffer(new char[default_buffer_size]);
    while (stream.wanted() > 0) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(default_buffer_size, stream.wanted()));
        const std::size_t count = file.read(buffer.get(), want);
        if (count == 0) break;  // the file shrank
        stream.feed({buffer.get(), count});
    }
    return stream.finish();
}

Detection detect(std::string_view bytes, bool complete, const Kernel& kernel)
{
    const std::string_view window = bytes.substr(0, detection_window);
    EncodingDetector detector(window.size(), kernel);
    bool settled = false;
    // A buffer at a time, as from a file: one copy of the whole would cost more than the reading.
    for (std::size_t at = 0; at < window.size() && !settled;) {
        const std::size_t count = std::min(default_buffer_size, window.size() - at);
        std::memcpy(detector.room(count), window.data() + at, count);
        settled = !detector.take(count);
        at += count;
    }
    const bool cut = bytes.size() > window.size();
    return detector.finish(complete && !cut && !settled, cut);
}

}  // namespace charlib
