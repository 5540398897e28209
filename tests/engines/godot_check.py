#!/usr/bin/env python3
"""Godot 3 draws charlib-cli's atlases (--engine godot) as a BitmapFont: a line
drawn from the atlas must be the atlas's glyphs where the descriptor puts them,
and agree with the same line drawn by Godot's DynamicFont (FreeType) from the
font itself; on several pages as on one; and a distance field is drawn as a
field only once the BitmapFont's distance_field is set by hand.

Godot's editor must import the PNG pages once: it is started on the project
under Xvfb, and ended once the imports are there (it may hang or crash on
--quit). Usage: godot_check.py CHARLIB_CLI FONT. Exits 77 (skipped) without
Godot 3 or a display (Xvfb's xvfb-run)."""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from read_png import read_png  # noqa: E402

SKIPPED = 77
LINE = "字库提取：游戏里的中文字体，一行就够了。AVATAR"

# Each row of the picture: a font, the size, and how it is drawn.
ROWS = [
    {"name": "one page", "folder": "plain", "size": 24, "args": ["--engine", "godot"]},
    {"name": "several pages", "folder": "pages", "size": 24, "args": ["--engine", "godot", "--page", "128x64"]},
    {"name": "the font itself (DynamicFont)", "folder": "plain", "size": 24, "direct": True},
    {"name": "distance field, as loaded", "folder": "sdf", "size": 48, "args": ["--engine", "godot", "--sdf"]},
    {"name": "distance field, distance_field set", "folder": "sdf", "size": 48, "field": True},
    {"name": "the font itself at 48 (DynamicFont)", "folder": "sdf", "size": 48, "direct": True},
]
WIDTH, LEFT = 48 * 28, 16


def godot_3():
    for name in ("godot3", "godot"):
        path = shutil.which(name)
        if path:
            version = subprocess.run([path, "--version"], capture_output=True, text=True).stdout.strip()
            if version.splitlines() and version.splitlines()[-1].startswith("3."):
                return path, version.splitlines()[-1]
    return None, None


def read_descriptor(path):
    """The text form, as BMFont writes it."""
    font = {"chars": {}, "kernings": {}, "pages": {}}
    with open(path, encoding="utf-8") as f:
        for line in f:
            tag = line.split(" ", 1)[0]
            values = {name: quoted or bare for name, quoted, bare in re.findall(r'(\w+)=(?:"([^"]*)"|(\S+))', line)}
            if tag == "common":
                font.update(line_height=int(values["lineHeight"]), base=int(values["base"]))
            elif tag == "page":
                font["pages"][int(values["id"])] = values["file"]
            elif tag == "char":
                font["chars"][int(values["id"])] = {k: int(v) for k, v in values.items()}
            elif tag == "kerning":
                font["kernings"][(int(values["first"]), int(values["second"]))] = int(values["amount"])
            elif tag == "distanceField":
                font["range"] = int(values["distanceRange"])
    return font


def compose(folder, font, cut, baseline, height):
    """The line from the pages, the pen starting at LEFT on the baseline; a
    distance field cut at its outline, a pixel wide, as --preview does."""
    pages = {i: read_png(os.path.join(folder, file)) for i, file in font["pages"].items()}
    out = [[0] * WIDTH for _ in range(height)]
    pen, previous = LEFT, None
    for ch in LINE:
        code = ord(ch)
        glyph = font["chars"][code]
        if previous is not None:
            pen += font["kernings"].get((previous, code), 0)
        width, _, step, rows = pages[glyph["page"]]
        for row in range(glyph["height"]):
            for col in range(glyph["width"]):
                value = rows[glyph["y"] + row][(glyph["x"] + col) * step + step - 1]
                if cut:
                    value = max(0, min(255, round(127.5 + 255 * (value - 128) * font["range"] / 256)))
                x, y = pen + glyph["xoffset"] + col, baseline - font["base"] + glyph["yoffset"] + row
                if 0 <= x < WIDTH and 0 <= y < height:
                    out[y][x] = max(out[y][x], value)
        pen += glyph["xadvance"]
        previous = code
    return out


def compare(one, other):
    """Pixels that differ by more than a quarter, of those with ink in either:
    as placed, or at the best shift of one against the other (up to 2 pixels
    each way) when as placed they differ."""
    height = len(one)

    def at(dx, dy):
        ink = differing = 0
        for y in range(2, height - 2):
            for a, b in zip(one[y][2:WIDTH - 2], other[y + dy][2 + dx:WIDTH - 2 + dx]):
                ink += a > 64 or b > 64
                differing += abs(a - b) > 64
        return {"dx": dx, "dy": dy, "ink": ink, "differing": differing, "fraction": differing / max(ink, 1)}
    best = at(0, 0)
    if best["fraction"] >= 0.02:
        for dy in range(-2, 3):
            for dx in range(-2, 3):
                shifted = at(dx, dy)
                if shifted["differing"] < best["differing"]:
                    best = shifted
    return best


