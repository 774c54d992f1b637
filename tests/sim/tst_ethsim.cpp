// The simulated ECU program on a veth pair in its own network namespace, fed
// with frames written by hand through a raw socket on the host end: the
// replies its fault plan changes, and the harness cleaning up. Plain replies
// are checked in process (test_simulator) and end to end (test_comm_ethernet_path).

#include "netns.h"
#include "rawport.h"
#include "testecu.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QtTest>

namespace {
QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

int lengthField(const QByteArray &f) { return (quint8(f[20]) << 8) | quint8(f[21]); }
} // namespace

class TestEthSim : public QObject
{
    Q_OBJECT
private:
    EcuNetwork *m_net = nullptr;
    RawPort *m_port = nullptr;

private slots:
    void init()
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

    void cleanup()
    {
        delete m_port;
        m_port = nullptr;
        delete m_net;
        m_net = nullptr;
    }

    void injectedFaultsChangeTheReplies_data()
    {
        QTest::addColumn<QByteArray>("faults");
        QTest::addColumn<QList<int>>("lengths"); // L of each reply to a 3000-byte read
        QTest::newRow("absent") << QByteArray("absent") << QList<int>{};
        QTest::newRow("second dropped") << QByteArray("drop@1") << QList<int>{1024, 952};
        QTest::newRow("first duplicated") << QByteArray("dup") << QList<int>{1024, 1024, 1024, 952};
        QTest::newRow("last truncated") << QByteArray("trunc=100@2") << QList<int>{1024, 1024, 100};
        QTest::newRow("all late") << QByteArray("late=400") << QList<int>{1024, 1024, 952};
    }

    void injectedFaultsChangeTheReplies()
    {
        QFETCH(QByteArray, faults);
        QFETCH(QList<int>, lengths);
        const int ecu = m_net->startEcu();
        QVERIFY(ecu >= 0);
        QByteArray answer;
        QVERIFY2(m_net->command(ecu, "faults " + faults, &answer), answer.constData());
        QElapsedTimer t;
        t.start();
        QVERIFY(m_port->send(hex("020000000001"), hex("C1A1 0009 00000613 0006 40000000 0BB8")));
        const QList<QByteArray> replies = m_port->receive(lengths.size() + 1, 1000);
        QList<int> got;
        for (const QByteArray &r : replies)
            got << lengthField(r);
        QCOMPARE(got, lengths);
        if (faults.startsWith("late"))
            QVERIFY(t.elapsed() >= 400);
        // Clearing the plan brings the plain answer back.
        QVERIFY(m_net->command(ecu, "faults none"));
        QVERIFY(m_port->send(hex("020000000001"), hex("C1A1 000A 00000613 0006 40000000 0BB8")));
        QCOMPARE(m_port->receive(4).size(), 3);
    }

    void namespaceIsGoneAfterTheHarness()
    {
        QVERIFY(m_net->startEcu() >= 0);
        const QString ns = m_net->namespaceName();
        const QString hostIf = m_net->hostInterface();
        QVERIFY(QFileInfo::exists(QStringLiteral("/run/netns/") + ns));
        cleanup();
        QVERIFY(!QFileInfo::exists(QStringLiteral("/run/netns/") + ns));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/sys/class/net/") + hostIf));
    }
};

QTEST_GUILESS_MAIN(TestEthSim)
#include "tst_ethsim.moc"
