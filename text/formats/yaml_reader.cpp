// YAML: every scalar value that is text, with its path as the key. Read as
// libyaml's events, which hold nothing of the document but the collections
// open around the place being read; aliases are not followed (their text
// was read at the anchor).
#include <yaml.h>

#include <algorithm>
#include <array>
#include <memory>

#include "readers.h"

namespace charlib::formats {

namespace {

// libyaml looks at every open flow collection ([ ], { }) for each token it
// reads: nested deeper, a file costs its size times the depth.
constexpr std::size_t deepest_flow = 64;

bool is_boolean(std::string_view value)
{
    constexpr std::array<std::string_view, 12> booleans{
        "true", "True", "TRUE", "false", "False", "FALSE", "yes", "Yes", "YES", "no", "No", "NO"};
    return std::find(booleans.begin(), booleans.end(), value) != booleans.end();
}

bool is_null(std::string_view value)
{
    return value.empty() || value == "~" || value == "null" || value == "Null" || value == "NULL";
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

struct ParserDeleter {
    void operator()(yaml_parser_t* parser) const
    {
        yaml_parser_delete(parser);
        delete parser;
    }
};
struct Event {
    yaml_event_t event{};
    ~Event() { yaml_event_delete(&event); }
};

// libyaml counts lines and columns (characters) from 0.
Failure malformed_at(const yaml_mark_t& mark, Code code, std::vector<Field> data)
{
    return malformed(code, mark.line + 1, mark.column + 1, std::move(data));
}

class EntryCollector {
public:
    explicit EntryCollector(const EntrySink& sink) : sink_(sink) { }

    // Takes one event; false at the end of the stream.
    bool take(const yaml_event_t& event)
    {
        switch (event.type) {
        case YAML_STREAM_END_EVENT: return false;
        case YAML_DOCUMENT_START_EVENT:
            frames_.clear();
            path_.clear();
            flows_ = 0;
            break;
        case YAML_ALIAS_EVENT:
            begin_node();
            end_node();
            break;
        case YAML_SCALAR_EVENT: scalar(event); break;
        case YAML_SEQUENCE_START_EVENT:
            begin_collection(false, event.data.sequence_start.style == YAML_FLOW_SEQUENCE_STYLE, event.start_mark);
            break;
        case YAML_MAPPING_START_EVENT:
            begin_collection(true, event.data.mapping_start.style == YAML_FLOW_MAPPING_STYLE, event.start_mark);
            break;
        case YAML_SEQUENCE_END_EVENT:
        case YAML_MAPPING_END_EVENT: end_collection(); break;
        default: break;
        }
        return true;
    }

private:
    // Inside a key that is itself a collection, nothing is text.
    enum class Role { Key, Value, InsideKey };
    struct Frame {
        bool map;
        bool flow;
        Role role;  // the collection's own
        std::size_t path_length;  // the collection's own path
        std::size_t next_index = 0;
        bool expecting_key = true;
    };

    void scalar(const yaml_event_t& event)
    {
        const auto& scalar = event.data.scalar;
        const std::string_view value(reinterpret_cast<const char*>(scalar.value), scalar.length);
        const Role role = begin_node();
        // A plain scalar without a tag is resolved: its true, 12 or null is not text.
        const bool resolved = scalar.plain_implicit && scalar.style == YAML_PLAIN_SCALAR_STYLE;
        if (role == Role::Key) {
            path_.resize(frames_.back().path_length);
            if (!path_.empty()) path_ += '.';
            path_ += value;
        } else if (role == Role::Value && !value.empty() &&
            !(resolved && (is_boolean(value) || is_number(value) || is_null(value)))) {
            entry_ = value;
            sink_(entry_, path_, event.start_mark.line + 1, event.start_mark.column + 1);
        }
        end_node();
    }

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
    void begin_collection(bool map, bool flow, const yaml_mark_t& mark)
    {
        if (flow && ++flows_ > deepest_flow)
            throw malformed_at(mark, Code::YamlTooDeep,
                {{"depth", std::uint64_t{flows_}}, {"limit", std::uint64_t{deepest_flow}}});
        const Role role = begin_node();
        frames_.push_back({map, flow, role, path_.size()});
    }
    void end_collection()
    {
        if (frames_.empty()) return;
        const Role role = frames_.back().role;
        if (frames_.back().flow) --flows_;
        frames_.pop_back();
        // A key that is a collection names its value "?".
        if (role == Role::Key) {
            path_.resize(frames_.back().path_length);
            path_ += path_.empty() ? "?" : ".?";
        }
        end_node();
    }

    const EntrySink& sink_;
    std::string entry_;
    std::vector<Frame> frames_;
    std::size_t flows_ = 0;  // flow collections open
    std::string path_;
};

}  // namespace

// An entry's place is where libyaml marks the scalar: its opening quote
// when quoted.
void read_yaml(std::string_view text, const EntrySink& sink)
{
    const std::unique_ptr<yaml_parser_t, ParserDeleter> parser(new yaml_parser_t{});
    if (!yaml_parser_initialize(parser.get())) throw std::bad_alloc();
    yaml_parser_set_input_string(parser.get(), reinterpret_cast<const unsigned char*>(text.data()), text.size());
    yaml_parser_set_encoding(parser.get(), YAML_UTF8_ENCODING);
    EntryCollector collector(sink);
    for (;;) {
        Event event;
        if (!yaml_parser_parse(parser.get(), &event.event)) {
            if (parser->error == YAML_MEMORY_ERROR) throw std::bad_alloc();
            std::string reason = parser->problem ? parser->problem : "";
            if (parser->context) reason = std::string(parser->context) + ": " + reason;
            throw malformed_at(parser->problem_mark, Code::YamlSyntax, {{"detail", reason}});
        }
        if (!collector.take(event.event)) break;
    }
}

}  // namespace charlib::formats
