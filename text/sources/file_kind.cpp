#include "base/ascii.h"
#include "sources/file_kind.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

namespace charlib {

namespace {

bool starts(std::string_view head, std::string_view magic)
{
    return head.substr(0, magic.size()) == magic;
}

unsigned big_endian16(std::string_view bytes, std::size_t at)
{
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) << 8 |
        static_cast<unsigned char>(bytes[at + 1]);
}

std::uint32_t little_endian32(std::string_view bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// An sfnt's first four bytes are also words ("true", "OTTO"): its table
// directory must follow, with a sane count and printable tags.
bool sfnt(std::string_view head)
{
    if (head.size() < 12 + 16) return false;
    const unsigned tables = big_endian16(head, 4);
    if (tables == 0 || tables > 64) return false;
    for (std::size_t i = 12; i < 16; ++i)
        if (head[i] < 0x20 || head[i] > 0x7E) return false;
    return true;
}

// A WOFF's second word is the flavour of the font inside.
bool woff_flavour(std::string_view head)
{
    using namespace std::string_view_literals;
    const std::string_view flavour = head.substr(4, 4);
    return flavour == "\x00\x01\x00\x00"sv || flavour == "OTTO" || flavour == "true" || flavour == "ttcf";
}

// "MZ" starts words too: a Windows program says where its "PE" header is.
bool windows_program(std::string_view head)
{
    if (!starts(head, "MZ") || head.size() < 0x40) return false;
    const std::uint32_t at = little_endian32(head, 0x3C);
    return at + 4 <= head.size() && head.substr(at, 4) == std::string_view("PE\0\0", 4);
}

std::string lower_extension(const std::filesystem::path& name)
{
    return ascii_lower(name.extension().string());
}

// A ZIP says what it holds in its first entries' names, an OpenDocument or
// EPUB in a first entry "mimetype" stored as it is.
NotText zip_kind(std::string_view head, const std::filesystem::path& name)
{
    const auto holds = [&](std::string_view text) { return head.find(text) != std::string_view::npos; };
    if (holds("mimetypeapplication/vnd.oasis.opendocument.spreadsheet")) return NotText::OpenDocumentSpreadsheet;
    if (holds("mimetypeapplication/vnd.oasis.opendocument.text")) return NotText::OpenDocumentText;
    if (holds("mimetypeapplication/vnd.oasis.opendocument.presentation")) return NotText::OpenDocumentPresentation;
    if (holds("mimetypeapplication/epub+zip")) return NotText::Epub;
    if (holds("xl/")) return NotText::ExcelWorkbook;
    if (holds("word/")) return NotText::WordDocument;
    if (holds("ppt/")) return NotText::PowerPointDeck;
    const std::string extension = lower_extension(name);
    if (extension == ".xlsx" || extension == ".xlsm" || extension == ".xltx") return NotText::ExcelWorkbook;
    if (extension == ".docx" || extension == ".docm" || extension == ".dotx") return NotText::WordDocument;
    if (extension == ".pptx" || extension == ".pptm") return NotText::PowerPointDeck;
    if (extension == ".ods") return NotText::OpenDocumentSpreadsheet;
    if (extension == ".odt") return NotText::OpenDocumentText;
    if (extension == ".odp") return NotText::OpenDocumentPresentation;
    if (extension == ".epub") return NotText::Epub;
    return NotText::Zip;
}

}  // namespace

std::optional<NotText> not_text(std::string_view head, const std::filesystem::path& name)
{
    using namespace std::string_view_literals;
    if (starts(head, "PK\x03\x04"sv) || starts(head, "PK\x05\x06"sv) || starts(head, "PK\x07\x08"sv))
        return zip_kind(head, name);
    if (starts(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv)) return NotText::OldOfficeDocument;
    if (starts(head, "%PDF-")) return NotText::Pdf;
    if (starts(head, "\x89PNG\r\n\x1A\n"sv)) return NotText::Png;
    if (starts(head, "\xFF\xD8\xFF"sv)) return NotText::Jpeg;
    if (starts(head, "GIF87a") || starts(head, "GIF89a")) return NotText::Gif;
    if (starts(head, "RIFF") && head.substr(8, 4) == "WEBP") return NotText::Webp;
    if (((starts(head, "\x00\x01\x00\x00"sv) || starts(head, "OTTO") || starts(head, "true")) && sfnt(head)) ||
        starts(head, "ttcf\x00"sv) || ((starts(head, "wOFF") || starts(head, "wOF2")) && woff_flavour(head)))
        return NotText::Font;
    if (starts(head, "\x7F" "ELF"sv) || windows_program(head) || starts(head, "\xCF\xFA\xED\xFE"sv) ||
        starts(head, "\xCE\xFA\xED\xFE"sv) || starts(head, "\xFE\xED\xFA\xCF"sv) ||
        starts(head, "\xFE\xED\xFA\xCE"sv))
        return NotText::Executable;
    if (starts(head, "\x1F\x8B\x08"sv)) return NotText::Gzip;
    if (starts(head, "7z\xBC\xAF\x27\x1C"sv)) return NotText::SevenZip;
    if (starts(head, "Rar!\x1A\x07"sv)) return NotText::Rar;
    if (starts(head, "SQLite format 3\x00"sv)) return NotText::Sqlite;
    return std::nullopt;
}

std::string_view not_text_id(NotText kind)
{
    switch (kind) {
    case NotText::ExcelWorkbook: return "excel-workbook";
    case NotText::WordDocument: return "word-document";
    case NotText::PowerPointDeck: return "powerpoint-deck";
    case NotText::OpenDocumentSpreadsheet: return "opendocument-spreadsheet";
    case NotText::OpenDocumentText: return "opendocument-text";
    case NotText::OpenDocumentPresentation: return "opendocument-presentation";
    case NotText::Epub: return "epub";
    case NotText::Zip: return "zip";
    case NotText::OldOfficeDocument: return "old-office-document";
    case NotText::Pdf: return "pdf";
    case NotText::Png: return "png";
    case NotText::Jpeg: return "jpeg";
    case NotText::Gif: return "gif";
    case NotText::Webp: return "webp";
    case NotText::Font: return "font";
    case NotText::Executable: return "executable";
    case NotText::Gzip: return "gzip";
    case NotText::SevenZip: return "7z";
    case NotText::Rar: return "rar";
    case NotText::Sqlite: return "sqlite";
    }
    return "binary";
}

}  // namespace charlib
