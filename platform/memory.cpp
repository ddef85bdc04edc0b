#include "platform/memory.hpp"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace zs::platform {

void return_large_blocks_when_freed() {
#if defined(M_MMAP_THRESHOLD)
    // A fixed threshold: the C library would otherwise raise it to the size
    // of the largest block freed, and keep every later 16 MiB text in the heap.
    constexpr int large_block = 256 * 1024;
    mallopt(M_MMAP_THRESHOLD, large_block);
#endif
}

} // namespace zs::platform
