#!/usr/bin/env bash
# How well `glwtool slices` finds the hits of drum loops that sox makes from
# synthesized kicks, snares, hats and toms at known frames: gaps of 60 to
# 500 ms, levels from -30 to 0 dBFS, tails running under the next hit, every
# other loop over a noise floor at -54 dBFS. Prints one line per loop and
# the totals: hits found within 5 ms, how many of those start at or before
# their hit, and the onsets that match no hit (false).
#   scripts/slice-accuracy.sh GLWTOOL [LOOPS] [SLICES OPTIONS...]
set -euo pipefail
tool=${1:?usage: scripts/slice-accuracy.sh GLWTOOL [LOOPS] [SLICES OPTIONS...]}
loops=${2:-10}
shift $(($# > 1 ? 2 : 1))
command -v sox >/dev/null || { echo "sox is needed (apt-get install sox)" >&2; exit 2; }
# sox seeds its noise and dither the same way on every run, so that two
# builds are measured on the very same loops.
export SOX_OPTS="-R ${SOX_OPTS:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rate=44100
seconds=8
# Each drum peaks at full scale, so that a hit's gain is its peak level.
make() { sox -V1 -n -r $rate -b 16 -c 1 "$work/$1.wav" "${@:2}" norm; }
make kick synth 0.4 sine 150:45 fade l 0 0.4 0.38
make tom synth 0.3 sine 140:95 fade l 0 0.3 0.29
make snare synth 0.2 whitenoise gain -6 highpass 900 fade l 0 0.2 0.19
make hat synth 0.07 whitenoise gain -6 highpass 7000 fade l 0 0.07 0.068
sox -V1 -n -r $rate -b 16 -c 1 "$work/floor.wav" synth $seconds whitenoise vol 0.002

total_hits=0 total_found=0 total_early=0 total_onsets=0 total_false=0
for ((loop = 1; loop <= loops; ++loop)); do
  # Hit frames, drums and gains from a seeded generator.
  awk -v seed="$loop" -v rate=$rate -v seconds=$seconds 'BEGIN {
    srand(seed); split("kick snare hat tom", drums, " ");
    level = -30 * rand(); at = int(rate / 10);
    while (at < (seconds - 0.5) * rate) {
      db = level - 12 * rand(); if (db < -30) db = -30;
      printf "%d %s %.6f\n", at, drums[1 + int(4 * rand())], 10 ^ (db / 20);
      at += int((0.06 + 0.44 * rand()) * rate);
    }
  }' >"$work/hits"
  inputs=()
  while read -r at drum gain; do
    sox -V1 -v "$gain" "$work/$drum.wav" "$work/x$at.wav" pad "${at}s"
    inputs+=(-v 1 "$work/x$at.wav")
  done <"$work/hits"
  ((loop % 2 == 0)) && inputs+=(-v 1 "$work/floor.wav")
  sox -V1 -m "${inputs[@]}" "$work/loop$loop.wav" trim 0 "$seconds"
  rm -f "$work"/x*.wav
  "$tool" slices "$@" "$work/loop$loop.wav" | cut -f4 >"$work/starts"
  # Each hit takes the nearest unused onset within 5 ms.
  read -r hits found early onsets false_ < <(awk -v tol=$((rate * 5 / 1000)) '
    NR == FNR { starts[n++] = $1; next }
    { hit = $1; best = -1;
      for (i = 0; i < n; ++i) {
        d = starts[i] - hit; if (d < 0) d = -d;
        if (!(i in used) && d <= tol && (best < 0 || d < bestd)) { best = i; bestd = d }
      }
      ++hits; if (best >= 0) { used[best] = 1; ++found; if (starts[best] <= hit) ++early }
    }
    END { print hits, found, early, n, n - found }' "$work/starts" "$work/hits")
  printf 'loop %2d: %3d hits, %3d found, %3d of them at or before the hit, %d false of %d\n' \
    "$loop" "$hits" "$found" "$early" "$false_" "$onsets"
  total_hits=$((total_hits + hits)) total_found=$((total_found + found))
  total_early=$((total_early + early)) total_onsets=$((total_onsets + onsets))
  total_false=$((total_false + false_))
done
awk -v h=$total_hits -v f=$total_found -v e=$total_early -v o=$total_onsets -v x=$total_false \
  'BEGIN { printf "all: %d hits, %.1f %% found within 5 ms (%d at or before the hit), %d false of %d onsets (%.1f %%)\n",
           h, 100 * f / h, e, x, o, o ? 100 * x / o : 0 }'
