// The raw Ethernet path end to end with real frames: EthernetLink on one end
// of a veth pair, the simulated ECU in a network namespace on the other. The
// wire is watched through an independent packet socket. Needs root.

#include "communicationmedium.h"
#include "ethernetlink.h"
#include "mediumcontract.h"
#include "netns.h"
#include "rawport.h"
#include "testecu.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstring>

namespace {
quint16 be16(const QByteArray &b, int at) { return quint16(quint8(b[at]) << 8 | quint8(b[at + 1])); }
quint32 be32(const QByteArray &b, int at) { return quint32(be16(b, at)) << 16 | be16(b, at + 2); }

// One ECU network with the program's side of it: link and medium.
struct EthernetRig
{
    EcuNetwork net;
    bool ethernet = true;
    EthernetLink *link = nullptr;
    CommunicationMedium *medium = nullptr;
    QList<int> ecus;

    ~EthernetRig() { down(); }

    bool up(const QList<QStringList> &ecuArgs, QString *error)
    {
        if (!net.setUp(error))
            return false;
        for (const QStringList &args : ecuArgs) {
            const int i = net.startEcu(args, {}, error);
            if (i < 0)
                return false;
            ecus << i;
        }
        quint8 mac[6] = {};
        const QByteArray hostMac = net.hostMac();
        if (hostMac.size() == 6)
            std::memcpy(mac, hostMac.constData(), 6);
        link = new EthernetLink(net.hostInterface(), mac, 10, 1000);
        link->start();
        if (!link->waitUntilReady(5000)) {
            *error = QStringLiteral("capture on %1 did not open: %2").arg(net.hostInterface(), link->captureError());
            return false;
        }
        medium = new CommunicationMedium(&ethernet, &link, QStringLiteral("/nonexistent/libNone.so"));
        if (!ecus.isEmpty()) {
            const QByteArray ecuMac = net.ecuMac(ecus.first());
            if (ecuMac.size() == 6)
                medium->setEcuTarget(reinterpret_cast<const quint8 *>(ecuMac.constData()));
        }
        return true;
    }
    void down()
    {
        delete medium;
        medium = nullptr;
        if (link) {
            link->stop();
            link->wait();
            delete link;
            link = nullptr;
        }
        net.tearDown();
        ecus.clear();
    }
    qint64 ecuPid()
    {
        QProcess p;
        p.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("pids"), net.namespaceName()});
        p.waitForFinished(5000);
        const QList<QByteArray> pids = p.readAllStandardOutput().split('\n');
        return pids.isEmpty() ? -1 : pids.first().trimmed().toLongLong();
    }
};
} // namespace

class EthernetMediumContract : public MediumContract
{
    Q_OBJECT
    EthernetRig *m_rig = nullptr;
    qint64 m_ecuPid = -1;

protected:
    QString unavailableReason() override { return EcuNetwork::unavailableReason(); }
    bool startEcu(QString *error) override
    {
        m_rig = new EthernetRig;
        if (!m_rig->up({{}}, error))
            return false;
        m_ecuPid = m_rig->ecuPid();
        return m_rig->medium->connect(QStringLiteral("Brisca"), QString(), 0, 0);
    }
    void stopEcu() override
    {
        delete m_rig;
        m_rig = nullptr;
    }
    CommunicationMedium *medium() override { return m_rig->medium; }
    bool pokeEcu(quint32 address, const QByteArray &bytes) override
    {
        return m_rig->net.command(0, "poke " + QByteArray::number(address) + ' ' + bytes.toHex());
    }
    QByteArray peekEcu(quint32 address, quint32 length) override
    {
        QByteArray answer;
        if (!m_rig->net.command(0, "peek " + QByteArray::number(address) + ' ' + QByteArray::number(length), &answer)
            || !answer.startsWith("ok "))
            return QByteArray();
        return QByteArray::fromHex(answer.mid(3));
    }
    bool setFaults(const QString &plan) override { return m_rig->net.command(0, "faults " + plan.toLatin1()); }
    void killEcu() override
    {
        if (m_ecuPid > 0)
            ::kill(pid_t(m_ecuPid), SIGKILL);
    }
};

