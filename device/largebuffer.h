#pragma once
// Memory for the few large arrays of a device load: the file's bytes and the
// element tree. Where the system offers it they live in huge pages, so a
// 12 MB device costs a handful of page faults instead of thousands; on a
// virtual machine those faults were most of a first load.

#include <cstddef>

namespace LargeBuffer {
void *allocate(std::size_t bytes); // throws std::bad_alloc like operator new
void release(void *p, std::size_t bytes);
} // namespace LargeBuffer

template <typename T>
struct LargeAllocator
{
    using value_type = T;
    LargeAllocator() = default;
    template <typename U>
    LargeAllocator(const LargeAllocator<U> &) {}
    T *allocate(std::size_t n) { return static_cast<T *>(LargeBuffer::allocate(n * sizeof(T))); }
    void deallocate(T *p, std::size_t n) { LargeBuffer::release(p, n * sizeof(T)); }
    template <typename U>
    bool operator==(const LargeAllocator<U> &) const { return true; }
    template <typename U>
    bool operator!=(const LargeAllocator<U> &) const { return false; }
};

// An uninitialised block of bytes.
class LargeBlock
{
public:
    explicit LargeBlock(std::size_t bytes) : m_size(bytes), m_data(static_cast<char *>(LargeBuffer::allocate(bytes))) {}
    ~LargeBlock() { LargeBuffer::release(m_data, m_size); }
    LargeBlock(const LargeBlock &) = delete;
    LargeBlock &operator=(const LargeBlock &) = delete;
    char *data() const { return m_data; }

private:
    std::size_t m_size;
    char *m_data;
};
