// Times the core operations on a generated code page 936 corpus, each beside
// one plain memchr pass over the same file in the same run.
//
//   charlib-bench [MiB] [corpus path]     (default 256 MiB in the temp folder)

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "font/font.h"
#include "text/core.h"
#include "text/output.h"
#include "text/pipeline.h"

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

// Seconds for one run of a program, or -1 when it cannot be started.
double seconds_of_program(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0
        ? std::chrono::duration<double>(Clock::now() - start).count()
        : -1;
}

// The fonts: a subset beside Debian's hb-subset on the same characters, and atlases.
void bench_fonts(const std::u32string& set, const std::filesystem::path& folder)
{
    const std::filesystem::path microhei = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
    if (!std::filesystem::exists(microhei)) return;
    const charlib::Font font(microhei);
    const auto list = folder / "charlib-bench-unicodes.txt";
    {
        std::ofstream out(list);
        for (char32_t c : set)
            out << std::hex << static_cast<unsigned>(c) << "\n";
    }
    const auto subset_path = folder / "charlib-bench-subset.ttf";
    std::printf("\nfonts: WenQuanYi Micro Hei (5.2 MB), the corpus's %zu characters\n", set.size());
    std::printf("%-40s %9s\n", "operation", "seconds");
    std::printf("%-40s %9.3f\n", "subset (HarfBuzz library, in process)",
        seconds_of([&] { charlib::subset_font(font, set, false); }));
    std::printf("%-40s %9.3f\n", "subset, hb-subset program", seconds_of([&] {
        seconds_of_program({"hb-subset", "--unicodes-file=" + list.string(),
            "--output-file=" + subset_path.string(), microhei.string()});
    }));
    std::printf(
        "%-40s %9.3f\n", "subset to WOFF2", seconds_of([&] { charlib::subset_font(font, set, true); }, 1));
    std::u32string seven_thousand;
    for (char32_t c = 0x4E00; seven_thousand.size() < 7000 && c < 0xA000; ++c)
        if (font.has(c)) seven_thousand += c;
    for (unsigned size : {16u, 32u})
        std::printf("%-40s %9.3f\n", ("atlas, 7000 characters, " + std::to_string(size) + " px").c_str(),
            seconds_of(
                [&] {
                    charlib::render_atlas(font, seven_thousand, {size, 1, 1024, 1024, false}, "bench");
                },
                1));
    std::filesystem::remove(list);
    std::filesystem::remove(subset_path);
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

}  // namespace

