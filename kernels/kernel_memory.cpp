// 32-byte aligned allocation on top of malloc: the original pointer is kept just below the block.
#include "kernels/kernel_memory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {
constexpr std::size_t kAlignment = 32;
}

void* kernelAllocBytes(std::size_t bytes) noexcept {
    if (bytes == 0 || bytes > std::numeric_limits<std::size_t>::max() - kAlignment - sizeof(void*))
        return nullptr;
    void* raw = std::malloc(bytes + kAlignment + sizeof(void*));
    if (!raw) return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
    const std::uintptr_t aligned = (start + kAlignment - 1) & ~static_cast<std::uintptr_t>(kAlignment - 1);
    reinterpret_cast<void**>(aligned)[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

void kernelFreeBytes(void* p) noexcept {
    if (p) std::free(static_cast<void**>(p)[-1]);
}

float* kernelAlloc(std::int32_t n) noexcept {
    if (n <= 0) return nullptr;
    // On 32-bit targets n * 4 can exceed size_t; kernelAllocBytes refuses what cannot be sized.
    if (static_cast<std::uint64_t>(n) * sizeof(float) > std::numeric_limits<std::size_t>::max() / 2)
        return nullptr;
    return static_cast<float*>(kernelAllocBytes(static_cast<std::size_t>(n) * sizeof(float)));
}

void kernelFree(float* p) noexcept { kernelFreeBytes(p); }
