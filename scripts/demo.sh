#!/usr/bin/env bash
# Demo: make a sample DV AVI, stamp it with the default project, check the result, and write the
# stamped frame at midnight as a picture. Usage: scripts/demo.sh OUTDIR (kelo-cli from build/bin,
# or the one named by KELO_CLI).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CLI="${KELO_CLI:-$ROOT/build/bin/kelo-cli}"
OUT="${1:?usage: demo.sh OUTDIR}"
mkdir -p "$OUT/stamped"
# A stamp never replaces an existing output: an earlier demo's goes first.
rm -f "$OUT/stamped/sample.avi"

echo "demo: writing a 10 s 625/50 sample recorded from 2005-03-07 23:59:55 (across midnight)"
"$CLI" sample "$OUT/sample.avi" --system pal --type 2
"$CLI" project new "$OUT/default.zev"

echo "demo: stamping with the default project"
"$CLI" stamp --project "$OUT/default.zev" --output "$OUT/stamped" "$OUT/sample.avi" | tee "$OUT/run.log"

echo "demo: comparing input and output"
"$CLI" verify "$OUT/sample.avi" "$OUT/stamped/sample.avi" > "$OUT/verify.txt"
head -n 5 "$OUT/verify.txt"

# Midnight is 5 s into the sample: frame 125 at 25 frames a second.
"$CLI" frame "$OUT/stamped/sample.avi" --index 125 --out "$OUT/midnight.png"
"$CLI" frame "$OUT/sample.avi" --index 125 --out "$OUT/midnight-preview.png" --project "$OUT/default.zev" --stamp

if command -v ffmpeg >/dev/null 2>&1; then
  if [ -z "$(ffmpeg -v error -i "$OUT/stamped/sample.avi" -f null - 2>&1)" ]; then
    echo "demo: FFmpeg decodes the stamped file without errors"
  else
    echo "demo: FFmpeg reported errors on the stamped file" >&2
  fi
fi

cat <<EOT
demo: done
  sample input        $OUT/sample.avi
  project             $OUT/default.zev
  stamped output      $OUT/stamped/sample.avi
  run log             $OUT/run.log
  comparison          $OUT/verify.txt
  frame at midnight   $OUT/midnight.png (stamped file)
                      $OUT/midnight-preview.png (input, drawn as the preview draws it)
EOT
