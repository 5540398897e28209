// Writes charlib-cli's man pages, English and Chinese, and its bash
// completion from the table of options, and the windows' man pages, when the
// program is built:
//   charlib-cli-manual VERSION FOLDER
// makes FOLDER/charlib-cli.1, FOLDER/zh_CN/charlib-cli.1, FOLDER/charlib-cli.bash,
// FOLDER/charlib.1, FOLDER/zh_CN/charlib.1, FOLDER/charlib-studio.1 and
// FOLDER/zh_CN/charlib-studio.1.

#include <filesystem>
#include <fstream>
#include <iostream>

#include "cli/manual.h"

namespace {

bool write(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (file) return true;
    std::cerr << "charlib-cli-manual: cannot write " << path << "\n";
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace charlib;
    if (argc != 3) {
        std::cerr << "usage: charlib-cli-manual VERSION FOLDER\n";
        return 2;
    }
    const std::string version = argv[1];
    const std::filesystem::path folder = argv[2];
    const bool written = write(folder / "charlib-cli.1", cli::man_page(Language::English, version)) &&
        write(folder / "zh_CN" / "charlib-cli.1", cli::man_page(Language::Chinese, version)) &&
        write(folder / "charlib-cli.bash", cli::bash_completion()) &&
        write(folder / "charlib.1", cli::window_man_page(Language::English, version)) &&
        write(folder / "zh_CN" / "charlib.1", cli::window_man_page(Language::Chinese, version)) &&
        write(folder / "charlib-studio.1", cli::studio_man_page(Language::English, version)) &&
        write(folder / "zh_CN" / "charlib-studio.1", cli::studio_man_page(Language::Chinese, version));
    return written ? 0 : 1;
}
