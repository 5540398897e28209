#include "byte_lines.h"

#include <algorithm>
#include <cstring>

#include "codec/code_page_936.h"
#include "simd/kernel.h"

namespace charlib {

namespace {

// 1 when the bytes end with a lead byte whose trail byte is still unread.
// `bytes` starts at a character boundary; a run of bytes in 0x81-0xFE pairs
// up from its start, since each of them is both a lead and a trail byte.
std::size_t unfinished_double_byte(std::string_view bytes)
{
    std::size_t run = 0;
    while (run < bytes.size() && is_lead_byte(static_cast<unsigned char>(bytes[bytes.size() - 1 - run])))
        ++run;
    return run % 2;
}

// The bytes of a UTF-8 sequence at the end that still lacks some.
std::size_t unfinished_utf8(std::string_view bytes)
{
    for (std::size_t back = 1; back <= 4 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

}  // namespace

ByteLines::ByteLines(const std::filesystem::path& path, std::size_t buffer_size, SourceFormat format) :
    owned_(std::make_unique<InputFile>(path)),
    file_(*owned_),
    offset_(0),
    capacity_(buffer_size < 4 ? 4 : buffer_size),
    buffer_(new char[capacity_ + piece_padding]),
    utf8_(format.encoding == Encoding::Utf8),
    any_newline_(format.newline == Newline::Any),
    left_(~std::uint64_t{0})
{
}

ByteLines::ByteLines(InputFile& file, std::size_t buffer_size, SourceFormat format, std::uint64_t begin,
    std::uint64_t end, std::string_view first) :
    file_(file),
    offset_(begin),
    first_(first),
    capacity_(buffer_size < 4 ? 4 : buffer_size),
    buffer_(new char[capacity_ + piece_padding]),
    utf8_(format.encoding == Encoding::Utf8),
    any_newline_(format.newline == Newline::Any),
    left_(end - begin)
{
}

std::size_t ByteLines::unfinished(std::string_view bytes) const
{
    return utf8_ ? unfinished_utf8(bytes) : unfinished_double_byte(bytes);
}

// The first line end at or after `from` in the bytes read, or null. With
// LF ending lines too, the next CR is remembered, so that a file of LF lines
// is not searched for CR from every line.
const char* ByteLines::line_end(const char* from)
{
    char* const data = buffer_.get();
    const auto start = static_cast<std::size_t>(from - data);
    if (!any_newline_) return static_cast<const char*>(std::memchr(from, '\r', end_ - start));
    if (next_cr_ < start || (next_cr_ == no_cr && cr_searched_ < end_)) {
        const std::size_t search = std::max(start, next_cr_ == no_cr ? cr_searched_ : start);
        const void* cr = std::memchr(data + search, '\r', end_ - search);
        next_cr_ = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - data) : no_cr;
        cr_searched_ = end_;
    }
    const std::size_t until = next_cr_ == no_cr ? end_ : next_cr_;
    const void* lf = std::memchr(from, '\n', until - start);
    return lf ? static_cast<const char*>(lf) : next_cr_ == no_cr ? nullptr : data + next_cr_;
}

// Up to `size` bytes at `position` of the part: from `first`, else from the file.
std::size_t ByteLines::take(std::uint64_t position, char* into, std::size_t size)
{
    if (position < first_.size()) {
        const std::size_t count = std::min(size, first_.size() - static_cast<std::size_t>(position));
        std::memcpy(into, first_.data() + position, count);
        return count;
    }
    const std::size_t count = file_.read_at(offset_ + position, into, size);
    if (observe_ && count > 0) observe_({into, count});
    return count;
}

void ByteLines::fill()
{
    char* const into = buffer_.get() + end_;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(capacity_ - end_, left_));
    std::size_t count = take(read_, into, want);
    // A UTF-8 byte-order mark is not a character: the first three bytes are in hand before it is looked for.
    if (utf8_ && offset_ == 0 && read_ == 0) {
        for (std::size_t more = count; more > 0 && count < 3 && count < want; count += more)
            more = take(count, into + count, want - count);
        if (count >= 3 && std::memcmp(into, "\xEF\xBB\xBF", 3) == 0) begin_ = searched_ = 3;
    }
    left_ -= count;
    read_ += count;
    if (progress_) progress_(read_);
    // Control-Z ends the text, as in DOS: nothing after it is read.
    const void* control_z = count > 0 ? std::memchr(into, 0x1A, count) : nullptr;
    text_ended_ = count == 0 || control_z;
    if (control_z && !control_z_)
        control_z_byte_ = offset_ + read_ - count +
            static_cast<std::uint64_t>(static_cast<const char*>(control_z) - into) + 1;
    control_z_ = control_z_ || control_z;
    end_ = control_z ? static_cast<std::size_t>(static_cast<const char*>(control_z) - buffer_.get())
                     : end_ + count;
    if (counting_lines_) count_line_ends(std::max(into, buffer_.get() + begin_), buffer_.get() + end_);
    clear_padding();
}

// The line ends among newly read bytes, and the empty lines they close; the
// bytes of a line never end one in code page 936 or UTF-8.
void ByteLines::count_line_ends(const char* from, const char* to)
{
    for (const char* p = from; p < to; ++p) {
        const char byte = *p;
        const bool lf_of_crlf = byte == '\n' && count_after_cr_;
        count_after_cr_ = byte == '\r';
        if (byte == '\r' || (byte == '\n' && any_newline_ && !lf_of_crlf)) {
            ++line_ends_;
            empty_lines_ += at_line_start_;
            at_line_start_ = true;
        } else if (!lf_of_crlf) {
            at_line_start_ = false;
        }
    }
}

// Moves the unread bytes to the front of the buffer, making room to read.
void ByteLines::compact()
{
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    searched_ -= begin_;
    if (next_cr_ == no_cr || next_cr_ >= begin_) {
        next_cr_ = next_cr_ == no_cr ? no_cr : next_cr_ - begin_;
        cr_searched_ = cr_searched_ >= begin_ ? cr_searched_ - begin_ : 0;
    } else {  // a CR already passed: search again
        next_cr_ = no_cr;
        cr_searched_ = 0;
    }
    begin_ = 0;
}

// The bytes after the text are read, never used; keep them defined.
void ByteLines::clear_padding()
{
    std::memset(buffer_.get() + end_, 0, piece_padding);
}

// Makes sure the next line's first byte is in the buffer, if there is one,
// and passes over the LF of a CR LF pair split across two reads.
void ByteLines::settle()
{
    for (;;) {
        if (begin_ == end_ && !text_ended_) {
            compact();
            fill();
            continue;
        }
        if (after_cr_ && begin_ < end_) {
            after_cr_ = false;
            if (buffer_[begin_] == '\n') {
                searched_ = ++begin_;
                continue;
            }
        }
        return;
    }
}

bool ByteLines::at_end()
{
    if (inside_line_) return false;
    settle();
    return begin_ == end_;
}

LinePiece ByteLines::next_piece()
{
    if (!inside_line_) settle();
    inside_line_ = true;
    for (;;) {
        char* const data = buffer_.get();
        if (const char* found = line_end(data + searched_)) {
            const auto line_end = static_cast<std::size_t>(found - data);
            const LinePiece piece{{data + begin_, line_end - begin_}, true};
            begin_ = searched_ = line_end + 1;
            after_cr_ = *found == '\r';
            inside_line_ = false;
            return piece;
        }
        searched_ = end_;
        if (text_ended_) {
            const LinePiece piece{{data + begin_, end_ - begin_}, true};
            begin_ = searched_ = end_;
            inside_line_ = false;
            return piece;
        }
        compact();
        if (end_ < capacity_) {
            fill();
            continue;
        }
        // A line longer than the buffer: hand out what is here.
        const std::string_view bytes(data, end_);
        const std::size_t cut = end_ - unfinished(bytes);
        begin_ = cut;
        return {bytes.substr(0, cut), false};
    }
}

std::string_view ByteLines::next_lines()
{
    for (;;) {
        settle();
        char* const data = buffer_.get();
        const std::string_view bytes(data + begin_, end_ - begin_);
        std::size_t stop = text_ended_ ? bytes.size() : bytes.find_last_of(any_newline_ ? "\r\n" : "\r");
        if (stop != std::string_view::npos) {
            if (!text_ended_) ++stop;  // past the line end
            after_cr_ = !text_ended_ && bytes[stop - 1] == '\r';
            begin_ = searched_ = begin_ + stop;
            return bytes.substr(0, stop);
        }
        compact();
        if (end_ == capacity_) return {};  // a line longer than the buffer
        fill();
    }
}

std::string_view ByteLines::next_bytes()
{
    for (;;) {
        settle();
        const std::string_view bytes(buffer_.get() + begin_, end_ - begin_);
        const std::size_t cut = text_ended_ ? bytes.size() : bytes.size() - unfinished(bytes);
        if (cut > 0 || text_ended_) {
            begin_ += cut;
            searched_ = begin_;
            return bytes.substr(0, cut);
        }
        // Only a lead byte is left: its trail byte is still to be read.
        compact();
        fill();
    }
}

}  // namespace charlib
