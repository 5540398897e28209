#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/types.h"
#include "cli/plan.h"
#include "output/output.h"
#include "simd/kernel.h"

// A job looked at rather than run: what it reads and chooses, and the
// outputs it would write, made in memory, for a window that shows them.
namespace charlib::cli {

// How far the slow steps are.
enum class Stage { Reading, Drawing, Compressing };

struct InspectedPiece {
    std::string file;
    std::u32string characters;
    std::uint64_t bytes = 0;
    bool kept = false;  // in the folder already, from an earlier cut
    bool punctuation = false;  // the face's first piece: the punctuation and spaces the font has
};

struct Inspection {
    // Asked for.
    std::size_t places = 50;  // places kept of each character
    std::function<void(const SourceReport&)> source_read = {};  // each source once read, on the reading thread
    std::function<void(Stage, std::uint64_t done, std::uint64_t total)> progress = {};  // now and then, from any thread
    const std::atomic<bool>* cancelled = nullptr;  // once set, the look stops soon, with what it found so far

    // Found: as far as the run got.
    std::vector<SourceReport> sources;
    Tally chosen;  // the set as the job writes it, with counts
    Places found;  // the first `places` places of each character
    std::optional<FontFacts> font;
    std::vector<std::pair<std::string, std::string>> atlas_pages;  // file name, PNG
    std::vector<InspectedPiece> web_pieces;
    bool complete = false;  // the run got to the end: the outputs are all made
};

// Reads the plan's sources and makes its outputs in memory, writing nothing;
// says what a run says to `said`, as charlib-cli would.
Inspection inspect(const Plan& plan, const Kernel& kernel, std::ostream& said, Inspection asked = {});

}  // namespace charlib::cli