SCENE = """[gd_scene load_steps=2 format=2]

[ext_resource path="res://main.gd" type="Script" id=1]

[node name="Main" type="Node2D"]
script = ExtResource( 1 )
"""

SCRIPT = """extends Node2D
const LINE = "%(line)s"
const ROWS = %(rows)s

# Each row a Label, as a game shows text: a Label also draws a BitmapFont
# whose distance_field is set as a distance field.
func _ready():
	VisualServer.set_default_clear_color(Color(0, 0, 0))
	var result = []
	for row in ROWS:
		var font
		if row.direct:
			var data = DynamicFontData.new()
			data.font_path = "res://" + row.folder + "/direct.ttf"
			font = DynamicFont.new()
			font.font_data = data
			font.size = row.size
		else:
			font = ResourceLoader.load("res://" + row.folder + "/ui.fnt", "", true)
			if row.field:
				font.distance_field = true
		var label = Label.new()
		label.add_font_override("font", font)
		label.text = LINE
		label.rect_position = Vector2(%(left)d, row.baseline - font.get_ascent())
		add_child(label)
		var pens = []
		var pen = 0.0
		var present = 0
		for i in range(LINE.length()):
			var next = LINE.ord_at(i + 1) if i + 1 < LINE.length() else 0
			pens.append(pen)
			var size = font.get_char_size(LINE.ord_at(i), next)
			pen += size.x
			if size.x > 0:
				present += 1
		var pages = 0 if row.direct else font.get_texture_count()
		result.append({"pens": pens, "width": font.get_string_size(LINE).x, "present": present, "pages": pages,
			"ascent": font.get_ascent(), "distance_field": false if row.direct else font.distance_field})
	var file = File.new()
	file.open("res://result.json", File.WRITE)
	file.store_string(to_json(result))
	file.close()
	yield(VisualServer, "frame_post_draw")
	var image = get_viewport().get_texture().get_data()
	image.flip_y()
	image.save_png("res://shot.png")
	get_tree().quit()
"""


def run_godot(command, project, timeout, done=None):
    """Godot in a session of its own, under Xvfb where there is no display;
    ended, the session with it, once `done()` holds or the time is up."""
    display = [] if os.environ.get("DISPLAY") else ["xvfb-run", "-a"]
    process = subprocess.Popen(display + command + ["--path", project, "--audio-driver", "Dummy"],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    end = time.time() + timeout
    try:
        while process.poll() is None and time.time() < end and not (done and done()):
            time.sleep(0.2)
        if done and done():
            time.sleep(1)  # the last import written out whole
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGTERM)
        output = process.communicate()[0].decode("utf-8", "replace")
    return output


def check_driver(godot, driver, project):
    """The scene run with one renderer: what it drew against the atlas and
    the font itself. GLES2 draws no distance field, whatever the font says."""
    for name in ("shot.png", "result.json"):
        if os.path.exists(os.path.join(project, name)):
            os.remove(os.path.join(project, name))
    log = run_godot([godot, "--video-driver", driver], project, 60)
    if not os.path.exists(os.path.join(project, "shot.png")):
        print(log[-2000:])
        return ["%s: Godot drew nothing" % driver]
    with open(os.path.join(project, "result.json")) as f:
        results = json.load(f)
    _, _, step, shot = read_png(os.path.join(project, "shot.png"))

    def band(row):
        top = row["baseline"] - 2 * row["size"] + row["size"] // 2
        return [[shot[y][x * step] for x in range(WIDTH)] for y in range(top, top + 2 * row["size"])], top

    failures, drawn = [], {}
    for row, result in zip(ROWS, results):
        name = "%s, %s" % (driver, row["name"])
        pixels, top = band(row)
        drawn[row["name"]] = pixels
        if row.get("direct"):
            continue
        font = read_descriptor(os.path.join(project, row["folder"], "ui.fnt"))
        field = "range" in font
        reference = compose(os.path.join(project, row["folder"]), font, field, row["baseline"] - top, len(pixels))
        against = compare(pixels, reference)
        itself = next(r for r, x in zip(results, ROWS) if x.get("direct") and x["size"] == row["size"])
        apart = max(abs(a - b) for a, b in zip(result["pens"], itself["pens"]))
        print("%s: %d of %d characters, %d pages, distance_field %s; against the atlas composed: %.1f%% of %d ink "
              "pixels differ, at (%d, %d); width %.0f (DynamicFont %.0f), pens at most %.1f px from DynamicFont's"
              % (name, result["present"], len(LINE), result["pages"], result["distance_field"],
                 100 * against["fraction"], against["ink"], against["dx"], against["dy"], result["width"],
                 itself["width"], apart))
        alike = against["fraction"] < (0.25 if field else 0.02) and against["dx"] == against["dy"] == 0
        drawn_right = not field or (row.get("field") and driver == "GLES3")
        if result["present"] != len(LINE):
            failures.append("%s: characters without a glyph" % name)
        if drawn_right and not alike:
            failures.append("%s: not drawn as the atlas says" % name)
        if not drawn_right and alike:
            failures.append("%s: drawn as a field, which the README says it is not" % name)
        if apart > row["size"] / 12:
            failures.append("%s: pens unlike DynamicFont's" % name)
    if results[1]["pages"] < 2:
        failures.append("several pages: one page, the check shows nothing")
    pairs = [("one page", "the font itself (DynamicFont)")]
    if driver == "GLES3":
        pairs.append(("distance field, distance_field set", "the font itself at 48 (DynamicFont)"))
    for atlas, direct in pairs:
        pair = compare(drawn[atlas], drawn[direct])
        print("%s, %s against %s: %.1f%% of %d ink pixels differ, at (%d, %d)"
              % (driver, atlas, direct, 100 * pair["fraction"], pair["ink"], pair["dx"], pair["dy"]))
        if pair["fraction"] > 0.35:
            failures.append("%s, %s: unlike the font drawn by Godot's DynamicFont" % (driver, atlas))
    return failures


