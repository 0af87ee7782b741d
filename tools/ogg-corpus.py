#!/usr/bin/env python3
"""Writes a fuzzing corpus of damaged real Ogg Vorbis files into DIR:
    tools/ogg-corpus.py DIR
The real files are the game's music, the freedesktop sound theme (when
installed) and tones made by sox at several rates and channel counts, one of
them chained.  Each is kept whole, cut at three places, and copied with a
few bits flipped (a fixed seed, so a corpus can be made again).  Small tiny
seeds reach the headers only; damaged real files reach the decoder's seek
and page paths, where libogg and libvorbisfile have crashed."""
import glob, os, random, subprocess, sys, tempfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
files = [os.path.join(root, "data", "music.ogg")]
files += sorted(glob.glob("/usr/share/sounds/freedesktop/stereo/*.oga"))
tmp = tempfile.mkdtemp()
for rate, ch in [(8000, 1), (22050, 2), (44100, 2), (48000, 1), (96000, 2)]:
    name = f"{tmp}/tone-{rate}-{ch}.ogg"
    subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(ch), name, "synth", "0.5", "sine", "440"], check=True)
    files.append(name)
with open(f"{tmp}/chain.ogg", "wb") as f:  # 44.1 kHz stereo, then 8 kHz mono
    for part in (f"{tmp}/tone-44100-2.ogg", f"{tmp}/tone-8000-1.ogg"):
        f.write(open(part, "rb").read())
files.append(f"{tmp}/chain.ogg")

rng = random.Random(2026)
for path in files:
    data = open(path, "rb").read()
    stem = os.path.splitext(os.path.basename(path))[0]
    variants = {"whole": data}
    for k in (1, 2, 3):
        variants[f"cut{k}"] = data[: len(data) * k // 4]
    for k in range(4):
        b = bytearray(data)
        for _ in range(1 + k * 3):
            i = rng.randrange(len(b))
            b[i] ^= 1 << rng.randrange(8)
        variants[f"flip{k}"] = bytes(b)
    for what, v in variants.items():
        open(os.path.join(out, f"{stem}-{what}"), "wb").write(v)
