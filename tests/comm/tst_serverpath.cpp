// The server path end to end: CommunicationMedium -> libLnkClientDll.so ->
// the communication server -> the simulated ECU, over loopback. The server
// runs as its own program, found running or started through the registry.
// The contract's connect finds the server running and would fail if it tried
// to start the registry's (nonexistent) program.

#include "communicationmedium.h"
#include "mediumcontract.h"
#include "registrykey.h"
#include "serverpresence.h"
#include "serverprocess.h"
#include "testecu.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

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

bool serverPathAvailable(QString *why)
{
    if (!QFile::exists(TestEcu::binDir() + QStringLiteral("/libLnkClientDll.so"))) {
        *why = QStringLiteral("libLnkClientDll.so is not built next to the tests");
        return false;
    }
    return true;
}
} // namespace

// The contract runs against the server program, so a killed ECU is a
// killed process.
class ServerMediumContract : public MediumContract
{
    Q_OBJECT
    QTemporaryDir m_dir;
    EcuServerProcess *m_server = nullptr;
    qint64 m_pid = 0;
    bool m_ethernet = false;
    EthernetLink *m_link = nullptr;
    CommunicationMedium *m_medium = nullptr;

protected:
    bool isEthernet() const override { return false; }
    QString unavailableReason() override
    {
        QString why;
        return serverPathAvailable(&why) ? QString() : why;
    }
    bool startEcu(QString *error) override
    {
        m_server = new EcuServerProcess;
        if (!m_server->start({}, error))
            return false;
        m_pid = m_server->pid();
        writeRegistry(m_dir, QStringLiteral("/nonexistent/server"), m_server->className(), m_server->windowName());
        m_medium = new CommunicationMedium(&m_ethernet, &m_link);
        return m_medium->connect(QStringLiteral("Brisca"), QStringLiteral("127.0.0.1"), m_server->port(),
                                 TestEcu::Space);
    }
    void stopEcu() override
    {
        if (m_medium) {
            m_medium->unlock();
            m_medium->disconnect();
        }
        delete m_medium;
        m_medium = nullptr;
        delete m_server;
        m_server = nullptr;
    }
    CommunicationMedium *medium() override { return m_medium; }
    bool control(const QByteArray &line, QByteArray *answer) override { return m_server->command(line, answer); }
    void killEcu() override { ::kill(pid_t(m_pid), SIGKILL); }
};

class TestServerPath : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    bool ethernet = false;
    EthernetLink *link = nullptr;
    CommunicationMedium *medium = nullptr;

    // A server program started through the registry, found again by its pid.
    QString startScript(quint16 port, const QString &body = QString())
    {
        const QString script = dir.filePath(QStringLiteral("server.sh"));
        QFile f(script);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(QStringLiteral("#!/bin/sh\necho $$ >> %1\n").arg(dir.filePath(QStringLiteral("starts"))).toLocal8Bit());
        f.write((body.isEmpty() ? QStringLiteral("exec %1/brisca-ecu-server --port %2 --listen 127.0.0.1 "
                                                 "--description %3\n").arg(TestEcu::binDir()).arg(port).arg(TestEcu::jsonFile())
                                : body).toLocal8Bit());
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
        for (qint64 pid : starts())
            ::kill(pid_t(pid), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!Platform::isServerRunning(kClass, kWindow, 100), 5000);
    }

    void killedServerLeavesNoStaleSocketBehind()
    {
        EcuServerProcess server;
        QString error;
        QVERIFY2(server.start({}, &error), qPrintable(error));
        writeRegistry(dir, QStringLiteral("/nonexistent/server"), server.className(), server.windowName());
        medium = new CommunicationMedium(&ethernet, &link);
        QVERIFY(medium->connect(QStringLiteral("Brisca"), QStringLiteral("127.0.0.1"), server.port(), TestEcu::Space));
        server.kill(); // no chance to remove its socket
        QVERIFY(!Platform::isServerRunning(server.className(), server.windowName()));
        QByteArray buffer(16, 0);
        QElapsedTimer t;
        t.start();
        QVERIFY(!medium->readMemory(TestEcu::Space, TestEcu::RamBase, reinterpret_cast<quint8 *>(buffer.data()), 16));
        QVERIFY(t.elapsed() < 1000);
        QVERIFY2(server.start({}, &error), "a stale socket blocked the restart");
        QVERIFY(Platform::isServerRunning(server.className(), server.windowName()));
    }

    // The medium starts a local server through the registry and waits up to 5 s for it.
    void startedServerIsWaitedForFiveSeconds_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("script"); // %1 the program, %2 the port, %3 the ECU
        QTest::addColumn<bool>("connects");
        QTest::addColumn<int>("started");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        const QString exec = "exec %1 --port %2 --listen 127.0.0.1 --description %3\n";
        QTest::newRow("up after 3 s: waited for") << "127.0.0.1" << "sleep 3\n" + exec << true << 1 << 2900 << 4900;
        QTest::newRow("never up: given up after 5 s") << "127.0.0.1" << "exec sleep 30\n" << false << 1 << 4900 << 7000;
        // 127.0.0.2 is this machine too, but not the address that means "local".
        QTest::newRow("remote server is never started") << "127.0.0.2" << exec << false << 0 << 0 << 8000;
    }
    void startedServerIsWaitedForFiveSeconds()
    {
        QFETCH(QString, host);
        QFETCH(QString, script);
        QFETCH(bool, connects);
        QFETCH(int, started);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        const quint16 port = freePort();
        const QString body = script.contains("%1") ? script.arg(TestEcu::binDir() + "/brisca-ecu-server").arg(port).arg(TestEcu::jsonFile()) : script;
        writeRegistry(dir, startScript(port, body));
        medium = new CommunicationMedium(&ethernet, &link);
        QElapsedTimer t;
        t.start();
        QCOMPARE(medium->connect(QStringLiteral("Brisca"), host, port, TestEcu::Space), connects);
        QVERIFY2(t.elapsed() >= minMs && t.elapsed() < maxMs, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(starts().size(), started);
        if (!connects)
            return;
        // Now running: a new connection starts no second process.
        medium->disconnect();
        delete medium;
        medium = new CommunicationMedium(&ethernet, &link);
        QVERIFY(medium->connect(QStringLiteral("Brisca"), host, port, TestEcu::Space));
        QCOMPARE(starts().size(), 1);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    signal(SIGPIPE, SIG_IGN);
    qputenv("BRISCA_LNK_TIMEOUT_MS", "400"); // a lost reply costs 400 ms, not 5 s
    ServerMediumContract contract;
    TestServerPath path;
    return MediumContract::runSuites({&contract, &path}, argc, argv);
}

#include "tst_serverpath.moc"
