#include "largebuffer.h"

#include <QtGlobal>
#include <new>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <cstdint>
#endif

namespace {
constexpr std::size_t HugePage = std::size_t(2) << 20;
// Below this the ordinary heap serves as well.
constexpr std::size_t Threshold = std::size_t(4) << 20;

std::size_t mappedSize(std::size_t bytes) { return (bytes + HugePage - 1) & ~(HugePage - 1); }
} // namespace

namespace LargeBuffer {

void *allocate(std::size_t bytes)
{
#ifdef Q_OS_LINUX
    if (bytes >= Threshold) {
        // Huge pages need a 2 MB aligned range: map one page more and trim.
        const std::size_t size = mappedSize(bytes);
        void *raw = mmap(nullptr, size + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED)
            throw std::bad_alloc();
        const auto begin = reinterpret_cast<std::uintptr_t>(raw);
        const std::uintptr_t aligned = (begin + HugePage - 1) & ~std::uintptr_t(HugePage - 1);
        if (aligned > begin)
            munmap(raw, aligned - begin);
        const std::size_t tail = (begin + size + HugePage) - (aligned + size);
        if (tail > 0)
            munmap(reinterpret_cast<void *>(aligned + size), tail);
        madvise(reinterpret_cast<void *>(aligned), size, MADV_HUGEPAGE); // a hint; fine if refused
        return reinterpret_cast<void *>(aligned);
    }
#endif
    return ::operator new(bytes);
}

void release(void *p, std::size_t bytes)
{
    if (!p)
        return;
#ifdef Q_OS_LINUX
    if (bytes >= Threshold) {
        munmap(p, mappedSize(bytes));
        return;
    }
#endif
    ::operator delete(p);
}

} // namespace LargeBuffer
