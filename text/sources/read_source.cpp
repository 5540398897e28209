#include "sources/read_source.h"

#include "base/error.h"
#include "codec/encodings.h"
#include "extract/extract.h"
#include "files/input_file.h"
#include "sources/detection.h"
#include "sources/facts.h"
#include "sources/listing.h"

namespace charlib {

namespace {

std::string control_z_message(const std::filesystem::path& source, Encoding encoding, const ControlZ& found)
{
    const std::string where = encoding == Encoding::Gbk || encoding == Encoding::Gb18030
        ? "在文件偏移" + std::to_string(found.byte)
        : "在第" + std::to_string(found.character) + "个字符（文件偏移" + std::to_string(found.byte) + "）";
    return "文件“" + source.string() + "”" + where +
        "处发现Ctrl+Z字符，说明此文件并非纯TXT文件，如果仍需要提取，请将些字符修改成非Ctrl+Z字符。";
}

// Reads the source into `read`; returns the reason it cannot be used, if it cannot.
std::string read_into(SourceRead& read, const std::filesystem::path& source, const ReadingRules& rules)
{
    SourceReport& report = read.report;
    std::optional<StreamCopy> copy;
    if (StreamCopy::is_stream(source)) copy.emplace(source);
    const std::filesystem::path& file = copy ? copy->path() : source;
    if (rules.encoding) {
        report.encoding = *rules.encoding;
    } else {
        const Detection detection = detect(file, *rules.tuning.kernel);
        report.encoding = detection.encoding;
        report.encoding_reason = detection.reason;
        read.encoding_guessed = detection.guessed;
    }
    const SourceFormat format{
        report.encoding, rules.newline ? *rules.newline : default_newline(report.encoding)};
    read.tally = extract_source(file, format, rules.selection, default_buffer_size, rules.tuning);
    // Where the Control-Z stands is looked for only when there is one.
    if (const auto found = read.tally.control_z ? find_control_z(file, report.encoding) : std::nullopt)
        return control_z_message(source, report.encoding, *found);

    const bool undecodable = read.tally.characters.find(U'\uFFFD') != std::u32string::npos;
    if (rules.facts || rules.strict || undecodable)
        report.facts = examine_source(file, format, rules.selection);
    if (report.facts.invalid > 0) {
        const InvalidSequence& first = report.facts.first_invalid.front();
        const std::string text = "“" + source.string() + "”有 " + std::to_string(report.facts.invalid) +
            " 处无效字节序列（按 " + encoding_name(format.encoding) + " 读取），第一处在第 " +
            std::to_string(first.line) + " 行第 " + std::to_string(first.byte) + " 字节";
        if (rules.strict) return text + "；有 --strict，不用这个来源";
        read.warnings.push_back("注意：" + text + "，已记为 U+FFFD");
    }
    const std::u32string& characters = read.tally.characters;
    const bool suspect = characters.empty() || characters.find(U'\n') != std::u32string::npos;
    if (format.newline == Newline::Legacy && suspect && line_feeds_only(file))
        read.warnings.push_back("注意：“" + source.string() +
            "”只用 LF 换行，没有一个 CR：按 legacy 规则整个文件是一行，LF 算作字符。要按 LF 分行，请加 "
            "--newline any");
    return {};
}

}  // namespace

SourceRead read_source(const std::filesystem::path& source, const ReadingRules& rules)
{
    SourceRead read;
    read.report.path = source;
    std::string refused;
    try {
        refused = read_into(read, source, rules);
    } catch (const FileError& error) {
        refused = error.what();
    }
    if (!refused.empty()) {
        read = {};
        read.report.path = source;
        read.report.error = refused;
    }
    return read;
}

}  // namespace charlib
