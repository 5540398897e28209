#include "base/ascii.h"
#include "option_groups.h"

#include "font/web.h"

#include <CLI/CLI.hpp>  // here alone: it is large to compile

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "cli/manual.h"
#include "cli/option_table.h"
#include "codec/utf.h"
#include "font/web.h"
#include "formats/format_table.h"
#include "messages/catalog.h"
#include "messages/words.h"

namespace charlib::cli {

namespace {

// Declares an option to CLI11 under the names the table gives it.
template <class Into>
CLI::Option* declare(CLI::App& app, std::string_view long_name, Into& into)
{
    const OptionInfo& option = option_info(long_name);
    const std::string names = option.short_name.empty()
        ? std::string(long_name)
        : std::string(option.short_name) + "," + std::string(long_name);
    if constexpr (std::is_same_v<Into, bool>) {
        return app.add_flag(names, into);
    } else {
        CLI::Option* declared = app.add_option(names, into);
        // A repeated option takes one value each time: the next word is a source.
        if (option.repeats) declared->allow_extra_args(false);
        return declared;
    }
}

// The value's meaning, its name checked against the table's allowed values.
template <class Value>
Value meaning(std::string_view option, const std::string& given, Language language,
    std::initializer_list<std::pair<const char*, Value>> names)
{
    checked_value(option, given, language);
    for (const auto& [name, value] : names)
        if (given == name) return value;
    refuse_value(option, given, language);  // the table allows a value this group does not know
}

constexpr std::uint64_t no_most = std::uint64_t{1} << 62;

std::uint64_t whole_number(const std::string& option, const std::string& text, Language language,
    std::uint64_t least, std::uint64_t most = no_most)
{
    const bool digits =
        !text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string::npos;
    if (digits && std::stoull(text) >= least && std::stoull(text) <= most) return std::stoull(text);
    if (most == no_most)
        throw UsageError(tr(language, "{option} must be a whole number, {least} or more: {value}",
            {{"option", option}, {"least", std::to_string(least)}, {"value", text}}));
    throw UsageError(tr(language, "{option} must be a whole number from {least} to {most}: {value}",
        {{"option", option}, {"least", std::to_string(least)}, {"most", std::to_string(most)}, {"value", text}}));
}

// Options that mean nothing without `needed`.
void only_with(const char* needed, bool present, std::initializer_list<std::pair<const char*, bool>> options,
    Language language)
{
    for (const auto& [option, given] : options)
        if (given && !present)
            throw UsageError(tr(language, "{option} can only be used with {needed}",
                {{"option", option}, {"needed", needed}}));
}

}  // namespace

void SourceOptions::add_to(CLI::App& app)
{
    app.add_option("sources", paths_);
    declare(app, "--recursive", recursive_);
    declare(app, "--glob", globs_);
    declare(app, "--iglob", iglobs_);
    declare(app, "--hidden", hidden_);
    declare(app, "--encoding", encoding_);
    declare(app, "--newline", newline_);
    declare(app, "--keep-going", keep_going_);
    declare(app, "--strict", strict_);
    declare(app, "--source-format", text_format_);
    declare(app, "--markup", markup_);
    declare(app, "--key", keys_);
    declare(app, "--column", columns_);
    declare(app, "--key-column", key_column_);
    declare(app, "--xliff-source", xliff_source_);
}

SourcePlan SourceOptions::plan(bool offset, Language language) const
{
    if (paths_.empty()) throw UsageError(tr(language, "No files to extract from were given"));
    SourcePlan plan;
    plan.paths.assign(paths_.begin(), paths_.end());
    only_with("-r", recursive_, {{"--glob", !globs_.empty()}, {"--iglob", !iglobs_.empty()}, {"--hidden", hidden_}},
        language);
    plan.listing.recursive = recursive_;
    if (!globs_.empty() || !iglobs_.empty()) plan.listing.patterns.clear();
    for (const std::string& glob : globs_)
        plan.listing.patterns.push_back({glob, false});
    for (const std::string& glob : iglobs_)
        plan.listing.patterns.push_back({glob, true});
    plan.listing.hidden = hidden_;
    // Told from the bytes unless given: a GBK script is read as GBK, as the window reads it.
    if (encoding_ && ascii_lower(*encoding_) != "auto") {
        plan.encoding = encoding_named(*encoding_);
        if (!plan.encoding) refuse_value("--encoding", *encoding_, language);
    }
    plan.note_guesses = encoding_.has_value() && !plan.encoding;
    if (newline_)
        plan.newline =
            meaning<Newline>("--newline", *newline_, language, {{"legacy", Newline::Legacy}, {"any", Newline::Any}});
    plan.keep_going = keep_going_;
    plan.strict = strict_;
    EntryRules& entries = plan.entries;
    const std::string text_format = text_format_.value_or(offset ? "lines" : "auto");
    checked_value("--source-format", text_format, language);
    entries.format = text_format_named(text_format);  // nothing for auto
    entries.note_lines = !entries.format && text_format_.has_value();
    const bool lines = entries.format == TextFormat::Lines;
    const auto only_for = [&](const char* option, bool given, const auto& fits) {
        if (given && entries.format && !fits(*entries.format))
            throw UsageError(tr(language, "{option} cannot be used with -t {format}",
                {{"option", option}, {"format", text_format}}));
    };
    const auto csv = [](TextFormat format) { return format == TextFormat::Csv || format == TextFormat::Tsv; };
    only_for("--key", !keys_.empty(), [](TextFormat format) { return format_info(format).keyed; });
    only_for("--column", !columns_.empty(), csv);
    only_for("--key-column", key_column_.has_value(), csv);
    only_for("--xliff-source", xliff_source_, [](TextFormat format) { return format == TextFormat::Xliff; });
    if (markup_) {
        entries.strip_markup = meaning<bool>("--markup", *markup_, language, {{"keep", false}, {"strip", true}});
        if (lines && *entries.strip_markup)
            throw UsageError(tr(language, "--markup strip is for translation files alone (-t other than lines)"));
    }
    entries.keys.assign(keys_.begin(), keys_.end());
    for (const std::string& column : columns_)
        if (column.empty()) throw UsageError(tr(language, "--column needs a column name or a number from 1"));
    entries.columns.assign(columns_.begin(), columns_.end());
    if (key_column_) {
        if (key_column_->empty())
            throw UsageError(tr(language, "--key-column needs a column name, a number from 1 or none"));
        entries.key_column = *key_column_ == "none" ? std::string() : *key_column_;
    }
    entries.xliff_source = xliff_source_;
    return plan;
}

void SelectionOptions::add_to(CLI::App& app)
{
    declare(app, "--marker", marker_);
    declare(app, "--offset", offset_);
}

Selection SelectionOptions::plan(Language language) const
{
    const std::optional<std::u32string> marker = from_utf8(marker_);
    if (!marker) throw UsageError(tr(language, "The marker is not valid UTF-8: {value}", {{"value", marker_}}));
    return {*marker, static_cast<std::int64_t>(whole_number("-n/--offset", offset_, language, 0))};
}

void ChoiceOptions::add_to(CLI::App& app)
{
    declare(app, "--exclude", excludes_);
    declare(app, "--only", only_);
    declare(app, "--no-ascii", no_ascii_);
    declare(app, "--min-count", min_count_);
    declare(app, "--order", order_);
    declare(app, "--sort", sort_);
    // Taken as each is parsed, so that the three keep the order of the command line.
    for (const char* option : {"--add", "--add-file", "--add-set"})
        app.add_option_function<std::string>(
               option, [this, option](const std::string& value) { additions_.emplace_back(option, value); })
            ->trigger_on_parse();
}

ChoicePlan ChoiceOptions::plan(Language language) const
{
    ChoicePlan plan;
    plan.excludes.assign(excludes_.begin(), excludes_.end());
    plan.choice.no_ascii = no_ascii_;
    const auto not_utf8 = [language](const char* option, const std::string& value) {
        return UsageError(tr(language, "The characters of {option} are not valid UTF-8: {value}",
            {{"option", option}, {"value", value}}));
    };
    if (only_) {
        plan.choice.only = from_utf8(*only_);
        if (!plan.choice.only) throw not_utf8("--only", *only_);
    }
    for (const auto& [option, value] : additions_) {
        if (option == "--add-file") {
            plan.additions.emplace_back(std::filesystem::path(value));
        } else if (option == "--add-set") {
            plan.additions.emplace_back(meaning<NamedSet>("--add-set", value, language,
                {{"ascii", NamedSet::Ascii}, {"digits", NamedSet::Digits}, {"latin1", NamedSet::Latin1},
                    {"cjk-punct", NamedSet::CjkPunctuation}, {"gb2312-1", NamedSet::Gb2312Level1},
                    {"gb2312", NamedSet::Gb2312}, {"gbk", NamedSet::Gbk}}));
        } else {
            std::optional<std::u32string> characters = from_utf8(value);
            if (!characters) throw not_utf8("--add", value);
            if (characters->empty()) throw UsageError(tr(language, "The characters of --add are empty"));
            plan.additions.emplace_back(std::move(*characters));
        }
    }
    if (min_count_) plan.choice.min_count = whole_number("--min-count", *min_count_, language, 1);
    plan.choice.order = meaning<Order>("--order", order_, language,
        {{"first", Order::First}, {"code", Order::Code}, {"freq", Order::Frequency}});
    if (sort_) {
        if (plan.choice.order != Order::First && plan.choice.order != Order::Code)
            throw UsageError(tr(language, "-s is --order code, and cannot be used with --order {order}",
                {{"order", order_}}));
        plan.choice.order = Order::Code;
    }
    return plan;
}

void OutputOptions::add_to(CLI::App& app)
{
    declare(app, "--format", format_);
    declare(app, "--tbl-start", tbl_start_);
    declare(app, "--output", path_);
    declare(app, "--output-encoding", encoding_);
    declare(app, "--replace-unmappable", replace_unmappable_);
    declare(app, "--report", report_);
    declare(app, "--locations", locations_);
}

OutputPlan OutputOptions::plan(Language language) const
{
    OutputPlan plan;
    plan.format_given = format_.has_value();
    plan.format = meaning<Format>("--format", format_.value_or("text"), language,
        {{"text", Format::Text}, {"counts", Format::Counts}, {"tbl", Format::Tbl},
            {"unicode-range", Format::UnicodeRange}, {"json", Format::Json}, {"where", Format::Where}});
    if (locations_) {
        only_with("-f where", plan.format == Format::Where, {{"--locations", true}}, language);
        plan.locations = static_cast<std::size_t>(whole_number("--locations", *locations_, language, 1, 1000));
    }
    if (tbl_start_) {
        plan.tbl_start_given = true;
        std::string hex = *tbl_start_;
        if (hex.starts_with("0x") || hex.starts_with("0X")) hex.erase(0, 2);
        if (hex.empty() || hex.size() > 4 ||
            hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw UsageError(tr(language, "--tbl-start must be 1 to 4 hexadecimal digits: {value}",
                {{"value", *tbl_start_}}));
        plan.tbl_start = static_cast<unsigned>(std::stoul(hex, nullptr, 16));
    }
    if (path_) plan.path = *path_;
    if (encoding_) {
        only_with("-o", path_.has_value(), {{"--output-encoding", true}}, language);
        const std::optional<Encoding> named = encoding_named(*encoding_);
        if (named == Encoding::Gbk)
            plan.encoding = OutputEncoding::Gbk;
        else if (named == Encoding::Gb18030)
            plan.encoding = OutputEncoding::Gb18030;
        else if (named == Encoding::Utf8)
            plan.encoding = OutputEncoding::Utf8;
        else
            refuse_value("--output-encoding", *encoding_, language);
        if ((plan.format == Format::Json || plan.format == Format::Where) &&
            plan.encoding != OutputEncoding::Utf8)
            throw UsageError(tr(language, "{format} is always written in UTF-8 and cannot take --output-encoding {encoding}",
                {{"format", *format_}, {"encoding", *encoding_}}));
    }
    if (plan.format == Format::Json || plan.format == Format::Where) plan.encoding = OutputEncoding::Utf8;
    if (replace_unmappable_ && (!path_ || (plan.encoding && *plan.encoding != OutputEncoding::Gbk)))
        throw UsageError(tr(language, "--replace-unmappable is for an -o written in gbk"));
    if (replace_unmappable_) plan.encoding = OutputEncoding::Gbk;  // only GBK replaces characters
    plan.replace_unmappable = replace_unmappable_;
    plan.report = report_;
    return plan;
}

void FontOptions::add_to(CLI::App& app)
{
    declare(app, "--font", font_);
    declare(app, "--face", face_);
    declare(app, "--subset", subset_);
    declare(app, "--require-all", require_all_);
    declare(app, "--missing-only", missing_only_);
    declare(app, "--layout-features", layout_features_);
    declare(app, "--atlas", atlas_);
    declare(app, "--size", size_);
    declare(app, "--padding", padding_);
    declare(app, "--page", page_);
    declare(app, "--mono", mono_);
    declare(app, "--sdf", sdf_);
    declare(app, "--spread", spread_);
    declare(app, "--atlas-format", atlas_format_);
    declare(app, "--engine", engine_);
    declare(app, "--no-kerning", no_kerning_);
    declare(app, "--atlas-keep", atlas_keep_);
    declare(app, "--grid", grid_);
    declare(app, "--grid-columns", grid_columns_);
    declare(app, "--preview", preview_);
    declare(app, "--web", web_);
    declare(app, "--chunk-size", chunk_size_);
    declare(app, "--web-all", web_all_);
    declare(app, "--family", family_);
    declare(app, "--web-fresh", web_fresh_);
    declare(app, "--css", css_);
    declare(app, "--url-prefix", url_prefix_);
}

std::optional<std::filesystem::path> FontOptions::faces_asked(Language language) const
{
    if (face_ != "list") return std::nullopt;
    only_with("--font", font_.has_value(), {{"--face list", true}}, language);
    return std::filesystem::path(*font_);
}

namespace {

// "1024x1024": the two numbers, each within its bounds.
std::pair<unsigned, unsigned> width_by_height(
    const std::string& option, const std::string& given, unsigned least, unsigned most, Language language)
{
    const std::size_t x = given.find('x');
    if (x == std::string::npos)
        throw UsageError(option == "--grid"
                ? tr(language, "--grid takes WIDTHxHEIGHT, such as 16x16: {value}", {{"value", given}})
                : tr(language, "--page takes WIDTHxHEIGHT, such as 1024x1024, or auto: {value}", {{"value", given}}));
    return {static_cast<unsigned>(whole_number(option, given.substr(0, x), language, least, most)),
        static_cast<unsigned>(whole_number(option, given.substr(x + 1), language, least, most))};
}

}  // namespace

std::optional<FontPlan> FontOptions::plan(Language language) const
{
    only_with("--font", font_.has_value(),
        {{"--face", face_.has_value()}, {"--subset", subset_.has_value()}, {"--atlas", atlas_.has_value()},
            {"--preview", preview_.has_value()}, {"--require-all", require_all_},
            {"--missing-only", missing_only_}, {"--layout-features", layout_features_.has_value()},
            {"--web", web_.has_value()}},
        language);
    only_with("--atlas", atlas_.has_value(),
        {{"--padding", padding_.has_value()}, {"--page", page_.has_value()}, {"--mono", mono_}, {"--sdf", sdf_},
            {"--atlas-format", atlas_format_.has_value()}, {"--no-kerning", no_kerning_},
            {"--atlas-keep", atlas_keep_}, {"--grid", grid_.has_value()}, {"--engine", engine_.has_value()}},
        language);
    only_with("--sdf", sdf_, {{"--spread", spread_.has_value()}}, language);
    only_with("--grid", grid_.has_value(), {{"--grid-columns", grid_columns_.has_value()}}, language);
    only_with("--web", web_.has_value(),
        {{"--chunk-size", chunk_size_.has_value()}, {"--web-all", web_all_}, {"--family", family_.has_value()},
            {"--web-fresh", web_fresh_}, {"--css", css_.has_value()}, {"--url-prefix", url_prefix_.has_value()}},
        language);
    if (sdf_ && mono_)
        throw UsageError(tr(language, "--sdf and --mono cannot be used together: a distance field is 8-bit"));
    if (grid_ && atlas_keep_)
        throw UsageError(tr(language,
            "--atlas-keep cannot be used with --grid: a grid's cells follow the order of the set, not the earlier "
            "atlas"));
    if (grid_ && padding_)
        throw UsageError(tr(language, "--padding cannot be used with --grid: each glyph of a grid takes a whole cell"));
    if (size_ && !atlas_ && !preview_)
        throw UsageError(tr(language, "{option} can only be used with {one} or {other}",
            {{"option", "--size"}, {"one", "--atlas"}, {"other", "--preview"}}));
    if (!font_) return std::nullopt;
    FontPlan plan;
    plan.path = *font_;
    if (face_ && face_->empty()) throw UsageError(tr(language, "--face needs the number or the name of a font"));
    if (face_ && face_->find_first_not_of("0123456789") == std::string::npos)
        plan.face.index = static_cast<unsigned>(whole_number("--face", *face_, language, 0, 65535));
    else if (face_)
        plan.face.name = *face_;
    plan.require_all = require_all_;
    plan.missing_only = missing_only_;
    if (missing_only_ && (subset_ || atlas_ || preview_ || web_))
        throw UsageError(tr(language,
            "--missing-only keeps only the characters the font lacks, and cannot make --subset, --atlas, "
            "--preview or --web as well"));
    if (subset_) {
        plan.subset = *subset_;
        const std::string extension = ascii_lower(plan.subset->extension().string());
        if (extension != ".ttf" && extension != ".otf" && extension != ".woff2")
            throw UsageError(tr(language,
                "The file name of --subset must end in .ttf, .otf or .woff2 (WOFF 1 is not written): {value}",
                {{"value", *subset_}}));
    }
    if (layout_features_) {
        if (!subset_ && !web_)
            throw UsageError(tr(language, "{option} can only be used with {one} or {other}",
                {{"option", "--layout-features"}, {"one", "--subset"}, {"other", "--web"}}));
        if (const auto problem = parse_layout_features(*layout_features_, plan.layout_features))
            throw UsageError(tr(language, "--layout-features: {problem}", {{"problem", words(*problem, language)}}));
    }
    if (atlas_) {
        plan.atlas = *atlas_;
        if (plan.atlas->extension() == ".fnt") plan.atlas->replace_extension();
    }
    AtlasOptions& atlas = plan.atlas_options;
    if (size_) atlas.size = static_cast<unsigned>(whole_number("--size", *size_, language, 4, 256));
    if (padding_) atlas.padding = static_cast<unsigned>(whole_number("--padding", *padding_, language, 0, 255));
    if (page_ == "auto") {
        if (grid_)
            throw UsageError(tr(language,
                "--page auto cannot be used with --grid: a grid's page size must be given, such as --page 256x256"));
        atlas.page_auto = true;
    } else if (page_) {
        std::tie(atlas.page_width, atlas.page_height) = width_by_height("--page", *page_, 16, 16384, language);
    }
    atlas.mono = mono_;
    atlas.sdf = sdf_;
    if (spread_) atlas.spread = static_cast<unsigned>(whole_number("--spread", *spread_, language, 2, 32));
    atlas.kerning = !no_kerning_;
    plan.atlas_keep = atlas_keep_;
    if (atlas_format_)
        atlas.format = meaning<AtlasFormat>("--atlas-format", *atlas_format_, language,
            {{"text", AtlasFormat::Text}, {"xml", AtlasFormat::Xml}, {"json", AtlasFormat::Json},
                {"binary", AtlasFormat::Binary}});
    if (engine_) {
        plan.engine = engine_named(checked_value("--engine", *engine_, language));
        const std::vector<AtlasFormat>& reads = plan.engine->reads;
        if (atlas_format_ && std::find(reads.begin(), reads.end(), atlas.format) == reads.end()) {
            std::string known;
            for (AtlasFormat format : reads)
                known = known.empty() ? format_name(format)
                                      : tr(language, "{one} or {other}", {{"one", known}, {"other", format_name(format)}});
            throw UsageError(tr(language,
                "{engine} cannot read a descriptor in the {format} form; it reads {forms}: leave out --atlas-format",
                {{"engine", std::string(translate(language, plan.engine->shown))}, {"format", *atlas_format_}, {"forms", known}}));
        }
        if (!atlas_format_) atlas.format = plan.engine->format;
        // An engine that draws from one page gets one page, as small as holds the set.
        if (plan.engine->one_page && !page_ && !grid_) atlas.page_auto = true;
    }
    if (plan.atlas && atlas.format == AtlasFormat::Json && plan.atlas->extension() == ".json")
        plan.atlas->replace_extension();
    if (grid_) {
        GridOptions& grid = atlas.grid.emplace();
        std::tie(grid.cell_width, grid.cell_height) = width_by_height("--grid", *grid_, 4, 1024, language);
        if (grid_columns_)
            grid.columns = static_cast<unsigned>(whole_number("--grid-columns", *grid_columns_, language, 1, 256));
    }
    if (preview_) plan.preview = *preview_;
    if (web_) {
        plan.web = *web_;
        WebFontOptions& web = plan.web_options;
        if (chunk_size_)
            web.chunk_size =
                static_cast<std::size_t>(whole_number("--chunk-size", *chunk_size_, language, 4, 10240)) * 1024;
        web.all = web_all_;
        if (family_) {
            if (family_->empty() || family_->find_first_of("\"\\\n\r<>{};") != std::string::npos)
                throw UsageError(tr(language,
                    "--family cannot be empty, nor hold quotes, backslashes, angle brackets, braces, semicolons "
                    "or line breaks: {value}",
                    {{"value", *family_}}));
            web.family = *family_;
        }
        web.layout_features = plan.layout_features;
        web.features = layout_features_.value_or("");
        web.fresh = web_fresh_;
        if (css_) {
            if (!is_stylesheet_name(*css_))
                throw UsageError(tr(language,
                    "--css takes a file name in the --web folder ending in .css, such as title.css (not "
                    "index.css, whose check page would be font.css's): {value}",
                    {{"value", *css_}}));
            web.stylesheet = *css_;
        }
        if (url_prefix_) {
            std::string prefix = *url_prefix_;
            while (!prefix.empty() && prefix.back() == '/')
                prefix.pop_back();
            if (prefix.empty() || prefix.find_first_of(" \t\n\r") != std::string::npos)
                throw UsageError(tr(language,
                    "--url-prefix takes the start of a URL, such as https://cdn.example.com/fonts, with no "
                    "spaces: {value}",
                    {{"value", *url_prefix_}}));
            web.url_prefix = prefix;
        }
    }
    return plan;
}

void ProjectOptions::add_to(CLI::App& app)
{
    declare(app, "--save-job", save_job_);
    declare(app, "--job", job_);
}

std::optional<std::pair<std::filesystem::path, std::string>> ProjectOptions::plan(Language language) const
{
    if (job_ && !save_job_)
        throw UsageError(tr(language, "{option} can only be used with {needed}", {{"option", "--job"}, {"needed", "--save-job"}}));
    if (job_ && job_->empty()) throw UsageError(tr(language, "A job needs a name: --job cannot be empty"));
    if (!save_job_) return std::nullopt;
    if (save_job_->empty() || *save_job_ == "-")
        throw UsageError(tr(language, "--save-job needs a file to write the job to"));
    return std::pair<std::filesystem::path, std::string>(*save_job_, job_.value_or(""));
}

std::optional<std::string> OptionGroups::parse(std::vector<std::string> args, Language language)
{
    CLI::App app("charlib-cli");
    const auto names = [](std::string_view long_name) {
        const OptionInfo& option = option_info(long_name);
        return (option.short_name.empty() ? "" : std::string(option.short_name) + ",") + std::string(long_name);
    };
    app.set_help_flag(names("--help"));
    app.set_version_flag(names("--version"), "charlib-cli " CHARLIB_VERSION);
    app.allow_extras();
    sources.add_to(app);
    selection.add_to(app);
    choosing.add_to(app);
    output.add_to(app);
    font.add_to(app);
    project.add_to(app);
    std::reverse(args.begin(), args.end());  // as CLI11 takes them
    try {
        app.parse(std::move(args));
    } catch (const CLI::CallForHelp&) {
        return help_text(language);
    } catch (const CLI::CallForVersion& version) {
        return version.what() + std::string("\n");
    } catch (const CLI::ArgumentMismatch& error) {
        const std::string what = error.what();
        const std::string option = what.substr(0, what.find(':'));
        const CLI::Option* given = app.get_option_no_throw(option);
        if (given && given->count() > 1)
            throw UsageError(tr(language, "{option} can be given only once", {{"option", option}}));
        throw UsageError(tr(language, "{option} lacks its value, or has the wrong number of values", {{"option", option}}));
    } catch (const CLI::ParseError& error) {
        throw UsageError(tr(language, "The arguments are wrong: {reason}", {{"reason", error.what()}}));
    }
    for (const std::string& extra : app.remaining()) {
        if (extra == "--") break;
        if (extra.size() > 1 && extra[0] == '-')
            throw UsageError(tr(language, "Unknown option: {option}", {{"option", extra}}));
    }
    return std::nullopt;
}

}  // namespace charlib::cli
