#pragma once
// A large working buffer (a whole dump's memory, the writers' output
// buffers) on huge pages where the system offers them: touching tens of
// megabytes of fresh 4 KiB pages costs more than reading the dump.

#include <QtGlobal>

class BigBuffer
{
public:
    BigBuffer() = default;
    explicit BigBuffer(size_t size) { allocate(size); }
    ~BigBuffer();
    BigBuffer(const BigBuffer &) = delete;
    BigBuffer &operator=(const BigBuffer &) = delete;

    bool allocate(size_t size);   // contents undefined; false when out of memory
    quint8 *data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    quint8 *m_data = nullptr;
    size_t m_size = 0;
};
