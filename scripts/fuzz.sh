#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 60), seeded
# from fuzz/corpus. A failing input is kept in build-sanitize/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
mkdir -p build-sanitize/artifacts
# libgettextpo keeps some of what it allocates while reading a PO file.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Where a table's record lies in an sfnt's directory: its offset is 8 bytes
# into it, its length 12.
table_record() {
  local file=$1 tag=$2 count i
  count=$(od -An -tu1 -j4 -N2 "$file" | awk '{ print $1 * 256 + $2 }')
  for ((i = 0; i < count; i++)); do
    if [ "$(dd if="$file" bs=1 skip=$((12 + 16 * i)) count=4 2>/dev/null)" = "$tag" ]; then
      echo $((12 + 16 * i))
      return
    fi
  done
}
u32_at() { od -An -tu1 -j"$2" -N4 "$1" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }'; }
# A copy of a font named SEED.NAME with BYTES (printf escapes) written at an offset.
damaged() {
  local seed=$1 name=$2 at=$3 bytes=$4
  cp "$seed" "$seed.$name"
  printf "$bytes" | dd of="$seed.$name" bs=1 seek="$at" conv=notrunc 2>/dev/null
}

# The font target's seeds come from fonts the machine has: small subsets of a
# CFF and a TrueType font, cut-off copies of them, and copies damaged as real
# files are: glyphs that are empty or cannot be loaded, and a glyph count,
# units per em or a table length that does not match the data.
mkdir -p "$work/font-seeds"
hb-subset --unicodes=41-43,4E2D --output-file="$work/font-seeds/cff.otf" \
  /usr/share/fonts/truetype/inconsolata/Inconsolata.otf
hb-subset --unicodes=41,4E2D,3002 --output-file="$work/font-seeds/glyf.ttf" \
  /usr/share/fonts/truetype/wqy/wqy-microhei.ttc
for seed in "$work"/font-seeds/*; do
  head -c 300 "$seed" >"$seed.cut"
done
glyf="$work/font-seeds/glyf.ttf" cff="$work/font-seeds/cff.otf"
table() { u32_at "$1" $(($(table_record "$1" "$2") + 8)); }
damaged "$glyf" units-per-em-16 $(($(table "$glyf" head) + 18)) '\x00\x10'
damaged "$glyf" glyph-count-huge $(($(table "$glyf" maxp) + 4)) '\xff\xff'
damaged "$cff" glyph-count-huge $(($(table "$cff" maxp) + 4)) '\xff\xff'
damaged "$glyf" loca-zero "$(table "$glyf" loca)" "$(printf '\\x00%.0s' $(seq 16))"
damaged "$glyf" glyf-garbage "$(table "$glyf" glyf)" "$(printf '\\xff%.0s' $(seq 64))"
damaged "$cff" cff-short $(($(table_record "$cff" "CFF ") + 12)) '\x00\x00\x00\xc8'

# In two batches side by side; each target writes its input to a file under TMPDIR.
fuzz() {
  local target=$1 seeds="fuzz/corpus/$1" max_len=4096
  [ "$target" = font ] && seeds="$work/font-seeds" max_len=16384
  mkdir -p "$work/$target"
  TMPDIR="$work" "build-sanitize/bin/fuzz_$target" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build-sanitize/artifacts/$target-" "$work/$target" "$seeds" >"$work/$target.log" 2>&1
}
report() {
  local target=$1 log="$work/$1.log"
  if [ "$2" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz_$target: FAILED (the input is in build-sanitize/artifacts/)"
    return 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  coverage=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
  echo "fuzz_$target: $runs runs in ${seconds} s, coverage $coverage, no failure"
}
failed=0
for batch in "codepage extract sources" "reader font" "atlas project"; do
  pids=()
  for target in $batch; do
    fuzz "$target" & pids+=($!)
  done
  i=0
  for target in $batch; do
    status=0; wait "${pids[$i]}" || status=$?; report "$target" $status || failed=1
    i=$((i + 1))
  done
done
exit $failed
