// The bounds the host holds every input to, so that a tiny input cannot ask for unbounded time or
// memory. Each is checked before anything is allocated for it.
#pragma once

namespace zqx::host {

// Sample rates audio uses, from 1 Hz up to 768 kHz (the highest rate of studio converters). A
// file header or option outside this range is refused.
constexpr int kMinSampleRate = 1;
constexpr int kMaxSampleRate = 768000;

// The longest block or frame a chain may ask for ("windowSize", `zqx run --block`): 16 Mi samples,
// 64 MB per buffer, far beyond any analysis frame.
constexpr int kMaxBlockFrames = 1 << 24;


}  // namespace zqx::host
