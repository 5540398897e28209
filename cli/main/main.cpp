// charlib-cli: the character library of text files, from a terminal.

#include <iostream>
#include <new>
#include <variant>

#include "cli/build.h"
#include "cli/font_words.h"
#include "cli/plan.h"
#include "cli/run.h"
#include "files/temporary_files.h"
#include "font/font.h"
#include "messages/catalog.h"
#include "messages/language.h"
#include "messages/words.h"

namespace {

// --face list: each face of the file, its number and its names, separated by tabs.
int list_faces(const std::filesystem::path& path, charlib::Language language)
{
    try {
        const std::vector<charlib::FaceName> faces = charlib::face_names_of(path);
        for (std::size_t i = 0; i < faces.size(); ++i) {
            const charlib::FaceName& face = faces[i];
            std::cout << i;
            for (const std::string& name : face.names.empty() ? std::vector<std::string>{face.family} : face.names)
                std::cout << '\t' << name;
            std::cout << '\n';
        }
        return 0;
    } catch (const charlib::Failure& failure) {
        std::cerr << "charlib-cli: " << charlib::cli::failure_words(failure, language) << "\n";
    }
    return charlib::cli::exit_failure;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace charlib::cli;
    // A run ended by Ctrl+C, kill or a closed terminal leaves no stream copy or half-written file behind.
    charlib::remove_temporaries_on_ending_signals();
    const charlib::Language language = charlib::user_language();
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (!args.empty() && args.front() == "build") {
            const std::variant<const charlib::Kernel*, charlib::Outcome> kernel = charlib::kernel_from_environment();
            if (const charlib::Outcome* refused = std::get_if<charlib::Outcome>(&kernel)) {
                std::cerr << "charlib-cli: " << words(*refused, language) << "\n";
                return exit_usage;
            }
            return build({args.begin() + 1, args.end()}, language, *std::get<const charlib::Kernel*>(kernel));
        }
        const std::variant<Plan, Answer> asked = plan_of(args, language);
        if (const Answer* answer = std::get_if<Answer>(&asked)) {
            if (answer->faces_of) return list_faces(*answer->faces_of, language);
            std::cout << answer->text;
            return 0;
        }
        // The instruction set is chosen once, from the processor or CHARLIB_ISA.
        const std::variant<const charlib::Kernel*, charlib::Outcome> kernel =
            charlib::kernel_from_environment();
        if (const charlib::Outcome* refused = std::get_if<charlib::Outcome>(&kernel)) {
            std::cerr << "charlib-cli: " << words(*refused, std::get<Plan>(asked).language) << "\n";
            return exit_usage;
        }
        const Plan& plan = std::get<Plan>(asked);
        if (plan.save_job) return save_job(plan, args);
        return run(plan, *std::get<const charlib::Kernel*>(kernel));
    } catch (const UsageError& error) {
        std::cerr << "charlib-cli: " << error.what() << "\n"
                  << charlib::tr(language, "Use charlib-cli --help to see how to use it.") << "\n";
        return exit_usage;
    } catch (const std::bad_alloc&) {
        std::cerr << "charlib-cli: " << charlib::tr(language, "Out of memory: the run stops") << "\n";
        return exit_failure;
    }
}
