#pragma once
// A logger memory laid out the way the logger records it: every 5 ms tick,
// each channel whose period divides the time writes its next sample (most
// significant byte first), faster channels first; runs start on page
// boundaries. Sample j of image channel c holds (c + 1) * 1000 + j.

#include "decodedatalogged.h"

#include <QByteArray>
#include <QVector>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <numeric>

struct LoggedMemory
{
    QVector<int> periods, sizes;   // image order
    QVector<quint32> runTable;
    quint32 blockSize = 0;
    QByteArray header = QByteArray(884, '\0'), head = QByteArray(20, '\0'), records, memory;

    static quint32 value(int channel, qint64 j, int size)
    {
        const quint32 v = quint32((channel + 1) * 1000 + j);
        return size == 4 ? v : v & ((1u << (8 * size)) - 1);
    }

    void build(const QByteArray &ecuInfo = "ECU-1")
    {
        std::memcpy(header.data(), ecuInfo.constData(), size_t(ecuInfo.size()));
        header[39] = char(runTable.size());
        for (int j = 0; j < runTable.size() && j < 207; ++j)
            qToLittleEndian(runTable[j], header.data() + 42 + 4 * j);
        records = QByteArray(55 * periods.size(), '\0');
        for (int c = 0; c < periods.size(); ++c) {
            const int cls = int(std::find(std::begin(classes), std::end(classes), periods[c]) - std::begin(classes));
            head[12 + qMin(cls, 7)] = char(head[12 + qMin(cls, 7)] + 1);
            qToLittleEndian(quint16(periods[c]), records.data() + 55 * c + 2);
            records[55 * c + 54] = char(sizes[c]);
        }
        QVector<int> order(periods.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return periods[a] < periods[b]; });
        const int maxP = periods.isEmpty() ? 5 : *std::max_element(periods.begin(), periods.end());
        QVector<qint64> taken(periods.size());
        for (int j = 0; j < runTable.size(); ++j) {
            if (runTable[j] != 0)
                continue;
            quint32 length = 0;
            for (int e = j + 1; e < runTable.size() && runTable[e]; ++e)
                length = runTable[e];
            if (blockSize && memory.size() % blockSize)
                memory.append(QByteArray(blockSize - memory.size() % blockSize, char(0xEE)));
            const qint64 end = maxP >= 5 ? length / (maxP / 5) * maxP : 0;
            for (qint64 t = 5; t <= end; t += 5) {
                for (int c : order) {
                    if (periods[c] && t % periods[c] == 0) {
                        const quint32 v = qToBigEndian(value(c, taken[c]++, sizes[c]));
                        memory.append(reinterpret_cast<const char *>(&v) + 4 - sizes[c], sizes[c]);
                    }
                }
            }
        }
    }

    LoggedDownload download(int memorySize = -1, int capacity = -1)
    {
        LoggedDownload d;
        d.memory = reinterpret_cast<const quint8 *>(memory.constData());
        d.memorySize = quint32(memorySize < 0 ? memory.size() : memorySize);
        d.header = reinterpret_cast<quint8 *>(header.data());
        d.imageHead = reinterpret_cast<const quint8 *>(head.constData());
        d.records = reinterpret_cast<const quint8 *>(records.constData());
        d.capacity = quint32(capacity < 0 ? periods.size() : capacity);
        d.blockSize = blockSize;
        return d;
    }

    static constexpr int classes[8] = {5, 10, 20, 40, 80, 160, 320, 640};
};

// The small measurement of the writer tests: RPM 10 ms, 1 byte, gain 2,
// zero-corrected around raw 1 (stored raw - 1); Temp 20 ms, 2 bytes signed;
// one run of two modules and one lap mark.
inline LoggedMemory smallMeasurement()
{
    LoggedMemory m;
    m.periods = {10, 20};
    m.sizes = {1, 2};
    m.runTable = {0, 8};
    m.build();
    m.memory = QByteArray::fromHex("0102fffe03040005");
    char *r = m.records.data();
    r[4] = 0x23;
    qToLittleEndian<qint32>(1, r + 6);
    qToLittleEndian<float>(2, r + 10);
    qToLittleEndian<float>(1, r + 22);
    std::memcpy(r + 26, "RPM", 3);
    std::memcpy(r + 42, "rpm", 3);
    r += 55;
    r[4] = 0x13;
    qToLittleEndian<float>(1, r + 10);
    qToLittleEndian<float>(1, r + 22);
    std::memcpy(r + 26, "Temp", 4);
    std::memcpy(r + 42, "C", 1);
    return m;
}

// 24 channels over five periods and three sample sizes, three runs aligned to
// 256 bytes: the structure walks of the MDF writers use it.
inline LoggedMemory largeMeasurement()
{
    LoggedMemory m;
    for (int c = 0; c < 24; ++c) {
        m.periods.append(LoggedMemory::classes[c % 5]);
        m.sizes.append(1 << (c % 3));
    }
    m.runTable = {0, 500, 1200, 0, 800, 0, 64};
    m.blockSize = 256;
    m.build();
    return m;
}
