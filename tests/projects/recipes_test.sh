#!/bin/sh
# The README's project file built by its recipes, as a user runs them: both are taken from the
# README (the fenced block after each "<!-- recipes_test.sh: NAME -->" line), so that what the
# README shows is what works. For the tool given, checks that a build runs charlib-cli once, that a
# second runs nothing, and that an edited translation file, an edited source of another job, a file
# added to a subfolder of a recursive source (with an old time, as a copy keeps it) and that file
# deleted each run it once more and change the font.
# Usage: recipes_test.sh CHARLIB_CLI README FONT TOOL (make, ninja, cmake-ninja or cmake-make)
# Exits 77 (skipped) when the tool or the font is missing; KEEP=1 keeps the temporary folder.
set -eu
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
charlib=$(absolute "$1") readme=$(absolute "$2") font=$(absolute "$3") tool=$4

skip() { echo "skipped: $1"; exit 77; }
[ -f "$font" ] || skip "no font $font"
case $tool in
    make) command -v make >/dev/null || skip "no make" ;;
    ninja) command -v ninja >/dev/null || skip "no ninja" ;;
    cmake-ninja) command -v cmake >/dev/null && command -v ninja >/dev/null || skip "no cmake or ninja" ;;
    cmake-make) command -v cmake >/dev/null && command -v make >/dev/null || skip "no cmake or make" ;;
    *) echo "unknown tool $tool"; exit 2 ;;
esac

work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
project=$work/game
runs=$work/runs

fail() { echo "FAIL ($tool): $1"; [ -f "$work/log" ] && cat "$work/log"; exit 1; }

# The fenced block after the README's marker line for NAME.
from_readme() {
    awk -v mark="<!-- recipes_test.sh: $1 -->" '
        $0 == mark { found = 1; next }
        found == 1 && /^```/ { found = 2; next }
        found == 2 && /^```/ { exit }
        found == 2 { print }' "$readme"
}

# charlib-cli on the PATH, counting its runs.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho run >> "%s"\nexec "%s" "$@"\n' "$runs" "$charlib" > "$work/bin/charlib-cli"
chmod +x "$work/bin/charlib-cli"
PATH=$work/bin:$PATH
export PATH
: > "$runs"

# The project the README's file describes, every font the one given.
mkdir -p "$project/fonts" "$project/lang/zh/dialogue/menus" "$project/launcher" "$project/site/pages"
cd "$project"
for name in NotoSansSC-Regular.otf NotoSansSC-Bold.otf wqy-microhei.ttc; do ln -s "$font" "fonts/$name"; done
printf 'msgid "Dragon Quest"\nmsgstr "勇者斗恶龙"\n' > lang/zh/titles.po
printf 'msgid "Once upon a time"\nmsgstr "很久以前，有一条龙。"\n' > lang/zh/dialogue/chapter1.po
printf '{"start": "开始游戏", "quit": "退出"}\n' > lang/zh/dialogue/menus/main.json
printf '{"play": "开始", "update": "更新"}\n' > launcher/strings.json
printf '<html><body><p>欢迎来到我们的网站。</p></body></html>\n' > site/pages/index.html
from_readme charlib.toml > charlib.toml
case $tool in
    make) from_readme Makefile > Makefile ;;
    ninja) from_readme build.ninja > build.ninja ;;
    cmake-*) from_readme CMakeLists.txt > CMakeLists.txt ;;
esac
for file in charlib.toml Makefile build.ninja CMakeLists.txt; do
    [ ! -f "$file" ] || [ -s "$file" ] || fail "the README has no $file"
done
if [ "$tool" = cmake-ninja ]; then cmake -S . -B build -G Ninja > "$work/log" 2>&1 || fail "cmake"; fi
if [ "$tool" = cmake-make ]; then cmake -S . -B build -G "Unix Makefiles" > "$work/log" 2>&1 || fail "cmake"; fi

build() {
    case $tool in
        make) make > "$work/log" 2>&1 ;;
        ninja) ninja > "$work/log" 2>&1 ;;
        cmake-*) cmake --build build > "$work/log" 2>&1 ;;
    esac || fail "the build failed"
}
run_count() { wc -l < "$runs" | tr -d ' '; }
# Builds, and checks that charlib-cli ran RUNS times in all, and that a build after it runs nothing.
build_expecting() {
    build
    [ "$(run_count)" = "$1" ] || fail "charlib-cli ran $(run_count) times in all, not $1 ($2)"
    build
    [ "$(run_count)" = "$1" ] || fail "a build after $2 ran charlib-cli again"
}
# Checks whether the dialogue atlas holds CHARACTER (its code point in decimal, as the .fnt says).
has_char() { grep -q "^char id=$1 " game/fonts/dialogue.fnt; }
# Times differ from the outputs' even where the file system's clock is coarse.
tick() { sleep 0.05; }

build_expecting 1 "the first build"
for output in game/fonts/title.fnt game/fonts/dialogue.fnt game/fonts/dialogue_0.png launcher/ui.ttf \
    site/fonts/font.css; do
    [ -s "$output" ] || fail "no $output"
done
cp game/fonts/title.fnt "$work/title.fnt"

tick
printf 'msgid "A turtle"\nmsgstr "一只龟"\n' >> lang/zh/dialogue/chapter1.po  # 龟 U+9F9F
build_expecting 2 "an edit"
has_char 40863 || fail "the edit is not in the atlas"
cmp -s game/fonts/title.fnt "$work/title.fnt" || fail "the title font changed"

# A source of another job, not in a folder: found only through the depfile.
tick
cp launcher/ui.ttf "$work/ui.ttf"
printf '{"play": "开始", "update": "下载更新"}\n' > launcher/strings.json
build_expecting 3 "an edit to the launcher's strings"
! cmp -s launcher/ui.ttf "$work/ui.ttf" || fail "the launcher's font did not change"

tick
printf '{"pause": "暂停"}\n' > lang/zh/dialogue/menus/pause.json  # 暂 U+6682
touch -d '2001-01-01' lang/zh/dialogue/menus/pause.json
build_expecting 4 "a new file"
has_char 26242 || fail "the new file is not in the atlas"

tick
rm lang/zh/dialogue/menus/pause.json
if [ "$tool" = cmake-make ]; then
    # CMake's Makefiles generator (3.25) adds what a depfile names to what it named before: the
    # deleted file stays a prerequisite, and every later build runs charlib-cli, which finds
    # nothing to do. The README says so.
    build
    [ "$(run_count)" = 5 ] || fail "charlib-cli ran $(run_count) times in all, not 5 (a deleted file)"
else
    build_expecting 5 "a deleted file"
fi
! has_char 26242 || fail "the deleted file is still in the atlas"
echo "ok ($tool)"
