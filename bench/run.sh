#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The performance benchmark: generates game-like trees from a seed and measures, on this machine,
#   W1  a whole unattended install: a 5.4 MB game archive (1,500 files) and a 1 MB package (300),
#   W2  the same install steps (after the version check, which compares sizes only) on the same
#       shape scaled to about 500 MB and 20,000 files,
#   kelmora-hpi pack, list and extract on W2's merged tree,
#   gzip -6 (one core) and pigz -6 (every core) on the same uncompressed bytes,
# with the peak resident memory of each of our runs. Prints a table and writes bench/results.md.
# It checks nothing and is never run by ctest.
#
#   bench/run.sh [BUILD_DIR] [SEED]
# Environment: RUNS=N (W1 runs, best of N; default 3), W2_MB=N (W2's size, default 500),
# BENCH_DIR=DIR (where the trees go; default the build folder, away from the churn of test runs
# in /tmp), NO_WRITE=1 (print only).
# W2 takes about 2.5 GB in BENCH_DIR while it runs; everything is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seed=${2:-31}
runs=${RUNS:-3}
scale=${W2_MB:-500}  # W2's size; smaller for a quick try
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
bin="$build/bin"
for tool in kelmora-installer kelmora-hpi kelmora-install-bench; do
  [[ -x $bin/$tool ]] || { echo "missing $bin/$tool: build first (cmake --build $build)" >&2; exit 2; }
done
for tool in gzip pigz tar /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

