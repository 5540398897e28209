#include "messages/catalog.h"

#include <algorithm>

namespace charlib {

namespace {

// msgid, msgstr pairs from po/zh_CN.po, made when the program is built.
constexpr std::pair<std::string_view, std::string_view> chinese_entries[] = {
#include "catalog_zh_CN.inc"
};

}  // namespace

const std::vector<std::pair<std::string_view, std::string_view>>& chinese_catalog()
{
    static const auto catalog = [] {
        std::vector<std::pair<std::string_view, std::string_view>> entries(
            std::begin(chinese_entries), std::end(chinese_entries));
        std::sort(entries.begin(), entries.end());
        return entries;
    }();
    return catalog;
}

std::string_view translate(Language language, std::string_view english)
{
    if (language == Language::English || english.empty()) return english;
    const auto& catalog = chinese_catalog();
    const auto found = std::lower_bound(catalog.begin(), catalog.end(), english,
        [](const auto& entry, std::string_view id) { return entry.first < id; });
    return found != catalog.end() && found->first == english ? found->second : english;
}

std::string fill(std::string_view text, std::initializer_list<Arg> args)
{
    std::string filled;
    filled.reserve(text.size() + 32);
    std::size_t at = 0;
    while (at < text.size()) {
        const auto open = text.find('{', at);
        const auto close = open == std::string_view::npos ? open : text.find('}', open);
        if (close == std::string_view::npos) break;
        const std::string_view name = text.substr(open + 1, close - open - 1);
        const auto arg = std::find_if(args.begin(), args.end(), [name](const Arg& a) { return a.name == name; });
        filled.append(text.substr(at, open - at));
        if (arg != args.end())
            filled += arg->value;
        else
            filled.append(text.substr(open, close - open + 1));
        at = close + 1;
    }
    filled.append(text.substr(at));
    return filled;
}

std::string tr(Language language, std::string_view english, std::initializer_list<Arg> args)
{
    return fill(translate(language, english), args);
}

}  // namespace charlib