def main():
    cli, font_path = os.path.abspath(sys.argv[1]), sys.argv[2]
    godot, version = godot_3()
    if not godot:
        print("Godot 3 is not installed: the check is skipped")
        return SKIPPED
    if not os.environ.get("DISPLAY") and not shutil.which("xvfb-run"):
        print("No display and no xvfb-run: the Godot check is skipped")
        return SKIPPED
    project = tempfile.mkdtemp(prefix="charlib-godot-")
    try:
        with open(os.path.join(project, "line.txt"), "w", encoding="utf-8") as f:
            f.write(LINE + "\n")
        for row in ROWS:
            folder = os.path.join(project, row["folder"])
            if "args" in row:
                os.makedirs(folder)
                subprocess.run([cli, "-e", "utf-8", "../line.txt", "--font", font_path, "--atlas", "ui", "--size",
                                str(row["size"]), "--subset", "direct.ttf"] + row["args"], cwd=folder, check=True,
                               stdout=subprocess.DEVNULL)
        baseline = 0
        for row in ROWS:
            baseline += 2 * row["size"]
            row["baseline"] = baseline
        height = baseline + 2 * ROWS[-1]["size"]
        with open(os.path.join(project, "project.godot"), "w") as f:
            f.write('config_version=4\n\n[application]\nconfig/name="charlib check"\nrun/main_scene="res://main.tscn"\n\n'
                    '[display]\nwindow/size/width=%d\nwindow/size/height=%d\n\n'
                    '[rendering]\nquality/driver/driver_name="GLES3"\n' % (WIDTH, height))
        with open(os.path.join(project, "main.tscn"), "w") as f:
            f.write(SCENE)
        rows = [{"folder": r["folder"], "size": r["size"], "baseline": r["baseline"],
                 "direct": bool(r.get("direct")), "field": bool(r.get("field"))} for r in ROWS]
        with open(os.path.join(project, "main.gd"), "w", encoding="utf-8") as f:
            f.write(SCRIPT % {"line": LINE, "rows": json.dumps(rows), "left": LEFT})

        # The editor imports the pages, then is ended.
        pages = [os.path.join(row["folder"], name) for row in ROWS if "args" in row
                 for name in sorted(os.listdir(os.path.join(project, row["folder"]))) if name.endswith(".png")]
        imports = os.path.join(project, ".import")

        def imported():
            names = os.listdir(imports) if os.path.isdir(imports) else []
            return all(any(n.startswith(os.path.basename(p) + "-") and n.endswith(".stex") for n in names) and
                       os.path.exists(os.path.join(project, p + ".import")) for p in pages)
        started = time.time()
        log = run_godot([godot, "--editor", "--quit"], project, 90, imported)
        if not imported():
            print(log[-2000:])
            print("FAILED: Godot's editor did not import the pages")
            return 1
        print("%s: the editor imported %d pages in %.1f s" % (version, len(pages), time.time() - started))
        failures = []
        for driver in ("GLES3", "GLES2"):
            failures += check_driver(godot, driver, project)
        for failure in failures:
            print("FAILED:", failure)
        return 1 if failures else 0
    finally:
        if os.environ.get("KEEP"):
            print("kept", project)
        else:
            shutil.rmtree(project, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
