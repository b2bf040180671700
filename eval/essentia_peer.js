// Runs Essentia (its WASM build from npm, essentia.js) on WAV files as a peer for the evaluation:
// tempo (RhythmExtractor2013, PercivalBpmEstimator), key (KeyExtractor), loudness (LoudnessEBUR128),
// HPCP on consecutive 4096-sample blocks, and ChordsDetection on HPCP frames of 4096 every 2048.
// Usage: node essentia_peer.js OUT_DIR FILE.wav...   writes OUT_DIR/NAME.essentia.json per file.
// A measuring stick only: nothing in zqx depends on it.
'use strict';
const fs = require('fs');
const path = require('path');
const os = require('os');
const childProcess = require('child_process');
const { Essentia, EssentiaWASM } = require('essentia.js');

const FRAME = 4096;
const HOP = 2048;

// PCM 8/16/24/32-bit integer and 32/64-bit float WAV (RIFF, WAVE_FORMAT_EXTENSIBLE too) -> channels.
function decodeWav(file) {
  const buf = fs.readFileSync(file);
  if (buf.toString('ascii', 0, 4) !== 'RIFF' || buf.toString('ascii', 8, 12) !== 'WAVE') {
    throw new Error(`${file}: not a RIFF/WAVE file`);
  }
  let fmt = null;
  let data = null;
  for (let off = 12; off + 8 <= buf.length;) {
    const id = buf.toString('ascii', off, off + 4);
    const size = buf.readUInt32LE(off + 4);
    const body = off + 8;
    if (id === 'fmt ') {
      let format = buf.readUInt16LE(body);
      if (format === 0xfffe) format = buf.readUInt16LE(body + 24);
      fmt = { format, channels: buf.readUInt16LE(body + 2), rate: buf.readUInt32LE(body + 4),
              bits: buf.readUInt16LE(body + 14) };
    } else if (id === 'data') {
      data = buf.subarray(body, Math.min(buf.length, body + size));
    }
    off = body + size + (size & 1);
  }
  if (!fmt || !data) throw new Error(`${file}: no fmt or data chunk`);
  const bytes = fmt.bits / 8;
  const frames = Math.floor(data.length / (bytes * fmt.channels));
  const chans = [];
  for (let c = 0; c < fmt.channels; c++) chans.push(new Float32Array(frames));
  for (let i = 0; i < frames; i++) {
    for (let c = 0; c < fmt.channels; c++) {
      const p = (i * fmt.channels + c) * bytes;
      let v;
      if (fmt.format === 3) v = bytes === 4 ? data.readFloatLE(p) : data.readDoubleLE(p);
      else if (bytes === 2) v = data.readInt16LE(p) / 32768;
      else if (bytes === 3) v = data.readIntLE(p, 3) / 8388608;
      else if (bytes === 4) v = data.readInt32LE(p) / 2147483648;
      else v = (data.readUInt8(p) - 128) / 128;
      chans[c][i] = v;
    }
  }
  return { rate: fmt.rate, channels: chans };
}

function mono(chans) {
  if (chans.length === 1) return chans[0];
  const out = new Float32Array(chans[0].length);
  for (const ch of chans) for (let i = 0; i < out.length; i++) out[i] += ch[i] / chans.length;
  return out;
}

function frameAt(signal, start) {
  const f = new Float32Array(FRAME);
  f.set(signal.subarray(start, Math.min(signal.length, start + FRAME)));
  return f;
}

// HPCP as Essentia's tonal descriptors compute it; index 0 is A (reference 440 Hz), rotated here so
// that index 0 is C, as in the truth and in zqx.
function hpcpFrame(e, frame, rate) {
  const w = e.Windowing(e.arrayToVector(frame), true, FRAME, 'blackmanharris62');
  const s = e.Spectrum(w.frame, FRAME);
  const p = e.SpectralPeaks(s.spectrum, 0.00001, 5000, 100, 40, 'magnitude', rate);
  const h = e.HPCP(p.frequencies, p.magnitudes, true, 500, 0, 5000, false, 40, false, 'unitMax', 440, rate, 12,
                   'squaredCosine', 1);
  const a = Array.from(e.vectorToArray(h.hpcp));
  for (const v of [w.frame, s.spectrum, p.frequencies, p.magnitudes]) v.delete();
  return { vector: h.hpcp, fromC: a.map((_, k) => a[(k + 3) % 12]) };
}

