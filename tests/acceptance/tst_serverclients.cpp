// The application's medium against a server process shared with another
// program: a separate brisca-lnk-client process holds the lock.

#include "communicationmedium.h"
#include "registrykey.h"
#include "serverpresence.h"
#include "testecu.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>


class ServerClients : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QProcess server;
    quint16 port = 0;
    QString bin;
    QString cls;

private slots:
    void init()
    {
        bin = qEnvironmentVariable("BRISCA_BIN_DIR");
        if (!QFile::exists(bin + "/brisca-ecu-server") || !QFile::exists(bin + "/brisca-lnk-client"))
            QSKIP("brisca-ecu-server or brisca-lnk-client not built");
        cls = QStringLiteral("BriscaQa%1").arg(QCoreApplication::applicationPid());
        QFile reg(dir.filePath("registry.ini"));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\r\nFileName = /nonexistent\r\n"
                                 "Class = %1\r\nWinName = Qa\r\n").arg(cls).toLocal8Bit());
        reg.close();
        RegistryKey::setStorePath(reg.fileName());
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        server.start(bin + "/brisca-ecu-server",
                     {"--port", QString::number(port), "--listen", "127.0.0.1", "--description", TestEcu::jsonFile(),
                      "--class", cls, "--winname", "Qa"});
        QVERIFY(server.waitForReadyRead(5000));
    }

    void cleanup()
    {
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            if (!server.waitForFinished(5000))
                server.kill();
            server.waitForFinished(2000);
        }
        // A killed server cannot remove its socket file.
        if (!cls.isEmpty())
            QLocalServer::removeServer(Platform::serverSocketName(cls, QStringLiteral("Qa")));
    }

    void anotherProgramHoldingTheLockMakesTheMediumWait()
    {
        QProcess other;
        other.start(bin + "/brisca-lnk-client", {"--port", QString::number(port), "lock", "3"});
        QVERIFY(other.waitForReadyRead(5000)); // "lock held for 3 s"

        bool ethernet = false;
        EthernetLink *link = nullptr;
        CommunicationMedium medium(&ethernet, &link);
        QVERIFY(medium.connect("Brisca", "127.0.0.1", port, TestEcu::Space));
        QElapsedTimer t;
        t.start();
        QVERIFY(!medium.lock(500));
        QVERIFY2(t.elapsed() >= 400 && t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        // The refused request must not keep a place in the queue, and the
        // lock comes once the other program lets go.
        QVERIFY(medium.lock(8000));
        QVERIFY(other.waitForFinished(5000));
        QCOMPARE(other.exitCode(), 0);
        QByteArray buf(64, 0);
        QVERIFY(medium.readMemory(TestEcu::Space, TestEcu::IdStringAddress, reinterpret_cast<quint8 *>(buf.data()),
                                  quint32(buf.size())));
        QVERIFY(buf.startsWith(TestEcu::IdString));
        medium.unlock();
        medium.disconnect();
    }
};

QTEST_GUILESS_MAIN(ServerClients)
#include "tst_serverclients.moc"
