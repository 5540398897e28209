// Project files and charlib-cli build: the file's errors, where they are;
// jobs built together, only what changed; the depfile; --save-job.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <regex>
#include <string>
#include <vector>

#include "cli/project.h"
#include "run_cli.h"

namespace {

using charlib::Language;
using charlib::cli::Project;
using charlib::cli::UsageError;
using charlib::cli::project_from_text;

std::string refusal(const std::string& text)
{
    try {
        project_from_text(text, "proj/charlib.toml", Language::English);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

TEST(ProjectFile, EachProblemIsNamedAtItsLineColumnAndKey)
{
    const std::string job = "[[font]]\nname = \"ui\"\nsources = \"a.txt\"\noutput = \"chars.txt\"\n";
    const struct {
        std::string text, said;
    } cases[] = {
        {"[[font]\nname = 1", "proj/charlib.toml:1:8: this is not TOML: "},
        {job + "sizee = 24\n",
            "proj/charlib.toml:5:1: “sizee”: a job has no such key (its keys are charlib-cli's options by their "
            "long names, such as size or font, and name and sources); did you mean “size”?"},
        {job + "help = true\n", "proj/charlib.toml:5:1: “help”: a job has no such key"},
        {job + "save-job = \"x.toml\"\n", "proj/charlib.toml:5:1: “save-job”: a job has no such key"},
        {job + "sort = \"yes\"\n", "proj/charlib.toml:5:1: “sort”: this key is true or false"},
        {job + "add-set = [\"ascii\", true]\n", "proj/charlib.toml:5:1: “add-set”: this key is a string, or an array"},
        {job + "order = [\"code\"]\n", "proj/charlib.toml:5:1: “order”: this key is a string (or a whole number)"},
        {job + "  order = \"random\"\n",
            "proj/charlib.toml:5:3: “order”: The value “random” of --order is not valid; it can be: first, code, freq"},
        {"[defaults]\nmin-count = 0\n\n" + job,
            "proj/charlib.toml:2:1: “min-count”: --min-count"},
        {job + "atlas-format = \"xml\"\n", "proj/charlib.toml:5:1: “atlas-format”: --atlas-format"},
        {job + "font = \"f.ttf\"\nsize = 300\n", "proj/charlib.toml:6:1: “size”: --size"},
        // The key the message names, not one whose name begins the same.
        {job + "add = \"x\"\nadd-set = \"bogus\"\n", "proj/charlib.toml:6:1: “add-set”: "},
        {job + "\n[[font]]\nname = \"ui\"\nsources = \"b.txt\"\noutput = \"b\"\n",
            "proj/charlib.toml:7:1: “name”: another job has the name “ui”"},
        {"[[font]]\nsources = \"a.txt\"\noutput = \"x\"\n", "proj/charlib.toml:1:1: a job needs a name"},
        {"[[font]]\nname = \"ui\"\noutput = \"x\"\n", "proj/charlib.toml:1:1: the job “ui” has no sources"},
        {"[[font]]\nname = \"ui\"\nsources = \"a.txt\"\n", "proj/charlib.toml:1:1: the job “ui” writes no file"},
        {job + "face = \"list\"\nfont = \"f.ttf\"\n", "proj/charlib.toml:1:1: the job “ui” asks for the faces"},
        {"[defaults]\nname = \"all\"\n" + job, "proj/charlib.toml:2:1: “name”: each job has its own name"},
        {"[font]\nname = \"ui\"\n", "proj/charlib.toml:1:2: “font”: a project file has a [defaults] table"},
        {"", "proj/charlib.toml:1:1: the project has no job"},
    };
    for (const auto& [text, said] : cases)
        EXPECT_TRUE(refusal(text).starts_with(said)) << text << "\n→ " << refusal(text);
}

TEST(ProjectFile, JobsAreCommandLinesWithPathsFromTheFilesFolder)
{
    const Project project = project_from_text(R"([defaults]
font = "fonts/f.ttf"
add = "0"
sort = true

[[font]]
name = "ui"
sources = ["lang", "/abs/x.txt"]
recursive = true
glob = ["*.po", "*.json"]
atlas = "out/ui"
add-set = "ascii"
size = 24

[[font]]
name = "list"
sources = "a.txt"
sort = false
output = "chars.txt"
)",
        "proj/charlib.toml", Language::English);
    ASSERT_EQ(project.jobs.size(), 2u);
    EXPECT_EQ(project.jobs[0].args,
        (std::vector<std::string>{"--font=proj/fonts/f.ttf", "--add=0", "--sort", "--recursive", "--glob=*.po",
            "--glob=*.json", "--atlas=proj/out/ui", "--add-set=ascii", "--size=24", "--", "proj/lang",
            "/abs/x.txt"}));
    EXPECT_EQ(project.jobs[1].args,
        (std::vector<std::string>{"--font=proj/fonts/f.ttf", "--add=0", "--output=proj/chars.txt", "--", "proj/a.txt"}));
    EXPECT_EQ(project.jobs[0].plan.font->atlas_options.size, 24u);
}

// A project of three jobs, the way a game keeps its fonts.
struct GameProject {
    TempDir dir;
    GameProject()
    {
        dir.write("lang/ui.txt", "开始游戏\n设置\n");
        dir.write("lang/story/one.txt", "很久以前\n");
        dir.write("lang/story/two.txt", "有一座山\n");
        dir.write("charlib.toml", "[defaults]\nfont = \"" + microhei +
                "\"\n\n"
                "[[font]]\nname = \"ui\"\nsources = \"lang/ui.txt\"\natlas = \"out/ui\"\nsize = 20\n\n"
                "[[font]]\nname = \"story\"\nsources = \"lang/story\"\nrecursive = true\nsubset = \"out/story.ttf\"\n\n"
                "[[font]]\nname = \"all\"\nsources = \"lang\"\nrecursive = true\noutput = \"out/all.txt\"\n");
    }
    std::string read(const std::string& name) const { return TempDir::read(dir.path() / name); }
    std::filesystem::file_time_type time(const std::string& name) const
    {
        return std::filesystem::last_write_time(dir.path() / name);
    }
};

// The row of a job in the summary: "unchanged", or the time it took.
bool built(const CliRun& run, const std::string& job)
{
    return std::regex_search(run.err, std::regex("\\n  " + job + " +[0-9]+ +[0-9]+ +[0-9]+ [0-9.]+ s\\n"));
}

TEST(Build, OnlyTheJobsWhoseInputsChangedAreBuiltAndTheDepfileListsEveryInput)
{
    const GameProject project;
    const CliRun first = run_cli(project.dir, {"build", "--depfile", "fonts.d"});
    ASSERT_EQ(first.status, 0) << first.err;
    for (const char* job : {"ui", "story", "all"})
        EXPECT_TRUE(built(first, job)) << job << "\n" << first.err;
    EXPECT_TRUE(std::regex_search(first.err, std::regex("\\n  ui +6 +0 +2 [0-9.]+ s\\n"))) << "6 characters, 2 files";
    EXPECT_TRUE(has(first.err, "\n  任务  字符 缺字 文件 用时\n")) << "a hanzi is two columns wide";
    EXPECT_EQ(project.read("out/all.txt"), "很久以前有一座山开始游戏设置\n");  // the sources in path order
    const auto ui_time = project.time("out/ui.fnt");

    // A new file in the story's folder: the story and the list are built again, the atlas is left.
    project.dir.write("lang/story/three.txt", "山上有庙\n");
    const CliRun second = run_cli(project.dir, {"build", "--depfile", "fonts.d"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(built(second, "story"));
    EXPECT_TRUE(built(second, "all"));
    EXPECT_TRUE(has(second.err, "未变")) << second.err;
    EXPECT_FALSE(built(second, "ui"));
    EXPECT_EQ(project.time("out/ui.fnt"), ui_time);
    EXPECT_TRUE(has(project.read("out/all.txt"), "庙"));
    const std::string depfile = project.read("fonts.d");
    // One rule for every output, as one command makes them all, of every input once; each input is
    // a target of its own too, so that Make goes on when it is deleted.
    const std::string read = "lang/ui.txt \\\n  " + microhei + " \\\n  lang/story/one.txt \\\n  "
                             "lang/story/three.txt \\\n  lang/story/two.txt \\\n  ";
    EXPECT_EQ(depfile, "out/ui.fnt out/story.ttf out/all.txt: \\\n  " + read + "charlib.toml\n"
                       "lang/ui.txt:\n" + microhei + ":\nlang/story/one.txt:\nlang/story/three.txt:\n"
                       "lang/story/two.txt:\n");

    // An output deleted since is made again.
    std::filesystem::remove(project.dir.path() / "out/ui_0.png");
    EXPECT_TRUE(built(run_cli(project.dir, {"build"}), "ui"));
    EXPECT_TRUE(std::filesystem::exists(project.dir.path() / "out/ui_0.png"));

    // Touched but not changed: nothing is built. --force builds what is asked for.
    std::filesystem::last_write_time(project.dir.path() / "lang/ui.txt", std::filesystem::file_time_type::clock::now());
    const CliRun touched = run_cli(project.dir, {"build"});
    EXPECT_FALSE(built(touched, "ui") || built(touched, "story") || built(touched, "all")) << touched.err;
    const CliRun forced = run_cli(project.dir, {"build", "--force", "ui"});
    EXPECT_TRUE(built(forced, "ui"));
    EXPECT_FALSE(has(forced.err, "story"));

    // A setting of one job changed: that job alone is built again.
    std::string settings = project.read("charlib.toml");
    settings.replace(settings.find("size = 20"), 9, "size = 22");
    project.dir.write("charlib.toml", settings);
    const CliRun resized = run_cli(project.dir, {"build"});
    EXPECT_TRUE(built(resized, "ui")) << resized.err;
    EXPECT_FALSE(built(resized, "story") || built(resized, "all")) << resized.err;
}

TEST(Build, AFailingJobLeavesEveryJobsFilesAsTheyWereUnlessKeepGoing)
{
    const GameProject project;
    ASSERT_EQ(run_cli(project.dir, {"build"}).status, 0);
    const std::string list = project.read("out/all.txt"), story = project.read("out/story.ttf");
    project.dir.write("lang/story/two.txt", "有一条河\n");
    std::filesystem::remove(project.dir.path() / "lang/ui.txt");
    const CliRun failed = run_cli(project.dir, {"build"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(has(failed.err, "charlib-cli: ui: ")) << failed.err;
    EXPECT_TRUE(has(failed.err, "“ui”失败：什么也没写")) << failed.err;
    EXPECT_EQ(project.read("out/all.txt"), list);
    EXPECT_EQ(project.read("out/story.ttf"), story);

    const CliRun kept = run_cli(project.dir, {"build", "--keep-going"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_TRUE(has(kept.err, "“ui”失败；其他任务的文件已写出")) << kept.err;
    EXPECT_TRUE(has(project.read("out/all.txt"), "河"));
    EXPECT_NE(project.read("out/story.ttf"), story);
}

TEST(Build, ProjectsThatCannotBeBuiltAreRefusedBeforeAnythingRuns)
{
    const GameProject project;
    const struct {
        std::string extra, said;
    } cases[] = {
        {"[[font]]\nname = \"again\"\nsources = \"lang/ui.txt\"\noutput = \"out/all.txt\"\n",
            "任务“all”和“again”都写"},
        {"[[font]]\nname = \"more\"\nsources = \"out/all.txt\"\noutput = \"out/more.txt\"\n",
            "任务“more”读取“out/all.txt”，而它由任务“all”写出"},
    };
    for (const auto& [extra, said] : cases) {
        project.dir.write("bad.toml", project.read("charlib.toml") + "\n" + extra);
        const CliRun run = run_cli(project.dir, {"build", "bad.toml"});
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(has(run.err, said));
        EXPECT_FALSE(std::filesystem::exists(project.dir.path() / "out"));
    }
    const CliRun unknown = run_cli(project.dir, {"build", "ui", "stroy"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(has(unknown.err, "“charlib.toml”中没有任务“stroy”；它的任务：ui、story、all"));
    // The nearest project file above.
    std::filesystem::create_directories(project.dir.path() / "lang/deeper");
    const CliRun listed = run_cli(project.dir, {"build", "--list", "ui"});
    EXPECT_EQ(listed.out, "ui\tout/ui.fnt\n");
}

TEST(Build, ACommandLineSavedAsAJobBuildsTheSameFiles)
{
    const GameProject project;
    const std::vector<std::string> line = {"-m", "开", "lang/ui.txt", "--font", microhei, "--atlas", "out/direct",
        "--size", "18", "--add-set", "digits", "--add", "甲", "-s", "--page", "256x256"};
    ASSERT_EQ(run_cli(project.dir, line).status, 0);
    std::vector<std::string> save = line;
    save[6] = "out/saved";
    save.insert(save.end(), {"--save-job", "tools/charlib.toml", "--job", "menu"});
    const CliRun saved = run_cli(project.dir, save);
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_TRUE(has(project.read("tools/charlib.toml"),
        "[[font]]\nname = \"menu\"\nsources = [\"../lang/ui.txt\"]\nmarker = \"开\"\nfont = \"" + microhei +
            "\"\natlas = \"../out/saved\"\nsize = 18\nadd-set = [\"digits\"]\nadd = [\"甲\"]\nsort = true\n"));
    // Saved again without a name: named after its output; a job that writes another's output is refused.
    save.resize(save.size() - 2);
    const std::string before = project.read("tools/charlib.toml");
    const CliRun again = run_cli(project.dir, save);
    EXPECT_EQ(again.status, 2);
    EXPECT_TRUE(has(again.err, "任务“menu”和“saved”都写"));
    EXPECT_EQ(project.read("tools/charlib.toml"), before);
    save[6] = "out/other";
    ASSERT_EQ(run_cli(project.dir, save).status, 0);
    EXPECT_TRUE(has(project.read("tools/charlib.toml"), before + "\n[[font]]\nname = \"other\"\n"));
    const CliRun build = run_cli(project.dir, {"build", "tools/charlib.toml", "menu"});
    ASSERT_EQ(build.status, 0) << build.err;
    EXPECT_EQ(project.read("out/saved_0.png"), project.read("out/direct_0.png"));
    std::string descriptor = project.read("out/saved.fnt");
    descriptor = std::regex_replace(descriptor, std::regex("saved_0"), "direct_0");
    EXPECT_EQ(descriptor, project.read("out/direct.fnt"));
}

}  // namespace

namespace {

TEST(Build, AFamilysWeightsMadeIntoOneWebFolderShareItsStylesheet)
{
    const TempDir dir;
    dir.write("site/a.txt", "Hello, fonts\n");
    dir.write("charlib.toml",
        "[defaults]\nweb = \"out/fonts\"\nfamily = \"Site Sans\"\nsources = \"site/a.txt\"\n\n"
        "[[font]]\nname = \"regular\"\nfont = \"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf\"\n\n"
        "[[font]]\nname = \"bold\"\nfont = \"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf\"\n");
    for (const char* added : {"", "Again!\n"}) {
        dir.write("site/a.txt", "Hello, fonts\n" + std::string(added));
        const CliRun run = run_cli(dir, {"build"});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string css = TempDir::read(dir.path() / "out/fonts/font.css");
        EXPECT_TRUE(has(css, "font-weight: 400") && has(css, "font-weight: 700")) << css;
        // Every piece the stylesheet lists is in the folder.
        const std::regex piece("url\\(\"([0-9a-f]+\\.woff2)\"\\)");
        int listed = 0;
        for (std::sregex_iterator at(css.begin(), css.end(), piece), end; at != end; ++at, ++listed)
            EXPECT_TRUE(std::filesystem::exists(dir.path() / "out/fonts" / (*at)[1].str())) << (*at)[1];
        EXPECT_GE(listed, 4);
    }
}

}  // namespace

namespace {

// Waits, at most `seconds`, until `check` holds.
template <class Check>
bool within(double seconds, Check check)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!check()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(Build, WatchBuildsTheJobsAnEditChangesAndCtrlCEndsIt)
{
    const GameProject project;
    const std::string command = "cd '" + project.dir.path().string() + "' && exec '" + CHARLIB_CLI +
        "' build --watch 2>watch.err";
    char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()),
        nullptr};
    pid_t watching = 0;
    ASSERT_EQ(::posix_spawn(&watching, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    const auto said = [&] { return project.read("watch.err"); };
    const std::string waiting = "正在监视输入的变化";
    EXPECT_TRUE(within(30, [&] { return count_of(said(), waiting) == 1; })) << said();
    const auto story = project.read("out/story.ttf");
    project.dir.write("lang/ui.txt", "开始游戏\n设置\n退出\n");
    EXPECT_TRUE(within(30, [&] { return count_of(said(), waiting) == 2; })) << said();
    EXPECT_TRUE(has(said(), "已变化：lang/ui.txt"));
    EXPECT_TRUE(has(project.read("out/all.txt"), "退出"));
    EXPECT_EQ(project.read("out/story.ttf"), story);
    ::kill(watching, SIGINT);
    int status = 0;
    EXPECT_TRUE(within(10, [&] { return ::waitpid(watching, &status, WNOHANG) == watching; }));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    if (!WIFSIGNALED(status)) {
        ::kill(watching, SIGKILL);
        ::waitpid(watching, &status, 0);
    }
}

}  // namespace
