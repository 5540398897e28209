// A project file of arbitrary bytes: its jobs, or a refusal that names where;
// never a crash, a hang or a leak. Each job read is written back as
// --save-job writes it and read again: the same command line.

#include <cstdlib>
#include <string_view>

#include "cli/project.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace charlib::cli;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Project project;
    try {
        project = project_from_text(text, "charlib.toml", charlib::Language::English);
    } catch (const UsageError&) {
        return 0;
    }
    for (const Job& job : project.jobs) {
        const std::string table = job_table(job.args, job.name, "charlib.toml", {}, charlib::Language::English);
        const Project again = project_from_text(table, "charlib.toml", charlib::Language::English);
        if (again.jobs.size() != 1 || again.jobs[0].args != job.args) std::abort();
    }
    return 0;
}
