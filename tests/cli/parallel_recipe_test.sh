#!/usr/bin/env bash
# The GNU parallel recipe of docs/scale-out.md on this machine (sshlogin ":"), two files at once.
#   parallel_recipe_test.sh KELO_CLI SOURCE_DIR
set -euo pipefail
cli="$1" src="$2"
command -v parallel >/dev/null || { echo "GNU parallel is not installed"; exit 77; }
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
"$src/tests/cli/scaleout_fixture.sh" "$cli" "$dir"
echo "2/:" >"$dir/hosts"
export PARALLEL_HOME="$dir/.parallel"
mkdir -p "$PARALLEL_HOME" && touch "$PARALLEL_HOME/will-cite"
status=0
KELO_CLI="$cli" "$src/docs/recipes/parallel-stamp.sh" "$dir/hosts" "$dir/list" "$dir/out" "$dir/run.jsonl" \
  >"$dir/stdout" 2>&1 || status=$?
[ "$status" -eq 1 ] || { cat "$dir/stdout"; echo "recipe exit status $status, expected 1 (bad lines)"; exit 1; }
"$src/tests/cli/scaleout_check.sh" "$cli" "$dir" "$dir/run.jsonl"
