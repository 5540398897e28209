// charlib-cli: the character library of text files, from a terminal.

#include <iostream>
#include <new>
#include <variant>

#include "cli/plan.h"
#include "cli/run.h"
#include "files/temporary_files.h"
#include "messages/language.h"
#include "messages/words.h"

int main(int argc, char** argv)
{
    using namespace charlib::cli;
    // A run ended by Ctrl+C, kill or a closed terminal leaves no stream copy or half-written file behind.
    charlib::remove_temporaries_on_ending_signals();
    try {
        const std::variant<Plan, Answer> asked = plan_of({argv + 1, argv + argc}, charlib::user_language());
        if (const Answer* answer = std::get_if<Answer>(&asked)) {
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
        return run(std::get<Plan>(asked), *std::get<const charlib::Kernel*>(kernel));
    } catch (const UsageError& error) {
        std::cerr << "charlib-cli: " << error.what() << "\n请用 charlib-cli --help 查看用法。\n";
        return exit_usage;
    } catch (const std::bad_alloc&) {
        std::cerr << "charlib-cli: 内存不足：运行中止\n";
        return exit_failure;
    }
}
