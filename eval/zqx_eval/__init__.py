"""Labelled evaluation set for zqx: generation from Debian packages, ground truth, scoring."""
