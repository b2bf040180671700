// Aligned float buffers for kernels and their callers.
#pragma once

#include <cstddef>
#include <cstdint>

// n uninitialised floats at an address that is a multiple of 32 bytes; null when n <= 0 or memory
// runs out. Release with kernelFree and nothing else.
float* kernelAlloc(std::int32_t n) noexcept;

// Releases a block from kernelAlloc; null is ignored.
void kernelFree(float* p) noexcept;

// Byte-sized variant used for FFT scratch and kernel state objects: same alignment and rules.
void* kernelAllocBytes(std::size_t bytes) noexcept;
void kernelFreeBytes(void* p) noexcept;
