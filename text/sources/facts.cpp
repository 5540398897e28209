#include "sources/facts.h"

#include <memory>

#include "extract/extract.h"
#include "files/input_file.h"

namespace charlib {

std::optional<ControlZ> find_control_z(const std::filesystem::path& path, Encoding encoding)
{
    InputFile file(path);
    return find_control_z(file, encoding);
}

SourceFacts examine_source(
    const std::filesystem::path& path, const SourceFormat& format, const Selection& selection)
{
    InputFile file(path);
    return examine_source(file, format, selection);
}

std::optional<ControlZ> find_control_z(InputFile& file, Encoding encoding)
{
    std::uint64_t byte = 0;
    if (encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be) {
        // The unit 0x001A, at an even offset.
        const std::unique_ptr<char[]> buffer(new char[default_buffer_size]);
        const char first = encoding == Encoding::Utf16Le ? '\x1A' : '\0', second = first ^ '\x1A';
        char previous = 0;
        for (std::uint64_t offset = 0; byte == 0;) {
            const std::size_t count = file.read_at(offset, buffer.get(), default_buffer_size);
            if (count == 0) return std::nullopt;
            for (std::size_t i = 0; i < count && byte == 0; ++i, ++offset) {
                if (offset % 2 == 1 && previous == first && buffer[i] == second)
                    byte = offset;  // counting from 1
                previous = buffer[i];
            }
        }
    } else {
        // The byte 0x1A is U+001A in these encodings and never part of another character.
        const ByteSearch search = find_byte(file, 0x1A);
        if (!search.found) return std::nullopt;
        byte = *search.found + 1;
    }
    std::uint64_t characters = 0;
    read_decoded(file, encoding, default_buffer_size, {}, nullptr, [&](std::u32string_view piece) {
        const std::size_t at = piece.find(U'\x1A');
        characters += at == std::u32string_view::npos ? piece.size() : at + 1;
        return at == std::u32string_view::npos;
    });
    return ControlZ{byte, characters};
}

SourceFacts examine_source(InputFile& file, const SourceFormat& format, const Selection& selection)
{
    SourceFacts facts;
    Selection plain = selection;
    plain.count = false;
    CodePointExtractor lines(format.newline, plain);
    std::vector<InvalidPlace> invalid;
    std::uint64_t characters = 0;  // before the piece
    read_decoded(
        file, format.encoding, default_buffer_size, [&](std::uint64_t bytes) { facts.bytes = bytes; },
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

bool line_feeds_only(InputFile& file)
{
    return !find_byte(file, '\r').found && find_byte(file, '\n').found;
}

}  // namespace charlib
