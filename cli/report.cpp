#include "cli/report.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <utility>

#include "codec/encodings.h"
#include "codec/utf.h"
#include "messages/catalog.h"
#include "output/output.h"

namespace charlib::cli {

std::string listed(std::u32string_view characters, std::size_t most)
{
    std::string text;
    for (std::size_t i = 0; i < characters.size() && i < most; ++i)
        text += (i ? "、" : "") + to_utf8(characters.substr(i, 1)) + " " + code_point_name(characters[i]);
    return text + (characters.size() > most ? "……" : "");
}

void print_report(const std::vector<SourceReport>& sources, const Tally& chosen, const FontFacts* font,
    const Places& places)
{
    std::uint64_t lines = 0, selected = 0, invalid = 0;
    std::size_t used = 0;
    for (const SourceReport& source : sources) {
        if (!source.error.empty()) continue;
        ++used;
        lines += source.facts.lines;
        selected += source.facts.selected_lines;
        invalid += source.facts.invalid;
    }
    const Coverage found = coverage(chosen.characters);
    const auto percent = [](std::uint64_t part, std::uint64_t whole) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f%%", whole ? 100.0 * part / whole : 0.0);
        return std::string(text);
    };
    const bool entries = std::any_of(sources.begin(), sources.end(),
        [](const SourceReport& source) { return source.error.empty() && source.text_format != "lines"; });
    std::cerr << "来源 " << used << " 个，共 " << lines << " 行，选中 " << selected << " 行"
              << (entries ? "（翻译文件的每个条目算作一行）" : "");
    if (used < sources.size()) std::cerr << "；无法使用的来源 " << sources.size() - used << " 个";
    std::cerr << "\n";
    std::size_t detected = 0;
    for (const SourceReport& source : sources)
        if (!source.encoding_reason.empty() && detected++ < 20)
            std::cerr << "  " << source.path.string() << "：按 " << encoding_name(source.encoding)
                      << " 读取，因为" << source.encoding_reason << "\n";
    if (detected > 20) std::cerr << "  ……另有 " << detected - 20 << " 个来源的编码是自动判断的\n";
    // Characters counted 0 are not in the text: they were added.
    std::u32string added;
    for (std::size_t i = 0; i < chosen.counts.size(); ++i)
        if (chosen.counts[i] == 0) added += chosen.characters[i];
    std::cerr << "不重复字符 " << chosen.characters.size() << " 个"
              << (added.empty() ? "" : "，其中另加 " + std::to_string(added.size()) + " 个（来源中没有）")
              << "\n"
              << "GB2312 一级汉字 " << found.level1 << " / " << found.level1_size << "（"
              << percent(found.level1, found.level1_size) << "）\n"
              << "GB2312 二级汉字 " << found.level2 << " / " << found.level2_size << "（"
              << percent(found.level2, found.level2_size) << "）\n"
              << "GB2312 其他字符 " << found.gb2312_other << " 个，单字节字符 " << found.single_byte
              << " 个\n"
              << "GBK 中 GB2312 以外 " << found.beyond_gb2312 << " 个\n"
              << "代码页936以外 " << found.outside.size() << " 个"
              << (found.outside.empty() ? "" : "：" + listed(found.outside, 10)) << "\n"
              << "无效字节序列 " << invalid << " 处\n";
    std::size_t shown = 0;
    for (const SourceReport& source : sources)
        for (const InvalidSequence& place : source.facts.first_invalid)
            if (shown++ < 10)
                std::cerr << "  " << source.path.string() << ":" << place.line << ":第" << place.byte
                          << "字节\n";
    if (!font || font->missing.empty()) return;
    std::cerr << "字体缺少的字符 " << font->missing.size() << " 个，各自首次出现的位置：\n";
    for (std::size_t i = 0; i < font->missing.size() && i < 50; ++i) {
        const char32_t c = font->missing[i];
        const auto found = places.find(c);
        const bool placed = found != places.end() && !found->second.empty();
        std::cerr << "  " << listed(std::u32string_view(&c, 1), 1) << "  "
                  << (placed                                         ? place_name(found->second.front())
                             : added.find(c) != std::u32string::npos ? "（另加的字符）"
                                                                     : "（在所选的行中没有）")
                  << "\n";
    }
    if (font->missing.size() > 50) std::cerr << "  ……另有 " << font->missing.size() - 50 << " 个\n";
}

void print_output_encoding(const std::filesystem::path& path, const OutputChoice& choice)
{
    const char* why = "";
    switch (choice.why) {
    case OutputChoice::Why::Asked: why = "按选项"; break;
    case OutputChoice::Why::Format: why = "这种格式总是 UTF-8"; break;
    case OutputChoice::Why::SourcesGbk: why = "来源都是 GBK，与窗口写的 END.txt 相同"; break;
    case OutputChoice::Why::SourcesNotGbk: why = "来源不都是 GBK"; break;
    case OutputChoice::Why::Unmappable: why = "来源是 GBK，但有 GBK 无法表示的字符"; break;
    }
    const bool utf8 = choice.encoding == OutputEncoding::Utf8;
    std::cerr << "输出“" << (path == "-" ? std::string("标准输出") : path.string()) << "”："
              << (utf8 ? "utf-8" : choice.encoding == OutputEncoding::Gbk ? "gbk" : "gb18030")
              << (utf8 ? "，LF 换行" : "，CR LF 换行") << "（" << why << "）\n";
}

Progress::Progress(const std::vector<std::filesystem::path>& sources)
{
    for (const auto& source : sources) {
        std::error_code error;
        const auto size = std::filesystem::file_size(source, error);
        total_ += error ? 0 : size;
    }
    shown_ = ::isatty(2) && total_ > (std::uint64_t{64} << 20);
    start_ = last_ = std::chrono::steady_clock::now();
}

Progress::~Progress()
{
    if (drawn_) std::cerr << "\r\033[K" << std::flush;
}

std::function<void(std::uint64_t)> Progress::source(std::uint64_t before)
{
    if (!shown_) return {};
    return [this, before](std::uint64_t bytes) { show(before + bytes); };
}

void Progress::show(std::uint64_t done)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    char line[128];
    std::snprintf(line, sizeof line, "\r已读 %.0f / %.0f MB  %.0f MB/s", done / 1e6, total_ / 1e6,
        seconds > 0 ? done / 1e6 / seconds : 0.0);
    std::cerr << line << std::flush;
    drawn_ = true;
}

CountProgress::CountProgress(std::string wording, int to) :
    wording_(std::move(wording)),
    to_(to),
    shown_(::isatty(to))
{
}

CountProgress::~CountProgress()
{
    if (drawn_) write("\r\033[K");
}

void CountProgress::write(const std::string& text) const
{
    std::cerr << std::flush;
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t written = ::write(to_, text.data() + at, text.size() - at);
        if (written <= 0) return;  // a progress line is not worth an error
        at += static_cast<std::size_t>(written);
    }
}

std::function<void(std::size_t, std::size_t)> CountProgress::callback()
{
    if (!shown_) return {};
    return [this](std::size_t done, std::size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && done < total && now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        write("\r" + fill(wording_, {{"done", std::to_string(done)}, {"total", std::to_string(total)}}));
        drawn_ = true;
    };
}

}  // namespace charlib::cli
