#!/usr/bin/env python3
"""The web font in a real browser: the folder --web makes, served on loopback
and opened in headless Chromium. Each check is a test of its own:

  draw         index.html fetches only the pieces its lines need and draws them
               as one subset of the whole set does (Chromium's font sanitizer
               refuses a bad font, which would then draw in a fallback font)
  edit         a site cut, edited and cut again into the same folder: with the
               browser's cache, the page fetches only the new pieces
  punctuation  a line of full-width marks is as wide in the pieces as in the
               whole font (Chromium trims the space between two marks only when
               the font of each can tell what kind of mark the other is)
  family       a regular and a bold font of one family share font.css, and the
               bold draws bold
  prefix       the lines to paste, with --url-prefix, load the pieces from
               another origin on a page in another folder

Every page load also checks what the check page reports (its data- figures)
against the server's log and the files.

Usage: web_font_check.py CHARLIB_CLI CHECK. Exits 77 (skipped) without
Chromium or a font the check needs. KEEP=1 keeps the work folder."""

import functools
import html.parser
import http.server
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import threading
from collections import namedtuple

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from read_png import read_png  # noqa: E402

SKIPPED = 77
WQY = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
IPAEX = "/usr/share/fonts/opentype/ipaexfont-gothic/ipaexg.ttf"
DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
DEJAVU_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"


def chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


class Server:
    """The work folder on loopback, /cdn/ standing for /site/, to any origin. Pieces may be
    cached for a day; pages and stylesheets never are (If-Modified-Since counts whole seconds,
    and a stylesheet rewritten within the second would look unchanged)."""

    def __init__(self, root):
        self.requests = []
        requests = self.requests

        class Handler(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def translate_path(self, path):
                return super().translate_path("/site/" + path[5:] if path.startswith("/cdn/") else path)

            def end_headers(self):
                self.send_header("Access-Control-Allow-Origin", "*")
                self.send_header("Vary", "Origin")  # as a CDN answers: a request without Origin is another
                # Without it, a page of another origin sees 0 for the sizes of what it fetched.
                self.send_header("Timing-Allow-Origin", "*")
                self.send_header("Cache-Control", "max-age=86400" if self.path.endswith(".woff2") else "no-store")
                super().end_headers()

            def do_GET(self):
                requests.append(self.path)
                super().do_GET()

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=root))
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        self.base = "http://127.0.0.1:%d/" % self.httpd.server_address[1]

    def pieces(self):
        """The .woff2 paths asked for since the last call, in order."""
        asked = [path for path in self.requests if path.endswith(".woff2")]
        self.requests.clear()
        return asked

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def load(browser, url, profile, screenshot=None):
    """The page's DOM once its scripts have run (they wait for document.fonts.ready), with
    the HTTP cache of `profile`; a screenshot of it too if asked."""
    command = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--hide-scrollbars", "--user-data-dir=" + profile, "--window-size=900,700",
               "--virtual-time-budget=5000", "--dump-dom"]
    if screenshot:
        command.append("--screenshot=" + screenshot)
    return subprocess.run(command + [url], check=True, capture_output=True, text=True, timeout=120).stdout


def cut(cli, work, *args):
    """charlib-cli run in the work folder on UTF-8 text; its standard output."""
    return subprocess.run([cli, "-e", "utf-8", *args], cwd=work, check=True, capture_output=True,
                          text=True).stdout


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def code_points(ranges):
    points = set()
    for item in ranges.split(","):
        item = item.strip()[2:]
        first, _, last = item.partition("-")
        points.update(range(int(first, 16), int(last or first, 16) + 1))
    return points


Face = namedtuple("Face", "family weight style url file points")


def faces_of(stylesheet):
    """Each @font-face of a stylesheet, in its order."""
    faces = []
    for rule in re.findall(r"@font-face\s*\{(.*?)\}", read(stylesheet), re.S):
        field = dict(part.split(":", 1) for part in rule.replace("\n", "").split(";") if ":" in part)
        field = {name.strip(): value.strip() for name, value in field.items()}
        url = re.search(r'url\("([^"]+)"\)', field["src"]).group(1)
        faces.append(Face(field["font-family"].strip('"'), field["font-weight"], field["font-style"], url,
                          url.rsplit("/", 1)[-1], code_points(field["unicode-range"])))
    return faces


