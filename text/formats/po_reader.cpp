// gettext PO files through libgettextpo. The file is decoded to UTF-8 first
// (the header's charset, or -e, decides) and libgettextpo reads that text,
// so it never lexes bytes in an encoding it was not told about.
#include <gettext-po.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "readers.h"

namespace charlib::formats {

namespace {

// ---- The header's charset -------------------------------------------------

struct Span {
    std::size_t offset = 0, length = 0;
};

// Where the value of "charset=" is in the header entry (msgid "" first,
// then its msgstr), if the file starts with one.
std::optional<Span> header_charset(std::string_view text)
{
    // The first line that is not a comment must be the header's msgid "".
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(" \t\r\n", at);
        if (start == std::string_view::npos || text[start] != '#') {
            at = start;
            break;
        }
        at = text.find('\n', start);
    }
    if (at >= text.size() || !text.substr(at).starts_with("msgid")) return std::nullopt;
    at = text.find_first_not_of(" \t", at + 5);
    if (at == std::string_view::npos || !text.substr(at).starts_with("\"\"")) return std::nullopt;
    at = text.find_first_not_of(" \t\r\n", at + 2);
    if (at == std::string_view::npos || !text.substr(at).starts_with("msgstr")) return std::nullopt;
    // The header's msgstr ends where the next entry's msgid begins.
    const std::size_t end = std::min(text.find("msgid", at), text.size());
    const std::size_t charset = text.substr(0, end).find("charset=", at);
    if (charset == std::string_view::npos) return std::nullopt;
    const std::size_t value = charset + 8;
    const std::size_t value_end = std::min(text.find_first_of("\\\"; \t\r\n", value), end);
    return Span{value, value_end - value};
}

// The bytes in the encoding -e names, else the byte-order mark, else the
// header's charset; UTF-8 when none is told or ICU does not know it.
Decoded decode_po(std::string_view bytes, std::optional<Encoding> forced)
{
    if (forced) return decode_text(bytes, *forced);
    if (const std::optional<Encoding> mark = byte_order_mark(bytes)) return decode_text(bytes, *mark);
    if (const std::optional<Span> charset = header_charset(bytes)) {
        const std::string_view name = bytes.substr(charset->offset, charset->length);
        if (!name.empty() && name != "CHARSET")
            if (std::optional<Decoded> decoded = decode_named(bytes, name)) return std::move(*decoded);
    }
    return decode_text(bytes, Encoding::Utf8);
}

// ---- Where each message's strings are -------------------------------------

// A message as the text shows it: where each of its strings begins.
struct MessagePlaces {
    std::string domain = "messages";
    std::vector<std::size_t> msgids;  // msgid, msgid_plural
    std::vector<std::size_t> msgstrs;  // msgstr, or msgstr[0], msgstr[1]...
};

struct Scan {
    std::vector<MessagePlaces> messages;  // not obsolete, in file order
    std::optional<std::size_t> unterminated;  // the opening quote of the first string left open
};

bool is_word_character(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
        c == '[' || c == ']';
}

// The PO syntax read as tokens, for the places libgettextpo does not give:
// the text of a string begins after its quote, in the first piece that is
// not empty. Comments (#, #|, #~|) are skipped; #~ marks the rest of its
// line obsolete.
class PlaceScanner {
public:
    explicit PlaceScanner(std::string_view text) : text_(text) { }

    Scan scan()
    {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '\n' || c == '\r') {
                obsolete_line_ = false;
                ++at_;
            } else if (c == '#') {
                comment();
            } else if (c == '"') {
                string();
            } else if (is_word_character(c)) {
                const std::size_t start = at_;
                while (at_ < text_.size() && is_word_character(text_[at_]))
                    ++at_;
                keyword(text_.substr(start, at_ - start));
            } else {
                ++at_;  // white space, or a stray character libgettextpo reports
            }
        }
        finish_message();
        return std::move(scan_);
    }