// The 44.1 kHz signal RhythmExtractor2013 assumes (it has no rate parameter), made by sox as
// Essentia's own loaders resample to 44.1 kHz.
function at44100(file, audio) {
  if (audio.rate === 44100) return mono(audio.channels);
  const wav = childProcess.execFileSync('sox', ['-D', file, '-t', 'wav', '-e', 'floating-point', '-b', '32',
                                                '-c', '1', '-', 'rate', '-v', '44100'],
                                        { maxBuffer: 1 << 30 });
  const tmp = path.join(os.tmpdir(), `essentia_peer_${process.pid}.wav`);
  fs.writeFileSync(tmp, wav);
  try {
    return decodeWav(tmp).channels[0];
  } finally {
    fs.unlinkSync(tmp);
  }
}

// One algorithm's failure (Essentia throws on some inputs, e.g. digital silence) leaves its answer
// null and is reported; the others still run.
function attempt(out, field, fn) {
  try {
    out[field] = fn();
  } catch (err) {
    out[field] = null;
    out.errors = (out.errors || []).concat(`${field}: ${typeof err === 'number' ? 'exception in Essentia' : err}`);
  }
}

function analyse(e, file) {
  const audio = decodeWav(file);
  const rate = audio.rate;
  const x = mono(audio.channels);
  const vec = e.arrayToVector(x);
  const out = { file, rate, frames: x.length, frame: FRAME, hop: HOP };

  attempt(out, 'rhythm_extractor_2013', () => {
    const r = e.RhythmExtractor2013(e.arrayToVector(at44100(file, audio)), 208, 'multifeature', 40);
    return { bpm: r.bpm, confidence: r.confidence };
  });
  attempt(out, 'percival', () => ({ bpm: e.PercivalBpmEstimator(vec, 1024, 2048, 128, 128, 210, 50, rate).bpm }));
  attempt(out, 'key', () => {
    const k = e.KeyExtractor(vec, true, 4096, 4096, 12, 3500, 60, 25, 0.2, 'bgate', rate, 0.0001, 440,
                             'cosine', 'hann');
    return { key: k.key, scale: k.scale, strength: k.strength };
  });
  // LoudnessEBUR128 takes two channels; a mono file is given as both, which counts its power twice:
  // 10 log10(2) dB is taken off so that the figure is the one-channel loudness.
  attempt(out, 'loudness', () => {
    const left = e.arrayToVector(audio.channels[0]);
    const right = e.arrayToVector(audio.channels[audio.channels.length > 1 ? 1 : 0]);
    const loud = e.LoudnessEBUR128(left, right, 0.1, rate, false);
    const monoCorrection = audio.channels.length === 1 ? 10 * Math.log10(2) : 0;
    return { integrated_lufs: loud.integratedLoudness - monoCorrection, range_lu: loud.loudnessRange };
  });
  const pcp = new e.module.VectorVectorFloat();
  attempt(out, 'hpcp_blocks', () => {
    const blocks = [];
    for (let start = 0; start < x.length; start += HOP) {
      const h = hpcpFrame(e, frameAt(x, start), rate);
      pcp.push_back(h.vector);
      h.vector.delete();
      if (start % FRAME === 0) blocks.push(h.fromC);
    }
    return { block: FRAME, values: blocks };
  });
  attempt(out, 'chords', () => {
    const chords = e.ChordsDetection(pcp, HOP, rate, 2);
    const labels = [];
    for (let i = 0; i < chords.chords.size(); i++) labels.push(chords.chords.get(i));
    return { hop: HOP, labels };
  });
  pcp.delete();
  vec.delete();
  return out;
}

function main() {
  const [outDir, ...files] = process.argv.slice(2);
  if (!outDir || files.length === 0) {
    console.error('usage: node essentia_peer.js OUT_DIR FILE.wav...');
    process.exit(2);
  }
  fs.mkdirSync(outDir, { recursive: true });
  const e = new Essentia(EssentiaWASM);
  let failed = 0;
  for (const file of files) {
    try {
      const result = analyse(e, file);
      const name = path.basename(file).replace(/\.[^.]+$/, '');
      const target = path.join(outDir, `${name}.essentia.json`);
      fs.writeFileSync(`${target}.tmp`, JSON.stringify(result));
      fs.renameSync(`${target}.tmp`, target);
      for (const msg of result.errors || []) console.error(`essentia_peer: ${file}: ${msg}`);
    } catch (err) {
      failed += 1;
      console.error(`essentia_peer: ${file}: ${err.message || err}`);
    }
  }
  process.exit(failed ? 1 : 0);
}

main();
