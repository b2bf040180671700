// CChromaModule's storage: buffers kept from block to block (no allocation per block once a frame
// length has been seen), and the per-(rate, frame length) tables shared between instances and
// threads. This binary counts every operator new to see the first.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "tests/support/fake_parameter_set.h"
#include "modules/tonewheel/chroma_module.h"
#include "modules/tonewheel/chroma_tables.h"
#include "tests/support/signals.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t bytes) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(bytes ? bytes : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t bytes) { return operator new(bytes); }
// The nothrow forms must come from the same pair of functions as the deletes below.
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(bytes ? bytes : 1);
}
void* operator new[](std::size_t bytes, const std::nothrow_t& tag) noexcept { return operator new(bytes, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace zqx::tonewheel;
using ParameterMap = zqx::test::FakeParameterSet;

TEST(ChromaStorage, BlocksAfterTheFirstAllocateNothing) {
    const auto audio = zqx::test::sineTone(440.0, 0.5, 44100, 4096 * 6);
    for (bool mrfft : {false, true}) {
        ParameterMap params{{"loedge", 100}, {"hiedge", 5000}, {"earTransfer", true},
                            {"numMaxima", 20}, {"useMRFFT", mrfft}};
        ParameterMap global{{"samplingRate", 44100}, {"windowSize", 4096}, {"overlapSize", 0}};
        CChromaModule module(&params, &global);
        DataBlock* out = nullptr;
        BaseMatrix<float> first(const_cast<float*>(audio.data()), 1, 4096);
        module.process(out, &first);
        const float* result = static_cast<const BaseVector<float>*>(out)->data;
        const long before = g_allocations.load();
        for (std::uint32_t b = 1; b < 6; ++b) {
            BaseMatrix<float> block(const_cast<float*>(audio.data()) + 4096 * b, 1, 4096);
            module.process(out, &block);
            const auto& chroma = *static_cast<const BaseVector<float>*>(out);
            ASSERT_EQ(chroma.size, 24u);
            EXPECT_EQ(chroma.data, result) << "block " << b << (mrfft ? ", MRFFT" : ", FFT");
            EXPECT_GT(chroma.data[9], 0.0f) << "block " << b;
        }
        // The pitch library keeps its own records; only the FFT path is this module's alone.
        if (!mrfft) {
            EXPECT_EQ(g_allocations.load() - before, 0) << "allocations in five FFT-mode blocks";
        }
    }
}

TEST(ChromaStorage, TablesAreSharedPerRateFrameAndWeighting) {
    const auto a = sharedFftChromaTables(44100, 2048, true);
    EXPECT_EQ(sharedFftChromaTables(44100, 2048, true), a);
    const struct {
        std::uint32_t rate, frame;
        bool ear;
    } others[] = {{48000, 2048, true}, {44100, 1024, true}, {44100, 2048, false}};
    for (const auto& o : others) {
        const auto t = sharedFftChromaTables(o.rate, o.frame, o.ear);
        EXPECT_NE(t, a);
        EXPECT_EQ(t->samplingRate, o.rate);
        EXPECT_EQ(t->frameLength, o.frame);
        EXPECT_EQ(t->earTransfer, o.ear);
        EXPECT_EQ(t->binToPitchClass.size, o.frame / 2);
        EXPECT_EQ(t->classBins.bins, o.frame / 2u);
    }

    // Threads asking at once for tables nobody has yet all get the one object.
    std::vector<std::shared_ptr<const FftChromaTables>> got(4);
    std::vector<std::thread> threads;
    for (auto& slot : got) threads.emplace_back([&slot] { slot = sharedFftChromaTables(32000, 4096, true); });
    for (auto& t : threads) t.join();
    for (const auto& t : got) EXPECT_EQ(t, got[0]);
}

TEST(ChromaStorage, OnlyRecentAndSmallTablesOutliveTheirUsers) {
    std::weak_ptr<const FftChromaTables> recent = sharedFftChromaTables(22050, 512, false);
    EXPECT_FALSE(recent.expired()) << "kept for the next instance";
    std::weak_ptr<const FftChromaTables> large = sharedFftChromaTables(22050, 1u << 17, false);
    EXPECT_TRUE(large.expired()) << "a frame above 65536 samples is not kept";
    for (std::uint32_t rate = 60000; rate < 60008; ++rate) (void)sharedFftChromaTables(rate, 64, false);
    EXPECT_TRUE(recent.expired()) << "eight newer triples push it out";

    // Tables still held stay valid however many others come and go.
    const auto held = sharedFftChromaTables(22050, 256, true);
    for (std::uint32_t rate = 70000; rate < 70010; ++rate) (void)sharedFftChromaTables(rate, 64, false);
    EXPECT_EQ(held->frameLength, 256u);
    EXPECT_EQ(held->window.size, 256u);
}

}  // namespace