class TestEthernetPath : public QObject
{
    Q_OBJECT
    EthernetRig *rig = nullptr;
    RawPort *tap = nullptr;

    bool bringUp(const QList<QStringList> &ecus)
    {
        rig = new EthernetRig;
        QString error;
        if (!rig->up(ecus, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        tap = new RawPort;
        return tap->open(rig->net.hostInterface(), rig->net.hostMac());
    }
    bool read(quint32 address, QByteArray &into)
    {
        return rig->medium->readMemory(TestEcu::Space, address, reinterpret_cast<quint8 *>(into.data()),
                                       quint32(into.size()));
    }
    QList<RawPort::Frame> outgoing()
    {
        QList<RawPort::Frame> out;
        for (const RawPort::Frame &f : tap->take())
            if (f.outgoing)
                out << f;
        return out;
    }

private slots:
    void init()
    {
        const QString why = EcuNetwork::unavailableReason();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
    }
    void cleanup()
    {
        delete tap;
        tap = nullptr;
        delete rig; // namespace and veth go even when the test failed
        rig = nullptr;
    }

    void hostMacComesFromTheAdapterTable()
    {
        QVERIFY(bringUp({}));
        quint8 mac[6];
        EthernetLink::findInterfaceMac(rig->net.hostInterface(), mac);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(mac), 6), rig->net.hostMac());
        QStringList names, descriptions;
        EthernetLink::listInterfaces(names, descriptions);
        QVERIFY(names.contains(rig->net.hostInterface()));
        QCOMPARE(names.size(), descriptions.size());
    }

    void discoveryListsEveryEcuWithItsLines()
    {
        QVERIFY(bringUp({{QStringLiteral("--lines"), QStringLiteral("Motore A|v2.1")}, {QStringLiteral("--no-lines")}}));
        const QList<EcuInfo> ecus = rig->medium->discoverEcus();
        QCOMPARE(ecus.size(), 2);
        QList<EcuInfo> sorted = ecus;
        std::sort(sorted.begin(), sorted.end(), [](const EcuInfo &a, const EcuInfo &b) { return a.mac < b.mac; });
        QCOMPARE(sorted[0].mac, rig->net.ecuMac(0));
        QCOMPARE(sorted[0].macText, QStringLiteral("02:00:00:00:00:01"));
        QCOMPARE(sorted[0].descriptions, QStringList({"Motore A", "v2.1"}));
        QVERIFY(sorted[1].descriptions.isEmpty()); // reply starting with NUL
        QCOMPARE(rig->medium->ethernet().discoveryMode(), 0);

        // The request as it went out: broadcast, padded to 60, our MAC filled in.
        const QList<RawPort::Frame> out = outgoing();
        QCOMPARE(out.size(), 1);
        QCOMPARE(out[0].bytes.size(), 60);
        QCOMPARE(out[0].bytes.left(6), QByteArray(6, '\xFF'));
        QCOMPARE(out[0].bytes.mid(6, 6), rig->net.hostMac());
        QCOMPARE(out[0].bytes.mid(12, 10).toHex(), QByteArray("c1a00001000000010000"));
        QCOMPARE(out[0].bytes.mid(22), QByteArray(38, 0));
    }

    void discoveryWithNoAnswerRetriesWithTheOtherAddress()
    {
        QVERIFY(bringUp({{QStringLiteral("--faults"), QStringLiteral("drop")}}));
        const QList<EcuInfo> ecus = rig->medium->discoverEcus();
        QCOMPARE(ecus.size(), 1);
        QCOMPARE(rig->medium->ethernet().discoveryMode(), 1);
        QList<RawPort::Frame> out = outgoing();
        QCOMPARE(out.size(), 2);
        QCOMPARE(out[0].bytes.left(6).toHex(), QByteArray("ffffffffffff"));
        QCOMPARE(out[1].bytes.left(6).toHex(), QByteArray("025a4b000000"));
        // The mode that worked is where the next search starts.
        QCOMPARE(rig->medium->discoverEcus().size(), 1);
        out = outgoing();
        QCOMPARE(out.size(), 1);
        QCOMPARE(out[0].bytes.left(6).toHex(), QByteArray("025a4b000000"));
    }