class Page(html.parser.HTMLParser):
    """A dumped page's elements: tag, attributes, text (the descendants' too) and the
    elements around it."""

    Node = namedtuple("Node", "tag attrs text around")

    def __init__(self, dom):
        super().__init__()
        self.nodes, self.open = [], []
        self.feed(dom)
        self.close()

    def handle_starttag(self, tag, attrs):
        node = Page.Node(tag, dict(attrs), [], list(self.open))
        self.nodes.append(node)
        if tag not in ("meta", "link", "br", "img", "hr", "input"):
            self.open.append(node)

    def handle_endtag(self, tag):
        while self.open and self.open.pop().tag != tag:
            pass

    def handle_data(self, data):
        for node in self.open:
            node.text.append(data)

    def find(self, tag, within=None):
        return [node for node in self.nodes if node.tag == tag and (within is None or within in node.around)]

    def by_id(self, name):
        found = [node for node in self.nodes if node.attrs.get("id") == name]
        return found[0].attrs if found else {}


def text_of(node):
    return "".join(node.text)


def check_page(dom, faces, folder, failures, cached=frozenset()):
    """What the check page reports once its fonts are ready, against what its lines need:
    each face's pieces loaded as the lines need them and none failed, and the pieces and
    bytes it fetched, those it had in the cache aside. Returns the pieces the lines need.

    The lines should use a character of the first piece: it holds the space, which makes it
    the family's first available font, and Chromium sometimes loads it for that alone."""
    page = Page(dom)
    if page.find("body")[0].attrs.get("data-checked") != "yes":
        failures.append("the check page did not finish checking")
        return set()
    needed = set()
    for section in page.find("section"):
        look = (section.attrs.get("data-family"), section.attrs.get("data-weight"), section.attrs.get("data-style"))
        own = [face for face in faces if (face.family, face.weight, face.style) == look]
        lines = [node for node in page.find("div", within=section) if node.attrs.get("class", "").split()[:1] ==
                 ["lines"] and "fallback" not in node.attrs["class"]]
        shown = {ord(c) for c in text_of(lines[0]) if c != "\n"} if lines else set()
        need = {face.file for face in own if face.points & shown}
        needed |= need
        said = tuple(section.attrs.get("data-" + name) for name in ("loaded", "failed", "total"))
        if said != (str(len(need)), "0", str(len(own))):
            failures.append("%s: the check page says loaded, failed, total %s; its lines need %d of %d pieces" %
                            (" ".join(look), said, len(need), len(own)))
    fetched = page.by_id("fetched")
    said = (fetched.get("data-pieces"), fetched.get("data-bytes"))
    fetching = needed - cached
    sizes = (str(len(fetching)), str(sum(os.path.getsize(os.path.join(folder, file)) for file in fetching)))
    if said != sizes:
        failures.append("the check page says it fetched pieces, bytes %s; it needed %s" % (said, sizes))
    return needed


def compare_fetched(asked, expected, failures, what):
    names = [path.rsplit("/", 1)[-1] for path in asked]
    if len(set(names)) != len(names) or set(names) != expected:
        failures.append("%s: fetched %s, expected %s" % (what, sorted(names), sorted(expected)))


# Writes each span's width and what became of its family's faces, once the fonts are ready.
MEASURE = """<script>
document.fonts.ready.then(() => {
  for (const span of document.querySelectorAll("span[data-family]")) {
    const faces = [...document.fonts].filter(face => face.family.replace(/"/g, "") === span.dataset.family);
    span.dataset.width = span.getBoundingClientRect().width;
    span.dataset.loaded = faces.filter(face => face.status === "loaded").length;
    span.dataset.failed = faces.filter(face => face.status === "error").length;
  }
  document.body.dataset.measured = "yes";
});
</script>"""


