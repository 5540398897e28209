#include "base/ascii.h"
#include "cli/run.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <variant>

#include "cli/font_words.h"
#include "cli/inspect.h"
#include "prepared.h"
#include "cli/muted_stderr.h"
#include "report.h"
#include "codec/encodings.h"
#include "codec/utf.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "font/font.h"
#include "font/web.h"
#include "messages/catalog.h"
#include "messages/language.h"
#include "messages/words.h"
#include "output/output.h"
#include "sources/listing.h"
#include "sources/read_source.h"

namespace charlib::cli {

namespace {

// The files a run writes, so that none of its inputs is among them.
class RunOutputs {
public:
    explicit RunOutputs(const Plan& plan) : language_(plan.language)
    {
        if (plan.output.path && *plan.output.path != "-") named_.push_back(*plan.output.path);
        if (plan.font && plan.font->subset) named_.push_back(*plan.font->subset);
        if (plan.font && plan.font->preview) named_.push_back(*plan.font->preview);
        if (plan.font && plan.font->web) {
            const std::filesystem::path& folder = *plan.font->web;
            const std::string& stylesheet = plan.font->web_options.stylesheet;
            named_.push_back(folder / stylesheet);
            named_.push_back(folder / check_page_name(stylesheet));
            named_.push_back(folder / web_manifest_name);
        }
        if (plan.font && plan.font->atlas) {
            named_.push_back(plan.font->descriptor());
            if (plan.font->atlas_options.grid) named_.push_back(plan.font->widths());
            atlas_folder_ = folder_of(*plan.font->atlas);
            atlas_name_ = plan.font->atlas->filename().string();
        }
        for (const std::filesystem::path& path : named_)
            ids_.push_back(file_id(path));
    }

    // The output that `input` is, if it is one: the same file by whatever
    // path, or one of the atlas's pages.
    std::optional<std::filesystem::path> which(const std::filesystem::path& input) const
    {
        const std::optional<FileId> id = file_id(input == "-" ? "/dev/stdin" : input);
        if (!id) return std::nullopt;
        for (std::size_t i = 0; i < named_.size(); ++i)
            if (ids_[i] == id) return named_[i];
        if (atlas_folder_ && is_page(input.filename().string()) &&
            file_id(folder_of(input)) == file_id(*atlas_folder_))
            return *atlas_folder_ / input.filename();
        return std::nullopt;
    }

    const std::vector<std::filesystem::path>& named() const { return named_; }

    // Two outputs that would write one file.
    void check_apart() const
    {
        for (std::size_t i = 0; i < named_.size(); ++i) {
            // A path that cannot be looked at (a loop of links) is taken as written: writing it fails later.
            const auto resolved = [](const std::filesystem::path& path) {
                std::error_code error;
                const std::filesystem::path absolute =
                    std::filesystem::absolute(path, error).lexically_normal();
                const std::filesystem::path whole = std::filesystem::weakly_canonical(absolute, error);
                return error ? absolute : whole;
            };
            for (std::size_t j = i + 1; j < named_.size(); ++j)
                if (resolved(named_[i]) == resolved(named_[j]) || (ids_[i] && ids_[i] == ids_[j]))
                    throw UsageError(tr(language_, "Two outputs are one file: “{a}” and “{b}”",
                        {{"a", named_[i].string()}, {"b", named_[j].string()}}));
            if (atlas_folder_ && is_page(named_[i].filename().string()) &&
                file_id(folder_of(named_[i])) == file_id(*atlas_folder_))
                throw UsageError(
                    tr(language_, "The output “{path}” would be overwritten by a page of the atlas",
                        {{"path", named_[i].string()}}));
        }
    }

private:
    static std::filesystem::path folder_of(const std::filesystem::path& path)
    {
        return path.has_parent_path() ? path.parent_path() : ".";
    }
    // NAME_0.png, NAME_1.png...
    bool is_page(const std::string& name) const
    {
        const std::string prefix = atlas_name_ + "_", suffix = ".png";
        if (!name.starts_with(prefix) || !name.ends_with(suffix)) return false;
        const std::string number = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        return !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
    }

