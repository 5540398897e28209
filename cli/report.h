#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/types.h"
#include "cli/said.h"
#include "messages/language.h"
#include "output/output.h"

// What a run shows on standard error beside its warnings: the summary that
// --report asks for, and the progress line of a large run.
namespace charlib::cli {

// How many of a kind the report and the warnings name before "… and N more".
inline constexpr std::size_t most_reasons = 20;  // sources' encoding reasons in the report
inline constexpr std::size_t most_places = 10;  // places of invalid sequences in the report
inline constexpr std::size_t most_missing = 50;  // characters a font lacks
inline constexpr std::size_t most_guesses = 10;  // guessed encodings said while reading
inline constexpr std::size_t most_skipped = 20;  // files left out of a folder
inline constexpr std::size_t most_listed =
    10;  // characters listed in a line: outside code page 936, unmappable
inline constexpr std::size_t most_listed_pieces = 20;  // web font pieces no longer listed

// The first `most` characters, each with its code: "张 U+5F20、三 U+4E09……".
std::string listed(std::u32string_view characters, std::size_t most, Language language);


// How the -o file is encoded, and why.
struct OutputChoice {
    enum class Why {
        Asked,  // --output-encoding, or --replace-unmappable, which only GBK needs
        Format,  // json and where are UTF-8
        SourcesGbk,  // every source is GBK: written as the window writes END.txt
        SourcesNotGbk,
        Unmappable,  // the sources are GBK, but characters added to the set are not
    };
    OutputEncoding encoding;
    Why why;
};

// One line of the report: the -o file's encoding and line ends, and why.
void print_output_encoding(std::ostream& out, const std::filesystem::path& path, const OutputChoice& choice, Language language);

// The sources, the characters and their coverage of code page 936; with a
// font, the first place of each character it lacks.
void print_report(std::ostream& out, const std::vector<SourceReport>& sources, const Tally& chosen, const FontFacts* font,
    const Places& places, Language language);

// One progress line on a terminal, rewritten in place, for large runs.
class Progress {
public:
    // `shown`: on a terminal, for large runs.
    Progress(const std::vector<std::filesystem::path>& sources, Language language, bool shown = true);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Reading a source that begins after `before` bytes of the others.
    std::function<void(std::uint64_t)> source(std::uint64_t before);

private:
    void show(std::uint64_t done);

    Language language_;
    std::uint64_t total_ = 0;
    bool shown_ = false;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, last_;
};

// A count of the font work done, on a terminal, for the slow steps (glyphs
// drawn as distance fields, pieces of a web font compressed): `wording`, in
// the user's language, has the places of {done} and {total}, as in
// "已绘出 {done} / {total} 个字形". Written to the file descriptor `to`:
// standard error, or where it went while libraries are kept quiet.
class CountProgress {
public:
    // `shown`: when `to` is a terminal.
    explicit CountProgress(std::string wording, int to = 2, bool shown = true);
    ~CountProgress();
    CountProgress(const CountProgress&) = delete;
    CountProgress& operator=(const CountProgress&) = delete;

    std::function<void(std::size_t done, std::size_t total)> callback();

private:
    void write(const std::string& text) const;

    std::string wording_;
    int to_ = 2;
    bool shown_ = false;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace charlib::cli
