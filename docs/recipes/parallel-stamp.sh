#!/usr/bin/env bash
# Stamps every file of a list with GNU parallel over ssh hosts that share a file system: one
# kelo-cli per file, each writing its own report, merged into one JSON-lines report at the end.
#
#   parallel-stamp.sh HOSTS LIST OUTPUT REPORT [PROJECT]
#
# HOSTS   a GNU parallel sshloginfile: one host per line, "8/host" for 8 files at once on host,
#         ":" for this machine
# LIST    input files, one per line, as absolute paths every host sees
# OUTPUT  folder for the stamped files (shared)
# REPORT  the merged report (shared); REPORT.parts/ keeps the per-file reports, REPORT.joblog
#         GNU parallel's job log
# PROJECT project file (.zev); default settings without
# KELO_CLI names the program (default: kelo-cli on each host's PATH).
#
# Exit status: 0 when every file was stamped, 1 otherwise (the report says which and why).
set -uo pipefail
if [ "$#" -lt 4 ]; then
  sed -n '2,18p' "$0" >&2
  exit 2
fi
hosts="$1" list="$2" output="$3" report="$4" project="${5:-}"
cli="${KELO_CLI:-kelo-cli}"
parts="$report.parts"
rm -rf "$parts"
mkdir -p "$parts" || exit 2

args=(stamp --output "$output")
[ -n "$project" ] && args+=(--project "$project")
# {#} is the line number of the file in the list, so the parts merge back in list order.
parallel --sshloginfile "$hosts" --halt never --joblog "$report.joblog" \
  "$cli" "${args[@]}" --report "$parts/{#}.jsonl" {} :::: "$list"
status=$?

: >"$report"
lines="$(wc -l <"$list")"
for ((n = 1; n <= lines; n++)); do
  if [ -s "$parts/$n.jsonl" ]; then
    cat "$parts/$n.jsonl" >>"$report"
  else
    # The job never wrote its report (host lost, program missing): still one failed entry.
    name="$(sed -n "${n}p" "$list")"
    name="${name//\\/\\\\}"
    name="${name//\"/\\\"}"
    printf '{"input":"%s","status":"failed","reason":"no report from the job"}\n' "$name" >>"$report"
    status=1
  fi
done
[ "$status" -eq 0 ] && exit 0 || exit 1
