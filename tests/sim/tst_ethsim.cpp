// The simulated ECU program on a veth pair in its own network namespace, fed
// with frames written by hand through a raw socket on the host end.

#include "netns.h"
#include "rawport.h"
#include "sim/ecusimulator.h"
#include "testecu.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QtTest>


namespace {
QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

int lengthField(const QByteArray &f) { return (quint8(f[20]) << 8) | quint8(f[21]); }

QByteArray readRequest(quint16 seq, quint32 address, quint16 count)
{
    QByteArray r = hex("C1A1");
    r += char(seq >> 8);
    r += char(seq);
    r += hex("00000613 0006");
    for (int s = 24; s >= 0; s -= 8)
        r += char(address >> s);
    r += char(count >> 8);
    r += char(count);
    return r;
}
} // namespace

class TestEthSim : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void discoveryCollectsEveryEcuWithItsLines_data();
    void discoveryCollectsEveryEcuWithItsLines();
    void presenceReplyComesFromTheEcu();
    void readsAroundTheFrameAndRequestBoundaries_data();
    void readsAroundTheFrameAndRequestBoundaries();
    void writtenBytesReadBackAndStaticTableStart();
    void injectedFaultsChangeTheReplies_data();
    void injectedFaultsChangeTheReplies();
    void killedEcuFallsSilent();
    void namespaceIsGoneAfterTheHarness();

private:
    EcuNetwork *m_net = nullptr;
    RawPort *m_port = nullptr;
};

void TestEthSim::init()
{
    const QString why = EcuNetwork::unavailableReason();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    m_net = new EcuNetwork;
    QString error;
    QVERIFY2(m_net->setUp(&error), qPrintable(error));
    m_port = new RawPort;
    QVERIFY(m_port->open(m_net->hostInterface(), m_net->hostMac()));
}

void TestEthSim::cleanup()
{
    delete m_port;
    m_port = nullptr;
    delete m_net;
    m_net = nullptr;
}

void TestEthSim::discoveryCollectsEveryEcuWithItsLines_data()
{
    QTest::addColumn<QByteArray>("destination");
    QTest::newRow("broadcast") << hex("ffffffffffff");
    QTest::newRow("discovery address") << hex("025a4b000000");
}

void TestEthSim::discoveryCollectsEveryEcuWithItsLines()
{
    QFETCH(QByteArray, destination);
    QString error;
    QVERIFY2(m_net->startEcu({"--lines", "Motore|banco 2"}, {}, &error) == 0, qPrintable(error));
    QVERIFY2(m_net->startEcu({"--no-lines"}, {}, &error) == 1, qPrintable(error));
    QVERIFY(m_port->send(destination, hex("C1A0 0001 00000001 0000")));
    QList<QByteArray> replies = m_port->receive(3, 1000);
    QCOMPARE(replies.size(), 2);
    std::sort(replies.begin(), replies.end(),
              [](const QByteArray &a, const QByteArray &b) { return a.mid(6, 6) < b.mid(6, 6); });
    const QByteArray host = m_net->hostMac();
    QCOMPARE(replies[0].left(38), host + hex("020000000001 C1A0 0001 00000001 0010") + QByteArray("Motore\0banco 2\0\0", 16));
    QCOMPARE(replies[1].left(23), host + hex("020000000002 C1A0 0001 00000001 0001 00"));
    QCOMPARE(replies[1].size(), 60);
}

void TestEthSim::presenceReplyComesFromTheEcu()
{
    QVERIFY(m_net->startEcu() >= 0);
    QVERIFY(m_port->send(hex("020000000001"), hex("C1A0 0002 00000002 0000")));
    const QList<QByteArray> replies = m_port->receive(2);
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies[0], m_net->hostMac() + hex("020000000001 C1A0 0002 00000002 0000") + QByteArray(38, '\0'));
    QVERIFY(m_port->send(hex("020000000009"), hex("C1A0 0003 00000002 0000")));
    QVERIFY(m_port->receive(1, 300).isEmpty());
}

void TestEthSim::readsAroundTheFrameAndRequestBoundaries_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("frames");
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("1023") << 1023 << 1;
    QTest::newRow("1024") << 1024 << 1;
    QTest::newRow("1025") << 1025 << 2;
    QTest::newRow("64511") << 64511 << 63;
    QTest::newRow("64512") << 64512 << 63;
}

void TestEthSim::readsAroundTheFrameAndRequestBoundaries()
{
    QFETCH(int, count);
    QFETCH(int, frames);
    QVERIFY(m_net->startEcu({"--freeze-time", "0"}) >= 0);
    // From the id string on: the longer reads reach the static table and the variables.
    QVERIFY(m_port->send(hex("020000000001"), readRequest(7, TestEcu::IdStringAddress, quint16(count))));
    const QList<QByteArray> replies = m_port->receive(frames + 1);
    QCOMPARE(replies.size(), frames);
    QByteArray data;
    for (const QByteArray &r : replies) {
        QCOMPARE(r.mid(12, 8), hex("C1A1 0007 00000613"));
        data += r.mid(22, lengthField(r));
    }
    SimDescription d;
    QVERIFY(parseSimDescription(TestEcu::json(), d, nullptr));
    EcuSimulator local(d);
    local.freezeTime(0);
    QCOMPARE(data, local.read(TestEcu::Space, TestEcu::IdStringAddress, quint32(count)));
    QCOMPARE(data.left(15), QByteArray("BRISCA-SIM 1.0\0", 15).left(count));
}

