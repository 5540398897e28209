// charlib-cli: the character library of a text file, from a terminal.

#include <unicode/ustring.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "text/core.h"

namespace {

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

constexpr const char* usage_text =
    "用法: charlib-cli [-m TEXT] [-n N] [-s] [-o PATH] FILE\n"
    "提取 FILE（GBK/代码页936 文本）中所选各行用到的字符，每个字符只取一次，按首次出现的顺序。\n"
    "\n"
    "  -m, --marker TEXT   只用含有 TEXT 的行（默认为空：所有非空行）\n"
    "  -n, --offset N      改用每个这样的行之后的第 N 行（不小于0的整数，默认0）\n"
    "  -s, --sort          按字符编码升序排列\n"
    "  -o, --output PATH   写入 PATH，与窗口的“写入END.txt”相同（代码页936，末尾 CR LF）\n"
    "  -h, --help          显示本帮助\n"
    "      --version       显示版本\n"
    "\n"
    "不带 -o 时，把字库以 UTF-8 输出到标准输出，末尾一个换行。\n"
    "退出状态：0 成功；1 文件无法使用（含Ctrl+Z字符、无法打开、读取或写入）；2 用法错误。\n";

struct Options {
    std::u16string marker;
    std::int64_t offset = 0;
    bool sort = false;
    std::optional<std::string> output;
    std::string file;
};

struct UsageError {
    std::string message;
};

std::u16string from_utf8(const std::string& text)
{
    std::u16string result(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strFromUTF8(result.data(), static_cast<int32_t>(result.size()), &length, text.data(),
        static_cast<int32_t>(text.size()), &error);
    if (U_FAILURE(error)) throw UsageError{"标记文字不是有效的 UTF-8：" + text};
    result.resize(static_cast<std::size_t>(length));
    return result;
}

std::string to_utf8(std::u16string_view text)
{
    std::string result(text.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strToUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, text.data(),
        static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &error);
    result.resize(U_SUCCESS(error) ? static_cast<std::size_t>(length) : 0);
    return result;
}

std::int64_t parse_offset(const std::string& text)
{
    const bool digits_only =
        !text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits_only) throw UsageError{"行数必须是不小于0的整数：" + text};
    return std::stoll(text);
}

// Returns nothing when --help or --version was answered.
std::optional<Options> parse(int argc, char** argv)
{
    Options options;
    bool file_given = false;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::optional<std::string> attached;
        if (!options_ended && argument.rfind("--", 0) == 0 && argument.find('=') != std::string::npos) {
            attached = argument.substr(argument.find('=') + 1);
            argument.resize(argument.find('='));
        }
        const auto value = [&]() -> std::string {
            if (attached) return *attached;
            if (i + 1 >= argc) throw UsageError{"选项 " + argument + " 缺少参数"};
            return argv[++i];
        };
        if (options_ended || argument == "-" || argument.empty() || argument[0] != '-') {
            if (file_given) throw UsageError{"只能给出一个文件：" + argument};
            options.file = argv[i];
            file_given = true;
        } else if (argument == "--") {
            options_ended = true;
        } else if (argument == "-m" || argument == "--marker") {
            options.marker = from_utf8(value());
        } else if (argument == "-n" || argument == "--offset") {
            options.offset = parse_offset(value());
        } else if (argument == "-s" || argument == "--sort") {
            options.sort = true;
        } else if (argument == "-o" || argument == "--output") {
            options.output = value();
        } else if (argument == "-h" || argument == "--help") {
            std::cout << usage_text;
            return std::nullopt;
        } else if (argument == "--version") {
            std::cout << "charlib-cli 1.0.0\n";
            return std::nullopt;
        } else {
            throw UsageError{"未知选项：" + argument};
        }
    }
    if (!file_given) throw UsageError{"没有给出要提取的文件"};
    return options;
}

int run(const Options& options)
{
    const charlib::ScanResult scanned = charlib::scan(options.file);
    if (scanned.status == charlib::ScanStatus::ControlZ) {
        std::cerr
            << "charlib-cli: 文件“" << options.file << "”在文件偏移" << scanned.position
            << "处发现Ctrl+Z字符，说明此文件并非纯TXT文件，如果仍需要提取，请将些字符修改成非Ctrl+Z字符。\n";
        return exit_failure;
    }
    std::u16string charset = charlib::extract(options.file, options.marker, options.offset);
    if (options.sort) charset = charlib::sort_charset(charset);
    if (options.output) {
        charlib::write_charset(*options.output, charset);
        return 0;
    }
    const std::string text = to_utf8(charset) + "\n";
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        std::cerr << "charlib-cli: 无法写入标准输出：" << charlib::system_reason(errno) << "\n";
        return exit_failure;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const std::optional<Options> options = parse(argc, argv);
        return options ? run(*options) : 0;
    } catch (const UsageError& error) {
        std::cerr << "charlib-cli: " << error.message << "\n"
                  << "用 charlib-cli --help 查看用法。\n";
        return exit_usage;
    } catch (const charlib::FileError& error) {
        std::cerr << "charlib-cli: " << error.what() << "\n";
        return exit_failure;
    }
}