    Language language_;
    std::vector<std::filesystem::path> named_;
    std::vector<std::optional<FileId>> ids_;
    std::optional<std::filesystem::path> atlas_folder_;
    std::string atlas_name_;
};

// Refuses, before anything is read, a run that would write over one of its inputs.
void check_inputs_apart(const Plan& plan, const RunOutputs& outputs)
{
    outputs.check_apart();
    std::vector<std::filesystem::path> inputs = plan.choosing.excludes;
    for (const Addition& addition : plan.choosing.additions)
        if (const auto* file = std::get_if<std::filesystem::path>(&addition)) inputs.push_back(*file);
    if (plan.font) inputs.push_back(plan.font->path);
    for (const std::filesystem::path& source : plan.sources.paths) {
        std::error_code error;
        if (!plan.sources.listing.recursive || !std::filesystem::is_directory(source, error))
            inputs.push_back(source);
    }
    for (const std::filesystem::path& input : inputs)
        if (const auto output = outputs.which(input))
            throw UsageError(tr(plan.language,
                "The output file “{output}” is the input file “{input}” and would overwrite it: choose "
                "another "
                "output name",
                {{"output", output->string()}, {"input", input.string()}}));
}

void warn(const Voice& voice, const std::string& text)
{
    voice.out << "charlib-cli: " << text << "\n";
}

// A warning: something the user should know, that stops nothing.
void note(const Voice& voice, const std::string& text, Language language)
{
    warn(voice, tr(language, "Note: {text}", {{"text", text}}));
}

// “a”, “b”: paths quoted and listed.
std::string quoted_list(const std::vector<std::filesystem::path>& paths, Language language)
{
    std::string text;
    for (const std::filesystem::path& path : paths)
        text += (text.empty()                           ? ""
                        : language == Language::Chinese ? "、"
                                                        : ", ") +
            std::string("“") + path.string() + "”";
    return text;
}

// "no source found" names where it looked.
std::string nothing_found(const SourcePlan& sources, Language language)
{
    std::string patterns;
    for (const NamePattern& pattern : sources.listing.patterns)
        patterns += (patterns.empty() ? "" : language == Language::Chinese ? "、" : ", ") + pattern.pattern;
    return tr(language, "No source file found: no file in {folders} has a name matching {patterns}",
               {{"folders", quoted_list(sources.paths, language)}, {"patterns", patterns}}) +
        (sources.listing.hidden
                ? ""
                : tr(language, " (files and folders whose names begin with . are read only with --hidden)")) +
        tr(language, "; nothing was written");
}

void warn_skipped(const std::vector<Skipped>& skipped, const Voice& voice, Language language)
{
    if (skipped.empty()) return;
    const bool chinese = language == Language::Chinese;
    std::string items;
    for (std::size_t i = 0; i < skipped.size() && i < most_skipped; ++i)
        items += (i ? (chinese ? "；" : "; ") : "") +
            tr(language, "“{path}” ({reason})",
                {{"path", skipped[i].path.string()}, {"reason", words(skipped[i].reason, language)}});
    note(voice, trn(language, "{count} item skipped: {items}", "{count} items skipped: {items}", skipped.size(),
             {{"count", std::to_string(skipped.size())}, {"items", items}}) +
            (skipped.size() > most_skipped ? (chinese ? "……" : "…") : ""),
        language);
}

// The files to read, the run's own outputs left out. Nothing when there are none.
std::optional<std::vector<std::filesystem::path>> find_sources(
    const SourcePlan& sources, const RunOutputs& outputs, const Voice& voice, Language language)
{
    ListingRules rules = sources.listing;
    rules.leave_out = [&](const std::filesystem::path& path) { return outputs.which(path).has_value(); };
    SourceListing listing = list_sources(sources.paths, rules);
    warn_skipped(listing.skipped, voice, language);
    if (!listing.files.empty()) return std::move(listing.files);
    warn(voice, nothing_found(sources, language));
    return std::nullopt;
}

// What the sources hold, and what json and the report say of them.
struct Gathered {
    Tally all;
    Places places;  // the first places of each character, in the order of the sources
    std::vector<SourceReport> reports;
    std::size_t used = 0;  // sources read
    bool failed = false;  // a source could not be used (with -k)
    std::vector<std::u32string> sample;  // the first lines or entries, for the web font's check page
};

// The lines a web font's check page shows.
constexpr std::size_t sample_lines = 30;

// The encoding told from a file's bytes that could be read another way, and why.
void say_guess(const SourceReport& report, const Voice& voice, Language language)
{
    note(voice, tr(language, "“{path}” is read as {encoding} (told from the bytes): {reason}",
             {{"path", report.path.string()}, {"encoding", encoding_name(report.encoding)},
                 {"reason", report.encoding_reason ? reason_said(*report.encoding_reason, language) : ""}}),
        language);
}

// What reading a source had to say.
void say_notes(const Notes& notes, const Voice& voice, Language language)
{
    for (const Outcome& outcome : notes)
        note(voice, said(outcome, language), language);
}

// The caller asked the run to stop: it stops here, before the next step.
void stop_if_cancelled(const Voice& voice)
{
    if (voice.cancelled && voice.cancelled->load()) throw Cancelled();
}

// The characters of every source. Returns nothing when a source stops the run.
std::optional<Gathered> gather(const Plan& plan, const std::vector<std::filesystem::path>& sources,
    const Kernel& kernel, const Voice& voice, Inspection* inspection)
{
    Progress progress(sources, plan.language, voice.progress);
    std::uint64_t total = 0;
    if (inspection && inspection->progress)
        for (const std::filesystem::path& source : sources) {
            std::error_code error;
            const std::uintmax_t size = std::filesystem::file_size(source, error);
            total += error ? 0 : size;
        }
    Gathered gathered;
    ReadingRules rules;
    rules.encoding = plan.sources.encoding;
    rules.newline = plan.sources.newline;
    rules.selection = plan.selection;
    rules.facts = plan.output.format == Format::Json || plan.output.report || inspection;
    rules.strict = plan.sources.strict;
    rules.tuning.kernel = &kernel;
    rules.entries = plan.sources.entries;
    rules.places = std::max(plan.places(), inspection ? inspection->places : 0);
    std::uint64_t before = 0;
    std::size_t guesses = 0;
    for (const std::filesystem::path& source : sources) {
        stop_if_cancelled(voice);
        rules.selection.progress = progress.source(before);
        if ((inspection && inspection->progress) || voice.cancelled)
            rules.selection.progress = [shown = rules.selection.progress, inspection, before, total, &voice](
                                           std::uint64_t bytes) {
                stop_if_cancelled(voice);
                if (shown) shown(bytes);
                if (inspection && inspection->progress) inspection->progress(Stage::Reading, before + bytes, total);
            };
        if (plan.font && plan.font->web) rules.sample = sample_lines - gathered.sample.size();
        SourceRead read = read_source(source, rules);
        SourceReport& report = read.report;
        if (plan.sources.note_guesses && read.encoding_guessed && guesses++ < most_guesses)
            say_guess(report, voice, plan.language);
        say_notes(read.warnings, voice, plan.language);
        if (report.error) {
            warn(voice, said(*report.error, plan.language));
            if (!plan.sources.keep_going) return std::nullopt;
            gathered.failed = true;
        } else {
            gathered.all.add(read.tally);
            for (std::u32string& line : read.sample)
                gathered.sample.push_back(std::move(line));
            for (auto& [c, places] : read.places) {
                std::vector<Place>& kept = gathered.places[c];
                for (std::size_t i = 0; i < places.size() && kept.size() < rules.places; ++i)
                    kept.push_back(std::move(places[i]));
            }
            ++gathered.used;
            std::error_code error;
            before += std::filesystem::file_size(source, error);
        }
        if (inspection && inspection->source_read) inspection->source_read(report);
        gathered.reports.push_back(std::move(report));
    }
    if (guesses > most_guesses)
        note(voice, trn(plan.language, "the encoding of {count} more source is a guess (--report lists the reasons)",
                 "the encodings of {count} more sources are guesses (--report lists the reasons)",
                 guesses - most_guesses, {{"count", std::to_string(guesses - most_guesses)}}),
            plan.language);
    return gathered;
}

// The choice with the characters of the --exclude files and the additions,
// in the order given. Nothing when a file cannot be read.
std::optional<Choice> with_files(
    const ChoicePlan& choosing, const Kernel& kernel, const Voice& voice, Language language)
{
    Choice choice = choosing.choice;
    ReadingRules any_encoding;  // told from the bytes
    any_encoding.newline = Newline::Any;
    any_encoding.tuning.kernel = &kernel;
    for (const std::filesystem::path& exclude : choosing.excludes) {
        const SourceRead read = read_source(exclude, any_encoding);
        if (read.report.error) {
            warn(voice, said(*read.report.error, language));
            return std::nullopt;
        }
        choice.exclude += read.tally.characters;
    }
    for (const Addition& addition : choosing.additions) {
        if (const auto* characters = std::get_if<std::u32string>(&addition)) {
            choice.add += *characters;
        } else if (const auto* set = std::get_if<NamedSet>(&addition)) {
            choice.add += characters_of(*set);
        } else {
            // Its characters go into the output: what is odd in it is said, as of a source.
            const std::filesystem::path& file = std::get<std::filesystem::path>(addition);
            const SourceRead read = read_source(file, any_encoding);
            if (read.report.error) {
                warn(voice, said(*read.report.error, language));
                return std::nullopt;
            }
            if (read.encoding_guessed) say_guess(read.report, voice, language);
            say_notes(read.warnings, voice, language);
            choice.add += read.tally.characters;
        }
    }
    return choice;
}

// Why the set came out empty, for the user who expected characters.
std::string empty_set_note(const Plan& plan, const Gathered& gathered, const Choice& choice)
{
    const Language language = plan.language;
    if (!gathered.all.characters.empty() || !choice.add.empty())
        return tr(language, "every character was taken away by --exclude, --only, --no-ascii or --min-count");
    std::uint64_t entries = 0, keyed = 0, unreadable_cues = 0;
    bool lines = false;
    for (const SourceReport& source : gathered.reports) {
        if (source.error) continue;
        lines = lines || source.text_format == "lines";
        if (source.text_format != "lines") entries += source.facts.lines;
        keyed += source.facts.keyed;
        unreadable_cues += source.facts.unreadable_cues;
    }
    const auto none = [language](const std::string& why) {
        return tr(language, "no character was chosen: {why}", {{"why", why}});
    };
    const std::vector<std::string>& keys = plan.sources.entries.keys;
    if (!keys.empty() && entries > 0 && keyed == 0) {
        std::string globs;
        for (const std::string& key : keys)
            globs += (globs.empty() ? "" : " ") + key;
        return none(trn(language, "no entry's key matches --key {globs} (of {count} entry)",
            "no entry's key matches --key {globs} (of {count} entries)", entries,
            {{"globs", globs}, {"count", std::to_string(entries)}}));
    }
    if (!plan.selection.marker.empty())
        return none(lines ? tr(language, "no line holds the marker given")
                          : tr(language, "no entry holds the marker given"));
    if (entries == 0 && unreadable_cues > 0)
        return none(trn(language, "{count} subtitle block has a timing line no player reads",
            "{count} subtitle blocks have a timing line no player reads", unreadable_cues,
            {{"count", std::to_string(unreadable_cues)}}));
    if (entries > 0)
        return none(tr(language, "the entries hold only markup and placeholders (--markup keep keeps them)"));
    return none(lines ? tr(language, "the sources have no line that is not empty")
                      : tr(language, "the sources have no entries"));
}

// A code table's codes end at FFFF, and so do a grid's.
bool codes_fit(const Plan& plan, const Tally& chosen, const Voice& voice)
{
    const OutputPlan& output = plan.output;
    const bool coded = output.format == Format::Tbl || (plan.font && plan.font->atlas_options.grid);
    if (!coded || output.tbl_start + chosen.characters.size() <= 0x10000) return true;
    char start[16];
    std::snprintf(start, sizeof start, "%X", output.tbl_start);
    warn(voice, trn(plan.language, "{count} character coded from {start} goes past FFFF: use a smaller --tbl-start",
        "{count} characters coded from {start} go past FFFF: use a smaller --tbl-start",
        chosen.characters.size(), {{"count", std::to_string(chosen.characters.size())}, {"start", start}}));
    return false;
}

// What the font makes of the set: computed whole before anything is written.
struct FontWork {
    FontFacts facts;
    FontData subset;
    std::string preview;
    Atlas atlas;
    WebFont web;
    std::size_t other_pieces = 0;  // .woff2 files in the web folder that the manifest does not know
    WebFolder web_folder;  // as it will be once the web font is written
    std::shared_ptr<const EarlierAtlas> earlier_atlas;  // --atlas-keep: the atlas as it was
};

// The web font's check page in the user's language.
CheckPageWords check_page_words(Language language)
{
    return {tr(language, "{loaded} of {total} pieces loaded"), tr(language, "{failed} failed"),
        tr(language, "This page fetched {pieces} pieces, {bytes} bytes"),
        tr(language, "This page fetched {pieces} pieces (another origin hides their sizes)"),
        tr(language, "The same in the browser's fallback font:"), tr(language, "(no lines)")};
}

// Where a page beside the current folder finds the web folder: its path, with forward slashes.
std::string folder_href(const std::filesystem::path& folder)
{
    std::string href = folder.lexically_normal().generic_string();
    while (!href.empty() && href.back() == '/')
        href.pop_back();
    return href == "." ? "" : href;
}

// The face used, and why; for a collection, the others. A single font is
// named only when --face was given.
void say_face(const FontPlan& plan, const Font& font, const Voice& voice, Language language)
{
    const std::vector<FaceName>& faces = font.face_names();
    const bool given = plan.face.index || !plan.face.name.empty();
    if (faces.size() < 2 && !given) return;
    const unsigned used = faces.size() == 1 ? 0 : font.face_index();
    const FaceName& face = faces[used];
    std::string why;  // none when --face chose it
    if (!given && face.says_simplified)
        why = tr(language, ", its name says simplified Chinese");
    else if (!given && !face.chinese_family.empty())
        why = tr(language, ", it has the simplified Chinese name “{name}”", {{"name", face.chinese_family}});
    else if (!given)
        why = tr(language, ", no face says simplified Chinese: the first");
    const std::string used_face = tr(language, "using {face} (--face {index}{why})",
        {{"face", face_name(face, language)}, {"index", std::to_string(font.face_index())}, {"why", why}});
    if (faces.size() == 1)
        warn(voice, tr(language, "The font “{path}”: {used}", {{"path", plan.path.string()}, {"used", used_face}}));
    else
        warn(voice, trn(language, "The font collection “{path}” has {count} face, {used}; the others:{faces}",
            "The font collection “{path}” has {count} faces, {used}; the others:{faces}", faces.size(),
            {{"path", plan.path.string()}, {"count", std::to_string(faces.size())}, {"used", used_face},
                {"faces", faces_listed(faces, language, used)}}));
}

// The web folder as it will be once `web` is written into it: for a job built after this one, before the commit.
WebFolder folder_after(const WebFolder& before, const WebFont& web)
{
    WebFolder after{web.manifest, before.intact, before.other_pieces};
    for (const WebFontPiece& piece : web.pieces) {
        after.intact.insert(piece.file);
        after.other_pieces.erase(piece.file);
    }
    for (const WebPieceRecord& piece : web.dropped)
        after.other_pieces.emplace(piece.file, piece.digest);
    return after;
}

// --atlas-keep: the atlas already written, if there is one, read before anything replaces it.
std::shared_ptr<const EarlierAtlas> earlier_atlas(const FontPlan& plan)
{
    std::optional<EarlierAtlas> earlier = read_earlier_atlas(plan.descriptor());
    return earlier ? std::make_shared<const EarlierAtlas>(std::move(*earlier)) : nullptr;
}

// The callback that shows a count on a terminal, and tells the window too when one looks on.
// It also stops the work when the caller cancels.
std::function<void(std::size_t, std::size_t)> counted(
    CountProgress& progress, const Inspection* inspection, Stage stage, const Voice& voice)
{
    if ((!inspection || !inspection->progress) && !voice.cancelled) return progress.callback();
    return [shown = progress.callback(), inspection, stage, &voice](std::size_t done, std::size_t total) {
        stop_if_cancelled(voice);
        if (shown) shown(done, total);
        if (inspection && inspection->progress) inspection->progress(stage, done, total);
    };
}

std::optional<FontWork> make_fonts(const FontPlan& plan, const Tally& chosen,
    const std::vector<std::u32string>& sample, const WebFolder* web_before, const Voice& voice, Language language,
    Inspection* inspection)
{
    const Font font(plan.path, plan.face);
    say_face(plan, font, voice, language);
    FontWork work{{plan.path.string(), font.face_index(), font.family(), font.missing(chosen.characters),
                      font.blank(chosen.characters), std::nullopt},
        {}, {}, {}, {}, 0, {}, {}};
    const FontFacts& facts = work.facts;
    if (inspection) inspection->font = facts;
    if (!facts.missing.empty())
        warn(voice, trn(language, "The font “{path}” lacks {count} character: {characters}",
            "The font “{path}” lacks {count} characters: {characters}", facts.missing.size(),
            {{"path", plan.path.string()}, {"count", std::to_string(facts.missing.size())},
                {"characters", listed(facts.missing, most_missing, language)}}));
    // A glyph that draws nothing is as good as missing: the text would show a gap.
    if (!facts.blank.empty())
        warn(voice, trn(language,
            "The font “{path}” has {count} character whose glyph is empty (draws nothing): {characters}",
            "The font “{path}” has {count} characters whose glyphs are empty (draw nothing): {characters}",
            facts.blank.size(),
            {{"path", plan.path.string()}, {"count", std::to_string(facts.blank.size())},
                {"characters", listed(facts.blank, most_listed, language)}}));
    if (plan.require_all && (!facts.missing.empty() || !facts.blank.empty())) {
        warn(voice, tr(language, "--require-all is given: nothing was written"));
        return std::nullopt;
    }
    if (plan.subset) {
        const std::string extension = ascii_lower(plan.subset->extension().string());
        if (extension == ".ttf" && font.has_cff_outlines())
            warn(voice, tr(language,
                "Note: the glyphs of the font “{path}” are CFF outlines, whose subsets are usually named "
                ".otf, not “{subset}”",
                {{"path", plan.path.string()}, {"subset", plan.subset->string()}}));
        const bool woff2 = extension == ".woff2";
        std::optional<MutedStandardError> quiet;  // libwoff2's noise
        if (woff2) quiet.emplace();
        work.subset = subset_font(font, chosen.characters, woff2, plan.layout_features);
    }
    if (plan.atlas) {
        CountProgress progress(
            std::string(translate(language, N_("Drew {done} / {total} glyphs"))), 2, voice.progress);
        AtlasOptions options = plan.atlas_options;
        options.progress = counted(progress, inspection, Stage::Drawing, voice);
        if (plan.atlas_keep) options.earlier = work.earlier_atlas = earlier_atlas(plan);
        work.atlas = render_atlas(font, chosen.characters, options, plan.atlas->filename().string());
        for (const Outcome& outcome : work.atlas.notes)
            note(voice, said(outcome, language), language);
        for (const std::string& note : atlas_notes(plan.engine, options, work.atlas, language))
            warn(voice, note);
    }
    // With an atlas the preview shows what an engine will draw from it.
    if (plan.preview)
        work.preview = plan.atlas ? render_preview(work.atlas, chosen.characters)
                                  : render_preview(font, chosen.characters, plan.atlas_options.size);
    if (plan.web) {
        WebFontOptions options = plan.web_options;
        options.sample = sample;
        options.words = check_page_words(language);
        const WebFolder earlier = web_before ? *web_before : read_web_folder(*plan.web);
        {
            const MutedStandardError quiet;  // libwoff2's noise; the progress goes where standard error was
            CountProgress progress(
                std::string(translate(language, N_("Compressed {done} / {total} pieces of the web font"))),
                quiet.real(), voice.progress);
            options.progress = counted(progress, inspection, Stage::Compressing, voice);
            work.web = make_web_font(font, chosen, options, earlier);
        }
        for (const auto& [file, digest] : earlier.other_pieces)
            work.other_pieces += !earlier.manifest.retired.contains(file);
        work.web_folder = folder_after(earlier, work.web);
        for (const Outcome& outcome : work.web.notes)
            note(voice, said(outcome, language), language);
        WebFacts& facts = work.facts.web.emplace();
        facts.stylesheet = (*plan.web / work.web.stylesheet).string();
        facts.paste = paste_lines(work.web, folder_href(*plan.web), options.url_prefix);
        facts.pieces = work.web.pieces.size();
        for (const WebFontPiece& piece : work.web.pieces)
            if (!piece.kept) facts.written.push_back(piece.file);
        for (const WebPieceRecord& piece : work.web.dropped)
            facts.dropped.push_back(piece.file);
    }
    return work;
}

void add_fonts(Prepared& files, const FontPlan& plan, const FontWork& work, const Voice& voice, Language language)
{
    if (plan.web) {
        const std::filesystem::path& folder = *plan.web;  // added to `files` before every output
        // A kept piece is not written again: a server would give it a new date, and caches its tag.
        for (const WebFontPiece& piece : work.web.pieces)
            if (!piece.kept)
                files.files.emplace_back(folder / piece.file, piece.bytes);
            else
                files.kept.push_back(folder / piece.file);
        // Pages cached before may still ask for pieces no longer listed: they are named, not deleted.
        const std::vector<WebPieceRecord>& dropped = work.web.dropped;
        if (!dropped.empty()) {
            std::string names;
            for (std::size_t i = 0; i < dropped.size() && i < most_listed_pieces; ++i)
                names += (i ? " " : "") + dropped[i].file;
            warn(voice, trn(language,
                "Note: “{stylesheet}” no longer lists {count} piece of an earlier cut (it holds none of the "
                "set's characters, or the face was cut anew); it was left in “{folder}” for pages cached "
                "before: {pieces}",
                "Note: “{stylesheet}” no longer lists {count} pieces of an earlier cut (they hold none of the "
                "set's characters, or the face was cut anew); they were left in “{folder}” for pages cached "
                "before: {pieces}",
                dropped.size(),
                {{"count", std::to_string(dropped.size())}, {"stylesheet", work.web.stylesheet},
                    {"folder", folder.string()},
                    {"pieces", names + (dropped.size() > most_listed_pieces ? " …" : "")}}));
        }
        if (work.other_pieces > 0)
            warn(voice, trn(language,
                "Note: “{folder}” has {count} more .woff2 file that no stylesheet there lists (made before?): it "
                "was not deleted",
                "Note: “{folder}” has {count} more .woff2 files that no stylesheet there lists (made before?): "
                "they were not deleted",
                work.other_pieces, {{"folder", folder.string()}, {"count", std::to_string(work.other_pieces)}}));
        files.files.emplace_back(folder / work.web.stylesheet, work.web.css);
        files.files.emplace_back(folder / work.web.check_page, work.web.html);
        files.files.emplace_back(folder / web_manifest_name, write_web_manifest(work.web.manifest));
    }
    if (plan.subset) files.files.emplace_back(*plan.subset, work.subset.bytes());
    if (plan.preview) files.files.emplace_back(*plan.preview, work.preview);
    if (!plan.atlas) return;
    const std::string base = plan.atlas->string();
    // A page kept whole is not written again: its date stays, and so does a patch that leaves it out.
    const EarlierAtlas* earlier = work.earlier_atlas.get();
    for (std::size_t i = 0; i < work.atlas.pages.size(); ++i) {
        const std::filesystem::path page = base + "_" + std::to_string(i) + ".png";
        if (earlier && !earlier->unusable && i < earlier->pages.size() && i < earlier->font.page_files.size() &&
            earlier->font.page_files[i] == page.filename().string() && earlier->pages[i] == work.atlas.pages[i])
            files.kept.push_back(page);
        else
            files.files.emplace_back(page, work.atlas.pages[i]);
    }
    files.files.emplace_back(plan.descriptor(), work.atlas.descriptor);
    if (plan.atlas_options.grid) files.files.emplace_back(plan.widths(), work.atlas.widths);
}

// The folders of the outputs, made with them at commit when missing: added first, as
// the outputs may be named inside them (-o web/END.txt beside --web web).
void add_output_folders(Prepared& files, const Plan& plan)
{
    std::vector<std::filesystem::path> folders;
    const auto folder_of = [&](const std::optional<std::filesystem::path>& file) {
        if (file && *file != "-" && file->has_parent_path()) folders.push_back(file->parent_path());
    };
    if (plan.font && plan.font->web) folders.push_back(*plan.font->web);
    folder_of(plan.output.path);
    if (plan.font) {
        folder_of(plan.font->subset);
        folder_of(plan.font->preview);
        folder_of(plan.font->atlas);
    }
    for (const std::filesystem::path& folder : folders)
        files.folders.push_back(folder);
}

// The encoding of the -o file, and why: as asked, else the sources' own when they are all
// GBK (the window's END.txt), else UTF-8.
OutputChoice output_encoding(const OutputPlan& output, const std::vector<SourceReport>& sources)
{
    if (output.encoding) {
        const bool utf8_format = output.format == Format::Json || output.format == Format::Where;
        return {*output.encoding, utf8_format ? OutputChoice::Why::Format : OutputChoice::Why::Asked};
    }
    for (const SourceReport& source : sources)
        if (!source.error && source.encoding.known != Encoding::Gbk)
            return {OutputEncoding::Utf8, OutputChoice::Why::SourcesNotGbk};
    return {OutputEncoding::Gbk, OutputChoice::Why::SourcesGbk};
}

// The -o file, unless a character would be lost without --replace-unmappable.
bool add_output(Prepared& files, const OutputPlan& output, const Encoded& encoded, const Voice& voice, Language language)
{
    if (!encoded.unmappable.empty()) {
        warn(voice, trn(language, "{count} character cannot be written in gbk: {list}",
            "{count} characters cannot be written in gbk: {list}", encoded.unmappable.size(),
            {{"count", std::to_string(encoded.unmappable.size())},
                {"list", listed(encoded.unmappable, most_listed, language)}}));
        if (!output.replace_unmappable) {
            warn(voice, tr(language,
                "“{path}” was not written; take those characters away, use --output-encoding gb18030 or "
                "utf-8, "
                "or add --replace-unmappable to write them as ?",
                {{"path", output.path->string()}}));
            return false;
        }
    }
    if (encoded.replaced_invalid)
        warn(voice, tr(language,
            "the sources have bytes that could not be decoded (taken as U+FFFD); they are written as ? in "
            "“{path}”",
            {{"path", output.path->string()}}));
    if (*output.path == "-")
        files.standard_output = encoded.bytes;
    else
        files.files.emplace_back(*output.path, encoded.bytes);
    return true;
}

// What a run killed while it wrote these files had left, and what became of it.
}  // namespace

void say_recovered(const Recovery& recovery, const Voice& voice, Language language)
{
    constexpr std::size_t most_named = 5;
    const auto named = [&](const std::vector<std::filesystem::path>& paths) {
        const std::vector<std::filesystem::path> first(
            paths.begin(), paths.begin() + static_cast<std::ptrdiff_t>(std::min(paths.size(), most_named)));
        const std::string text = quoted_list(first, language);
        return paths.size() > most_named ? tr(language, "{files} and others, {count} files in all",
                                               {{"files", text}, {"count", std::to_string(paths.size())}})
                                         : text;
    };
    if (!recovery.restored.empty())
        note(voice, tr(language, "the last run was cut short while it wrote; the old contents of {files} are back",
                 {{"files", named(recovery.restored)}}) +
                (recovery.removed.empty()
                        ? ""
                        : trn(language, ", and the {count} temporary file it left is removed",
                              ", and the {count} temporary files it left are removed",
                              recovery.removed.size(), {{"count", std::to_string(recovery.removed.size())}})),
            language);
    else if (!recovery.removed.empty())
        note(voice, 
            tr(language,
                "the last run was cut short while it wrote; the temporary files it left are removed: {files}",
                {{"files", named(recovery.removed)}}),
            language);
}

bool print(const std::string& text, const Voice& voice, Language language)
{
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
        return true;
    warn(voice, tr(language, "Cannot write standard output: {error}", {{"error", system_reason(errno, language)}}));
    return false;
}

std::optional<Prepared> prepare_run(const Plan& plan, const Kernel& kernel, const Voice& voice,
    const WebFolder* web_before, Inspection* inspection)
{
    const RunOutputs outputs(plan);
    check_inputs_apart(plan, outputs);
    const std::optional<std::vector<std::filesystem::path>> sources =
        find_sources(plan.sources, outputs, voice, plan.language);
    if (!sources) return std::nullopt;
    const std::optional<Gathered> gathered = gather(plan, *sources, kernel, voice, inspection);
    if (!gathered) return std::nullopt;
    if (gathered->used == 0) {
        warn(voice, tr(plan.language, "No source could be used; nothing was written"));
        return std::nullopt;
    }
    const std::optional<Choice> choice = with_files(plan.choosing, kernel, voice, plan.language);
    if (!choice) return std::nullopt;
    Tally chosen = choose(gathered->all, *choice);
    if (inspection) {
        inspection->sources = gathered->reports;
        inspection->chosen = chosen;
        inspection->found = gathered->places;
    }
    if (chosen.characters.empty()) note(voice, empty_set_note(plan, *gathered, *choice), plan.language);
    if (!codes_fit(plan, chosen, voice)) return std::nullopt;
    const std::optional<FontWork> fonts =
        plan.font ? make_fonts(*plan.font, chosen, gathered->sample, web_before, voice, plan.language, inspection)
                  : FontWork{};
    if (!fonts) return std::nullopt;
    Prepared prepared;
    prepared.characters = chosen.characters.size();
    prepared.failed = gathered->failed;
    prepared.inputs = *sources;
    prepared.inputs.insert(prepared.inputs.end(), plan.choosing.excludes.begin(), plan.choosing.excludes.end());
    for (const Addition& addition : plan.choosing.additions)
        if (const auto* file = std::get_if<std::filesystem::path>(&addition)) prepared.inputs.push_back(*file);
    if (plan.font) {
        prepared.inputs.push_back(plan.font->path);
        prepared.missing = fonts->facts.missing.size();
        if (plan.font->web) prepared.web_folder = fonts->web_folder;
    }
    const FontFacts* font_facts = plan.font ? &fonts->facts : nullptr;
    if (plan.font && plan.font->missing_only) {
        Choice missing;
        missing.only = fonts->facts.missing;
        chosen = choose(chosen, missing);
        if (chosen.characters.empty())
            warn(voice, tr(plan.language, "Note: the font lacks no characters: none are left"));
    }
    // json and where are UTF-8 whatever the output; the other formats are characters, encoded as asked.
    const auto encoded_as = [&](OutputEncoding encoding) {
        // GBK and GB 18030 files end their lines as the window's END.txt does; UTF-8 ones as Unix does.
        const std::u32string_view line_end = encoding == OutputEncoding::Utf8 ? U"\n" : U"\r\n";
        if (plan.output.format == Format::Json)
            return Encoded{
                format_json(chosen, gathered->reports, font_facts, &gathered->places) + to_utf8(line_end), {},
                false};
        if (plan.output.format == Format::Where)
            return Encoded{
                to_utf8(format_where(chosen, gathered->places, plan.output.locations, line_end)), {}, false};
        return encode_output(
            format_characters(chosen, plan.output.format, line_end, plan.output.tbl_start), encoding);
    };
    add_output_folders(prepared, plan);
    std::optional<OutputChoice> written;
    if (plan.output.path) {
        written = output_encoding(plan.output, gathered->reports);
        Encoded encoded = encoded_as(written->encoding);
        if (!plan.output.encoding && written->encoding == OutputEncoding::Gbk && !encoded.unmappable.empty()) {
            written = OutputChoice{OutputEncoding::Utf8, OutputChoice::Why::Unmappable};
            encoded = encoded_as(written->encoding);
        }
        if (!add_output(prepared, plan.output, encoded, voice, plan.language)) return std::nullopt;
    }
    if (plan.font) add_fonts(prepared, *plan.font, *fonts, voice, plan.language);
    // Made now, so that nothing after the commit can run out of memory; printed once every
    // file is in place, so that a run that fails prints nothing.
    if (plan.prints_set()) prepared.printed = encoded_as(OutputEncoding::Utf8).bytes;
    // What to paste into a page, once the files are in place; json carries it instead.
    std::ostringstream after;
    if (fonts->facts.web && plan.output.format != Format::Json) {
        after << "charlib-cli: "
              << tr(plan.language, "Paste into the <head> of a page (the paths as seen from this folder):") << "\n";
        for (const std::string& line : fonts->facts.web->paste)
            after << "  " << line << "\n";
    }
    if (plan.output.report) {
        print_report(after, gathered->reports, chosen, font_facts, gathered->places, plan.language);
        if (written) print_output_encoding(after, *plan.output.path, *written, plan.language);
    }
    prepared.said_after = std::move(after).str();
    if (inspection) {
        inspection->chosen = chosen;
        // The pages by the names the descriptor gives them.
        for (std::size_t i = 0; i < fonts->atlas.pages.size() && i < fonts->atlas.font.page_files.size(); ++i)
            inspection->atlas_pages.emplace_back(fonts->atlas.font.page_files[i], fonts->atlas.pages[i]);
        // The manifest records each piece of the face, kept or new: its size, and which holds the punctuation.
        std::map<std::string, const WebPieceRecord*> records;
        for (const WebFaceRecord& face : fonts->web.manifest.faces)
            for (const WebPieceRecord& record : face.pieces)
                records[record.file] = &record;
        for (const WebFontPiece& piece : fonts->web.pieces) {
            const auto record = records.find(piece.file);
            const bool recorded = record != records.end();
            inspection->web_pieces.push_back({piece.file, piece.characters,
                recorded ? record->second->bytes : piece.bytes.size(), piece.kept,
                recorded && record->second->punctuation});
        }
        inspection->complete = true;
    }
    return prepared;
}

Inspection inspect(const Plan& plan, const Kernel& kernel, std::ostream& said, Inspection asked)
{
    Plan counted = plan;
    counted.selection.count = true;  // how often each character is used, shown on hover
    const Voice voice{said, false, asked.cancelled};
    try {
        prepare_run(counted, kernel, voice, nullptr, &asked);
    } catch (const Cancelled&) {
        // The caller knows.
    } catch (const Failure& failure) {
        warn(voice, failure_words(failure, plan.language));
    } catch (const UsageError& error) {
        warn(voice, error.what());
    } catch (const std::bad_alloc&) {
        warn(voice, tr(plan.language, "Out of memory: the run stopped and nothing was written"));
    }
    return asked;
}

void add_prepared(FileBatch& files, const Prepared& prepared)
{
    for (const std::filesystem::path& folder : prepared.folders)
        files.add_folder(folder);
    for (const auto& [path, bytes] : prepared.files)
        files.add(path, bytes);
    if (prepared.standard_output) files.add_standard_output(*prepared.standard_output);
}

std::vector<std::filesystem::path> named_outputs(const Plan& plan)
{
    return RunOutputs(plan).named();
}

int run(const Plan& plan, const Kernel& kernel)
{
    const Voice voice{std::cerr};
    try {
        const std::optional<Prepared> prepared = prepare_run(plan, kernel, voice);
        if (!prepared) return exit_failure;
        // Every file is written before any replaces its target: a failure leaves them all as they were.
        FileBatch files;
        add_prepared(files, *prepared);
        say_recovered(files.recover(), voice, plan.language);
        files.commit();
        if (plan.prints_set() && !print(prepared->printed, voice, plan.language)) return exit_failure;
        std::cerr << prepared->said_after;
        return prepared->failed ? exit_failure : 0;
    } catch (const Failure& failure) {
        warn(voice, failure_words(failure, plan.language));
        return exit_failure;
    } catch (const std::bad_alloc&) {
        // Every output is put in place at the end, all or none.
        warn(voice, tr(plan.language, "Out of memory: the run stopped and nothing was written"));
        return exit_failure;
    }
}

}  // namespace charlib::cli
