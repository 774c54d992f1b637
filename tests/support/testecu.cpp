#include "testecu.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

QByteArray TestEcu::json()
{
    QJsonArray channels;
    for (const Channel &c : Channels)
        channels.append(QJsonObject{{"factoryName", c.name},
                                    {"tableAddress", double(c.index)},
                                    {"address", double(c.address)},
                                    {"nByte", double(c.bytes)},
                                    {"loggerNBytes", double(c.bytes)},
                                    {"type", double(c.type)},
                                    {"periodMs", double(c.periodMs)},
                                    {"unit", "-"},
                                    {"label_it", c.name},
                                    {"label_en", c.name}});
    const QJsonObject root{
        {"ecu", QJsonObject{{"elfName", "test_ecu.elf"},
                            {"idStringName", "IdString"},
                            {"idStringAddress", double(IdStringAddress)},
                            {"idStringSize", double(IdStringSize)},
                            {"idStringValue", IdString}}},
        {"can", QJsonObject{{"toEcuAppCanId", double(ToEcuAppCanId)},
                            {"toEcuKernelCanId", 0x600},
                            {"appCanId", 0x611},
                            {"kernelCanId", 0x601},
                            {"bitRate", 1000000},
                            {"line", 4}}},
        {"staticTableAddress", double(StaticTable)},
        {"logger", QJsonObject{{"AvailableBytes", 262144},
                               {"addresses", QJsonObject{{"XA_DataBeginAddress", "0x40020000"},
                                                         {"XA_LoggerRunAddress", "0x40030000"}}}}},
        {"ramRegions", QJsonArray{QJsonObject{{"address", double(RamBase)}, {"size", double(RamSize)}}}},
        {"channels", channels}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

QString TestEcu::jsonFile()
{
    static QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/test_ecu.json");
    if (!QFileInfo::exists(path)) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(json());
    }
    return path;
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
