// The simulated logger of the sample ECU against a configuration image
// written by hand: it reads back unchanged behind the header, and a
// recording lies in memory as its ground truth says, by our own reading.

#include "sim/ecudescription.h"
#include "sim/eculogger.h"
#include "sim/ecusimulator.h"

#include <QtTest>

namespace {
constexpr quint32 Header = 0x70100000, Setup = Header + 884;
constexpr quint32 StopCell = 0x70103404, ClearCell = 0x70103408, RunCell = 0x7010340C;
constexpr int N = 64;

quint32 be(const QByteArray &b, int at, int size)
{
    quint32 v = 0;
    for (int k = 0; k < size; ++k)
        v = (v << 8) | quint8(b[at + k]);
    return v;
}
} // namespace

class TestEcuLogger : public QObject
{
    Q_OBJECT
private slots:
    void recordingLiesWhereItsGroundTruthSays()
    {
        SimDescription d;
        QString error;
        QVERIFY2(loadSimDescription(qEnvironmentVariable("BRISCA_SOURCE_DIR") + "/samples/sample_ecu.json", d, &error),
                 qPrintable(error));
        EcuSimulator sim(d);
        QVERIFY(sim.logger());
        const quint32 space = sim.mainSpace();
        const auto cell = [&](quint32 address, int size) { return sim.read(space, address, quint32(size)).toHex(); };
        QCOMPARE(sim.control("logger clock manual") + sim.control("logger cleardelay 0"), QByteArray("okok"));

        // nEngine (2 bytes, 10 ms) and tEcu (1 byte, 20 ms); trigger "Continuo" after 0.5 s.
        QByteArray image(60 * N + 22, '\0');
        image.replace(0, 20, QByteArray::fromHex("0105000000000000000000000001010000000000"));
        image.replace(20, 8, QByteArray::fromHex("7000004470000135"));
        image.replace(20 + 4 * N, 2, QByteArray::fromHex("0201"));
        image.replace(20 + 5 * N, 110, QByteArray::fromHex(
            "05000a000300000000000000803f00000000000000000000803f4769726900000000000000000000000072706d00000000004400007002"
            "050014000300000000000000803f00000000000000000000803f54454355000000000000000000000000430000000000000035010070"
            "01"));
        quint32 sum = 0;
        for (int k = 0; k < 20 + 60 * N; ++k)
            sum += quint8(image[k]);
        image[20 + 60 * N] = char(sum >> 8);
        image[21 + 60 * N] = char(sum);
        QVERIFY(sim.write(space, Setup, image));

        // Activate: 2 answers the request, then acknowledge and release the stop.
        QVERIFY(sim.write(space, ClearCell, QByteArray::fromHex("0100")));
        QCOMPARE(cell(ClearCell, 2), QByteArray("0200"));
        QVERIFY(sim.write(space, ClearCell, QByteArray(2, '\0')) && sim.write(space, StopCell, QByteArray(1, '\0')));
        QCOMPARE(cell(RunCell, 1), QByteArray("01"));
        sim.control("logger run 2");
        sim.control("logger lap");
        sim.control("logger run 1.003");
        QVERIFY(sim.write(space, StopCell, QByteArray::fromHex("01")));
        QCOMPARE(cell(RunCell, 4), QByteArray("00000000"));

        QByteArray rb = sim.read(space, Header, 884 + quint32(image.size()));
        QCOMPARE(rb.mid(884), image);
        // One run: 0, the lap at 1.5 s and its length, 2.503 s, in 5 ms ticks; 125 modules of 5 bytes.
        QCOMPARE(rb.mid(39, 1).toHex() + rb.mid(42, 12).toHex(), QByteArray("03" "00000000" "0000012c" "000001f4"));
        QCOMPARE(be(rb, 874, 4), 0x70110000u);
        QCOMPARE(be(rb, 870, 4), 0x70110000u + 625);

        // A second run after the release starts on the next 256-byte page.
        QVERIFY(sim.write(space, StopCell, QByteArray(1, '\0')));
        sim.control("logger run 0.9");
        QVERIFY(sim.write(space, StopCell, QByteArray::fromHex("01")));
        rb = sim.read(space, Header, 884);
        QCOMPARE(rb.mid(39, 1).toHex() + rb.mid(54, 8).toHex(), QByteArray("05" "00000000" "00000050"));
        const QByteArray memory = sim.read(space, be(rb, 874, 4), be(rb, 870, 4) - be(rb, 874, 4));
        QCOMPARE(memory.size(), 768 + 20 * 5);

        // Walk the runs as a decoder does and compare with the ground truth, line by line.
        QList<QByteArray> truth = sim.logger()->groundTruth().split('\n');
        truth.removeIf([](const QByteArray &l) { return l.isEmpty() || l.startsWith('#'); });
        const int runStart[] = {0, 768}, slotCount[] = {250, 40};
        const int sizes[] = {2, 1}, periods[] = {10, 20};
        int index[] = {0, 0};
        while (d.channels.at(index[1]).factoryName != "tEcu")
            ++index[1];
        int line = 0;
        for (int run = 0; run < 2; ++run) {
            int p = runStart[run];
            for (int t = 10; t <= 10 * slotCount[run]; t += 10)
                for (int c = 0; c < 2; ++c) {
                    if (t % periods[c])
                        continue;
                    QVERIFY(line < truth.size());
                    const QList<QByteArray> f = truth.at(line++).split(',');
                    QCOMPARE(f.value(0).toInt() * 100 + f.value(1).toInt(), c * 100 + run);
                    QCOMPARE(f.value(5).toInt(), p);
                    const quint64 expected = EcuSimulator::variableValue(index[c], d.channels.at(index[c]),
                                                                         f.value(3).toLongLong());
                    QCOMPARE(f.value(4).toULongLong(), expected & (sizes[c] == 1 ? 0xFF : 0xFFFF));
                    QCOMPARE(be(memory, p, sizes[c]), quint32(f.value(4).toUInt()));
                    p += sizes[c];
                }
        }
        QCOMPARE(line, truth.size());
    }
};

QTEST_GUILESS_MAIN(TestEcuLogger)
#include "tst_eculogger.moc"
