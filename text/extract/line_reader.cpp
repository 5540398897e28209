#include "extract/line_reader.h"

#include "base/outcome.h"
#include "byte_lines.h"
#include "codec/code_page_936.h"

namespace charlib {

LineReader::LineReader() = default;
LineReader::~LineReader() = default;

void LineReader::open(const std::filesystem::path& path, std::size_t buffer_size)
{
    lines_ = std::make_unique<ByteLines>(path, buffer_size);
    path_ = path;
}

bool LineReader::at_end()
{
    return !lines_ || lines_->at_end();
}

std::u16string LineReader::read_line()
{
    if (at_end()) throw Failure(Code::ReadPastEnd, {{"path", path_}});
    LinePiece piece = lines_->next_piece();
    if (piece.ends_line) return decode(piece.bytes);
    std::string bytes(piece.bytes);
    do {
        piece = lines_->next_piece();
        bytes += piece.bytes;
    } while (!piece.ends_line);
    return decode(bytes);
}

}  // namespace charlib
