#include "text/pipeline.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "text/byte_lines.h"
#include "text/core.h"
#include "text/error.h"
#include "text/extractors.h"
#include "text/input_file.h"

namespace charlib {

namespace {

// Decodes a source piece by piece into code points, as ICU decodes it:
// invalid sequences become U+FFFD, and the places where they began are
// noted for those who ask. The byte-order mark is dropped.
class Decoder {
public:
    explicit Decoder(Encoding encoding)
    {
        if (encoding == Encoding::Utf8) return;  // our own decoder: faster, and it knows the places
        const char* name = encoding == Encoding::Gbk ? "windows-936-2000"
            : encoding == Encoding::Gb18030          ? "gb18030"
            : encoding == Encoding::Utf16Le          ? "UTF-16LE"
                                                     : "UTF-16BE";
        UErrorCode error = U_ZERO_ERROR;
        converter_.reset(ucnv_open(name, &error));
        ucnv_setToUCallBack(converter_.get(), &Decoder::invalid, this, nullptr, nullptr, &error);
        if (U_FAILURE(error)) throw FileError(FileError::Action::Converter, name, ENOENT);
    }

    // The characters of the next bytes, until the next call; `last` for the
    // final piece. Invalid places count in the whole source.
    std::u32string_view decode(std::string_view bytes, bool last, std::vector<InvalidPlace>* invalid)
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

private:
    void make_room(std::size_t size)
    {
        if (size <= room_) return;
        room_ = size;
        characters_.reset(new char32_t[room_]);
    }

    std::size_t decode_with_icu(std::string_view bytes, bool last)
    {
        units_.resize(bytes.size() + 16);  // never more units than bytes, but for a flush
        offsets_.resize(units_.size());
        make_room(units_.size());
        const char* in = bytes.data();
        UChar* out = units_.data();
        invalid_units_.clear();
        UErrorCode error = U_ZERO_ERROR;
        ucnv_toUnicode(converter_.get(), &out, units_.data() + units_.size(), &in,
            bytes.data() + bytes.size(), offsets_.data(), last, &error);
        char32_t* characters = characters_.get();
        std::size_t produced = 0, next_invalid = 0;
        for (const UChar* unit = units_.data(); unit < out; ++unit) {
            const auto index = static_cast<std::size_t>(unit - units_.data());
            if (next_invalid < invalid_units_.size() && invalid_units_[next_invalid] == index) {
                ++next_invalid;
                // A sequence begun in the piece before has a negative offset.
                const std::int64_t byte = static_cast<std::int64_t>(consumed_) + offsets_[index];
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

    static void invalid(const void* context, UConverterToUnicodeArgs* args, const char* bytes, int32_t length,
        UConverterCallbackReason reason, UErrorCode* error)
    {
        if (reason <= UCNV_IRREGULAR) {
            auto* self = static_cast<Decoder*>(const_cast<void*>(context));
            self->invalid_units_.push_back(static_cast<std::size_t>(args->target - self->units_.data()));
        }
        UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, bytes, length, reason, error);
    }

    struct Closer {
        void operator()(UConverter* converter) const { ucnv_close(converter); }
    };

    std::unique_ptr<UConverter, Closer> converter_;
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
};

// Reads a whole source, one decoded piece at a time, until `take` returns false.
template <class Take>
void read_decoded(const std::filesystem::path& path, Encoding encoding, std::size_t buffer_size,
    const std::function<void(std::uint64_t)>& progress, std::vector<InvalidPlace>* invalid, Take&& take)
{
    InputFile file(path);
    Decoder decoder(encoding);
    const std::unique_ptr<char[]> buffer(new char[buffer_size]);
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t count = file.read(buffer.get(), buffer_size);
        total += count;
        if (progress) progress(total);
        if (!take(decoder.decode({buffer.get(), count}, count == 0, invalid)) || count == 0) return;
    }
}

}  // namespace

std::string encoding_name(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Gbk: return "gbk";
    case Encoding::Gb18030: return "gb18030";
    case Encoding::Utf8: return "utf-8";
    case Encoding::Utf16Le: return "utf-16le";
    case Encoding::Utf16Be: return "utf-16be";
    }
    return "gbk";
}

Newline default_newline(Encoding encoding)
{
    return encoding == Encoding::Gbk ? Newline::Legacy : Newline::Any;
}

std::optional<ControlZ> find_control_z(const std::filesystem::path& path, Encoding encoding)
{
    std::uint64_t byte = 0;
    if (encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be) {
        // The unit 0x001A, at an even offset.
        InputFile file(path);
        const std::unique_ptr<char[]> buffer(new char[default_buffer_size]);
        const char first = encoding == Encoding::Utf16Le ? '\x1A' : '\0', second = first ^ '\x1A';
        char previous = 0;
        for (std::uint64_t offset = 0; byte == 0;) {
            const std::size_t count = file.read(buffer.get(), default_buffer_size);
            if (count == 0) return std::nullopt;
            for (std::size_t i = 0; i < count && byte == 0; ++i, ++offset) {
                if (offset % 2 == 1 && previous == first && buffer[i] == second)
                    byte = offset;  // counting from 1
                previous = buffer[i];
            }
        }
    } else {
        // The byte 0x1A is U+001A in these encodings and never part of another character.
        const ScanResult scanned = scan(path);
        if (scanned.status != ScanStatus::ControlZ) return std::nullopt;
        byte = scanned.position;
    }
    std::uint64_t characters = 0;
    read_decoded(path, encoding, default_buffer_size, {}, nullptr, [&](std::u32string_view piece) {
        const std::size_t at = piece.find(U'\x1A');
        characters += at == std::u32string_view::npos ? piece.size() : at + 1;
        return at == std::u32string_view::npos;
    });
    return ControlZ{byte, characters};
}

namespace {

// Parts of the file, each beginning at a line's start, about equal in size.
std::vector<std::pair<std::uint64_t, std::uint64_t>> line_parts(
    const std::filesystem::path& path, Newline newline, unsigned parts)
{
    InputFile file(path);
    const std::uint64_t size = file.size();
    parts = static_cast<unsigned>(
        std::min<std::uint64_t>(parts, size / std::max<std::uint64_t>(least_part_bytes, 1)));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> result;
    std::uint64_t begin = 0;
    char buffer[4096];
    for (unsigned k = 1; k < parts; ++k) {
        // The part ends after the first line end from here on (a CR LF pair as one).
        std::uint64_t at = std::max(begin, size / parts * k), split = 0;
        const std::uint64_t start = at;
        file.seek(at);
        bool after_cr = false;
        for (std::size_t count; split == 0 && at - start < (std::uint64_t{64} << 20) &&
             (count = file.read(buffer, sizeof buffer)) > 0;) {
            for (std::size_t i = 0; i < count && split == 0; ++i, ++at) {
                if (after_cr) split = buffer[i] == '\n' ? at + 1 : at;
                after_cr = buffer[i] == '\r';
                if (split == 0 && buffer[i] == '\n' && newline == Newline::Any) split = at + 1;
            }
        }
        if (after_cr && split == 0) split = at;
        if (split == 0 || split >= size) break;  // no line end near enough: fewer parts
        result.emplace_back(begin, split);
        begin = split;
    }
    result.emplace_back(begin, size);
    return result;
}

// Code page 936 and UTF-8, read in the bytes; a large file in parts side by
// side. The parts' tallies add up to the whole's, and a Control-Z ends the
// text in the part that has it: the parts after it do not count.
Tally extract_bytes(const std::filesystem::path& path, const SourceFormat& format, const Selection& selection,
    std::size_t buffer_size)
{
    const auto parts = selection.offset > 0 || extract_threads < 2
        ? std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, ~std::uint64_t{0}}}
        : line_parts(path, format.newline, extract_threads);
    std::vector<Tally> tallies(parts.size());
    std::vector<std::exception_ptr> errors(parts.size());
    std::uint64_t done = 0;
    std::mutex progress;
    const auto extract_part = [&](std::size_t i) {
        try {
            ByteLines lines(path, buffer_size, format, parts[i].first, parts[i].second);
            std::uint64_t mine = 0;
            if (selection.progress)
                lines.on_read([&](std::uint64_t bytes) {
                    const std::lock_guard lock(progress);
                    done += bytes - std::exchange(mine, bytes);
                    selection.progress(done);
                });
            tallies[i] = extract_from_bytes(lines, format, selection);
            tallies[i].control_z = lines.stopped_at_control_z();
        } catch (...) {
            errors[i] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < parts.size(); ++i)
        threads.emplace_back(extract_part, i);
    extract_part(0);
    for (std::thread& thread : threads)
        thread.join();
    Tally tally;
    for (std::size_t i = 0; i < parts.size() && !tally.control_z; ++i) {
        if (errors[i]) std::rethrow_exception(errors[i]);
        tally.add(tallies[i]);
        tally.control_z = tallies[i].control_z;
    }
    return tally;
}

}  // namespace

