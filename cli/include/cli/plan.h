#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "base/types.h"
#include "cli/engines.h"
#include "codec/encodings.h"
#include "messages/language.h"
#include "font/font.h"
#include "font/web.h"
#include "output/output.h"
#include "sources/listing.h"
#include "sources/read_source.h"

// What a command line asks charlib-cli to do: every option checked and
// converted before anything is read.
namespace charlib::cli {

inline constexpr int exit_usage = 2;

// A command line that makes no sense; what() says why, in the user's language.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The sources and how each is read.
struct SourcePlan {
    std::vector<std::filesystem::path> paths;  // "-": standard input
    ListingRules listing;
    std::optional<Encoding> encoding;  // nothing: told from the bytes
    bool note_guesses = false;  // -e auto given: each guess is said with its reason
    std::optional<Newline> newline;  // nothing: the encoding's own
    bool keep_going = false;
    bool strict = false;
    EntryRules entries;  // -t and the options of translation files
};

// Characters to add: given (--add), a file's (--add-file) or a named set (--add-set).
using Addition = std::variant<std::u32string, std::filesystem::path, NamedSet>;

// Which characters are kept, and in what order.
struct ChoicePlan {
    std::vector<std::filesystem::path> excludes;  // read at run time into choice.exclude
    std::vector<Addition> additions;  // in the order given; made into choice.add at run time
    Choice choice;
};

struct OutputPlan {
    Format format = Format::Text;
    unsigned tbl_start = 0x8000;  // also the first code of a grid's widths
    bool tbl_start_given = false;
    bool format_given = false;  // -f: with font outputs alone, standard output stays empty
    std::optional<std::filesystem::path> path;  // nothing: standard output as UTF-8; "-": as a file
    std::optional<OutputEncoding> encoding;  // nothing: the sources' (all GBK: GBK, else UTF-8)
    bool replace_unmappable = false;
    bool report = false;
    std::size_t locations = 3;  // places of each character in -f where
};

struct FontPlan {
    std::filesystem::path path;
    FaceChoice face;  // nothing given: the font library's choice
    bool require_all = false;
    bool missing_only = false;  // keep only the characters the font lacks
    std::optional<std::filesystem::path> subset;
    std::vector<LayoutFeatureChange> layout_features;
    std::optional<std::filesystem::path> atlas;  // without ".fnt": the pages and the .fnt are named from it
    AtlasOptions atlas_options;  // the size is the preview's too
    bool atlas_keep = false;  // the glyphs of the atlas already there keep their places
    const Engine* engine = nullptr;  // --engine: what the atlas is made for
    std::optional<std::filesystem::path> preview;
    std::optional<std::filesystem::path> web;  // the folder of the pieces, the stylesheets, their check pages and the manifest
    WebFontOptions web_options;

    // The atlas's descriptor: OUT.json in JSON, else OUT.fnt.
    std::filesystem::path descriptor() const;
    // A grid's width table: OUT.widths.
    std::filesystem::path widths() const;
};

struct Plan {
    SourcePlan sources;
    Selection selection;  // counts only when something needs them
    ChoicePlan choosing;
    OutputPlan output;
    std::optional<FontPlan> font;
    Language language = Language::English;  // of standard error; standard output never depends on it
    // --save-job: not run, but saved as a job of this project file, under this name (empty: chosen).
    std::optional<std::pair<std::filesystem::path, std::string>> save_job = std::nullopt;

    // Whether the set goes to standard output: not when only font files are asked for.
    bool prints_set() const;
    // How many places of each character the run keeps: -f where's, the
    // first for json and for the report of what a font lacks, else none.
    std::size_t places() const;
};

// What is asked instead of a run: the text of --help or --version, for
// standard output, or the faces of a font file (--face list).
struct Answer {
    std::string text;
    std::optional<std::filesystem::path> faces_of;
};

// The arguments after the program's name. Reads no file; throws UsageError.
// The help and the messages are in `language`.
std::variant<Plan, Answer> plan_of(std::vector<std::string> args, Language language = Language::English);

}  // namespace charlib::cli
