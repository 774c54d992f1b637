#pragma once
// Whole-file reads and writes for tests that set up or check files by hand.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>
#include <QtGlobal>

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

// A byte fixture written out by hand in tests/data: hex digits, blanks, and
// comments from '#' to the end of the line.
inline QByteArray hexFixture(const QString &name)
{
    QByteArray hex;
    for (const QByteArray &line : readAll(qEnvironmentVariable("BRISCA_SOURCE_DIR") + "/tests/data/" + name).split('\n'))
        hex += line.left(line.indexOf('#') < 0 ? line.size() : line.indexOf('#')).simplified().replace(' ', "");
    return QByteArray::fromHex(hex);
}

} // namespace TestFiles
