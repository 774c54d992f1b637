#include "dumpfile.h"

#include <QtEndian>

#include <cstring>

namespace {
constexpr quint32 Magic = 0x4F525654;   // "ORVT"
constexpr quint32 Tag = 0x4C44;         // "LD"
constexpr qint64 FixedHead = 32;
constexpr quint32 HeaderSize = 884, HeaderSizeV0 = 880;
quint32 be32(const uchar *p) { return qFromBigEndian<quint32>(p); }
} // namespace

bool DumpFile::open(const QString &path)
{
    QFile f(path);
    if (!f.exists()) {
        m_error = QStringLiteral("no such file");
        return false;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        m_error = f.errorString();
        return false;
    }
    // Everything before the data: the fixed head, the read-back block, L2.
    const qint64 size = f.size();
    QByteArray head = f.read(FixedHead);
    if (head.size() == FixedHead) {
        const quint32 l1 = be32(reinterpret_cast<const uchar *>(head.constData()) + 28);
        if (qint64(l1) <= size - FixedHead - 4)
            head += f.read(qint64(l1) + 4);
    }
    if (!parseHead(reinterpret_cast<const uchar *>(head.constData()), size, head.size()))
        return false;
    if (!m_memory.allocate(dataSize)) {
        m_error = QStringLiteral("not enough memory for %1 bytes of logged data").arg(dataSize);
        return false;
    }
    if (f.read(reinterpret_cast<char *>(m_memory.data()), dataSize) != qint64(dataSize)) {
        m_error = f.errorString();
        return false;
    }
    data = m_memory.data();
    return true;
}

bool DumpFile::openBytes(const QByteArray &bytes)
{
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
    const quint32 header = version == 0 ? HeaderSizeV0 : HeaderSize;
    if (l1 != 60ull * capacity + 22 + header || qint64(l1) > size - FixedHead - 4 || FixedHead + l1 + 4 > available)
        return false;
    dataSize = be32(p + FixedHead + l1);
    if (size != FixedHead + qint64(l1) + 4 + qint64(dataSize) || bytesDownloaded > dataSize)
        return false;
    // Version 0 lacks header bytes 880 to 883; they stay zero.
    m_block = QByteArray(qsizetype(60ull * capacity + 906), '\0');
    std::memcpy(m_block.data(), p + FixedHead, header);
    std::memcpy(m_block.data() + HeaderSize, p + FixedHead + header, l1 - header);
    readBack = reinterpret_cast<const quint8 *>(m_block.constData());
    m_error.clear();
    return true;
}

LoggedDownload DumpFile::download() const
{
    LoggedDownload d;
    if (!readBack)
        return d;
    d.memory = data;
    d.memorySize = bytesDownloaded;
    d.header = reinterpret_cast<quint8 *>(const_cast<char *>(m_block.constData()));
    d.imageHead = readBack + HeaderSize;
    d.records = readBack + HeaderSize + 20 + 5 * capacity;
    d.capacity = capacity;
    d.blockSize = pageAlignment;
    return d;
}
