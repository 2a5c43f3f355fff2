#!/usr/bin/env bash
# Renders the main window, Qt's own dialogs (and the dialogs, from their own test) to PNG files and
# lists them.
# Usage: scripts/screenshots.sh [build-folder]   (default: build)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
cmake --build "$BUILD" --target kelo-cli kelo_ui_screenshots_test kelo_ui_dialogs_test >/dev/null
export QT_QPA_PLATFORM=offscreen
export KELO_CLI="$BUILD/bin/kelo-cli"
export KELO_SOURCE_DIR="$ROOT"
export KELO_SCREENS_DIR="$BUILD/screens"
mkdir -p "$KELO_SCREENS_DIR"
"$BUILD/bin/kelo_ui_screenshots_test" >/dev/null
"$BUILD/bin/kelo_ui_dialogs_test" >/dev/null || true  # its windows are saved whatever the checks say
ls -1 "$KELO_SCREENS_DIR"/*.png
