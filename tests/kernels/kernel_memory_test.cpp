// kernelAlloc alignment and refusals, and the status names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "kernels/kernel_buffer.h"
#include "kernels/kernel_memory.h"
#include "kernels/kernel_status.h"

namespace {

TEST(KernelAlloc, RefusesNonPositiveCounts) {
    EXPECT_EQ(kernelAlloc(0), nullptr);
    EXPECT_EQ(kernelAlloc(-3), nullptr);
    kernelFree(nullptr);
}

TEST(KernelAlloc, BlocksAre32ByteAlignedAndWritable) {
    for (std::int32_t n : {1, 3, 7, 8, 33, 1000, 65537}) {
        float* p = kernelAlloc(n);
        ASSERT_NE(p, nullptr) << n;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 32, 0u) << n;
        std::memset(p, 0, sizeof(float) * static_cast<std::size_t>(n));
        kernelFree(p);
    }
}

TEST(KernelBuffer, GrowsOnlyAndRefusesWhatNoKernelLengthHolds) {
    KernelBuffer buffer;
    EXPECT_TRUE(buffer.tryReserve(0));
    EXPECT_EQ(buffer.data(), nullptr);
    ASSERT_TRUE(buffer.tryReserve(100));
    float* const first = buffer.data();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 32, 0u);
    EXPECT_TRUE(buffer.tryReserve(50));  // already room: the same storage
    EXPECT_EQ(buffer.data(), first);
    // Beyond a kernel length: refused, the storage kept.
    EXPECT_FALSE(buffer.tryReserve(std::int64_t{1} << 31));
    EXPECT_EQ(buffer.data(), first);
    EXPECT_EQ(buffer.capacity(), 100);
    EXPECT_THROW(buffer.reserve(std::int64_t{1} << 31), std::bad_alloc);
    EXPECT_THROW(KernelBuffer(std::int64_t{1} << 40), std::bad_alloc);

    KernelByteBuffer bytes(33);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bytes.data()) % 32, 0u);
    std::memset(bytes.data(), 0, 33);
}

TEST(KernelStatusName, NamesEveryStatus) {
    for (std::int32_t s : {0, -6, -8, -9, -10, -15, -16, -17, -25, 3, 7, 8})
        EXPECT_STRNE(kernelStatusName(s), "unknown status") << s;
    EXPECT_STREQ(kernelStatusName(12345), "unknown status");
}

}  // namespace
