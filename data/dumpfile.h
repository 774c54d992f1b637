#pragma once
// A dump file read for the batch conversion, the dump inspection of
// brisca-tool and the benchmark, its memory on huge pages. It accepts and refuses
// exactly the files LoggerProtocol::loadDump accepts and refuses; the window
// goes through loadDump, which replaces the live download.

#include "bigbuffer.h"
#include "decodedatalogged.h"

#include <QByteArray>
#include <QFile>
#include <QString>

class DumpFile
{
public:
    DumpFile() = default;
    DumpFile(const DumpFile &) = delete;
    DumpFile &operator=(const DumpFile &) = delete;

    // False (with errorString()) for a missing, empty, truncated, foreign or
    // inconsistent file.
    bool open(const QString &path);
    // The same checks on bytes already in memory; data must outlive the object.
    bool openBytes(const QByteArray &data);
    QString errorString() const { return m_error; }

    LoggedDownload download() const;

    quint16 version = 0;
    qint32 configurationReadResult = 0, downloadResult = 0;
    quint32 pageAlignment = 0, capacity = 0, bytesDownloaded = 0, dataSize = 0;
    const quint8 *readBack = nullptr;   // 60 * capacity + 906 bytes
    const quint8 *data = nullptr;       // dataSize bytes

private:
    bool parseHead(const uchar *bytes, qint64 size, qint64 available);
    BigBuffer m_memory;
    QByteArray m_block;   // the read-back block, copied: the decoder writes into its header
    QString m_error;
};
