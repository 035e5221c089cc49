#!/usr/bin/env python3
"""Drum loops built from real recorded hits at known times, for measuring
the slicer (scripts/drum-loop-accuracy.py).

Hits come from the acoustic kits of Debian's hydrogen-drumkits package, or
with --kits GMRockKit from hydrogen-data's, a kit the slicer was not tuned
on (installed with apt when missing). Their licences are not ours: the loops
go into a folder outside the repository and are never committed.

Each kit gives four loops at a tempo from 80 to 174 BPM: a groove of kick,
snare, hats and now and then a tom or cymbal on a sixteenth-note grid, a
little off the grid as a drummer plays, velocity layers as the kit has
them, soft ghost notes a sixteenth after loud hits, every tail running on
under the hits after it (a hat's until the next hat chokes it). Two loops
of each kit are dry, two go through a room reverb (sox); each pair has one
over a pink-noise bed at -40 dBFS and one at -30 dBFS (RMS). With --room
large the reverb is a larger, more reverberant room whose tail stays bright
longer, a harder case for telling soft hits from the tails of loud ones.

A hit's onset is the first sample of its attack at its placed position:
the first sample of the recording that rises to 40 dB below its peak.
Hits that start together are one onset. Written per loop: NAME.wav (44.1
kHz, 16-bit stereo) NAME.txt (one onset a line, in frames), NAME.notes (onset,
recording, velocity, its attack's frame in the recording), and
loops.txt (name, kit, tempo, reverb, noise bed, hits).

    scripts/make-drum-loops.py OUT [--kits A,B,...] [--seed N] [--room small|large]
"""

import argparse
import array
import math
import os
import random
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

RATE = 44100
KITS_DIR = "/usr/share/hydrogen/data/drumkits"
# The acoustic kits; the rest are electronic.
ACOUSTIC = [
    "ColomboAcousticDrumkit", "Millo_MultiLayered2", "The Black Pearl 1.0", "ForzeeStereo",
    "BJA_Pacific", "Millo_MultiLayered3", "rumpf_kit_z01_h2", "Millo-Drums_v.1",
    "Gimme A Hand 1.0", "circAfrique v4",
]
# sox reverb: reverberance %, HF damping %, room scale %, stereo depth %,
# pre-delay ms.
ROOMS = {
    "small": ["50", "50", "80", "100", "10"],
    "large": ["90", "30", "100", "100", "20"],
}
ROLES = [
    ("kick", r"kick|bass ?drum|\bbd\b|^bd|bd_|djembe.*bass|dununba|cajonthump"),
    ("snare", r"snare|\bsd\b|^sd|sn_|sn\d|rim|stick|clap|slap|cajonslap"),
    ("hat", r"hat|\bhh|^hh|shaker|tamb|cabasa"),
    ("tom", r"tom|\bft\b|^t\d|bongo|conga|djembe.*tone|kenkeni|sangban|tm"),
    ("cymbal", r"crash|ride|cymbal|china|splash|\bcc|\brc|bell|cowbell|clave|cb"),
]


def ensure_packages(kits):
    """Installs the packages that hold the kits asked for: hydrogen-drumkits,
    and hydrogen-data for GMRockKit."""
    missing = [k for k in kits if not os.path.isdir(os.path.join(KITS_DIR, k))]
    if not missing:
        return
    packages = ["hydrogen-drumkits"] + (["hydrogen-data"] if "GMRockKit" in missing else [])
    print("installing " + " ".join(packages), file=sys.stderr)
    subprocess.run(["apt-get", "install", "-y", *packages], check=True)


def role_of(text):
    text = text.lower()
    for role, pattern in ROLES:
        if re.search(pattern, text):
            return role
    return None


def kit_samples(kit):
    """{role: [[layer file, ...] per instrument]} from the kit's drumkit.xml,
    or from the file names when it has none."""
    folder = os.path.join(KITS_DIR, kit)
    roles = {}
    xml = os.path.join(folder, "drumkit.xml")
    if os.path.exists(xml):
        root = ET.parse(xml).getroot()
        for el in root.iter():
            if el.tag.split("}")[-1] != "instrument":
                continue
            name = ""
            files = []
            for child in el.iter():
                tag = child.tag.split("}")[-1]
                if tag == "name" and not name and child.text:
                    name = child.text
                if tag == "filename" and child.text:
                    path = os.path.join(folder, child.text)
                    if os.path.exists(path) and path not in files:
                        files.append(path)
            role = role_of(name) or (role_of(os.path.basename(files[0])) if files else None)
            if role and files:
                roles.setdefault(role, []).append(sorted(files))
    if not roles:
        for name in sorted(os.listdir(folder)):
            role = role_of(name)
            if role and name.lower().endswith((".wav", ".flac", ".aif", ".aiff")):
                roles.setdefault(role, []).append([os.path.join(folder, name)])
    return roles


