#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/types.h"

namespace charlib {

// "gbk", "gb18030", "utf-8", "utf-16le", "utf-16be".
std::string encoding_name(Encoding encoding);
// A source's: as above, or the other encoding's name as the file or format gives it.
std::string encoding_name(const SourceEncoding& encoding);
// An encoding by any of its usual names, without regard to case: "GBK",
// "cp936", "GB2312" (read as GBK, which holds it), "utf8", "UTF-16LE"...
std::optional<Encoding> encoding_named(std::string_view name);
// Legacy for GBK, as the window reads it; Any for the others.
Newline default_newline(Encoding encoding);

enum class OutputEncoding { Gbk, Gb18030, Utf8 };

struct Encoded {
    std::string bytes;
    std::u32string unmappable;  // characters the encoding cannot hold, each once
    bool replaced_invalid = false;  // U+FFFD, the mark of undecodable input, was written as '?'
};
// Characters in the output encoding. Characters it cannot hold come out as
// '?' and are listed; nothing ever comes out as Control-Z.
Encoded encode_output(std::u32string_view characters, OutputEncoding encoding);

}  // namespace charlib
