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

# The font target's seeds come from fonts the machine has: small subsets of a
# CFF and a TrueType font, and cut-off copies of them.
mkdir -p "$work/font-seeds"
hb-subset --unicodes=41-43,4E2D --output-file="$work/font-seeds/cff.otf" \
  /usr/share/fonts/truetype/inconsolata/Inconsolata.otf
hb-subset --unicodes=41,4E2D,3002 --output-file="$work/font-seeds/glyf.ttf" \
  /usr/share/fonts/truetype/wqy/wqy-microhei.ttc
for seed in "$work"/font-seeds/*; do
  head -c 300 "$seed" >"$seed.cut"
done

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
for batch in "codepage extract sources" "reader font"; do
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
