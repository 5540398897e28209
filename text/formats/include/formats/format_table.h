#pragma once
// Every text format, declared once: its name, extensions, how its encoding is
// decided, what its entries have and (privately) its reader. -t and -t auto,
// the help, the option checks, read_entries, the README's table (checked by
// a test) and the fuzzer are made from it.

#include <string_view>
#include <vector>

#include "formats/entries.h"

namespace charlib {

// How a format's encoding is decided when -e does not say.
enum class EncodingRule {
    FromBytes,  // told from the bytes: a byte-order mark, UTF-16's NULs, valid UTF-8, GB18030, else GBK
    Declared,  // what the file declares (a PO charset, an XML declaration), else UTF-8
    Utf8,  // UTF-8, as the format's standard says (a byte-order mark may say UTF-16)
    Utf8ElseFromBytes,  // a byte-order mark, valid UTF-8, else told from the bytes
    Utf8ElseLatin1,  // valid UTF-8, else ISO-8859-1 (Java's .properties)
};

struct FormatInfo {
    TextFormat format;
    std::string_view name;  // as -t takes it
    // Lower case, with the dot. -t auto tells the translation formats by them;
    // lines' are what -r reads as lines, never told (a .txt may be anything).
    std::vector<std::string_view> extensions;
    EncodingRule encoding;
    bool keyed = false;  // its entries have keys that --key matches
    std::string_view summary;  // one line in English, for the help; the front ends translate it
    std::string_view xml_root = {};  // a .xml file is of this format when its root element is this
};

// Lines first, then the translation formats, each once.
const std::vector<FormatInfo>& text_formats();
const FormatInfo& format_info(TextFormat format);

}  // namespace charlib
