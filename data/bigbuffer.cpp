#include "bigbuffer.h"

#include <cstdlib>
#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {
constexpr size_t HugePage = size_t(2) << 20;
}

BigBuffer::~BigBuffer()
{
    std::free(m_data);
}

bool BigBuffer::allocate(size_t size)
{
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    void *p = nullptr;
    const size_t rounded = (qMax<size_t>(size, 1) + HugePage - 1) / HugePage * HugePage;
    if (posix_memalign(&p, HugePage, rounded) != 0)
        return false;
#ifdef Q_OS_LINUX
    madvise(p, rounded, MADV_HUGEPAGE);
#endif
    m_data = static_cast<quint8 *>(p);
    m_size = size;
    return true;
}
