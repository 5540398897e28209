// PixiJS 8 and Phaser 4 draw charlib-cli's atlases in headless Chromium
// (WebGL through SwiftShader), each from the descriptor --engine gives it:
// the line drawn by the engine must be the atlas's glyphs where the
// descriptor puts them, and agree with the same line drawn with the font
// itself by the browser (FreeType). The forms and pages an engine cannot use
// are shown to fail as the README says.
//
// Usage: node browser_engines.mjs CHARLIB_CLI FONT NPM_CACHE
// Exits 77 (skipped) without Chromium, or when npm cannot fetch the engines.
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import { LINE, SKIPPED, charlib, npmPackages, which, workFolder } from "./common.mjs";

const [cli, font, cache] = process.argv.slice(2).map((arg) => path.resolve(arg));
const versions = { "puppeteer-core": "23.9.0", "pixi.js": "8.22.0", phaser: "4.2.1" };

// Each case: charlib-cli's options, the engine, and what must come of it:
// "drawn" (the atlas's glyphs in their places), "misdrawn" (glyphs wrong) or
// "refused" (no bitmap font loaded).
const cases = [
    { name: "PixiJS, --engine pixi (xml)", engine: "pixi", args: ["--engine", "pixi"], expect: "drawn" },
    { name: "PixiJS, text form", engine: "pixi", args: ["--engine", "pixi", "--atlas-format", "text"], expect: "drawn" },
    { name: "PixiJS, several pages", engine: "pixi", args: ["--engine", "pixi", "--page", "128x64"], expect: "drawn", pages: true },
    { name: "PixiJS, distance field (xml)", engine: "pixi", args: ["--engine", "pixi", "--sdf"], expect: "drawn", sdf: true },
    { name: "PixiJS, distance field (text)", engine: "pixi", args: ["--engine", "pixi", "--sdf", "--atlas-format", "text"], expect: "misdrawn", sdf: true },
    { name: "PixiJS, json form", engine: "pixi", args: ["--atlas-format", "json"], expect: "refused" },
    { name: "PixiJS, binary form", engine: "pixi", args: ["--atlas-format", "binary"], expect: "refused" },
    { name: "Phaser, --engine phaser (xml, one page)", engine: "phaser", args: ["--engine", "phaser"], expect: "drawn" },
    { name: "Phaser, several pages", engine: "phaser", args: ["--engine", "phaser", "--page", "128x64"], expect: "misdrawn", pages: true },
];

