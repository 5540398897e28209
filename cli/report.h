#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/types.h"
#include "output/output.h"

// What a run shows on standard error beside its warnings: the summary that
// --report asks for, and the progress line of a large run.
namespace charlib::cli {

// The first `most` characters, each with its code: "张 U+5F20、三 U+4E09……".
std::string listed(std::u32string_view characters, std::size_t most);

// The sources, the characters and their coverage of code page 936, in
// Chinese; with a font, the first place of each character it lacks.
void print_report(const std::vector<SourceReport>& sources, const Tally& chosen, const FontFacts* font,
    const Places& places);

// One progress line on a terminal, rewritten in place, for large runs.
class Progress {
public:
    explicit Progress(const std::vector<std::filesystem::path>& sources);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Reading a source that begins after `before` bytes of the others.
    std::function<void(std::uint64_t)> source(std::uint64_t before);

private:
    void show(std::uint64_t done);

    std::uint64_t total_ = 0;
    bool shown_ = false;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, last_;
};

// Pieces of a web font compressed so far, on a terminal: "已压缩 3 / 12 块网页字体".
class PieceProgress {
public:
    PieceProgress();
    ~PieceProgress();
    PieceProgress(const PieceProgress&) = delete;
    PieceProgress& operator=(const PieceProgress&) = delete;

    std::function<void(std::size_t done, std::size_t total)> callback();

private:
    bool shown_ = false;
    bool drawn_ = false;
};

}  // namespace charlib::cli
