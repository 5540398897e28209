#include "wordings/wording.h"

namespace charlib {

namespace {

// A font file is named by its path; an atlas, which knows no file, by its face.
constexpr Wording wordings[] = {
    {Code::FontTooLarge, N_("The font “{path}” is over the limit of {limit}: it is not a font file")},
    {Code::NotAFont,
        N_("The font “{path}” is not a font file that can be read (TrueType, OpenType or a collection)")},
    {Code::DamagedFont,
        N_("The font “{path}” is damaged and cannot be read (a table is incomplete or has wrong values)")},
    {Code::DamagedFace,
        N_("Face {face} of the font “{path}” is damaged and cannot be read (a table is incomplete or has "
           "wrong values)")},
    {Code::NoUnicodeCmap, N_("The font “{path}” has no Unicode character map")},
    {Code::NoSuchFace,
        NP_("The font “{path}” has only {count} face, numbered 0: there is no face {face}",
            "The font “{path}” has only {count} faces, numbered from 0: there is no face {face}"),
        "count"},
    {Code::NoFaceNamed, N_("The font “{path}” has no face named “{name}”")},
    {Code::FaceNameAmbiguous,
        N_("The font “{path}” has {matches} faces named “{name}”: choose one by its number or its full "
           "name")},
    {Code::BadFeatureTag,
        N_("“{tag}” is not a feature tag: a tag is 1 to 4 printable ASCII characters, + or - may come before "
           "it, and * stands for every feature")},
    {Code::NoFeatureTags, N_("No feature tags were given")},
    {Code::SubsetFailed,
        N_("Cannot subset the font “{path}”: HarfBuzz cannot read it (a table is damaged, or it is a format "
           "HarfBuzz does not handle, such as a font of bitmap glyphs alone)")},
    {Code::SubsetLostTable,
        N_("Cannot subset the font “{path}”: HarfBuzz cannot read its {table} table (damaged?), and the "
           "subset would have no glyphs")},
    {Code::SubsetEmpty, N_("The subset of the font “{path}” came out empty")},
    {Code::Woff2Failed,
        N_("Cannot convert the font “{path}” to WOFF2: libwoff2 cannot read the subset (its glyph data may "
           "be damaged)")},
    {Code::SizeOutOfRange, N_("The size {size} for the font “{path}” is not between {low} and {high}")},
    {Code::SizeNotInFont,
        N_("The font “{path}” has no glyphs of {size} pixels (a bitmap font has fixed sizes alone)")},
    {Code::LinesTooTall,
        N_("At {size} pixels the lines of the font “{path}” are {height} pixels high, more than {times} "
           "times the size: the font's units per em (head table) or its line metrics (hhea and OS/2 tables) "
           "are wrong")},
    {Code::GlyphTooTall,
        N_("At {size} pixels {character} ({character:glyph}) of the font “{path}” is {width}×{height} "
           "pixels, more than {times} times the size: the font's units per em (head table) or the glyph's "
           "coordinates are wrong")},
    {Code::DamagedGlyph,
        N_("The glyph data of {character} ({character:glyph}) in the font “{path}” is wrong: it cannot be "
           "drawn")},
    {Code::CannotDrawGlyph, N_("Cannot draw {character} of the font “{path}”")},
    {Code::ColourGlyph,
        N_("{character} of the font “{path}” is a colour or layered glyph: it cannot go into a bitmap font")},
    {Code::SpreadOutOfRange,
        N_("Cannot draw the font “{path}” as a distance field: a spread of {spread} pixels is not between "
           "{low} and {high}")},
    {Code::NoOutlineForField,
        N_("{character} of the font “{path}” is not an outline glyph: it cannot be drawn as a distance "
           "field")},
    {Code::CannotDrawField, N_("Cannot draw {character} of the font “{path}” as a distance field")},
    {Code::GlyphTooLargeForPage,
        N_("The glyph {character} of the font “{path}” ({width}×{height} pixels with its padding) does not "
           "fit a page of {page_width}×{page_height}")},
    {Code::PackingFailed, N_("The glyphs of the font “{path}” cannot be packed into pages")},
    {Code::EmptyGridCell, N_("The grid's cells and columns for the font “{path}” must be larger than 0")},
    {Code::GlyphTooLargeForCell,
        N_("At {size} pixels {character} ({character:glyph}) of the font “{path}” is {width}×{height} "
           "pixels: it does not fit a cell of {cell_width}×{cell_height}")},
    {Code::PageNameControl,
        N_("The page file name “{file}” of the font “{face}” has a control character: the descriptor cannot "
           "hold it")},
    {Code::PageNameQuote,
        N_("The page file name “{file}” of the font “{face}” has a double quote: the descriptor cannot hold "
           "it")},
    {Code::PageNamesDiffer,
        N_("The page file names of the font “{face}” differ in length (“{first}” and “{file}”), and the "
           "binary descriptor needs them all as long: use the text, XML or JSON form, or larger pages for "
           "fewer of them")},
    {Code::DescriptorFieldOutOfRange,
        N_("The field {field} of the font “{face}” is {value}, beyond the {low} to {high} the binary "
           "descriptor can hold: use the text, XML or JSON form")},
    {Code::GlyphOffPage,
        N_("The place of {character} in the atlas of the font “{face}” is outside its page")},
    {Code::ZeroChunkSize, N_("The font “{path}”: the pieces of a web font cannot be of size 0")},
    {Code::NoGlyphCharacters, N_("The font “{path}”: there are no characters to put into the web font")},
    {Code::FontLacksEveryCharacter, N_("The font “{path}” has none of the characters given")},
    {Code::FontHasNoGlyphCharacters, N_("The font “{path}” has no characters that need a glyph")},
    {Code::WebManifestUnreadable,
        N_("The web font manifest “{path}” is not JSON (line {line}, column {column}): move it away to cut "
           "the folder anew")},
    {Code::WebManifestEntryWrong,
        N_("The web font manifest “{path}” has a wrong or missing “{key}”: move it away to cut the folder "
           "anew")},
    {Code::WebManifestTooNew,
        N_("“{path}” was made by a newer version of Charlib (manifest version {version}): use that version")},
    {Code::WebFontChanged,
        N_("the pieces of “{family}” in “{stylesheet}” were cut from another font or with other layout "
           "features: they were cut anew from “{path}”")},
    {Code::WebPieceRestored,
        N_("the web font piece “{path}” was missing or changed since it was cut: it was made again")},
    {Code::AtlasUnreadable,
        N_("the earlier atlas's file “{path}” cannot be read, is damaged or does not match its descriptor: the "
           "atlas was packed anew, and every page changes")},
    {Code::AtlasSettingsChanged,
        N_("the earlier atlas “{path}” was made with another size, padding, page size, bit depth or distance "
           "field: the atlas was packed anew, and every page changes")},
    {Code::AtlasFontChanged,
        N_("{character} ({character:glyph}) is drawn otherwise than in the earlier atlas “{path}” (another font, "
           "or other settings): the atlas was packed anew, and every page changes")},
    {Code::AtlasPageOutgrown,
        N_("the new glyphs do not fit the {page_width}×{page_height} pages of the earlier atlas “{path}”, the "
           "smallest that held its glyphs: the atlas was packed anew on larger pages, and every page changes")},
};

}  // namespace

std::span<const Wording> font_wordings()
{
    return wordings;
}

}  // namespace charlib
