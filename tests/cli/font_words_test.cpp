// What charlib-cli says of fonts, in process: the failures of the font
// library worded with what the options add, and libwoff2's noise kept off
// standard error.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "cli/font_words.h"
#include "cli/muted_stderr.h"
#include "font/font.h"
#include "temp_dir.h"

namespace {

using namespace charlib;
using namespace charlib::cli;

// The failure the action throws, in words.
std::string said(const std::function<void()>& action, Language language)
{
    try {
        action();
    } catch (const Failure& failure) {
        return failure_words(failure, language);
    }
    return "(no failure)";
}

TEST(FontWords, TheBinaryDescriptorsFieldsAreNamedWithTheirCharacters)
{
    BitmapFont font;
    font.face = "Tom";
    font.page_files = {"t_0.png"};
    font.chars = {{U'A', 1, 1, 10, 12, 0, 0, 11, 0}};
    font.kernings = {{U'A', U'V', -2}};
    const auto binary = [](BitmapFont changed) {
        return [changed] { write_descriptor(changed, AtlasFormat::Binary); };
    };
    BitmapFont tall = font, offset = font, kerned = font;
    tall.line_height = 70000;
    offset.chars[0].xoffset = -40000;
    kerned.kernings[0].amount = 32768;
    const struct {
        std::function<void()> action;
        Language language;
        std::string words;
    } cases[] = {
        {binary(tall), Language::Chinese,
            "字体“Tom”的行高是 70000，超出二进制描述文件能写下的 0 到 65535：请改用文本、XML 或 JSON 格式"},
        {binary(offset), Language::Chinese,
            "字体“Tom”的字符 U+0041 的横向偏移是 -40000，超出二进制描述文件能写下的 -32768 到 "
            "32767：请改用文本、"
            "XML 或 JSON 格式"},
        {binary(kerned), Language::English,
            "The kerning of characters U+0041 and U+0056 of the font “Tom” is 32768, beyond the -32768 to "
            "32767 "
            "the binary descriptor can hold: use the text, XML or JSON form"},
        {[] {
             throw Failure(Code::GlyphTooLargeForCell,
                 {{"path", std::filesystem::path("f.ttf")}, {"character", U'W'}, {"size", std::uint64_t{16}},
                     {"width", std::uint64_t{14}}, {"height", std::uint64_t{12}},
                     {"cell_width", std::uint64_t{13}}, {"cell_height", std::uint64_t{16}}});
         },
            Language::Chinese,
            "字体“f.ttf”的 U+0057（W）在 16 像素下有 14×12 像素，放不进 13×16 的格子；请用更大的 --grid "
            "或更小的 "
            "--size"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(said(test.action, test.language), test.words);
}

// Standard error as a file for the test's length, then as it was.
class StandardErrorInFile {
public:
    explicit StandardErrorInFile(const std::filesystem::path& file) : saved_(::dup(2))
    {
        const int opened = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(opened, 2);
        ::close(opened);
    }
    ~StandardErrorInFile()
    {
        ::dup2(saved_, 2);
        ::close(saved_);
    }

private:
    int saved_;
};

TEST(FontWords, LibrariesAreMutedWhileCharlibCliStillSpeaksAndStandardErrorComesBack)
{
    const TempDir dir;
    const auto file = dir.path() / "err";
    {
        const StandardErrorInFile redirected(file);
        {
            const MutedStandardError muted;
            ASSERT_EQ(::write(2, "noise ", 6), 6);
            ASSERT_EQ(::write(muted.real(), "said ", 5), 5);
        }
        ASSERT_EQ(::write(2, "after", 5), 5);
    }
    EXPECT_EQ(TempDir::read(file), "said after");

    // Closed, it stays closed: no copy of it could be kept to put back.
    const int input = ::dup(0), error = ::dup(2);
    ::close(0);  // so that /dev/null would open as 0
    ::close(2);
    bool still_closed = false;
    {
        const MutedStandardError muted;
        still_closed = muted.real() == 2 && ::fcntl(2, F_GETFD) < 0;
    }
    still_closed = still_closed && ::fcntl(2, F_GETFD) < 0;
    ::dup2(input, 0);
    ::dup2(error, 2);
    ::close(input);
    ::close(error);
    EXPECT_TRUE(still_closed);
}

}  // namespace
