#pragma once
// Output file written in large chunks (in order, or placed with writeAt())
// under a temporary name in the same folder; the final name appears only at
// finish() (a rename), so a full disk or a failed write leaves nothing
// behind. No fsync: an export is as durable as any other file the user
// copies, and syncing tens of megabytes would cost more than writing them.

#include <QFile>
#include <QString>
#include <QtGlobal>

#include <cstring>
#include <vector>

class StreamFile
{
public:
    explicit StreamFile(const QString &path, int bufferSize = 1 << 20);
    // With a buffer owned by the caller (it outlives the object).
    StreamFile(const QString &path, quint8 *buffer, int bufferSize);
    ~StreamFile();
    StreamFile(const StreamFile &) = delete;
    StreamFile &operator=(const StreamFile &) = delete;

    bool open();
    // Room for n bytes (n at most the buffer size); advance(n) once they are written.
    quint8 *room(int n)
    {
        if (m_end - m_pos < n)
            flush();
        return m_pos;
    }
    // Room for up to *n bytes, *n set to what it holds: the buffer is
    // written only when full, so a file whose pieces divide the buffer size
    // goes out in whole buffers at aligned offsets.
    quint8 *space(int *n)
    {
        if (m_pos == m_end)
            flush();
        *n = int(qMin<qint64>(*n, m_end - m_pos));
        return m_pos;
    }
    void advance(int n) { m_pos += n; }
    void put(const void *data, qint64 n);
    // A positioned write beside the sequential stream, for layouts filled
    // out of order; a failure is kept as for put().
    void writeAt(quint64 offset, const void *data, qint64 n);
    // Flushes and renames to the final name; false (and nothing left) on error.
    bool finish();
    // Drops the output; also removes the final file when finish() had succeeded.
    void discard();

    bool ok() const { return m_ok; }
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }

private:
    void flush();
    void dropTemporary();
    QString m_path;
    QFile m_file;
    std::vector<quint8> m_own;
    quint8 *m_start = nullptr;
    quint8 *m_pos = nullptr;
    quint8 *m_end = nullptr;
    bool m_ok = false;
    bool m_finished = false;
    QString m_error;
};

// One stretch of a StreamFile filled in order while other stretches fill
// too: bytes collect in a caller-owned buffer and go to their place with a
// positioned write.
class PlacedOutput
{
public:
    PlacedOutput(StreamFile &file, quint64 at, quint8 *buffer, int size)
        : m_file(&file), m_at(at), m_start(buffer), m_pos(buffer), m_end(buffer + size) {}
    quint8 *room(int n)
    {
        if (m_end - m_pos < n)
            flush();
        return m_pos;
    }
    void advance(int n) { m_pos += n; }
    void flush()
    {
        m_file->writeAt(m_at, m_start, m_pos - m_start);
        m_at += quint64(m_pos - m_start);
        m_pos = m_start;
    }

private:
    StreamFile *m_file;
    quint64 m_at;
    quint8 *m_start, *m_pos, *m_end;
};
