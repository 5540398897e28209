// What the engine checks share: the npm packages, fetched at test time into a
// cache folder (never into the repository), and charlib-cli's runs.
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import { createRequire } from "node:module";
import os from "node:os";
import path from "node:path";

export const SKIPPED = 77;

// The line every check draws: hanzi, full-width punctuation and a kerned pair.
export const LINE = "字库提取：游戏里的中文字体，一行就够了。AVATAR";

// The packages at the versions given, installed into `cache` unless they are
// there already. Returns require() for them, or null when npm cannot fetch
// them (no network, no npm): the check is then skipped.
export function npmPackages(cache, packages) {
    fs.mkdirSync(cache, { recursive: true });
    const manifest = path.join(cache, "package.json");
    if (!fs.existsSync(manifest)) fs.writeFileSync(manifest, '{"private": true}\n');
    const require = createRequire(manifest);
    const installed = (name, version) => {
        try {
            return JSON.parse(fs.readFileSync(path.join(cache, "node_modules", name, "package.json"))).version === version;
        } catch {
            return false;
        }
    };
    const wanted = Object.entries(packages).filter(([name, version]) => !installed(name, version));
    if (wanted.length > 0) {
        const npm = spawnSync("npm", ["install", "--no-audit", "--no-fund", "--no-save", "--ignore-scripts",
            ...wanted.map(([name, version]) => `${name}@${version}`)], { cwd: cache, encoding: "utf8", timeout: 240000 });
        if (npm.status !== 0) {
            console.log(`npm could not install ${wanted.map(([name]) => name).join(", ")}: ${(npm.stderr || npm.error || "").toString().trim().split("\n").pop()}`);
            return null;
        }
    }
    return require;
}

// A fresh folder, removed at the end unless KEEP is set.
export function workFolder(name) {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), name));
    process.on("exit", () => {
        if (process.env.KEEP) console.log("kept", folder);
        else fs.rmSync(folder, { recursive: true, force: true });
    });
    return folder;
}

// charlib-cli on the line, in `folder`; returns its standard error.
export function charlib(cli, folder, args) {
    fs.writeFileSync(path.join(folder, "line.txt"), LINE + "\n");
    const run = spawnSync(cli, ["-e", "utf-8", "line.txt", ...args], { cwd: folder, encoding: "utf8" });
    if (run.status !== 0) throw new Error(`charlib-cli ${args.join(" ")} failed (${run.status}): ${run.stderr}`);
    return run.stderr;
}

export function which(names) {
    for (const name of names)
        for (const dir of (process.env.PATH || "").split(":")) {
            const file = path.join(dir, name);
            if (fs.existsSync(file)) return file;
        }
    return null;
}
