// The server path end to end: CommunicationMedium -> libLnkClientDll.so ->
// the communication server -> the simulated ECU, over loopback. The server
// runs in a thread of this process (so the ECU's memory can be compared
// directly), or as its own program when the medium has to start it.

#include "communicationmedium.h"
#include "ecuserver.h"
#include "lnkconnection.h"
#include "mediumcontract.h"
#include "registrykey.h"
#include "serverpresence.h"
#include "serverprocess.h"
#include "sim/ecudescription.h"
#include "sim/ecusimulator.h"
#include "testecu.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <memory>

namespace {
const QString kClass = QStringLiteral("BriscaCommTest%1").arg(QCoreApplication::applicationPid());
const QString kWindow = QStringLiteral("Server");

// The registry key the medium reads, in a file of the test's own.
void writeRegistry(const QTemporaryDir &dir, const QString &program, const QString &className = kClass,
                   const QString &windowName = kWindow)
{
    const QString path = dir.filePath(QStringLiteral("registry.ini"));
    TestFiles::writeAll(path, QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\nFileName = %1\n"
                                             "Class = %2\nWinName = %3\n")
                                  .arg(program, className, windowName)
                                  .toLocal8Bit());
    RegistryKey::setStorePath(path);
    qputenv("BRISCA_REGISTRY_FILE", path.toLocal8Bit()); // for a server the medium starts
}

// A server with its simulated ECU on a thread of its own.
class ServerHost
{
public:
    ~ServerHost() { stop(); }

    bool start(QString *error)
    {
        SimDescription description;
        if (!parseSimDescription(TestEcu::json(), description, error))
            return false;
        sim = std::make_unique<EcuSimulator>(description);
        m_thread.start();
        server = new EcuServer(*sim);
        server->moveToThread(&m_thread);
        bool ok = false;
        QMetaObject::invokeMethod(
            server,
            [&] {
                ok = server->listen(QHostAddress::LocalHost, 0, Platform::serverSocketName(kClass, kWindow), error);
                port = server->port();
            },
            Qt::BlockingQueuedConnection);
        return ok;
    }
    void stop()
    {
        if (server) {
            QMetaObject::invokeMethod(server, [s = server] { delete s; }, Qt::BlockingQueuedConnection);
            server = nullptr;
        }
        m_thread.quit();
        m_thread.wait();
        sim.reset();
    }
    // From any thread: every client loses its connection, nobody answers.
    void kill()
    {
        if (server)
            QMetaObject::invokeMethod(server, [s = server] { s->close(); }, Qt::QueuedConnection);
    }
    QList<quint8> lockQueue()
    {
        QList<quint8> q;
        QMetaObject::invokeMethod(server, [&] { q = server->lockQueue(); }, Qt::BlockingQueuedConnection);
        return q;
    }
    int clients()
    {
        int n = 0;
        QMetaObject::invokeMethod(server, [&] { n = server->clientCount(); }, Qt::BlockingQueuedConnection);
        return n;
    }

    std::unique_ptr<EcuSimulator> sim;
    EcuServer *server = nullptr;
    quint16 port = 0;

private:
    QThread m_thread;
};

// That server with a medium connected to it.
struct ServerRig
{
    ServerHost host;
    bool ethernet = false;
    EthernetLink *link = nullptr;
    std::unique_ptr<CommunicationMedium> medium;

    ~ServerRig()
    {
        if (medium) {
            medium->unlock();
            medium->disconnect();
        }
    }
    bool up(const QTemporaryDir &dir, QString *error)
    {
        writeRegistry(dir, QStringLiteral("/nonexistent/server"));
        if (!host.start(error))
            return false;
        medium = std::make_unique<CommunicationMedium>(&ethernet, &link);
        if (!medium->libraryUsable()) {
            *error = medium->libraryError();
            return false;
        }
        if (!medium->connect(QStringLiteral("Brisca"), QStringLiteral("127.0.0.1"), host.port, TestEcu::Space)) {
            *error = QStringLiteral("cannot connect to the server on port %1").arg(host.port);
            return false;
        }
        return true;
    }
};

bool serverPathAvailable(QString *why)
{
    if (!QFile::exists(TestEcu::binDir() + QStringLiteral("/libLnkClientDll.so"))) {
        *why = QStringLiteral("libLnkClientDll.so is not built next to the tests");
        return false;
    }
    return true;
}
} // namespace

