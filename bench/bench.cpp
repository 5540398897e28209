// Times the core operations on a generated code page 936 corpus, each beside
// one plain memchr pass over the same file in the same run.
//
//   charlib-bench [MiB] [core|hanzi|pipeline|fonts|formats]     (default 256 MiB, every part)
//   charlib-bench [MiB] web                                     (only when asked: it takes minutes)
//   charlib-bench [MiB] web-edit                                (a site edited, cut again and afresh)
//   charlib-bench [MiB] atlas-edit                              (an atlas after an edit, kept and afresh)
//   charlib-bench [MiB] hostile                                 (only when asked)
//
// formats: each translation format's reader on about min(MiB, 50) MiB of the
// same Chinese lines, beside reading them as plain lines.
//
// hostile: charlib-cli on about min(MiB, 256) MiB of one pathology per format
// (millions of tiny entries, deep nesting, one huge entry): its seconds and
// its peak memory against the file's size (only when asked).
//
// web: Noto Sans CJK SC cut into WOFF2 pieces by the frequency of the
// characters of the MiB corpus, with and without the rest of the font, on
// every core and on one; and what a page of its most common characters loads.
//
// CHARLIB_ISA=scalar|sse2|avx2 times that kernel instead of the processor's best.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "actions/actions.h"
#include "base/types.h"
#include "codec/code_page_936.h"
#include "codec/utf.h"
#include "extract/extract.h"
#include "extract/line_reader.h"
#include "font/font.h"
#include "font/web.h"
#include "formats/entries.h"
#include "output/output.h"
#include "simd/kernel.h"
#include "sources/detection.h"
#include "sources/read_source.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Chinese text with Zipf-distributed characters from GB2312's first level,
// some ASCII and punctuation, CR LF lines, and a speaker line ("#" + name)
// before every few lines of dialogue, as in a game script.
void write_corpus(const std::filesystem::path& path, std::size_t bytes)
{
    std::mt19937_64 random(936);
    constexpr int hanzi = 3755;
    std::vector<double> weights(hanzi);
    for (int i = 0; i < hanzi; ++i)
        weights[i] = 1.0 / (i + 1);
    std::discrete_distribution<int> zipf(weights.begin(), weights.end());
    std::uniform_int_distribution<int> percent(0, 99), length(5, 60);
    const char* punctuation[] = {"\xA3\xAC", "\xA1\xA3", "\xA3\xBF", "\xA3\xA1", "\xA1\xB0", "\xA1\xB1"};

    std::ofstream out(path, std::ios::binary);
    std::string line;
    std::size_t written = 0;
    while (written < bytes) {
        line.clear();
        if (percent(random) < 20) {
            line += "#";
            for (int i = 0; i < 2; ++i) {
                const int k = zipf(random);
                line += static_cast<char>(0xB0 + k / 94);
                line += static_cast<char>(0xA1 + k % 94);
            }
        } else {
            for (int n = length(random); n > 0; --n) {
                const int p = percent(random);
                if (p < 8) {
                    line += static_cast<char>('a' + percent(random) % 26);
                } else if (p < 14) {
                    line += punctuation[percent(random) % 6];
                } else {
                    const int k = zipf(random);
                    line += static_cast<char>(0xB0 + k / 94);
                    line += static_cast<char>(0xA1 + k % 94);
                }
            }
        }
        line += "\r\n";
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        written += line.size();
    }
}