// In the page: the descriptor read by a few lines of our own, the line
// composed from the pages as BMFont says (the reference), the line drawn with
// the font by the browser, and pictures compared.
const shared = String.raw`
const LINE = ${JSON.stringify(LINE)};
function readDescriptor(text) {
    const font = { chars: {}, kernings: {}, pages: [] };
    for (const piece of text.split(/\n|\/?>/)) {
        const name = (piece.match(/^\s*<?(\w+)/) || [])[1];
        const values = {};
        for (const m of piece.matchAll(/(\w+)=("([^"]*)"|[^\s"]+)/g)) values[m[1]] = m[3] ?? m[2];
        if (name === "common") Object.assign(font, { lineHeight: +values.lineHeight, base: +values.base });
        if (name === "info") font.size = +values.size;
        if (name === "page") font.pages[+values.id] = values.file;
        if (name === "char") font.chars[+values.id] = Object.fromEntries(Object.entries(values).map(([k, v]) => [k, +v]));
        if (name === "kerning") font.kernings[values.first + "," + values.second] = +values.amount;
        if (name === "distanceField") font.range = +values.distanceRange;
    }
    return font;
}
function canvas(width, height) {
    const c = document.createElement("canvas");
    c.width = width; c.height = height;
    const g = c.getContext("2d", { willReadFrequently: true });
    g.fillStyle = "#000"; g.fillRect(0, 0, width, height);
    return [c, g];
}
function grey(g, width, height) {
    const rgba = g.getImageData(0, 0, width, height).data, out = new Uint8Array(width * height);
    for (let i = 0; i < out.length; ++i) out[i] = rgba[4 * i];
    return out;
}
// The glyphs where the descriptor puts them, the line's top at y; a distance
// field cut at its outline, a pixel wide, as --preview does.
async function compose(font, width, height, x, y) {
    const pages = await Promise.all(font.pages.map(async (file) => {
        const image = new Image(); image.src = file; await image.decode();
        const [c, g] = canvas(image.width, image.height);
        g.clearRect(0, 0, image.width, image.height); g.drawImage(image, 0, 0);
        return g.getImageData(0, 0, image.width, image.height);
    }));
    const out = new Uint8Array(width * height);
    let pen = x, previous = null;
    for (const ch of LINE) {
        const code = ch.codePointAt(0), glyph = font.chars[code];
        if (!glyph) continue;
        if (previous !== null) pen += font.kernings[previous + "," + code] || 0;
        const page = pages[glyph.page];
        for (let row = 0; row < glyph.height; ++row)
            for (let col = 0; col < glyph.width; ++col) {
                let value = page.data[4 * ((glyph.y + row) * page.width + glyph.x + col) + 3];
                if (font.range) value = Math.max(0, Math.min(255, Math.round(127.5 + 255 * (value - 128) * font.range / 256)));
                const px = pen + glyph.xoffset + col, py = y + glyph.yoffset + row;
                if (px >= 0 && py >= 0 && px < width && py < height) out[py * width + px] = Math.max(out[py * width + px], value);
            }
        pen += glyph.xadvance;
        previous = code;
    }
    return { pixels: out, width: pen - x };
}
// The line in the font itself, drawn by the browser, its baseline at y + base;
// the pen's place before each character, kerned against the one before.
async function direct(size, width, height, x, baseline) {
    await document.fonts.load(size + "px Direct", LINE);
    const [c, g] = canvas(width, height);
    g.font = size + "px Direct"; g.fillStyle = "#fff"; g.textBaseline = "alphabetic";
    g.fillText(LINE, x, baseline);
    const pens = [];
    let prefix = "";
    for (const ch of LINE) { prefix += ch; pens.push(g.measureText(prefix).width - g.measureText(ch).width); }
    return { pixels: grey(g, width, height), pens, width: g.measureText(LINE).width };
}
// Pixels that differ by more than a quarter, of those with ink in either,
// at the best shift of one against the other (up to 8 pixels each way).
function compare(one, other, width, height) {
    let best = null;
    for (let dy = -8; dy <= 8; ++dy)
        for (let dx = -8; dx <= 8; ++dx) {
            let ink = 0, differing = 0;
            for (let y = 8; y < height - 8; ++y)
                for (let x = 8; x < width - 8; ++x) {
                    const a = one[y * width + x], b = other[(y + dy) * width + x + dx];
                    if (a > 64 || b > 64) ++ink;
                    if (Math.abs(a - b) > 64) ++differing;
                }
            if (!best || differing < best.differing) best = { dx, dy, ink, differing, fraction: differing / Math.max(ink, 1) };
        }
    return best;
}
async function finish(font, drawn, enginePens, engineWidth, present, width, height, x, y) {
    const reference = await compose(font, width, height, x, y);
    const itself = await direct(font.size, width, height, x, y + font.base);
    const apart = Math.max(...enginePens.map((pen, i) => Math.abs(pen - itself.pens[i])));
    return {
        loaded: true, present, missing: [...LINE].length - present,
        atlas: compare(drawn, reference.pixels, width, height),
        font: compare(drawn, itself.pixels, width, height),
        widths: { engine: engineWidth, descriptor: reference.width, font: itself.width }, pensApart: apart,
    };
}
`;

