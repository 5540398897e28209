#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace charlib {

// What a file plainly is when it is not text at all, as its first bytes say.
enum class NotText {
    ExcelWorkbook,  // .xlsx: a ZIP of xl/...
    WordDocument,  // .docx
    PowerPointDeck,  // .pptx
    OpenDocumentSpreadsheet,
    OpenDocumentText,
    OpenDocumentPresentation,
    Epub,
    Zip,
    OldOfficeDocument,  // .xls, .doc, .ppt: an OLE compound file
    Pdf,
    Png,
    Jpeg,
    Gif,
    Webp,
    Font,  // TrueType, OpenType, a collection, WOFF, WOFF2
    Executable,  // ELF, Windows, Mach-O
    Gzip,
    SevenZip,
    Rar,
    Sqlite,
};

// Told from the first bytes of a file (a few KiB: a ZIP's first entries name
// what it holds) and, for a ZIP that does not say, its name. Nothing when it
// may be text: every signature is one no text begins with.
std::optional<NotText> not_text(std::string_view head, const std::filesystem::path& name);
// The kind as the json names it: "excel-workbook", "pdf".
std::string_view not_text_id(NotText kind);

}  // namespace charlib
