// The descriptor's four forms read by readers that are not ours: load-bmfont
// (three-bmfont-text's loader, over parse-bmfont-ascii, -xml and -binary) must
// find in each the numbers the JSON form holds, the distance field where the
// form has a place for it, and layout-bmfont-text (three-bmfont-text's
// layout) must put the line's glyphs where the descriptor says; after
// --atlas-keep with a line more, load-bmfont must find each earlier glyph
// where it was; and an atlas
// made with --engine cocos or unity must have one page.
//
// Usage: node bmfont_readers.mjs CHARLIB_CLI FONT NPM_CACHE
// Exits 77 (skipped) when npm cannot fetch the readers.
import fs from "node:fs";
import path from "node:path";
import { LINE, SKIPPED, charlib, npmPackages, workFolder } from "./common.mjs";

const [cli, font, cache] = process.argv.slice(2).map((arg) => path.resolve(arg));
const require = npmPackages(cache, { "load-bmfont": "1.4.2", "layout-bmfont-text": "1.3.4" });
if (!require) process.exit(SKIPPED);
const loadFont = require("load-bmfont");
const createLayout = require("layout-bmfont-text");

const load = (file) => new Promise((resolve, reject) => loadFont(file, (error, parsed) => (error ? reject(error) : resolve(parsed))));
const failures = [];
const check = (ok, what) => {
    if (!ok) failures.push(what);
};

const work = workFolder("charlib-readers-");
// Several pages, a distance field and kerning: all that a form may lose.
const common = ["--font", font, "--size", "32", "--page", "256x128", "--sdf"];
const forms = {};
for (const form of ["json", "text", "xml", "binary"]) {
    const folder = path.join(work, form);
    fs.mkdirSync(folder);
    charlib(cli, folder, [...common, "--atlas", "ui", "--atlas-format", form]);
    const file = path.join(folder, form === "json" ? "ui.json" : "ui.fnt");
    forms[form] = { file, font: await load(file) };
}

// The numbers of a glyph, a pair, the common block, in one order.
const glyphs = (f) => f.chars.map((c) => [c.id, c.x, c.y, c.width, c.height, c.xoffset, c.yoffset, c.xadvance, c.page].join()).sort();
const pairs = (f) => (f.kernings || []).map((k) => [k.first, k.second, k.amount].join()).sort();
const head = (f) => [f.info.size, f.common.lineHeight, f.common.base, f.common.scaleW, f.common.scaleH, f.common.pages].join();
const reference = forms.json.font;
check(reference.pages.length > 1 && reference.kernings.length > 0, "json: the check needs several pages and kerning pairs");
for (const [form, { font: read }] of Object.entries(forms)) {
    const field = read.distanceField ? `${read.distanceField.fieldType} ${read.distanceField.distanceRange}` : "none";
    const same = {
        glyphs: glyphs(read).join(";") === glyphs(reference).join(";"),
        kerning: pairs(read).join(";") === pairs(reference).join(";"),
        common: head(read) === head(reference),
        pages: read.pages.join() === reference.pages.join(),
    };
    console.log(`${form}: ${read.chars.length} glyphs, ${(read.kernings || []).length} kerning pairs, ` +
        `${read.pages.filter(Boolean).length} of ${reference.pages.length} pages, distance field ${field}; as json: ` +
        Object.entries(same).map(([what, ok]) => `${what} ${ok ? "yes" : "NO"}`).join(", "));
    for (const [what, ok] of Object.entries(same))
        // parse-bmfont-xml keeps the first page of <pages> alone: the README says so, --engine three never asks for xml.
        if (!(form === "xml" && what === "pages")) check(ok, `${form}: ${what} unlike the json form's`);
    // The binary form has no place for it; parse-bmfont-xml reads no distanceField.
    if (form === "json" || form === "text") check(field === "sdf 8", `${form}: distance field read as ${field}`);
}
// --atlas-keep over each form, with a line more: these readers find every earlier glyph's numbers unchanged.
for (const [form, { file, font: before }] of Object.entries(forms)) {
    const folder = path.dirname(file);
    fs.writeFileSync(path.join(folder, "more.txt"), "新的一行：补丁只带改动的页面。\n");
    charlib(cli, folder, [...common, "--atlas", "ui", "--atlas-format", form, "--atlas-keep", "more.txt"]);
    const after = await load(file);
    const now = new Set(glyphs(after));
    const moved = glyphs(before).filter((glyph) => !now.has(glyph));
    console.log(`--atlas-keep, ${form}: ${after.chars.length - before.chars.length} glyphs added, ${moved.length} moved`);
    check(after.chars.length > before.chars.length && moved.length === 0, `--atlas-keep, ${form}: glyphs moved`);
}

// three-bmfont-text's layout: each glyph at the pen, kerned, as the descriptor says.
const layout = createLayout({ font: reference, text: LINE });
const byId = new Map(reference.chars.map((c) => [c.id, c]));
const kerning = new Map(reference.kernings.map((k) => [`${k.first},${k.second}`, k.amount]));
let pen = 0, previous = null, apart = 0;
for (const [i, ch] of [...LINE].entries()) {
    const glyph = byId.get(ch.codePointAt(0));
    if (previous) pen += kerning.get(`${previous.id},${glyph.id}`) || 0;
    apart = Math.max(apart, Math.abs(layout.glyphs[i].position[0] - pen));
    pen += glyph.xadvance;
    previous = glyph;
}
console.log(`layout-bmfont-text: ${layout.glyphs.length} glyphs of ${[...LINE].length}, ` +
    `pens at most ${apart} px from the descriptor's (the line's advance ${pen} px, its ink ${layout.width} px wide)`);
check(layout.glyphs.length === [...LINE].length && apart === 0, "layout-bmfont-text placed the line otherwise");

// Cocos and Unity: one page, as --engine gives it.
for (const engine of ["cocos", "unity"]) {
    const folder = path.join(work, engine);
    fs.mkdirSync(folder);
    charlib(cli, folder, ["--font", font, "--size", "32", "--atlas", "ui", "--engine", engine]);
    const read = await load(path.join(folder, "ui.fnt"));
    console.log(`--engine ${engine}: ${read.pages.length} page of ${read.common.scaleW}x${read.common.scaleH}`);
    check(read.pages.length === 1 && read.chars.every((c) => c.page === 0), `--engine ${engine}: several pages`);
}

for (const failure of failures) console.log("FAILED:", failure);
process.exitCode = failures.length ? 1 : 0;
