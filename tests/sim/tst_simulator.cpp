// The simulated ECU on its own: memory, table, variables, faults, and the
// frames its Ethernet side answers, checked against bytes written by hand.

#include "sim/ecudescription.h"
#include "sim/ecuframeresponder.h"
#include "sim/ecusimulator.h"
#include "testecu.h"

#include <QtTest>

namespace {
QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

SimDescription testDescription()
{
    SimDescription d;
    QString error;
    if (!parseSimDescription(TestEcu::json(), d, &error))
        qFatal("test description: %s", qPrintable(error));
    return d;
}

const QByteArray kHost = hex("00 1b 21 aa bb cc");
const QByteArray kEcu = hex("02 00 00 00 00 01");

// A request from the host, frame bytes from the destination MAC on.
QByteArray request(const QByteArray &dst, const char *rest) { return dst + kHost + hex(rest); }

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT
private slots:
    void tableAndIdentificationSitWhereTheDescriptionSays()
    {
        EcuSimulator sim(testDescription());
        QCOMPARE(sim.mainSpace(), 0xC2u);
        QCOMPARE(sim.staticTableAddress(0xC2), 0x40001000u);
        QCOMPARE(sim.staticTableAddress(0xC3), 0xFFFFFFFFu);
        // Six bytes an entry: entries 0, 1, 3, 4 from the channels; entry 2 unused (all zero).
        QCOMPARE(sim.read(0xC2, 0x40001000, 30),
                 hex("40002000 0200 40002002 0200 00000000 0000 40002004 0400 40002008 0100"));
        QCOMPARE(sim.read(0xC2, TestEcu::IdStringAddress, 33), QByteArray("BRISCA-SIM 1.0").leftJustified(33, '\0'));
    }

    void variablesMoveWithTimeUnlessWritten()
    {
        EcuSimulator sim(testDescription());
        sim.freezeTime(12345);
        // RPM: 0 + 12345/10 = 1234 = 0x04D2; TH2O: 1000 + 123 = 0x0463;
        // LAMBDA: 2000 + 617 = 0x0A39; GEAR: (3000 + 308) mod 256 = 0xEC.
        QCOMPARE(sim.read(0xC2, 0x40002000, 9), hex("04D2 0463 00000A39 EC"));
        sim.freezeTime(12355);
        QCOMPARE(sim.read(0xC2, 0x40002000, 2), hex("04D3"));
        // A read that only touches the middle of a variable still sees it fresh.
        sim.freezeTime(20000);
        QCOMPARE(sim.read(0xC2, 0x40002007, 1), hex("B8")); // 2000 + 1000 = 0x0BB8
        // A written variable keeps its value; the others go on moving.
        EcuSimulator written(testDescription());
        written.freezeTime(0);
        QVERIFY(written.write(0xC2, 0x40002001, hex("77")));
        written.freezeTime(50000);
        QCOMPARE(written.read(0xC2, 0x40002000, 2), hex("0077"));
        QCOMPARE(written.read(0xC2, 0x40002002, 2), hex("05DC")); // 1000 + 500, still moving
        written.unpinVariables();
        QCOMPARE(written.read(0xC2, 0x40002000, 2), hex("1388"));
    }