    void discoveryOfAnAbsentEcuFindsNothingAfterTwoTries()
    {
        QVERIFY(bringUp({{QStringLiteral("--faults"), QStringLiteral("absent")}}));
        QElapsedTimer t;
        t.start();
        QVERIFY(rig->medium->discoverEcus().isEmpty());
        QVERIFY(t.elapsed() >= 1900); // two quiet seconds
        QCOMPARE(outgoing().size(), 2);
        QCOMPARE(rig->medium->ethernet().discoveryMode(), 0);
    }

    void lostEcuFailsThePresenceCheckAndIsForgotten()
    {
        QVERIFY(bringUp({{}}));
        QCOMPARE(rig->medium->checkEcuPresence(), 0);
        QVERIFY(rig->medium->isConnected());
        rig->net.killEcu(0);
        QCOMPARE(rig->medium->checkEcuPresence(), -2);
        QVERIFY(!rig->medium->ecuTargetValid());
        QCOMPARE(rig->medium->checkEcuPresence(), -1);
    }

    void presenceReplyFromAnotherMacIsRejected()
    {
        QVERIFY(bringUp({{QStringLiteral("--faults"), QStringLiteral("absent")}}));
        // A stray presence reply is already queued when the check starts.
        QByteArray stray = QByteArray::fromHex("000000000000" "020000000099" "c1a0" "0001" "00000002" "0000");
        stray.replace(0, 6, rig->net.hostMac());
        stray = stray.leftJustified(60, '\0');
        rig->link->acceptPacket(reinterpret_cast<const quint8 *>(stray.constData()), 60);
        QCOMPARE(rig->medium->checkEcuPresence(), -3);
        QVERIFY(!rig->medium->ecuTargetValid());
    }