int main(int argc, char** argv)
{
    const std::size_t mib = argc > 1 ? std::stoul(argv[1]) : 256;
    const auto folder = std::filesystem::temp_directory_path();
    const std::filesystem::path corpus =
        argc > 2 ? argv[2] : folder / ("charlib-bench-" + std::to_string(mib) + ".txt");
    if (!std::filesystem::exists(corpus) || std::filesystem::file_size(corpus) < mib << 20) {
        std::printf("writing %zu MiB corpus to %s\n", mib, corpus.c_str());
        write_corpus(corpus, mib << 20);
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(corpus)) / 1e6;
    const auto small = folder / "charlib-bench-10001-lines.txt";
    {
        std::ofstream out(small, std::ios::binary);
        for (int i = 0; i < 10001; ++i) {
            const std::string line = "line " + std::to_string(i) + "\r\n";
            out << line;
        }
    }
    const auto end_txt = folder / "charlib-bench-END.txt";

    memchr_pass(corpus);  // warm the page cache
    const double baseline = seconds_of([&] { memchr_pass(corpus); }, 5);
    std::printf(
        "corpus %.0f MB; memchr pass %.3f s (%.0f MB/s)\n\n", megabytes, baseline, megabytes / baseline);
    std::printf("%-34s %9s %10s %12s\n", "operation", "seconds", "MB/s", "x memchr");

    const auto row = [&](const char* name, double seconds, bool whole_file) {
        if (whole_file)
            std::printf(
                "%-34s %9.3f %10.0f %12.2f\n", name, seconds, megabytes / seconds, seconds / baseline);
        else
            std::printf("%-34s %9.4f %10s %12.4f\n", name, seconds, "-", seconds / baseline);
    };

    row("scan", seconds_of([&] { charlib::scan(corpus); }), true);
    row("load 10000 lines", seconds_of([&] { charlib::load(corpus); }), false);
    row("load 10000 lines (10001-line file)", seconds_of([&] { charlib::load(small); }), false);
    std::u16string set;
    row("extract, no marker", seconds_of([&] { set = charlib::extract(corpus, u"", 0); }), true);
    const std::size_t distinct = set.size();
    row("extract, marker \"#\"", seconds_of([&] { charlib::extract(corpus, u"#", 0); }), true);
    row("extract, marker \"#\", offset 1", seconds_of([&] { charlib::extract(corpus, u"#", 1); }), true);
    row("extract, marker \"\xE7\x9A\x84\" (Chinese)", seconds_of([&] { charlib::extract(corpus, u"的", 0); }),
        true);

    // The pipeline: the same text in UTF-8, and counting every occurrence.
    const auto utf8 = folder / ("charlib-bench-" + std::to_string(mib) + "-utf8.txt");
    if (!std::filesystem::exists(utf8)) write_utf8_copy(corpus, utf8);
    const double utf8_megabytes = static_cast<double>(std::filesystem::file_size(utf8)) / 1e6;
    const auto source = [](const std::filesystem::path& path, charlib::Encoding encoding,
                            std::u16string marker, bool count) {
        return seconds_of([&] {
            charlib::extract_source(path, {encoding, charlib::Newline::Legacy}, {marker, 0, count});
        });
    };
    std::printf("\nthe pipeline (extract_source); UTF-8 copy %.0f MB, memchr pass %.3f s\n", utf8_megabytes,
        seconds_of([&] { memchr_pass(utf8); }));
    std::printf("%-34s %9s %10s %12s %8s\n", "source", "seconds", "MB/s", "x memchr", "x gbk");
    for (const auto& [name, marker] :
        {std::pair{"no marker", u""}, {"marker \"#\"", u"#"}, {"marker \"\xE7\x9A\x84\"", u"的"}})
        for (bool count : {false, true}) {
            const double gbk = source(corpus, charlib::Encoding::Gbk, marker, count);
            const double unicode = source(utf8, charlib::Encoding::Utf8, marker, count);
            const std::string label = std::string(name) + (count ? ", counting" : "");
            std::printf("%-34s %9.3f %10.0f %12.2f\n", ("gbk, " + label).c_str(), gbk, megabytes / gbk,
                gbk / baseline);
            std::printf("%-34s %9.3f %10.0f %12.2f %8.2f\n", ("utf-8, " + label).c_str(), unicode,
                utf8_megabytes / unicode, unicode / baseline, unicode / gbk);
        }

    std::u16string twenty_thousand;
    std::mt19937 random(1);
    std::uniform_int_distribution<int> unit(0x4E00, 0x9FA5);
    for (int i = 0; i < 20000; ++i)
        twenty_thousand += static_cast<char16_t>(unit(random));
    row("sort 20000 characters", seconds_of([&] { charlib::sort_charset(twenty_thousand); }), false);
    row("write 20000 characters", seconds_of([&] { charlib::write_charset(end_txt, twenty_thousand); }),
        false);

    std::printf("\ndistinct characters in the corpus: %zu\n", distinct);
    const auto cli = std::filesystem::path(argv[0]).parent_path() / "charlib-cli";
    if (std::filesystem::exists(cli))
        std::printf("charlib-cli peak memory on the corpus: %.1f MiB\n", cli_peak_mib(cli, corpus, end_txt));

    bench_fonts(charlib::extract_source(corpus, {}, {}).characters, folder);
    std::filesystem::remove(end_txt);
    std::filesystem::remove(small);
}
