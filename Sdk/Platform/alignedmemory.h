// Memory blocks aligned beyond what operator new promises, for pixel buffers:
// std::aligned_alloc where the C library has it, _aligned_malloc on Windows,
// whose blocks must go back through _aligned_free and not free().
#pragma once

#include <cstddef>

namespace vdplatform {

// A block of at least size bytes (at least one byte) at an address that is a
// multiple of alignment, a power of two; null when alignment is not one or
// memory is short. Only alignedFree may release it.
void *alignedAllocate(size_t alignment, size_t size);
// Null is ignored.
void alignedFree(void *block);

} // namespace vdplatform
