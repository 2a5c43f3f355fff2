#!/usr/bin/env bash
# Builds the Debian package of this build tree with CPack and unpacks it into a root of its own,
# as a machine would get it from `dpkg -i`: PACKAGE_DIR/root.
set -euo pipefail
build="$1" dir="$2"
rm -rf "$dir"
mkdir -p "$dir"
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$dir/pkg" >"$dir/cpack.log" 2>&1; then
  cat "$dir/cpack.log"
  exit 1
fi
debs=("$dir"/pkg/*.deb)
[ "${#debs[@]}" -eq 1 ] || { echo "expected one package, got: ${debs[*]}"; exit 1; }
dpkg-deb -x "${debs[0]}" "$dir/root"
dpkg-deb -f "${debs[0]}" Depends | tee "$dir/depends"
# Dependencies come from the libraries the programs link.
grep -q "libpng16" "$dir/depends"
