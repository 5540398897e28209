// JSON (and Flutter .arb): every string value, with its path as the key.
#include <cstddef>
#include <iterator>
#include <nlohmann/json.hpp>

#include "readers.h"

namespace charlib::formats {

namespace {

using Json = nlohmann::json;

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The end of the JSON number at text[at], or `at` when none stands there
// whole: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?, then no more of one.
// `looked` tells how far it read.
std::size_t number_end(std::string_view text, std::size_t at, std::size_t& looked)
{
    std::size_t i = at;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && is_digit(text[i]))
            ++i;
        return i > start;
    };
    bool whole = true;
    if (i < text.size() && text[i] == '-') ++i;
    if (i < text.size() && text[i] == '0')
        ++i;
    else
        whole = digits();
    if (whole && i < text.size() && text[i] == '.') {
        ++i;
        whole = digits();
    }
    if (whole && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        if (++i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        whole = digits();
    }
    whole = whole && !(i < text.size() && (is_digit(text[i]) || text[i] == '.' || text[i] == 'e' ||
                                              text[i] == 'E' || text[i] == '+' || text[i] == '-'));
    looked = i;
    return whole ? i : at;
}

// The text as nlohmann's parser reads it, a character at a time, with what
// the parser does not tell: where each string opens. Numbers are not text:
// each well-formed one reaches the parser as 0, so one it could not hold
// (1e400, a million digits) costs nothing; a malformed one reaches it as
// written, for it to report.
class Feed {
public:
    explicit Feed(std::string_view text) : text_(text) { load(); }

    bool at_end() const { return at_ >= text_.size() && !zero_; }
    char current() const { return zero_ ? '0' : text_[at_]; }
    void advance()
    {
        last_ = at_;
        if (zero_) {
            zero_ = false;
            at_ = number_end_;
        } else {
            step();
            ++at_;
        }
        load();
    }
    std::size_t last() const { return last_; }  // the byte last read
    std::size_t opening_quote() const { return quote_; }  // of the string last opened

private:
    // What text_[at_] means for the strings around it.
    void step()
    {
        const char c = text_[at_];
        if (escaped_) {
            escaped_ = false;
        } else if (in_string_) {
            if (c == '\\') escaped_ = true;
            if (c == '"') in_string_ = false;
        } else if (c == '"') {
            in_string_ = true;
            quote_ = at_;
        }
    }
    void load()
    {
        // A malformed number is looked at once, from its start, not again from each of its characters.
        if (in_string_ || zero_ || at_ >= text_.size() || at_ < looked_) return;
        const char c = text_[at_];
        if (c != '-' && !is_digit(c)) return;
        number_end_ = number_end(text_, at_, looked_);
        zero_ = number_end_ > at_;
    }

    std::string_view text_;
    std::size_t at_ = 0, last_ = 0, quote_ = 0, number_end_ = 0, looked_ = 0;
    bool in_string_ = false, escaped_ = false, zero_ = false;
};

class FeedIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = char;

    explicit FeedIterator(Feed* feed) : feed_(feed) { }
    char operator*() const { return feed_->current(); }
    FeedIterator& operator++()
    {
        feed_->advance();
        return *this;
    }
    FeedIterator operator++(int)
    {
        FeedIterator before = *this;
        ++*this;
        return before;
    }
    // Only ever compared with the end, which has no feed.
    bool operator==(const FeedIterator& other) const
    {
        const bool ended = !feed_ || feed_->at_end(), other_ended = !other.feed_ || other.feed_->at_end();
        return ended == other_ended;
    }

private:
    Feed* feed_;
};

class EntryCollector : public nlohmann::json_sax<Json> {
public:
    EntryCollector(std::string_view text, bool arb, const Feed& feed, const EntrySink& sink) :
        lines_(text),
        arb_(arb),
        feed_(feed),
        sink_(sink)
    {
    }

    std::optional<Failure> error;

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
            const std::size_t quote = feed_.opening_quote();
            sink_(value, path_, lines_.line(quote), lines_.column(quote));
        }
        return true;
    }
    bool start_object(std::size_t) override { return begin_container(false); }
    bool start_array(std::size_t) override { return begin_container(true); }
    bool end_object() override { return end_container(); }
    bool end_array() override { return end_container(); }
    bool key(string_t& name) override
    {
        if (!deeper_.empty()) return true;  // beyond the keyed levels, the key stays its ancestor's
        const Frame& object = frames_.back();
        path_.resize(object.path_length);
        if (!path_.empty()) path_ += '.';
        path_ += name;
        skipped_ = object.skipped || (arb_ && name.starts_with('@'));
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& exception) override
    {
        std::string reason = exception.what();
        if (const std::size_t colon = reason.find(": "); colon != std::string::npos)
            reason.erase(0, colon + 2);
        const std::size_t offset = feed_.last();
        error = malformed(Code::JsonSyntax, lines_.line(offset), lines_.column(offset), {{"detail", reason}});
        return false;
    }

private:
    // A key names this many levels; a value nested deeper takes the key of
    // its ancestor there, so that a million levels cost a bit each, not a
    // frame and a piece of the path.
    static constexpr std::size_t keyed_levels = 1000;

    struct Frame {
        bool array;
        bool skipped;  // an .arb member whose key begins with '@', or inside one
        std::size_t path_length;  // the container's own path
        std::size_t next_index = 0;
    };

    // An array element's path; an object member's was set by key().
    bool begin_value()
    {
        if (deeper_.empty() && !frames_.empty() && frames_.back().array) {
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
        if (frames_.size() < keyed_levels)
            frames_.push_back({array, skipped_, path_.size()});
        else
            deeper_.push_back(array);
        return true;
    }
    bool end_container()
    {
        if (!deeper_.empty())
            deeper_.pop_back();
        else
            frames_.pop_back();
        return true;
    }

    LineIndex lines_;
    bool arb_;
    const Feed& feed_;
    const EntrySink& sink_;
    std::vector<Frame> frames_;
    std::vector<bool> deeper_;  // the levels below the keyed ones: whether each is an array
    std::string path_;
    bool skipped_ = false;
};

}  // namespace

// An entry's place is its opening quote.
void read_json(std::string_view text, bool arb, const EntrySink& sink)
{
    Feed feed(text);
    EntryCollector collector(text, arb, feed, sink);
    Json::sax_parse(FeedIterator(&feed), FeedIterator(nullptr), &collector);
    if (collector.error) throw *collector.error;
}

}  // namespace charlib::formats
