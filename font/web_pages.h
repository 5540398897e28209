#pragma once

#include <string>
#include <string_view>

#include "font/web.h"

namespace charlib {

// A piece's URL in the stylesheet.
std::string piece_url(std::string_view url_prefix, std::string_view file);

// The stylesheet: an @font-face for each piece of each of its faces, in the manifest's order.
std::string stylesheet_css(const WebManifest& manifest, std::string_view stylesheet, std::string_view url_prefix);

// Its check page: each face's sample in the face and in the fallback font,
// whether its pieces loaded, and what the page fetched.
std::string check_page_html(const WebManifest& manifest, std::string_view stylesheet, const CheckPageWords& words);

}  // namespace charlib
