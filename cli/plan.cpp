#include "cli/plan.h"

#include <utility>

#include "cli/option_groups.h"

namespace charlib::cli {

std::variant<Plan, Answer> plan_of(std::vector<std::string> args)
{
    OptionGroups options;
    if (std::optional<std::string> text = options.parse(std::move(args))) return Answer{std::move(*text)};
    // Braces run the groups in order: the first problem of the line is the one named.
    Plan plan{options.sources.plan(), options.selection.plan(), options.choosing.plan(),
        options.output.plan(), options.font.plan()};
    // Counting every occurrence costs a little: only when something reads the counts.
    plan.selection.count = plan.choosing.choice.order == Order::Frequency ||
        plan.choosing.choice.min_count > 1 || plan.output.format == Format::Counts ||
        plan.output.format == Format::Json || plan.output.report;
    return plan;
}

}  // namespace charlib::cli
