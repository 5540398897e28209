#include "messages/words.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "codec/utf.h"
#include "messages/catalog.h"
#include "wordings/wording.h"

namespace charlib {

namespace {

struct Reason {
    int error;
    const char* english;
};

constexpr Reason reasons[] = {
    {0, N_("there is nothing more")},
    {ENOENT, N_("no such file or folder")},
    {EACCES, N_("permission denied (or the file is read-only)")},
    {EPERM, N_("permission denied (or the file is read-only)")},
    {EEXIST, N_("a file or folder of that name exists")},
    {EISDIR, N_("it is a folder, not a file")},
    {ENODEV, N_("it is not a regular file (a device or a pipe)")},
    {ENOTDIR, N_("a part of the path is not a folder")},
    {ENOTEMPTY, N_("the folder is not empty")},
    {ELOOP, N_("too many symbolic links (perhaps a loop)")},
    {ENOSPC, N_("no space left on the disk")},
#ifdef EDQUOT
    {EDQUOT, N_("the disk quota is exceeded")},
#endif
    {EROFS, N_("the disk or file system is read-only")},
    {EXDEV, N_("cannot move across file systems (not on the same disk or partition)")},
    {EBUSY, N_("the file is in use by another program")},
    {ETXTBSY, N_("the file is in use by another program")},
    {ENAMETOOLONG, N_("the path is too long")},
    {EIO, N_("an input/output error on the device")},
    {EMFILE, N_("too many open files")},
    {ENFILE, N_("too many open files")},
    {EFBIG, N_("the file is too large")},
    {EINVAL, N_("the path or file name is not valid")},
    {ENOMEM, N_("out of memory")},
    {EPIPE, N_("the other end of the pipe is closed")},
    {ENXIO, N_("no such device, or no program reads the other end of the pipe")},
    {EAGAIN, N_("cannot read or write now; try again later")},
    {ESTALE, N_("this file on a network file system is no longer valid")},
};

// 256 MiB, 1 GiB, 1.5 KiB: the limits are round numbers.
std::string in_units(std::uint64_t bytes, Language language)
{
    static constexpr const char* units[] = {"", "KiB", "MiB", "GiB", "TiB"};
    std::size_t unit = 0;
    std::uint64_t whole = bytes, rest = 0;
    while (unit + 1 < std::size(units) && whole >= 1024) {
        rest = whole % 1024;
        whole /= 1024;
        ++unit;
    }
    std::string text = std::to_string(whole);
    if (rest != 0) text += "." + std::to_string(rest * 10 / 1024);
    if (unit == 0) return trn(language, "{count} byte", "{count} bytes", whole, {{"count", text}});
    return text + " " + units[unit];
}

// Names separated by tabs, each quoted, as the language lists them: “a”, “b” or “a”、“b”; a last
// "…" says there are more.
std::string list_text(std::string_view names, Language language)
{
    std::string text;
    for (std::size_t at = 0; at <= names.size();) {
        const std::size_t tab = std::min(names.find('\t', at), names.size());
        const std::string_view name = names.substr(at, tab - at);
        if (!text.empty()) text += language == Language::Chinese ? "、" : ", ";
        text += name == "…" ? std::string(name) : "“" + std::string(name) + "”";
        at = tab + 1;
    }
    return text;
}

std::string value_text(const Value& value, std::string_view style, Language language)
{
    if (const auto* n = std::get_if<std::uint64_t>(&value)) return std::to_string(*n);
    if (const auto* n = std::get_if<std::int64_t>(&value)) return std::to_string(*n);
    if (const auto* s = std::get_if<std::string>(&value)) return style == "list" ? list_text(*s, language) : *s;
    if (const auto* p = std::get_if<std::filesystem::path>(&value)) return p->string();
    if (const auto* c = std::get_if<char32_t>(&value)) return style == "glyph" ? to_utf8(std::u32string_view(c, 1)) : code_point_name(*c);
    if (const auto* b = std::get_if<Bytes>(&value)) return bytes_text(b->count, language);
    if (const auto* e = std::get_if<SystemError>(&value)) return system_reason(e->number, language);
    return {};
}

}  // namespace

std::string system_reason(int system_error, Language language)
{
    for (const Reason& reason : reasons)
        if (reason.error == system_error) return std::string(translate(language, reason.english));
    return std::strerror(system_error);
}

std::string grouped(std::uint64_t number)
{
    const std::string digits = std::to_string(number);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string bytes_text(std::uint64_t bytes, Language language)
{
    const std::string exact =
        trn(language, "{count} byte", "{count} bytes", bytes, {{"count", grouped(bytes)}});
    // The unit only where it says the size exactly, as a limit's round number: 256 MiB, not a
    // 268,435,457-byte file's "256 MiB".
    std::uint64_t unit = 1;
    while (unit < (std::uint64_t{1} << 40) && bytes / unit >= 1024)
        unit *= 1024;
    if (unit == 1 || bytes % unit * 10 % unit != 0) return exact;
    return exact + (language == Language::Chinese ? "（" : " (") + in_units(bytes, language) +
        (language == Language::Chinese ? "）" : ")");
}

namespace {

const Wording* find_wording(Code code)
{
    for (const auto table : {file_wordings(), source_wordings(), format_wordings(), output_wordings(), font_wordings()})
        for (const Wording& w : table)
            if (w.code == code) return &w;
    return nullptr;
}

// The count a wording with a plural turns on; a missing count takes the plural.
std::uint64_t count_of(const Outcome& outcome, const char* field)
{
    const Value* value = outcome.find(field);
    if (const auto* n = value ? std::get_if<std::uint64_t>(value) : nullptr) return *n;
    if (const auto* n = value ? std::get_if<std::int64_t>(value) : nullptr)
        return static_cast<std::uint64_t>(*n);
    return 2;
}

}  // namespace

std::string_view wording(Code code)
{
    const Wording* found = find_wording(code);
    return found ? found->english : std::string_view();
}

std::string words(const Outcome& outcome, Language language)
{
    const Wording* found = find_wording(outcome.code);
    if (!found) return std::string(code_id(outcome.code));
    const std::string_view text = found->plural
        ? translate_plural(language, found->english, found->plural, count_of(outcome, found->count_field))
        : translate(language, found->english);
    return fill(text, [&](std::string_view name, std::string_view style) -> std::optional<std::string> {
        const Value* value = outcome.find(name);
        return value ? std::optional<std::string>(value_text(*value, style, language)) : std::nullopt;
    });
}

std::string words(const Failure& failure, Language language)
{
    std::string said = words(failure.outcome(), language);
    if (failure.notes().empty()) return said;
    const bool chinese = language == Language::Chinese;
    said += chinese ? "（" : " (";
    for (std::size_t i = 0; i < failure.notes().size(); ++i)
        said += (i == 0 ? "" : chinese ? "；" : "; ") + words(failure.notes()[i], language);
    return said + (chinese ? "）" : ")");
}

}  // namespace charlib
