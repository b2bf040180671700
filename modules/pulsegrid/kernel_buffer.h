// KernelBuffer: an owned, 32-byte aligned float buffer from kernelAlloc that only ever grows.
#pragma once

#include <cstdint>
#include <limits>
#include <new>
#include <utility>

#include "kernels/kernel_memory.h"

// Used both for the extractor's buffers that live from call to call and for per-call scratch
// (construct with the count, released at the end of the scope). Not copyable.
class KernelBuffer {
public:
    KernelBuffer() = default;
    // Storage for `count` floats, contents undefined; no storage when count <= 0.
    // Throws std::bad_alloc when the count does not fit a kernel length or memory runs out.
    explicit KernelBuffer(std::int64_t count) { reserve(count); }
    ~KernelBuffer() { kernelFree(m_data); }

    KernelBuffer(const KernelBuffer&) = delete;
    KernelBuffer& operator=(const KernelBuffer&) = delete;

    // Makes room for `count` floats. Storage is replaced only when it holds fewer; the previous
    // contents are then discarded. Throws as the constructor does.
    void reserve(std::int64_t count) {
        if (count <= m_capacity) return;
        if (count > std::numeric_limits<std::int32_t>::max()) throw std::bad_alloc();
        float* fresh = kernelAlloc(static_cast<std::int32_t>(count));
        if (!fresh) throw std::bad_alloc();
        kernelFree(std::exchange(m_data, fresh));
        m_capacity = static_cast<std::int32_t>(count);
    }

    float* data() const { return m_data; }
    std::int32_t capacity() const { return m_capacity; }

private:
    float* m_data = nullptr;
    std::int32_t m_capacity = 0;
};