class ServerMediumContract : public MediumContract
{
    Q_OBJECT
    QTemporaryDir m_dir;
    ServerRig *m_rig = nullptr;

protected:
    QString unavailableReason() override
    {
        QString why;
        return serverPathAvailable(&why) ? QString() : why;
    }
    bool startEcu(QString *error) override
    {
        m_rig = new ServerRig;
        return m_rig->up(m_dir, error);
    }
    void stopEcu() override
    {
        delete m_rig;
        m_rig = nullptr;
    }
    bool ecuRunning() override { return m_rig && m_rig->host.server; }
    CommunicationMedium *medium() override { return m_rig->medium.get(); }
    bool pokeEcu(quint32 address, const QByteArray &bytes) override
    {
        m_rig->host.sim->poke(TestEcu::Space, address, bytes);
        return true;
    }
    QByteArray peekEcu(quint32 address, quint32 length) override
    {
        return m_rig->host.sim->peek(TestEcu::Space, address, length);
    }
    bool setFaults(const QString &plan) override { return m_rig->host.sim->setFaults(plan); }
    void killEcu() override { m_rig->host.kill(); }
};

class TestServerPath : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    ServerRig *rig = nullptr;
    bool ethernet = false;
    EthernetLink *link = nullptr;
    CommunicationMedium *medium = nullptr;

    static std::string registration(const char *name)
    {
        const size_t n = strlen(name);
        return std::string{char(n >> 8), char(n)} + name;
    }
    // A server program started through the registry, found again by its pid.
    QString startScript(quint16 port, const QString &body = QString())
    {
        const QString script = dir.filePath(QStringLiteral("server.sh"));
        QFile f(script);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(QStringLiteral("#!/bin/sh\necho $$ >> %1\n").arg(dir.filePath(QStringLiteral("starts"))).toLocal8Bit());
        if (body.isEmpty())
            f.write(QStringLiteral("exec %1/brisca-ecu-server --port %2 --listen 127.0.0.1 --description %3\n")
                        .arg(TestEcu::binDir())
                        .arg(port)
                        .arg(TestEcu::jsonFile())
                        .toLocal8Bit());
        else
            f.write(body.toLocal8Bit());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script;
    }
    QList<qint64> starts()
    {
        QList<qint64> pids;
        for (const QByteArray &line : TestFiles::readAll(dir.filePath(QStringLiteral("starts"))).split('\n'))
            if (!line.trimmed().isEmpty())
                pids << line.trimmed().toLongLong();
        return pids;
    }
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

