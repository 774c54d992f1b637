#pragma once
// Test harness for the raw Ethernet path: a private network namespace with a
// veth pair, the simulated ECU (brisca-ecu-eth-sim) serving on the namespace's
// end, and the other end left in the test's namespace for the code under test.
//
//     QString why = EcuNetwork::unavailableReason();
//     if (!why.isEmpty())
//         QSKIP(qPrintable(why));                  // not root, no ip(8), ...
//     EcuNetwork net;
//     QVERIFY2(net.setUp(&error), qPrintable(error));
//     int ecu = net.startEcu({"--faults", "drop@2"}); // waits until it listens
//     // open net.hostInterface() (pcap device name) with net.hostMac();
//     // the ECU answers as net.ecuMac(ecu) (default 02:00:00:00:00:01, :02, ...)
//     net.command(ecu, "faults late=300");          // change it while it runs
//     net.killEcu(ecu);                              // ECU dies mid-transfer
//
// The destructor stops every ECU and deletes the namespace, which takes the
// veth pair with it, whether the test passed or not. Names carry the process
// id, and setUp first removes what a crashed earlier run left behind.
// Several ECUs may run in one namespace (discovery with several replies).
// Without an explicit --description the ECU loads the test description of
// testecu.h. Control lines: see EcuEthernetFrontEnd::handleCommand.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QProcess;

class EcuNetwork
{
public:
    static QString unavailableReason();
    static QString simulatorPath();

    EcuNetwork();
    ~EcuNetwork();
    EcuNetwork(const EcuNetwork &) = delete;
    EcuNetwork &operator=(const EcuNetwork &) = delete;

    bool setUp(QString *error = nullptr);
    void tearDown();

    QString hostInterface() const { return m_hostIf; }
    QByteArray hostMac() const { return m_hostMac; }
    QString namespaceName() const { return m_ns; }
    QString ecuInterface() const { return m_ecuIf; }

    // Returns the ECU's index, or -1 with *error set. An empty mac gives
    // 02:00:00:00:00:<index+1>.
    int startEcu(const QStringList &args = {}, const QByteArray &mac = {}, QString *error = nullptr);
    QByteArray ecuMac(int index) const;
    // Sends one control line and waits (2 s) for its answer; true on "ok"
    // (with "peek ADDR N" the answer is "ok " and the bytes in hex).
    bool command(int index, const QByteArray &line, QByteArray *answer = nullptr);
    void stopEcu(int index);
    void killEcu(int index);
    bool ecuRunning(int index) const;

    // "aa:bb:cc:dd:ee:ff" <-> 6 bytes.
    static QByteArray macFromText(const QString &text);
    static QString macText(const QByteArray &mac);

private:
    struct Ecu
    {
        QProcess *process = nullptr;
        QByteArray mac;
    };
    static bool ip(const QStringList &args, QString *error = nullptr);
    static void removeStale();

    QString m_ns;
    QString m_hostIf;
    QString m_ecuIf;
    QByteArray m_hostMac;
    QList<Ecu> m_ecus;
    bool m_up = false;
};
