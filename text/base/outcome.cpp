#include "base/outcome.h"

#include <algorithm>

namespace charlib {

std::string_view code_id(Code code)
{
#define CHARLIB_CODE_ID(name, id) case Code::name: return id;
    switch (code) {
        CHARLIB_FILE_CODES(CHARLIB_CODE_ID)
        CHARLIB_SOURCE_CODES(CHARLIB_CODE_ID)
        CHARLIB_FORMAT_CODES(CHARLIB_CODE_ID)
        CHARLIB_OUTPUT_CODES(CHARLIB_CODE_ID)
        CHARLIB_FONT_CODES(CHARLIB_CODE_ID)
    }
#undef CHARLIB_CODE_ID
    return "unknown";
}

const std::vector<Code>& all_codes()
{
#define CHARLIB_CODE_ITEM(name, id) Code::name,
    static const std::vector<Code> codes = {
        CHARLIB_FILE_CODES(CHARLIB_CODE_ITEM)
        CHARLIB_SOURCE_CODES(CHARLIB_CODE_ITEM)
        CHARLIB_FORMAT_CODES(CHARLIB_CODE_ITEM)
        CHARLIB_OUTPUT_CODES(CHARLIB_CODE_ITEM)
        CHARLIB_FONT_CODES(CHARLIB_CODE_ITEM)
    };
#undef CHARLIB_CODE_ITEM
    return codes;
}

const Value* Outcome::find(std::string_view name) const
{
    const auto field = std::find_if(fields.begin(), fields.end(), [name](const Field& f) { return f.name == name; });
    return field == fields.end() ? nullptr : &field->value;
}

std::uint64_t Outcome::number(std::string_view name) const
{
    const Value* value = find(name);
    if (!value) return 0;
    if (const auto* n = std::get_if<std::uint64_t>(value)) return *n;
    if (const auto* n = std::get_if<std::int64_t>(value)) return static_cast<std::uint64_t>(*n);
    if (const auto* b = std::get_if<Bytes>(value)) return b->count;
    if (const auto* c = std::get_if<char32_t>(value)) return *c;
    return 0;
}

std::string Outcome::text(std::string_view name) const
{
    const Value* value = find(name);
    if (!value) return {};
    if (const auto* s = std::get_if<std::string>(value)) return *s;
    if (const auto* p = std::get_if<std::filesystem::path>(value)) return p->string();
    return {};
}

std::filesystem::path Outcome::path(std::string_view name) const
{
    const Value* value = find(name);
    if (!value) return {};
    if (const auto* p = std::get_if<std::filesystem::path>(value)) return *p;
    if (const auto* s = std::get_if<std::string>(value)) return *s;
    return {};
}

Outcome& Outcome::with(std::string_view name, Value value)
{
    const auto field = std::find_if(fields.begin(), fields.end(), [name](const Field& f) { return f.name == name; });
    if (field != fields.end())
        field->value = std::move(value);
    else
        fields.push_back({name, std::move(value)});
    return *this;
}

Failure::Failure(Outcome outcome, Notes notes) :
    std::runtime_error(std::string(code_id(outcome.code))),
    outcome_(std::move(outcome)),
    notes_(std::move(notes))
{
}

}  // namespace charlib
