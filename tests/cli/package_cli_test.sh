#!/usr/bin/env bash
# The unpacked kelo-cli runs from its prefix: version, a sample stamped and verified, its manual page.
set -euo pipefail
dir="$1" version="$2"
root="$dir/root/usr"
cli="$root/bin/kelo-cli"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$cli" --version | tee "$work/version"
grep -Eq "^kelo-cli $version( \(.+\))?$" "$work/version"

"$cli" sample "$work/tape.avi" --frames 8
mkdir "$work/out"
"$cli" stamp --output "$work/out" "$work/tape.avi" >/dev/null
"$cli" verify "$work/tape.avi" "$work/out/tape.avi" >/dev/null

ls "$root/share/kelo/help/"*.html >/dev/null
man="$root/share/man/man1/kelo-cli.1"
grep -q '^\.TH KELO-CLI "1"' "$man"
for section in "EXIT STATUS" "COMMANDS"; do grep -q "^\.SH \"\?$section" "$man"; done
grep -q '^\.SS subtitles' "$man"
if command -v man >/dev/null 2>&1; then
  MANWIDTH=100 man -l "$man" 2>/dev/null | grep -q "files-from"
fi
echo "package_cli: ok"
