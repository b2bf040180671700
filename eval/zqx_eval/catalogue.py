"""The items of the evaluation set: what each piece is, so that its ground truth follows by construction.

Music items are written as MIDI and rendered with the General MIDI soundfont; the others come from
espeak-ng (speech) and sox (silence, noise). Hard cases for chroma carry their case name as kind.
"""

from dataclasses import dataclass, replace
from typing import Optional, Tuple

# General MIDI programs used below (0-based).
PIANO, EPIANO, DRAWBAR_ORGAN, CHURCH_ORGAN = 0, 4, 16, 19
NYLON_GUITAR, STEEL_GUITAR, HARPSICHORD = 24, 25, 6
ACOUSTIC_BASS, FINGER_BASS, CELLO, VIOLIN = 32, 33, 42, 40
STRINGS, SLOW_STRINGS = 48, 49
TRUMPET, ALTO_SAX, OBOE, CLARINET, FLUTE, SAW_LEAD = 56, 65, 68, 71, 73, 81

HARD_KINDS = ("bass_under_chords", "solo_harmonics", "fast_passages", "tuned_flat_30")
NON_MUSIC_KINDS = ("speech", "silence", "noise")
# Music without a steady beat: key, chords and notes are known, the tempo is not one number.
RUBATO_KIND = "rubato"


@dataclass(frozen=True)
class MusicItem:
    name: str
    bpm: float                      # beats per minute of the meter's beat (dotted quarter in 6/8)
    meter: str                      # "4/4", "3/4" or "6/8"
    tonic: str
    mode: str                       # "major" or "minor"
    progression: Tuple[str, ...]    # Roman numerals, one chord per chord span, repeated
    chord_program: Optional[int]    # None: no accompaniment (solo)
    chord_style: str = "beats"      # "beats" (struck each beat), "sustain", "arpeggio"
    bass_program: Optional[int] = None
    bass_low: int = 36              # lowest MIDI note of the bass line (28 = E1)
    bass_walk: bool = False         # quarter-note walking bass instead of root (and fifth)
    melody_program: Optional[int] = None
    melody_style: str = "plain"     # "plain" (quarters and eighths), "fast" (sixteenth runs), "arpeggio"
    drums: bool = False
    drum_style: str = "basic"       # "basic" (kick 1 and 3, snare 2 and 4) or "break" (syncopated kick, ghost snare)
    swing: bool = False
    rate: int = 44100
    channels: int = 1
    gain_db: float = 0.0
    tune_cents: float = 0.0
    rubato: float = 0.0             # tempo swings up to this share either way, beat by beat (no steady beat)
    reverb: bool = False
    duration: float = 24.0
    kind: str = "music"
    variant_of: Optional[str] = None


@dataclass(frozen=True)
class SpeechItem:
    name: str
    voice: str
    words_per_minute: int
    text: str
    rate: int = 44100
    channels: int = 1
    gain_db: float = 0.0
    duration: float = 24.0
    kind: str = "speech"


@dataclass(frozen=True)
class SoundItem:
    """Silence or noise made by sox; `colour` is None for digital silence."""
    name: str
    colour: Optional[str]           # None, "whitenoise", "pinknoise", "brownnoise"
    level_db: float = -12.0
    rate: int = 44100
    channels: int = 1
    gain_db: float = 0.0
    duration: float = 20.0
    kind: str = "noise"


_TEXT_EN = ("The quick brown fox jumps over the lazy dog. Measurements are made on labelled pieces, "
            "and every answer is compared with the truth it was built from. Speech has no beat and no key; "
            "a tempo estimator should say that it is unsure. Numbers, such as three hundred and twelve, "
            "or the year nineteen eighty four, are read aloud at an even pace.")
_TEXT_DE = ("Die Messung beginnt mit einer kurzen Ansage. Sprache hat keinen Takt und keine Tonart, "
            "und ein guter Tempo-Schaetzer sagt deshalb, dass er unsicher ist. Wir lesen Zahlen vor: "
            "dreihundertzwoelf, neunzehnhundertvierundachtzig, siebenundzwanzig.")

