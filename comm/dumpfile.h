#pragma once
// The one reader of dump files: the protocol object's loadDump, the batch
// conversion, brisca-tool and the benchmark all go through it. The file is
// mapped read-only, so its data area is the page cache itself: no copy and
// no zero-filled buffer. Dumps are only ever replaced by a rename, never
// rewritten in place, so a mapping keeps the bytes it was opened on.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <vector>

class DumpFile
{
public:
    DumpFile() = default;
    ~DumpFile();
    DumpFile(const DumpFile &) = delete;
    DumpFile &operator=(const DumpFile &) = delete;

    // False (with errorString()) for a missing, empty, truncated, foreign or
    // inconsistent file; the object then holds nothing.
    bool open(const QString &path);
    // The same checks on bytes already in memory; bytes must outlive the object.
    bool openBytes(const QByteArray &bytes);
    QString errorString() const { return m_error; }

    quint16 version = 0;
    qint32 configurationReadResult = 0, downloadResult = 0;
    quint32 pageAlignment = 0, capacity = 0, bytesDownloaded = 0, dataSize = 0;
    const quint8 *data = nullptr;       // dataSize bytes

    // The read-back block in the current layout (60 * capacity + 906 bytes;
    // a version-0 header gets its four missing bytes as zero). A copy: the
    // decoder writes the run count into its header.
    const std::vector<quint8> &readBackBlock() const { return m_block; }
    quint8 *readBack() { return m_block.empty() ? nullptr : m_block.data(); }

private:
    bool parseHead(const uchar *bytes, qint64 size, qint64 available);
    void release();

    QFile m_file;
    uchar *m_map = nullptr;
    size_t m_mapSize = 0;
    std::unique_ptr<quint8[]> m_copy;   // when the file cannot be mapped
    std::vector<quint8> m_block;
    QString m_error;
};
