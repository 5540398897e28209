#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "messages/catalog.h"
#include "messages/language.h"
#include "messages/words.h"

namespace charlib {
namespace {

TEST(Language, ChosenAsGettextChooses)
{
    using Env = std::map<std::string, std::string>;
    const struct {
        Env env;
        Language expected;
    } cases[] = {
        {{}, Language::English},
        {{{"LANG", "C"}}, Language::English},
        {{{"LANG", "POSIX"}}, Language::English},
        {{{"LANG", "en_US.UTF-8"}}, Language::English},
        {{{"LANG", "zh_CN.UTF-8"}}, Language::Chinese},
        {{{"LANG", "zh_TW.UTF-8"}}, Language::Chinese},
        {{{"LANGUAGE", "zh_CN:en"}, {"LANG", "C"}}, Language::Chinese},  // LANGUAGE counts even under C
        {{{"LANGUAGE", "en:zh_CN"}, {"LANG", "zh_CN.UTF-8"}}, Language::English},
        {{{"LANGUAGE", "fr:zh_CN"}}, Language::Chinese},  // no French catalog: the next entry
        {{{"LANGUAGE", "fr:de"}, {"LANG", "zh_CN.UTF-8"}}, Language::Chinese},
        {{{"LANGUAGE", ""}, {"LANG", "zh_CN.UTF-8"}}, Language::Chinese},
        {{{"LC_ALL", "de_DE.UTF-8"}, {"LANG", "zh_CN.UTF-8"}}, Language::English},
        {{{"LC_ALL", ""}, {"LC_MESSAGES", "zh_SG"}, {"LANG", "en_GB"}}, Language::Chinese},
        {{{"LC_MESSAGES", "en_GB"}, {"LANG", "zh_CN"}}, Language::English},
    };
    for (const auto& c : cases) {
        const Language got = language_from([&](const char* name) -> const char* {
            const auto found = c.env.find(name);
            return found == c.env.end() ? nullptr : found->second.c_str();
        });
        std::string described;
        for (const auto& [name, value] : c.env) described += name + "=" + value + " ";
        EXPECT_EQ(got, c.expected) << described;
    }
}

TEST(Catalog, EveryCodeIsWordedAndTranslatedWithItsFields)
{
    for (const Code code : all_codes()) {
        const std::string_view english = wording(code);
        ASSERT_FALSE(english.empty()) << code_id(code) << " has no wording";
        const std::string_view chinese = translate(Language::Chinese, english);
        EXPECT_NE(chinese, english) << code_id(code) << " is not translated";
    }
    std::set<std::string_view> ids;
    for (const Code code : all_codes()) EXPECT_TRUE(ids.insert(code_id(code)).second) << code_id(code) << " twice";
}

TEST(Words, FieldsTakeTheirPlacesInEitherLanguage)
{
    const Outcome outcome(Code::CannotOpen, {{"path", std::filesystem::path("a/b.txt")}, {"error", SystemError{ENOENT}}});
    EXPECT_EQ(words(outcome, Language::English), "Cannot open the file “a/b.txt”: no such file or folder");
    EXPECT_EQ(words(outcome, Language::Chinese), "无法打开文件“a/b.txt”：文件或文件夹不存在");
    const Outcome column(Code::NoSuchColumn,
        {{"path", std::filesystem::path("t.csv")}, {"line", std::uint64_t{1}}, {"column", std::uint64_t{1}},
            {"name", std::string("zz")}, {"header", std::string("a\tb\t…")}});
    EXPECT_TRUE(words(column, Language::English).ends_with("(the header's columns: “a”, “b”, …)"));
    EXPECT_TRUE(words(column, Language::Chinese).ends_with("（表头的列：“a”、“b”、…）"));
    EXPECT_EQ(bytes_text(268435456, Language::English), "268,435,456 bytes (256 MiB)");
    EXPECT_EQ(bytes_text(268435457, Language::English), "268,435,457 bytes");  // the unit only when exact
    EXPECT_EQ(bytes_text(1536, Language::Chinese), "1,536 字节（1.5 KiB）");
    EXPECT_EQ(bytes_text(12, Language::Chinese), "12 字节");
    EXPECT_EQ(tr(Language::English, "{count} bytes", {{"count", "7"}}), "7 bytes");
    EXPECT_EQ(fill("{a}{b}{a} {c}", {{"a", "x"}, {"b", "{a}"}}), "x{a}x {c}");
    // What a failed batch of files could not undo follows its failure, in brackets.
    const Failure left(
        Outcome(Code::CannotWrite, {{"path", std::filesystem::path("b")}, {"error", SystemError{ENOSPC}}}),
        {{Code::OldFileKept,
             {{"path", std::filesystem::path("a")}, {"backup", std::filesystem::path(".a.old")}}},
            {Code::FolderLeft, {{"path", std::filesystem::path("w")}}}});
    EXPECT_EQ(words(left, Language::Chinese),
        "无法写入文件“b”：磁盘空间不足（“a”已被替换，原来的文件保存为“.a.old”；文件夹“w”已建立）");
    EXPECT_EQ(words(left, Language::English),
        "Cannot write the file “b”: no space left on the disk (“a” has been replaced; the old file is kept "
        "as "
        "“.a.old”; the folder “w” has been made)");
}

TEST(Words, EnglishTakesTheSingularForOneAloneChineseHasOneForm)
{
    const struct {
        std::uint64_t count;
        Language language;
        const char* cues;  // an outcome's wording with a plural
        const char* sources;  // a front end's own text with a plural
        const char* bytes;
    } cases[] = {
        {1, Language::English, "1 subtitle block of “a.srt” has a timing line no player reads; it is skipped",
            "1 source", "1 byte"},
        {2, Language::English,
            "2 subtitle blocks of “a.srt” have a timing line no player reads; they are skipped", "2 sources",
            "2 bytes"},
        {0, Language::English,
            "0 subtitle blocks of “a.srt” have a timing line no player reads; they are skipped", "0 sources",
            "0 bytes"},
        {1, Language::Chinese, "“a.srt”中有 1 个字幕块的时间码无法识别，已跳过", "来源 1 个", "1 字节"},
        {2, Language::Chinese, "“a.srt”中有 2 个字幕块的时间码无法识别，已跳过", "来源 2 个", "2 字节"},
    };
    for (const auto& c : cases) {
        const Outcome cues(
            Code::UnreadableCues, {{"path", std::filesystem::path("a.srt")}, {"count", c.count}});
        EXPECT_EQ(words(cues, c.language), c.cues);
        EXPECT_EQ(trn(c.language, "{count} source", "{count} sources", c.count,
                      {{"count", std::to_string(c.count)}}),
            c.sources);
        EXPECT_EQ(bytes_text(c.count, c.language), c.bytes);
    }
    // Chinese finds its text by either English form.
    EXPECT_EQ(translate(Language::Chinese, "{count} sources"), "来源 {count} 个");
}

TEST(Words, SystemReasonsInEitherLanguageTheRareOnesBySystem)
{
    for (const int error : {ENOENT, EACCES, EPERM, EEXIST, ENOTDIR, EISDIR, ENOTEMPTY, ELOOP, ENOSPC, EDQUOT,
             EROFS, EXDEV, EMFILE, ENFILE, ENAMETOOLONG, EIO, EFBIG, ENOMEM, EPIPE, ENXIO, EAGAIN, EBUSY}) {
        const std::string chinese = system_reason(error, Language::Chinese);
        const std::string english = system_reason(error, Language::English);
        EXPECT_TRUE(!chinese.empty() &&
            std::none_of(
                chinese.begin(), chinese.end(), [](unsigned char c) { return c < 0x80 && std::isalpha(c); }))
            << error << ": " << chinese;
        EXPECT_NE(english, chinese) << error;
        EXPECT_NE(english, std::strerror(error)) << error << " is not in the table";
    }
    for (const Language language : {Language::English, Language::Chinese})
        EXPECT_EQ(system_reason(EDOM, language), std::strerror(EDOM));
}

}  // namespace
}  // namespace charlib
