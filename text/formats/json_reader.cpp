// JSON (and Flutter .arb): every string value, with its path as the key.
#include <cstddef>
#include <iterator>
#include <nlohmann/json.hpp>

#include "readers.h"

namespace charlib::formats {

namespace {

using Json = nlohmann::json;

// Reads the text for nlohmann's parser and counts the bytes it has taken,
// since the parser does not tell where a value is.
class CountingIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountingIterator(const char* at, std::size_t* taken) : at_(at), taken_(taken) { }
    reference operator*() const { return *at_; }
    CountingIterator& operator++()
    {
        ++at_;
        ++*taken_;
        return *this;
    }
    CountingIterator operator++(int)
    {
        CountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const CountingIterator& other) const { return at_ == other.at_; }

private:
    const char* at_;
    std::size_t* taken_;
};

// The opening quote of the string whose closing quote ends text[..end). No
// backslash stands outside a JSON string, so the first quote that follows
// an even run of backslashes, going back, opens the string.
std::size_t opening_quote(std::string_view text, std::size_t end)
{
    std::size_t close = text.substr(0, end).rfind('"');
    if (close == std::string_view::npos) return 0;
    for (std::size_t at = close; at-- > 0;) {
        if (text[at] != '"') continue;
        std::size_t backslashes = 0;
        while (backslashes < at && text[at - 1 - backslashes] == '\\')
            ++backslashes;
        if (backslashes % 2 == 0) return at;
    }
    return 0;
}

class EntryCollector : public nlohmann::json_sax<Json> {
public:
    EntryCollector(std::string_view text, bool arb, const std::size_t& taken) :
        text_(text),
        lines_(text),
        arb_(arb),
        taken_(taken)
    {
    }

    std::vector<Entry> entries;
    std::optional<Malformed> error;

    bool null() override { return begin_value(); }
    bool boolean(bool) override { return begin_value(); }
    bool number_integer(number_integer_t) override { return begin_value(); }
    bool number_unsigned(number_unsigned_t) override { return begin_value(); }
    bool number_float(number_float_t, const string_t&) override { return begin_value(); }
    bool binary(binary_t&) override { return begin_value(); }
    bool string(string_t& value) override
    {
        begin_value();
        if (!skipped_ && !value.empty()) {
            // The parser has just taken the closing quote.
            const std::size_t quote = opening_quote(text_, std::min(taken_, text_.size()));
            entries.push_back({characters_of(value), path_, lines_.line(quote), lines_.column(quote)});
        }
        return true;
    }
    bool start_object(std::size_t) override { return begin_container(false); }
    bool start_array(std::size_t) override { return begin_container(true); }
    bool end_object() override { return end_container(); }
    bool end_array() override { return end_container(); }
    bool key(string_t& name) override
    {
        const Frame& object = frames_.back();
        path_.resize(object.path_length);
        if (!path_.empty()) path_ += '.';
        path_ += name;
        skipped_ = object.skipped || (arb_ && name.starts_with('@'));
        return true;
    }
    bool parse_error(
        std::size_t position, const std::string&, const nlohmann::detail::exception& exception) override
    {
        // position counts the bytes read, the offending one included.
        const std::size_t offset = std::min(position > 0 ? position - 1 : 0, text_.size());
        std::string reason = exception.what();
        if (const std::size_t colon = reason.find(": "); colon != std::string::npos)
            reason.erase(0, colon + 2);
        error.emplace(lines_.line(offset), lines_.column(offset), "JSON 语法错误：" + reason);
        return false;
    }

private:
    struct Frame {
        bool array;
        bool skipped;  // an .arb member whose key begins with '@', or inside one
        std::size_t path_length;  // the container's own path
        std::size_t next_index = 0;
    };

    // An array element's path; an object member's was set by key().
    bool begin_value()
    {
        if (!frames_.empty() && frames_.back().array) {
            Frame& array = frames_.back();
            path_.resize(array.path_length);
            path_ += '[' + std::to_string(array.next_index++) + ']';
            skipped_ = array.skipped;
        }
        return true;
    }
    bool begin_container(bool array)
    {
        begin_value();
        frames_.push_back({array, skipped_, path_.size()});
        return true;
    }
    bool end_container()
    {
        frames_.pop_back();
        return true;
    }

    std::string_view text_;
    LineIndex lines_;
    bool arb_;
    const std::size_t& taken_;
    std::vector<Frame> frames_;
    std::string path_;
    bool skipped_ = false;
};

}  // namespace

// An entry's place is its opening quote.
std::vector<Entry> read_json(std::string_view text, bool arb)
{
    std::size_t taken = 0;
    EntryCollector collector(text, arb, taken);
    Json::sax_parse(CountingIterator(text.data(), &taken),
        CountingIterator(text.data() + text.size(), &taken), &collector);
    if (collector.error) throw *collector.error;
    return std::move(collector.entries);
}

}  // namespace charlib::formats