work=$(mktemp -d "${BENCH_DIR:-$build}/kelmora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
gen="$bin/kelmora-install-bench"
hpi="$bin/kelmora-hpi"

# measure COMMAND...: wall time (ms resolution) and peak resident memory of one run, into
# $seconds and $peak_mb.
measure() {
  local start end kb
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || {
    echo "failed: $*" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
  end=$(date +%s.%N)
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  kb=$(tail -1 "$work/time")
  peak_mb=$(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')
}
# Wall time of a pipeline (tar piped into a compressor), best of $1 runs.
measure_pipe() {
  local best="" r start end took
  for ((r = 0; r < $1; r++)); do
    start=$(date +%s.%N)
    eval "$2"
    end=$(date +%s.%N)
    took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    if [[ -z $best ]] || awk -v a="$took" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$took; fi
  done
  seconds=$best
}

# make_workload DIR GAME_FILES GAME_MB PACKAGE_FILES PACKAGE_MB: the trees, the archives and the
# merged tree (the game's files with the package's laid over them: what the install packs).
# Nothing is deleted until the end: on a file system without a journal, ext4 passes over inodes
# freed in the last minutes when it allocates new ones, and deleting thousands of files just
# before a run would slow every file the run creates.
make_workload() {
  local dir=$1
  mkdir -p "$dir"
  "$gen" generate --seed "$seed" --files "$2" --megabytes "$3" "$dir/game-tree"
  "$gen" generate --seed "$((seed + 1))" --files "$4" --megabytes "$5" --overlay "$seed:$2" \
    "$dir/package-tree/rev31.gp3"
  "$hpi" pack "$dir/game-tree" "$dir/rev31.gp3"
  "$hpi" pack "$dir/package-tree" "$dir/KELMORA.UFO"
  cp -al "$dir/game-tree" "$dir/merged"
  cp -r --remove-destination "$dir/package-tree/rev31.gp3/." "$dir/merged/"
}
# fresh_install DIR N [SIZE]: a game folder and a package folder of their own for install N.
fresh_install() {
  local dir=$1/run$2
  mkdir -p "$dir/game" "$dir/package"
  cp "$1/rev31.gp3" "$dir/game/rev31.gp3"
  cp "$1/KELMORA.UFO" "$dir/package/KELMORA.UFO"
  if [[ -n ${3:-} ]]; then
    truncate -s "$3" "$dir/game/rev31.gp3"
    truncate -s 32311035 "$dir/game/totala1.hpi"
    truncate -s 25871597 "$dir/game/ccdata.ccx"
  fi
}
bytes_of() { du -sb --apparent-size "$1" | cut -f1; }
files_of() { find "$1" -type f | wc -l; }

rows=()
row() {  # NAME SECONDS MEGABYTES BASELINE_SECONDS PEAK_MB
  rows+=("$(awk -v n="$1" -v s="$2" -v mb="$3" -v g="$4" -v p="$5" 'BEGIN {
    ratio = g > 0 ? sprintf("%.2f", s / g) : "-"
    printf "| %-36s | %8.3f | %8.1f | %7s | %8s |", n, s, mb / s, ratio, p }')")
}

echo "Generating W1 (seed $seed)..." >&2
w1="$work/w1"
make_workload "$w1" 1500 13 300 3
w1_archive=$(stat -c %s "$w1/rev31.gp3")
if ((w1_archive > 5481280)); then
  echo "W1's rev31.gp3 is $w1_archive bytes, over the game's 5481280" >&2; exit 1
fi
w1_bytes=$(bytes_of "$w1/merged")
w1_files=$(files_of "$w1/merged")
w1_mb=$(awk -v b="$w1_bytes" 'BEGIN { print b / 1e6 }')
for ((r = 0; r < runs; r++)); do fresh_install "$w1" "$r" 5481280; done

echo "W1: install x $runs, gzip -6..." >&2
w1_install=""
for ((r = 0; r < runs; r++)); do
  measure "$bin/kelmora-installer" --unattended --game-dir "$w1/run$r/game" \
    --package-dir "$w1/run$r/package"
  if [[ -z $w1_install ]] || awk -v a="$seconds" -v b="$w1_install" 'BEGIN { exit !(a < b) }'; then
    w1_install=$seconds w1_peak=$peak_mb
  fi
done
measure_pipe "$runs" "tar -C '$w1/merged' -cf - . | gzip -6 >/dev/null"
w1_gzip=$seconds
row "W1 install (unattended)" "$w1_install" "$w1_mb" "$w1_gzip" "$w1_peak"
row "W1 gzip -6" "$w1_gzip" "$w1_mb" "$w1_gzip" "-"

echo "Generating W2 (seed $seed)..." >&2
w2="$work/w2"
make_workload "$w2" $((16700 * scale / 500)) $((415 * scale / 500)) $((3300 * scale / 500)) \
  $((85 * scale / 500))
w2_bytes=$(bytes_of "$w2/merged")
w2_files=$(files_of "$w2/merged")
w2_mb=$(awk -v b="$w2_bytes" 'BEGIN { print b / 1e6 }')
w2_archive=$(stat -c %s "$w2/rev31.gp3")
fresh_install "$w2" 0

echo "W2: gzip -6, pigz -6..." >&2
measure_pipe 1 "tar -C '$w2/merged' -cf - . | gzip -6 >/dev/null"
w2_gzip=$seconds
measure_pipe 1 "tar -C '$w2/merged' -cf - . | pigz -6 >/dev/null"
w2_pigz=$seconds

echo "W2: kelmora-hpi pack, list, extract..." >&2
measure "$hpi" pack "$w2/merged" "$w2/tree.hpi"
pack=$seconds pack_peak=$peak_mb
measure "$hpi" list "$w2/tree.hpi"
list=$seconds list_peak=$peak_mb
measure "$hpi" extract "$w2/tree.hpi" "$w2/extracted"
extract=$seconds extract_peak=$peak_mb

echo "W2: install..." >&2
measure "$gen" install --game-dir "$w2/run0/game" --package-dir "$w2/run0/package"
w2_install=$seconds w2_peak=$peak_mb

row "W2 install (after the version check)" "$w2_install" "$w2_mb" "$w2_gzip" "$w2_peak"
row "W2 gzip -6" "$w2_gzip" "$w2_mb" "$w2_gzip" "-"
row "W2 pigz -6" "$w2_pigz" "$w2_mb" "$w2_gzip" "-"
row "kelmora-hpi pack (W2 tree)" "$pack" "$w2_mb" "$w2_gzip" "$pack_peak"
row "kelmora-hpi list (W2 archive)" "$list" "$w2_mb" "$w2_gzip" "$list_peak"
row "kelmora-hpi extract (W2 archive)" "$extract" "$w2_mb" "$w2_gzip" "$extract_peak"

verdict() { awk "BEGIN { exit !($1) }" && echo met || echo MISSED; }
targets=(
  "| W1 install ≤ 0.8 × gzip -6 | $(awk -v a="$w1_install" -v b="$w1_gzip" 'BEGIN { printf "%.2f ×", a / b }') | $(verdict "$w1_install <= 0.8 * $w1_gzip") |"
  "| W2 install ≤ 0.8 × gzip -6 | $(awk -v a="$w2_install" -v b="$w2_gzip" 'BEGIN { printf "%.2f ×", a / b }') | $(verdict "$w2_install <= 0.8 * $w2_gzip") |"
  "| pack ≤ 1.1 × pigz -6 | $(awk -v a="$pack" -v b="$w2_pigz" 'BEGIN { printf "%.2f ×", a / b }') | $(verdict "$pack <= 1.1 * $w2_pigz") |"
  "| extract ≥ 3 × faster than pack | $(awk -v a="$pack" -v b="$extract" 'BEGIN { printf "%.2f ×", a / b }') | $(verdict "$pack >= 3 * $extract") |"
  "| W2 install peak memory ≤ 64 MB (W1: $w1_peak MB) | $w2_peak MB | $(verdict "$w2_peak <= 64") |"
  "| W2 time per MB ≤ 1.25 × W1's | $(awk -v a="$w2_install" -v am="$w2_mb" -v b="$w1_install" -v bm="$w1_mb" 'BEGIN { printf "%.2f ×", (a / am) / (b / bm) }') | $(verdict "($w2_install / $w2_mb) <= 1.25 * ($w1_install / $w1_mb)") |"
)

cores=$(nproc)
{
  echo "# Benchmark results"
  echo
  echo "\`bench/run.sh $build $seed\` (RUNS=$runs), $(date -u '+%Y-%m-%d %H:%M UTC'), $cores cores,"
  echo "trees in $(df --output=fstype "$work" | tail -1) ($(dirname "$work")), load average before the run: $load_before."
  echo
  echo "- W1: $w1_files files, $(awk -v b="$w1_bytes" 'BEGIN { printf "%.1f", b / 1e6 }') MB merged; game archive $w1_archive bytes (padded to 5481280)."
  echo "- W2: $w2_files files, $(awk -v b="$w2_bytes" 'BEGIN { printf "%.1f", b / 1e6 }') MB merged; game archive $w2_archive bytes."
  echo "- Times are wall seconds (W1 install and gzip: best of $runs; W2: one run); MB/s over the"
  echo "  merged tree's uncompressed bytes;"
  echo "  the ratio is to gzip -6 on the same bytes; peak is the maximum resident set."
  echo
  echo "| run                                  | time (s) |     MB/s | × gzip  | peak MB  |"
  echo "|--------------------------------------|---------:|---------:|--------:|---------:|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "| target | measured | |"
  echo "|---|---|---|"
  printf '%s\n' "${targets[@]}"
} >"$work/results.md"
cat "$work/results.md"
if [[ -z ${NO_WRITE:-} ]]; then
  # The analysis below the figures, if any, is kept.
  notes=""
  [[ -f bench/results.md ]] && notes=$(sed -n '/^## Notes/,$p' bench/results.md)
  cp "$work/results.md" bench/results.md
  [[ -z $notes ]] || printf '\n%s\n' "$notes" >>bench/results.md
fi
