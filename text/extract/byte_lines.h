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
    // Reads the bytes from `begin` to `end` only, when given: a part of the
    // file that begins at a line's start.
    explicit ByteLines(const std::filesystem::path& path, std::size_t buffer_size = default_buffer_size,
        SourceFormat format = {}, std::uint64_t begin = 0, std::uint64_t end = ~std::uint64_t{0});

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

    // Tells `progress` how many bytes have been read, after each read.
    void on_read(std::function<void(std::uint64_t)> progress) { progress_ = std::move(progress); }

private:
    void fill();
    void compact();
    void settle();
    void clear_padding();
    const char* line_end(const char* from);
    std::size_t unfinished(std::string_view bytes) const;

    InputFile file_;
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
    bool at_file_start_ = true;
    std::function<void(std::uint64_t)> progress_;
};

}  // namespace charlib
