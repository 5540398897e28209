#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/plan.h"
#include "studio/project_model.h"
#include "temp_dir.h"

namespace charlib::studio {
namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

TEST(StudioProject, SettingAnOptionKeepsItsPlace)
{
    struct Case {
        Options before;
        std::string key;
        std::vector<std::string> values;
        Options after;
    };
    const std::vector<Case> cases{
        {{}, "size", {"24"}, {{"size", "24"}}},
        {{{"font", "a.ttf"}, {"size", "24"}, {"sdf", ""}}, "size", {"32"},
            {{"font", "a.ttf"}, {"size", "32"}, {"sdf", ""}}},
        // A repeated option keeps its values together where the first was, in the new order.
        {{{"add", "x"}, {"font", "a.ttf"}, {"add", "y"}}, "add", {"z", "x"}, {{"add", "z"}, {"add", "x"}, {"font", "a.ttf"}}},
        {{{"font", "a.ttf"}, {"sdf", ""}}, "sdf", {}, {{"font", "a.ttf"}}},
        {{{"font", "a.ttf"}}, "missing", {}, {{"font", "a.ttf"}}},
    };
    for (const Case& c : cases) {
        JobSettings job{"j", c.before, {}};
        job.set(c.key, c.values);
        EXPECT_EQ(job.options, c.after) << c.key;
        EXPECT_EQ(job.values(c.key), c.values);
    }
}

TEST(StudioProject, JobsAndCommandLinesConvertBothWays)
{
    const std::vector<JobSettings> jobs{
        {"plain", {}, {"a.txt"}},
        {"all", {{"marker", "#"}, {"offset", "1"}, {"sort", ""}, {"add", "a=b"}, {"add", "c"}, {"font", "f 1.ttf"}},
            {"lang/", "zh.po"}},
        // After "--" a source may look like an option.
        {"dash", {{"recursive", ""}}, {"-odd.txt", "--x"}},
    };
    for (const JobSettings& job : jobs) {
        const std::vector<std::string> args = args_of(job);
        EXPECT_EQ(job_of(job.name, args, Language::English), job) << job.name;
        EXPECT_TRUE(std::holds_alternative<cli::Plan>(cli::plan_of(args))) << job.name;
    }
    EXPECT_THROW(job_of("short", {"-m", "#", "--", "a.txt"}, Language::English), cli::UsageError);
}

TEST(StudioProject, CommandLineIsQuotedForTheShell)
{
    const JobSettings job{"j", {{"marker", "it's #"}, {"sort", ""}, {"output", "END.txt"}}, {"第 1 章.txt", "b.txt"}};
    EXPECT_EQ(command_line(job, "/tmp/a b"),
        "cd '/tmp/a b' && charlib-cli '--marker=it'\\''s #' --sort --output=END.txt -- '第 1 章.txt' b.txt");
}

TEST(StudioProject, UnusedNamesCountUp)
{
    const std::vector<JobSettings> jobs{{"font", {}, {}}, {"font-2", {}, {}}};
    EXPECT_EQ(unused_name("font", jobs), "font-3");
    EXPECT_EQ(unused_name("ui", jobs), "ui");
}

// A project saved by the studio reads back as the same jobs, its defaults given to each.
TEST(StudioProject, SavedProjectReadsBackTheSame)
{
    const TempDir dir;
    dir.write("a.txt", "x");
    const std::filesystem::path first = dir.write("charlib.toml",
        "[defaults]\nsize = 24\nfont = \"f.ttf\"\n\n"
        "[[font]]\nname = \"ui\"\nsources = [\"a.txt\"]\natlas = \"out/ui\"\nadd = [\"1\", \"2\"]\n\n"
        "[[font]]\nname = \"title\"\nsources = \"a.txt\"\nsize = 48\nsdf = true\natlas = \"out/title\"\n");
    // As the studio opens a project: from its folder.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const ProjectModel opened = open_project(first.filename(), Language::English);
    ASSERT_EQ(opened.jobs.size(), 2u);
    EXPECT_EQ(opened.jobs[0],
        (JobSettings{"ui", {{"size", "24"}, {"font", "f.ttf"}, {"atlas", "out/ui"}, {"add", "1"}, {"add", "2"}},
            {"a.txt"}}));
    EXPECT_EQ(opened.jobs[1].value("size"), "48");

    // Saved into a folder below: the paths are written from there, and read back the same.
    std::filesystem::create_directories("sub");
    save_project(opened, "sub/charlib.toml", Language::English);
    const std::string saved = TempDir::read("sub/charlib.toml");
    EXPECT_NE(saved.find("sources = [\"../a.txt\"]"), std::string::npos) << saved;
    ProjectModel again = open_project("sub/charlib.toml", Language::English);
    std::filesystem::current_path(before);
    again.path = opened.path;
    EXPECT_EQ(again, opened);
}

// What charlib-cli build would refuse is not saved, and the file stays as it was.
TEST(StudioProject, SaveRefusesWhatABuildWouldRefuse)
{
    const TempDir dir;
    const std::filesystem::path file = dir.write("charlib.toml", "# as it was\n");
    const std::vector<ProjectModel> refused{
        {{}, {{"nothing", {{"size", "24"}}, {}}}},
        {{}, {{"bad", {{"size", "huge"}, {"atlas", "a"}, {"font", "f.ttf"}}, {"a.txt"}}}},
        {{}, {{"twice", {}, {"a.txt"}}, {"twice", {}, {"b.txt"}}}},
        {{}, {{"", {}, {"a.txt"}}}},
    };
    for (const ProjectModel& project : refused) {
        EXPECT_THROW(save_project(project, file, Language::English), cli::UsageError)
            << (project.jobs.empty() ? "" : project.jobs.front().name);
        EXPECT_EQ(TempDir::read(file), "# as it was\n");
    }
}

// Copy as command line gives the line that makes what a build of the saved job makes.
TEST(StudioProject, CommandLineMakesWhatTheBuildMakes)
{
    const TempDir dir;
    dir.write("zh/a b.po", "msgid \"a\"\nmsgstr \"你好，世界\"\n");
    dir.write("zh/c.po", "msgid \"c\"\nmsgstr \"再见\"\n");
    const JobSettings job{"list", {{"recursive", ""}, {"format", "counts"}, {"order", "freq"}, {"add", "0 1"},
                                      {"output", "from build.txt"}},
        {"zh"}};
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());  // the studio's paths are its project's
    save_project({{}, {job}}, "charlib.toml", Language::English);
    std::filesystem::current_path(before);
    JobSettings copied = job;
    copied.set("output", {"from line.txt"});
    const std::string folder = std::filesystem::path(CHARLIB_CLI).parent_path().string();
    const std::string cli = "export PATH='" + folder + "':\"$PATH\"; ";
    ASSERT_EQ(std::system((cli + command_line(copied, dir.path())).c_str()), 0);
    ASSERT_EQ(std::system(("cd '" + dir.path().string() + "' && " + cli + "charlib-cli build").c_str()), 0);
    const std::string built = TempDir::read(dir.path() / "from build.txt");
    EXPECT_NE(built.find("好\t1"), std::string::npos) << built;
    EXPECT_EQ(TempDir::read(dir.path() / "from line.txt"), built);
}

}  // namespace
}  // namespace charlib::studio
