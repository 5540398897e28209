#!/usr/bin/env python3
"""Charlib's web font pieces beside cn-font-split's, measured in one run.

Installs @konghayao/cn-font-split 4.x with npm into a temporary folder (or
--npm-dir, reused when it already holds it), cuts Noto Sans CJK SC for the
characters of charlib-bench's 8 MiB mixed corpus with both tools, and prints a
Markdown table: pieces, total bytes, what a page of the corpus's 500 most
common characters downloads (the pieces whose unicode-range meets them, read
from each tool's CSS), and the wall time on 1 core and on 2, median of --runs.

cn-font-split cannot read a font collection (.ttc), so the face is first taken
out of it whole with hb-subset (every glyph, code point, layout feature,
script, name and table; subroutines kept), and both tools read that one file.

cn-font-split always cuts the whole font: its --web-like mode is a rank of
characters that it packs first ("unicodeRank", here the corpus's characters,
most frequent first), then the rest of the font. So it is set beside
charlib-cli --web-all, and, restricted to the corpus's characters by handing
it a font already subset to them, beside charlib-cli --web.

Exit 77 when npm, the registry, Node, hb-subset, taskset, the font or
charlib's programs are missing. Not part of ./test or ctest: it takes minutes.

    bench/web_compare.py [--build build] [--npm-dir DIR] [--runs 3] [--font F --face N]
"""

import argparse
import collections
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SKIP = 77
PACKAGE = "@konghayao/cn-font-split@4"
NOTO = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
PAGE_CHARACTERS = 500
CHUNK_KIB = 70  # both tools' default

# Drives cn-font-split's API: argv[2] is a JSON of the font, the folder, the
# rank of characters (or none) and the workers (0: no worker pool at all).
DRIVER = r"""
import { fontSplit } from '@konghayao/cn-font-split';
import fs from 'fs';
const job = JSON.parse(fs.readFileSync(process.argv[2], 'utf-8'));
const options = {
    FontPath: job.font,
    destFold: job.dest,
    targetType: 'woff2',
    chunkSize: job.chunkKiB * 1024,
    testHTML: false,
    reporter: false,
    logger: { settings: { minLevel: 4 } },
    threads: job.workers ? { options: { maxWorkers: job.workers } } : false,
};
if (job.rank) options.unicodeRank = [job.rank];
await fontSplit(options);
"""


def skip(why):
    print(f"web_compare: skipped: {why}", file=sys.stderr)
    sys.exit(SKIP)


def run(command, **kwargs):
    return subprocess.run(command, check=True, **kwargs)


def install_cn_font_split(npm_dir):
    """The folder holding node_modules/@konghayao/cn-font-split, and its version."""
    if not shutil.which("npm") or not shutil.which("node"):
        skip("npm or node is not installed")
    package_json = os.path.join(npm_dir, "node_modules", "@konghayao", "cn-font-split", "package.json")
    if not os.path.exists(package_json):
        os.makedirs(npm_dir, exist_ok=True)
        print(f"installing {PACKAGE} into {npm_dir}", file=sys.stderr)
        try:
            run(["npm", "install", "--no-audit", "--no-fund", "--prefix", npm_dir, PACKAGE],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=600)
        except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
            lines = (error.stderr or b"").decode(errors="replace").strip().splitlines()
            skip(f"npm could not install {PACKAGE} (is the registry reachable?): "
                 + (" / ".join(lines[:2]) if lines else "timed out"))
    with open(package_json) as f:
        version = json.load(f)["version"]
    if not version.startswith("4."):
        skip(f"{npm_dir} holds cn-font-split {version}, not 4.x")
    with open(os.path.join(npm_dir, "split.mjs"), "w") as f:
        f.write(DRIVER)
    return version


def write_corpus(build, work):
    """charlib-bench's 8 MiB mixed corpus (GBK), written into work."""
    bench = os.path.join(build, "bin", "charlib-bench")
    if not os.access(bench, os.X_OK):
        skip(f"{bench} is not built")
    env = dict(os.environ, TMPDIR=work)
    run([bench, "8", "core"], env=env, stdout=subprocess.DEVNULL)
    return os.path.join(work, "charlib-bench-8.txt")


