#include "dumpfile.h"

#include "loggerimage.h"

#include <QtEndian>

#include <cstring>
#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {
constexpr quint32 Magic = 0x4F525654;   // "ORVT"
constexpr quint32 Tag = 0x4C44;         // "LD"
constexpr qint64 FixedHead = 32;        // magic .. L1
quint32 be32(const uchar *p) { return qFromBigEndian<quint32>(p); }
} // namespace

DumpFile::~DumpFile()
{
    release();
}

void DumpFile::release()
{
#ifdef Q_OS_LINUX
    if (m_map)
        munmap(m_map, m_mapSize);
#endif
    m_map = nullptr;
    m_mapSize = 0;
    m_copy.reset();
    m_file.close();
    m_block.clear();
    data = nullptr;
}

bool DumpFile::open(const QString &path)
{
    release();
    m_file.setFileName(path);
    if (!m_file.exists()) {
        m_error = QStringLiteral("no such file");
        return false;
    }
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = m_file.errorString();
        return false;
    }
    const qint64 size = m_file.size();
    const uchar *bytes = nullptr;
#ifdef Q_OS_LINUX
    // Populated at once: a page fault per 4 KiB costs more than the read.
    if (size > 0) {
        void *p = mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, m_file.handle(), 0);
        if (p != MAP_FAILED) {
            m_map = static_cast<uchar *>(p);
            m_mapSize = size_t(size);
            madvise(p, m_mapSize, MADV_SEQUENTIAL);
            bytes = m_map;
        }
    }
#endif
    qint64 available = size;
    if (!bytes) {
        // Everything before the data first, so a foreign file is refused
        // before its size is allocated.
        QByteArray head = m_file.read(FixedHead);
        if (head.size() == FixedHead) {
            const quint32 l1 = be32(reinterpret_cast<const uchar *>(head.constData()) + 28);
            if (qint64(l1) <= size - FixedHead - 4)
                head += m_file.read(qint64(l1) + 4);
        }
        if (!parseHead(reinterpret_cast<const uchar *>(head.constData()), size, head.size())) {
            release();
            return false;
        }
        m_copy.reset(new (std::nothrow) quint8[qMax<quint32>(dataSize, 1)]);
        if (!m_copy || m_file.read(reinterpret_cast<char *>(m_copy.get()), dataSize) != qint64(dataSize)) {
            m_error = m_copy ? m_file.errorString()
                             : QStringLiteral("not enough memory for %1 bytes of logged data").arg(dataSize);
            release();
            return false;
        }
        data = m_copy.get();
        return true;
    }
    if (!parseHead(bytes, size, available)) {
        release();
        return false;
    }
    data = bytes + size - dataSize;
    return true;
}

bool DumpFile::openBytes(const QByteArray &bytes)
{
    release();
    if (!parseHead(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size(), bytes.size()))
        return false;
    data = reinterpret_cast<const quint8 *>(bytes.constData()) + bytes.size() - dataSize;
    return true;
}

// available: how many of the file's bytes p holds (at least the head).
bool DumpFile::parseHead(const uchar *p, qint64 size, qint64 available)
{
    m_error = QStringLiteral("not a logger dump (empty, truncated, foreign or inconsistent file)");
    if (size < FixedHead + 4 || available < FixedHead + 4 || be32(p) != Magic || be32(p + 4) >> 16 != Tag)
        return false;
    version = quint16(be32(p + 4));
    if (version > 1)
        return false;
    configurationReadResult = qint32(be32(p + 8));
    downloadResult = qint32(be32(p + 12));
    pageAlignment = be32(p + 16);
    capacity = be32(p + 20);
    bytesDownloaded = be32(p + 24);
    const quint32 l1 = be32(p + 28);
    const quint32 header = version == 0 ? LoggerLayout::HeaderSizeV0 : LoggerLayout::HeaderSize;
    // The block must be exactly what the capacity implies, never read past.
    if (l1 != 60ull * capacity + 22 + header || qint64(l1) > size - FixedHead - 4 || FixedHead + l1 + 4 > available)
        return false;
    dataSize = be32(p + FixedHead + l1);
    if (size != FixedHead + qint64(l1) + 4 + qint64(dataSize) || bytesDownloaded > dataSize)
        return false;
    m_block.assign(size_t(60ull * capacity + 906), 0);
    std::memcpy(m_block.data(), p + FixedHead, header);
    std::memcpy(m_block.data() + LoggerLayout::HeaderSize, p + FixedHead + header, l1 - header);
    m_error.clear();
    return true;
}