class Sample:
    """A recording at 44.1 kHz stereo, its peak and where its attack starts."""

    def __init__(self, path, cache):
        key = re.sub(r"[^A-Za-z0-9]+", "_", path) + ".f32"
        raw = os.path.join(cache, key)
        if not os.path.exists(raw):
            subprocess.run(["sox", "-V1", path, "-t", "f32", "-c", "2", "-r", str(RATE), raw,
                            "rate", "-v", str(RATE)], check=True)
        data = array.array("f")
        with open(raw, "rb") as f:
            data.frombytes(f.read())
        self.left = data[0::2]
        self.right = data[1::2]
        self.peak = max(max(map(abs, self.left), default=0), max(map(abs, self.right), default=0))
        threshold = self.peak * 0.01
        self.attack = 0
        for i in range(len(self.left)):
            if abs(self.left[i]) >= threshold or abs(self.right[i]) >= threshold:
                self.attack = i
                break


def groove(rng, bars):
    """(sixteenth, role, velocity 0..1) of a groove: kick on the ones, snare
    on the backbeats, hats, fills, ghost notes after loud hits."""
    notes = []
    hat_step = rng.choice([1, 2, 2])
    for bar in range(bars):
        base = 16 * bar
        kicks = {0, 8} | {s for s in (3, 6, 10, 11, 14) if rng.random() < 0.3}
        for s in range(16):
            at = base + s
            if s in kicks:
                notes.append((at, "kick", rng.uniform(0.7, 1.0)))
            if s in (4, 12):
                notes.append((at, "snare", rng.uniform(0.75, 1.0)))
                if rng.random() < 0.6 and s + 1 < 16:
                    notes.append((at + 1, "snare", rng.uniform(0.15, 0.3)))  # ghost
            if s % hat_step == 0 and rng.random() < 0.9:
                accent = 0.8 if s % 4 == 0 else 0.45
                notes.append((at, "hat", accent * rng.uniform(0.7, 1.0)))
            if s in (2, 7, 13, 15) and rng.random() < 0.12:
                notes.append((at, "tom", rng.uniform(0.4, 0.9)))
        if bar == bars - 1 or rng.random() < 0.25:
            notes.append((base, "cymbal", rng.uniform(0.6, 1.0)))
        # Loud kicks are followed now and then by a ghost snare.
        for s in sorted(kicks):
            if s + 1 < 16 and (s + 1) % 4 != 0 and rng.random() < 0.35:
                notes.append((base + s + 1, "snare", rng.uniform(0.12, 0.25)))
    return notes


def pink_noise(rng, frames, rms):
    """Pink noise (Paul Kellet's filter) at rms, one channel."""
    b = [0.0] * 7
    out = array.array("f", bytes(4 * frames))
    gauss = rng.gauss
    for i in range(frames):
        w = gauss(0.0, 1.0)
        b[0] = 0.99886 * b[0] + w * 0.0555179
        b[1] = 0.99332 * b[1] + w * 0.0750759
        b[2] = 0.96900 * b[2] + w * 0.1538520
        b[3] = 0.86650 * b[3] + w * 0.3104856
        b[4] = 0.55000 * b[4] + w * 0.5329522
        b[5] = -0.7616 * b[5] - w * 0.0168980
        out[i] = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362
        b[6] = w * 0.115926
    have = math.sqrt(sum(x * x for x in out) / frames)
    scale = rms / have
    for i in range(frames):
        out[i] *= scale
    return out


def write_wav(path, left, right, extra=()):
    raw = path + ".f32"
    data = array.array("f", bytes(8 * len(left)))
    data[0::2] = left
    data[1::2] = right
    with open(raw, "wb") as f:
        data.tofile(f)
    # -R: the same dither every run, so that a loop is made byte for byte again.
    subprocess.run(["sox", "-V1", "-R", "-t", "f32", "-r", str(RATE), "-c", "2", raw, "-b", "16",
                    path, *extra], check=True)
    os.remove(raw)


def read_wav(path):
    raw = subprocess.run(["sox", "-V1", path, "-t", "f32", "-"], check=True,
                         capture_output=True).stdout
    data = array.array("f")
    data.frombytes(raw)
    return data[0::2], data[1::2]


