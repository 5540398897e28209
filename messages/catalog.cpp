#include "messages/catalog.h"

#include <algorithm>

namespace charlib {

namespace {

// The texts of po/zh_CN.po, made when the program is built.
constexpr CatalogText chinese_texts[] = {
#include "catalog_zh_CN.inc"
};

}  // namespace

const std::vector<CatalogText>& chinese_catalog()
{
    static const auto catalog = [] {
        std::vector<CatalogText> texts(std::begin(chinese_texts), std::end(chinese_texts));
        std::sort(texts.begin(), texts.end(),
            [](const CatalogText& a, const CatalogText& b) { return a.english < b.english; });
        return texts;
    }();
    return catalog;
}

std::string_view translate(Language language, std::string_view english)
{
    if (language == Language::English || english.empty()) return english;
    const auto& catalog = chinese_catalog();
    const auto found = std::lower_bound(catalog.begin(), catalog.end(), english,
        [](const CatalogText& text, std::string_view id) { return text.english < id; });
    return found != catalog.end() && found->english == english ? found->translation : english;
}

std::string fill(std::string_view text,
    const std::function<std::optional<std::string>(std::string_view name, std::string_view style)>& value_of)
{
    std::string filled;
    filled.reserve(text.size() + 32);
    std::size_t at = 0;
    while (at < text.size()) {
        const auto open = text.find('{', at);
        const auto close = open == std::string_view::npos ? open : text.find('}', open);
        if (close == std::string_view::npos) break;
        std::string_view name = text.substr(open + 1, close - open - 1), style;
        if (const auto colon = name.find(':'); colon != std::string_view::npos) {
            style = name.substr(colon + 1);
            name = name.substr(0, colon);
        }
        filled.append(text.substr(at, open - at));
        if (const std::optional<std::string> value = value_of(name, style))
            filled += *value;
        else
            filled.append(text.substr(open, close - open + 1));
        at = close + 1;
    }
    filled.append(text.substr(at));
    return filled;
}

std::string fill(std::string_view text, std::initializer_list<Arg> args)
{
    return fill(text, [&](std::string_view name, std::string_view style) -> std::optional<std::string> {
        if (!style.empty()) return std::nullopt;
        const auto arg = std::find_if(args.begin(), args.end(), [name](const Arg& a) { return a.name == name; });
        return arg == args.end() ? std::nullopt : std::optional<std::string>(arg->value);
    });
}

std::string_view translate_plural(
    Language language, std::string_view singular, std::string_view plural, std::uint64_t count)
{
    if (language == Language::English) return count == 1 ? singular : plural;
    return translate(language, singular);
}

std::string trn(Language language, std::string_view singular, std::string_view plural, std::uint64_t count,
    std::initializer_list<Arg> args)
{
    return fill(translate_plural(language, singular, plural, count), args);
}

std::string tr(Language language, std::string_view english, std::initializer_list<Arg> args)
{
    return fill(translate(language, english), args);
}

}  // namespace charlib
