#!/usr/bin/env python3
"""How well `glwtool slices` finds the hits of the loops that
scripts/make-drum-loops.py builds, scored as onset detection is usually
scored: each slice start may match one true onset within the window and
each onset one start (a maximum one-to-one matching), precision = matched /
starts, recall = matched / onsets, F their harmonic mean.

Per loop and as the median over the loops: F within 50 ms and within 5 ms
at the default sensitivity, precision within 50 ms at sensitivity 70, and
of the starts matched within 50 ms the share that begins 0 to 3 ms before
its onset, and how many begin after it; of the onsets missed, how many
are buried: the sound hardly rises there (see buried()). Then F and
precision over all loops for sensitivities 0 to 100 in steps of 10.

    scripts/drum-loop-accuracy.py GLWTOOL LOOPS [--only NAME,...] [--quick]
"""

import argparse
import array
import itertools
import math
import os
import statistics
import subprocess
import sys
import wave

RATE = 44100


def slice_starts(tool, wav, sensitivity):
    out = subprocess.run([tool, "slices", "--sensitivity", str(sensitivity), wav],
                         capture_output=True, text=True)
    if out.returncode not in (0, 1):
        sys.exit("%s slices %s: %s" % (tool, wav, out.stderr.strip()))
    return [int(line.split("\t")[3]) for line in out.stdout.splitlines() if line.strip()]


def buried(wav, onsets):
    """How many of onsets the loop's sound hardly rises at: from 2 ms before
    to 3 ms after the onset, the power over the next 4 ms never stands 3 dB
    over that of the 12 ms before, on the samples or on their first
    difference (where a soft hat over a low tail rises): the tails and the
    bed before such a hit are about as loud as it is."""
    if not onsets:
        return 0
    with wave.open(wav) as w:
        channels = w.getnchannels()
        pcm = array.array("h", w.readframes(w.getnframes()))
    mono = [sum(pcm[i:i + channels]) / channels for i in range(0, len(pcm), channels)]
    sums = []
    for values in (mono, [b - a for a, b in zip([0.0] + mono, mono)]):
        sums.append(list(itertools.accumulate((v * v for v in values), initial=0.0)))
    after, before, step = int(0.004 * RATE), int(0.012 * RATE), int(0.00025 * RATE)
    count = 0
    for t in onsets:
        rise = 0.0
        for u in range(t - int(0.002 * RATE), t + int(0.003 * RATE) + 1, step):
            if u - before < 0 or u + after >= len(mono):
                rise = math.inf
                break
            for s in sums:
                new = (s[u + after] - s[u]) / after
                old = (s[u] - s[u - before]) / before
                rise = max(rise, (new + 1e-3) / (old + 1e-3))
        count += rise < 10 ** 0.3
    return count


def match(reference, estimated, window):
    """A maximum one-to-one matching of estimated to reference within window
    frames: {reference index: estimated index}."""
    candidates = []
    j0 = 0
    for i, r in enumerate(reference):
        while j0 < len(estimated) and estimated[j0] < r - window:
            j0 += 1
        row = []
        j = j0
        while j < len(estimated) and estimated[j] <= r + window:
            row.append(j)
            j += 1
        candidates.append(row)
    owner = {}

    def augment(i, seen):
        for j in candidates[i]:
            if j in seen:
                continue
            seen.add(j)
            if j not in owner or augment(owner[j], seen):
                owner[j] = i
                return True
        return False

    sys.setrecursionlimit(10000)
    for i in range(len(reference)):
        augment(i, set())
    return {i: j for j, i in owner.items()}


def scores(reference, estimated, window):
    matched = match(reference, estimated, window)
    n = len(matched)
    precision = n / len(estimated) if estimated else 0.0
    recall = n / len(reference) if reference else 0.0
    f = 2 * precision * recall / (precision + recall) if n else 0.0
    return f, precision, recall, matched


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tool")
    parser.add_argument("loops")
    parser.add_argument("--only", default="")
    parser.add_argument("--quick", action="store_true", help="leave out the sensitivity sweep")
    args = parser.parse_args()
    names = []
    with open(os.path.join(args.loops, "loops.txt")) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if not args.only or any(part in fields[0] for part in args.only.split(",")):
                names.append(fields)
    ms50 = int(0.05 * RATE)
    ms5 = int(0.005 * RATE)
    ms3 = int(0.003 * RATE)
    rows = []
    totals = {s: [0, 0, 0] for s in range(0, 101, 10)}
    missed_all = [0, 0]
    print("loop\tkit\ttempo\troom\tnoise\thits\tslices\tF50\tF5\tP@70\t0-3ms\tafter\tworst_ms"
          "\tmissed\tburied")
    for fields in names:
        name = fields[0]
        wav = os.path.join(args.loops, name + ".wav")
        with open(os.path.join(args.loops, name + ".txt")) as f:
            truth = [int(x) for x in f.read().split()]
        starts = slice_starts(args.tool, wav, 50)
        f50, _, _, matched = scores(truth, starts, ms50)
        f5 = scores(truth, starts, ms5)[0]
        p70 = scores(truth, slice_starts(args.tool, wav, 70), ms50)[1]
        offsets = [truth[i] - starts[j] for i, j in matched.items()]
        early = sum(1 for d in offsets if 0 <= d <= ms3) / max(1, len(offsets))
        after = sum(1 for d in offsets if d < 0)
        worst = max((abs(d) for d in offsets), default=0) * 1000.0 / RATE
        missed = [t for i, t in enumerate(truth) if i not in matched]
        hidden = buried(wav, missed)
        missed_all[0] += len(missed)
        missed_all[1] += hidden
        rows.append((f50, f5, p70, early))
        print("%s\t%s\t%s\t%s\t%s\t%d\t%d\t%.3f\t%.3f\t%.3f\t%.1f%%\t%d\t%.1f\t%d\t%d" % (
            name, fields[1][:14], fields[2], fields[3], fields[4], len(truth), len(starts), f50,
            f5, p70, 100 * early, after, worst, len(missed), hidden), flush=True)
        if not args.quick:
            for s in totals:
                est = starts if s == 50 else slice_starts(args.tool, wav, s)
                n = len(match(truth, est, ms50))
                totals[s][0] += n
                totals[s][1] += len(est)
                totals[s][2] += len(truth)
    if not rows:
        sys.exit("no loops")
    med = [statistics.median(r[k] for r in rows) for k in range(4)]
    print("median\t\t\t\t\t\t\t%.3f\t%.3f\t%.3f\t%.1f%%" % (med[0], med[1], med[2], 100 * med[3]))
    print("lowest\t\t\t\t\t\t\t%.3f\t%.3f\t%.3f\t%.1f%%" % tuple(
        min(r[k] for r in rows) * (100 if k == 3 else 1) for k in range(4)))
    print("missed %d onsets within 50 ms, %d of them buried" % tuple(missed_all))
    if not args.quick:
        print("sensitivity\tslices\tprecision\trecall\tF50 (all loops)")
        for s, (n, est, ref) in totals.items():
            p = n / est if est else 0.0
            r = n / ref if ref else 0.0
            print("%d\t%d\t%.3f\t%.3f\t%.3f" % (s, est, p, r, 2 * p * r / (p + r) if n else 0.0))


if __name__ == "__main__":
    main()
