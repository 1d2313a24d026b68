#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), builds, and runs either the
# main job against the built-in simulated terminal ("demo") or every test ("test").
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

PACKAGES=(cmake ninja-build g++ clang pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          liblzo2-dev zlib1g-dev libcli11-dev iproute2 python3 util-linux)
TEST_PACKAGES=(chromium)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "== installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
      echo "missing packages and not root: ${missing[*]}" >&2
      exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S "$ROOT" -B "$ROOT/build/$dir" -G Ninja -Wno-dev "$@" >/dev/null
  cmake --build "$ROOT/build/$dir" -j "$JOBS"
}

run_demo() {
  install_missing "${PACKAGES[@]}"
  build release -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_BENCH=OFF
  "$ROOT/build/release/bin/vxdemo" "$@"
}

run_tests() {
  install_missing "${PACKAGES[@]}"
  install_missing "${TEST_PACKAGES[@]}" || echo "== could not install ${TEST_PACKAGES[*]}; browser checks will be skipped"
  local status=0

  echo "== release build"
  build release -DCMAKE_BUILD_TYPE=Release
  (cd build/release && ctest --output-on-failure -j "$JOBS" --timeout 600) || status=1

  echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
  build asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_SANITIZE=address -DVX_BUILD_BENCH=OFF
  (cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure -j "$JOBS" --timeout 900) || status=1

  echo "== ThreadSanitizer build (threaded code)"
  build tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_SANITIZE=thread -DVX_BUILD_BENCH=OFF
  (cd build/tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
     ctest --output-on-failure -j "$JOBS" --timeout 900 -L threads) || status=1

  if [ -d fuzz ] && ls fuzz/*/CMakeLists.txt >/dev/null 2>&1; then
    echo "== fuzz targets (short runs)"
    build fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DVX_BUILD_FUZZ=ON -DVX_BUILD_BENCH=OFF
    (cd build/fuzz && ctest --output-on-failure --timeout 600 -L fuzz) || status=1
  fi
  return $status
}

case "${1:-}" in
  demo) shift; run_demo "$@" ;;
  test) run_tests ;;
  *) echo "usage: scripts/run.sh demo|test" >&2; exit 2 ;;
esac
