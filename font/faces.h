#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>

#include <string>
#include <string_view>
#include <vector>

#include "font/font.h"

namespace charlib {

struct Font::Faces {
    hb_blob_t* blob = nullptr;  // the whole file, which both faces read
    unsigned index = 0;  // of the face in the file, a collection's
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    hb_face_t* shaping = nullptr;

    ~Faces()
    {
        hb_face_destroy(shaping);
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
        hb_blob_destroy(blob);
    }
};

// Every face of a font file as its name table names it; none for a file
// HarfBuzz cannot read as TrueType or OpenType (font/face_names.cpp).
std::vector<FaceName> read_face_names(hb_blob_t* blob);
// The face the choice picks of `faces`; with none known, its index or 0.
// Throws Failure: NoSuchFace, NoFaceNamed or FaceNameAmbiguous.
unsigned chosen_face(
    const std::filesystem::path& path, const std::vector<FaceName>& faces, const FaceChoice& choice);

// The sfnt as WOFF2 at a Brotli quality (11 for what is written, lower to
// measure) (font/font.cpp).
std::string woff2_from_sfnt(const Font& font, std::string_view sfnt, int brotli_quality);

}  // namespace charlib
