#pragma once
// A recording made in-process with the simulated logger of the sample ECU,
// resized for the purpose: the data benchmark's 64 MiB dump and the
// decoder's ground-truth tests use it. Channels of 1, 2 and 4 bytes over the
// eight periods (every fifth signed, a few zero-corrected) on the sample
// ECU's variables; runs with laps, the last until the memory is full.

#include "loggerimage.h"
#include "sim/ecudescription.h"
#include "sim/eculogger.h"
#include "sim/ecusimulator.h"

#include <QDataStream>
#include <QFile>
#include <QtEndian>

#include <cstdio>
#include <cstring>

struct SimRecording
{
    int channels = 24;
    quint32 memoryBytes = 1u << 20;
    quint32 pageAlignment = 4096;
    int runs = 1, laps = 0;
    double lapSeconds = 30;
    int triggerDelay = 0;   // 100 ms steps before a run opens
    bool fill = true;       // else the last run stops after its laps
};

struct SimRecorded
{
    static constexpr quint32 Capacity = 208;
    bool ok = false;
    QByteArray readBack;   // header and configuration image, host order as a dump keeps them
    QByteArray memory;     // the data area up to the data end
    QByteArray truth;      // the logger's ground truth

    // Laid out as the logger protocol writes a dump: big-endian head, the
    // read-back block, the data.
    bool writeDump(const QString &path) const
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        QDataStream out(&f);
        out.setVersion(QDataStream::Qt_3_3);
        const quint32 used = quint32(memory.size());
        out << quint32(0x4F525654) << quint32(0x4C440001) << qint32(0) << qint32(0) << pageAlignment << Capacity
            << used << quint32(readBack.size());
        out.writeRawData(readBack.constData(), int(readBack.size()));
        out << used;
        out.writeRawData(memory.constData(), int(memory.size()));
        return f.error() == QFileDevice::NoError;
    }
    bool writeTruth(const QString &path) const
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(truth) == truth.size();
    }
    quint32 pageAlignment = 0;
};

inline SimRecorded recordWithSimLogger(const SimRecording &rec)
{
    constexpr quint32 Capacity = SimRecorded::Capacity;
    constexpr quint32 Header = 0x70100000, Setup = Header + 884, Cells = 0x70104000, DataBegin = 0x70110000;
    static const int periods[8] = {5, 10, 20, 40, 80, 160, 320, 640};
    SimRecorded result;
    result.pageAlignment = rec.pageAlignment;
    SimDescription d;
    QString error;
    if (!loadSimDescription(defaultSimDescriptionPath(), d, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return result;
    }
    // Room for Capacity channel records and the memory asked for; the
    // handshake cells as plain addresses.
    auto hex = [](quint32 v) { return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')); };
    d.loggerValues[QStringLiteral("ChannelsCount_OffLine")] = Capacity;
    d.loggerValues[QStringLiteral("AvailableBytes")] = rec.memoryBytes;
    d.loggerValues[QStringLiteral("PageAlignment")] = rec.pageAlignment;
    d.loggerValues[QStringLiteral("ClearDelayMs")] = 0;
    d.loggerAddresses[QStringLiteral("XA_HeaderBeginAddress")] = hex(Header);
    d.loggerAddresses[QStringLiteral("XA_SetupBeginAddress")] = hex(Setup);
    d.loggerAddresses[QStringLiteral("XA_ChannelInfoBeginAddress")] = hex(Setup + 20 + 5 * Capacity);
    d.loggerAddresses[QStringLiteral("XA_StopLoggerReqAddress")] = hex(Cells + 4);
    d.loggerAddresses[QStringLiteral("XA_ClearLoggerDataReqAddress")] = hex(Cells + 8);
    d.loggerAddresses[QStringLiteral("XA_LoggerRunAddress")] = hex(Cells + 12);
    d.loggerAddresses[QStringLiteral("XA_DataBeginAddress")] = hex(DataBegin);
    d.loggerAddresses[QStringLiteral("XA_DataEndAddress")] = hex(DataBegin + rec.memoryBytes);
    for (SimRegion &r : d.ramRegions)
        if (r.address == Header)
            r.size = DataBegin - Header + rec.memoryBytes;
    EcuSimulator sim(d);
    if (!sim.logger())
        return result;
    const quint32 space = sim.mainSpace();
    sim.control("logger clock manual");

    QByteArray image(int(60 * Capacity + 22), '\0');
    char *head = image.data(), *records = head + 20 + 5 * Capacity;
    if (rec.triggerDelay > 0) {
        head[0] = 1;
        head[1] = char(rec.triggerDelay);
    }
    for (int c = 0; c < rec.channels; ++c)
        ++head[12 + c % 8];
    int slot = 0;
    for (int cls = 0; cls < 8; ++cls) {
        // The image keeps its channels sorted by period, as the logger does.
        for (int c = cls; c < rec.channels; c += 8, ++slot) {
            const SimChannel &v = d.channels.at(c % d.channels.size());
            const int size = 1 << (c % 3);
            const bool zero = c % 25 == 0 || c == 11;
            qToBigEndian<quint32>(v.address, head + 20 + 4 * slot);
            head[20 + 4 * Capacity + slot] = char(size);
            char *r = records + 55 * slot;
            qToLittleEndian<quint16>(quint16(periods[cls]), r + 2);
            r[4] = char(0x03 | (c % 5 == 0 ? 0x10 : 0) | (zero ? 0x20 : 0));
            qToLittleEndian<qint32>(zero ? 3 : 0, r + 6);
            qToLittleEndian<float>(0.5f + c, r + 10);
            qToLittleEndian<float>(-1.0f, r + 14);
            qToLittleEndian<float>(0.0f, r + 18);
            qToLittleEndian<float>(1.0f, r + 22);
            std::snprintf(r + 26, 16, "ch%03d", c);
            std::memcpy(r + 42, "u", 1);
            qToLittleEndian<quint32>(v.address, r + 50);
            r[54] = char(size);
        }
    }
    // Activate as the tool does: the clear request answered, then the stop released.
    const QByteArray zero(4, '\0');
    if (!sim.write(space, Setup, image) || !sim.write(space, Cells + 8, QByteArray::fromHex("01000000"))
        || !sim.write(space, Cells + 8, zero) || !sim.write(space, Cells + 4, zero))
        return result;
    const QByteArray lapRun = "logger run " + QByteArray::number(rec.lapSeconds);
    for (int k = 0; k < rec.runs; ++k) {
        if (k > 0) {
            // A stop and a release: the next run waits for the trigger again.
            sim.write(space, Cells + 4, QByteArray::fromHex("01000000"));
            sim.write(space, Cells + 4, zero);
        }
        sim.control("logger run " + QByteArray::number(rec.triggerDelay * 0.1));
        for (int lap = 0; lap < qMax(rec.laps, 1); ++lap) {
            sim.control(lapRun);
            if (rec.laps)
                sim.control("logger lap");
        }
    }
    if (rec.fill)
        sim.control("logger fill");
    sim.write(space, Cells + 4, QByteArray::fromHex("01000000"));

    const QByteArray block = sim.read(space, Header, 884 + quint32(image.size()));
    result.memory = sim.read(space, DataBegin, sim.logger()->bytesUsed());
    result.readBack = QByteArray(int(60 * Capacity + 906), '\0');
    result.readBack.replace(0, block.size(), block);
    LoggerImage::readBackToHost(reinterpret_cast<quint8 *>(result.readBack.data()), Capacity, 0);
    result.truth = sim.logger()->groundTruth();
    result.ok = !block.isEmpty() && quint32(result.memory.size()) == sim.logger()->bytesUsed();
    return result;
}
