// Dump files: the read-back block and the downloaded memory of the last
// download, with what is needed to decode them again without the ECU.

#include "loggerprotocol.h"

#include <QDataStream>
#include <QDateTime>
#include <QFile>
#include <QTemporaryFile>
#include <cstdio>

namespace {

constexpr quint32 DumpMagic = 0x4F525654;   // "ORVT"
constexpr quint32 DumpTag = 0x4C44;         // "LD"
constexpr quint16 DumpVersion = 1;
constexpr qint64 FixedHead = 32;            // magic .. L1
constexpr QDataStream::Version StreamVersion = QDataStream::Qt_3_3; // stream version 6

} // namespace

// Written under a temporary name in the same folder and renamed when complete,
// so a crash or a full disk never leaves part of a dump under the real name.
// No fsync: syncing 64 MiB takes longer than the time the user waits for the
// dump after the last byte, and the rename already keeps the name all-or-nothing
// for the program's own failures.
bool LoggerProtocol::saveDump(const QString &path) const
{
    if (path.isEmpty())
        return false;
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open())
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                        | QFileDevice::ReadOther);
    QDataStream out(&file);
    out.setVersion(StreamVersion);
    out.setByteOrder(QDataStream::BigEndian);
    out << DumpMagic << quint32((DumpTag << 16) | DumpVersion) << qint32(m_lastConfigRead)
        << qint32(m_lastDownload) << m_pageAlignment << m_n << m_bytesDownloaded;
    // A download that failed before the configuration was read still leaves a
    // loadable file: the read-back block is then all zero.
    const quint32 readBackLength = LoggerLayout::readBackSize(m_n);
    out << readBackLength;
    if (m_readBack.size() == readBackLength) {
        out.writeRawData(reinterpret_cast<const char *>(m_readBack.data()), int(readBackLength));
    } else {
        const QByteArray zeros(int(readBackLength), '\0');
        out.writeRawData(zeros.constData(), zeros.size());
    }
    out << quint32(m_data.size());
    const char *data = reinterpret_cast<const char *>(m_data.data());
    for (size_t done = 0; done < m_data.size();) {
        const int piece = int(qMin<size_t>(m_data.size() - done, 1u << 30));
        if (out.writeRawData(data + done, piece) != piece)
            break;
        done += size_t(piece);
    }
    if (out.status() != QDataStream::Ok || !file.flush())
        return false;
    const QString temporary = file.fileName();
    file.close();
    // std::rename replaces a dump saved within the same second, as the name
    // says it is the same moment.
    if (file.error() != QFileDevice::NoError
        || std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
}

bool LoggerProtocol::loadDump(const QString &path)
{
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 fileSize = file.size();
    if (fileSize < FixedHead + 4)
        return false;
    QDataStream in(&file);
    in.setVersion(StreamVersion);
    in.setByteOrder(QDataStream::BigEndian);
    quint32 magic = 0, tagAndVersion = 0, pageAlignment = 0, n = 0, bytesDownloaded = 0, l1 = 0, l2 = 0;
    qint32 configRead = 0, download = 0;
    in >> magic >> tagAndVersion >> configRead >> download >> pageAlignment >> n >> bytesDownloaded >> l1;
    const quint16 version = quint16(tagAndVersion);
    if (in.status() != QDataStream::Ok || magic != DumpMagic || (tagAndVersion >> 16) != DumpTag || version > 1)
        return false;
    // The block must be exactly what the capacity implies, never read past.
    const quint64 headerBytes = version == 0 ? LoggerLayout::HeaderSizeV0 : LoggerLayout::HeaderSize;
    const quint64 expected = 60ull * n + 22 + headerBytes;
    if (l1 != expected || qint64(l1) > fileSize - FixedHead - 4)
        return false;

    std::vector<quint8> readBack(size_t(LoggerLayout::readBackSize(n)), 0);
    char *block = reinterpret_cast<char *>(readBack.data());
    if (version == 0) {
        const int tail = int(l1 - LoggerLayout::HeaderSizeV0);
        if (in.readRawData(block, int(LoggerLayout::HeaderSizeV0)) != int(LoggerLayout::HeaderSizeV0)
            || in.readRawData(block + LoggerLayout::HeaderSize, tail) != tail)
            return false;
    } else if (in.readRawData(block, int(l1)) != int(l1)) {
        return false;
    }
    in >> l2;
    if (in.status() != QDataStream::Ok || fileSize != FixedHead + qint64(l1) + 4 + qint64(l2)
        || bytesDownloaded > l2)
        return false;
    std::vector<quint8> data(l2);
    char *to = reinterpret_cast<char *>(data.data());
    for (quint64 done = 0; done < l2;) {
        const int piece = int(qMin<quint64>(l2 - done, 1u << 30));
        if (in.readRawData(to + done, piece) != piece)
            return false;
        done += quint64(piece);
    }

    m_n = n;
    m_pageAlignment = pageAlignment;
    m_bytesDownloaded = bytesDownloaded;
    m_readBack = std::move(readBack);
    m_views = ReadBackViews::of(m_readBack.data(), n);
    m_data = std::move(data);
    return true;
}

void LoggerProtocol::saveDownloadState()
{
    m_saved.readBack = m_readBack;
    m_saved.data = m_data;
    m_saved.n = m_n;
    m_saved.pageAlignment = m_pageAlignment;
    m_saved.bytesDownloaded = m_bytesDownloaded;
    m_stateSaved = true;
}

void LoggerProtocol::restoreDownloadState()
{
    if (!m_stateSaved)
        return;
    m_readBack = std::move(m_saved.readBack);
    m_data = std::move(m_saved.data);
    m_n = m_saved.n;
    m_pageAlignment = m_saved.pageAlignment;
    m_bytesDownloaded = m_saved.bytesDownloaded;
    m_views = ReadBackViews::of(m_readBack.empty() ? nullptr : m_readBack.data(), m_n);
    m_saved = DownloadState();
    m_stateSaved = false;
}

QString LoggerProtocol::dumpFileName(const QDateTime &when)
{
    return QStringLiteral("dump_") + when.toString(QStringLiteral("yyyyMMdd_hhmmss")) + QStringLiteral(".bin");
}
