#include "core/heapwarmup.h"

#include <cstdint>
#include <cstdlib>
#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#endif

namespace tollvik {

void warmUpHeap()
{
#if defined(__linux__) && defined(__GLIBC__) && defined(MADV_POPULATE_WRITE)
    // Every page of memory touched for the first time costs a page fault, and on virtual machines
    // a fault costs ten microseconds or more. Building and painting the window touches about
    // 4 MB, the 1.7 MB picture it is painted into included. The heap grows by that much at once
    // and the kernel fills it in with one call (a fraction of the faults' cost), then malloc gets
    // it back. For that block to come from the heap and to stay there, the mmap and trim
    // thresholds are set; setting them ends malloc's own adjustment of them, so they are set to
    // the ceiling that adjustment would reach (32 MB, twice that for trimming): large buffers,
    // such as an archive build's, keep their pages between uses as they would without the
    // warm-up. Kernels before 5.14 refuse the call, and nothing is lost.
    constexpr std::size_t kBytes = std::size_t{4} << 20;
    constexpr int kMmapThreshold = 32 << 20;
    constexpr std::uintptr_t kPage = 4096;
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, 2 * kMmapThreshold);
    void* block = std::malloc(kBytes - 64 * 1024);
    if (block == nullptr)
        return;
    const auto start = (reinterpret_cast<std::uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + kBytes - 64 * 1024) & ~(kPage - 1);
    (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
    std::free(block);
#endif
}

} // namespace tollvik