void TestEthSim::writtenBytesReadBackAndStaticTableStart()
{
    QVERIFY(m_net->startEcu() >= 0);
    QByteArray pattern;
    for (int i = 0; i < 2049; ++i)
        pattern += char(i % 251);
    for (int off = 0; off < pattern.size(); off += 1024) {
        const QByteArray chunk = pattern.mid(off, 1024);
        QByteArray w = hex("C1A1 0010 00000617");
        const int l = 6 + chunk.size();
        w += char(l >> 8);
        w += char(l);
        const quint32 a = TestEcu::ScratchAddress + quint32(off);
        for (int s = 24; s >= 0; s -= 8)
            w += char(a >> s);
        w += char(chunk.size() >> 8);
        w += char(chunk.size());
        QVERIFY(m_port->send(hex("020000000001"), w + chunk));
    }
    QVERIFY(m_port->receive(1, 200).isEmpty()); // writes are not acknowledged
    QVERIFY(m_port->send(hex("020000000001"), readRequest(8, TestEcu::ScratchAddress, 2049)));
    const QList<QByteArray> replies = m_port->receive(4);
    QCOMPARE(replies.size(), 3);
    QCOMPARE(replies[0].mid(22, 1024) + replies[1].mid(22, 1024) + replies[2].mid(22, 1), pattern);

    QVERIFY(m_port->send(hex("020000000001"), hex("C1A1 0011 00000613 0004 FFFFFFFF")));
    const QList<QByteArray> table = m_port->receive(2);
    QCOMPARE(table.size(), 1);
    QCOMPARE(table[0].mid(12, 14), hex("C1A1 0011 00000613 0004 40001000"));
}

void TestEthSim::injectedFaultsChangeTheReplies_data()
{
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<QList<int>>("lengths"); // L of each reply to a 3000-byte read
    QTest::newRow("absent") << QByteArray("absent") << QList<int>{};
    QTest::newRow("second dropped") << QByteArray("drop@1") << QList<int>{1024, 952};
    QTest::newRow("first duplicated") << QByteArray("dup") << QList<int>{1024, 1024, 1024, 952};
    QTest::newRow("last truncated") << QByteArray("trunc=100@2") << QList<int>{1024, 1024, 100};
    QTest::newRow("all late") << QByteArray("late=400") << QList<int>{1024, 1024, 952};
}

void TestEthSim::injectedFaultsChangeTheReplies()
{
    QFETCH(QByteArray, faults);
    QFETCH(QList<int>, lengths);
    const int ecu = m_net->startEcu();
    QVERIFY(ecu >= 0);
    QByteArray answer;
    QVERIFY2(m_net->command(ecu, "faults " + faults, &answer), answer.constData());
    QElapsedTimer t;
    t.start();
    QVERIFY(m_port->send(hex("020000000001"), readRequest(9, TestEcu::RamBase, 3000)));
    const QList<QByteArray> replies = m_port->receive(lengths.size() + 1, 1000);
    QList<int> got;
    for (const QByteArray &r : replies)
        got << lengthField(r);
    QCOMPARE(got, lengths);
    if (faults.startsWith("late"))
        QVERIFY(t.elapsed() >= 400);
    // Clearing the plan brings the plain answer back.
    QVERIFY(m_net->command(ecu, "faults none"));
    QVERIFY(m_port->send(hex("020000000001"), readRequest(10, TestEcu::RamBase, 3000)));
    QCOMPARE(m_port->receive(4).size(), 3);
}

void TestEthSim::killedEcuFallsSilent()
{
    const int ecu = m_net->startEcu();
    QVERIFY(ecu >= 0);
    m_net->killEcu(ecu);
    QVERIFY(!m_net->ecuRunning(ecu));
    QVERIFY(m_port->send(hex("020000000001"), hex("C1A0 0002 00000002 0000")));
    QVERIFY(m_port->receive(1, 300).isEmpty());
}

void TestEthSim::namespaceIsGoneAfterTheHarness()
{
    QVERIFY(m_net->startEcu() >= 0);
    const QString ns = m_net->namespaceName();
    const QString hostIf = m_net->hostInterface();
    QVERIFY(QFileInfo::exists(QStringLiteral("/run/netns/") + ns));
    cleanup();
    QVERIFY(!QFileInfo::exists(QStringLiteral("/run/netns/") + ns));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/sys/class/net/") + hostIf));
}

QTEST_GUILESS_MAIN(TestEthSim)
#include "tst_ethsim.moc"
