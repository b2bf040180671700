// The onset strength of a stream, one value per frame of band levels: how much the bands rose
// since the previous frame. The input is any per-frame band analysis on a logarithmic scale
// (for instance ln(1 + c E) of band energies E), so a rise means the same at every level.
#pragma once

#include <cstddef>
#include <vector>

namespace zqx::summary {

// Lifecycle: construct, addFrame() once per frame in time order, read values() at any time.
// Not thread-safe; one instance per stream.
class OnsetEnvelope {
public:
    // Appends the onset strength of one frame: the sum over the `bands` levels of their rise since
    // the previous frame, falls counting 0 (half-wave rectified spectral flux). The first frame
    // gives 0. Every frame must have the band count of the first; throws std::invalid_argument
    // otherwise, or for bands == 0, and then appends nothing. Non-finite levels count as 0.
    void addFrame(const float* levels, std::size_t bands);
    // The same strength, returned instead of kept (for a TempoTracker that holds no envelope).
    float nextFrame(const float* levels, std::size_t bands);

    // One value per frame added, in order.
    const std::vector<float>& values() const { return m_values; }

private:
    std::vector<float> m_previous;
    std::vector<float> m_values;
};

}  // namespace zqx::summary
