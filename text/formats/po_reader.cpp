// gettext PO files through libgettextpo. The file is decoded to UTF-8 first
// (the header's charset, or -e, decides) and libgettextpo reads that text,
// so it never lexes bytes in an encoding it was not told about. It holds a
// whole catalog in memory, some hundreds of bytes a message, so a large file
// is given to it a piece of whole messages at a time.
#include <gettext-po.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include <cstring>
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

}  // namespace

// -e, else the byte-order mark, else the header's charset; UTF-8 when none
// is told or ICU does not know it.
TextEncoding po_encoding(std::string_view head, std::optional<Encoding> forced)
{
    if (forced) return text_encoding(*forced);
    if (const std::optional<TextEncoding> mark = byte_order_mark(head)) return *mark;
    if (const std::optional<Span> charset = header_charset(head)) {
        const std::string_view name = head.substr(charset->offset, charset->length);
        if (!name.empty() && name != "CHARSET")
            if (const std::optional<TextEncoding> declared = declared_encoding(name)) return *declared;
    }
    return text_encoding(Encoding::Utf8);
}

namespace {

// ---- Where each message's strings are -------------------------------------

// A message as the text shows it: where each of its strings begins.
struct MessagePlaces {
    std::string domain = "messages";
    std::vector<std::size_t> msgids;  // msgid, msgid_plural
    std::vector<std::size_t> msgstrs;  // msgstr, or msgstr[0], msgstr[1]...
    std::size_t line_start = 0;  // of the line of its first keyword
    bool alone = true;  // nothing but white space or "#~" before that keyword on its line
    bool context = false;  // it has a msgctxt
    bool msgid_text = false, msgstr_text = false;  // a msgid, a msgstr that is not empty
    bool header() const { return !context && !msgid_text; }
};

// libgettextpo keeps a catalog a domain and finds it by name, one after
// another: a file of thousands of domains costs their square. Real files
// have one, or a few.
constexpr std::size_t most_domains = 1000;

bool is_word_character(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
        c == '[' || c == ']';
}

// The PO syntax read as tokens, for the places libgettextpo does not give:
// the text of a string begins after its quote, in the first piece that is
// not empty. Comments (#, #|, #~|) are skipped; #~ marks the rest of its
// line obsolete. Each message that is not obsolete is handed over as it ends.
class PlaceScanner {
public:
    using Take = std::function<void(const MessagePlaces&)>;

    PlaceScanner(std::string_view text, std::string domain) : text_(text) { message_.domain = std::move(domain); }

    // The messages of text[from, to), which begins at a line's start.
    void scan(std::size_t from, std::size_t to, const Take& take)
    {
        take_ = &take;
        at_ = from;
        line_start_ = from;
        while (at_ < to && !too_many_domains_) {
            const char c = text_[at_];
            if (c == '\n' || c == '\r') {
                obsolete_line_ = false;
                line_start_ = ++at_;
            } else if (c == '#') {
                comment();
            } else if (c == '"') {
                string();
            } else if (is_word_character(c)) {
                const std::size_t start = at_;
                while (at_ < text_.size() && is_word_character(text_[at_]))
                    ++at_;
                keyword(text_.substr(start, at_ - start), start);
            } else {
                ++at_;  // white space, or a stray character libgettextpo reports
            }
        }
        finish_message();
    }