_MUSIC = (
    MusicItem("m01_c_major_50", 50, "4/4", "C", "major", ("I", "vi", "IV", "V"), STRINGS, "sustain",
              bass_program=CELLO, melody_program=FLUTE, duration=30.0),
    MusicItem("m02_a_minor_56_waltz", 56, "3/4", "A", "minor", ("i", "iv", "V", "i"), PIANO,
              bass_program=ACOUSTIC_BASS, rate=48000, duration=28.0),
    MusicItem("m03_g_major_60_six_eight", 60, "6/8", "G", "major", ("I", "IV", "V", "I"), NYLON_GUITAR,
              "arpeggio", bass_program=ACOUSTIC_BASS, melody_program=FLUTE, duration=28.0),
    MusicItem("m04_e_minor_66", 66, "4/4", "E", "minor", ("i", "VI", "III", "VII"), CHURCH_ORGAN, "sustain",
              bass_program=FINGER_BASS, melody_program=TRUMPET, drums=True),
    MusicItem("m05_f_major_72_swing", 72, "4/4", "F", "major", ("ii", "V", "I", "vi"), EPIANO,
              bass_program=ACOUSTIC_BASS, melody_program=ALTO_SAX, drums=True, swing=True),
    MusicItem("m06_d_minor_76", 76, "4/4", "D", "minor", ("i", "iv", "V", "i"), STRINGS, "sustain",
              bass_program=CELLO, melody_program=VIOLIN, rate=22050),
    MusicItem("m07_as_major_80_waltz", 80, "3/4", "A#", "major", ("I", "IV", "V", "I"), PIANO,
              bass_program=ACOUSTIC_BASS, drums=True),
    MusicItem("m08_fs_minor_84", 84, "4/4", "F#", "minor", ("i", "VII", "VI", "V"), STEEL_GUITAR, "arpeggio",
              bass_program=FINGER_BASS, melody_program=FLUTE, drums=True, channels=2),
    MusicItem("m09_ds_major_88_six_eight", 88, "6/8", "D#", "major", ("I", "vi", "ii", "V"), PIANO,
              bass_program=ACOUSTIC_BASS, melody_program=CLARINET),
    MusicItem("m10_cs_minor_92", 92, "4/4", "C#", "minor", ("i", "VI", "III", "VII"), DRAWBAR_ORGAN,
              bass_program=FINGER_BASS, drums=True),
    MusicItem("m11_a_major_96", 96, "4/4", "A", "major", ("I", "V", "vi", "IV"), PIANO,
              bass_program=FINGER_BASS, melody_program=TRUMPET, drums=True, rate=48000),
    MusicItem("m12_g_minor_100_swing", 100, "4/4", "G", "minor", ("i", "iv", "V", "i"), EPIANO,
              bass_program=ACOUSTIC_BASS, melody_program=ALTO_SAX, drums=True, swing=True),
    MusicItem("m13_d_major_104_waltz", 104, "3/4", "D", "major", ("I", "ii", "V", "I"), STRINGS, "sustain",
              bass_program=CELLO, melody_program=FLUTE),
    MusicItem("m14_b_minor_108", 108, "4/4", "B", "minor", ("i", "VI", "III", "VII"), STEEL_GUITAR,
              "arpeggio", bass_program=FINGER_BASS, drums=True, channels=2),
    MusicItem("m15_f_minor_112_six_eight", 112, "6/8", "F", "minor", ("i", "iv", "V", "i"), PIANO,
              bass_program=ACOUSTIC_BASS, melody_program=FLUTE, drums=True, rate=22050),
    MusicItem("m16_e_major_116", 116, "4/4", "E", "major", ("I", "IV", "vi", "V"), DRAWBAR_ORGAN,
              bass_program=FINGER_BASS, melody_program=TRUMPET, drums=True),
    MusicItem("m17_c_minor_120", 120, "4/4", "C", "minor", ("i", "VII", "VI", "V"), PIANO,
              bass_program=ACOUSTIC_BASS, melody_program=VIOLIN, drums=True, rate=48000, channels=2),
    MusicItem("m18_gs_major_126", 126, "4/4", "G#", "major", ("I", "V", "vi", "IV"), NYLON_GUITAR, "arpeggio",
              bass_program=ACOUSTIC_BASS, drums=True, reverb=True),
    MusicItem("m19_a_minor_132_swing", 132, "4/4", "A", "minor", ("i", "iv", "V", "i"), PIANO,
              bass_program=ACOUSTIC_BASS, melody_program=ALTO_SAX, drums=True, swing=True),
    MusicItem("m20_g_major_138_waltz", 138, "3/4", "G", "major", ("I", "IV", "V", "I"), EPIANO,
              bass_program=FINGER_BASS, melody_program=FLUTE, reverb=True),
    MusicItem("m21_ds_minor_144", 144, "4/4", "D#", "minor", ("i", "VI", "III", "VII"), SLOW_STRINGS,
              "sustain", bass_program=FINGER_BASS, drums=True, rate=22050),
    MusicItem("m22_b_major_150", 150, "4/4", "B", "major", ("I", "vi", "IV", "V"), PIANO,
              bass_program=FINGER_BASS, drums=True, rate=48000),
    MusicItem("m23_e_minor_156", 156, "4/4", "E", "minor", ("i", "VI", "iv", "V"), NYLON_GUITAR, "arpeggio",
              bass_program=ACOUSTIC_BASS, melody_program=FLUTE),
    MusicItem("m24_f_major_160", 160, "4/4", "F", "major", ("I", "V", "vi", "IV"), DRAWBAR_ORGAN,
              bass_program=FINGER_BASS, melody_program=TRUMPET, drums=True),
    MusicItem("m25_gs_minor_168", 168, "4/4", "G#", "minor", ("i", "iv", "V", "i"), PIANO,
              bass_program=FINGER_BASS, drums=True, channels=2),
    MusicItem("m26_c_major_176_swing", 176, "4/4", "C", "major", ("I", "vi", "ii", "V"), EPIANO,
              bass_program=ACOUSTIC_BASS, drums=True, swing=True),
    MusicItem("m27_d_minor_184_waltz", 184, "3/4", "D", "minor", ("i", "VI", "VII", "i"), PIANO,
              bass_program=ACOUSTIC_BASS, melody_program=CLARINET),
    MusicItem("m28_as_minor_192", 192, "4/4", "A#", "minor", ("i", "VII", "VI", "V"), STEEL_GUITAR,
              "arpeggio", bass_program=FINGER_BASS, drums=True, rate=48000),
    MusicItem("m29_e_major_204", 204, "4/4", "E", "major", ("I", "IV", "V", "I"), DRAWBAR_ORGAN,
              bass_program=FINGER_BASS, drums=True, rate=22050),
    MusicItem("m30_cs_major_212", 212, "4/4", "C#", "major", ("I", "V", "vi", "IV"), PIANO,
              bass_program=ACOUSTIC_BASS, drums=True),
    MusicItem("m31_fs_major_220", 220, "4/4", "F#", "major", ("I", "IV", "V", "I"), PIANO,
              bass_program=FINGER_BASS, melody_program=FLUTE, drums=True),
    MusicItem("m32_c_major_132_six_eight", 132, "6/8", "C", "major", ("I", "IV", "I", "V"), NYLON_GUITAR,
              "arpeggio", bass_program=ACOUSTIC_BASS, melody_program=VIOLIN, drums=True, channels=2),
)

