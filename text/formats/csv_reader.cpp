// CSV and TSV (RFC 4180) through libcsv: the cells after the header row.
#include <csv.h>

#include <algorithm>
#include <exception>
#include <memory>

#include "readers.h"

namespace charlib::formats {

namespace {

// What libcsv's callbacks see. They must not throw through C code, so a
// problem is kept here and thrown after csv_parse returns.
constexpr std::size_t largest_header = 65536;  // names kept

struct Table {
    Table(std::string_view text, const LineIndex& lines, const std::vector<std::string>& wanted,
        const EntrySink& sink) :
        text(text),
        lines(lines),
        wanted(wanted),
        sink(sink)
    {
    }

    std::string_view text;
    const LineIndex& lines;
    const std::vector<std::string>& wanted;  // as --column gave them
    std::vector<std::string> header;
    std::vector<bool> chosen;  // by column index; empty: every column
    std::size_t row = 0, column = 0;
    std::size_t cell_start = std::string_view::npos;  // where the cell being read began
    std::optional<Malformed> error;
    CallbackGuard guard;  // what the sink throws waits for libcsv to return
    const EntrySink& sink;
    std::string entry;

    std::string header_names() const
    {
        std::string names;
        for (const std::string& name : header)
            names += (names.empty() ? "“" : "、“") + name + "”";
        return names.empty() ? "表头为空" : "表头的列：" + names;
    }

    // The header has been read: the --column choices become column indexes.
    void choose_columns()
    {
        for (const std::string& name : wanted) {
            const auto named = std::find(header.begin(), header.end(), name);
            std::size_t index = static_cast<std::size_t>(named - header.begin());
            if (named == header.end()) {
                const bool number = !name.empty() && name.size() < 10 &&
                    std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
                index = number ? std::stoul(name) - 1 : header.size();
                if (!number || index >= header.size()) {
                    error.emplace(1, 1, "没有名为“" + name + "”的列（" + header_names() + "）");
                    return;
                }
            }
            if (chosen.size() < header.size()) chosen.resize(header.size());
            chosen[index] = true;
        }
    }

    void cell(std::string_view value)
    {
        const std::size_t index = column++;
        if (row == 0) {
            // Past this, a "header" is a row of data: its columns go by number.
            if (header.size() < largest_header) header.emplace_back(value);
            return;
        }
        if (value.empty() || error || guard.failed() ||
            (!chosen.empty() && (index >= chosen.size() || !chosen[index])))
            return;
        const std::size_t start = std::min(cell_start, text.size());
        entry = value;
        const std::string number = index < header.size() ? std::string() : std::to_string(index + 1);
        // libcsv is fed a cell at a time: the reader stops feeding it on a failure.
        guard.run(
            [&] {
                sink(entry, index < header.size() ? std::string_view(header[index]) : number,
                    lines.line(start), lines.column(start));
            },
            [] {});
    }

    void row_end()
    {
        if (row++ == 0 && !wanted.empty()) choose_columns();
        column = 0;
    }
};

void on_cell(void* field, std::size_t length, void* table)
{
    auto& into = *static_cast<Table*>(table);
    into.cell(std::string_view(static_cast<const char*>(field), field ? length : 0));
    into.cell_start = std::string_view::npos;
}

void on_row_end(int, void* table)
{
    static_cast<Table*>(table)->row_end();
}

// libcsv's reason, after ours when it is a parse error.
std::string reason_of(csv_parser& parser, const std::string& parse_error)
{
    const int error = csv_error(&parser);
    return "CSV 格式错误：" + (error == CSV_EPARSE ? parse_error : "无法读取") + "（" + csv_strerror(error) +
        "）";
}

bool is_blank(char c, char delimiter)
{
    return c != delimiter && (c == ' ' || c == '\t' || c == '\r' || c == '\n');
}

}  // namespace

// A cell's place is its first character that is not a space: the opening
// quote of a quoted cell.
void read_csv(
    std::string_view text, char delimiter, const std::vector<std::string>& columns, const EntrySink& sink)
{
    const LineIndex lines(text);
    Table table(text, lines, columns, sink);
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) throw Malformed(1, 1, "CSV 解析器无法初始化");
    const std::unique_ptr<csv_parser, void (*)(csv_parser*)> freed(&parser, csv_free);
    csv_set_delim(&parser, static_cast<unsigned char>(delimiter));

    // Fed up to each delimiter or line break, the only bytes at which libcsv
    // ends a cell, so that a cell's start is known when it ends.
    const char separators[] = {delimiter, '\r', '\n', '\0'};
    std::size_t at = 0;
    while (at < text.size() && !table.error && !table.guard.failed()) {
        const std::size_t stop = std::min(text.find_first_of(separators, at), text.size() - 1);
        if (table.cell_start == std::string_view::npos)
            for (std::size_t i = at; i <= stop; ++i)
                if (!is_blank(text[i], delimiter)) {
                    table.cell_start = i;
                    break;
                }
        const std::size_t length = stop + 1 - at;
        const std::size_t parsed = csv_parse(&parser, text.data() + at, length, on_cell, on_row_end, &table);
        if (parsed != length) {
            const std::size_t place = std::min(at + parsed, text.size() - 1);
            throw Malformed(lines.line(place), lines.column(place), reason_of(parser, "引号的位置不对"));
        }
        at = stop + 1;
    }
    table.guard.rethrow();
    if (!table.error && csv_fini(&parser, on_cell, on_row_end, &table) != 0) {
        const std::size_t start = std::min(table.cell_start, text.size());
        throw Malformed(lines.line(start), lines.column(start), reason_of(parser, "引号没有闭合"));
    }
    if (!table.error && table.row == 0 && !columns.empty()) table.choose_columns();
    table.guard.rethrow();
    if (table.error) throw *table.error;
}

}  // namespace charlib::formats