def characters_by_count(corpus):
    """The corpus's characters, most frequent first, ties in the order met (as charlib counts them)."""
    with open(corpus, "rb") as f:
        text = f.read().decode("gbk")
    counts = collections.Counter(text.replace("\r\n", ""))
    firsts = {}
    for index, character in enumerate(text):
        firsts.setdefault(character, index)
    return sorted(counts, key=lambda c: (-counts[c], firsts[c]))


def extract_face(font, face, work):
    """The face of a collection as one OpenType file, nothing dropped."""
    if not shutil.which("hb-subset"):
        skip("hb-subset is not installed")
    out = os.path.join(work, "face.otf")
    run(["hb-subset", f"--font-file={font}", f"--face-index={face}", "--unicodes=*", "--glyphs=*",
         "--layout-features=*", "--layout-scripts=*", "--name-IDs=*", "--name-languages=*",
         "--notdef-outline", "--name-legacy", "--no-prune-unicode-ranges", "--passthrough-tables",
         "--drop-tables=", f"--output-file={out}"])
    return out


def subset_to(font, characters, work):
    """The font with only the given characters (and every layout feature), for cn-font-split --web."""
    text = os.path.join(work, "corpus-set.txt")
    with open(text, "w", encoding="utf-8") as f:
        f.write("".join(characters))
    out = os.path.join(work, "face-corpus-set.otf")
    run(["hb-subset", f"--font-file={font}", f"--text-file={text}", "--layout-features=*",
         "--layout-scripts=*", "--name-IDs=*", "--name-languages=*", "--notdef-outline",
         "--name-legacy", "--no-prune-unicode-ranges", f"--output-file={out}"])
    return out


def parse_ranges(value):
    """A CSS unicode-range value as a list of (first, last) code points."""
    ranges = []
    for part in value.split(","):
        part = part.strip().upper().removeprefix("U+")
        if "-" in part:
            first, last = part.split("-")
            ranges.append((int(first, 16), int(last, 16)))
        elif "?" in part:
            ranges.append((int(part.replace("?", "0"), 16), int(part.replace("?", "F"), 16)))
        elif part:
            ranges.append((int(part, 16), int(part, 16)))
    return ranges


def read_css(folder, css_name):
    """Each @font-face of the CSS as (file of its url, its code point ranges)."""
    with open(os.path.join(folder, css_name), encoding="utf-8") as f:
        css = re.sub(r"/\*.*?\*/", "", f.read(), flags=re.S)
    faces = []
    for block in re.findall(r"@font-face\s*\{(.*?)\}", css, flags=re.S):
        url = re.search(r"url\(\s*['\"]?([^'\")]+)['\"]?\s*\)", block).group(1)
        ranges = re.search(r"unicode-range\s*:\s*([^;}]+)", block).group(1)
        faces.append((os.path.join(folder, url), parse_ranges(ranges)))
    return faces


def measure(folder, css_name, page):
    faces = read_css(folder, css_name)
    sizes = [os.path.getsize(path) for path, _ in faces]
    loaded = [size for (path, ranges), size in zip(faces, sizes)
              if any(first <= c <= last for c in page for first, last in ranges)]
    return {"pieces": len(faces), "bytes": sum(sizes), "page_pieces": len(loaded), "page_bytes": sum(loaded)}


def timed(command, folder):
    """Seconds of one run of command into a fresh folder."""
    shutil.rmtree(folder, ignore_errors=True)
    start = time.monotonic()
    run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - start


