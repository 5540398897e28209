#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

#include "base/types.h"
#include "files/input_file.h"

namespace charlib {

// A stretch of one line's bytes. A line comes in one piece when it fits in
// the buffer, else in several; only the last has ends_line set. Pieces never
// split a character.
struct LinePiece {
    std::string_view bytes;
    bool ends_line = false;
};

// Finds the lines of a file in its bytes, each piece followed by
// piece_padding readable bytes for the walks (simd/kernel.h), streaming through a fixed buffer:
// CR LF or a lone CR ends a line, and a lone LF too with Newline::Any, else
// it stays in the line; a Control-Z byte ends the text. A line end at the
// very end adds no empty line. The bytes are code page 936, or UTF-8.
class ByteLines {
public:
    // Opens the file and reads it all.
    explicit ByteLines(const std::filesystem::path& path, std::size_t buffer_size = default_buffer_size,
        SourceFormat format = {});
    // Reads an open file from `begin` to `end` only: a part of the file that
    // begins at a line's start. Several can share the file. `first` are the
    // bytes at `begin` already read, taken instead of reading them again.
    ByteLines(InputFile& file, std::size_t buffer_size, SourceFormat format, std::uint64_t begin = 0,
        std::uint64_t end = ~std::uint64_t{0}, std::string_view first = {});

    // True when no further line begins; always false inside a line.
    bool at_end();
    // The next piece of the current line, or of the next line.
    // Call only when !at_end() or inside a line.
    LinePiece next_piece();

    // The rest of the text as it comes, several lines at a time, line ends
    // included; the caller finds the lines. Never splits a double-byte
    // character. Not to be mixed with next_piece().
    std::string_view next_bytes();

    // Whole lines, as many as the buffer holds, with their line ends (but
    // for the last line of a text without one); empty, with nothing taken,
    // when the next line does not fit in the buffer: read it with next_piece().
    // May be mixed with next_piece().
    std::string_view next_lines();

    // True when the text ended at a Control-Z byte before the end of the file.
    bool stopped_at_control_z() const { return control_z_; }

    // Where the Control-Z stands in the file, counting from 1.
    std::uint64_t control_z_byte() const { return control_z_byte_; }

    // Tells `progress` how many bytes have been read, after each read.
    void on_read(std::function<void(std::uint64_t)> progress) { progress_ = std::move(progress); }
    // Shows `observe` the bytes of each read from the file, as read (not `first`).
    void on_bytes(std::function<void(std::string_view)> observe) { observe_ = std::move(observe); }

    // Counts the lines as they are read: all of them, and those that are not empty.
    void count_lines() { counting_lines_ = true; }
    std::uint64_t lines() const { return line_ends_ + !at_line_start_; }
    std::uint64_t non_empty_lines() const { return lines() - empty_lines_; }

private:
    void fill();
    std::size_t take(std::uint64_t position, char* into, std::size_t size);
    void compact();
    void settle();
    void clear_padding();
    const char* line_end(const char* from);
    std::size_t unfinished(std::string_view bytes) const;

    void count_line_ends(const char* from, const char* to);

    std::unique_ptr<InputFile> owned_;  // when opened by path
    InputFile& file_;
    std::uint64_t offset_;  // where the part begins in the file
    std::string_view first_;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;  // first unread byte
    std::size_t end_ = 0;  // end of the bytes read so far (or of the text)
    std::size_t searched_ = 0;  // no line end in [begin_, searched_)
    bool utf8_;
    bool any_newline_;
    static constexpr std::size_t no_cr = ~std::size_t{0};
    std::size_t next_cr_ = no_cr;  // with any_newline_: the next CR, or none in [.., cr_searched_)
    std::size_t cr_searched_ = 0;
    bool text_ended_ = false;  // physical end of the file or Control-Z reached
    bool control_z_ = false;
    bool after_cr_ = false;  // an LF next belongs to the last line end
    bool inside_line_ = false;
    std::uint64_t read_ = 0;
    std::uint64_t left_;  // bytes of the part still to read
    std::uint64_t control_z_byte_ = 0;
    std::function<void(std::uint64_t)> progress_;
    std::function<void(std::string_view)> observe_;
    bool counting_lines_ = false;
    bool at_line_start_ = true;
    bool count_after_cr_ = false;
    std::uint64_t line_ends_ = 0;
    std::uint64_t empty_lines_ = 0;
};

}  // namespace charlib
