// CSV and TSV as spreadsheets write them and Python's csv module, Excel and
// Godot read them: a quote opens a quoted cell only as a cell's first
// character ("" in it is one quote, and what follows its closing quote up to
// the delimiter is text too); anywhere else a quote is text. The cells after
// the header row, keyed by the row's key column when there is one.
#include <algorithm>
#include <cctype>

#include "base/ascii.h"
#include "readers.h"

namespace charlib::formats {

namespace {

constexpr std::size_t largest_header = 65536;  // names kept

// Header names that say the first column holds keys, in lower case.
constexpr std::string_view key_names[] = {
    "keys", "key", "id", "term", "msgid", "identifier", "string_id", "\xe9\x94\xae" /* 键 */};

bool names_keys(std::string_view name)
{
    return std::find(std::begin(key_names), std::end(key_names), ascii_lower(name)) != std::end(key_names);
}

class Table {
public:
    Table(std::string_view text, const EntryOptions& wanted, const EntrySink& sink) :
        text_(text),
        lines_(text),
        wanted_(wanted),
        sink_(sink)
    {
    }

    // A cell of the row being read, with where its text begins.
    void cell(std::string& value, std::size_t start)
    {
        const std::size_t index = column_++;
        if (row_ == 0) {
            // Past this, a "header" is a row of data: its columns go by number.
            if (header_.size() < largest_header) header_.push_back(value);
            return;
        }
        if (key_column_ && index == *key_column_) {
            row_key_ = value;
            key_seen_ = true;
            for (Waiting& waiting : waiting_)
                sink_(waiting.text, row_key_, waiting.line, waiting.column);
            waiting_.clear();
        }
        if (value.empty() || !is_text(index)) return;
        const std::uint64_t line = lines_.line(start), column = lines_.column(start);
        if (key_column_ && !key_seen_) {
            // The key comes later in the row: the cell waits for it.
            waiting_.push_back({value, line, column});
            return;
        }
        if (key_column_) {
            sink_(value, row_key_, line, column);
        } else if (index < header_.size()) {
            sink_(value, header_[index], line, column);
        } else {
            sink_(value, std::to_string(index + 1), line, column);
        }
    }

    void row_end()
    {
        if (row_++ == 0) {
            choose_columns();
        } else {
            for (Waiting& waiting : waiting_)  // a row too short to have a key
                sink_(waiting.text, std::string_view(), waiting.line, waiting.column);
        }
        waiting_.clear();
        row_key_.clear();
        key_seen_ = false;
        column_ = 0;
    }

    // The file has ended: a header never read still has its choices checked.
    void finish()
    {
        if (row_ == 0) choose_columns();
    }

    std::optional<KeyColumn> key_column_found() const { return found_; }

private:
    struct Waiting {
        std::string text;
        std::uint64_t line, column;
    };

    // The header's first names, a tab between each (a list the front end sets out), then "…" when there are more.
    std::string header_names() const
    {
        constexpr std::size_t most_named = 20;
        std::string names;
        for (std::size_t i = 0; i < header_.size() && i < most_named; ++i)
            names += (i == 0 ? "" : "\t") + excerpt(header_[i]);
        return header_.size() > most_named ? names + "\t…" : names;
    }

    // A column by header name, else by number from 1.
    std::size_t column_named(const std::string& name, Code missing) const
    {
        const auto named = std::find(header_.begin(), header_.end(), name);
        if (named != header_.end()) return static_cast<std::size_t>(named - header_.begin());
        const bool number = !name.empty() && name.size() < 10 &&
            std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
        const std::size_t index = number ? std::stoul(name) - 1 : header_.size();
        if (header_.empty()) throw malformed(Code::NoHeaderRow, 1, 1, {{"name", excerpt(name)}});
        if (!number || index >= header_.size())
            throw malformed(missing, 1, 1, {{"name", excerpt(name)}, {"header", header_names()}});
        return index;
    }

    // The header has been read: the key column and the --column choices
    // become column indexes.
    void choose_columns()
    {
        if (!wanted_.key_column) {
            if (!header_.empty() && (header_.front().empty() || names_keys(header_.front()))) {
                key_column_ = 0;
                found_ = KeyColumn{1, header_.front()};
            }
        } else if (!wanted_.key_column->empty()) {
            key_column_ = column_named(*wanted_.key_column, Code::NoSuchKeyColumn);
        }
        for (const std::string& name : wanted_.columns) {
            const std::size_t index = column_named(name, Code::NoSuchColumn);
            if (chosen_.size() < header_.size()) chosen_.resize(header_.size());
            chosen_[index] = true;
        }
    }

    // Every column is text but the key column, unless --column says which.
    bool is_text(std::size_t index) const
    {
        if (wanted_.columns.empty()) return !key_column_ || index != *key_column_;
        return index < chosen_.size() && chosen_[index];
    }

    std::string_view text_;
    LineIndex lines_;
    const EntryOptions& wanted_;
    const EntrySink& sink_;
    std::vector<std::string> header_;
    std::vector<bool> chosen_;  // by column index, with --column
    std::optional<std::size_t> key_column_;
    std::optional<KeyColumn> found_;  // the key column, when taken by its header
    std::size_t row_ = 0, column_ = 0;
    std::string row_key_;
    bool key_seen_ = false;
    std::vector<Waiting> waiting_;  // the text cells before the key column
};

}  // namespace

std::optional<KeyColumn> read_csv(
    std::string_view text, char delimiter, const EntryOptions& options, const EntrySink& sink)
{
    Table table(text, options, sink);
    const auto ends_cell = [&](char c) { return c == delimiter || c == '\n' || c == '\r'; };
    std::string value;
    bool in_row = false;
    for (std::size_t at = 0; at < text.size();) {
        // A blank line is no row.
        if (!in_row && (text[at] == '\n' || text[at] == '\r')) {
            ++at;
            continue;
        }
        in_row = true;
        value.clear();
        std::size_t start = at;
        if (text[at] == '"') {
            const std::size_t quote = at++;
            start = at;
            for (;;) {
                const std::size_t close = text.find('"', at);
                if (close == std::string_view::npos) {
                    const LineIndex lines(text);
                    throw malformed(Code::CsvUnclosedQuote, lines.line(quote), lines.column(quote));
                }
                value.append(text, at, close - at);
                at = close + 1;
                if (at < text.size() && text[at] == '"') {
                    value += '"';
                    ++at;
                } else {
                    break;
                }
            }
        }
        // Up to the delimiter or the line's end: text, quotes and all.
        const std::size_t from = at;
        while (at < text.size() && !ends_cell(text[at]))
            ++at;
        value.append(text, from, at - from);
        table.cell(value, start);
        if (at < text.size() && text[at] == delimiter) {
            ++at;
            if (at == text.size()) table.cell(value.erase(), at);  // "a," ends in an empty cell
            continue;
        }
        if (at < text.size()) at += text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
        table.row_end();
        in_row = false;
    }
    if (in_row) table.row_end();
    table.finish();
    return table.key_column_found();
}

}  // namespace charlib::formats
