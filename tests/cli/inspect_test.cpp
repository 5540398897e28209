#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <variant>

#include "cli/build.h"
#include "cli/inspect.h"
#include "cli/plan.h"
#include "run_cli.h"
#include "simd/kernel.h"
#include "temp_dir.h"

namespace charlib::cli {
namespace {

Plan planned(const std::vector<std::string>& args)
{
    return std::get<Plan>(plan_of(args, Language::English));
}

// What a window is shown of a job is what a run of it writes: the same set, atlas and pieces.
TEST(Inspect, ShowsWhatARunWrites)
{
    const TempDir dir;
    dir.write("zh/a.po", "msgid \"a\"\nmsgstr \"你好，世界\"\n\nmsgid \"b\"\nmsgstr \"好😀\"\n");
    const std::vector<std::string> args{"-r", "--order=freq", "--font=" + microhei, "--atlas=out/ui", "--size=16",
        "--web=out/web", "-o", "out/chars.txt", "--", "zh"};
    ASSERT_TRUE(printed(run_cli(dir, args), ""));

    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::ostringstream said;
    std::vector<std::string> read;
    Inspection asked;
    asked.source_read = [&](const SourceReport& report) { read.push_back(report.path.string()); };
    const Inspection found = inspect(planned(args), best_kernel(), said, std::move(asked));
    std::filesystem::current_path(before);

    EXPECT_TRUE(found.complete) << said.str();
    EXPECT_EQ(read, std::vector<std::string>{"zh/a.po"});
    ASSERT_EQ(found.sources.size(), 1u);
    EXPECT_EQ(found.sources[0].facts.lines, 2u);
    EXPECT_EQ(to_utf8(found.chosen.characters) + "\n", TempDir::read(dir.path() / "out/chars.txt"));
    EXPECT_EQ(found.chosen.counts.front(), 2u);  // 好, most used first
    ASSERT_TRUE(found.font.has_value());
    EXPECT_EQ(found.font->missing, U"😀");
    ASSERT_EQ(found.found.at(U'😀').size(), 1u);
    EXPECT_EQ(place_name(found.found.at(U'😀')[0]), "zh/a.po:5:10");
    ASSERT_EQ(found.atlas_pages.size(), 1u);
    EXPECT_EQ(found.atlas_pages[0].first, "ui_0.png");
    EXPECT_EQ(found.atlas_pages[0].second, TempDir::read(dir.path() / "out/ui_0.png"));
    // The pieces are those the run cut, now in the folder: kept as they are.
    ASSERT_FALSE(found.web_pieces.empty());
    for (const InspectedPiece& piece : found.web_pieces) {
        EXPECT_TRUE(piece.kept) << piece.file;
        EXPECT_EQ(piece.bytes, std::filesystem::file_size(dir.path() / "out/web" / piece.file)) << piece.file;
        EXPECT_EQ(piece.punctuation, &piece == &found.web_pieces.front()) << piece.file;
    }
    EXPECT_EQ(said.str().find("charlib-cli: The font"), 0u) << said.str();
}

// A long drawing stops soon after its caller asks, with what was found so far, and a
// cancelled build writes nothing.
TEST(Inspect, StopsWhenCancelled)
{
    const TempDir dir;
    dir.write("a.txt", "字");
    const std::vector<std::string> args{"--add-set=gb2312", "--font=" + microhei, "--atlas=" + (dir.path() / "a").string(),
        "--sdf", "--size=48", "--", (dir.path() / "a.txt").string()};
    std::atomic<bool> cancelled{false};
    std::size_t most_drawn = 0, total = 0;
    Inspection asked;
    asked.cancelled = &cancelled;
    asked.progress = [&](Stage stage, std::uint64_t done, std::uint64_t of) {
        if (stage != Stage::Drawing) return;
        most_drawn = std::max<std::size_t>(most_drawn, done);
        total = of;
        cancelled = true;
    };
    std::ostringstream said;
    const Inspection found = inspect(planned(args), best_kernel(), said, std::move(asked));
    EXPECT_FALSE(found.complete);
    EXPECT_TRUE(found.atlas_pages.empty());
    EXPECT_EQ(found.chosen.characters.size(), 7445u);
    EXPECT_LT(most_drawn, total / 2);

    dir.write("charlib.toml", "[[font]]\nname = \"big\"\nsources = \"a.txt\"\nadd-set = \"gb2312\"\nfont = \"" +
            microhei + "\"\natlas = \"a\"\nsdf = true\nsize = 48\n");
    std::ostringstream built;
    EXPECT_EQ(build({(dir.path() / "charlib.toml").string()}, Language::English, best_kernel(),
                  BuildFollower{built, {}, &cancelled}),
        1);
    EXPECT_NE(built.str().find("Cancelled: nothing was written"), std::string::npos) << built.str();
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "a.fnt"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / ".charlib-state.json"));
}

}  // namespace
}  // namespace charlib::cli