# Drum kit alone on GM channel 10: a beat with no pitch, so no key and chord N throughout.
_DRUMS_ONLY = (
    MusicItem("d01_drums_break_97", 97, "4/4", "C", "major", ("I",), None, drums=True, drum_style="break",
              duration=20.0),
    MusicItem("d02_drums_174", 174, "4/4", "C", "major", ("I",), None, drums=True, rate=48000, duration=20.0),
)

_GAIN_VARIANTS = ("m05_f_major_72_swing", "m11_a_major_96", "m17_c_minor_120", "m24_f_major_160")

_HARD = (
    MusicItem("h01_bass_e_minor_96", 96, "4/4", "E", "minor", ("i", "VI", "III", "VII"), PIANO,
              bass_program=FINGER_BASS, bass_low=28, bass_walk=True, drums=True, kind="bass_under_chords"),
    MusicItem("h02_bass_f_major_120", 120, "4/4", "F", "major", ("I", "IV", "V", "I"), DRAWBAR_ORGAN,
              "sustain", bass_program=ACOUSTIC_BASS, bass_low=28, bass_walk=True, rate=48000,
              kind="bass_under_chords"),
    MusicItem("h03_clarinet_d_minor_84", 84, "4/4", "D", "minor", ("i", "iv", "V", "i"), None,
              melody_program=CLARINET, melody_style="arpeggio", kind="solo_harmonics"),
    MusicItem("h04_saw_lead_g_major_110", 110, "4/4", "G", "major", ("I", "IV", "V", "I"), None,
              melody_program=SAW_LEAD, melody_style="arpeggio", kind="solo_harmonics"),
    MusicItem("h05_oboe_as_major_72_waltz", 72, "3/4", "A#", "major", ("I", "V", "vi", "IV"), None,
              melody_program=OBOE, melody_style="arpeggio", rate=48000, kind="solo_harmonics"),
    MusicItem("h06_fast_a_major_160", 160, "4/4", "A", "major", ("I", "IV", "V", "I"), PIANO,
              bass_program=FINGER_BASS, melody_program=PIANO, melody_style="fast", drums=True,
              kind="fast_passages"),
    MusicItem("h07_fast_b_minor_140", 140, "4/4", "B", "minor", ("i", "iv", "V", "i"), HARPSICHORD,
              "sustain", bass_program=CELLO, melody_program=HARPSICHORD, melody_style="fast",
              kind="fast_passages"),
    MusicItem("h08_flat30_as_major_90", 90, "4/4", "A#", "major", ("I", "vi", "IV", "V"), PIANO,
              bass_program=ACOUSTIC_BASS, melody_program=STRINGS, tune_cents=-30.0, kind="tuned_flat_30"),
    MusicItem("h09_flat30_fs_minor_128", 128, "4/4", "F#", "minor", ("i", "VI", "III", "VII"), NYLON_GUITAR,
              "arpeggio", bass_program=FINGER_BASS, melody_program=FLUTE, drums=True, tune_cents=-30.0,
              rate=48000, kind="tuned_flat_30"),
)

