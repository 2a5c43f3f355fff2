#!/usr/bin/env bash
# Inputs for the scale-out recipes: DIR/in with short samples, DIR/list naming them (a name with a
# space, a blank line, a missing file, two files that would both become out/dup.avi placed so
# that different tasks get them), DIR/out for the stamped files.
#   scaleout_fixture.sh KELO_CLI DIR
set -euo pipefail
cli="$1" dir="$2"
mkdir -p "$dir/in/x" "$dir/in/y" "$dir/out"
"$cli" sample "$dir/in/a.avi" --frames 6
"$cli" sample "$dir/in/b c.avi" --frames 6 --scene "2011-06-01 08:00:00",1
"$cli" sample "$dir/in/x/dup.avi" --frames 6 --scene "2012-01-01 00:00:00",1
"$cli" sample "$dir/in/y/dup.avi" --frames 6 --scene "2013-01-01 00:00:00",1 --type 1
printf '%s\n' "$dir/in/a.avi" "$dir/in/x/dup.avi" "$dir/in/b c.avi" "" "$dir/in/y/dup.avi" "$dir/in/missing.avi" \
  >"$dir/list"
