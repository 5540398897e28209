#!/usr/bin/env python3
"""The web font in a real browser: index.html, served on loopback and opened
in headless Chromium, fetches only the pieces its sample needs, and draws the
sample exactly as one subset of the whole set does (Chromium's font sanitizer
refuses a bad font, which would then draw in a fallback font).

Usage: web_font_check.py CHARLIB_CLI FONT. Exits 77 (skipped) without Chromium."""

import functools
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from read_png import read_png  # noqa: E402

SKIPPED = 77


def chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


def screenshot(browser, url, out, profile):
    subprocess.run(
        [browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars", "--user-data-dir=" + profile, "--window-size=900,700",
         "--virtual-time-budget=5000", "--screenshot=" + out, url],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    return out


def grey(path):
    """The first channel of each pixel, row by row."""
    _, _, step, rows = read_png(path)
    return [row[::step] for row in rows]


def differing(one, other):
    """Pixels far apart in grey: glyphs drawn differently, not edges shaded a little differently."""
    return sum(abs(a - b) > 64 for row, other_row in zip(one, other) for a, b in zip(row, other_row))


def code_points(ranges):
    points = set()
    for item in ranges.split(","):
        item = item.strip()[2:]
        first, _, last = item.partition("-")
        points.update(range(int(first, 16), int(last or first, 16) + 1))
    return points


class Log(http.server.SimpleHTTPRequestHandler):
    requested = []

    def log_message(self, *args):
        pass

    def do_GET(self):
        Log.requested.append(self.path)
        super().do_GET()


def main():
    cli, font = os.path.abspath(sys.argv[1]), sys.argv[2]
    browser = chromium()
    if not browser:
        print("Chromium is not installed: the browser check is skipped")
        return SKIPPED
    work = tempfile.mkdtemp()
    try:
        # About 1,500 distinct characters, so the set takes many small pieces and the sample only some.
        text = "".join(chr(c) for c in range(0x4E00, 0x4E00 + 1500))
        weighted = text[:200] * 5 + text + "\n"
        with open(os.path.join(work, "page.txt"), "w", encoding="utf-8") as f:
            f.write(weighted)
        subprocess.run([cli, "-e", "utf-8", "page.txt", "--font", font, "--web", "site", "--chunk-size", "8",
                        "--family", "Check Sans", "--subset", "site/whole.woff2"], cwd=work, check=True,
                       stdout=subprocess.DEVNULL)
        site = os.path.join(work, "site")
        with open(os.path.join(site, "font.css"), encoding="utf-8") as f:
            css = f.read()
        with open(os.path.join(site, "index.html"), encoding="utf-8") as f:
            html = f.read()
        pieces = re.findall(r'url\("([^"]+)"\).*?unicode-range:\s*([^;]+);', css, re.S)
        assert len(pieces) > 2, "the set should take several pieces"
        body = re.sub(r"<head>.*</head>", "", html, flags=re.S)
        shown = {ord(c) for c in re.sub(r"<[^>]*>|&\w+;", "", body)}
        needed = {file for file, ranges in pieces if code_points(ranges) & shown}
        # The same page drawn from one subset, and with no web font at all.
        whole = html.replace('href="font.css"', 'href="whole.css"')
        with open(os.path.join(site, "whole.html"), "w", encoding="utf-8") as f:
            f.write(whole)
        with open(os.path.join(site, "whole.css"), "w", encoding="utf-8") as f:
            # Its range too: a page takes its line height from the face that holds the space, and
            # neither holds it.
            ranges = ",".join(ranges for _, ranges in pieces)
            f.write('@font-face { font-family: "Check Sans"; src: url("whole.woff2") format("woff2"); '
                    'unicode-range: %s; }\n' % ranges)
        with open(os.path.join(site, "fallback.html"), "w", encoding="utf-8") as f:
            f.write(html.replace('href="font.css"', 'href="none.css"'))

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Log, directory=site))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        base = "http://127.0.0.1:%d/" % server.server_address[1]
        profile = os.path.join(work, "profile")
        pieced = screenshot(browser, base + "index.html", os.path.join(work, "pieces.png"), profile)
        fetched = {path.lstrip("/") for path in Log.requested if path.endswith(".woff2")}
        one = screenshot(browser, base + "whole.html", os.path.join(work, "whole.png"), profile + "2")
        fallback = screenshot(browser, base + "fallback.html", os.path.join(work, "fallback.png"), profile + "3")
        server.shutdown()

        failures = []
        if fetched != needed:
            failures.append("fetched %s, the sample needs %s" % (sorted(fetched), sorted(needed)))
        if len(needed) >= len(pieces):
            failures.append("the sample needs every piece: the check shows nothing")
        # Each piece is a font of its own, so where a line passes from one to the next the browser
        # places glyphs a fraction of a pixel apart: the pages may differ at a few edges, not in glyphs.
        pieced, one, fallback = grey(pieced), grey(one), grey(fallback)
        apart, unlike = differing(pieced, one), differing(one, fallback)
        print("pixels unlike one subset's: %d; one subset's unlike the fallback font's: %d" % (apart, unlike))
        if unlike == 0:
            failures.append("the web font drew like the fallback font: it was not used")
        if apart * 10 > unlike:
            failures.append("the pieces draw the sample differently from one subset of the whole set")
        for failure in failures:
            print("FAILED:", failure)
        print("pieces %d, fetched %d" % (len(pieces), len(fetched)))
        return 1 if failures else 0
    finally:
        if os.environ.get("KEEP"):
            print("kept", work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