    // The opening quote of the first string left open.
    std::optional<std::size_t> unterminated() const { return unterminated_; }
    // The "domain" past the most a file may have, where scanning stopped.
    std::optional<std::size_t> too_many_domains() const { return too_many_domains_; }
    const std::string& domain() const { return message_.domain; }

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
            if (!unterminated_) unterminated_ = open;
            return;
        }
        const bool empty = at_ == open + 1;
        ++at_;
        if (field_ == Field::Domain) message_.domain = std::string(text_.substr(open + 1, at_ - open - 2));
        if (field_ != Field::Msgid && field_ != Field::Msgstr) return;
        std::vector<std::size_t>& places = field_ == Field::Msgid ? message_.msgids : message_.msgstrs;
        if (!settled_) places.back() = open + 1;
        settled_ = settled_ || !empty;
        if (!empty) (field_ == Field::Msgid ? message_.msgid_text : message_.msgstr_text) = true;
    }

    void keyword(std::string_view word, std::size_t start)
    {
        field_ = Field::None;
        if (word == "domain") {
            if (++domains_ > most_domains) {
                too_many_domains_ = start;
                return;
            }
            finish_message();
            message_.domain.clear();
            field_ = Field::Domain;
        } else if (word == "msgctxt" || word == "msgid") {
            if (word == "msgctxt" || !message_.msgids.empty() || !message_.msgstrs.empty()) finish_message();
            if (!started_) begin_message(start);
            started_ = true;
            if (word == "msgctxt") message_.context = true;
            if (word == "msgid") new_place(Field::Msgid);
        } else if (word == "msgid_plural") {
            new_place(Field::Msgid);
        } else if (word.starts_with("msgstr")) {
            new_place(Field::Msgstr);
        }
    }

    void begin_message(std::size_t keyword)
    {
        obsolete_ = obsolete_line_;
        message_.line_start = line_start_;
        const std::string_view before = text_.substr(line_start_, keyword - line_start_);
        message_.alone = before.find_first_not_of(" \t#~") == std::string_view::npos;
    }

    void new_place(Field field)
    {
        field_ = field;
        settled_ = false;
        (field == Field::Msgid ? message_.msgids : message_.msgstrs).push_back(at_);
    }

    void finish_message()
    {
        if (started_ && !obsolete_) (*take_)(message_);
        message_.msgids.clear();
        message_.msgstrs.clear();
        message_.context = message_.msgid_text = message_.msgstr_text = false;
        started_ = false;
    }

    std::string_view text_;
    const Take* take_ = nullptr;
    std::size_t at_ = 0, line_start_ = 0;
    bool obsolete_line_ = false;
    std::optional<std::size_t> unterminated_, too_many_domains_;
    std::size_t domains_ = 0;
    MessagePlaces message_;  // the domain carries over to the next message
    bool started_ = false, obsolete_ = false;
    Field field_ = Field::None;
    bool settled_ = false;  // the current string's text has begun
};

// Where the text is cut into pieces of whole messages for libgettextpo, and
// whether it is a template (every msgstr empty).
struct Survey {
    struct Cut {
        std::size_t offset;
        std::string domain;  // of the messages that follow
    };
    std::vector<Cut> cuts{{0, "messages"}};
    bool translated = false;
};

constexpr std::size_t piece_size = std::size_t{1} << 20;

Survey survey(std::string_view text)
{
    Survey survey;
    PlaceScanner scanner(text, "messages");
    scanner.scan(0, text.size(), [&](const MessagePlaces& message) {
        survey.translated = survey.translated || (!message.header() && message.msgstr_text);
        if (message.alone && message.line_start >= survey.cuts.back().offset + piece_size)
            survey.cuts.push_back({message.line_start, message.domain});
    });
    if (const std::optional<std::size_t> at = scanner.too_many_domains()) {
        const LineIndex lines(text);
        throw Malformed(lines.line(*at), lines.column(*at),
            "PO 文件格式错误：domain 超过 " + std::to_string(most_domains) + " 个，这不像翻译文件");
    }
    return survey;
}

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

// One piece of the file as libgettextpo reads it: whole messages, after a
// header of its own when it is not the first, so that libgettextpo takes
// the text for UTF-8.
struct Piece {
    std::string text;
    std::uint64_t added_lines = 0;  // lines put before the file's own
    std::uint64_t first_line = 1;  // the file's line where its own text begins
    bool added_header = false;
};

Piece piece_of(std::string_view text, std::size_t from, std::size_t to, const std::string& domain,
    const LineIndex& lines)
{
    Piece piece;
    const std::string_view own = text.substr(from, to - from);
    if (from == 0) {
        // The text is UTF-8 now, whatever the header says.
        piece.text = own;
        if (const std::optional<Span> charset = header_charset(piece.text))
            piece.text.replace(charset->offset, charset->length, "UTF-8");
        return piece;
    }
    piece.text = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    piece.added_lines = 3;
    piece.added_header = true;
    if (domain != "messages") {
        piece.text += "domain \"" + domain + "\"\n";
        ++piece.added_lines;
    }
    piece.text += own;
    piece.first_line = lines.line(from);
    return piece;
}

