#!/usr/bin/env bash
# Checks a scale-out run over the inputs of scaleout_fixture.sh: the merged report holds one
# entry per list line, the good files are stamped and verify against their inputs, the bad lines
# failed, and of the two files with one output name exactly one was stamped, into that output.
#   scaleout_check.sh KELO_CLI DIR REPORT
set -euo pipefail
cli="$1" dir="$2" report="$3"
fail() { echo "scale-out check: $*" >&2; echo "--- report" >&2; cat "$report" >&2; exit 1; }
entry() { grep -F "\"input\":\"$1\"" "$report" || true; }

[ "$(wc -l <"$report")" -eq 6 ] || fail "expected 6 report lines, got $(wc -l <"$report")"
for name in "a.avi" "b c.avi"; do
  line="$(entry "$dir/in/$name")"
  [[ "$line" == *'"status":"stamped"'* ]] || fail "$name not stamped"
  [[ "$line" == *'"frames":6,"framesStamped":6,'* ]] || fail "$name: wrong frame counts"
  "$cli" verify "$dir/in/$name" "$dir/out/$name" >/dev/null || fail "$name: output does not verify"
done
[[ "$(entry "$dir/in/a.avi")" == *'"firstRecorded":"2005-03-07 23:59:55"'* ]] || fail "a.avi: first recorded"
[[ "$(entry "$dir/in/missing.avi")" == *'"status":"failed"'* ]] || fail "missing file not failed"
[[ "$(entry "")" == *'"status":"failed"'* ]] || fail "blank line not failed"

stamped=0 winner=""
for d in x y; do
  line="$(entry "$dir/in/$d/dup.avi")"
  [ -n "$line" ] || fail "$d/dup.avi has no entry"
  if [[ "$line" == *'"status":"stamped"'* ]]; then stamped=$((stamped + 1)); winner="$d"; fi
done
[ "$stamped" -eq 1 ] || fail "$stamped of the two files with the same output name were stamped"
"$cli" verify "$dir/in/$winner/dup.avi" "$dir/out/dup.avi" >/dev/null || fail "out/dup.avi is not the stamped $winner/dup.avi"
echo "scale-out check: ok"
