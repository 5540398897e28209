#pragma once
// What charlib-cli says of itself, made from its table of options: --help,
// the man page in each language, and the bash completion; and the windows' man pages.

#include <string>
#include <string_view>

#include "messages/language.h"

namespace charlib::cli {

// Columns a character, or UTF-8 text, takes in a terminal: two for hanzi and full-width forms.
std::size_t columns_of(char32_t c);
std::size_t columns_of(std::string_view utf8);

struct OptionInfo;
// An option's help, with its allowed values and its default: as --help shows it, and a window's tooltip.
std::string option_help(const OptionInfo& option, Language language);

// What --help shows, wrapped to `width` columns (a hanzi takes two).
std::string help_text(Language language, std::size_t width = 80);
// What charlib-cli build --help shows.
std::string build_help_text(Language language, std::size_t width = 80);
// The man page charlib-cli.1, in groff's man macros.
std::string man_page(Language language, const std::string& version);
// The man page of the window, charlib.1.
std::string window_man_page(Language language, const std::string& version);
// The man page of Charlib Studio, charlib-studio.1.
std::string studio_man_page(Language language, const std::string& version);
// The bash completion: the options, their values, font files, the faces of
// the --font on the line and the header cells of the CSV or TSV on the line.
std::string bash_completion();

}  // namespace charlib::cli