// Text users really have: nearly all hanzi (every character of GB2312, 6763,
// in a Zipf spread over a shuffled order, so that frequency has nothing to do
// with code order), full-width punctuation, CR LF lines of 5 to 40
// characters, one in eight opening with the marker "作者：".
void write_hanzi_dense_corpus(const std::filesystem::path& path, std::size_t bytes)
{
    std::mt19937_64 random(20261207);
    std::vector<std::string> hanzi;
    for (int lead = 0xB0; lead <= 0xF7; ++lead)
        for (int trail = 0xA1; trail <= 0xFE; ++trail)
            if (!(lead == 0xD7 && trail > 0xF9)) hanzi.push_back({char(lead), char(trail)});
    std::shuffle(hanzi.begin(), hanzi.end(), random);
    std::vector<double> weights(hanzi.size());
    for (std::size_t i = 0; i < weights.size(); ++i)
        weights[i] = 1.0 / static_cast<double>(i + 1);
    std::discrete_distribution<std::size_t> zipf(weights.begin(), weights.end());
    std::uniform_int_distribution<int> percent(0, 99), length(5, 40);
    const char* punctuation[] = {"\xA3\xAC", "\xA1\xA3", "\xA3\xBF", "\xA3\xA1", "\xA1\xB0", "\xA1\xB1",
        "\xA3\xBA", "\xA1\xA2"};  // ，。？！“”：、
    std::ofstream out(path, std::ios::binary);
    std::string line;
    for (std::size_t written = 0, number = 0; written < bytes; written += line.size(), ++number) {
        line = number % 8 == 0 ? "\xD7\xF7\xD5\xDF\xA3\xBA" : "";  // 作者：
        for (int n = length(random); n > 0; --n)
            line += percent(random) < 8 ? punctuation[percent(random) % 8] : hanzi[zipf(random)];
        line += "\r\n";
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
}

double seconds_of(const std::function<void()>& work, int repeats = 3)
{
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

// One plain pass: read the file in 1 MiB blocks and memchr each for 0x1A.
void memchr_pass(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buffer(1 << 20);
    std::size_t hits = 0;
    for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;)
        hits += std::memchr(buffer.data(), 0x1A, static_cast<std::size_t>(n)) != nullptr;
    ::close(fd);
    if (hits) std::puts("unexpected Control-Z");
}

// The same text in UTF-8, with the same line ends.
void write_utf8_copy(const std::filesystem::path& gbk, const std::filesystem::path& utf8)
{
    charlib::LineReader reader;
    reader.open(gbk);
    std::ofstream out(utf8, std::ios::binary);
    while (!reader.at_end()) {
        const std::u16string line = reader.read_line();
        out << charlib::to_utf8(std::u32string(line.begin(), line.end())) << "\r\n";
    }
}

// One run of a program, its outputs thrown away. A child started from this
// process counts this process's own peak as its own, so this one stays small.
struct ProgramRun {
    double seconds = -1, peak_mib = 0;
    int status = -1;
};
ProgramRun run_program(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    ProgramRun run;
    const auto start = Clock::now();
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (started != 0) return run;
    int status = 0;
    struct rusage usage { };
    wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.peak_mib = usage.ru_maxrss / 1024.0;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Seconds for one run of a program, or -1 when it cannot be started or fails.
double seconds_of_program(std::vector<std::string> args)
{
    const ProgramRun run = run_program(std::move(args));
    return run.status == 0 ? run.seconds : -1;
}

// Every hanzi of GB2312 and the common full-width punctuation, the characters
// of the hanzi-dense corpus, as one line of code page 936.
std::filesystem::path write_font_text()
{
    const auto path = std::filesystem::temp_directory_path() / "charlib-bench-font-text.txt";
    std::ofstream out(path, std::ios::binary);
    for (int lead = 0xB0; lead <= 0xF7; ++lead)
        for (int trail = 0xA1; trail <= 0xFE; ++trail)
            if (!(lead == 0xD7 && trail > 0xF9)) out << char(lead) << char(trail);
    out << "\xA3\xAC\xA1\xA3\xA3\xBF\xA3\xA1\xA1\xB0\xA1\xB1\xA3\xBA\xA1\xA2\r\n";  // ，。？！“”：、
    return path;
}

// The fonts: charlib-cli's extract and subset (of the text in code page 936
// and in UTF-8) against Debian's hb-subset on the same characters, whole
// processes side by side, then the library's subset, WOFF2 and atlases in
// process.
void bench_fonts(const std::filesystem::path& cli)
{
    const auto folder = std::filesystem::temp_directory_path();
    const auto gbk = write_font_text();
    const std::u32string set = charlib::extract_source(gbk, {}, {}).characters;
    const auto utf8 = folder / "charlib-bench-font-text-utf8.txt";
    std::ofstream(utf8, std::ios::binary) << charlib::to_utf8(set);
    const auto list = folder / "charlib-bench-unicodes.txt";
    {
        std::ofstream out(list);
        for (char32_t c : set)
            out << std::hex << static_cast<unsigned>(c) << "\n";
    }
    const auto subset_path = folder / "charlib-bench-subset.otf";  // CFF or TrueType, both at home in .otf
    struct FontFile {
        const char* name;
        std::filesystem::path path;
        unsigned face;
    };
    const FontFile fonts[] = {
        {"WenQuanYi Micro Hei", "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc", 0},
        {"Noto Sans CJK SC", "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc", 2},
    };
    std::printf("\nfonts: %zu characters (every GB2312 hanzi, punctuation); whole processes, best of 7 runs "
                "each, taking turns\n%-28s %9s %11s %7s %11s %7s\n",
        set.size(), "extract + subset", "hb-subset", "charlib gbk", "ratio", "charlib utf8", "ratio");
    for (const FontFile& font : fonts) {
        if (!std::filesystem::exists(font.path)) {
            std::printf("%-28s not installed, skipped\n", font.name);
            continue;
        }
        const std::string face = std::to_string(font.face);
        const auto charlib_cli = [&](const char* encoding, const std::filesystem::path& text) {
            return seconds_of_program({cli.string(), "-e", encoding, "--font", font.path.string(), "--face",
                face, "--subset", subset_path.string(), text.string()});
        };
        double theirs = 1e300, from_gbk = 1e300, from_utf8 = 1e300;
        for (int run = 0; run < 7; ++run) {
            theirs = std::min(theirs,
                seconds_of_program({"hb-subset", "--font-file=" + font.path.string(), "--face-index=" + face,
                    "--unicodes-file=" + list.string(), "--output-file=" + subset_path.string()}));
            from_gbk = std::min(from_gbk, charlib_cli("gbk", gbk));
            from_utf8 = std::min(from_utf8, charlib_cli("utf-8", utf8));
        }
        if (theirs < 0 || from_gbk < 0 || from_utf8 < 0)
            std::printf("%-28s %s failed\n", font.name, theirs < 0 ? "hb-subset" : "charlib-cli");
        else
            std::printf("%-28s %9.3f %11.3f %7.2f %11.3f %7.2f\n", font.name, theirs, from_gbk,
                from_gbk / theirs, from_utf8, from_utf8 / theirs);
    }
    const FontFile& microhei = fonts[0];
    if (std::filesystem::exists(microhei.path)) {
        const charlib::Font font(microhei.path);
        std::printf("%-40s %9s\n", "WenQuanYi Micro Hei, in process", "seconds");
        std::printf("%-40s %9.3f\n", "open the font", seconds_of([&] { charlib::Font(microhei.path); }));
        std::printf("%-40s %9.3f\n", "subset", seconds_of([&] { charlib::subset_font(font, set, false); }));
        std::printf("%-40s %9.4f\n", "glyphs that draw nothing", seconds_of([&] { (void)font.blank(set); }));
        std::printf("%-40s %9.3f\n", "subset to WOFF2",
            seconds_of([&] { charlib::subset_font(font, set, true); }, 1));
        std::u32string seven_thousand;
        for (char32_t c = 0x4E00; seven_thousand.size() < 7000 && c < 0xA000; ++c)
            if (font.has(c)) seven_thousand += c;
        const auto atlas_seconds = [&](unsigned size, bool sdf, bool kerning) {
            charlib::AtlasOptions options;
            options.size = size;
            options.sdf = sdf;
            options.kerning = kerning;
            return seconds_of([&] { charlib::render_atlas(font, seven_thousand, options, "bench"); }, 1);
        };
        for (unsigned size : {16u, 32u})
            std::printf("%-40s %9.3f\n", ("atlas, 7000 characters, " + std::to_string(size) + " px").c_str(),
                atlas_seconds(size, false, true));
        // Side by side: what kerning and a distance field add to the same atlas.
        std::printf("%-40s %9.3f\n", "the same at 32 px without kerning", atlas_seconds(32, false, false));
        std::printf("%-40s %9.3f\n", "the same as a distance field, spread 4", atlas_seconds(32, true, true));
        std::u32string with_latin = seven_thousand;
        for (char32_t c = 0x21; c < 0x7F; ++c)
            with_latin += c;
        std::printf("%-40s %9.3f\n", "kerning pairs of 7000 hanzi and ASCII",
            seconds_of([&] { charlib::kerning_pairs(font, with_latin, 32); }));
    }
    std::filesystem::remove(gbk);
    std::filesystem::remove(utf8);
    std::filesystem::remove(list);
    std::filesystem::remove(subset_path);
}

// A tally's characters, most frequent first, ties in its order.
std::u32string most_frequent_first(const charlib::Tally& tally)
{
    std::vector<std::size_t> order(tally.characters.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
        [&](std::size_t a, std::size_t b) { return tally.counts[a] > tally.counts[b]; });
    std::u32string frequent;
    for (std::size_t i : order)
        frequent += tally.characters[i];
    return frequent;
}

// The web font of Noto Sans CJK SC for the corpus's characters, most frequent
// first, alone and followed by the rest of the font: the pieces, how near the
// target they land (all but the last of each run), the seconds on every core
// and on one, and the pieces a page of the 500 most common characters loads.
void bench_web(const std::filesystem::path& corpus)
{
    const std::filesystem::path noto = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
    if (!std::filesystem::exists(noto)) {
        std::printf("\nweb fonts: Noto Sans CJK SC not installed, skipped\n");
        return;
    }
    const charlib::Tally tally = charlib::extract_source(corpus, {}, {{}, 0, true});
    const std::u32string frequent = most_frequent_first(tally);
    const std::u32string page = frequent.substr(0, 500);
    const charlib::Font font(noto, 2);
    // After the punctuation piece, the set's pieces, then the rest of the font's.
    const auto first_run = static_cast<std::size_t>(std::count_if(frequent.begin(), frequent.end(), [&](char32_t c) {
        return charlib::needs_glyph(c) && font.has(c) && !charlib::belongs_in_first_piece(c);
    }));
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("\nweb fonts: Noto Sans CJK SC, pieces of 70 KiB, for the %zu characters of %s; "
                "a page of its 500 most common\n%-20s %6s %8s %14s %8s %8s %8s %6s %7s\n",
        frequent.size(), corpus.filename().c_str(), "", "pieces", "total MB", "piece/target", "seconds",
        "CPU s", "1 thread", "page", "page KB");
    for (const bool all : {false, true}) {
        charlib::WebFontOptions options;
        options.all = all;
        charlib::WebFont web;
        const auto made = [&](unsigned threads) {
            options.threads = threads;
            return seconds_of([&] { web = charlib::make_web_font(font, tally, options); }, 1);
        };
        const std::clock_t start = std::clock();  // of every thread
        const double every_core = made(cores);
        const double processor = double(std::clock() - start) / CLOCKS_PER_SEC;
        const double one = made(1);
        std::size_t total = 0, page_pieces = 0, page_bytes = 0, run = 0;
        double least = 1e300, most = 0;
        for (std::size_t i = 0; i < web.pieces.size(); ++i) {
            const charlib::WebFontPiece& piece = web.pieces[i];
            total += piece.bytes.size();
            if (std::any_of(piece.characters.begin(), piece.characters.end(),
                    [&](char32_t c) { return page.find(c) != std::u32string::npos; })) {
                ++page_pieces;
                page_bytes += piece.bytes.size();
            }
            if (i == 0) continue;  // the punctuation
            run += piece.characters.size();
            if (run != first_run && i + 1 != web.pieces.size()) {  // not the last of a run
                const double share = double(piece.bytes.size()) / double(options.chunk_size);
                least = std::min(least, share);
                most = std::max(most, share);
            }
        }
        std::printf("%-20s %6zu %8.2f %6.2f to %4.2f %8.1f %8.1f %8.1f %6zu %7.0f\n",
            all ? "with the rest (all)" : "the corpus's set", web.pieces.size(), total / 1e6, least, most,
            every_core, processor, one, page_pieces, page_bytes / 1024.0);
    }
    std::printf("(seconds on %u threads and the processor time they took, then seconds on 1; the pieces "
                "and KB the page loads)\n",
        cores);
}

// Peak resident memory of one charlib-cli run, in MiB.
double cli_peak_mib(const std::filesystem::path& cli, const std::filesystem::path& corpus,
    const std::filesystem::path& output)
{
    std::vector<std::string> args = {cli.string(), "-o", output.string(), corpus.string()};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    struct rusage usage { };
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss / 1024.0;
}

// A corpus file of at least `mib` MiB, written once and kept in the temporary folder.
std::filesystem::path corpus_file(
    const std::string& name, std::size_t mib, void (*write)(const std::filesystem::path&, std::size_t))
{
    const auto path =
        std::filesystem::temp_directory_path() / ("charlib-bench-" + name + std::to_string(mib) + ".txt");
    if (!std::filesystem::exists(path) || std::filesystem::file_size(path) < mib << 20) {
        std::printf("writing %zu MiB corpus to %s\n", mib, path.c_str());
        write(path, mib << 20);
    }
    return path;
}

// The first `bytes` of a file, whole lines, written to a file of its own.
std::filesystem::path part_of(const std::filesystem::path& corpus, std::size_t from, std::size_t bytes,
    const std::string& name)
{
    std::string text(from + bytes, '\0');
    std::ifstream(corpus, std::ios::binary).read(text.data(), std::streamsize(text.size()));
    const std::size_t start = from == 0 ? 0 : text.rfind('\n', from) + 1;
    text = text.substr(start, text.rfind('\n') + 1 - start);
    const auto path = std::filesystem::temp_directory_path() / ("charlib-bench-" + name + ".txt");
    std::ofstream(path, std::ios::binary).write(text.data(), std::streamsize(text.size()));
    return path;
}

// A site edited: its text cut into a folder, then 5% more text cut again into
// the same folder, and cut afresh. A returning visitor has every earlier
// piece cached: what it fetches for the new text's page, and for a page of
// the 500 most common characters.
void bench_web_edit(const std::string& what, const std::filesystem::path& site, const std::filesystem::path& added_file)
{
    const std::filesystem::path noto = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
    if (!std::filesystem::exists(noto)) return;
    const charlib::Font font(noto, 2);
    const charlib::Tally before = charlib::extract_source(site, {}, {{}, 0, true});
    const std::uintmax_t added_bytes = std::filesystem::file_size(added_file);
    const charlib::Tally page = charlib::extract_source(added_file, {}, {{}, 0, true});
    charlib::Tally after = before;
    after.add(page);

    const auto folder = std::filesystem::temp_directory_path() / "charlib-bench-web";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto written = [&](const charlib::WebFont& web) {
        for (const charlib::WebFontPiece& piece : web.pieces)
            if (!piece.kept) std::ofstream(folder / piece.file, std::ios::binary) << piece.bytes;
        std::ofstream(folder / charlib::web_manifest_name) << charlib::write_web_manifest(web.manifest);
    };
    charlib::WebFontOptions options;
    const charlib::WebFont first = charlib::make_web_font(font, before, options);
    written(first);
    std::set<std::string> cached;
    for (const charlib::WebFontPiece& piece : first.pieces)
        cached.insert(piece.file);
    const charlib::WebFont kept = charlib::make_web_font(font, after, options, charlib::read_web_folder(folder));
    const charlib::WebFont fresh = charlib::make_web_font(font, after, options);
    const std::u32string common = most_frequent_first(after).substr(0, 500);
    std::size_t new_characters = 0;
    for (char32_t c : page.characters)
        new_characters += before.characters.find(c) == std::u32string::npos && charlib::needs_glyph(c);
    // Bytes of a piece, kept ones read from the folder.
    const auto size_of = [&](const charlib::WebFontPiece& piece) {
        return piece.kept ? std::filesystem::file_size(folder / piece.file) : piece.bytes.size();
    };
    const auto fetched = [&](const charlib::WebFont& web, std::u32string_view text) {
        std::size_t pieces = 0, bytes = 0;
        for (const charlib::WebFontPiece& piece : web.pieces)
            if (!cached.contains(piece.file) &&
                std::any_of(piece.characters.begin(), piece.characters.end(),
                    [&](char32_t c) { return text.find(c) != std::u32string_view::npos; })) {
                ++pieces;
                bytes += size_of(piece);
            }
        return std::pair(pieces, bytes);
    };
    std::printf("\nan edit: %s, %ju KB, %zu characters, and 5%% more text (%ju KB, %zu characters new to the "
                "site); a returning visitor has every earlier piece cached\n%-22s %7s %9s %18s %18s\n",
        what.c_str(), std::filesystem::file_size(site) / 1000, before.characters.size(), added_bytes / 1000,
        new_characters, "cut",
        "pieces", "total KB", "new text's page", "500 most common");
    for (const auto& [name, web] : {std::pair("again, pieces kept", &kept), std::pair("afresh", &fresh)}) {
        std::size_t total = 0;
        for (const charlib::WebFontPiece& piece : web->pieces)
            total += size_of(piece);
        const auto [new_pieces, new_bytes] = fetched(*web, page.characters);
        const auto [common_pieces, common_bytes] = fetched(*web, common);
        std::printf("%-22s %7zu %9.0f %4zu, %5.0f KB %4.1f%% %4zu, %5.0f KB\n", name, web->pieces.size(),
            total / 1000.0, new_pieces, new_bytes / 1000.0, 100.0 * double(new_bytes) / double(total),
            common_pieces, common_bytes / 1000.0);
    }
    std::printf("(the pages fetch the pieces they need that the visitor has not cached: pieces, KB, and the "
                "share of all pieces' bytes)\n");
    std::filesystem::remove_all(folder);
}

// A site of 128 KiB of text (some 60,000 characters): 5% more of the same
// kind; and 5% of another kind, with every hanzi of GB2312.
void bench_web_edits(const std::filesystem::path& mixed, const std::filesystem::path& dense)
{
    constexpr std::size_t site = 128 << 10;
    bench_web_edit("the hanzi-dense corpus", part_of(dense, 0, site, "site"), part_of(dense, site, site / 20, "added"));
    bench_web_edit("the mixed corpus, hanzi-dense text added", part_of(mixed, 0, site, "site"),
        part_of(dense, 0, site / 20, "added"));
    for (const char* name : {"site", "added"})
        std::filesystem::remove(std::filesystem::temp_directory_path() / ("charlib-bench-" + std::string(name) + ".txt"));
}

// A game's atlas after an edit: the characters of 128 KiB of text packed
// (WenQuanYi Micro Hei at 24 px, and at 48 px as a distance field), then the
// edited text's packed over them with --atlas-keep and afresh: how many pages'
// bytes changed, of how many, which is what a patch carries.
void bench_atlas_edits(const std::filesystem::path& mixed, const std::filesystem::path& dense)
{
    const std::filesystem::path microhei = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
    if (!std::filesystem::exists(microhei)) return;
    const charlib::Font font(microhei);
    constexpr std::size_t site = 128 << 10;
    const auto tally = [](const std::filesystem::path& file) {
        const charlib::Tally found = charlib::extract_source(file, {}, {});
        std::filesystem::remove(file);
        return found;
    };
    const charlib::Tally text = tally(part_of(mixed, 0, site, "game"));
    const charlib::Tally rest = tally(part_of(mixed, site / 20, site - site / 20, "game-rest"));
    const charlib::Tally more = tally(part_of(mixed, site, site / 20, "game-more"));
    const charlib::Tally dense_more = tally(part_of(dense, 0, site / 20, "game-dense"));
    const auto joined = [](charlib::Tally first, const charlib::Tally& later) {
        first.add(later);
        return first;
    };
    const std::pair<const char*, charlib::Tally> edits[] = {{"5% more text", joined(text, more)},
        {"5% more, hanzi-dense", joined(text, dense_more)}, {"5% of the text rewritten", joined(rest, more)}};
    charlib::AtlasOptions plain, field;
    plain.size = 24;
    field.size = 48;
    field.sdf = true;
    const auto folder = std::filesystem::temp_directory_path() / "charlib-bench-atlas";
    std::printf("\nan atlas after an edit: %zu characters of %zu KiB of text, WenQuanYi Micro Hei, 1024x1024 pages\n"
                "%-10s %-26s %4s %4s %5s %22s %22s\n",
        text.characters.size(), site >> 10, "atlas", "edit", "new", "gone", "pages", "changed, kept, time",
        "changed, afresh, time");
    for (const auto& setting : {std::pair("24 px", &plain), std::pair("48 px SDF", &field)}) {
        const char* what = setting.first;
        const charlib::AtlasOptions* options = setting.second;  // named: clang 14 captures no structured binding
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        const charlib::Atlas first = charlib::render_atlas(font, text.characters, *options, "game");
        for (std::size_t i = 0; i < first.pages.size(); ++i)
            std::ofstream(folder / first.font.page_files[i], std::ios::binary) << first.pages[i];
        std::ofstream(folder / "game.fnt", std::ios::binary) << first.descriptor;
        charlib::AtlasOptions keep = *options;
        keep.earlier = std::make_shared<const charlib::EarlierAtlas>(*charlib::read_earlier_atlas(folder / "game.fnt"));
        const auto changed = [&](const charlib::Atlas& atlas) {
            std::size_t count = 0;
            for (std::size_t i = 0; i < atlas.pages.size(); ++i)
                count += i >= first.pages.size() || atlas.pages[i] != first.pages[i];
            return count;
        };
        for (const auto& [edit, edited] : edits) {
            const charlib::Tally& after = edited;
            std::size_t added = 0, gone = 0;
            for (char32_t c : after.characters)
                added += text.characters.find(c) == std::u32string::npos && font.has(c) && charlib::needs_glyph(c);
            for (char32_t c : text.characters)
                gone += after.characters.find(c) == std::u32string::npos && font.has(c) && charlib::needs_glyph(c);
            charlib::Atlas kept, fresh;
            const double kept_seconds =
                seconds_of([&] { kept = charlib::render_atlas(font, after.characters, keep, "game"); }, 1);
            const double fresh_seconds =
                seconds_of([&] { fresh = charlib::render_atlas(font, after.characters, *options, "game"); }, 1);
            std::printf("%-10s %-26s %4zu %4zu %5zu %8zu of %zu %6.2f s %8zu of %zu %6.2f s%s\n", what, edit, added,
                gone, first.pages.size(), changed(kept), kept.pages.size(), kept_seconds, changed(fresh),
                fresh.pages.size(), fresh_seconds, kept.notes.empty() ? "" : " (packed anew)");
        }
    }
    std::filesystem::remove_all(folder);
}

// Prints rows of seconds against one memchr pass over the same file, in the same run.
struct Table {
    explicit Table(const std::filesystem::path& corpus) :
        megabytes(static_cast<double>(std::filesystem::file_size(corpus)) / 1e6)
    {
        memchr_pass(corpus);  // warm the page cache
        baseline = seconds_of([&] { memchr_pass(corpus); }, 5);
        std::printf("\n%s: %.0f MB; memchr pass %.3f s (%.0f MB/s)\n", corpus.filename().c_str(), megabytes,
            baseline, megabytes / baseline);
        std::printf("%-40s %9s %10s %12s\n", "operation", "seconds", "MB/s", "x memchr");
    }
    double row(const std::string& name, double seconds, bool whole_file = true) const
    {
        if (whole_file)
            std::printf("%-40s %9.3f %10.0f %12.2f\n", name.c_str(), seconds, megabytes / seconds,
                seconds / baseline);
        else
            std::printf("%-40s %9.4f %10s %12.4f\n", name.c_str(), seconds, "-", seconds / baseline);
        return seconds;
    }
    double megabytes;
    double baseline = 0;
};

double extract_seconds(const charlib::Tuning& tuning, const std::filesystem::path& path,
    charlib::Encoding encoding, std::u16string marker, std::int64_t offset = 0, bool count = false)
{
    return seconds_of([&] {
        charlib::extract_source(path, {encoding, charlib::Newline::Legacy},
            {charlib::code_points(marker), offset, count}, charlib::default_buffer_size, tuning);
    });
}

// The window's operations on the mixed corpus.
void bench_core(const charlib::Tuning& tuning, const std::filesystem::path& corpus)
{
    const auto extract = [&](std::u16string_view marker, std::int64_t offset) {
        return seconds_of(
            [&] { charlib::extract(corpus, marker, offset, charlib::default_buffer_size, tuning); });
    };
    const Table table(corpus);
    const auto folder = std::filesystem::temp_directory_path();
    const auto small = folder / "charlib-bench-10001-lines.txt";
    {
        std::ofstream out(small, std::ios::binary);
        for (int i = 0; i < 10001; ++i)
            out << "line " << i << "\r\n";
    }
    table.row("scan", seconds_of([&] { charlib::scan(corpus); }));
    table.row("load 10000 lines", seconds_of([&] { charlib::load(corpus); }), false);
    table.row("load 10000 lines (10001-line file)", seconds_of([&] { charlib::load(small); }), false);
    table.row("extract, no marker", extract(u"", 0));
    table.row("extract, marker \"#\"", extract(u"#", 0));
    table.row("extract, marker \"#\", offset 1", extract(u"#", 1));
    table.row("extract, marker \"\xE7\x9A\x84\" (Chinese)", extract(u"的", 0));
    std::u16string twenty_thousand;
    std::mt19937 random(1);
    std::uniform_int_distribution<int> unit(0x4E00, 0x9FA5);
    for (int i = 0; i < 20000; ++i)
        twenty_thousand += static_cast<char16_t>(unit(random));
    const auto end_txt = folder / "charlib-bench-END.txt";
    table.row("sort 20000 characters", seconds_of([&] { charlib::sort_charset(twenty_thousand); }), false);
    table.row("write 20000 characters", seconds_of([&] { charlib::write_charset(end_txt, twenty_thousand); }),
        false);
    std::filesystem::remove(end_txt);
    std::filesystem::remove(small);
}

// The pipeline on a corpus and on the same text in UTF-8, with and without counting.
void bench_pipeline(const charlib::Tuning& tuning, const std::filesystem::path& corpus,
    const std::vector<std::pair<std::string, std::u16string>>& markers)
{
    const auto utf8 = corpus.parent_path() / (corpus.stem().string() + "-utf8.txt");
    if (!std::filesystem::exists(utf8)) write_utf8_copy(corpus, utf8);
    const Table gbk(corpus), unicode(utf8);
    std::printf("%-40s %9s %10s %12s %8s\n", "the same text: gbk, then utf-8", "seconds", "MB/s", "x memchr",
        "x gbk");
    const double detect_gbk =
        gbk.row("gbk, detect (-e auto)", seconds_of([&] { charlib::detect(corpus, *tuning.kernel); }));
    const double detect_utf8 = seconds_of([&] { charlib::detect(utf8, *tuning.kernel); });
    std::printf("%-40s %9.3f %10.0f %12.2f %8.2f\n", "utf-8, detect (-e auto)", detect_utf8,
        unicode.megabytes / detect_utf8, detect_utf8 / unicode.baseline, detect_utf8 / detect_gbk);
    for (const auto& [name, marker] : markers)
        for (bool count : {false, true}) {
            const std::string label = name + (count ? ", counting" : "");
            const double seconds = gbk.row(
                "gbk, " + label, extract_seconds(tuning, corpus, charlib::Encoding::Gbk, marker, 0, count));
            const double utf = extract_seconds(tuning, utf8, charlib::Encoding::Utf8, marker, 0, count);
            std::printf("%-40s %9.3f %10.0f %12.2f %8.2f\n", ("utf-8, " + label).c_str(), utf,
                unicode.megabytes / utf, utf / gbk.baseline, utf / seconds);
        }
}

// The same Chinese lines written as each translation format, about `bytes`
// each; returns the files, the plain lines file first.
std::vector<std::pair<std::string, std::filesystem::path>> write_translation_files(
    const std::filesystem::path& folder, std::size_t bytes)
{
    std::filesystem::create_directories(folder);
    std::mt19937_64 random(18);
    std::uniform_int_distribution<int> hanzi(0, 3754), length(5, 40);
    const auto line_of = [&] {
        std::u32string text;
        for (int n = length(random); n > 0; --n) {
            const int k = hanzi(random);
            const std::string gbk{static_cast<char>(0xB0 + k / 94), static_cast<char>(0xA1 + k % 94)};
            text += charlib::code_points(charlib::decode(gbk));
        }
        return charlib::to_utf8(text);
    };
    std::vector<std::string> lines;
    for (std::size_t total = 0; total < bytes; total += lines.back().size() + 40)
        lines.push_back(line_of());
    using Writer = std::function<std::string(std::size_t, const std::string&)>;
    const std::vector<std::tuple<std::string, std::string, std::string, Writer, std::string>> formats = {
        {"lines", "txt", "", [](std::size_t, const std::string& t) { return t + "\r\n"; }, ""},
        {"po", "po", "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n",
            [](std::size_t i, const std::string& t) {
                return "msgid \"key " + std::to_string(i) + "\"\nmsgstr \"" + t + "\"\n\n";
            },
            ""},
        {"json", "json", "{\n",
            [](std::size_t i, const std::string& t) {
                return std::string(i ? ",\n" : "") + "  \"key" + std::to_string(i) + "\": \"" + t + "\"";
            },
            "\n}\n"},
        {"csv", "csv", "key,text\r\n",
            [](std::size_t i, const std::string& t) {
                return "key" + std::to_string(i) + ",\"" + t + "\"\r\n";
            },
            ""},
        {"srt", "srt", "",
            [](std::size_t i, const std::string& t) {
                return std::to_string(i + 1) + "\n00:00:01,000 --> 00:00:02,000\n" + t + "\n\n";
            },
            ""},
        {"xliff", "xlf", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xliff version=\"1.2\"><file><body>\n",
            [](std::size_t i, const std::string& t) {
                return "<trans-unit id=\"k" + std::to_string(i) + "\"><source>s</source><target>" + t +
                    "</target></trans-unit>\n";
            },
            "</body></file></xliff>\n"},
        {"android", "xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<resources>\n",
            [](std::size_t i, const std::string& t) {
                return "<string name=\"k" + std::to_string(i) + "\">" + t + "</string>\n";
            },
            "</resources>\n"},
        {"strings", "strings", "",
            [](std::size_t i, const std::string& t) {
                return "\"key" + std::to_string(i) + "\" = \"" + t + "\";\n";
            },
            ""},
        {"yaml", "yaml", "",
            [](std::size_t i, const std::string& t) {
                return "key" + std::to_string(i) + ": \"" + t + "\"\n";
            },
            ""},
        {"html", "html", "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title></head><body>\n",
            [](std::size_t, const std::string& t) { return "<p>" + t + "</p>\n"; }, "</body></html>\n"},
        {"properties", "properties", "",
            [](std::size_t i, const std::string& t) { return "key" + std::to_string(i) + " = " + t + "\n"; },
            ""},
    };
    std::vector<std::pair<std::string, std::filesystem::path>> files;
    for (const auto& [name, extension, head, entry, tail] : formats) {
        const auto path = folder / (name + "." + extension);
        if (!std::filesystem::exists(path)) {
            std::string text = head;
            for (std::size_t i = 0; i < lines.size(); ++i)
                text += entry(i, lines[i]);
            std::ofstream(path, std::ios::binary) << text << tail;
        }
        files.emplace_back(name, path);
    }
    return files;
}

// Each translation format's reader beside the lines reader on the same text.
void bench_translation_formats(const charlib::Tuning& tuning, std::size_t mib)
{
    const auto files =
        write_translation_files(std::filesystem::temp_directory_path() / "charlib-bench-formats", mib << 20);
    std::printf("\n%-12s %9s %9s %10s %10s\n", "format", "MB", "seconds", "MB/s", "x lines");
    double lines_seconds = 0;
    for (const auto& file : files) {
        const std::string& name = file.first;
        const std::filesystem::path& path = file.second;
        charlib::ReadingRules rules;
        rules.encoding = charlib::Encoding::Utf8;
        rules.newline = charlib::Newline::Any;
        rules.tuning = tuning;
        rules.entries.format = charlib::text_format_named(name);
        std::size_t characters = 0;
        const double seconds = seconds_of([&] {
            const charlib::SourceRead read = charlib::read_source(path, rules);
            if (read.report.error)
                std::fprintf(stderr, "%s\n", std::string(charlib::code_id(read.report.error->code)).c_str());
            characters = read.tally.characters.size();
        });
        if (name == "lines") lines_seconds = seconds;
        const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
        std::printf("%-12s %9.1f %9.3f %10.0f %10.2f   (%zu characters)\n", name.c_str(), megabytes, seconds,
            megabytes / seconds, seconds / lines_seconds, characters);
    }
}

// charlib-cli on files made to cost a reader the most: each format's
// smallest entries by the million, deep nesting, one entry as large as the
// file. Written a piece at a time, so that this process stays small.
void bench_hostile(const std::filesystem::path& cli, std::size_t mib)
{
    const std::size_t bytes = mib << 20;
    const auto folder = std::filesystem::temp_directory_path() / "charlib-bench-hostile";
    std::filesystem::create_directories(folder);
    struct Case {
        std::string name, format, head, unit, tail;
        std::size_t repeat_tail = 1;  // the tail, as many times as the unit (nesting)
    };
    const std::vector<Case> cases = {
        {"tiny strings", "json", "[", "\"a\",", "\"a\"]"},
        {"arrays nested", "json", "", "[", "]", 0},
        {"one string", "json", "[\"", "\xe5\xad\x97", "\"]"},
        {"tiny entries", "yaml", "", "- a\n", ""},
        {"flow entries, 64 deep", "yaml", std::string(64, '['), "a,", "a" + std::string(64, ']')},
        {"tiny rows", "csv", "h\n", "a\n", ""},
        {"one cell", "csv", "h\n\"", "\xe5\xad\x97", "\"\n"},
        {"one row", "csv", "", "a,", "a\n"},
        {"tiny messages", "po", "", "", ""},
        {"tiny cues", "srt", "", "1\n00:00:01,000 --> 00:00:02,000\na\n\n", ""},
        {"tiny cues", "vtt", "WEBVTT\n\n", "00:01.000 --> 00:02.000\na\n\n", ""},
        {"tiny pairs", "strings", "", "\"a\"=\"b\";\n", ""},
        {"tiny pairs", "properties", "", "a=b\n", ""},
        {"tiny units", "xliff", "<xliff version=\"1.2\"><file><body>",
            "<trans-unit id=\"k\"><target>a</target></trans-unit>", "</body></file></xliff>"},
        {"tiny strings", "android", "<resources>", "<string name=\"k\">a</string>", "</resources>"},
        {"one string", "xliff", "<xliff version=\"1.2\"><file><body><trans-unit id=\"k\"><target>",
            "\xe5\xad\x97", "</target></trans-unit></body></file></xliff>"},
        {"tiny values", "resx", "<root>", "<data name=\"k\"><value>a</value></data>", "</root>"},
        {"elements nested", "resx", "<root>", "<a>", "</a>", 0},
        {"tiny paragraphs", "html", "<html><body>", "<p>a", "</body></html>"},
        {"one paragraph", "html", "<html><body><p>", "\xe5\xad\x97", "</body></html>"},
        {"elements nested", "html", "<html><body>", "<div>", "</div>", 0},
    };
    std::printf("\n%-12s %-24s %8s %9s %9s %10s %10s %8s\n", "format", "file", "MB", "seconds", "MB/s",
        "peak MiB", "x size", "bound");
    for (const Case& test : cases) {
        const auto path = folder / (test.format + "-" + std::to_string(&test - cases.data()));
        {
            std::ofstream out(path, std::ios::binary);
            out << test.head;
            std::size_t written = test.head.size();
            if (test.format == "po") {
                for (std::size_t i = 0;; ++i) {
                    const std::string message = "msgid \"" + std::to_string(i) + "\"\nmsgstr \"b\"\n\n";
                    if (written + message.size() > bytes) break;
                    out << message;
                    written += message.size();
                }
            } else {
                const std::size_t units = (bytes - test.head.size() - test.tail.size()) /
                    (test.unit.size() + (test.repeat_tail ? 0 : test.tail.size()));
                std::string piece;
                for (std::size_t i = 0; i < units; ++i) {
                    piece += test.unit;
                    if (piece.size() >= (1 << 20) || i + 1 == units) {
                        out << piece;
                        piece.clear();
                    }
                }
                for (std::size_t i = 0; i < (test.repeat_tail ? 1 : units); ++i)
                    piece += test.tail;
                out << piece;
            }
        }
        const ProgramRun run =
            run_program({cli.string(), "-t", test.format, "-o", "/dev/null", path.string()});
        const double size_mib = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
        std::printf("%-12s %-24s %8.1f %9.2f %9.0f %10.1f %10.2f %8s%s\n", test.format.c_str(),
            test.name.c_str(), size_mib * 1.048576, run.seconds, size_mib * 1.048576 / run.seconds,
            run.peak_mib, run.peak_mib / size_mib, run.peak_mib <= 2 * size_mib + 64 ? "within" : "OVER",
            run.status == 0 ? "" : "  (refused)");
        std::filesystem::remove(path);
    }
    std::printf("(bound: 2 x the file's size + 64 MiB)\n");
}

// Nearly all hanzi: the text the tool's users really have.
void bench_hanzi_dense(
    const charlib::Tuning& tuning, const std::filesystem::path& corpus, const std::filesystem::path& cli)
{
    const Table table(corpus);
    table.row("extract, no marker", extract_seconds(tuning, corpus, charlib::Encoding::Gbk, u""));
    table.row("extract, marker \"#\"", extract_seconds(tuning, corpus, charlib::Encoding::Gbk, u"#"));
    table.row(
        "extract, marker \"#\", offset 1", extract_seconds(tuning, corpus, charlib::Encoding::Gbk, u"#", 1));
    table.row("extract, marker \"\xE4\xBD\x9C\xE8\x80\x85\" (Chinese)",
        extract_seconds(tuning, corpus, charlib::Encoding::Gbk, u"作者"));
    table.row("extract, marker \"\xE4\xBD\x9C\xE8\x80\x85\", offset 1",
        extract_seconds(tuning, corpus, charlib::Encoding::Gbk, u"作者", 1));
    if (std::filesystem::exists(cli)) {
        const auto end_txt = std::filesystem::temp_directory_path() / "charlib-bench-END.txt";
        table.row("charlib-cli, no marker", seconds_of([&] {
            seconds_of_program({cli.string(), "-o", end_txt.string(), corpus.string()});
        }));
        table.row("charlib-cli, marker \"\xE4\xBD\x9C\xE8\x80\x85\"", seconds_of([&] {
            seconds_of_program({cli.string(), "-m", "作者", "-o", end_txt.string(), corpus.string()});
        }));
        std::printf("charlib-cli peak memory: %.1f MiB\n", cli_peak_mib(cli, corpus, end_txt));
        std::filesystem::remove(end_txt);
    }
    std::printf("distinct characters: %zu\n", charlib::extract_source(corpus, {}, {}).characters.size());
}

}  // namespace

int main(int argc, char** argv)
{
    const std::size_t mib = argc > 1 ? std::stoul(argv[1]) : 256;
    const std::string only =
        argc > 2 ? argv[2] : "";  // core, pipeline, hanzi, fonts, formats, web or hostile
    const auto kernel = charlib::kernel_from_environment();
    if (const auto* error = std::get_if<charlib::Outcome>(&kernel)) {
        std::fprintf(stderr, "CHARLIB_ISA: %s\n", std::string(charlib::code_id(error->code)).c_str());
        return 2;
    }
    const charlib::Tuning tuning{std::get<const charlib::Kernel*>(kernel)};
    std::printf("kernel: %s\n", tuning.kernel->name);
    const auto cli = std::filesystem::path(argv[0]).parent_path() / "charlib-cli";
    if (only == "fonts") {  // needs no corpus
        bench_fonts(cli);
        return 0;
    }
    if (only == "formats") {
        bench_translation_formats(tuning, std::min<std::size_t>(mib, 50));
        return 0;
    }
    if (only == "web") {
        bench_web(corpus_file("", mib, write_corpus));
        bench_web_edits(corpus_file("", 1, write_corpus), corpus_file("hanzi-", 1, write_hanzi_dense_corpus));
        return 0;
    }
    if (only == "web-edit") {
        bench_web_edits(corpus_file("", 1, write_corpus), corpus_file("hanzi-", 1, write_hanzi_dense_corpus));
        return 0;
    }
    if (only == "atlas-edit") {
        bench_atlas_edits(corpus_file("", 1, write_corpus), corpus_file("hanzi-", 1, write_hanzi_dense_corpus));
        return 0;
    }
    if (only == "hostile") {
        bench_hostile(cli, std::min<std::size_t>(mib, 256));
        return 0;
    }
    const auto mixed = corpus_file("", mib, write_corpus);
    if (only.empty() || only == "core") bench_core(tuning, mixed);
    if (only.empty() || only == "hanzi")
        bench_hanzi_dense(tuning, corpus_file("hanzi-", mib, write_hanzi_dense_corpus), cli);
    if (only.empty() || only == "pipeline") {
        bench_pipeline(
            tuning, mixed, {{"no marker", u""}, {"marker \"#\"", u"#"}, {"marker \"\xE7\x9A\x84\"", u"的"}});
        bench_pipeline(tuning, corpus_file("hanzi-", mib, write_hanzi_dense_corpus),
            {{"no marker", u""}, {"marker \"\xE4\xBD\x9C\xE8\x80\x85\"", u"作者"}});
    }
    if (only.empty() || only == "fonts") bench_fonts(cli);
    if (only.empty() || only == "formats") bench_translation_formats(tuning, std::min<std::size_t>(mib, 50));
}
