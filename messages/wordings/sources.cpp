#include "wordings/wording.h"

namespace charlib {

namespace {

// The encoding reasons complete "read as utf-8: …"; the skip reasons stand
// in brackets after the file they left out.
constexpr Wording wordings[] = {
    {Code::Bom, N_("a byte-order mark")},
    {Code::Utf16Pattern, N_("{encoding}: zero bytes in every other place")},
    {Code::Utf16MostlyCjk,
        N_("{encoding}: {percent}% of the characters beyond ASCII are hanzi or full-width")},
    {Code::ValidUtf8, N_("valid UTF-8")},
    {Code::MostlyUtf8,
        NP_("UTF-8 ({multibyte} multibyte sequence valid, {invalid} invalid)",
            "UTF-8 ({multibyte} multibyte sequences valid, {invalid} invalid)"),
        "multibyte"},
    {Code::Gb18030FourByte,
        NP_("{four_byte} GB18030 four-byte sequence", "{four_byte} GB18030 four-byte sequences"),
        "four_byte"},
    {Code::EmptyFile, N_("an empty file")},
    {Code::AsciiOnly, N_("ASCII only")},
    {Code::DefaultEncoding, N_("not UTF-8, UTF-16 or GB18030")},
    {Code::Declared, N_("the file declares {encoding}")},
    {Code::FormatDefault, N_("{format} files are read in it unless they say otherwise")},
    {Code::ControlZ,
        N_("A Control-Z at byte {offset}: this file is not plain text; to read it anyway, change that "
           "character.")},
    {Code::ControlZAtCharacter,
        N_("A Control-Z at character {index} (byte {offset}): this file is not plain text; to read it "
           "anyway, change that character.")},
    {Code::NotText, N_("“{path}” is {kind}, not text")},
    {Code::TranslationFileTooLarge,
        N_("“{path}” has {size}, over the limit of {limit}: it cannot be read as {format} (a translation "
           "file is read whole into memory); split it first")},
    {Code::TranslationStreamTooLarge,
        N_("“{path}” is over the limit of {limit}: it cannot be read as {format} (a translation file is "
           "read whole into memory); split it first")},
    {Code::InvalidSequencesRefused,
        NP_("“{path}” has {count} invalid byte sequence (read as {encoding}), at line {line}, byte {byte}; "
            "the source is not used",
            "“{path}” has {count} invalid byte sequences (read as {encoding}), the first at line {line}, "
            "byte {byte}; the source is not used"),
        "count"},
    {Code::InvalidSequences,
        NP_("“{path}” has {count} invalid byte sequence (read as {encoding}), at line {line}, byte {byte}; "
            "it is taken as U+FFFD",
            "“{path}” has {count} invalid byte sequences (read as {encoding}), the first at line {line}, "
            "byte {byte}; they are taken as U+FFFD"),
        "count"},
    {Code::KeyColumn,
        N_("Column {column} of “{path}” (headed “{header}”) is taken as the key column: it gives each "
           "row's key and is not a translation")},
    {Code::KeyColumnNoHeader,
        N_("Column {column} of “{path}” (with an empty header) is taken as the key column: it gives each "
           "row's key and is not a translation")},
    {Code::UnreadableCues,
        NP_("{count} subtitle block of “{path}” has a timing line no player reads; it is skipped",
            "{count} subtitle blocks of “{path}” have a timing line no player reads; they are skipped"),
        "count"},
    {Code::ReadAsLines, N_("The format of “{path}” is not told by its name: it is read by lines")},
    {Code::LineFeedsOnly,
        N_("“{path}” ends its lines with LF only, never CR: under the legacy line ends the whole file is "
           "one line, and LF counts as a character.")},
    {Code::FolderLink, N_("a link to a folder (not followed)")},
    {Code::CannotReadFolder, N_("cannot read this folder: {error}")},
    {Code::IsAFolder, N_("a folder")},
    {Code::DanglingLink, N_("a link to no file")},
    {Code::NotARegularFile, N_("not a regular file (a pipe, a device or a socket)")},
    {Code::SameFile, N_("the same file as “{other}”, read once")},
    {Code::UnknownIsa, N_("CHARLIB_ISA: unknown instruction set “{name}”; the choices: {choices}")},
    {Code::IsaNotHere,
        N_("CHARLIB_ISA: this processor lacks the {name} instruction set; the choices: {choices}")},
};

}  // namespace

std::span<const Wording> source_wordings()
{
    return wordings;
}

}  // namespace charlib
