// The process-wide store of FFT-mode chroma tables.
#include "modules/tonewheel/chroma_tables.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "kernels/elementwise.h"
#include "kernels/hann_window.h"

namespace zqx::tonewheel {

namespace {

// Tables kept while no instance holds them: enough for the rates and block lengths of one corpus
// run, small enough (about 10 KB each at 2048-sample frames) that the cap never matters for memory.
constexpr std::size_t kKeptTables = 8;
// Frames above this are built for the asking instance alone: the tables of a 2^26-sample frame take
// over half a gigabyte, which no process should keep after its instance is gone.
constexpr std::uint32_t kLargestKeptFrame = 1u << 16;

std::shared_ptr<const FftChromaTables> buildTables(std::uint32_t samplingRate, std::uint32_t frameLength,
                                                   bool earTransfer) {
    auto tables = std::make_shared<FftChromaTables>();
    tables->samplingRate = samplingRate;
    tables->frameLength = frameLength;
    tables->earTransfer = earTransfer;
    tables->binWidth = binWidthFor(samplingRate, frameLength);
    // The factors windowHannInPlace would multiply a frame by; a frame below three samples is not
    // windowed, which these ones stand for (the module copies such frames instead).
    tables->window.setSize(frameLength);
    (void)vecSet(1.0f, tables->window.data, static_cast<std::int32_t>(frameLength));
    (void)windowHannInPlace(tables->window.data, static_cast<std::int32_t>(frameLength));
    computeEarWeights(earTransfer, samplingRate, frameLength, tables->earWeights);
    float pitchFrequencies[kNumPitches];
    fillPitchFrequencies(pitchFrequencies);
    computeBinToPitchClass(pitchFrequencies, tables->binWidth, frameLength, tables->binToPitchClass);
    groupBinsByClass(tables->binToPitchClass.data, tables->binToPitchClass.size, tables->classBins);
    return tables;
}

}  // namespace

std::shared_ptr<const FftChromaTables> sharedFftChromaTables(std::uint32_t samplingRate,
                                                             std::uint32_t frameLength, bool earTransfer) {
    if (frameLength > kLargestKeptFrame) return buildTables(samplingRate, frameLength, earTransfer);
    // Most recently asked for last. Building under the lock keeps two threads from building the
    // same tables; it happens once per triple.
    static std::mutex lock;
    static std::vector<std::shared_ptr<const FftChromaTables>> kept;
    const std::lock_guard<std::mutex> guard(lock);
    const auto found = std::find_if(kept.begin(), kept.end(), [&](const auto& t) {
        return t->samplingRate == samplingRate && t->frameLength == frameLength && t->earTransfer == earTransfer;
    });
    std::shared_ptr<const FftChromaTables> tables;
    if (found != kept.end()) {
        tables = *found;
        kept.erase(found);
    } else {
        tables = buildTables(samplingRate, frameLength, earTransfer);
        if (kept.size() == kKeptTables) kept.erase(kept.begin());
    }
    kept.push_back(tables);
    return tables;
}

}  // namespace zqx::tonewheel
