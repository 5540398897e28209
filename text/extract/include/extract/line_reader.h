#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "base/types.h"

namespace charlib {

class ByteLines;

// Reads a code page 936 text file one line at a time, streaming through a
// fixed buffer. CR LF or a lone CR ends a line; a lone LF stays in the line;
// a Control-Z byte ends the text, as in DOS. A final line end adds no empty
// line, and an empty file has no line at all.
class LineReader {
public:
    LineReader();
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Throws Failure when the file cannot be opened.
    void open(const std::filesystem::path& path, std::size_t buffer_size = default_buffer_size);
    // True when no further line can be read (also when not open).
    bool at_end();
    // Throws Failure when called at the end, or when reading fails.
    std::u16string read_line();

private:
    std::unique_ptr<ByteLines> lines_;
    std::filesystem::path path_;
};

}  // namespace charlib
