// Convolution and autocorrelation: a direct loop for small sizes, FFT methods for large ones.
#include "kernels/convolution.h"

#include <algorithm>
#include <cstddef>
#include <climits>
#include <cstring>

#include "kernels/detail/convolution_methods.h"
#include "kernels/kernel_memory.h"
#include "kernels/real_fft.h"

namespace zqx::detail {
namespace {

// Smallest order with 2^order >= n; may exceed the largest FFT order, which plan creation refuses.
int orderFor(std::int64_t n) noexcept {
    int order = 0;
    while ((std::int64_t{1} << order) < n) ++order;
    return order;
}

// A plan with NormalizeInverse and one kernelAlloc block holding `buffers` arrays of M floats
// followed by the transform's scratch; both released by the destructor, whatever path is taken.
class FftWorkspace {
public:
    FftWorkspace(int order, int buffers) noexcept {
        m_status = realFftCreate(&m_plan, order, NormalizeInverse, 0);
        if (m_status != kStatusOk) return;
        int scratchBytes = 0;
        (void)realFftScratchSize(m_plan, &scratchBytes);
        const std::int64_t size = std::int64_t{1} << order;
        const std::int64_t floats = size * buffers + (scratchBytes + 3) / 4;
        m_block = floats <= INT32_MAX ? kernelAlloc(static_cast<std::int32_t>(floats)) : nullptr;
        if (!m_block) m_status = kStatusNoMemory;
        m_size = static_cast<std::size_t>(size);
        m_buffers = buffers;
    }
    ~FftWorkspace() {
        if (m_plan) (void)realFftDestroy(m_plan);
        kernelFree(m_block);
    }
    FftWorkspace(const FftWorkspace&) = delete;
    FftWorkspace& operator=(const FftWorkspace&) = delete;

    KernelStatus status() const noexcept { return m_status; }
    std::size_t size() const noexcept { return m_size; }
    float* buffer(int i) const noexcept { return m_block + m_size * static_cast<std::size_t>(i); }
    KernelStatus forward(const float* src, float* dst) const noexcept {
        return realFftForward(src, dst, m_plan, scratch());
    }
    KernelStatus inverse(const float* src, float* dst) const noexcept {
        return realFftInverse(src, dst, m_plan, scratch());
    }

private:
    std::uint8_t* scratch() const noexcept {
        return reinterpret_cast<std::uint8_t*>(m_block + m_size * static_cast<std::size_t>(m_buffers));
    }

