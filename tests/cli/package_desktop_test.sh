#!/usr/bin/env bash
# The unpacked desktop program: its entry and icon, its version, and a help page found relative to
# the executable. Exits 77 (skipped) when the package holds no desktop program, or one without
# --open-help.
set -euo pipefail
dir="$1"
root="$dir/root/usr"
kelo="$root/bin/kelo"
[ -x "$kelo" ] || { echo "no desktop program in the package"; exit 77; }

entry="$root/share/applications/kelo.desktop"
grep -qx 'Exec=kelo %F' "$entry"
grep -q '^MimeType=.*video/x-msvideo' "$entry"
grep -q '^MimeType=.*video/x-dv' "$entry"
grep -q '^MimeType=.*video/quicktime' "$entry"
grep -q '<svg' "$root/share/icons/hicolor/scalable/apps/kelo.svg"

export QT_QPA_PLATFORM=offscreen
if ! timeout 20 "$kelo" --version >"$dir/kelo-version" 2>&1 || ! grep -q '^kelo ' "$dir/kelo-version"; then
  echo "kelo has no --version yet"; exit 77
fi
page="$(timeout 20 "$kelo" --open-help 0x20066 2>/dev/null)" || { echo "kelo has no --open-help yet"; exit 77; }
case "$page" in
  "$root/share/kelo/help/"*.html) [ -f "$page" ] ;;
  *) echo "help page not from the package: $page"; exit 1 ;;
esac
echo "package_desktop: ok"