// libgettextpo reads the piece; its first error is thrown as Malformed, at
// its place in the file.
PoFile read_po_file(const Piece& piece, std::optional<std::size_t> unterminated, const LineIndex& lines)
{
    // libgettextpo keeps its handlers in globals while it reads.
    static std::mutex reading;
    std::optional<PoProblem> problem;
    PoFile file;
    int open_error = 0;
    {
        const std::lock_guard lock(reading);
        const NamedText named(piece.text);
        first_problem = &problem;
        const po_xerror_handler handler{on_problem, on_problem_pair};
        file.reset(po_file_read(named.name().c_str(), &handler));
        open_error = errno;
        first_problem = nullptr;
    }
    if (!file) throw Malformed(1, 1, std::string("无法读取 PO 文件：") + std::strerror(open_error));
    if (!problem) return file;
    problem->line = std::max(problem->line, piece.added_lines + 1) - piece.added_lines + piece.first_line - 1;
    // libgettextpo tells a string left open on the line after it: point at its quote.
    if (unterminated) {
        const std::uint64_t line = lines.line(*unterminated);
        if (problem->line == line || problem->line == line + 1) {
            problem->line = line;
            problem->column = lines.column(*unterminated);
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

// The entries of one piece, handed over in file order.
void read_piece(std::string_view text, const Survey::Cut& cut, std::size_t to, bool template_file,
    const LineIndex& lines, const EntrySink& sink)
{
    std::vector<MessagePlaces> scanned;
    PlaceScanner scanner(text, cut.domain);
    scanner.scan(cut.offset, to, [&](const MessagePlaces& message) { scanned.push_back(message); });
    const Piece piece = piece_of(text, cut.offset, to, cut.domain, lines);
    const PoFile file = read_po_file(piece, scanner.unterminated(), lines);

    // The messages of each domain, in file order, without the obsolete ones.
    std::map<std::string, std::vector<po_message_t>> domains;
    for (const char* const* domain = po_file_domains(file.get()); *domain; ++domain) {
        const PoIterator iterator(po_message_iterator(file.get(), *domain));
        bool added_header = piece.added_header && std::string_view(*domain) == "messages";
        while (po_message_t message = po_next_message(iterator.get())) {
            if (std::exchange(added_header, false) && is_header(message)) continue;
            if (!po_message_is_obsolete(message)) domains[*domain].push_back(message);
        }
    }
    std::string entry;
    const auto add_entries = [&](po_message_t message, const MessagePlaces* places) {
        if (is_header(message)) return;
        const char* context = po_message_msgctxt(message);
        const std::string_view key = context && *context ? context : po_message_msgid(message);
        std::vector<const char*> texts = translations(message);
        if (template_file) {
            texts = {po_message_msgid(message)};
            if (const char* plural = po_message_msgid_plural(message)) texts.push_back(plural);
        }
        const std::vector<std::size_t>* offsets =
            places ? template_file ? &places->msgids : &places->msgstrs : nullptr;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (*texts[i] == '\0') continue;
            entry = texts[i];
            if (offsets && i < offsets->size())
                sink(entry, key, lines.line((*offsets)[i]), lines.column((*offsets)[i]));
            else
                sink(entry, key, 1, 1);
        }
    };
    // The scan gives the file order; each domain's messages come in the same order.
    std::map<std::string, std::size_t> taken;
    for (const MessagePlaces& places : scanned) {
        const auto domain = domains.find(places.domain);
        if (domain == domains.end()) continue;
        std::size_t& next = taken[places.domain];
        if (next < domain->second.size()) add_entries(domain->second[next++], &places);
    }
    // Messages the scan did not see (it should see all): at the end, without a place.
    for (const auto& [name, messages] : domains)
        for (std::size_t i = taken[name]; i < messages.size(); ++i)
            add_entries(messages[i], nullptr);
}

}  // namespace

void read_po(std::string_view text, bool is_template, const EntrySink& sink)
{
    const Survey cuts = survey(text);
    // A .pot gives its msgids, whatever its msgstrs.
    const bool template_file = is_template || !cuts.translated;
    const LineIndex lines(text);
    for (std::size_t i = 0; i < cuts.cuts.size(); ++i)
        read_piece(text, cuts.cuts[i], i + 1 < cuts.cuts.size() ? cuts.cuts[i + 1].offset : text.size(),
            template_file, lines, sink);
}

}  // namespace charlib::formats