    void readRequestsAndRepliesOnTheWire_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QList<int>>("requests");
        QTest::addColumn<int>("replies");
        QTest::newRow("1 byte") << 1 << QList<int>{1} << 1;
        QTest::newRow("1024 bytes") << 1024 << QList<int>{1024} << 1;
        QTest::newRow("1025 bytes take two replies") << 1025 << QList<int>{1025} << 2;
        QTest::newRow("64512 bytes") << 64512 << QList<int>{64512} << 63;
        QTest::newRow("64513 bytes take two requests") << 64513 << QList<int>{64512, 1} << 64;
    }
    void readRequestsAndRepliesOnTheWire()
    {
        QFETCH(int, length);
        QFETCH(QList<int>, requests);
        QFETCH(int, replies);
        QVERIFY(bringUp({{}}));
        QByteArray buffer(length, 0);
        QVERIFY(read(TestEcu::RamBase, buffer));
        QList<int> seen;
        int incoming = 0;
        quint32 address = TestEcu::RamBase;
        for (const RawPort::Frame &f : tap->take()) {
            if (!f.outgoing) {
                ++incoming;
                continue;
            }
            // The request layout itself is checked against hand-written bytes in test_comm_frames.
            QCOMPARE(f.bytes.size(), 60); // a 28-byte request, padded
            QCOMPARE(be32(f.bytes, 22), address);
            seen << be16(f.bytes, 26);
            address += be16(f.bytes, 26);
        }
        QCOMPARE(seen, requests);
        QCOMPARE(incoming, replies);
    }

    void writeIsSentInPacedFramesOf1024Bytes()
    {
        QVERIFY(bringUp({{}}));
        const QByteArray data = TestEcu::pattern(2049, 5);
        QElapsedTimer t;
        t.start();
        QVERIFY(rig->medium->writeMemory(TestEcu::Space, TestEcu::ScratchAddress,
                                         reinterpret_cast<const quint8 *>(data.constData()), 2049));
        QVERIFY(t.elapsed() >= 6); // a 2 ms pause after each frame
        const QList<RawPort::Frame> out = outgoing();
        QCOMPARE(out.size(), 3);
        const int lengths[3] = {1052, 1052, 60};
        const int counts[3] = {1024, 1024, 1};
        for (int i = 0; i < 3; ++i) {
            const QByteArray &f = out[i].bytes;
            QCOMPARE(f.size(), lengths[i]);
            QCOMPARE(be16(f, 14), quint16(i + 1)); // the first memory frames of this protocol object
            QCOMPARE(int(be16(f, 20)), 6 + counts[i]);
            QCOMPARE(be32(f, 22), TestEcu::ScratchAddress + quint32(1024 * i));
            QCOMPARE(int(be16(f, 26)), counts[i]);
            QCOMPARE(f.mid(28, counts[i]), data.mid(1024 * i, counts[i]));
        }
    }

    void replyFaultsGiveTheirResult_data()
    {
        QTest::addColumn<QString>("plan");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("ok");
        QTest::newRow("dropped reply") << "drop@1" << 4096 << false;
        QTest::newRow("truncated reply") << "trunc=100" << 1024 << false;
        QTest::newRow("late reply") << "late=400" << 1024 << false;
        QTest::newRow("absent ECU, table calls fail too") << "absent" << 1024 << false;
        QTest::newRow("duplicated reply still fills the read") << "dup" << 1024 << true;
    }
    void replyFaultsGiveTheirResult()
    {
        QFETCH(QString, plan);
        QFETCH(int, length);
        QFETCH(bool, ok);
        QVERIFY(bringUp({{QStringLiteral("--faults"), plan}}));
        QByteArray buffer(length, 0);
        QElapsedTimer t;
        t.start();
        QCOMPARE(read(TestEcu::RamBase, buffer), ok);
        QVERIFY2(t.elapsed() < 2000, "a missing reply costs one timeout, not more");
        if (plan != QLatin1String("absent"))
            return;
        quint32 table = 0, address = 0;
        quint16 size = 7, flag = 7;
        QVERIFY(!rig->medium->staticTableStart(TestEcu::Space, table));
        QCOMPARE(table, 0xFFFFFFFFu);
        QVERIFY(!rig->medium->staticTableEntry(TestEcu::Space, 0, address, size, 0xFFFFFFFFu, &flag));
        QCOMPARE(address, 0xFFFFFFFFu);
        QCOMPARE(size, quint16(0));
        QCOMPARE(flag, quint16(0));
    }

    void duplicateReplyIsTakenByTheNextRead()
    {
        // Replies are trusted in arrival order: the spare copy of the first
        // reply answers the second read.
        QVERIFY(bringUp({{QStringLiteral("--faults"), QStringLiteral("dup")}}));
        QVERIFY(rig->net.command(0, "poke " + QByteArray::number(TestEcu::ScratchAddress) + " 11223344"));
        QByteArray first(4, 0), second(4, 0);
        QVERIFY(read(TestEcu::ScratchAddress, first));
        QVERIFY(rig->net.command(0, "faults none"));
        QVERIFY(read(TestEcu::IdStringAddress, second));
        QCOMPARE(first.toHex(), QByteArray("11223344"));
        QCOMPARE(second.toHex(), QByteArray("11223344"));
    }

    void interfaceRemovedUnderTheLinkEndsItCleanly()
    {
        QVERIFY(bringUp({{}}));
        QVERIFY(QProcess::execute(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("delete"),
                                                         rig->net.hostInterface()}) == 0);
        QByteArray buffer(4096, 0);
        QElapsedTimer t;
        t.start();
        QVERIFY(!read(TestEcu::RamBase, buffer));
        QVERIFY(t.elapsed() < 2000);
        QVERIFY(rig->link->wait(3000)); // the receive thread has ended on its own
        RawFrameList frames;
        frames.push_back(rig->medium->ethernet().buildPresence());
        QCOMPARE(rig->link->sendFrames(frames), -1);
        QCOMPARE(rig->medium->checkEcuPresence(), -2);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    EthernetMediumContract contract;
    TestEthernetPath path;
    return MediumContract::runSuites({&contract, &path}, argc, argv);
}

#include "tst_ethernetpath.moc"