    void refusedOrImpossibleAccessFailsWhole()
    {
        EcuSimulator sim(testDescription());
        QVERIFY(sim.setFaults(QStringLiteral("refuse=0x40010100+0x100")));
        bool ok = true;
        sim.read(0xC2, 0x40010000, 0x101, &ok);
        QVERIFY(!ok);
        QVERIFY(!sim.write(0xC2, 0x400101FF, hex("11 22")));
        QVERIFY(sim.write(0xC2, 0x40010200, hex("33")));
        QCOMPARE(sim.read(0xC2, 0x40010000, 0x100), QByteArray(0x100, '\0'));
        QCOMPARE(sim.peek(0xC2, 0x400101FF, 2), hex("00 33"));
        // Unknown space, and an access running past the top of the address range.
        char byte = 0;
        QVERIFY(!sim.read(0xC3, 0x40000000, &byte, 1));
        QVERIFY(!sim.write(0xC3, 0x40000000, &byte, 1));
        QVERIFY(!sim.read(0xC2, 0xFFFFFFFF, QByteArray(2, 'x').data(), 2));
        QVERIFY(sim.read(0xC2, 0xFFFFFFFF, &byte, 1));
        quint32 space = 0;
        QVERIFY(sim.spaceFromWireId(0xC2, &space));
        QCOMPARE(space, 0xC2u);
        QVERIFY(!sim.spaceFromWireId(0xC3, &space));
    }

    void faultPlanCountsRepliesAsWritten_data()
    {
        QTest::addColumn<QString>("plan");
        QTest::addColumn<QString>("expected"); // per reply: . pass, D drop, 2 dup, T truncate, L late
        QTest::newRow("drop the first") << "drop" << "D....";
        QTest::newRow("drop two after three") << "dropx2@3" << "...DD";
        QTest::newRow("duplicate all") << "dupx*" << "22222";
        QTest::newRow("truncate the second") << "trunc=10@1" << ".T...";
        QTest::newRow("late by default all") << "late=300" << "LLLLL";
        QTest::newRow("late only the fifth") << "late=300x1@4" << "....L";
        QTest::newRow("none") << "none" << ".....";
        QTest::newRow("extra and foreign copies") << "extra@1,foreignx2@3" << ".E.FF";
    }

    void faultPlanCountsRepliesAsWritten()
    {
        QFETCH(QString, plan);
        QFETCH(QString, expected);
        FaultPlan p;
        QVERIFY(p.parse(plan));
        QString got;
        for (int i = 0; i < expected.size(); ++i) {
            const FaultPlan::Decision d = p.nextReply();
            got += d.drop ? 'D' : d.copies == 2 ? '2' : d.truncateTo == 10 ? 'T' : d.delayMs == 300 ? 'L'
                   : d.extra ? 'E' : d.foreign ? 'F' : '.';
        }
        QCOMPARE(got, expected);
    }

    void badFaultTextIsRefused()
    {
        FaultPlan p;
        QVERIFY(p.parse(QStringLiteral("absent,refuse=0x10+4")));
        QString error;
        for (const char *bad : {"explode", "late", "refuse=0x10+0"})
            QVERIFY2(!p.parse(QString::fromLatin1(bad), &error) && error.contains(bad), bad);
        QVERIFY(p.absent()); // a refused text leaves the plan as it was
    }

    void discoveryAnswersBothAddressingsWithItsLines_data()
    {
        QTest::addColumn<QByteArray>("destination");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("replyTail"); // from offset 12 on
        const QByteArray twoLines = hex("C1A0 0005 00000001 000A") + QByteArray("ECU A\0v2\0\0", 10);
        QTest::newRow("broadcast, two lines") << hex("ffffffffffff") << QStringList{"ECU A", "v2"} << twoLines;
        QTest::newRow("discovery address, two lines") << hex("025a4b000000") << QStringList{"ECU A", "v2"} << twoLines;
        QTest::newRow("no lines") << hex("ffffffffffff") << QStringList{} << hex("C1A0 0005 00000001 0001 00");
        QTest::newRow("lines beyond one frame are left out")
            << hex("ffffffffffff") << QStringList{"ok", QString(1500, QLatin1Char('x'))}
            << hex("C1A0 0005 00000001 0004") + QByteArray("ok\0\0", 4);
    }

