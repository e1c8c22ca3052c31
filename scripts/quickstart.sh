#!/usr/bin/env bash
# One command for each of the two things a new machine needs:
#   bash scripts/quickstart.sh run    install what is missing, build, start the program on the
#                                     virtual EMU
#   bash scripts/quickstart.sh test   install what is missing, build, run every test
# and, for continuous integration:
#   bash scripts/quickstart.sh sanitize   every test again, built with AddressSanitizer and
#                                         UndefinedBehaviorSanitizer (build-asan)
#   bash scripts/quickstart.sh fuzz [S]   a bounded libFuzzer run of the setup file reader
set -euo pipefail
mode=${1:-run}
here=$(cd "$(dirname "$0")/.." && pwd)
build=${EMU_BUILD_DIR:-$here/build}

packages=(build-essential cmake ninja-build qt6-base-dev qt6-serialport-dev libqcustomplot-dev
          fonts-liberation fonts-dejavu-core)
[ "$mode" = run ] && packages+=(libxcb-cursor0)
[ "$mode" = fuzz ] && packages+=(clang libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

if [ "$mode" = fuzz ]; then
  exec bash "$here/fuzz/run.sh" "${2:-60}"
fi
if [ "$mode" = sanitize ]; then
  build=${EMU_ASAN_BUILD_DIR:-$here/build-asan}
  EMU_CMAKE_ARGS="-DEMU_SANITIZE=ON -DEMU_BENCH=OFF ${EMU_CMAKE_ARGS:-}"
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/scripts/lsan.supp:print_suppressions=0}
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${EMU_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"

case "$mode" in
  run)
    exec "$build/bin/emutune" --demo "${@:2}"
    ;;
  test|sanitize)
    cd "$build"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" ${EMU_CTEST_ARGS:-}
    ;;
  *)
    echo "usage: $0 run|test|sanitize|fuzz [seconds]" >&2
    exit 2
    ;;
esac
