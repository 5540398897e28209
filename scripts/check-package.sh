#!/usr/bin/env bash
# Checks a built charlib .deb: its desktop entries and AppStream data validate,
# every file is where it belongs (the README and docs/ with every file they
# link), lintian finds no error or warning, the programs run from the unpacked package,
# and the man pages render and name every option.
#   scripts/check-package.sh charlib_VERSION_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for file in /usr/bin/charlib /usr/bin/charlib-cli /usr/bin/charlib-studio \
    /usr/share/applications/{charlib,charlib-studio}.desktop \
    /usr/share/metainfo/io.github.charlib.{Charlib,Studio}.metainfo.xml \
    /usr/share/man/{,zh_CN/}man1/{charlib,charlib-cli,charlib-studio}.1.gz \
    /usr/share/bash-completion/completions/charlib-cli \
    /usr/share/doc/charlib/copyright /usr/share/doc/charlib/changelog.gz /usr/share/doc/charlib/README.md \
    /usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/{charlib,charlib-studio}.png; do
  grep -qx "$file" "$work/contents" || fail "$file is not in the package"
done
# The README and docs/ are there, and so is every file they link (pictures, each other), where
# the link points: links hold in /usr/share/doc/charlib as in the source tree.
source_root=$(realpath "$(dirname "$0")/..")
for doc in README.md $(cd "$source_root" && ls docs/*.md); do
  grep -qx "/usr/share/doc/charlib/$doc" "$work/contents" || fail "$doc is not in the package"
  # Relative links only: no address (a colon), no anchor alone; an anchor after a file is dropped.
  for link in $(grep -oE '\]\([^)#: ]+' "$source_root/$doc" | cut -c3- | sort -u); do
    target=$(realpath -m --relative-to="$source_root" "$source_root/$(dirname "$doc")/$link")
    grep -qx "/usr/share/doc/charlib/$target" "$work/contents" || fail "$doc links $link, which is not in the package"
  done
done
echo "contents: $(grep -vc '/$' "$work/contents") files, each where it belongs"

dpkg -x "$deb" "$work/root"
root=$work/root
desktop-file-validate "$root"/usr/share/applications/{charlib,charlib-studio}.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/io.github.charlib.{Charlib,Studio}.metainfo.xml >/dev/null
for name in charlib charlib-studio; do
  grep -qx "Icon=$name" "$root/usr/share/applications/$name.desktop" || fail "$name.desktop does not name its icon"
  for size in 16 32 48 64 128 256; do
    file "$root/usr/share/icons/hicolor/${size}x${size}/apps/$name.png" | grep -q "$size x $size" ||
      fail "the ${size}x${size} icon $name.png is not $size pixels square"
  done
done
echo "desktop entries, AppStream data and icons: valid"

lintian --no-tag-display-limit "$deb" 2>/dev/null | tee "$work/lintian"
# A warning fails too: a program without its man page, say, is only a warning.
! grep -qE '^[EW]:' "$work/lintian" || fail "lintian reports errors or warnings"
echo "lintian: no errors, no warnings"

# The unpacked programs, run where they lie.
cli=$root/usr/bin/charlib-cli
"$cli" --version | grep -qx "charlib-cli [0-9.]*" || fail "charlib-cli --version"
printf '#\xd5\xc5\xc8\xfd\r\n\xc4\xe3\xba\xc3\r\n' >"$work/script.txt"  # "#张三", "你好"
[ "$("$cli" -m '#' -n 1 -s "$work/script.txt")" = "你好" ] || fail "charlib-cli extracts wrongly"
"$root/usr/bin/charlib" --version | grep -qx "charlib [0-9.]*" || fail "charlib --version"
"$root/usr/bin/charlib-studio" --version | grep -qx "charlib-studio [0-9.]*" || fail "charlib-studio --version"
echo "programs: run from the unpacked package"

# The man pages render without a warning, and name every option of charlib-cli --help.
for page in {,zh_CN/}man1/{charlib,charlib-cli,charlib-studio}; do
  text=$work/$(echo "$page" | tr / _).txt
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/$page.1.gz" >"$text" 2>"$text.warnings"
  [ -s "$text" ] || fail "the man page $page does not render"
  [ ! -s "$text.warnings" ] || { cat "$text.warnings" >&2; fail "the man page $page has warnings"; }
done
options=$(LANGUAGE=en "$cli" --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)
for option in $options; do
  for page in man1_charlib-cli zh_CN_man1_charlib-cli; do
    grep -q -- "$option" "$work/$page.txt" || fail "the man page $page lacks $option"
  done
  grep -q -- "$option" "$root/usr/share/bash-completion/completions/charlib-cli" || fail "completion lacks $option"
done
echo "man pages: render, and name all $(echo "$options" | wc -l) options, as the completion does"
