#include "cli/plan.h"

#include <utility>

#include "option_groups.h"
#include "messages/catalog.h"

namespace charlib::cli {

std::size_t Plan::places() const
{
    if (output.format == Format::Where) return output.locations;
    return output.format == Format::Json || (output.report && font) ? 1 : 0;
}

bool Plan::prints_set() const
{
    const bool font_files = font && (font->subset || font->atlas || font->web || font->preview);
    return !output.path && (output.format_given || !font_files);
}

std::filesystem::path FontPlan::descriptor() const
{
    return atlas->string() + (atlas_options.format == AtlasFormat::Json ? ".json" : ".fnt");
}

std::filesystem::path FontPlan::widths() const
{
    return atlas->string() + ".widths";
}

std::variant<Plan, Answer> plan_of(std::vector<std::string> args, Language language)
{
    OptionGroups options;
    std::optional<GridOptions> no_grid;
    if (std::optional<std::string> text = options.parse(std::move(args), language))
        return Answer{std::move(*text), std::nullopt};
    if (std::optional<std::filesystem::path> font = options.font.faces_asked(language))
        return Answer{"", std::move(*font)};
    // Braces run the groups in order: the first problem of the line is the one named.
    Plan plan{options.sources.plan(options.selection.has_offset(), language), options.selection.plan(language),
        options.choosing.plan(language), options.output.plan(language), options.font.plan(language)};
    plan.language = language;
    plan.save_job = options.project.plan(language);
    const EntryRules& entries = plan.sources.entries;
    if (plan.selection.offset > 0 && entries.format != TextFormat::Lines)
        throw UsageError(tr(language,
            "-n is for reading line by line (-t lines): the entries of a translation file have no \"Nth line after\""));
    std::optional<GridOptions>& grid = plan.font ? plan.font->atlas_options.grid : no_grid;
    if (plan.output.tbl_start_given && plan.output.format != Format::Tbl && !grid)
        throw UsageError(tr(language, "{option} can only be used with {one} or {other}",
            {{"option", "--tbl-start"}, {"one", "-f tbl"}, {"other", "--grid"}}));
    if (grid) grid->first_code = plan.output.tbl_start;
    // A project tree read by format: text files and the files whose format can be told.
    if (!entries.format && plan.sources.listing.recursive && !options.sources.has_patterns()) {
        plan.sources.listing.patterns = {{"*.txt", false}};
        for (const std::string& pattern : known_patterns())
            plan.sources.listing.patterns.push_back({pattern, true});
    }
    // Counting every occurrence costs a little: only when something reads the counts.
    plan.selection.count = plan.choosing.choice.order == Order::Frequency ||
        plan.choosing.choice.min_count > 1 || plan.output.format == Format::Counts ||
        plan.output.format == Format::Json || plan.output.report || (plan.font && plan.font->web);
    return plan;
}

}  // namespace charlib::cli