private slots:
    void init()
    {
        QString why;
        if (!serverPathAvailable(&why))
            QSKIP(qPrintable(why));
        QFile::remove(dir.filePath(QStringLiteral("starts")));
    }
    void cleanup()
    {
        if (medium) {
            medium->unlock();
            medium->disconnect();
        }
        delete medium;
        medium = nullptr;
        delete rig;
        rig = nullptr;
        for (qint64 pid : starts())
            ::kill(pid_t(pid), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!Platform::isServerRunning(kClass, kWindow, 100), 5000);
    }

    bool startRig()
    {
        rig = new ServerRig;
        QString error;
        if (!rig->up(dir, &error))
            qWarning("%s", qPrintable(error));
        return rig->medium && rig->medium->isConnected();
    }

    void connectRegistersOneClient()
    {
        QVERIFY(startRig());
        CommunicationMedium *medium = rig->medium.get();
        QVERIFY(medium->serverRegistered());
        QCOMPARE(rig->host.clients(), 1);
        QVERIFY(medium->interfaceIsPresent());
        quint8 ext = 0;
        QVERIFY(medium->setCanParameters(TestEcu::ToEcuAppCanId, 0, 1000000, ext));
        medium->disconnect();
        QVERIFY(!medium->isConnected());
        QVERIFY(starts().isEmpty()); // the server answered: nothing was started
    }

    void lockIsHandedBetweenClientsInRequestOrder()
    {
        QVERIFY(startRig());
        CommunicationMedium *medium = rig->medium.get();
        ServerHost *host = &rig->host;
        LnkConnection other;
        QVERIFY(other.open("127.0.0.1", host->port));
        QVERIFY(other.call(LnkWire::Register, registration("Other")));

        // We hold the lock; the other client queues behind us.
        QVERIFY(medium->lock(1000));
        QVERIFY(other.call(LnkWire::Lock, std::string()));
        QVERIFY(!other.call(LnkWire::IsMyTurn, std::string()));
        medium->unlock();
        QVERIFY(other.call(LnkWire::IsMyTurn, std::string()));

        // Now the other one holds it: our request times out and is withdrawn.
        QElapsedTimer t;
        t.start();
        QVERIFY(!medium->lock(300));
        QVERIFY(t.elapsed() >= 300);
        QVERIFY(!medium->isLocked());
        QCOMPARE(host->lockQueue().size(), 1);

        // The second client waits until the first lets go.
        QThread *release = QThread::create([&other] {
            QThread::msleep(200);
            other.call(LnkWire::Unlock, std::string());
        });
        release->start();
        t.restart();
        QVERIFY(medium->lock(5000));
        QVERIFY(t.elapsed() >= 150);
        release->wait();
        delete release;
        QCOMPARE(host->lockQueue().size(), 1);
        // Memory access works while we hold it.
        QByteArray id(int(TestEcu::IdStringSize), 0);
        QVERIFY(medium->readMemory(TestEcu::Space, TestEcu::IdStringAddress, reinterpret_cast<quint8 *>(id.data()),
                                   TestEcu::IdStringSize));
        QVERIFY(id.startsWith(TestEcu::IdString));
    }

    void localServerIsStartedOnceFromTheRegistry()
    {
        const quint16 port = freePort();
        writeRegistry(dir, startScript(port));
        QVERIFY(!Platform::isServerRunning(kClass, kWindow, 100));
        medium = new CommunicationMedium(&ethernet, &link);
        QCOMPARE(medium->serverProgram(), dir.filePath(QStringLiteral("server.sh")));
        QVERIFY(medium->connect(QStringLiteral("Brisca"), QStringLiteral("127.0.0.1"), port, TestEcu::Space));
        QCOMPARE(starts().size(), 1);
        QVERIFY(Platform::isServerRunning(kClass, kWindow, 500));
        quint32 table = 0;
        QVERIFY(medium->staticTableStart(TestEcu::Space, table));
        QCOMPARE(table, TestEcu::StaticTable);

        // Already running: a new connection starts no second process.
        medium->disconnect();
        delete medium;
        medium = new CommunicationMedium(&ethernet, &link);
        QVERIFY(medium->connect(QStringLiteral("Brisca"), QStringLiteral("127.0.0.1"), port, TestEcu::Space));
        QCOMPARE(starts().size(), 1);
    }

    void serverThatNeverComesUpFailsTheConnection()
    {
        writeRegistry(dir, startScript(freePort(), QStringLiteral("exit 1\n")));
        medium = new CommunicationMedium(&ethernet, &link);
        QElapsedTimer t;
        t.start();
        QVERIFY(!medium->connect(QStringLiteral("Brisca"), QStringLiteral("127.0.0.1"), 1, TestEcu::Space));
        QVERIFY(t.elapsed() < 8000);
        QCOMPARE(starts().size(), 1);
    }

    void remoteServerIsNeverStarted()
    {
        writeRegistry(dir, startScript(freePort()));
        medium = new CommunicationMedium(&ethernet, &link);
        // 127.0.0.2 is this machine too, but not the address that means "local".
        QVERIFY(!medium->connect(QStringLiteral("Brisca"), QStringLiteral("127.0.0.2"), 1, TestEcu::Space));
        QVERIFY(starts().isEmpty());
    }

    void serverProcessKilledMidTransferFailsTheRead()
    {
        EcuServerProcess server;
        QString error;
        QVERIFY2(server.start({}, &error), qPrintable(error));
        writeRegistry(dir, QStringLiteral("/nonexistent/server"), server.className(), server.windowName());
        medium = new CommunicationMedium(&ethernet, &link);
        QVERIFY(medium->connect(QStringLiteral("Brisca"), QStringLiteral("127.0.0.1"), server.port(), TestEcu::Space));
        QVERIFY(medium->lock(2000));
        const qint64 pid = server.pid();
        QThread *killer = QThread::create([pid] {
            QThread::msleep(20);
            ::kill(pid_t(pid), SIGKILL);
        });
        QByteArray buffer(256 << 20, 0);
        killer->start();
        QElapsedTimer t;
        t.start();
        const bool ok = medium->readMemory(TestEcu::Space, TestEcu::RamBase, reinterpret_cast<quint8 *>(buffer.data()),
                                           quint32(buffer.size()));
        killer->wait();
        delete killer;
        QVERIFY(!ok);
        QVERIFY2(t.elapsed() < 15000, "a dead server must end the transfer, not hang it");
        QVERIFY(!medium->isConnected());
        medium->unlock();
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    signal(SIGPIPE, SIG_IGN);
    ServerMediumContract contract;
    TestServerPath path;
    return MediumContract::runSuites({&contract, &path}, argc, argv);
}

#include "tst_serverpath.moc"
