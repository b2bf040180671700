"""Pitch-class names, chord qualities and key scales shared by the composer, the truth and the scorers."""

PITCH_CLASSES = ("C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B")

# Intervals above the root, in semitones.
TRIAD = {"maj": (0, 4, 7), "min": (0, 3, 7)}

# Scale steps for melodies; minor uses the harmonic form so that V is major and the key is unambiguous.
SCALE = {"major": (0, 2, 4, 5, 7, 9, 11), "minor": (0, 2, 3, 5, 7, 8, 11)}

# Roman numeral -> (semitones above the tonic, triad quality).
DEGREES = {
    "major": {"I": (0, "maj"), "ii": (2, "min"), "iii": (4, "min"), "IV": (5, "maj"),
              "V": (7, "maj"), "vi": (9, "min")},
    "minor": {"i": (0, "min"), "III": (3, "maj"), "iv": (5, "min"), "v": (7, "min"),
              "V": (7, "maj"), "VI": (8, "maj"), "VII": (10, "maj")},
}


def pitch_class_index(name):
    """'C#' -> 1; also reads flats ('Db') as some tools print them."""
    flats = {"Db": "C#", "Eb": "D#", "Gb": "F#", "Ab": "G#", "Bb": "A#", "Cb": "B", "Fb": "E",
             "E#": "F", "B#": "C"}
    name = flats.get(name, name)
    return PITCH_CLASSES.index(name)


def harte_label(root_pc, quality):
    """(9, 'min') -> 'A:min'."""
    return f"{PITCH_CLASSES[root_pc % 12]}:{quality}"


def key_name(tonic_pc, mode):
    """(9, 'minor') -> 'A minor' (the form mir_eval.key reads)."""
    return f"{PITCH_CLASSES[tonic_pc % 12]} {mode}"
