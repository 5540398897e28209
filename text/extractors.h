#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "text/pipeline.h"

// The two ways extract_source reads a source, and what they share.
namespace charlib {

class ByteLines;

// extract_source reads a large file of code page 936 or UTF-8 as parts side
// by side, one a thread, when lines are taken on their own (no offset): as
// many parts as threads, none smaller than `least_part_bytes`. Tests change
// these to force parts on small files.
inline unsigned extract_threads = std::max(1u, std::thread::hardware_concurrency());
inline std::uint64_t least_part_bytes = std::uint64_t{16} << 20;

// Code page 936 or UTF-8, lines and markers found in the bytes (extract.cpp).
Tally extract_from_bytes(ByteLines& lines, const SourceFormat& format, const Selection& selection);

// Characters as they arrive, in pieces of any size: finds the lines, tests
// them for the marker and tallies the selected ones (code_points.cpp).
class CodePointExtractor {
public:
    CodePointExtractor(Newline newline, const Selection& selection);
    ~CodePointExtractor();
    // False once the text has ended at U+001A, the Control-Z of Unicode.
    bool feed(std::u32string_view characters);
    Tally finish();
    std::uint64_t line() const;  // the line the next character belongs to, from 1
    std::uint64_t lines() const;  // lines so far; after finish, all of them
    std::uint64_t selected_lines() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Finds the marker in characters fed one at a time (Knuth-Morris-Pratt), for
// lines that arrive in pieces or markers that cannot be looked for as bytes.
class MarkerMatcher {
public:
    explicit MarkerMatcher(std::u32string marker) :
        marker_(std::move(marker)),
        fallback_(marker_.size() + 1, 0)
    {
        for (std::size_t i = 1, k = 0; i < marker_.size(); ++i) {
            while (k > 0 && marker_[i] != marker_[k])
                k = fallback_[k];
            if (marker_[i] == marker_[k]) ++k;
            fallback_[i + 1] = k;
        }
    }
    void reset()
    {
        matched_ = 0;
        found_ = false;
    }
    // True once the marker has been found in what was fed since the reset;
    // an empty marker is found at the first character.
    bool feed(char32_t c)
    {
        while (matched_ > 0 && marker_[matched_] != c)
            matched_ = fallback_[matched_];
        if (matched_ < marker_.size() && marker_[matched_] == c) ++matched_;
        if (matched_ == marker_.size()) {
            found_ = true;
            matched_ = fallback_[matched_];
        }
        return found_;
    }
    bool found() const { return found_; }

private:
    std::u32string marker_;
    std::vector<std::size_t> fallback_;
    std::size_t matched_ = 0;
    bool found_ = false;
};

// UTF-16 to code points: a surrogate pair is one, a lone surrogate stays.
std::u32string code_points(std::u16string_view text);

// Where an ill-formed sequence began: its first byte and its U+FFFD.
struct InvalidPlace {
    std::size_t byte = 0;
    std::size_t character = 0;
};

// UTF-8 decoded as ICU decodes it: each maximal part of an ill-formed
// sequence becomes one U+FFFD, noted in `invalid` when given. Decodes whole
// sequences only, and returns how many bytes it used; at the end of the
// input (`last`) it uses them all.
std::size_t decode_utf8(std::string_view bytes, bool last, std::u32string& characters,
    std::vector<InvalidPlace>* invalid = nullptr);
// The same into `out`, which has room for a character per byte; `produced`
// tells how many it wrote, and the places count from `out`.
std::size_t decode_utf8(std::string_view bytes, bool last, char32_t* out, std::size_t& produced,
    std::vector<InvalidPlace>* invalid);

}  // namespace charlib
