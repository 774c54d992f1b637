// The simulated logger of the sample ECU against a configuration image
// written by hand: it reads back unchanged behind the header, and a
// recording lies in memory as its ground truth says, by our own reading.

#include "sim/ecudescription.h"
#include "sim/eculogger.h"
#include "sim/ecusimulator.h"

#include <QtTest>

#include <numeric>

namespace {
constexpr quint32 Header = 0x70100000, Setup = Header + 884;
constexpr quint32 StopCell = 0x70103404, ClearCell = 0x70103408, RunCell = 0x7010340C;
constexpr int N = 64;
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
        const quint32 sum = std::accumulate(image.cbegin(), image.cbegin() + 20 + 60 * N, 0u,
                                            [](quint32 a, char b) { return a + quint8(b); });
        image.replace(20 + 60 * N, 2, QByteArray::fromHex(QByteArray::number(sum, 16).rightJustified(4, '0')));
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
        QCOMPARE(rb.mid(870, 8).toHex(), QByteArray("70110271" "70110000")); // data end, data start

        // A second run after the release starts on the next 256-byte page.
        QVERIFY(sim.write(space, StopCell, QByteArray(1, '\0')));
        sim.control("logger run 0.9");
        QVERIFY(sim.write(space, StopCell, QByteArray::fromHex("01")));
        rb = sim.read(space, Header, 884);
        QCOMPARE(rb.mid(39, 1).toHex() + rb.mid(54, 8).toHex(), QByteArray("05" "00000000" "00000050"));
        QCOMPARE(rb.mid(870, 8).toHex(), QByteArray("70110364" "70110000")); // 768 + 20 modules
        const QByteArray memory = sim.read(space, 0x70110000, 868);

        // Walk the modules as a decoder does (t = 10: nEngine; t = 20: nEngine, then tEcu) and
        // compare with the ground truth, line by line.
        QList<QByteArray> truth = sim.logger()->groundTruth().split('\n');
        truth.removeIf([](const QByteArray &l) { return l.isEmpty() || l.startsWith('#'); });
        int index[] = {0, 0}, line = 0;
        while (d.channels.at(index[1]).factoryName != "tEcu")
            ++index[1];
        for (int run = 0; run < 2; ++run)
            for (int m = 0; m < (run ? 20 : 125); ++m)
                for (int k = 0, c = 0; k < 3; c = ++k / 2) {
                    const int at = (run ? 768 : 0) + 5 * m + 2 * k;
                    const QList<QByteArray> f = truth.value(line++).split(',');
                    QCOMPARE(f.value(0) + ',' + f.value(1) + ',' + f.value(5),
                             QByteArray::number(c) + ',' + QByteArray::number(run) + ',' + QByteArray::number(at));
                    const quint32 raw = EcuSimulator::variableValue(index[c], d.channels.at(index[c]),
                                                                    f.value(3).toLongLong()) & (c ? 0xFF : 0xFFFF);
                    QCOMPARE(f.value(4).toUInt(), raw);
                    QCOMPARE(memory.mid(at, 2 - c).toHex(), QByteArray::number(raw, 16).rightJustified(4 - 2 * c, '0'));
                }
        QCOMPARE(line, truth.size());
    }
};

QTEST_GUILESS_MAIN(TestEcuLogger)
#include "tst_eculogger.moc"
