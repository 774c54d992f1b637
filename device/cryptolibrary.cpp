#include "cryptolibrary.h"

#include <QDir>
#include <QFile>
#include <memory>

CryptoLibrary::CryptoLibrary(const QString &programFolder)
{
    // By name from the program folder only, never from the system paths.
    m_lib.setFileName(QDir(programFolder).filePath(QLatin1String(BaseName)));
    if (!m_lib.load()) {
        m_error = m_lib.errorString();
        return;
    }
    m_getSize = reinterpret_cast<GetSizeFn>(m_lib.resolve("getReadFileBufferSize"));
    m_write = reinterpret_cast<WriteFn>(m_lib.resolve("writeFile"));
    m_read = reinterpret_cast<ReadFn>(m_lib.resolve("readFile"));
    m_detect = reinterpret_cast<DetectFn>(m_lib.resolve("readFileAndEncryptionDetection"));
    const auto ready = reinterpret_cast<ReadyFn>(m_lib.resolve("isLibraryReady"));
    if (!m_getSize || !m_write || !m_read || !m_detect || !ready) {
        m_error = QStringLiteral("entry points missing in %1").arg(m_lib.fileName());
        return;
    }
    if (ready() == 0) {
        m_error = QStringLiteral("%1 is not ready").arg(m_lib.fileName());
        return;
    }
    m_usable = true;
}

QByteArray CryptoLibrary::readFile(const QString &path) const
{
    if (!m_usable)
        return QByteArray();
    const QByteArray name = QFile::encodeName(path);
    quint32 size = 0;
    if (m_getSize(name.constData(), &size) != 0)
        return QByteArray();
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size ? size : 1]);
    if (!buffer)
        return QByteArray();
    const quint32 capacity = size;
    if (m_read(name.constData(), buffer.get(), &size) != 0 || size > capacity)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(buffer.get()), qsizetype(size));
}

int CryptoLibrary::writeFile(const QString &path, const QByteArray &content) const
{
    if (!m_usable)
        return -1;
    return m_write(QFile::encodeName(path).constData(),
                   reinterpret_cast<const unsigned char *>(content.constData()), quint32(content.size()));
}
