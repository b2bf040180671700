// The dynamic range of a level history.
#include "modules/swellgrid/dynamic_range.h"

#include <cstdint>
#include <limits>
#include <new>

#include "kernels/convolution.h"
#include "kernels/elementwise.h"
#include "kernels/exp_ln.h"
#include "kernels/hann_window.h"
#include "kernels/kernel_buffer.h"
#include "qvt/operations.h"
#include "qvt/vector_func.h"

namespace zqx::swellgrid {

namespace {

constexpr double kSegmentMs = 30000.0;
constexpr double kLongStreamStartMs = 50000.0;
constexpr double kLongStreamMs = 80000.0;

// trunc(value) as a 32-bit signed count, saturating instead of overflowing for frame durations so
// small (or NaN) that the count does not fit.
std::int32_t truncatedFrames(double value) {
    if (!(value < 2147483648.0)) return std::numeric_limits<std::int32_t>::max();
    if (!(value > -2147483649.0)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

}  // namespace

Vector<float> makeSmoothingWindow(std::int32_t length) {
    Vector<float> window(static_cast<std::uint32_t>(length), 1.0f);
    // Lengths below 3 are refused by the kernel and keep their ones, which is what we want.
    (void)windowHannInPlace(window.data, length);
    return window;
}

AnalysisSegment selectAnalysisSegment(std::uint32_t historyLength, std::uint32_t windowLength,
                                      double frameDuration) {
    const double rate = 1.0 / frameDuration;
    const std::int32_t t30 = truncatedFrames(rate * kSegmentMs);
    const std::int32_t t50 = truncatedFrames(rate * kLongStreamStartMs);
    const std::int32_t t80 = truncatedFrames(rate * kLongStreamMs);

    AnalysisSegment segment;
    if (historyLength >= static_cast<std::uint32_t>(t80)) {
        // With frames longer than 50 s, T50 is 0 and the rule would start before the history.
        const std::int32_t first = t50 > 0 ? t50 - 1 : 0;
        const std::int32_t end = t80 > 0 ? t80 - 1 : 0;
        segment.start = static_cast<std::uint32_t>(first);
        segment.length = static_cast<std::uint32_t>(end - first);
    } else if (historyLength >= static_cast<std::uint32_t>(t30)) {
        // This count divides where T30 multiplies by the reciprocal; the two can differ by one at
        // exact multiples, so the count may exceed the history by one and is capped.
        const std::int32_t wanted = truncatedFrames(kSegmentMs / frameDuration);
        const std::uint32_t count = wanted > 0 ? static_cast<std::uint32_t>(wanted) : 0u;
        segment.length = count < historyLength ? count : historyLength;
        segment.start = historyLength - segment.length;
    } else if (historyLength <= windowLength) {
        segment.tooShort = true;
    } else {
        segment.length = historyLength;
    }
    return segment;
}

float computeDynamicRange(const std::vector<float>& levelHistory, const BaseVector<float>& smoothingWindow,
                          double frameDuration, Vector<float>& workBuffer) {
    const std::uint32_t windowLength = smoothingWindow.size;
    const AnalysisSegment segment =
        selectAnalysisSegment(static_cast<std::uint32_t>(levelHistory.size()), windowLength, frameDuration);
    if (segment.tooShort) return 0.0f;

    const std::int64_t kept = static_cast<std::int64_t>(segment.length) - windowLength;
    if (kept <= 0) {
        // A segment no longer than the window leaves nothing to average. A shorter one (possible
        // once the stream reaches 30 s) is treated the same way rather than sizing from a
        // negative count.
        workBuffer.setSize(0);
        requireNonEmpty(workBuffer);
    }
    const auto n = static_cast<std::uint32_t>(kept);
    const auto segmentLength = static_cast<std::int32_t>(segment.length);
    const auto windowCount = static_cast<std::int32_t>(windowLength);
    workBuffer.setSize(n);

    {
        // The convolution writes M + L - 1 values; the buffer is one longer. Released before the
        // contour is worked on.
        const KernelBuffer smoothed(static_cast<std::int64_t>(segmentLength) + windowCount);
        const KernelStatus convolved = convolve(levelHistory.data() + segment.start, segmentLength,
                                                smoothingWindow.data, windowCount, smoothed.data());
        // The arguments are valid by construction; only memory can run out.
        if (convolved == kStatusNoMemory) throw std::bad_alloc();
        // Keep c[L] .. c[M - 1], where the window lies wholly inside the segment.
        (void)vecCopy(smoothed.data() + windowLength, workBuffer.data, static_cast<std::int32_t>(n));
    }

    float* const contour = workBuffer.data;
    // Silence would take the logarithm to -infinity; NaN fails the comparison and passes on.
    for (std::uint32_t i = 0; i < n; ++i)
        if (contour[i] <= 0.0f) contour[i] = std::numeric_limits<float>::min();

    (void)vecLnInPlace(contour, static_cast<std::int32_t>(n));
    // Subtracting the mean logarithm divides every level by the geometric mean.
    const double meanLog = Sum(contour, n) / static_cast<double>(n);
    const float shift = static_cast<float>(-meanLog);
    AddScalar(contour, shift, n);
    (void)vecExpInPlace(contour, static_cast<std::int32_t>(n));

    return Max(contour, n) - Min(contour, n);
}

}  // namespace zqx::swellgrid
