#pragma once
// Whole-file reads and writes for tests that set up or check files by hand.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

namespace TestFiles {

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// Backdates a file, so that a later write shows in its modification time.
inline bool setModified(const QString &path, const QDateTime &when)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(when, QFileDevice::FileModificationTime);
}

} // namespace TestFiles