const pixiPage = String.raw`
async function run(descriptor, width, height, x, y) {
    const app = new PIXI.Application();
    await app.init({ width, height, background: "#000000", preference: "webgl", antialias: false, resolution: 1 });
    document.body.appendChild(app.canvas);
    let font;
    try { font = await PIXI.Assets.load(descriptor); } catch (error) { return { loaded: false, why: String(error) }; }
    if (!(font instanceof PIXI.BitmapFont)) return { loaded: false, why: "Assets.load gave " + (typeof font === "string" ? "the text" : typeof font) + ", not a BitmapFont" };
    const ours = readDescriptor(await (await fetch(descriptor)).text());
    const text = new PIXI.BitmapText({ text: LINE, style: { fontFamily: font.fontFamily, fontSize: ours.size } });
    // PixiJS puts the line's top lineHeight - base lower than BMFont does.
    text.x = x; text.y = y - font.baseLineOffset;
    app.stage.addChild(new PIXI.Graphics().rect(0, 0, width, height).fill(0x000000), text);
    app.render();
    const { pixels } = app.renderer.extract.pixels({ target: app.stage, frame: new PIXI.Rectangle(0, 0, width, height) });
    const drawn = new Uint8Array(width * height);
    for (let i = 0; i < drawn.length; ++i) drawn[i] = pixels[4 * i];
    const layout = PIXI.BitmapFontManager.getLayout(LINE, text.style);
    const present = [...LINE].filter((ch) => font.chars[ch]).length;
    const result = await finish(ours, drawn, layout.lines[0].charPositions.map((p) => p + 0), layout.width, present, width, height, x, y);
    result.distanceField = font.distanceField;
    result.lower = font.baseLineOffset;
    result.ours = PIXI.Cache.get(font.fontFamily + "-bitmap") === font;
    return result;
}`;

const phaserPage = String.raw`
function run(descriptor, width, height, x, y) {
    return new Promise((resolve) => {
        new Phaser.Game({
            type: Phaser.WEBGL, width, height, backgroundColor: "#000000", banner: false, audio: { noAudio: true },
            scene: {
                preload() {
                    this.load.bitmapFont("ui", "ui_0.png", descriptor);
                    this.load.on("loaderror", (file) => resolve({ loaded: false, why: "could not load " + file.src }));
                },
                async create() {
                    const ours = readDescriptor(await (await fetch(descriptor)).text());
                    const data = this.cache.bitmapFont.get("ui").data;
                    const text = this.add.bitmapText(x, y, "ui", LINE, ours.size);
                    const bounds = text.getTextBounds(false);
                    const pens = bounds.characters.map((c) => c.x - data.chars[c.code].xOffset);
                    const present = [...LINE].filter((ch) => data.chars[ch.codePointAt(0)]).length;
                    this.game.renderer.snapshot(async (image) => {
                        const [c, g] = canvas(width, height);
                        g.drawImage(image, 0, 0);
                        resolve(await finish(ours, grey(g, width, height), pens, bounds.local.width, present, width, height, x, y));
                    });
                },
            },
        });
    });
}`;

function serve(folder, lib) {
    const server = http.createServer((request, response) => {
        const url = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
        const file = url.startsWith("/lib/") ? lib[url.slice(5)] || "" : path.join(folder, url);
        fs.readFile(file, (error, data) => {
            if (error) { response.writeHead(404); response.end(); return; }
            const type = { ".html": "text/html", ".js": "text/javascript", ".png": "image/png", ".ttf": "font/ttf" }[path.extname(file)];
            response.writeHead(200, type ? { "Content-Type": type } : {});
            response.end(data);
        });
    });
    return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server)));
}

