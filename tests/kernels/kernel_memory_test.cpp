// kernelAlloc alignment and refusals, and the status names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

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

TEST(KernelStatusName, NamesEveryStatus) {
    for (std::int32_t s : {0, -6, -8, -9, -10, -15, -16, -17, -25, 3, 7, 8})
        EXPECT_STRNE(kernelStatusName(s), "unknown status") << s;
    EXPECT_STREQ(kernelStatusName(12345), "unknown status");
}

}  // namespace