std::u16string extract(const std::filesystem::path& path, std::u16string_view marker, std::int64_t offset,
    std::size_t buffer_size)
{
    const Tally tally = extract_bytes(path, {}, {std::u16string(marker), offset}, buffer_size);
    return std::u16string(tally.characters.begin(), tally.characters.end());  // code page 936 is all BMP
}

Tally extract_source(const std::filesystem::path& path, const SourceFormat& format,
    const Selection& selection, std::size_t buffer_size)
{
    if (format.encoding == Encoding::Gbk || format.encoding == Encoding::Utf8)
        return extract_bytes(path, format, selection, buffer_size);
    CodePointExtractor extractor(format.newline, selection);
    bool control_z = false;
    read_decoded(path, format.encoding, buffer_size, selection.progress, nullptr,
        [&](std::u32string_view piece) { return !(control_z = !extractor.feed(piece)); });
    Tally tally = extractor.finish();
    tally.control_z = control_z;
    return tally;
}

SourceFacts examine_source(
    const std::filesystem::path& path, const SourceFormat& format, const Selection& selection)
{
    SourceFacts facts;
    Selection plain = selection;
    plain.count = false;
    CodePointExtractor lines(format.newline, plain);
    std::vector<InvalidPlace> invalid;
    std::uint64_t characters = 0;  // before the piece
    read_decoded(
        path, format.encoding, default_buffer_size, [&](std::uint64_t bytes) { facts.bytes = bytes; },
        &invalid,
        [&](std::u32string_view piece) {
            // Feed up to each invalid sequence to learn its line.
            std::size_t fed = 0;
            for (const InvalidPlace& place : invalid) {
                const std::size_t at = place.character - characters;
                if (!lines.feed(piece.substr(fed, at - fed))) return false;
                fed = at;
                if (facts.first_invalid.size() < 100)
                    facts.first_invalid.push_back({lines.line(), place.byte + 1});
                ++facts.invalid;
            }
            invalid.clear();
            characters += piece.size();
            return lines.feed(piece.substr(fed));
        });
    lines.finish();
    facts.lines = lines.lines();
    facts.selected_lines = lines.selected_lines();
    return facts;
}

}  // namespace charlib
