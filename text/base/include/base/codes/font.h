#pragma once
// The outcomes of the font room: X(Name, "json-id"). Each needs a wording in
// messages/ and its translation in po/. Their fields: a font file is `path`;
// an atlas, which knows no file, is named by its `face`; a character is
// `character`; sizes and ranges are numbers.
#define CHARLIB_FONT_CODES(X) \
    X(FontTooLarge, "font-too-large")                     /* path, limit: Bytes; size: Bytes, when known */ \
    X(NotAFont, "not-a-font")                             /* path */ \
    X(DamagedFont, "damaged-font")                        /* path */ \
    X(DamagedFace, "damaged-face")                        /* path, face: its index in the collection */ \
    X(NoUnicodeCmap, "no-unicode-cmap")                   /* path */ \
    X(NoSuchFace, "no-such-face")                         /* path, face, count: faces in the file */ \
    X(NoFaceNamed, "no-face-named")                       /* path, name, count */ \
    X(FaceNameAmbiguous, "face-name-ambiguous")           /* path, name, matches, count */ \
    X(BadFeatureTag, "bad-feature-tag")                   /* tag: the item as given */ \
    X(NoFeatureTags, "no-feature-tags") \
    X(SubsetFailed, "subset-failed")                      /* path */ \
    X(SubsetLostTable, "subset-lost-table")               /* path, table: its tag */ \
    X(SubsetEmpty, "subset-empty")                        /* path */ \
    X(Woff2Failed, "woff2-failed")                        /* path */ \
    X(SizeOutOfRange, "size-out-of-range")                /* path, size, low, high */ \
    X(SizeNotInFont, "size-not-in-font")                  /* path, size: a bitmap font's strikes lack it */ \
    X(LinesTooTall, "lines-too-tall")                     /* path, size, height, times: the most allowed */ \
    X(GlyphTooTall, "glyph-too-tall")                     /* path, character, size, width, height, times */ \
    X(DamagedGlyph, "damaged-glyph")                      /* path, character */ \
    X(CannotDrawGlyph, "cannot-draw-glyph")               /* path, character */ \
    X(ColourGlyph, "colour-glyph")                        /* path, character */ \
    X(SpreadOutOfRange, "spread-out-of-range")            /* path, spread, low, high */ \
    X(NoOutlineForField, "no-outline-for-field")          /* path, character */ \
    X(CannotDrawField, "cannot-draw-field")               /* path, character */ \
    X(GlyphTooLargeForPage, "glyph-too-large-for-page")   /* path, character, width, height (padded), */ \
                                                          /* page_width, page_height */ \
    X(PackingFailed, "packing-failed")                    /* path */ \
    X(EmptyGridCell, "empty-grid-cell")                   /* path: a cell or a row of no size */ \
    X(GlyphTooLargeForCell, "glyph-too-large-for-cell")   /* path, character, size, width, height, */ \
                                                          /* cell_width, cell_height */ \
    X(PageNameControl, "page-name-control")               /* face, file */ \
    X(PageNameQuote, "page-name-quote")                   /* face, file */ \
    X(PageNamesDiffer, "page-names-differ")               /* face, first, file */ \
    X(DescriptorFieldOutOfRange, "descriptor-field-out-of-range") /* face, field: its id, as */ \
        /* "line-height" or "xoffset"; value, low, high; character (and second) when a glyph's (a pair's) */ \
    X(GlyphOffPage, "glyph-off-page")                     /* face, character */ \
    X(ZeroChunkSize, "zero-chunk-size")                   /* path */ \
    X(NoGlyphCharacters, "no-glyph-characters")           /* path: none of the set needs a glyph */ \
    X(FontLacksEveryCharacter, "font-lacks-every-character") /* path */ \
    X(FontHasNoGlyphCharacters, "font-has-no-glyph-characters") /* path: the whole font asked for; none */ \
    X(WebManifestUnreadable, "web-manifest-unreadable")   /* path, line, column: not JSON */ \
    X(WebManifestEntryWrong, "web-manifest-entry-wrong")  /* path, key: "faces[1].weight" */ \
    X(WebManifestTooNew, "web-manifest-too-new")          /* path, version */ \
    X(WebFontChanged, "web-font-changed")                 /* path, family, stylesheet: the earlier pieces */ \
        /* were cut from another font or with other layout features, so the face was cut anew */ \
    X(WebPieceRestored, "web-piece-restored")             /* path: a listed piece missing or changed, */ \
        /* made again from its characters */ \
    X(AtlasUnreadable, "atlas-unreadable")                /* path: the earlier atlas's descriptor or page */ \
        /* cannot be read, is damaged or does not match; the atlas was packed anew */ \
    X(AtlasSettingsChanged, "atlas-settings-changed")     /* path: the descriptor; the earlier atlas had */ \
        /* another size, padding, page size, bit depth or distance field; packed anew */ \
    X(AtlasFontChanged, "atlas-font-changed")             /* path: the descriptor, character: a glyph */ \
        /* the font now draws otherwise; packed anew */ \
    X(AtlasPageOutgrown, "atlas-page-outgrown")           /* path: the descriptor, page_width, page_height: */ \
        /* the smallest page that held the earlier glyphs holds the new ones no more; packed anew */
