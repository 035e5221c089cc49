#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine, builds, then runs.
#   scripts/dev.sh run    build, make a demo bank with glwtool, start the app
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
  qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev
  libopenal-dev libsndfile1-dev libsoxr-dev libkissfft-dev libebur128-dev
  libasound2-dev libjack-jackd2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fonts-liberation2 shared-mime-info
)
# The test run also builds the fuzz targets with clang's libFuzzer, checks
# the formatting, and plays MIDI through a real JACK server (dummy driver).
[ "$mode" = test ] && packages+=(clang-14 libclang-rt-14-dev clang-format-14 jackd2)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  # Wait for a dpkg lock another apt holds instead of failing at once.
  apt_get() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"; }
  echo "== installing: ${missing[*]}"
  apt_get update -q
  apt_get install -y -q --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)

if [ "$mode" = test ]; then
  stage() { echo; echo "== $*"; }

  stage "formatting: every C++ file as the project's .clang-format lays it out"
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-14 --dry-run --Werror

  stage "build with warnings as errors, run every test"
  cmake -S . -B build-test -G Ninja -DGLW_WERROR=ON -DGLW_BUILD_TESTS=ON
  cmake --build build-test -j "$jobs"
  ctest --test-dir build-test --output-on-failure -j "$jobs"

  stage "every test again under AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGLW_ASAN=ON -DGLW_BUILD_TESTS=ON
  cmake --build build-asan -j "$jobs"
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

  stage "the sound engine's tests under ThreadSanitizer"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLW_TSAN=ON -DGLW_BUILD_GUI=OFF
  cmake --build build-tsan -j "$jobs" --target engine_test_programs
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" \
    -R '^(EngineTest|EngineWithoutDevice|CaptureTest|SlotModel|CardBanks|GlwtoolPlay|JackRows|RecordTest)\.'

  stage "fuzz targets (libFuzzer): replay the seed corpus, then fuzz each for a bounded time"
  CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGLW_FUZZ=ON -DGLW_ASAN=ON -DGLW_BUILD_GUI=OFF
  cmake --build build-fuzz -j "$jobs" --target fuzz_targets
  seconds=${GLW_FUZZ_SECONDS:-60}
  for target in build-fuzz/tests/fuzz/fuzz_*; do
    name=$(basename "$target")
    corpus=tests/fuzz/corpus/${name#fuzz_}
    work=$(mktemp -d)
    "$target" -runs=0 "$corpus"
    "$target" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/$name-" "$work" "$corpus" 2>&1 | tail -n 12
    rm -rf "$work"
  done

  stage "install like a desktop application: file list, validators, Debian package"
  scripts/check-install.sh

  echo
  echo "All tests passed."
  exit 0
fi

cmake -S . -B build -G Ninja -DGLW_BUILD_TESTS=ON
cmake --build build -j "$jobs"

# A demonstration bank from a few generated sounds, built and checked with
# the command-line tool.
demo=build/demo
rm -rf "$demo" && mkdir -p "$demo"
build/tests/support/make-demo-sounds "$demo/sounds"
build/cli/glwtool build "$demo/DEMO.glw" "$demo"/sounds/*
build/cli/glwtool info "$demo/DEMO.glw"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo
  echo "No display: the window needs an X11 or Wayland desktop. Use glwtool instead" >&2
  echo "(build/cli/glwtool --help); the demo bank above was built with it." >&2
  exit 0
fi
# The demo sounds are in build/demo/sounds for the first try.
exec build/app/gridlume-voice-manager