    void discoveryAnswersBothAddressingsWithItsLines()
    {
        QFETCH(QByteArray, destination);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, replyTail);
        EcuSimulator sim(testDescription());
        EcuFrameResponder ecu(sim, kEcu);
        QCOMPARE(ecu.descriptionLines(), (QStringList{"test_ecu.elf", "BRISCA-SIM 1.0"}));
        ecu.setDescriptionLines(lines);
        const QList<QByteArray> replies = ecu.respond(request(destination, "C1A0 0005 00000001 0000"));
        QCOMPARE(replies.size(), 1);
        QByteArray expected = kHost + kEcu + replyTail;
        expected.append(QByteArray(60 - expected.size(), '\0'));
        QCOMPARE(replies[0], expected);
    }

    // The reply bytes from offset 12 on, before the padding to 60; none: silent.
    void requestsGetTheirExactPaddedReplyOrNone_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("faults");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("presence") << request(kEcu, "C1A0 0007 00000002 0000") << "" << hex("C1A0 0007 00000002 0000");
        QTest::newRow("only the 12 sequence bits come back")
            << request(kEcu, "C1A0 F123 00000002 0000") << "" << hex("C1A0 0123 00000002 0000");
        // Space 0xC2: command 0xC2 * 8 + 3 = 0x613.
        QTest::newRow("read of one byte") << request(kEcu, "C1A1 0001 00000613 0006 40010000 0001") << ""
                                          << hex("C1A1 0001 00000613 0001 A5");
        QTest::newRow("table start") << request(kEcu, "C1A1 0002 00000613 0004 FFFFFFFF") << ""
                                     << hex("C1A1 0002 00000613 0004 40001000");
        QTest::newRow("read of 1025 bytes ends with 1") << request(kEcu, "C1A1 0003 00000613 0006 4000FC00 0401") << ""
                                                       << hex("C1A1 0003 00000613 0001 A5");
        // A write (0x617) changes memory and is not answered: read back.
        QTest::newRow("write of 1 byte") << request(kEcu, "C1A1 0004 00000617 0007 40010000 0001 5A") << ""
                                         << hex("C1A1 0004 00000613 0001 5A");
        const char *read = "C1A1 0001 00000613 0006 40010000 0001";
        QTest::newRow("read for another ECU") << request(hex("020000000002"), read) << "" << QByteArray();
        QTest::newRow("read broadcast") << request(hex("ffffffffffff"), read) << "" << QByteArray();
        QTest::newRow("presence for another ECU") << request(hex("020000000002"), "C1A0 0007 00000002 0000") << ""
                                                  << QByteArray();
        QTest::newRow("unknown space") << request(kEcu, "C1A1 0001 0000061B 0006 40010000 0001") << "" << QByteArray();
        QTest::newRow("L past the frame") << request(kEcu, "C1A1 0001 00000613 0006 40010000") << "" << QByteArray();
        QTest::newRow("read of 0 bytes") << request(kEcu, "C1A1 0001 00000613 0006 40010000 0000") << ""
                                         << QByteArray();
        QTest::newRow("refused memory") << request(kEcu, read) << "refuse=0x40010000+1" << QByteArray();
        QTest::newRow("ECU absent") << request(kEcu, "C1A0 0001 00000002 0000") << "absent" << QByteArray();
        QTest::newRow("echo of own frame") << kEcu + kEcu + hex("C1A0 0001 00000002 0000") << "" << QByteArray();
    }
    void requestsGetTheirExactPaddedReplyOrNone()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, faults);
        QFETCH(QByteArray, reply);
        EcuSimulator sim(testDescription());
        QVERIFY(sim.setFaults(faults));
        sim.poke(0xC2, 0x40010000, hex("A5"));
        EcuFrameResponder ecu(sim, kEcu);
        QList<QByteArray> replies = ecu.respond(frame);
        if (replies.isEmpty() && frame[19] == 0x17) // a write: read the byte back
            replies = ecu.respond(request(kEcu, "C1A1 0004 00000613 0006 40010000 0001"));
        QCOMPARE(replies.value(replies.size() - 1), reply.isEmpty() ? reply : (kHost + kEcu + reply).leftJustified(60, '\0'));
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