    RealFftPlan* m_plan = nullptr;
    float* m_block = nullptr;
    std::size_t m_size = 0;
    int m_buffers = 0;
    KernelStatus m_status = kStatusOk;
};

// x = x * y bin by bin, both packed spectra of n values.
void multiplySpectra(float* __restrict x, const float* __restrict y, std::size_t n) noexcept {
    x[0] *= y[0];
    x[1] *= y[1];
    for (std::size_t k = 2; k < n; k += 2) {
        const float re = x[k] * y[k] - x[k + 1] * y[k + 1];
        const float im = x[k] * y[k + 1] + x[k + 1] * y[k];
        x[k] = re;
        x[k + 1] = im;
    }
}

void copyPadded(const float* src, std::size_t count, float* dst, std::size_t size) noexcept {
    std::memcpy(dst, src, count * sizeof(float));
    std::fill(dst + count, dst + size, 0.0f);
}

// dst[off + j] += c * x[j]: the inner loop of the direct method, left to the vectoriser.
void addScaled(float c, const float* __restrict x, std::size_t n, float* __restrict dst) noexcept {
    for (std::size_t j = 0; j < n; ++j) dst[j] += c * x[j];
}

// Four partial sums in double: a vectorisable order that keeps the wide accumulation.
double dotWide(const float* __restrict x, const float* __restrict y, std::size_t n) noexcept {
    double acc[4] = {0, 0, 0, 0};
    std::size_t j = 0;
    for (; j + 4 <= n; j += 4)
        for (std::size_t u = 0; u < 4; ++u) acc[u] += static_cast<double>(x[j + u]) * y[j + u];
    for (; j < n; ++j) acc[0] += static_cast<double>(x[j]) * y[j];
    return (acc[0] + acc[1]) + (acc[2] + acc[3]);
}

}  // namespace

KernelStatus convolveDirect(const float* longer, std::int32_t longerLen, const float* shorter,
                            std::int32_t shorterLen, float* dst) noexcept {
    const std::size_t len = static_cast<std::size_t>(longerLen) + static_cast<std::size_t>(shorterLen) - 1;
    std::fill(dst, dst + len, 0.0f);
    // Pieces of the longer input keep the touched part of dst and the piece itself in cache.
    for (std::int32_t start = 0; start < longerLen; start += kConvolveDirectPiece) {
        const std::size_t piece = static_cast<std::size_t>(std::min(kConvolveDirectPiece, longerLen - start));
        for (std::int32_t i = 0; i < shorterLen; ++i)
            addScaled(shorter[i], longer + start, piece, dst + start + i);
    }
    return kStatusOk;
}

KernelStatus convolveSingleFft(const float* longer, std::int32_t longerLen, const float* shorter,
                               std::int32_t shorterLen, float* dst) noexcept {
    const std::int64_t len = std::int64_t{longerLen} + shorterLen - 1;
    const FftWorkspace ws(std::max(orderFor(len), 2), 2);
    if (ws.status() != kStatusOk) return ws.status();
    float* x = ws.buffer(0);
    float* y = ws.buffer(1);
    copyPadded(longer, static_cast<std::size_t>(longerLen), x, ws.size());
    copyPadded(shorter, static_cast<std::size_t>(shorterLen), y, ws.size());
    KernelStatus status = ws.forward(x, x);
    if (status == kStatusOk) status = ws.forward(y, y);
    if (status != kStatusOk) return status;
    multiplySpectra(x, y, ws.size());
    status = ws.inverse(x, x);
    if (status != kStatusOk) return status;
    std::memcpy(dst, x, static_cast<std::size_t>(len) * sizeof(float));
    return kStatusOk;
}

// Each block transforms M input values and keeps the M - S + 1 outputs that the circular
// convolution did not wrap; the S - 1 values before the block supply the history.
KernelStatus convolveOverlapSave(const float* longer, std::int32_t longerLen, const float* shorter,
                                 std::int32_t shorterLen, float* dst) noexcept {
    const std::int64_t len = std::int64_t{longerLen} + shorterLen - 1;
    const std::int64_t s = shorterLen;
    const int order = std::max(orderFor(2 * s), 1) + 1;
    const FftWorkspace ws(order, 2);
    if (ws.status() != kStatusOk) return ws.status();
    const std::int64_t m = static_cast<std::int64_t>(ws.size());
    const std::int64_t block = m - s + 1;
    float* kernel = ws.buffer(0);
    float* work = ws.buffer(1);
    copyPadded(shorter, static_cast<std::size_t>(shorterLen), kernel, ws.size());
    KernelStatus status = ws.forward(kernel, kernel);
    if (status != kStatusOk) return status;
    for (std::int64_t t = 0; t < len; t += block) {
        // The first block has no history: L[0 .. M-S] at the front, its outputs from position 0.
        const std::int64_t first = t == 0 ? 0 : t - (s - 1);
        const std::int64_t keepFrom = t == 0 ? 0 : s - 1;
        const std::int64_t wanted = t == 0 ? block : m;
        const std::int64_t available = std::max<std::int64_t>(0, std::min(wanted, longerLen - first));
        copyPadded(longer + first, static_cast<std::size_t>(available), work, ws.size());
        status = ws.forward(work, work);
        if (status != kStatusOk) return status;
        multiplySpectra(work, kernel, ws.size());
        status = ws.inverse(work, work);
        if (status != kStatusOk) return status;
        const std::int64_t count = std::min(block, len - t);
        std::memcpy(dst + t, work + keepFrom, static_cast<std::size_t>(count) * sizeof(float));
    }
    return kStatusOk;
}

KernelStatus autoCorrelateDirect(const float* src, std::int32_t srcLen, float* dst, std::int32_t m) noexcept {
    for (std::int32_t k = 0; k < m; ++k)
        dst[k] = static_cast<float>(dotWide(src, src + k, static_cast<std::size_t>(srcLen - k)));
    return kStatusOk;
}

KernelStatus autoCorrelateFft(const float* src, std::int32_t srcLen, float* dst, std::int32_t m) noexcept {
    // Twice the input length: the circular correlation then equals the linear one at every lag.
    const FftWorkspace ws(orderFor(2 * std::int64_t{srcLen}), 1);
    if (ws.status() != kStatusOk) return ws.status();
    float* x = ws.buffer(0);
    const std::size_t n = ws.size();
    copyPadded(src, static_cast<std::size_t>(srcLen), x, n);
    KernelStatus status = ws.forward(x, x);
    if (status != kStatusOk) return status;
    x[0] *= x[0];
    x[1] *= x[1];
    for (std::size_t k = 2; k < n; k += 2) {
        x[k] = x[k] * x[k] + x[k + 1] * x[k + 1];
        x[k + 1] = 0.0f;
    }
    status = ws.inverse(x, x);
    if (status != kStatusOk) return status;
    std::memcpy(dst, x, static_cast<std::size_t>(m) * sizeof(float));
    return kStatusOk;
}

}  // namespace zqx::detail

KernelStatus convolve(const float* a, std::int32_t aLen, const float* b, std::int32_t bLen, float* dst) noexcept {
    if (!a || !b || !dst) return kStatusNullPointer;
    if (aLen < 1 || bLen < 1) return kStatusBadLength;
    using namespace zqx::detail;
    const bool aLonger = aLen >= bLen;
    const float* longer = aLonger ? a : b;
    const float* shorter = aLonger ? b : a;
    const std::int32_t longerLen = aLonger ? aLen : bLen;
    const std::int32_t shorterLen = aLonger ? bLen : aLen;
    const std::int64_t len = std::int64_t{aLen} + bLen - 1;
    if (len < kConvolveDirectBelowLength || shorterLen < kConvolveDirectBelowShorter)
        return convolveDirect(longer, longerLen, shorter, shorterLen, dst);
    if (std::int64_t{longerLen} < std::int64_t{kOverlapSaveRatio} * shorterLen)
        return convolveSingleFft(longer, longerLen, shorter, shorterLen, dst);
    return convolveOverlapSave(longer, longerLen, shorter, shorterLen, dst);
}

KernelStatus autoCorrelate(const float* src, std::int32_t srcLen, float* dst, std::int32_t dstLen) noexcept {
    if (!src || !dst) return kStatusNullPointer;
    if (srcLen < 1 || dstLen < 1) return kStatusBadLength;
    using namespace zqx::detail;
    const std::int32_t m = std::min(srcLen, dstLen);
    const KernelStatus status =
        m < kAutoCorrelateDirectBelow ? autoCorrelateDirect(src, srcLen, dst, m) : autoCorrelateFft(src, srcLen, dst, m);
    if (status != kStatusOk) return status;
    std::fill(dst + m, dst + dstLen, 0.0f);
    return kStatusOk;
}
