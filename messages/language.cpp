#include "messages/language.h"

#include <cstdlib>
#include <string_view>

namespace charlib {

namespace {

bool is_chinese(std::string_view value) { return value.substr(0, 2) == "zh"; }

// English is the source language: always there, as a catalog would be.
bool is_english(std::string_view value)
{
    return value.substr(0, 2) == "en" || value == "C" || value.substr(0, 2) == "C." || value == "POSIX";
}

}  // namespace

Language language_from(const std::function<const char*(const char*)>& variable)
{
    if (const char* list = variable("LANGUAGE"); list && *list) {
        std::string_view rest = list;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view entry = rest.substr(0, colon);
            if (is_chinese(entry)) return Language::Chinese;
            if (is_english(entry)) return Language::English;
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = variable(name);
        if (value && *value) return is_chinese(value) ? Language::Chinese : Language::English;
    }
    return Language::English;
}

Language user_language()
{
    return language_from([](const char* name) { return std::getenv(name); });
}

}  // namespace charlib
