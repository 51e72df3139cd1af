#!/usr/bin/env bash
# Times a whole install through the unattended mode on a generated game archive (about 5.4 MB,
# 1,500 files) and package (about 1 MB, 300 files), and, for scale, gzip -6 on the same bytes.
# Prints figures; it checks nothing. Usage: bench/install_bench.sh [BUILD_DIR] [SEED]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seed=${2:-31}
installer="$build/bin/kelmora-installer"
hpi="$build/bin/kelmora-hpi"
for tool in "$installer" "$hpi"; do
  [[ -x $tool ]] || { echo "missing $tool: build first (cmake --build $build)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Writes COUNT files of text drawn from a fixed vocabulary below ROOT, spread over 30 folders;
# with OVERLAY, every other file takes a path of the game's tree (same seed), the rest are new.
generate() {
  local root=$1 count=$2 seed=$3 overlay=$4
  awk -v root="$root" -v count="$count" -v seed="$seed" -v overlay="$overlay" 'BEGIN {
    srand(seed)
    for (w = 0; w < 4000; w++) {
      word = ""
      len = 3 + int(rand() * 8)
      for (c = 0; c < len; c++) word = word sprintf("%c", 97 + int(rand() * 26))
      vocabulary[w] = word
    }
    for (d = 0; d < 30; d++) system("mkdir -p \"" root "/dir" d "\"")
    for (f = 0; f < count; f++) {
      name = (overlay && f % 2 == 0) ? "file" (f * 5) : (overlay ? "new" f : "file" f)
      path = root "/dir" ((overlay && f % 2 == 0) ? (f * 5) % 30 : f % 30) "/" name ".txt"
      size = 1500 + int(rand() * 8000)
      text = ""
      while (length(text) < size) {
        text = text vocabulary[int(rand() * rand() * 4000)] " " int(rand() * 100000)
        text = text (rand() < 0.1 ? "\n" : " ")
      }
      printf "%s", text > path
      close(path)
    }
  }'
}

echo "Generating (seed $seed)..."
mkdir -p "$work/game" "$work/package-tree/rev31.gp3" "$work/package" "$work/merged"
generate "$work/game-tree" 1500 "$seed" 0
generate "$work/package-tree/rev31.gp3" 300 "$((seed + 1))" 1
"$hpi" pack "$work/game-tree" "$work/game/rev31.gp3"
"$hpi" pack "$work/package-tree" "$work/package/KELMORA.UFO"
archive_size=$(stat -c %s "$work/game/rev31.gp3")
package_size=$(stat -c %s "$work/package/KELMORA.UFO")
if (( archive_size > 5481280 )); then
  echo "the generated rev31.gp3 is $archive_size bytes, over the 5481280 it must be" >&2
  exit 1
fi
truncate -s 5481280 "$work/game/rev31.gp3"
truncate -s 32311035 "$work/game/totala1.hpi"
truncate -s 25871597 "$work/game/ccdata.ccx"
cp -r "$work/game-tree/." "$work/merged/"
cp -r "$work/package-tree/rev31.gp3/." "$work/merged/"
merged_bytes=$(du -sb --apparent-size "$work/merged" | cut -f1)
merged_files=$(find "$work/merged" -type f | wc -l)

echo "Installing..."
/usr/bin/time -v -o "$work/time" "$installer" --unattended --game-dir "$work/game" \
  --package-dir "$work/package" >"$work/out" 2>/dev/null || { cat "$work/out"; exit 1; }
wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time")
peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
install_seconds=$(awk -v t="$wall" 'BEGIN { n = split(t, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }')

start=$(date +%s.%N)
tar -C "$work/merged" -cf - . | gzip -6 >/dev/null
end=$(date +%s.%N)
gzip_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')

printf 'game archive:   %d bytes (padded to 5481280), 1500 files\n' "$archive_size"
printf 'package:        %d bytes, 300 files (150 replace game files)\n' "$package_size"
printf 'merged tree:    %d files, %d bytes uncompressed\n' "$merged_files" "$merged_bytes"
printf 'install:        %.3f s wall, %d KiB peak resident memory\n' "$install_seconds" "$peak_kb"
printf 'gzip -6 (tar):  %s s\n' "$gzip_seconds"
awk -v a="$install_seconds" -v b="$gzip_seconds" 'BEGIN { printf "ratio:          %.1f x gzip -6\n", a / b }'