def build_loop(out, name, kit, samples, rng, reverb, noise_dbfs, cache, room):
    tempo = rng.uniform(80, 174)
    sixteenth = RATE * 60.0 / tempo / 4
    bars = max(2, int(10.0 * RATE / (16 * sixteenth)))
    frames = int(round(16 * bars * sixteenth))
    lead = int(0.05 * RATE)
    frames += lead
    left = array.array("f", bytes(4 * frames))
    right = array.array("f", bytes(4 * frames))
    onsets = {}
    placed = []
    notes = sorted(groove(rng, bars))
    # A hat stops ringing where the next hat is struck (the pedal chokes it).
    hat_steps = sorted({step for step, role, _ in notes if role == "hat"})
    for step, role, velocity in notes:
        choke = None
        if role == "hat":
            later = [s for s in hat_steps if s > step]
            choke = later[0] if later else None
        if role not in samples:
            role = rng.choice(sorted(samples))
        instrument = rng.choice(samples[role])
        # Velocity layers run from soft to hard in the file names' order.
        layer = instrument[min(len(instrument) - 1, int(velocity * len(instrument)))]
        sample = load(layer, cache)
        if sample.peak <= 0:
            continue
        # The whole grid step is pushed or dragged together, as a drummer does.
        at = onsets.get(step)
        if at is None:
            at = lead + int(round(step * sixteenth + rng.uniform(-0.008, 0.008) * RATE))
            onsets[step] = at
        gain = velocity / sample.peak * 0.5
        placed.append("%d\t%s\t%.3f\t%d\n" % (at, os.path.basename(layer), velocity, sample.attack))
        begin = at - sample.attack
        n = min(len(sample.left), frames - begin)
        fade = int(0.01 * RATE)
        if choke is not None:
            # The next hat's own push or drag is not known yet: choke on the grid.
            n = min(n, lead + int(choke * sixteenth) - begin + fade)
        sl, sr = sample.left, sample.right
        for i in range(max(0, -begin), n):
            g = gain
            if choke is not None and n - i < fade:
                g *= (n - i) / fade
            left[begin + i] += g * sl[i]
            right[begin + i] += g * sr[i]
    peak = max(max(map(abs, left)), max(map(abs, right)))
    scale = 0.8 / peak
    for i in range(frames):
        left[i] *= scale
        right[i] *= scale
    if reverb:
        dry = os.path.join(out, name + ".dry.wav")
        write_wav(dry, left, right)
        wet = os.path.join(out, name + ".wet.wav")
        subprocess.run(["sox", "-V1", dry, "-e", "floating-point", "-b", "32", wet, "reverb"] +
                       ROOMS[room] + ["trim", "0", "%ds" % frames], check=True)
        left, right = read_wav(wet)
        os.remove(dry)
        os.remove(wet)
        peak = max(max(map(abs, left)), max(map(abs, right)))
        if peak > 0.89:
            for i in range(frames):
                left[i] *= 0.89 / peak
                right[i] *= 0.89 / peak
    rms = 10 ** (noise_dbfs / 20.0)
    for channel in (left, right):
        bed = pink_noise(rng, frames, rms)
        for i in range(frames):
            channel[i] = max(-1.0, min(1.0, channel[i] + bed[i]))
    write_wav(os.path.join(out, name + ".wav"), left, right)
    times = sorted(t for t in onsets.values() if 0 <= t < frames)
    with open(os.path.join(out, name + ".notes"), "w") as f:
        f.writelines(sorted(placed, key=lambda line: int(line.split("\t")[0])))
    with open(os.path.join(out, name + ".txt"), "w") as f:
        f.writelines("%d\n" % t for t in times)
    return tempo, len(times)


_loaded = {}


def load(path, cache):
    if path not in _loaded:
        _loaded[path] = Sample(path, cache)
    return _loaded[path]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out")
    parser.add_argument("--kits", default=",".join(ACOUSTIC))
    parser.add_argument("--seed", type=int, default=39)
    parser.add_argument("--room", choices=sorted(ROOMS), default="small")
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    repo = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
    if os.path.commonpath([out, repo]) == repo:
        sys.exit("the loops hold samples under other licences: write them outside the repository")
    ensure_packages(args.kits.split(","))
    os.makedirs(out, exist_ok=True)
    cache = os.path.join(out, "cache")
    os.makedirs(cache, exist_ok=True)
    with open(os.path.join(out, "loops.txt"), "w") as manifest:
        for k, kit in enumerate(args.kits.split(",")):
            samples = kit_samples(kit)
            if not samples:
                print("%s: no drums found" % kit, file=sys.stderr)
                continue
            for v, (reverb, noise) in enumerate([(False, -40), (False, -30), (True, -40),
                                                 (True, -30)]):
                rng = random.Random("%d %s %d" % (args.seed, kit, v))
                name = "%s-%d" % (re.sub(r"[^A-Za-z0-9]+", "_", kit), v + 1)
                tempo, hits = build_loop(out, name, kit, samples, rng, reverb, noise, cache,
                                         args.room)
                line = "%s\t%s\t%.1f\t%s\t%d\t%d" % (name, kit, tempo,
                                                     "reverb" if reverb else "dry", noise, hits)
                print(line, flush=True)
                manifest.write(line + "\n")


if __name__ == "__main__":
    main()
