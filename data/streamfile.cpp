#include "streamfile.h"

#include <QFile>

StreamFile::StreamFile(const QString &path, int bufferSize) : m_file(path), m_buffer(size_t(qMax(bufferSize, 64)))
{
    m_pos = m_buffer.data();
    m_end = m_pos + m_buffer.size();
}

StreamFile::~StreamFile()
{
    if (!m_finished)
        m_file.cancelWriting();
}

bool StreamFile::open()
{
    m_ok = m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (!m_ok)
        m_error = m_file.errorString();
    return m_ok;
}

void StreamFile::flush()
{
    const qint64 n = m_pos - m_buffer.data();
    m_pos = m_buffer.data();
    if (!m_ok || n == 0)
        return;
    if (m_file.write(reinterpret_cast<const char *>(m_buffer.data()), n) != n) {
        m_ok = false;
        m_error = m_file.errorString();
        m_file.cancelWriting();
    }
}

void StreamFile::put(const void *data, qint64 n)
{
    const auto *p = static_cast<const quint8 *>(data);
    while (n > 0) {
        const qint64 chunk = qMin<qint64>(n, qint64(m_buffer.size()));
        std::memcpy(room(int(chunk)), p, size_t(chunk));
        advance(int(chunk));
        p += chunk;
        n -= chunk;
    }
}

void StreamFile::putZeros(qint64 n)
{
    while (n > 0) {
        const qint64 chunk = qMin<qint64>(n, qint64(m_buffer.size()));
        std::memset(room(int(chunk)), 0, size_t(chunk));
        advance(int(chunk));
        n -= chunk;
    }
}

bool StreamFile::finish()
{
    flush();
    if (!m_ok) {
        m_file.cancelWriting();
        m_file.commit();   // discards the temporary file now
    } else if (!m_file.commit()) {
        m_ok = false;
        m_error = m_file.errorString();
    }
    m_finished = true;
    if (!m_ok && m_error.isEmpty())
        m_error = QStringLiteral("write failed");
    return m_ok;
}

void StreamFile::discard()
{
    if (m_finished && m_ok)
        QFile::remove(m_file.fileName());
    else if (!m_finished)
        m_file.cancelWriting();
    m_finished = true;
    m_ok = false;
}