_RUBATO = (
    MusicItem("r01_rubato_piano_c_minor", 80, "4/4", "C", "minor", ("i", "iv", "V", "i"), PIANO, "sustain",
              bass_program=ACOUSTIC_BASS, melody_program=PIANO, rubato=0.35, kind=RUBATO_KIND),
    MusicItem("r02_rubato_strings_e_major", 66, "3/4", "E", "major", ("I", "vi", "IV", "V"), STRINGS, "sustain",
              bass_program=CELLO, melody_program=FLUTE, rubato=0.3, rate=48000, kind=RUBATO_KIND),
)

_OTHER = (
    SpeechItem("s01_speech_en_us", "en-us", 160, _TEXT_EN),
    SpeechItem("s02_speech_en_gb_female", "en-gb+f3", 140, _TEXT_EN, rate=48000),
    SpeechItem("s03_speech_de", "de", 150, _TEXT_DE, rate=22050),
    SpeechItem("s04_speech_en_fast_quiet", "en-us+m3", 220, _TEXT_EN, gain_db=-20.0),
    SoundItem("z01_silence", None, kind="silence"),
    SoundItem("z02_silence_48k", None, rate=48000, kind="silence"),
    SoundItem("n01_white_noise", "whitenoise"),
    SoundItem("n02_pink_noise_48k", "pinknoise", rate=48000),
    SoundItem("n03_white_noise_22k_quiet", "whitenoise", rate=22050, gain_db=-20.0),
    SoundItem("n04_pink_noise_stereo", "pinknoise", channels=2),
)


def _gain_variants():
    by_name = {m.name: m for m in _MUSIC}
    return tuple(replace(by_name[n], name=n + "_minus20db", gain_db=-20.0, variant_of=n) for n in _GAIN_VARIANTS)


def all_items():
    """Every item, in a fixed order."""
    return _MUSIC + _DRUMS_ONLY + _gain_variants() + _HARD + _RUBATO + _OTHER
