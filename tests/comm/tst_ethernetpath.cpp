// The raw Ethernet path end to end with real frames: EthernetLink on one end
// of a veth pair, the simulated ECU in a network namespace on the other.
// Needs root. The request bytes themselves are checked by the capture
// acceptance test.

#include "communicationmedium.h"
#include "ethernetlink.h"
#include "mediumcontract.h"
#include "netns.h"
#include "testecu.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {
// One ECU network with the program's side of it: link and medium.
struct EthernetRig
{
    EcuNetwork net;
    bool ethernet = true;
    EthernetLink *link = nullptr;
    CommunicationMedium *medium = nullptr;

    ~EthernetRig()
    {
        delete medium;
        if (link) {
            link->stop();
            link->wait();
            delete link;
        }
    }
    bool up(const QList<QStringList> &ecuArgs, QString *error)
    {
        if (!net.setUp(error))
            return false;
        for (const QStringList &args : ecuArgs)
            if (net.startEcu(args, error) < 0)
                return false;
        link = new EthernetLink(net.hostInterface(), reinterpret_cast<const quint8 *>(net.hostMac().constData()), 10,
                                1000);
        link->start();
        if (!link->waitUntilReady(5000)) {
            *error = QStringLiteral("capture on %1 did not open: %2").arg(net.hostInterface(), link->captureError());
            return false;
        }
        medium = new CommunicationMedium(&ethernet, &link, QStringLiteral("/nonexistent/libNone.so"));
        if (!ecuArgs.isEmpty())
            medium->setEcuTarget(reinterpret_cast<const quint8 *>(net.ecuMac(0).constData()));
        return true;
    }
    bool read(quint32 address, QByteArray &into)
    {
        return medium->readMemory(TestEcu::Space, address, reinterpret_cast<quint8 *>(into.data()),
                                  quint32(into.size()));
    }
};
} // namespace

class EthernetMediumContract : public MediumContract
{
    Q_OBJECT
    EthernetRig *m_rig = nullptr;

protected:
    QString unavailableReason() override { return EcuNetwork::unavailableReason(); }
    bool isEthernet() const override { return true; }
    bool startEcu(QString *error) override
    {
        m_rig = new EthernetRig;
        return m_rig->up({{}}, error) && m_rig->medium->connect(QStringLiteral("Brisca"), QString(), 0, 0);
    }
    void stopEcu() override
    {
        delete m_rig;
        m_rig = nullptr;
    }
    CommunicationMedium *medium() override { return m_rig->medium; }
    bool control(const QByteArray &line, QByteArray *answer) override { return m_rig->net.command(0, line, answer); }
    void killEcu() override { m_rig->net.signalEcu(0, SIGKILL); }
};

class TestEthernetPath : public QObject
{
    Q_OBJECT
    EthernetRig *rig = nullptr;

    bool bringUp(const QList<QStringList> &ecus)
    {
        rig = new EthernetRig;
        QString error;
        if (!rig->up(ecus, &error))
            qWarning("%s", qPrintable(error));
        return error.isEmpty();
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
        delete rig; // namespace and veth go even when the test failed
        rig = nullptr;
    }