async function main() {
    const browser = which(["chromium", "chromium-browser", "google-chrome"]);
    if (!browser) {
        console.log("Chromium is not installed: the engine check is skipped");
        return SKIPPED;
    }
    const require = npmPackages(cache, versions);
    if (!require) return SKIPPED;
    const puppeteer = require("puppeteer-core");
    const work = workFolder("charlib-engines-");
    const server = await serve(work, {
        "pixi.min.js": path.join(cache, "node_modules/pixi.js/dist/pixi.min.js"),
        "phaser.min.js": path.join(cache, "node_modules/phaser/dist/phaser.min.js"),
    });
    const base = `http://127.0.0.1:${server.address().port}/`;
    const chrome = await puppeteer.launch({
        executablePath: browser, headless: true,
        args: ["--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--ignore-gpu-blocklist", "--no-first-run"],
    });
    const failures = [];
    try {
        for (const [index, test] of cases.entries()) {
            const folder = path.join(work, String(index));
            fs.mkdirSync(folder);
            const size = test.sdf ? 48 : 24, width = size * 28, height = size * 3;
            const warnings = charlib(cli, folder,
                ["--font", font, "--atlas", "ui", "--subset", "direct.ttf", "--size", String(size), ...test.args]);
            const descriptor = fs.existsSync(path.join(folder, "ui.json")) ? "ui.json" : "ui.fnt";
            const several = fs.existsSync(path.join(folder, "ui_1.png"));
            fs.writeFileSync(path.join(folder, "index.html"), `<!doctype html><meta charset="utf-8">
<style>@font-face { font-family: Direct; src: url("direct.ttf"); } body { margin: 0; background: #000; }</style>
<script src="/lib/${test.engine === "pixi" ? "pixi" : "phaser"}.min.js"></script>
<script>${shared}${test.engine === "pixi" ? pixiPage : phaserPage}</script>`);
            const page = await chrome.newPage();
            page.on("pageerror", (error) => console.log(`  ${test.name}: page error: ${error.message}`));
            await page.goto(`${base}${index}/index.html`);
            const result = await page.evaluate(`run(${JSON.stringify(descriptor)}, ${width}, ${height}, ${size}, ${size})`);
            if (process.env.KEEP) await page.screenshot({ path: path.join(folder, "engine.png") });
            await page.close();
            const said = warnings.trim() ? ` (${warnings.trim().replace(/\n/g, " ")})` : "";
            if (!result.loaded) {
                console.log(`${test.name}: not loaded: ${result.why}${said}`);
                if (test.expect !== "refused") failures.push(`${test.name}: not loaded`);
                continue;
            }
            const { atlas, font: itself } = result;
            const figure = (c) => `${(100 * c.fraction).toFixed(1)}% of ${c.ink} ink pixels differ, at (${c.dx}, ${c.dy})`;
            console.log(`${test.name}: ${result.present} of ${[...LINE].length} characters${several ? ", several pages" : ""}` +
                `${result.distanceField ? `, distance field ${JSON.stringify(result.distanceField)}` : ""}` +
                `${result.lower ? `, placed ${result.lower} px higher (PixiJS puts a line lineHeight - base lower)` : ""}; ` +
                `against the atlas composed: ${figure(atlas)}; against the font drawn by the browser: ${figure(itself)}; ` +
                `widths engine ${result.widths.engine}, descriptor ${result.widths.descriptor}, font ${result.widths.font.toFixed(1)}; ` +
                `pens at most ${result.pensApart.toFixed(1)} px apart${said}`);
            if (test.expect === "refused") failures.push(`${test.name}: loaded, though the engine has no reader for it`);
            if (test.pages && !several) failures.push(`${test.name}: one page, the check shows nothing`);
            if (result.ours === false) failures.push(`${test.name}: PixiJS drew another font than the atlas`);
            const field = result.distanceField && result.distanceField.type === "sdf";
            if (test.sdf && field !== (test.expect === "drawn")) failures.push(`${test.name}: distance field ${field ? "" : "not "}read`);
            // A distance field's edge is PixiJS's own (it brightens it for light text): a wider margin.
            const alike = atlas.fraction < (test.sdf ? 0.25 : 0.02) && atlas.dx === 0 && atlas.dy === 0;
            if (test.expect === "drawn") {
                if (result.missing > 0) failures.push(`${test.name}: ${result.missing} characters without a glyph`);
                if (!alike) failures.push(`${test.name}: not drawn as the atlas says`);
                if (itself.fraction > 0.35 || result.pensApart > 2) failures.push(`${test.name}: unlike the font drawn by the browser`);
            }
            if (test.expect === "misdrawn" && alike) failures.push(`${test.name}: drawn right, though the engine reads one page`);
        }
    } finally {
        await chrome.close();
        server.close();
    }
    for (const failure of failures) console.log("FAILED:", failure);
    return failures.length ? 1 : 0;
}

process.exitCode = await main();
