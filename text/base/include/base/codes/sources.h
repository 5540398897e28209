#pragma once
// The outcomes of the sources room: X(Name, "json-id"). Each needs a wording in
// messages/ and its translation in po/.
#define CHARLIB_SOURCE_CODES(X)                                                                              \
    /* Why a source was read in its encoding (SourceReport::encoding_reason). */                             \
    /* What detection decides may carry looked_at: Bytes, when only the first part was. */                   \
    X(Bom, "bom") /* a byte-order mark */                                                                    \
    X(Utf16Pattern, "utf-16-pattern") /* encoding: zero bytes in every other place */                        \
    X(Utf16MostlyCjk, "utf-16-mostly-cjk") /* encoding, percent of hanzi beyond ASCII */                     \
    X(ValidUtf8, "valid-utf-8") /* multibyte (when counted) */                                               \
    X(MostlyUtf8, "mostly-utf-8") /* multibyte, invalid */                                                   \
    X(Gb18030FourByte, "gb18030-four-byte") /* four_byte, invalid (when any) */                              \
    X(EmptyFile, "empty")                                                                                    \
    X(AsciiOnly, "ascii-only")                                                                               \
    X(DefaultEncoding, "default") /* none of the above: code page 936 */                                     \
    X(Declared, "declared") /* encoding: as the file declares */                                             \
    X(FormatDefault, "format-default") /* format: what the format is read in */                              \
    /* A source that cannot be used. */                                                                      \
    X(ControlZ, "control-z") /* offset (from 1) */                                                           \
    X(ControlZAtCharacter, "control-z-at-character") /* index, offset */                                     \
    X(NotText, "not-text") /* path, kind */                                                                  \
    X(TranslationFileTooLarge, "translation-file-too-large") /* path, format, size, limit: Bytes */          \
    X(TranslationStreamTooLarge, "translation-stream-too-large") /* path, format, limit */                   \
    X(InvalidSequencesRefused, "invalid-sequences-refused") /* path, count, encoding, line, byte */          \
    /* Warnings of a source that was read. */                                                                \
    X(InvalidSequences, "invalid-sequences") /* path, count, encoding, line, byte */                         \
    X(KeyColumn, "key-column") /* path, column, header */                                                    \
    X(KeyColumnNoHeader, "key-column-no-header") /* path, column */                                          \
    X(UnreadableCues, "unreadable-cues") /* path, count */                                                   \
    X(ReadAsLines, "read-as-lines") /* path: its format is not told by its name */                           \
    X(LineFeedsOnly, "line-feeds-only") /* path: one line under the legacy line ends */                      \
    /* Why a file found in a folder was left out (Skipped::reason). */                                       \
    X(FolderLink, "folder-link")                                                                             \
    X(CannotReadFolder, "cannot-read-folder") /* error */                                                    \
    X(IsAFolder, "is-a-folder")                                                                              \
    X(DanglingLink, "dangling-link")                                                                         \
    X(NotARegularFile, "not-a-regular-file")                                                                 \
    X(SameFile, "same-file") /* other: the path it was read by */                                            \
    /* The instruction set asked for by name. */                                                             \
    X(UnknownIsa, "unknown-isa") /* name, choices */                                                         \
    X(IsaNotHere, "isa-not-here") /* name, choices */
