// YAML: every scalar value that is text, with its path as the key. Read as
// events, so aliases are not followed (their text was read at the anchor).
#include <yaml-cpp/depthguard.h>
#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/exceptions.h>
#include <yaml-cpp/mark.h>
#include <yaml-cpp/parser.h>

#include <algorithm>
#include <array>
#include <istream>
#include <streambuf>

#include "readers.h"

namespace charlib::formats {

namespace {

bool is_boolean(std::string_view value)
{
    constexpr std::array<std::string_view, 12> booleans{
        "true", "True", "TRUE", "false", "False", "FALSE", "yes", "Yes", "YES", "no", "No", "NO"};
    return std::find(booleans.begin(), booleans.end(), value) != booleans.end();
}

// YAML's integers (decimal, 0x, 0o) and floats (1.5, .5, 1e3, .inf, .nan).
bool is_number(std::string_view value)
{
    if (value.starts_with('+') || value.starts_with('-')) value.remove_prefix(1);
    for (std::string_view special : {".inf", ".Inf", ".INF", ".nan", ".NaN", ".NAN"})
        if (value == special) return true;
    const auto all_of = [](std::string_view digits, std::string_view allowed) {
        return !digits.empty() && digits.find_first_not_of(allowed) == std::string_view::npos;
    };
    if (value.starts_with("0x")) return all_of(value.substr(2), "0123456789abcdefABCDEF");
    if (value.starts_with("0o")) return all_of(value.substr(2), "01234567");
    std::string_view exponent;
    if (const std::size_t e = value.find_first_of("eE"); e != std::string_view::npos) {
        exponent = value.substr(e + 1);
        value = value.substr(0, e);
        if (exponent.starts_with('+') || exponent.starts_with('-')) exponent.remove_prefix(1);
        if (!all_of(exponent, "0123456789")) return false;
    }
    const std::size_t point = value.find('.');
    const std::string_view whole = value.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? "" : value.substr(point + 1);
    return (all_of(whole, "0123456789") || whole.empty()) &&
        (all_of(fraction, "0123456789") || fraction.empty()) && whole.size() + fraction.size() > 0;
}

// The text as a stream, read where it is.
class TextBuffer : public std::streambuf {
public:
    explicit TextBuffer(std::string_view text)
    {
        char* begin = const_cast<char*>(text.data());  // only ever read
        setg(begin, begin, begin + text.size());
    }
};

class EntryCollector : public YAML::EventHandler {
public:
    EntryCollector(std::string_view text, const EntrySink& sink) : text_(text), lines_(text), sink_(sink) { }

    std::size_t depth() const { return frames_.size(); }

    void OnDocumentStart(const YAML::Mark& mark) override
    {
        // yaml-cpp 0.7 can stop advancing at some stray characters and
        // start empty documents at the same place for ever.
        if (last_document_ && mark.pos <= *last_document_)
            throw Malformed(line_of(mark), column_of(mark), "YAML 语法错误：无法解析这里的内容");
        last_document_ = mark.pos;
        frames_.clear();
        path_.clear();
    }
    void OnDocumentEnd() override { }
    void OnNull(const YAML::Mark&, YAML::anchor_t) override
    {
        begin_node();
        end_node();
    }
    void OnAlias(const YAML::Mark&, YAML::anchor_t) override
    {
        begin_node();
        end_node();
    }
    void OnScalar(
        const YAML::Mark& mark, const std::string& tag, YAML::anchor_t, const std::string& value) override
    {
        const Role role = begin_node();
        if (role == Role::Key) {
            path_.resize(frames_.back().path_length);
            if (!path_.empty()) path_ += '.';
            path_ += value;
        } else if (role == Role::Value && !value.empty() &&
            // "?" marks a plain scalar, whose true or 12 is not text.
            !(tag == "?" && (is_boolean(value) || is_number(value)))) {
            entry_ = value;
            sink_(entry_, path_, line_of(mark), column_of(mark));
        }
        end_node();
    }
    void OnSequenceStart(
        const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override
    {
        begin_collection(false);
    }
    void OnMapStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override
    {
        begin_collection(true);
    }
    void OnSequenceEnd() override { end_collection(); }
    void OnMapEnd() override { end_collection(); }

    std::uint64_t line_of(const YAML::Mark& mark) const
    {
        if (mark.pos >= 0 && static_cast<std::size_t>(mark.pos) <= text_.size())
            return lines_.line(static_cast<std::size_t>(mark.pos));
        return mark.line >= 0 ? static_cast<std::uint64_t>(mark.line) + 1 : 1;
    }
    std::uint64_t column_of(const YAML::Mark& mark) const
    {
        if (mark.pos >= 0 && static_cast<std::size_t>(mark.pos) <= text_.size())
            return lines_.column(static_cast<std::size_t>(mark.pos));
        return mark.column >= 0 ? static_cast<std::uint64_t>(mark.column) + 1 : 1;
    }

private:
    // Inside a key that is itself a collection, nothing is text.
    enum class Role { Key, Value, InsideKey };
    struct Frame {
        bool map;
        Role role;  // the collection's own
        std::size_t path_length;  // the collection's own path
        std::size_t next_index = 0;
        bool expecting_key = true;
    };

    Role begin_node()
    {
        if (frames_.empty()) return Role::Value;
        Frame& parent = frames_.back();
        if (parent.role != Role::Value) return Role::InsideKey;
        if (parent.map) return parent.expecting_key ? Role::Key : Role::Value;
        path_.resize(parent.path_length);
        path_ += '[' + std::to_string(parent.next_index++) + ']';
        return Role::Value;
    }
    void end_node()
    {
        if (!frames_.empty() && frames_.back().map)
            frames_.back().expecting_key = !frames_.back().expecting_key;
    }
    void begin_collection(bool map)
    {
        const Role role = begin_node();
        frames_.push_back({map, role, path_.size()});
    }
    void end_collection()
    {
        if (frames_.empty()) return;
        const Role role = frames_.back().role;
        frames_.pop_back();
        // A key that is a collection names its value "?".
        if (role == Role::Key) {
            path_.resize(frames_.back().path_length);
            path_ += path_.empty() ? "?" : ".?";
        }
        end_node();
    }

    std::string_view text_;
    LineIndex lines_;
    const EntrySink& sink_;
    std::string entry_;
    std::vector<Frame> frames_;
    std::string path_;
    std::optional<int> last_document_;  // where the last document began
};

}  // namespace

// An entry's place is where yaml-cpp marks the scalar: its opening quote
// when quoted.
void read_yaml(std::string_view text, const EntrySink& sink)
{
    TextBuffer buffer(text);
    std::istream stream(&buffer);
    EntryCollector collector(text, sink);
    try {
        YAML::Parser parser(stream);
        while (parser.HandleNextDocument(collector)) { }
    } catch (const YAML::DeepRecursion& error) {
        // yaml-cpp's own guard: its message is only "bad file".
        throw Malformed(collector.line_of(error.mark), collector.column_of(error.mark),
            "YAML 嵌套太深：这里已嵌套 " + std::to_string(collector.depth()) + " 层，超过了能读的深度");
    } catch (const YAML::Exception& error) {
        throw Malformed(
            collector.line_of(error.mark), collector.column_of(error.mark), "YAML 语法错误：" + error.msg);
    }
}

}  // namespace charlib::formats