def measure_page(path, head, spans, lang="en", size=24):
    """A page of one-line spans: (id, family, weight, text)."""
    body = "".join('<p><span id="%s" data-family="%s" style="font-family: \'%s\'; font-weight: %s">%s</span></p>\n'
                   % (name, family, family, weight, text) for name, family, weight, text in spans)
    write(path, '<!DOCTYPE html>\n<html lang="%s">\n<head>\n<meta charset="utf-8">\n%s\n<style>body { font-size: '
          '%dpx; } span { white-space: nowrap; }</style>\n</head>\n<body>\n%s%s\n</body>\n</html>\n'
          % (lang, head, size, body, MEASURE))


def measured(dom, names, failures):
    """Each span's width, once every face of its family loaded."""
    widths = {}
    for name in names:
        span = Page(dom).by_id(name)
        if span.get("data-failed") != "0" or span.get("data-loaded", "0") == "0":
            failures.append("%s: its faces loaded %s, failed %s" % (name, span.get("data-loaded"),
                                                                   span.get("data-failed")))
        widths[name] = float(span.get("data-width", "nan"))
    return widths


def zipf_text(first, distinct, top, lines, seed):
    """`distinct` characters from code point `first`, the n-th used top / n times (at least
    once), shuffled, in `lines` lines."""
    text = []
    for n in range(distinct):
        text += [chr(first + n)] * max(1, top // (n + 1))
    random.Random(seed).shuffle(text)
    width = -(-len(text) // lines)
    return ["".join(text[at:at + width]) for at in range(0, len(text), width)]


def grey(path):
    """The first channel of each pixel, row by row."""
    _, _, step, rows = read_png(path)
    return [row[::step] for row in rows]


def differing(one, other):
    """Pixels far apart in grey: glyphs drawn differently, not edges shaded a little differently."""
    return sum(abs(a - b) > 64 for row, other_row in zip(one, other) for a, b in zip(row, other_row))


def check_draw(cli, browser, work, server, failures):
    site = os.path.join(work, "site")
    # About 1,500 distinct characters, so the set takes many small pieces and the sample (the
    # first 200 characters of its line) only some.
    text = "".join(chr(c) for c in range(0x4E00, 0x4E00 + 1500))
    write(os.path.join(work, "page.txt"), (text[:199] + "。") * 5 + text + "\n")
    cut(cli, work, "page.txt", "--font", WQY, "--web", "site", "--chunk-size", "8", "--family", "Check Sans",
        "--subset", "site/whole.woff2")
    faces = faces_of(os.path.join(site, "font.css"))
    if len(faces) <= 2:
        failures.append("the set should take several pieces")
    # The same page drawn from one subset, and with no web font at all.
    page = read(os.path.join(site, "index.html"))
    write(os.path.join(site, "whole.html"), page.replace('href="font.css"', 'href="whole.css"'))
    write(os.path.join(site, "whole.css"), '@font-face { font-family: "Check Sans"; src: url("whole.woff2") '
          'format("woff2"); unicode-range: %s; }\n' % ",".join("U+%X" % c for face in faces for c in face.points))
    write(os.path.join(site, "fallback.html"), page.replace('href="font.css"', 'href="none.css"'))

    shots = [os.path.join(work, name + ".png") for name in ("pieces", "whole", "fallback")]
    needed = check_page(load(browser, server.base + "site/index.html", os.path.join(work, "p1"), shots[0]),
                        faces, site, failures)
    compare_fetched(server.pieces(), needed, failures, "index.html")
    if len(needed) >= len(faces):
        failures.append("the sample needs every piece: the check shows nothing")
    load(browser, server.base + "site/whole.html", os.path.join(work, "p2"), shots[1])
    load(browser, server.base + "site/fallback.html", os.path.join(work, "p3"), shots[2])
    # Each piece is a font of its own, so where a line passes from one to the next the browser
    # places glyphs a fraction of a pixel apart: the pages may differ at a few edges, not in glyphs.
    pieced, one, fallback = (grey(shot) for shot in shots)
    apart, unlike = differing(pieced, one), differing(one, fallback)
    print("pieces %d, the sample's %d; pixels unlike one subset's: %d; one subset's unlike the fallback "
          "font's: %d" % (len(faces), len(needed), apart, unlike))
    if unlike == 0:
        failures.append("the web font drew like the fallback font: it was not used")
    if apart * 10 > unlike:
        failures.append("the pieces draw the sample differently from one subset of the whole set")


def check_edit(cli, browser, work, server, failures):
    site, profile = os.path.join(work, "site"), os.path.join(work, "profile")
    # The check page shows the first 30 lines: the characters only the last ones use are in
    # pieces of their own (ties keep the text's order), which it does not need.
    lines = zipf_text(0x4E00, 300, 100, 30, seed=1) + zipf_text(0x4E00 + 300, 100, 1, 4, seed=2)
    lines = [line + "。" for line in lines]
    write(os.path.join(work, "page.txt"), "\n".join(lines) + "\n")
    cut(cli, work, "page.txt", "--font", WQY, "--web", "site", "--chunk-size", "4")
    before = faces_of(os.path.join(site, "font.css"))
    files = {face.file: (read_bytes(os.path.join(site, face.file)), os.stat(os.path.join(site, face.file))
                         .st_mtime_ns) for face in before}
    needed_before = check_page(load(browser, server.base + "site/index.html", profile), before, site, failures)
    compare_fetched(server.pieces(), needed_before, failures, "the first cut")
    if len(needed_before) >= len(before):
        failures.append("the first page needs every piece: the check shows nothing")

    # About 5% more: a line of 16 new characters and some old ones at the top, so that the page shows it.
    added = "".join(chr(0x5000 + n) * (1 + n % 2) + lines[0][n] for n in range(16))
    write(os.path.join(work, "page.txt"), "\n".join([added] + lines) + "\n")
    cut(cli, work, "page.txt", "--font", WQY, "--web", "site", "--chunk-size", "4")
    after = faces_of(os.path.join(site, "font.css"))
    needed_after = check_page(load(browser, server.base + "site/index.html", profile), after, site, failures,
                              cached=needed_before)
    asked = server.pieces()

    ranges = {face.file: face.points for face in after}
    new = set(ranges) - set(files)
    if not new:
        failures.append("the second cut made no new piece")
    for face in before:
        path = os.path.join(site, face.file)
        if ranges.get(face.file) != face.points:
            failures.append("%s is not kept with its unicode-range" % face.file)
        elif (read_bytes(path), os.stat(path).st_mtime_ns) != files[face.file]:
            failures.append("%s was written again" % face.file)
    # The page's other lines were on the first page too: it needs only new pieces it did not have.
    compare_fetched(asked, needed_after - needed_before, failures, "the second cut, with the first cached")
    if not asked or set(path.rsplit("/", 1)[-1] for path in asked) - new:
        failures.append("the second page should fetch new pieces only, and some: %s, new %s" % (asked, sorted(new)))
    print("pieces %d, then %d (%d new); the page fetched %d, then %d" %
          (len(before), len(after), len(new), len(needed_before), len(asked)))


def check_punctuation(cli, browser, work, server, failures):
    site = os.path.join(work, "site")
    line = "「你好」，「世界」。（好）「再見」"
    # The line's kanji at frequencies far apart, so that they land in different pieces; ，。 in
    # every line, 「」 once; （） not at all.
    kanji = [chr(0x65E5 + n) for n in range(200)]
    for rank, c in zip((0, 3, 20, 60, 120, 190), "你好世界再見"):
        kanji[rank] = c
    body = []
    for n, c in enumerate(kanji):
        body += [c] * max(1, 60 // (n + 1))
    random.Random(3).shuffle(body)
    text = ["".join(body[at:at + 10]) + "，" + "".join(body[at + 10:at + 20]) + "。"
            for at in range(0, len(body), 20)]
    write(os.path.join(work, "page.txt"), "\n".join(text + ["「" + kanji[5] + "」"]) + "\n")
    cut(cli, work, "page.txt", "--font", IPAEX, "--web", "site", "--chunk-size", "4", "--family", "Check Gothic")
    faces = faces_of(os.path.join(site, "font.css"))
    holding = {face.file for face in faces for c in line if ord(c) in face.points}
    if not all(ord(c) in faces[0].points for c in "「」，。（）") or len(holding) < 3:
        failures.append("the line should take its marks from the first piece and its kanji from others: %d pieces"
                        % len(holding))

    # A control: the marks in pieces by pairs, as a cut by frequency could put them. Chromium
    # (156) tells a full stop's kind by the glyphs of the font of the run beside it, so 。（ and
    # ）。 across two pieces keep their space: the control measures wider.
    shutil.copy(IPAEX, os.path.join(site, "full.ttf"))
    split = ""
    for n, group in enumerate(("「」", "，。", "（）", "你好世界再見")):
        write(os.path.join(work, "group.txt"), group + "\n")
        cut(cli, work, "group.txt", "--font", IPAEX, "--subset", "site/split%d.ttf" % n)
        split += '@font-face { font-family: "Split"; src: url("split%d.ttf"); unicode-range: %s; }\n' % (
            n, ",".join("U+%X" % ord(c) for c in group))
    measure_page(os.path.join(site, "measure.html"), '<link rel="stylesheet" href="font.css">\n<style>\n'
                 '@font-face { font-family: "Full"; src: url("full.ttf"); }\n%s</style>' % split,
                 [("pieces", "Check Gothic", 400, line), ("full", "Full", 400, line), ("split", "Split", 400, line)],
                 lang="ja", size=40)
    widths = measured(load(browser, server.base + "site/measure.html", os.path.join(work, "profile")),
                      ("pieces", "full", "split"), failures)
    print("at 40px: pieces %(pieces)s, whole font %(full)s, marks split by pairs %(split)s" % widths)
    if widths["pieces"] != widths["full"]:
        failures.append("the line is %(pieces)spx wide in the pieces, %(full)spx in the whole font" % widths)
    if widths["split"] == widths["full"]:
        failures.append("the control, marks split by pairs, measures as the whole font: the check shows nothing")


LATIN = ["The quick brown fox jumps over the lazy dog.", "Pack my box with five dozen liquor jugs!",
         "Sphinx of black quartz, judge my vow: 0123456789."]


def check_family(cli, browser, work, server, failures):
    site = os.path.join(work, "site")
    write(os.path.join(work, "latin.txt"), "\n".join(LATIN) + "\n")
    # Pieces big enough to hold the letters: kerning between letters of two pieces is lost.
    for font in (DEJAVU, DEJAVU_BOLD):
        cut(cli, work, "latin.txt", "--font", font, "--web", "site", "--family", "Check Sans")
    faces = faces_of(os.path.join(site, "font.css"))
    if sorted({face.weight for face in faces if face.family == "Check Sans"}) != ["400", "700"]:
        failures.append("font.css should list weights 400 and 700 of Check Sans: %s" % [face[:3] for face in faces])
    page = load(browser, server.base + "site/index.html", os.path.join(work, "p1"))
    needed = check_page(page, faces, site, failures)
    compare_fetched(server.pieces(), needed, failures, "index.html")
    weights = [section.attrs.get("data-weight") for section in Page(page).find("section")]
    if weights != ["400", "700"]:
        failures.append("the check page shows the weights %s" % weights)

    # The bold lines draw bold: as wide as in the whole bold font, and not as the regular.
    shutil.copy(DEJAVU, os.path.join(site, "full.ttf"))
    shutil.copy(DEJAVU_BOLD, os.path.join(site, "full-bold.ttf"))
    measure_page(os.path.join(site, "measure.html"), '<link rel="stylesheet" href="font.css">\n<style>\n'
                 '@font-face { font-family: "Full"; src: url("full.ttf"); font-weight: 400; }\n'
                 '@font-face { font-family: "Full"; src: url("full-bold.ttf"); font-weight: 700; }\n</style>',
                 [("regular", "Check Sans", 400, LATIN[0]), ("bold", "Check Sans", 700, LATIN[0]),
                  ("full", "Full", 400, LATIN[0]), ("full-bold", "Full", 700, LATIN[0])])
    widths = measured(load(browser, server.base + "site/measure.html", os.path.join(work, "p2")),
                      ("regular", "bold", "full", "full-bold"), failures)
    print("widths: regular %(regular)s (whole font %(full)s), bold %(bold)s (whole font %(full-bold)s)" % widths)
    if (widths["regular"], widths["bold"]) != (widths["full"], widths["full-bold"]) or \
            widths["regular"] == widths["bold"]:
        failures.append("the weights should measure as the whole fonts do, and differ")


def check_prefix(cli, browser, work, server, failures):
    # The pieces on another origin, as on a CDN: without crossorigin the preload's fetch
    # would not serve the font's, and the piece would be fetched twice.
    cdn = Server(work)
    try:
        write(os.path.join(work, "latin.txt"), "\n".join(LATIN) + "\n")
        report = json.loads(cut(cli, work, "latin.txt", "--font", DEJAVU, "--web", "site", "--chunk-size", "4",
                                "--family", "Check Sans", "--url-prefix", cdn.base + "cdn", "-f", "json"))
        paste = report["font"]["web"]["paste"]
        measure_page(os.path.join(work, "page", "index.html"), "\n".join(paste),
                     [("line%d" % n, "Check Sans", 400, line) for n, line in enumerate(LATIN)])
        page = load(browser, server.base + "page/index.html", os.path.join(work, "p1"))
        stylesheets = [path for path in cdn.requests if path.endswith(".css")]
        asked = cdn.pieces()
        # The check page too, its pieces on the other origin.
        site = os.path.join(work, "site")
        needed = check_page(load(browser, server.base + "site/index.html", os.path.join(work, "p2")),
                            faces_of(os.path.join(site, "font.css")), site, failures)
        compare_fetched(cdn.pieces(), needed, failures, "index.html")
    finally:
        cdn.close()
    measured(page, ["line0"], failures)
    loaded = int(Page(page).by_id("line0").get("data-loaded", "0"))
    preload = re.search(r'rel="preload" href="%scdn/([^"]+)"' % re.escape(cdn.base), " ".join(paste))
    print("pasted:", *paste, sep="\n  ")
    print("loaded %d; fetched %s" % (loaded, asked))
    if stylesheets != ["/cdn/font.css"] or not all(path.startswith("/cdn/") for path in asked):
        failures.append("the stylesheet and pieces should come through /cdn/: %s" % (stylesheets + asked))
    if len(asked) != loaded or len(set(asked)) != len(asked):
        failures.append("fetched %s for %d loaded pieces" % (asked, loaded))
    if not preload or "/cdn/" + preload.group(1) not in asked:
        failures.append("the preloaded piece was not used")


CHECKS = {
    "draw": (check_draw, [WQY]),
    "edit": (check_edit, [WQY]),
    "punctuation": (check_punctuation, [IPAEX]),
    "family": (check_family, [DEJAVU, DEJAVU_BOLD]),
    "prefix": (check_prefix, [DEJAVU]),
}


def main():
    cli, (check, fonts) = os.path.abspath(sys.argv[1]), CHECKS[sys.argv[2]]
    browser = chromium()
    if not browser:
        print("Chromium is not installed: the browser check is skipped")
        return SKIPPED
    if not all(os.path.exists(font) for font in fonts):
        print("a font the check needs is missing (%s): skipped" % ", ".join(fonts))
        return SKIPPED
    work = tempfile.mkdtemp()
    server = Server(work)
    failures = []
    try:
        check(cli, browser, work, server, failures)
    finally:
        server.close()
        if os.environ.get("KEEP"):
            print("kept", work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
