// Makes a PO catalog into C++: one {"msgid", "msgstr"} a line, for
// catalog.cpp to include. An entry with a plural gives two lines, its msgid
// and its msgid_plural (marked true), each with msgstr[0]: the languages we
// translate to have one form, and either English form finds it. Fuzzy, obsolete and untranslated entries are
// left out, so the English shows where a translation is unsure or missing.
#include <gettext-po.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string literal(const char* text)
{
    std::string out = "\"";
    for (const unsigned char c : std::string(text)) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
            out += static_cast<char>(c);
        } else {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            out += octal;
        }
    }
    return out + "\"";
}

void fail(int, po_message_t, const char* filename, size_t lineno, size_t, int, const char* text, po_message_t,
    const char*, size_t, size_t, int, const char* text2)
{
    std::fprintf(stderr, "%s:%zu: %s %s\n", filename ? filename : "", lineno, text ? text : "", text2 ? text2 : "");
    std::exit(1);
}

void fail_one(int severity, po_message_t message, const char* filename, size_t lineno, size_t column, int,
    const char* text)
{
    fail(severity, message, filename, lineno, column, 0, text, nullptr, nullptr, 0, 0, 0, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: po_table CATALOG.po OUT.inc\n");
        return 2;
    }
    po_xerror_handler handler = {fail_one, fail};
    po_file_t file = po_file_read(argv[1], &handler);
    if (!file) return 1;
    std::string table = "// Made from " + std::string(argv[1]) + " when the program is built.\n";
    for (const char* const* domain = po_file_domains(file); *domain; ++domain) {
        po_message_iterator_t it = po_message_iterator(file, *domain);
        while (po_message_t message = po_next_message(it)) {
            const char* id = po_message_msgid(message);
            const char* plural = po_message_msgid_plural(message);
            const char* str = plural ? po_message_msgstr_plural(message, 0) : po_message_msgstr(message);
            if (!*id || !str || !*str || po_message_is_fuzzy(message) || po_message_is_obsolete(message))
                continue;
            table += "{" + literal(id) + ", " + literal(str) + "},\n";
            if (plural) table += "{" + literal(plural) + ", " + literal(str) + ", true},\n";
        }
        po_message_iterator_free(it);
    }
    po_file_free(file);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << table;
    return out.good() ? 0 : 1;
}