private:
    enum class Field { None, Domain, Msgid, Msgstr };

    void comment()
    {
        if (text_.substr(at_).starts_with("#~") && !text_.substr(at_).starts_with("#~|")) {
            obsolete_line_ = true;
            at_ += 2;
            return;
        }
        at_ = std::min(text_.find_first_of("\r\n", at_), text_.size());
    }

    void string()
    {
        const std::size_t open = at_++;
        // A backslash escapes the next character, a line end too (libgettextpo joins the lines).
        while (at_ < text_.size() && text_[at_] != '"' && text_[at_] != '\n' && text_[at_] != '\r')
            at_ += text_[at_] != '\\' ? 1 : text_.substr(at_).starts_with("\\\r\n") ? 3 : 2;
        if (at_ >= text_.size() || text_[at_] != '"') {
            if (!scan_.unterminated) scan_.unterminated = open;
            return;
        }
        const bool empty = at_ == open + 1;
        ++at_;
        if (field_ == Field::Domain) message_.domain = std::string(text_.substr(open + 1, at_ - open - 2));
        if (field_ != Field::Msgid && field_ != Field::Msgstr) return;
        std::vector<std::size_t>& places = field_ == Field::Msgid ? message_.msgids : message_.msgstrs;
        if (!settled_) places.back() = open + 1;
        settled_ = settled_ || !empty;
    }

    void keyword(std::string_view word)
    {
        field_ = Field::None;
        if (word == "domain") {
            finish_message();
            message_.domain.clear();
            field_ = Field::Domain;
        } else if (word == "msgctxt" || word == "msgid") {
            if (word == "msgctxt" || !message_.msgids.empty() || !message_.msgstrs.empty()) finish_message();
            if (!started_) obsolete_ = obsolete_line_;
            started_ = true;
            if (word == "msgid") new_place(Field::Msgid);
        } else if (word == "msgid_plural") {
            new_place(Field::Msgid);
        } else if (word.starts_with("msgstr")) {
            new_place(Field::Msgstr);
        }
    }

    void new_place(Field field)
    {
        field_ = field;
        settled_ = false;
        (field == Field::Msgid ? message_.msgids : message_.msgstrs).push_back(at_);
    }

    void finish_message()
    {
        if (started_ && !obsolete_) scan_.messages.push_back(message_);
        message_.msgids.clear();
        message_.msgstrs.clear();
        started_ = false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    bool obsolete_line_ = false;
    Scan scan_;
    MessagePlaces message_;  // the domain carries over to the next message
    bool started_ = false, obsolete_ = false;
    Field field_ = Field::None;
    bool settled_ = false;  // the current string's text has begun
};

// ---- libgettextpo ---------------------------------------------------------

struct PoProblem {
    std::uint64_t line = 1, column = 1;
    std::string message;
};

// libgettextpo's handlers take no context: the read in progress on this
// thread notes its first error here.
thread_local std::optional<PoProblem>* first_problem = nullptr;

void note_problem(
    int severity, const char* filename, std::size_t line, std::size_t column, const char* text) noexcept
{
    if (severity == PO_SEVERITY_WARNING || !first_problem || *first_problem) return;
    try {
        PoProblem problem;
        if (filename && line != static_cast<std::size_t>(-1)) {
            problem.line = std::max<std::size_t>(line, 1);
            if (column != static_cast<std::size_t>(-1)) problem.column = std::max<std::size_t>(column, 1);
        }
        std::string message = text ? text : "";
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        for (char& c : message)
            if (c == '\n') c = ' ';
        problem.message = std::move(message);
        *first_problem = std::move(problem);
    } catch (...) {
        // Out of memory: the read goes on and reports no reason.
    }
}

// The header says these must not return on PO_SEVERITY_FATAL_ERROR, but
// po_file_read raises that only for the summary after its errors and for a
// failed read, and carries on normally in both when the handler returns;
// leaving by longjmp would leak its file and state. So they record and return.
void on_problem(int severity, po_message_t, const char* filename, std::size_t line, std::size_t column, int,
    const char* text)
{
    note_problem(severity, filename, line, column, text);
}

void on_problem_pair(int severity, po_message_t, const char* filename, std::size_t line, std::size_t column,
    int, const char* text, po_message_t, const char*, std::size_t, std::size_t, int, const char*)
{
    note_problem(severity, filename, line, column, text);
}

