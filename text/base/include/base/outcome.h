#pragma once
// What happened, as the core reports it: a code and the data that says where
// and how much. The core never words an outcome; the front ends do, in the
// user's language (messages/). A failure travels as the one exception type
// Failure; warnings travel as a list of outcomes (Notes) that a run returns.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/codes/files.h"
#include "base/codes/font.h"
#include "base/codes/formats.h"
#include "base/codes/output.h"
#include "base/codes/sources.h"

namespace charlib {

#define CHARLIB_CODE_ENUM(name, id) name,
// Every outcome the core reports; each room keeps its list in base/codes/.
enum class Code : std::uint16_t {
    CHARLIB_FILE_CODES(CHARLIB_CODE_ENUM)
    CHARLIB_SOURCE_CODES(CHARLIB_CODE_ENUM)
    CHARLIB_FORMAT_CODES(CHARLIB_CODE_ENUM)
    CHARLIB_OUTPUT_CODES(CHARLIB_CODE_ENUM)
    CHARLIB_FONT_CODES(CHARLIB_CODE_ENUM)
};
#undef CHARLIB_CODE_ENUM

// The code as the json names it: "valid-utf-8", "cannot-open".
std::string_view code_id(Code code);
// Every code, in order: for tables that must cover them all.
const std::vector<Code>& all_codes();

// A size in bytes, worded with its unit: "268,435,456 bytes (256 MiB)".
struct Bytes {
    std::uint64_t count = 0;
    bool operator==(const Bytes&) const = default;
};
// An errno value, worded as the system's reason.
struct SystemError {
    int number = 0;
    bool operator==(const SystemError&) const = default;
};

// A number, a text from the data (UTF-8: an encoding's name, a tag, a key, a
// library's own reason as it gave it), a path, a character, a size or errno.
using Value = std::variant<std::uint64_t, std::int64_t, std::string, std::filesystem::path, char32_t, Bytes, SystemError>;

struct Field {
    std::string_view name;  // a literal: the wording's placeholder, {name}
    Value value;
    bool operator==(const Field&) const = default;
};

struct Outcome {
    Code code{};
    std::vector<Field> fields;

    Outcome() = default;
    Outcome(Code code, std::vector<Field> fields = {}) : code(code), fields(std::move(fields)) {}

    const Value* find(std::string_view name) const;
    // The field's value, or an empty one of its type when there is none.
    std::uint64_t number(std::string_view name) const;
    std::string text(std::string_view name) const;
    std::filesystem::path path(std::string_view name = "path") const;
    // Sets the field, replacing one of the same name.
    Outcome& with(std::string_view name, Value value);
    bool operator==(const Outcome&) const = default;
};

// Warnings of a run, in the order they arose.
using Notes = std::vector<Outcome>;

// The one exception the core throws. what() is the code's id, for logs; the
// front ends word outcome(), then its notes: what else the failure left
// behind (a file replaced before a later one failed).
class Failure : public std::runtime_error {
public:
    explicit Failure(Outcome outcome, Notes notes = {});
    Failure(Code code, std::vector<Field> fields = {}) : Failure(Outcome(code, std::move(fields))) {}
    const Outcome& outcome() const noexcept { return outcome_; }
    Outcome& outcome() noexcept { return outcome_; }
    const Notes& notes() const noexcept { return notes_; }

private:
    Outcome outcome_;
    Notes notes_;
};

}  // namespace charlib
