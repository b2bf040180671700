#!/usr/bin/python3
"""Generates the labelled evaluation set into a folder (default build/eval-set): for every item a
WAV file and its ground truth (NAME.truth.json, .chords.lab, .notes.csv, .blocks.csv), plus
manifest.json. Skips the work when the folder already holds the set of the same sources and seed.

Needs Debian's fluidsynth, fluid-soundfont-gm, sox, espeak-ng and python3-mido (tools/install-deps.sh
eval installs them)."""

import argparse
import concurrent.futures
import hashlib
import json
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from zqx_eval import catalogue, composer, render, truth  # noqa: E402
from zqx_eval.catalogue import MusicItem, SpeechItem  # noqa: E402
from zqx_eval.pitch import key_name, pitch_class_index  # noqa: E402

DEFAULT_SEED = 17
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def sources_hash(seed):
    h = hashlib.sha256(f"seed={seed}".encode())
    here = os.path.dirname(os.path.abspath(__file__))
    for name in ("zqx_eval/catalogue.py", "zqx_eval/composer.py", "zqx_eval/render.py", "zqx_eval/truth.py",
                 "zqx_eval/pitch.py", "generate_set.py"):
        with open(os.path.join(here, name), "rb") as f:
            h.update(f.read())
    return h.hexdigest()[:16]


def music_truth(item, piece):
    """(info for NAME.truth.json, chord spans in seconds or None, note table) of a composed piece."""
    pitched = [n for n in piece.notes if n.program is not None]
    # Drums alone have a beat but no pitch: no key, and N as the chord throughout.
    spans = [(piece.seconds(c.on), min(piece.seconds(c.off), item.duration), c.label)
             for c in piece.chords if piece.seconds(c.on) < item.duration] if pitched else None
    info = {"tempo_bpm": piece.beat_bpm(item.meter), "meter": item.meter, "swing": item.swing,
            "key": key_name(pitch_class_index(item.tonic), item.mode) if pitched else None,
            "tune_cents": item.tune_cents, "gm_programs": sorted({n.program for n in pitched}),
            "drums": item.drums, "variant_of": item.variant_of,
            "lowest_pitch": int(min(n.pitch for n in pitched)) if pitched else None}
    return info, spans, truth.note_table(piece, item.duration)


def make_item(item, folder, seed):
    wav = os.path.join(folder, item.name + ".wav")
    if isinstance(item, MusicItem):
        piece = composer.compose(item, seed)
        render.render_music(piece, item, wav, os.path.join(folder, item.name + ".mid"))
        info, spans, notes = music_truth(item, piece)
        return truth.write_item_truth(folder, item, info, notes, spans)
    if isinstance(item, SpeechItem):
        render.render_speech(item, wav)
    else:
        render.render_sound(item, wav)
    info = {"tempo_bpm": None, "meter": None, "swing": False, "key": None, "tune_cents": 0.0,
            "gm_programs": [], "drums": False, "variant_of": None, "lowest_pitch": None}
    return truth.write_item_truth(folder, item, info)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("-o", "--out", default=os.path.join(REPO, "build", "eval-set"))
    ap.add_argument("--seed", type=int, default=DEFAULT_SEED)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--force", action="store_true", help="regenerate even if the set is up to date")
    ap.add_argument("--only", nargs="*", help="item names to (re)make; the manifest is not rewritten")
    args = ap.parse_args()

    os.makedirs(args.out, exist_ok=True)
    manifest_path = os.path.join(args.out, "manifest.json")
    stamp = sources_hash(args.seed)
    items = catalogue.all_items()
    if args.only:
        unknown = set(args.only) - {i.name for i in items}
        if unknown:
            sys.exit(f"generate_set: unknown item(s): {', '.join(sorted(unknown))}")
        items = [i for i in items if i.name in args.only]
    elif not args.force and os.path.exists(manifest_path):
        with open(manifest_path) as f:
            old = json.load(f)
        if old.get("stamp") == stamp and all(
                os.path.exists(os.path.join(args.out, n + ".wav")) for n in old.get("items", [])):
            print(f"eval set up to date in {args.out} ({len(old['items'])} items)")
            return 0

    t0 = time.time()
    failed = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = {pool.submit(make_item, item, args.out, args.seed): item for item in items}
        for fut in concurrent.futures.as_completed(futures):
            item = futures[fut]
            try:
                fut.result()
            except Exception as e:  # one line per failed item, the others go on
                failed.append(item.name)
                print(f"generate_set: {item.name}: {e}", file=sys.stderr)
    if failed:
        print(f"generate_set: {len(failed)} of {len(items)} items failed", file=sys.stderr)
        return 1
    if not args.only:
        with open(manifest_path, "w") as f:
            json.dump({"stamp": stamp, "seed": args.seed, "items": [i.name for i in items]}, f, indent=1)
    print(f"generated {len(items)} items in {args.out} in {time.time() - t0:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
