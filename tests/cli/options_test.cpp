// The table of options and what is made from it: every option has its help in
// both languages, and the values an option allows are the same in the help,
// the check and the bash completion; the language follows the environment.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "cli/manual.h"
#include "cli/option_table.h"
#include "cli/plan.h"
#include "messages/catalog.h"
#include "run_cli.h"

namespace {

using namespace charlib;
using namespace charlib::cli;

// What a command prints on standard output and standard error together.
std::string output_of(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, got);
        ::pclose(pipe);
    }
    return out;
}

TEST(Options, EachIsTakenAndHasItsHelpInEnglishAndChinese)
{
    std::vector<std::string_view> texts;
    for (const OptionInfo& option : option_table()) {
        EXPECT_TRUE(option.long_name.starts_with("--")) << option.long_name;
        texts.push_back(option.help);
        texts.push_back(group_title(option.group));
        if (option.group == OptionGroup::Build) continue;  // charlib-cli build's: tested with it
        try {
            plan_of({std::string(option.long_name), "1", "in.txt"});
        } catch (const UsageError& refused) {
            EXPECT_FALSE(std::string(refused.what()).starts_with("Unknown option")) << refused.what();
        }
        // Given twice: taken when the table says it repeats, else refused as such.
        if (!option.value_name.empty()) {
            const std::string value = option.values ? option.values().front() : "1";
            const std::string name(option.long_name);
            std::string refused;
            try {
                plan_of({name, value, name, value, "in.txt"});
            } catch (const UsageError& error) {
                refused = error.what();
            }
            EXPECT_EQ(refused.find("only once") != std::string::npos, !option.repeats) << name << ": " << refused;
        }
    }
    for (const FormatHelp& format : output_formats_help())
        texts.push_back(format.help);
    for (const Example& example : examples())
        texts.push_back(example.purpose);
    for (std::string_view english : texts) {
        EXPECT_FALSE(english.empty());
        EXPECT_NE(translate(Language::Chinese, english), english) << "no Chinese for: " << english;
    }
}

TEST(Options, AllowedValuesAreTheSameInTheHelpTheCheckAndTheCompletion)
{
    const TempDir dir;
    dir.write("completion.bash", bash_completion());
    // What an option needs beside it, so that only its value is judged.
    const std::map<std::string_view, std::vector<std::string>> needs = {
        {"--engine", {"--font", "f", "--atlas", "x"}},
        {"--atlas-format", {"--font", "f", "--atlas", "x"}},
        {"--output-encoding", {"-o", "x"}},
    };
    int checked = 0;
    for (const OptionInfo& option : option_table()) {
        if (!option.values) continue;
        ++checked;
        SCOPED_TRACE(std::string(option.long_name));
        const std::vector<std::string> values = option.values();
        const std::string long_name(option.long_name);
        const auto plan = [&](const std::string& value) {
            std::vector<std::string> args{long_name, value, "in.txt"};
            if (needs.contains(option.long_name))
                args.insert(args.end(), needs.at(option.long_name).begin(), needs.at(option.long_name).end());
            try {
                plan_of(args, Language::English);
                return std::string();
            } catch (const UsageError& refused) {
                return std::string(refused.what());
            }
        };
        const std::string listed = allowed_values(option, Language::English);
        EXPECT_NE(help_text(Language::English, 1000).find("(one of: " + listed + ")"), std::string::npos);
        EXPECT_NE(help_text(Language::Chinese, 1000).find("（可以是：" + allowed_values(option, Language::Chinese)),
            std::string::npos);
        for (const std::string& value : values)
            EXPECT_EQ(plan(value), "") << value;
        EXPECT_EQ(plan("bogus"), "The value “bogus” of " + long_name + " is not valid; it can be: " + listed);
        // The completion offers every value for the short and the long name, and those that begin with what is typed.
        for (std::string_view name : {option.short_name, option.long_name}) {
            if (name.empty()) continue;
            const auto completed = [&](const std::string& typed) {
                return output_of("cd '" + dir.path().string() + "' && bash -c 'source completion.bash; " +
                    "COMP_WORDS=(charlib-cli " + std::string(name) + " \"$0\"); COMP_CWORD=2; _charlib_cli; " +
                    "echo \"${COMPREPLY[*]}\"' '" + typed + "'");
            };
            std::string all, first;
            for (const std::string& value : values) {
                all += (all.empty() ? "" : " ") + value;
                if (value[0] == values[0][0]) first += (first.empty() ? "" : " ") + value;
            }
            EXPECT_EQ(completed(""), all + "\n");
            EXPECT_EQ(completed(values[0].substr(0, 1)), first + "\n");
        }
    }
    EXPECT_GE(checked, 10);
}

TEST(Options, TheLanguageFollowsTheEnvironment)
{
    struct Case {
        std::string environment;
        bool chinese;
    };
    const Case cases[] = {
        {"LANG=C", false},
        {"LANG=en_US.UTF-8", false},
        {"LANG=zh_CN.UTF-8", true},
        {"LANGUAGE=zh_CN:en", true},
        {"LC_ALL=de_DE.UTF-8", false},
        {"LANG=zh_CN.UTF-8 LC_ALL=de_DE.UTF-8", false},
    };
    for (const auto& [environment, chinese] : cases) {
        SCOPED_TRACE(environment);
        const std::string run = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG " + environment + " " CHARLIB_CLI;
        EXPECT_TRUE(has(output_of(run + " --help"), chinese ? "用法: charlib-cli [选项] 来源..." : "Usage: charlib-cli [OPTION]... SOURCE..."));
        EXPECT_EQ(output_of(run + " --order size in.txt"),
            chinese ? "charlib-cli: 选项 --order 的值“size”无效，可以是：first、code、freq\n请用 charlib-cli --help 查看用法。\n"
                    : "charlib-cli: The value “size” of --order is not valid; it can be: first, code, freq\n"
                      "Use charlib-cli --help to see how to use it.\n");
    }
}

TEST(Options, TheChineseCatalogIsReadByCharlibsOwnPoReader)
{
    const TempDir dir;
    const CliRun run = run_cli(dir, {"-t", "po", "-f", "counts", CHARLIB_SOURCE_DIR "/po/zh_CN.po"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // Each hanzi as often as the translations have it: the msgstrs (a plural's
    // msgstr[0]) are read, and nothing else.
    std::string translations;
    for (const charlib::CatalogText& text : charlib::chinese_catalog())
        if (!text.plural) translations += text.translation;
    for (const std::string hanzi : {"用", "法", "字", "库"}) {
        std::size_t count = 0;
        for (auto at = translations.find(hanzi); at != std::string::npos; at = translations.find(hanzi, at + 1)) ++count;
        EXPECT_TRUE(has(run.out, hanzi + "\t" + std::to_string(count) + "\n"));
    }
}

}  // namespace
