"""Scores of one item's answer against its truth. Pure functions on numbers and labels; the
aggregation over items lives in score.py.

Chroma measures, per block with at least one sounding class (truth.sounding):
  top-1   the estimate's strongest class is sounding;
  top-3   share of the estimate's three strongest classes that are sounding, out of
          min(3, number of classes sounding);
  cosine  between the estimate and the truth weights of the block;
and per file the cosine between the estimate and the truth summed over the file's blocks.
"""

import mir_eval
import numpy as np

from . import truth as truth_mod

TEMPO_TOLERANCE = 0.04
TEMPO_FACTORS = (1.0, 2.0, 0.5, 3.0, 1.0 / 3.0)


def tempo_hits(estimate, reference):
    """(within 4 %, within 4 % of reference x 1, 2, 1/2, 3 or 1/3); (None, None) without an estimate."""
    if estimate is None or reference is None or not np.isfinite(estimate) or estimate <= 0:
        return None, None
    near = [abs(estimate - reference * f) <= TEMPO_TOLERANCE * reference * f for f in TEMPO_FACTORS]
    return bool(near[0]), bool(any(near))


def key_score(estimate, reference):
    """mir_eval's weighted key score (1 same, 0.5 fifth, 0.3 relative, 0.2 parallel, else 0)."""
    if estimate is None or reference is None:
        return None
    try:
        return float(mir_eval.key.weighted_score(reference, estimate))
    except ValueError:
        return 0.0


def chord_overlap(ref_intervals, ref_labels, est_intervals, est_labels):
    """(correct seconds, scored seconds) under mir_eval's majmin comparison; the estimate is cut or
    padded with N to the reference span first, as mir_eval.chord.evaluate does."""
    if est_intervals is None or len(est_intervals) == 0:
        return None
    est_intervals, est_labels = mir_eval.util.adjust_intervals(
        np.asarray(est_intervals, dtype=float), list(est_labels), ref_intervals.min(), ref_intervals.max(),
        mir_eval.chord.NO_CHORD, mir_eval.chord.NO_CHORD)
    intervals, ref_l, est_l = mir_eval.util.merge_labeled_intervals(ref_intervals, ref_labels, est_intervals,
                                                                    est_labels)
    durations = mir_eval.util.intervals_to_durations(intervals)
    comparisons = mir_eval.chord.majmin(ref_l, est_l)
    scored = comparisons >= 0
    return float(np.sum(durations[scored] * comparisons[scored])), float(np.sum(durations[scored]))


def within(estimate, reference, tolerance):
    if estimate is None or reference is None or not np.isfinite(estimate) or not np.isfinite(reference):
        return None
    return abs(estimate - reference) <= tolerance


def _cosine(a, b):
    na, nb = np.linalg.norm(a, axis=-1), np.linalg.norm(b, axis=-1)
    with np.errstate(invalid="ignore", divide="ignore"):
        c = np.sum(a * b, axis=-1) / (na * nb)
    return np.where((na > 0) & (nb > 0), c, 0.0)


def chroma_scores(estimate, starts, length, notes, duration):
    """Per-block and per-file chroma measures of an estimate (blocks x 12, class 0 = C) whose block i
    covers [starts[i], starts[i] + length) seconds, against the notes (truth.note_table layout).

    Returns dict(blocks, top1, top3, cos_sum, file_cos) with sums over the scored blocks, or None when
    no block has a sounding class."""
    estimate = np.asarray(estimate, dtype=float)
    starts = np.asarray(starts, dtype=float)
    inside = starts < duration
    estimate, starts = estimate[inside], starts[inside]
    weights = truth_mod.block_weights(notes, starts, length)
    on = truth_mod.sounding(weights)
    scored = on.any(axis=1)
    if not scored.any():
        return None
    est, ref, on = estimate[scored], weights[scored], on[scored]
    order = np.argsort(-est, axis=1, kind="stable")
    silent = ~(est > 0).any(axis=1)
    top1 = on[np.arange(len(est)), order[:, 0]] & ~silent
    top3_hits = np.take_along_axis(on, order[:, :3], axis=1).sum(axis=1)
    top3 = np.where(silent, 0.0, top3_hits / np.minimum(3, on.sum(axis=1)))
    return {"blocks": int(len(est)), "top1": float(top1.sum()), "top3": float(top3.sum()),
            "cos_sum": float(_cosine(est, ref).sum()),
            "file_cos": float(_cosine(est.sum(axis=0), ref.sum(axis=0)))}


def class_spread(estimate):
    """Largest departure of any class from the mean of the 12, over the file-summed chroma
    (0.1 = every class within +-10 %); None for an all-zero estimate."""
    total = np.asarray(estimate, dtype=float).sum(axis=0)
    mean = total.mean()
    if not mean > 0:
        return None
    return float(np.max(np.abs(total / mean - 1.0)))
