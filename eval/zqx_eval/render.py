"""Makes the audio of an item with Debian's tools: MIDI (mido) rendered by fluidsynth with the
General MIDI soundfont, speech by espeak-ng, silence and noise by sox; sox then sets rate, channels,
gain, length and 16-bit PCM, without dither so that every run gives the same bytes.
"""

import os
import subprocess
import tempfile

import mido

from .composer import DRUM_CHANNEL, TICKS_PER_QUARTER

SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
RENDER_RATE = 44100                  # 22.05 kHz items are rendered at 44.1 kHz, then resampled by sox
PEAK_DBFS = -1.0                     # every item is normalised to this peak before its gain variant


def write_midi(piece, item, path):
    """One track per channel is not needed: a type-0 file with every event in time order."""
    mid = mido.MidiFile(type=0, ticks_per_beat=TICKS_PER_QUARTER)
    track = mido.MidiTrack()
    mid.tracks.append(track)
    events = [(tick, 0, mido.MetaMessage("set_tempo", tempo=us)) for tick, us in piece.tempo_map]
    programs = {}
    for n in piece.notes:
        if n.channel != DRUM_CHANNEL:
            programs[n.channel] = n.program
    for ch, prog in sorted(programs.items()):
        events.append((0, 1, mido.Message("program_change", channel=ch, program=prog)))
        if item.tune_cents:
            # Default pitch-bend range is +-2 semitones = +-8192 steps.
            bend = int(round(item.tune_cents / 200.0 * 8192))
            events.append((0, 2, mido.Message("pitchwheel", channel=ch, pitch=max(-8192, min(8191, bend)))))
    for n in piece.notes:
        events.append((n.on, 4, mido.Message("note_on", channel=n.channel, note=n.pitch, velocity=n.velocity)))
        # Note-offs sort before note-ons at the same tick so a repeated pitch is not cut by its own end.
        events.append((n.off, 3, mido.Message("note_off", channel=n.channel, note=n.pitch, velocity=0)))
    events.sort(key=lambda e: (e[0], e[1]))
    now = 0
    for tick, _, msg in events:
        track.append(msg.copy(time=tick - now))
        now = tick
    track.append(mido.MetaMessage("end_of_track", time=TICKS_PER_QUARTER * 4))
    mid.save(path)


def _run(cmd):
    result = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{cmd[0]} failed ({result.returncode}): {result.stderr.strip()[:500]}")


def _finish(raw_wav, item, out_path, normalise=True):
    """Raw render -> the item's rate, channels, peak, gain and length as 16-bit PCM."""
    channels = ["remix", "-"] if item.channels == 1 else ["channels", str(item.channels)]
    effects = channels + (["norm", str(PEAK_DBFS)] if normalise else [])
    if item.gain_db:
        effects += ["vol", f"{item.gain_db}dB"]
    effects += ["rate", "-v", str(item.rate), "pad", "0", str(item.duration), "trim", "0", str(item.duration)]
    _run(["sox", "-R", "-D", raw_wav, "-b", "16", "-e", "signed-integer", out_path] + effects)


def render_music(piece, item, out_path, midi_path):
    write_midi(piece, item, midi_path)
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "raw.wav")
        _run(["fluidsynth", "-n", "-i", "-q", "-F", raw, "-T", "wav", "-O", "float", "-r", str(RENDER_RATE),
              "-g", "0.6", "-R", "1" if item.reverb else "0", "-C", "0", SOUNDFONT, midi_path])
        _finish(raw, item, out_path)


def render_speech(item, out_path):
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "speech.wav")
        _run(["espeak-ng", "-v", item.voice, "-s", str(item.words_per_minute), "-w", raw, item.text])
        _finish(raw, item, out_path)


def render_sound(item, out_path):
    """Digital silence, or seeded noise (sox -R: the same numbers on every run)."""
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "sound.wav")
        synth = ["synth", str(item.duration), item.colour, "vol", f"{item.level_db}dB"] if item.colour \
            else ["trim", "0", str(item.duration)]
        _run(["sox", "-R", "-D", "-n", "-r", str(item.rate), "-c", str(item.channels), "-b", "32", "-e",
              "floating-point", raw] + synth)
        _finish(raw, item, out_path, normalise=False)
