#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/outcome.h"
#include "font/font.h"
#include "messages/language.h"

// What charlib-cli says of fonts beyond the outcomes' own words: the options
// that would help, and the faces of a file with the --face that picks each.
namespace charlib::cli {

// "Noto Sans CJK SC Regular", or that the face has no name.
std::string face_name(const FaceName& face, Language language);
// The faces of a font file, a line each with the --face that picks it, but `but`.
std::string faces_listed(
    const std::vector<FaceName>& faces, Language language, std::optional<unsigned> but = std::nullopt);

// A failure in words: the outcome's own, and for the font's, what
// charlib-cli adds (the --face values a file has, a larger --grid...).
std::string failure_words(const Failure& failure, Language language);

}  // namespace charlib::cli
