#include "alignedmemory.h"

#include <cstdint>
#include <cstdlib>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace vdplatform {

void *alignedAllocate(size_t alignment, size_t size)
{
    if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0)
        return nullptr;
    if (size > SIZE_MAX - alignment)
        return nullptr;
    // aligned_alloc takes whole multiples of the alignment only.
    const size_t rounded = size == 0 ? alignment : (size + alignment - 1) / alignment * alignment;
#if defined(_WIN32)
    return _aligned_malloc(rounded, alignment);
#else
    return std::aligned_alloc(alignment, rounded);
#endif
}

void alignedFree(void *block)
{
#if defined(_WIN32)
    _aligned_free(block);
#else
    std::free(block);
#endif
}

} // namespace vdplatform