void write_all(int descriptor, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw Malformed(1, 1, std::string("无法读取 PO 文件：") + std::strerror(errno));
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

// The text where libgettextpo can open it by name: a memory file, or where
// /proc is missing a temporary file that goes when this does.
class NamedText {
public:
    explicit NamedText(std::string_view text)
    {
        try {
            descriptor_ = ::memfd_create("charlib-po", MFD_CLOEXEC);
            if (descriptor_ >= 0) {
                name_ = "/proc/self/fd/" + std::to_string(descriptor_);
                write_all(descriptor_, text);
                if (::access(name_.c_str(), R_OK) == 0) return;
                ::close(descriptor_);
                descriptor_ = -1;
            }
            std::error_code error;
            std::filesystem::path directory = std::filesystem::temp_directory_path(error);
            if (error) directory = "/tmp";
            std::string pattern = (directory / "charlib-po-XXXXXX").string();
            descriptor_ = ::mkstemp(pattern.data());
            if (descriptor_ < 0)
                throw Malformed(1, 1, std::string("无法读取 PO 文件：") + std::strerror(errno));
            name_ = temporary_ = pattern;
            write_all(descriptor_, text);
        } catch (...) {
            release();
            throw;
        }
    }
    ~NamedText() { release(); }
    NamedText(const NamedText&) = delete;
    NamedText& operator=(const NamedText&) = delete;

    const std::string& name() const { return name_; }

private:
    void release()
    {
        if (descriptor_ >= 0) ::close(descriptor_);
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
    }

    int descriptor_ = -1;
    std::string name_, temporary_;
};

struct PoFileDeleter {
    void operator()(po_file_t file) const { po_file_free(file); }
};
using PoFile = std::unique_ptr<po_file, PoFileDeleter>;
struct PoIteratorDeleter {
    void operator()(po_message_iterator_t iterator) const { po_message_iterator_free(iterator); }
};
using PoIterator = std::unique_ptr<struct po_message_iterator, PoIteratorDeleter>;

// libgettextpo reads `text`; its first error is thrown as Malformed.
PoFile read_po_file(const std::string& text, const Scan& scan, const LineIndex& lines)
{
    // libgettextpo keeps its handlers in globals while it reads.
    static std::mutex reading;
    std::optional<PoProblem> problem;
    PoFile file;
    int open_error = 0;
    {
        const std::lock_guard lock(reading);
        const NamedText named(text);
        first_problem = &problem;
        const po_xerror_handler handler{on_problem, on_problem_pair};
        file.reset(po_file_read(named.name().c_str(), &handler));
        open_error = errno;
        first_problem = nullptr;
    }
    if (!file) throw Malformed(1, 1, std::string("无法读取 PO 文件：") + std::strerror(open_error));
    if (!problem) return file;
    // libgettextpo tells a string left open on the line after it: point at its quote.
    if (scan.unterminated) {
        const std::uint64_t line = lines.line(*scan.unterminated);
        if (problem->line == line || problem->line == line + 1) {
            problem->line = line;
            problem->column = lines.column(*scan.unterminated);
        }
    }
    throw Malformed(problem->line, problem->column, "PO 文件格式错误：" + problem->message);
}

bool is_header(po_message_t message)
{
    return po_message_msgctxt(message) == nullptr && *po_message_msgid(message) == '\0';
}

// msgstr, or each msgstr[N].
std::vector<const char*> translations(po_message_t message)
{
    if (!po_message_msgid_plural(message)) return {po_message_msgstr(message)};
    std::vector<const char*> forms;
    for (int index = 0; const char* form = po_message_msgstr_plural(message, index); ++index)
        forms.push_back(form);
    return forms;
}

}  // namespace

std::vector<Entry> read_po(
    std::string_view bytes, std::optional<Encoding> forced, bool is_template, std::string& encoding)
{
    const Decoded decoded = decode_po(bytes, forced);
    encoding = decoded.encoding;
    // The text is UTF-8 now, and libgettextpo must lex it as such.
    std::string text = decoded.text;
    if (const std::optional<Span> charset = header_charset(text))
        text.replace(charset->offset, charset->length, "UTF-8");

    const LineIndex lines(text);
    const Scan scan = PlaceScanner(text).scan();
    const PoFile file = read_po_file(text, scan, lines);

    // The messages of each domain, in file order, without the obsolete ones.
    std::map<std::string, std::vector<po_message_t>> domains;
    bool template_file = true;  // every msgstr empty
    for (const char* const* domain = po_file_domains(file.get()); *domain; ++domain) {
        const PoIterator iterator(po_message_iterator(file.get(), *domain));
        while (po_message_t message = po_next_message(iterator.get())) {
            if (po_message_is_obsolete(message)) continue;
            domains[*domain].push_back(message);
            if (!is_header(message))
                for (const char* form : translations(message))
                    template_file = template_file && *form == '\0';
        }
    }

    template_file = template_file || is_template;  // a .pot gives its msgids, whatever its msgstrs
    std::vector<Entry> entries;
    const auto add_entries = [&](po_message_t message, const MessagePlaces* places) {
        if (is_header(message)) return;
        const char* context = po_message_msgctxt(message);
        const std::string key = context && *context ? context : po_message_msgid(message);
        std::vector<const char*> texts = translations(message);
        if (template_file) {
            texts = {po_message_msgid(message)};
            if (const char* plural = po_message_msgid_plural(message)) texts.push_back(plural);
        }
        const std::vector<std::size_t>* offsets =
            places ? template_file ? &places->msgids : &places->msgstrs : nullptr;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            Entry entry{characters_of(texts[i]), key, 1, 1};
            if (entry.text.empty()) continue;
            if (offsets && i < offsets->size()) {
                entry.line = lines.line((*offsets)[i]);
                entry.column = lines.column((*offsets)[i]);
            }
            entries.push_back(std::move(entry));
        }
    };
    // The scan gives the file order; each domain's messages come in the same order.
    std::map<std::string, std::size_t> taken;
    for (const MessagePlaces& places : scan.messages) {
        const auto domain = domains.find(places.domain);
        if (domain == domains.end()) continue;
        std::size_t& next = taken[places.domain];
        if (next < domain->second.size()) add_entries(domain->second[next++], &places);
    }
    // Messages the scan did not see (it should see all): at the end, without a place.
    for (const auto& [name, messages] : domains)
        for (std::size_t i = taken[name]; i < messages.size(); ++i)
            add_entries(messages[i], nullptr);
    return entries;
}

}  // namespace charlib::formats
