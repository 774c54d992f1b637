#include "streamfile.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

StreamFile::StreamFile(const QString &path, int bufferSize) : m_path(path), m_own(size_t(qMax(bufferSize, 64)))
{
    m_start = m_pos = m_own.data();
    m_end = m_pos + m_own.size();
}

StreamFile::StreamFile(const QString &path, quint8 *buffer, int bufferSize) : m_path(path)
{
    m_start = m_pos = buffer;
    m_end = buffer + bufferSize;
}

StreamFile::~StreamFile()
{
    if (!m_finished)
        dropTemporary();
}

bool StreamFile::open()
{
    for (int attempt = 0; attempt < 16 && !m_ok; ++attempt) {
        m_file.setFileName(m_path + QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        m_ok = m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
        if (!m_ok && m_file.error() != QFileDevice::OpenError)
            break;
    }
    if (!m_ok)
        m_error = m_file.errorString();
    return m_ok;
}

void StreamFile::dropTemporary()
{
    if (m_file.isOpen())
        m_file.close();
    if (!m_file.fileName().isEmpty())
        m_file.remove();
}

void StreamFile::flush()
{
    const qint64 n = m_pos - m_start;
    m_pos = m_start;
    if (!m_ok || n == 0)
        return;
    // A short write is followed by one that says why (a full disk).
    for (qint64 done = 0; done < n;) {
        errno = 0;
        const qint64 w = m_file.write(reinterpret_cast<const char *>(m_start) + done, n - done);
        if (w <= 0) {
            m_ok = false;
            m_error = errno ? QString::fromLocal8Bit(std::strerror(errno)) : m_file.errorString();
            return;
        }
        done += w;
    }
}

void StreamFile::writeAt(quint64 offset, const void *data, qint64 n)
{
    const char *p = static_cast<const char *>(data);
    for (qint64 done = 0; m_ok && done < n;) {
        errno = 0;
        const ssize_t w = ::pwrite(m_file.handle(), p + done, size_t(n - done), off_t(offset + quint64(done)));
        if (w <= 0) {
            m_ok = false;
            m_error = errno ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("write failed");
            return;
        }
        done += w;
    }
}

void StreamFile::put(const void *data, qint64 n)
{
    const auto *p = static_cast<const quint8 *>(data);
    while (n > 0) {
        const qint64 chunk = qMin<qint64>(n, qint64(m_end - m_start));
        std::memcpy(room(int(chunk)), p, size_t(chunk));
        advance(int(chunk));
        p += chunk;
        n -= chunk;
    }
}

bool StreamFile::finish()
{
    flush();
    m_finished = true;
    if (m_ok) {
        m_file.close();
        if (m_file.error() != QFileDevice::NoError) {
            m_ok = false;
            m_error = m_file.errorString();
        } else if (std::rename(QFile::encodeName(m_file.fileName()).constData(), QFile::encodeName(m_path).constData()) != 0) {
            // QFile::rename() would refuse to replace an existing file.
            m_ok = false;
            m_error = QString::fromLocal8Bit(std::strerror(errno));
        }
    }
    if (!m_ok) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("write failed");
        dropTemporary();
    }
    return m_ok;
}

void StreamFile::discard()
{
    if (m_finished && m_ok)
        QFile::remove(m_path);
    else if (!m_finished)
        dropTemporary();
    m_finished = true;
    m_ok = false;
}
