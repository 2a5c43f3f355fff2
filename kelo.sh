#!/usr/bin/env bash
# The one entry point: setup, build, test, demo, fuzz, bench.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$ROOT"

PACKAGES=(
  build-essential clang cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  libpng-dev libicu-dev libfreetype-dev libfontconfig-dev
  libclang-rt-14-dev
  qt6-base-dev qt6-translations-l10n
  ffmpeg dvgrab mediainfo
  fonts-liberation2 fonts-wqy-microhei
  xvfb xauth
)

JOBS="$(nproc 2>/dev/null || echo 2)"

setup() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
      missing+=("$p")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    echo "setup: every package is installed"
    return 0
  fi
  echo "setup: installing ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() {  # dir, extra cmake args...
  local dir="$1"; shift
  local launcher=()
  # Rebuilds of many trees (work trees, sanitizer and release) share one compiler cache when there is one.
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

build() {
  configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
}

run_tests() {
  setup
  configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DKELO_SANITIZE=ON -DKELO_BENCH=OFF
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export QT_QPA_PLATFORM=offscreen
  ctest --test-dir build-asan --output-on-failure -j "$JOBS"
}

demo() {
  setup
  build
  local out="$ROOT/build/demo"
  mkdir -p "$out"
  if build/bin/kelo-cli sample --help >/dev/null 2>&1 && build/bin/kelo-cli stamp --help >/dev/null 2>&1; then
    "$ROOT/scripts/demo.sh" "$out"
  else
    build/bin/kelo-cli project new "$out/default.zev"
    build/bin/kelo-cli project show "$out/default.zev"
    echo "demo: default project written to $out/default.zev"
  fi
}

fuzz() {
  local seconds="${1:-30}"
  # Optimised, with the sanitizers: a target must run thousands of inputs a second to find much.
  configure_and_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DKELO_FUZZ=ON -DKELO_TESTS=OFF -DKELO_BENCH=OFF -DKELO_UI=OFF
  local summary=()
  for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    local name corpus artifacts log status
    name="$(basename "$target")"
    corpus="build-fuzz/corpus/$name"
    artifacts="build-fuzz/artifacts/$name/"
    log="build-fuzz/$name.log"
    mkdir -p "$corpus" "$artifacts"
    echo "fuzz: $name for ${seconds}s (log in $log)"
    status=0
    "$target" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=20 -print_final_stats=1 \
      -artifact_prefix="$artifacts" "$corpus" >"$log" 2>&1 || status=$?
    local execs rate added cov crash
    execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)"
    added="$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -n 1)"
    cov="$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)"
    crash="0 crashes"
    if [ "$status" -ne 0 ]; then
      crash="CRASH (exit $status, input in $(grep -o "Test unit written to [^ ]*" "$log" | tail -n 1 | cut -d' ' -f5))"
    fi
    summary+=("fuzz: $name: ${execs:-?} executions (${rate:-?}/s), coverage ${cov:-?}, ${added:-?} new inputs, $crash")
  done
  [ "${#summary[@]}" -gt 0 ] || summary=("fuzz: no fuzz targets")
  printf '%s\n' "${summary[@]}"
}

bench() {
  build
  for b in build/bin/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b"
  done
}

screenshots() {
  build
  scripts/screenshots.sh "$ROOT/build"
}

case "${1:-}" in
  setup) setup ;;
  build) build ;;
  test) run_tests ;;
  demo) demo ;;
  fuzz) shift; fuzz "${1:-30}" ;;
  bench) bench ;;
  screenshots) screenshots ;;
  *) echo "usage: ./kelo.sh setup|build|test|demo|fuzz [SECONDS]|bench|screenshots" >&2; exit 2 ;;
esac
