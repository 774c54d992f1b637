#include "testecu.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

QString TestEcu::jsonFile() { return QStringLiteral(BRISCA_TEST_DATA "/test_ecu.json"); }

QByteArray TestEcu::json()
{
    QFile f(jsonFile());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TestEcu::controlCommand(QProcess &process, const QByteArray &line, QByteArray *answer)
{
    process.write(line.trimmed() + '\n');
    process.waitForBytesWritten(2000);
    while (!process.canReadLine())
        if (!process.waitForReadyRead(2000))
            return false;
    const QByteArray reply = process.readLine().trimmed();
    if (answer)
        *answer = reply;
    return reply == "ok" || reply.startsWith("ok ");
}

QString TestEcu::binDir()
{
    const QByteArray bin = qgetenv("BRISCA_BIN_DIR");
    return bin.isEmpty() ? QCoreApplication::applicationDirPath() : QString::fromLocal8Bit(bin);
}

QByteArray TestEcu::pattern(int length, int seed)
{
    QByteArray b(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        b[i] = char((i * 7 + (i >> 8) + seed) & 0xFF);
    return b;
}
