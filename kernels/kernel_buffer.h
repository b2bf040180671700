// KernelBuffer: the one owner of kernel memory. A 32-byte aligned block from kernelAllocBytes
// (kernel_memory.h) that only ever grows, released when the owner goes. The kernels themselves
// never throw; this owner serves their callers, with a non-throwing tryReserve() for code that
// reports exhaustion by status (tonalscan) and a throwing reserve() for code that reports it as
// std::bad_alloc (the modules).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

#include "kernels/kernel_memory.h"

template <typename T>
class BasicKernelBuffer {
public:
    BasicKernelBuffer() = default;
    // Storage for `count` elements, contents undefined; no storage when count <= 0. Throws
    // std::bad_alloc as reserve() does.
    explicit BasicKernelBuffer(std::int64_t count) { reserve(count); }
    ~BasicKernelBuffer() { kernelFreeBytes(m_data); }

    BasicKernelBuffer(const BasicKernelBuffer&) = delete;
    BasicKernelBuffer& operator=(const BasicKernelBuffer&) = delete;

    // Makes room for `count` elements. Storage is replaced only when it holds fewer; the previous
    // contents are then discarded. False, with the storage unchanged, when the count exceeds a
    // kernel length (2^31 - 1) or memory runs out.
    bool tryReserve(std::int64_t count) noexcept {
        if (count <= m_capacity) return true;
        if (count > std::numeric_limits<std::int32_t>::max() ||
            static_cast<std::uint64_t>(count) > std::numeric_limits<std::size_t>::max() / 2 / sizeof(T))
            return false;
        void* fresh = kernelAllocBytes(static_cast<std::size_t>(count) * sizeof(T));
        if (!fresh) return false;
        kernelFreeBytes(std::exchange(m_data, static_cast<T*>(fresh)));
        m_capacity = static_cast<std::int32_t>(count);
        return true;
    }
    // tryReserve(), throwing std::bad_alloc where it answers false.
    void reserve(std::int64_t count) {
        if (!tryReserve(count)) throw std::bad_alloc();
    }

    T* data() const { return m_data; }
    std::int32_t capacity() const { return m_capacity; }

private:
    T* m_data = nullptr;
    std::int32_t m_capacity = 0;
};

// Float arrays for the kernels' data arguments.
using KernelBuffer = BasicKernelBuffer<float>;
// Raw bytes for FFT scratch and kernel state.
using KernelByteBuffer = BasicKernelBuffer<std::uint8_t>;
