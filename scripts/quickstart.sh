#!/usr/bin/env bash
# One command for each of the two things a new machine needs:
#   bash scripts/quickstart.sh run    install what is missing, build, start the program on the
#                                     virtual EMU
#   bash scripts/quickstart.sh test   install what is missing, build, run every test
set -euo pipefail
mode=${1:-run}
here=$(cd "$(dirname "$0")/.." && pwd)
build=${EMU_BUILD_DIR:-$here/build}

packages=(build-essential cmake ninja-build qt6-base-dev qt6-serialport-dev libqcustomplot-dev
          fonts-liberation fonts-dejavu-core)
[ "$mode" = run ] && packages+=(libxcb-cursor0)

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

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${EMU_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"

case "$mode" in
  run)
    exec "$build/bin/emutune" --demo "${@:2}"
    ;;
  test)
    cd "$build"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" ${EMU_CTEST_ARGS:-}
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