def one_core(command):
    return ["taskset", "-c", "0"] + command


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build"))
    parser.add_argument("--npm-dir", help="where cn-font-split is installed (reused when present)")
    parser.add_argument("--font", default=NOTO)
    parser.add_argument("--face", type=int, default=2, help="the face of a .ttc (2: Noto Sans CJK SC)")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()

    cli = os.path.join(args.build, "bin", "charlib-cli")
    if not os.access(cli, os.X_OK):
        skip(f"{cli} is not built")
    if not os.path.exists(args.font):
        skip(f"{args.font} is not installed")
    if not shutil.which("taskset"):
        skip("taskset is not installed (it gives the run on 1 core)")
    work = tempfile.mkdtemp(prefix="web-compare-")
    try:
        npm_dir = os.path.abspath(args.npm_dir) if args.npm_dir else os.path.join(work, "npm")
        version = install_cn_font_split(npm_dir)
        charlib_version = subprocess.run([cli, "--version"], capture_output=True, text=True).stdout.strip()
        corpus = write_corpus(args.build, work)
        frequent = characters_by_count(corpus)
        page = [ord(c) for c in frequent[:PAGE_CHARACTERS]]
        font = extract_face(args.font, args.face, work) if args.font.lower().endswith((".ttc", ".otc")) else args.font
        corpus_font = subset_to(font, frequent, work)
        rank = [ord(c) for c in frequent]
        load_before = os.getloadavg()[0]

        def charlib(all_of_font):
            def command(cores, out):
                return [cli, "-e", "gbk", corpus, "--font", font, "--web", out, "--chunk-size", str(CHUNK_KIB)] \
                    + (["--web-all"] if all_of_font else [])
            return command

        def cn_font_split(source):
            def command(cores, out):  # the options are written as JSON for the driver; see DRIVER
                job = os.path.join(work, f"job-{os.path.basename(out)}.json")
                with open(job, "w") as f:
                    json.dump({"font": source, "dest": out, "rank": rank, "chunkKiB": CHUNK_KIB,
                               "workers": 0 if cores == 1 else cores}, f)
                return ["node", os.path.join(npm_dir, "split.mjs"), job]
            return command

        rows = [
            ("Charlib `--web` (the corpus's set)", charlib(False), "font.css"),
            (f"cn-font-split {version}, font cut to the corpus's set first", cn_font_split(corpus_font), "result.css"),
            ("Charlib `--web-all` (the whole font)", charlib(True), "font.css"),
            (f"cn-font-split {version} (the whole font)", cn_font_split(font), "result.css"),
        ]
        results = []
        for index, (name, command, css_name) in enumerate(rows):
            out = os.path.join(work, f"out-{index}")
            seconds = {1: [], 2: []}
            for attempt in range(args.runs):  # runs of the two settings interleaved, for the same noise
                for cores in (2, 1):
                    full = command(cores, out)
                    seconds[cores].append(timed(one_core(full) if cores == 1 else full, out))
                    print(f"{name}: {cores} core(s), run {attempt + 1}: {seconds[cores][-1]:.1f} s", file=sys.stderr)
            figures = measure(out, css_name, page)
            figures.update(name=name, two=statistics.median(seconds[2]), one=statistics.median(seconds[1]),
                           command=" ".join(command(2, "OUT")))
            results.append(figures)

        node = subprocess.run(["node", "--version"], capture_output=True, text=True).stdout.strip()
        print(f"\n{time.strftime('%Y-%m-%d', time.gmtime())}, {charlib_version}, cn-font-split {version}, Node {node}; "
              f"{os.path.basename(args.font)} face {args.face}; the {len(frequent)} characters of the 8 MiB mixed "
              f"corpus; pieces of {CHUNK_KIB} KiB; median of {args.runs} runs; page: its {PAGE_CHARACTERS} most "
              f"common characters; load average {load_before:.1f} before, {os.getloadavg()[0]:.1f} after\n")
        print("| tool | pieces | total | 2 cores | 1 core | page |")
        print("|---|---|---|---|---|---|")
        for r in results:
            print(f"| {r['name']} | {r['pieces']} | {r['bytes'] / 1e6:.2f} MB | {r['two']:.1f} s | {r['one']:.1f} s "
                  f"| {r['page_pieces']} pieces, {r['page_bytes'] / 1e3:.0f} KB |")
        print("\ncommands (OUT: the output folder; 1 core: under taskset -c 0):")
        for r in results:
            print(f"  {r['command']}")
        print("cn-font-split's driver calls fontSplit({FontPath, destFold, targetType: 'woff2', chunkSize: "
              f"{CHUNK_KIB * 1024}, unicodeRank: [the corpus's characters, most frequent first], testHTML: false, "
              "reporter: false, threads: {options: {maxWorkers: 2}}}) on 2 cores, threads: false on 1")
    finally:
        if args.keep:
            print(f"kept {work}", file=sys.stderr)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
