#pragma once
// Test harness for the raw Ethernet path: a private network namespace with a
// veth pair, the simulated ECU (brisca-ecu-eth-sim) serving on the namespace's
// end, and the other end left in the test's namespace for the code under test.
//
//     QString why = EcuNetwork::unavailableReason();   // not root, no ip(8), ...
//     EcuNetwork net;
//     QVERIFY2(net.setUp(&error), qPrintable(error));
//     int ecu = net.startEcu({"--faults", "drop@2"}); // waits until it listens
//     // open net.hostInterface() with net.hostMac(); the ECU answers as
//     // net.ecuMac(ecu) (02:00:00:00:00:01, :02, ...)
//     net.command(ecu, "faults late=300");          // control line, see ecuethernet.h
//
// The destructor stops every ECU and deletes the namespace, which takes the
// veth pair with it. Names carry the process id; setUp first removes what a
// crashed earlier run left behind. Without --description the ECU loads the
// test description of testecu.h.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QProcess;

class EcuNetwork
{
public:
    static QString unavailableReason();

    EcuNetwork();
    ~EcuNetwork();
    EcuNetwork(const EcuNetwork &) = delete;
    EcuNetwork &operator=(const EcuNetwork &) = delete;

    bool setUp(QString *error = nullptr);
    void tearDown();

    QString hostInterface() const { return m_hostIf; }
    QByteArray hostMac() const { return m_hostMac; }

    // Returns the ECU's index, or -1 with *error set.
    int startEcu(const QStringList &args = {}, QString *error = nullptr);
    QByteArray ecuMac(int index) const { return m_ecus.value(index).mac; }
    // Sends one control line and waits for its answer; true on "ok ...".
    bool command(int index, const QByteArray &line, QByteArray *answer = nullptr);
    void killEcu(int index);
    // Safe from any thread (a transfer may be running in the test's thread).
    void signalEcu(int index, int signal);

private:
    struct Ecu
    {
        QProcess *process = nullptr;
        QByteArray mac;
        qint64 pid = 0;
    };
    static bool ip(const QStringList &args, QString *error = nullptr);

    QString m_ns;
    QString m_hostIf;
    QString m_ecuIf;
    QByteArray m_hostMac;
    QList<Ecu> m_ecus;
    bool m_up = false;
};
