#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine, builds, then runs.
#   scripts/dev.sh run    build and start the program
#   scripts/dev.sh test   build with warnings as errors and run every test
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
case "$mode" in
  run|test) ;;
  *) echo "usage: scripts/dev.sh run|test" >&2; exit 2 ;;
esac

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libopenal-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fonts-liberation2
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "== installing: ${missing[*]}"
  $sudo apt-get update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)

if [ "$mode" = test ]; then
  cmake -S . -B build-test -G Ninja -DGLW_WERROR=ON -DGLW_BUILD_TESTS=ON
  cmake --build build-test -j "$jobs"
  ctest --test-dir build-test --output-on-failure -j "$jobs"
  exit 0
fi

cmake -S . -B build -G Ninja -DGLW_BUILD_TESTS=ON
cmake --build build -j "$jobs"
demo=build/demo
rm -rf "$demo" && mkdir -p "$demo"
build/tests/support/make-demo-sounds "$demo/sounds"
build/cli/glwtool build "$demo/DEMO.glw" "$demo"/sounds/*
build/cli/glwtool info "$demo/DEMO.glw"
