#pragma once

// What the formats' tests share: a file read and its entries compared, a
// file refused and its outcome compared, and long inputs made.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/outcome.h"
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

// A field's value as the tests write it.
inline std::string shown(const Value& value)
{
    if (const auto* n = std::get_if<std::uint64_t>(&value)) return std::to_string(*n);
    if (const auto* n = std::get_if<std::int64_t>(&value)) return std::to_string(*n);
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    if (const auto* p = std::get_if<std::filesystem::path>(&value)) return p->string();
    if (const auto* c = std::get_if<char32_t>(&value)) return to_utf8(std::u32string(1, *c));
    if (const auto* b = std::get_if<Bytes>(&value)) return std::to_string(b->count) + " bytes";
    return "errno " + std::to_string(std::get<SystemError>(value).number);
}

// What a file is refused with: the code, the place, and the other fields
// but the path, each "name=value", or "name~part" for a part of a parser's reason.
struct Refusal {
    Code code;
    std::uint64_t line = 0, column = 0;  // 0: not checked
    std::vector<std::string> fields = {};
};

inline void expect_refusal(const Outcome& got, const Refusal& expected)
{
    EXPECT_EQ(code_id(got.code), code_id(expected.code));
    EXPECT_EQ(got.path(), "t");
    if (expected.line) EXPECT_EQ(got.number("line"), expected.line);
    if (expected.column) EXPECT_EQ(got.number("column"), expected.column);
    std::vector<std::string> names;
    for (const Field& field : got.fields)
        if (field.name != "path" && field.name != "line" && field.name != "column")
            names.emplace_back(field.name);
    std::vector<std::string> expected_names;
    for (const std::string& item : expected.fields) {
        const std::size_t mark = item.find_first_of("=~");
        const std::string name = item.substr(0, mark), value = item.substr(mark + 1);
        expected_names.push_back(name);
        const Value* field = got.find(name);
        if (!field) continue;
        if (item[mark] == '=')
            EXPECT_EQ(shown(*field), value) << name;
        else
            EXPECT_NE(shown(*field).find(value), std::string::npos) << name << ": " << shown(*field);
    }
    EXPECT_EQ(names, expected_names);
}

// What read_entries refuses the file "t" with; nothing when it reads it (`count`: its entries).
inline std::optional<Outcome> refusal_of(
    TextFormat format, std::string_view bytes, const EntryOptions& options = {}, std::size_t* count = nullptr)
{
    try {
        const EntriesRead read = read_entries(format, bytes, "t", options);
        if (count) *count = read.entries.size();
        return std::nullopt;
    } catch (const Failure& failure) {
        return failure.outcome();
    }
}

// A file a reader refuses, where and why.
struct Refused {
    TextFormat format;
    std::string bytes;
    Refusal refusal;
    EntryOptions options = {};
};

inline void expect_refused(const Refused& test)
{
    SCOPED_TRACE(test.bytes.substr(0, 100));
    const std::optional<Outcome> got = refusal_of(test.format, test.bytes, test.options);
    ASSERT_TRUE(got) << "read";
    expect_refusal(*got, test.refusal);
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
