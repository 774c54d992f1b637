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
    const size_t dataSize = dataBufferSize();
    out << quint32(dataSize);
    const char *data = reinterpret_cast<const char *>(dataBuffer());
    for (size_t done = 0; done < dataSize;) {
        const int piece = int(qMin<size_t>(dataSize - done, 1u << 30));
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
    auto file = std::make_shared<DumpFile>();
    if (!file->open(path))
        return false;
    m_n = file->capacity;
    m_pageAlignment = file->pageAlignment;
    m_bytesDownloaded = file->bytesDownloaded;
    m_readBack = file->readBackBlock();
    m_views = ReadBackViews::of(m_readBack.data(), m_n);
    m_data = std::vector<quint8>();
    m_dump = std::move(file);
    return true;
}

void LoggerProtocol::saveDownloadState()
{
    m_saved.readBack = m_readBack;
    m_saved.data = m_data;
    m_saved.dump = m_dump;
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
    m_dump = std::move(m_saved.dump);
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
