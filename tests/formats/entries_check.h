#pragma once

// What the formats' tests share: a file read and its entries compared, a
// file refused and its message searched, and long inputs made.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messages/words.h"
#include "codec/utf.h"
#include "formats/entries.h"

namespace charlib {

// An entry as expected: text and key in UTF-8, where its text begins (0: not checked).
struct Expected {
    std::string text, key;
    std::uint64_t line = 0, column = 0;
};

inline void expect_entries(const EntriesRead& read, const std::vector<Expected>& entries)
{
    ASSERT_EQ(read.entries.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = read.entries[i];
        const Expected& expected = entries[i];
        EXPECT_EQ(to_utf8(entry.text), expected.text) << i;
        EXPECT_EQ(entry.key, expected.key) << i;
        EXPECT_EQ(std::pair(expected.line ? entry.line : 0, expected.column ? entry.column : 0),
            std::pair(expected.line, expected.column))
            << i;
    }
}

// A file read whole: its entries, and the encoding it was read in.
struct Read {
    const char* name;
    TextFormat format;
    const char* path;
    std::string bytes;
    std::vector<Expected> entries;
    EntryOptions options = {};
    const char* encoding = "";  // as read_entries names it; "": not checked
};

inline void expect_read(const Read& test)
{
    SCOPED_TRACE(test.name);
    const EntriesRead read = read_entries(test.format, test.bytes, test.path, test.options);
    expect_entries(read, test.entries);
    if (*test.encoding) {
        EXPECT_EQ(read.encoding, test.encoding);
    }
}

// The message read_entries throws, or "" when the file is read (`count`: its entries).
inline std::string error_of(
    TextFormat format, std::string_view bytes, const EntryOptions& options = {}, std::size_t* count = nullptr)
{
    try {
        const EntriesRead read = read_entries(format, bytes, "t", options);
        if (count) *count = read.entries.size();
        return "";
    } catch (const Failure& failure) {
        return words(failure, Language::Chinese);
    }
}

// A file a reader refuses, where and why.
struct Refused {
    TextFormat format;
    std::string bytes;
    const char* place;  // "第 L 行第 C 列"
    const char* reason = "";  // a part of the message
    EntryOptions options = {};
};

inline void expect_refused(const Refused& test)
{
    SCOPED_TRACE(test.bytes.substr(0, 100));
    const std::string error = error_of(test.format, test.bytes, test.options);
    EXPECT_NE(error.find(test.place), std::string::npos) << "read, or elsewhere: " << error;
    EXPECT_NE(error.find(test.reason), std::string::npos) << error;
}

inline std::string repeated(std::string_view piece, std::size_t times)
{
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

// Pieces numbered from 0: "<b id=0>", "<b id=1>"...
inline std::string numbered(std::string_view before, std::string_view after, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text.append(before).append(std::to_string(i)).append(after);
    return text;
}

}  // namespace charlib
