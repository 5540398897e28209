#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/outcome.h"
#include "base/types.h"
#include "font/font.h"

// Web fonts: a font cut into WOFF2 pieces with a stylesheet of @font-face
// rules, so that a page downloads only the pieces its text uses. A folder of
// pieces remembers its cuts in a manifest, so that a later cut keeps the
// pieces browsers have cached.
namespace charlib {

// The manifest's name in the folder, beside the pieces and the stylesheets.
inline constexpr std::string_view web_manifest_name = "charlib-web.json";

struct WebPieceRecord {
    std::string file;  // "3fa2c1.woff2": a short hash of its bytes
    std::u32string characters;  // in the order they were cut
    std::uint64_t bytes = 0;
    std::uint64_t digest = 0;  // 64-bit FNV-1a of the bytes
    bool punctuation = false;  // the face's first piece: the punctuation and spaces the font has
};

// One face of a family in one stylesheet.
struct WebFaceRecord {
    std::string stylesheet = "font.css";
    std::string family;
    unsigned weight = 400;
    std::string style = "normal";  // or "italic"
    std::string font;  // what the pieces were cut from: the file's digest and the face's number
    std::string features;  // the layout features kept, as changed: another list cuts anew
    std::vector<std::u32string> sample;  // the first lines of its sources, for the check page
    std::vector<WebPieceRecord> pieces;  // in the stylesheet's order
};

struct WebManifest {
    std::vector<WebFaceRecord> faces;  // in the order they were first cut
    // Pieces no stylesheet lists any more, left in the folder for pages cached
    // before: named once, when they were dropped, and not again.
    std::set<std::string> retired;
};

// What a folder holds of earlier cuts: its manifest, and which of the files
// it lists are still there with the bytes it recorded.
struct WebFolder {
    WebManifest manifest;
    std::set<std::string> intact;  // file names
    std::map<std::string, std::uint64_t> other_pieces;  // .woff2 files no face lists, and their digests
};

// Reads the folder's manifest, if it has one. Throws Failure
// (WebManifestUnreadable, WebManifestTooNew) when it cannot be read.
WebFolder read_web_folder(const std::filesystem::path& folder);

// The manifest as written: JSON, the same bytes for the same faces.
std::string write_web_manifest(const WebManifest& manifest);
// Throws Failure (WebManifestUnreadable) naming `path`.
WebManifest read_web_manifest(std::string_view json, const std::filesystem::path& path);

// The words of the check page, which the front end gives in the user's
// language; {loaded}, {total}, {failed}, {pieces} and {bytes} are filled in by
// the page.
struct CheckPageWords {
    std::string loaded;  // "{loaded} of {total} pieces loaded"
    std::string failed;  // "{failed} failed"
    std::string fetched;  // "This page fetched {pieces} pieces, {bytes} bytes"
    std::string hidden;  // the same when another origin hides the sizes
    std::string fallback;  // above the lines in the browser's fallback font
    std::string no_sample;  // for a face whose sources gave no lines
};

struct WebFontOptions {
    std::size_t chunk_size = 70 * 1024;  // bytes of WOFF2 a piece aims at
    bool all = false;  // every other character the font has too, in pieces by Unicode block
    bool fresh = false;  // cut anew, keeping none of the earlier pieces of the face
    std::string family;  // empty: the font's own
    std::string stylesheet = "font.css";  // in the folder; its check page is index.html, or NAME.html
    std::string url_prefix;  // the pieces' URLs begin with it and "/"; empty: beside the stylesheet
    std::string features;  // the layout feature changes as given, to tell a later cut they changed
    std::vector<LayoutFeatureChange> layout_features;
    std::vector<std::u32string> sample;  // the first lines of the sources, for the check page
    CheckPageWords words;
    unsigned threads = 0;  // 0: one a core
    std::function<void(std::size_t done, std::size_t total)> progress = {};  // pieces compressed
};

struct WebFontPiece {
    std::string file;
    std::u32string characters;
    std::string bytes;  // empty for a piece kept from an earlier cut: it is in the folder as it was
    bool kept = false;
    std::uint64_t used = 0;  // occurrences of its characters in the text
};

struct WebFont {
    std::vector<WebFontPiece> pieces;  // this face's, in the stylesheet's order
    std::vector<WebPieceRecord> dropped;  // earlier pieces of the face no longer listed: retired now
    std::size_t preload = 0;  // the piece the text uses most, for <link rel="preload">
    WebManifest manifest;  // the folder's, with this face added or put in its place
    std::string stylesheet;  // the file's name
    std::string css;  // every face of the stylesheet: one @font-face a piece
    std::string check_page;  // its name: index.html for font.css, else the stylesheet's name with .html
    std::string html;  // the check page: the sample in each face, whether it loaded, what was fetched
    Notes notes;  // WebFontChanged, WebPieceRestored: what the user must know
};

// The font cut into WOFF2 pieces for the set's characters: first one piece
// with every full-width punctuation mark, space and invisible formatting
// character the font has, then the set's other characters, most frequent
// first, in pieces of about `chunk_size`. Pieces of `earlier` cut from the
// same font that still hold a character of the set are kept as they are;
// only characters none of them holds go into new pieces. Throws Failure.
WebFont make_web_font(const Font& font, const Tally& set, const WebFontOptions& options,
    const WebFolder& earlier = {});

// The lines a page's <head> needs: the stylesheet, and a preload of the
// piece the text uses most. `folder` is where the page finds the folder (a
// path or URL; empty: beside it); the pieces are at the URL prefix if there is one.
std::vector<std::string> paste_lines(const WebFont& web, std::string_view folder, std::string_view url_prefix);

// The characters the first piece holds when the font has them: full-width
// punctuation (U+3000–303F, FF01–FF60, FE10–FE1F, FE30–FE4F, and ·, —, …,
// the curly quotes), the spaces and the invisible formatting characters.
bool belongs_in_first_piece(char32_t c);

// A stylesheet's name in the folder: a plain file name ending in ".css", not
// hidden, and not "index.css", whose check page would be font.css's.
bool is_stylesheet_name(std::string_view name);

// The check page of a stylesheet: index.html for font.css, NAME.html for NAME.css.
std::string check_page_name(std::string_view stylesheet);

// A CSS string in double quotes, safe inside a <style> element.
std::string css_string(std::string_view text);

}  // namespace charlib