    void interfaceListShowsTheVethWithItsMac()
    {
        QVERIFY(bringUp({}));
        quint8 mac[6];
        EthernetLink::findInterfaceMac(rig->net.hostInterface(), mac);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(mac), 6), rig->net.hostMac());
        QStringList names, descriptions;
        EthernetLink::listInterfaces(names, descriptions);
        const int i = names.indexOf(rig->net.hostInterface());
        QVERIFY(i >= 0);
        QCOMPARE(descriptions[i], rig->net.hostInterface() + " - " + formatMac(rig->net.hostMac()));
        for (const char *notEthernet : {"any", "lo", "nflog", "dbus-system"})
            QVERIFY2(!names.contains(notEthernet), notEthernet);
    }

    void discoveryListsEveryEcuWithItsLines()
    {
        QVERIFY(bringUp({{"--lines", "Motore A|v2.1"}, {"--no-lines"}}));
        QList<EcuInfo> ecus = rig->medium->discoverEcus();
        QCOMPARE(ecus.size(), 2);
        std::sort(ecus.begin(), ecus.end(), [](const EcuInfo &a, const EcuInfo &b) { return a.mac < b.mac; });
        QCOMPARE(ecus[0].macText, QStringLiteral("02:00:00:00:00:01"));
        QCOMPARE(ecus[0].descriptions, QStringList({"Motore A", "v2.1"}));
        QVERIFY(ecus[1].descriptions.isEmpty()); // reply starting with NUL
        QCOMPARE(rig->medium->ethernet().discoveryMode(), 0);
    }

    // Broadcast first; when nothing answers, once more to 02:5A:4B:00:00:00,
    // which the next search then starts with.
    void discoveryRetriesOnceWithTheOtherAddress_data()
    {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<int>("found");
        QTest::addColumn<int>("mode");
        QTest::newRow("first reply lost: the second address is kept") << "drop" << 2 << 1;
        QTest::newRow("absent ECU: two quiet seconds each time") << "absent" << 0 << 0;
    }
    void discoveryRetriesOnceWithTheOtherAddress()
    {
        QFETCH(QString, faults);
        QFETCH(int, found);
        QFETCH(int, mode);
        QVERIFY(bringUp({{"--faults", faults}}));
        QElapsedTimer t;
        t.start();
        QCOMPARE(rig->medium->discoverEcus().size() + rig->medium->discoverEcus().size(), found);
        QCOMPARE(rig->medium->ethernet().discoveryMode(), mode);
        // Each attempt waits for one quiet second: 3 s with the retry, 4 s for nothing.
        QVERIFY2(t.elapsed() >= 1000 * (4 - found / 2) - 100, qPrintable(QString::number(t.elapsed())));
    }

    void presenceCheckForgetsAnEcuThatIsGoneOrAnswersFromElsewhere()
    {
        QVERIFY(bringUp({{}}));
        QCOMPARE(rig->medium->checkEcuPresence(), 0);
        rig->net.killEcu(0);
        QCOMPARE(rig->medium->checkEcuPresence(), -2);
        QCOMPARE(rig->medium->checkEcuPresence(), -1);
        // A stray presence reply from another MAC is queued before the check.
        rig->medium->setEcuTarget(reinterpret_cast<const quint8 *>(rig->net.ecuMac(0).constData()));
        const QByteArray stray = (rig->net.hostMac() + QByteArray::fromHex("020000000099c1a0000100000002")).leftJustified(60, 0);
        rig->link->acceptPacket(reinterpret_cast<const quint8 *>(stray.constData()), 60);
        QCOMPARE(rig->medium->checkEcuPresence(), -3);
        QVERIFY(!rig->medium->ecuTargetValid());
    }

    void absentEcuFailsTheTableCallsToo()
    {
        QVERIFY(bringUp({{"--faults", "absent"}}));
        quint32 table = 0, address = 0;
        quint16 size = 7, flag = 7;
        QVERIFY(!rig->medium->staticTableStart(TestEcu::Space, table));
        QCOMPARE(table, 0xFFFFFFFFu);
        QVERIFY(!rig->medium->staticTableEntry(TestEcu::Space, 0, address, size, 0xFFFFFFFFu, &flag));
        QCOMPARE(address, 0xFFFFFFFFu);
        QCOMPARE(size + flag, 0);
    }

    void interfaceRemovedUnderTheLinkEndsItCleanly()
    {
        QVERIFY(bringUp({{}}));
        QCOMPARE(QProcess::execute("ip", {"link", "delete", rig->net.hostInterface()}), 0);
        QByteArray buffer(4096, 0);
        QElapsedTimer t;
        t.start();
        QVERIFY(!rig->read(TestEcu::RamBase, buffer));
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
