// What the web folder serves beside the pieces: each stylesheet, and its
// check page.
#include <nlohmann/json.hpp>

#include <cstdio>

#include "codec/utf.h"
#include "escape.h"
#include "font/web.h"
#include "output/output.h"
#include "web_pages.h"
#include "web_pieces.h"

namespace charlib {

bool is_stylesheet_name(std::string_view name)
{
    return name.size() > 4 && name.ends_with(".css") && name.find_first_of("/\\") == std::string_view::npos &&
        name.front() != '.' && name != "index.css";
}

std::string check_page_name(std::string_view stylesheet)
{
    if (stylesheet == "font.css") return "index.html";
    return std::string(stylesheet.substr(0, stylesheet.size() - 4)) + ".html";
}

// "<" escaped too, so that the name cannot end the page's <style>.
std::string css_string(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte == 0x7F || c == '<') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%x ", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

std::string piece_url(std::string_view url_prefix, std::string_view file)
{
    return url_prefix.empty() ? std::string(file) : std::string(url_prefix) + "/" + std::string(file);
}

std::vector<std::string> paste_lines(const WebFont& web, std::string_view folder, std::string_view url_prefix)
{
    const std::string base = url_prefix.empty() ? std::string(folder) : std::string(url_prefix);
    std::vector<std::string> lines{
        "<link rel=\"stylesheet\" href=\"" + xml_escaped(piece_url(base, web.stylesheet)) + "\">"};
    if (web.preload < web.pieces.size())
        lines.push_back("<link rel=\"preload\" href=\"" + xml_escaped(piece_url(base, web.pieces[web.preload].file)) +
            "\" as=\"font\" type=\"font/woff2\" crossorigin>");
    return lines;
}

std::string stylesheet_css(const WebManifest& manifest, std::string_view stylesheet, std::string_view url_prefix)
{
    std::string css;
    for (const WebFaceRecord& face : manifest.faces) {
        if (face.stylesheet != stylesheet) continue;
        for (const WebPieceRecord& piece : face.pieces)
            css += "@font-face {\n  font-family: " + css_string(face.family) + ";\n  font-style: " + face.style +
                ";\n  font-weight: " + std::to_string(face.weight) + ";\n  font-display: swap;\n  src: url(" +
                css_string(piece_url(url_prefix, piece.file)) + ") format(\"woff2\");\n  unicode-range: " +
                unicode_range(piece.characters) + ";\n}\n";
    }
    return css;
}

namespace {

// A JSON string safe inside a <script> element.
std::string script_string(const std::string& text)
{
    std::string quoted = nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    for (std::size_t at = 0; (at = quoted.find("</", at)) != std::string::npos; at += 3)
        quoted.replace(at, 2, "<\\/");
    return quoted;
}

// Counts each face's pieces by what became of them once the page used them,
// and the pieces and bytes the page fetched; the figures go into data-
// attributes too, for a program that checks the page.
constexpr std::string_view check_script = R"js(function fill(text, values) {
  return text.replace(/\{(\w+)\}/g, (whole, name) => name in values ? String(values[name]) : whole);
}
function unquoted(name) {
  return name.replace(/^"(.*)"$/, "$1").replace(/^'(.*)'$/, "$1");
}
document.fonts.ready.then(() => {
  for (const section of document.querySelectorAll("section.face")) {
    let total = 0, loaded = 0, failed = 0;
    for (const face of document.fonts) {
      if (unquoted(face.family) !== section.dataset.family || String(face.weight) !== section.dataset.weight ||
          face.style !== section.dataset.style) continue;
      total += 1;
      if (face.status === "loaded") loaded += 1;
      if (face.status === "error") failed += 1;
    }
    section.querySelector(".status").textContent =
      fill(words.loaded, {loaded, total}) + (failed ? "; " + fill(words.failed, {failed}) : "");
    Object.assign(section.dataset, {loaded, failed, total});
  }
  // A piece from the browser's cache was not fetched: Chromium says so, and elsewhere nothing
  // crossed the network for a body whose size is known (sizes from another origin are 0
  // without Timing-Allow-Origin).
  const cached = entry =>
    entry.deliveryType === "cache" || (entry.transferSize === 0 && entry.encodedBodySize > 0);
  const pieces = performance.getEntriesByType("resource")
    .filter(entry => /\.woff2([?#]|$)/.test(entry.name) && !cached(entry));
  const bytes = pieces.reduce((sum, entry) => sum + (entry.encodedBodySize || entry.transferSize || 0), 0);
  const fetched = document.getElementById("fetched");
  // Another origin hides the sizes unless it sends Timing-Allow-Origin.
  fetched.textContent = fill(pieces.length && !bytes ? words.hidden : words.fetched, {pieces: pieces.length, bytes});
  Object.assign(fetched.dataset, {pieces: pieces.length, bytes});
  document.body.dataset.checked = "yes";
});
)js";

std::string lines_html(const std::vector<std::u32string>& sample, const std::string& none)
{
    if (sample.empty()) return "<p>" + xml_escaped(none) + "</p>\n";
    std::string html;
    for (const std::u32string& line : sample)
        html += "<p>" + xml_escaped(to_utf8(line)) + "</p>\n";
    return html;
}

}  // namespace

std::string check_page_html(const WebManifest& manifest, std::string_view stylesheet, const CheckPageWords& words)
{
    std::string styles, sections;
    std::size_t n = 0;
    for (const WebFaceRecord& face : manifest.faces) {
        if (face.stylesheet != stylesheet) continue;
        const std::string number = std::to_string(n++);
        const std::string look =
            "font-weight: " + std::to_string(face.weight) + "; font-style: " + face.style + "; }\n";
        styles += ".face" + number + " { font-family: " + css_string(face.family) + "; " + look;
        styles += ".fallback" + number + " { font-family: sans-serif; " + look;
        const std::string name = xml_escaped(face.family);
        sections += "<section class=\"face\" data-family=\"" + name + "\" data-weight=\"" +
            std::to_string(face.weight) + "\" data-style=\"" + face.style + "\">\n<h2>" + name + " " +
            std::to_string(face.weight) + " " + face.style + ": <span class=\"status\"></span></h2>\n";
        sections += "<div class=\"lines face" + number + "\">\n" + lines_html(face.sample, words.no_sample) +
            "</div>\n<h3>" + xml_escaped(words.fallback) + "</h3>\n<div class=\"lines fallback fallback" +
            number + "\">\n" + lines_html(face.sample, words.no_sample) + "</div>\n</section>\n";
    }
    const std::string sheet = xml_escaped(stylesheet);
    std::string html = "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    html += "<title>" + sheet + "</title>\n<link rel=\"stylesheet\" href=\"" + sheet + "\">\n<style>\n";
    html += "body { font: 16px sans-serif; margin: 2em; color: #222; }\n";
    html += "h2, h3 { font: normal 16px sans-serif; color: #555; }\n";
    html += ".lines { font-size: 24px; line-height: 1.6; }\n.lines p { margin: 0; }\n";
    html += ".fallback { color: #888; }\n" + styles + "</style>\n</head>\n<body>\n";
    html += "<h1>" + sheet + "</h1>\n<p id=\"fetched\"></p>\n" + sections;
    html += "<script>\nconst words = {loaded: " + script_string(words.loaded) +
        ", failed: " + script_string(words.failed) + ", fetched: " + script_string(words.fetched) + ",\n  hidden: " + script_string(words.hidden) + "};\n";
    html += std::string(check_script) + "</script>\n</body>\n</html>\n";
    return html;
}

}  // namespace charlib
