// The communication server stand-in on its own: lock queue, bad clients, a
// killed or doubled server. Reads, writes, the table and reply faults through
// the application's medium are in test_comm_server_path.

#include "lnkconnection.h"
#include "serverpresence.h"
#include "serverprocess.h"
#include "testecu.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest>

class TestEcuServer : public QObject
{
    Q_OBJECT
    EcuServerProcess m_server;

private slots:
    void initTestCase()
    {
        qputenv("BRISCA_LNK_TIMEOUT_MS", "400");
        QVERIFY(m_server.start({"--remote-servers", "bench,10.0.0.5"}));
    }

    void lockIsGrantedInRequestOrder()
    {
        LnkConnection a, b, c;
        QVERIFY(a.open("127.0.0.1", m_server.port()) && b.open("127.0.0.1", m_server.port())
                && c.open("127.0.0.1", m_server.port()));
        QVERIFY(!a.call(LnkWire::IsMyTurn, {})); // nothing asked yet
        QVERIFY(a.call(LnkWire::Lock, {}));
        QVERIFY(c.call(LnkWire::Lock, {}));
        QVERIFY(b.call(LnkWire::Lock, {}));
        QVERIFY(a.call(LnkWire::Lock, {})); // asking again keeps the place
        QVERIFY(a.call(LnkWire::IsMyTurn, {}));
        QVERIFY(!b.call(LnkWire::IsMyTurn, {}));
        QVERIFY(!c.call(LnkWire::IsMyTurn, {}));
        // Memory still answers the waiting clients one request at a time.
        std::string r;
        QVERIFY(c.call(LnkWire::Read, LnkWire::words32({TestEcu::Space, TestEcu::RamBase, 4, 0}), &r));
        QVERIFY(a.call(LnkWire::Unlock, {}));
        QVERIFY(c.call(LnkWire::IsMyTurn, {}));
        QVERIFY(!b.call(LnkWire::IsMyTurn, {}));
        c.close(); // a vanished holder leaves the queue
        for (int i = 0; i < 50 && !b.call(LnkWire::IsMyTurn, {}); ++i)
            QThread::msleep(10);
        QVERIFY(b.call(LnkWire::IsMyTurn, {}));
        QVERIFY(b.call(LnkWire::Unlock, {}));
    }

    void foreignTrafficIsCutOffAndOthersGoOn()
    {
        QTcpSocket junk;
        junk.connectToHost(QHostAddress::LocalHost, m_server.port());
        QVERIFY(junk.waitForConnected(2000));
        junk.write("GET / HTTP/1.0\r\n\r\n");
        QVERIFY(junk.waitForDisconnected(2000));
        // A body shorter than op and sequence is refused the same way.
        QTcpSocket shortBody;
        shortBody.connectToHost(QHostAddress::LocalHost, m_server.port());
        QVERIFY(shortBody.waitForConnected(2000));
        shortBody.write(QByteArray::fromHex("00000001 02"));
        QVERIFY(shortBody.waitForDisconnected(2000));
        LnkConnection c;
        QVERIFY(c.open("127.0.0.1", m_server.port()) && c.call(LnkWire::Ping, {}));
        // poke, peek and faults lines are what the server contract drives the program with.
        QByteArray answer;
        QVERIFY(!m_server.command("faults explode", &answer));
        QVERIFY(answer.startsWith("error:"));
        std::string r;
        QVERIFY(c.call(LnkWire::ListServers, {}, &r));
        QCOMPARE(QByteArray::fromStdString(r), QByteArray("\0\0\0\1bench,10.0.0.5", 18));
    }

    void killedServerIsNoticedAndItsStaleSocketDoesNotBlock()
    {
        EcuServerProcess server;
        QString error;
        QVERIFY2(server.start({}, &error), qPrintable(error));
        QVERIFY(server.stop()); // SIGTERM ends it normally
        QVERIFY(!Platform::isServerRunning(server.className(), server.windowName()));
        QVERIFY(server.start());
        LnkConnection c;
        QVERIFY(c.open("127.0.0.1", server.port()));
        QVERIFY(c.call(LnkWire::Ping, {}));
        server.kill(); // no chance to remove its socket
        QVERIFY(!Platform::isServerRunning(server.className(), server.windowName()));
        QElapsedTimer t;
        t.start();
        uint8_t buf[16];
        QVERIFY(!c.read(TestEcu::Space, TestEcu::RamBase, 16, 0, buf));
        QVERIFY(!c.isOpen());
        QVERIFY(t.elapsed() < 1000);
        QVERIFY(!c.open("127.0.0.1", server.port(), 200)); // refused, retried briefly, given up
        QVERIFY2(server.start({}, &error), "a stale socket blocked the restart");
        QVERIFY(Platform::isServerRunning(server.className(), server.windowName()));
        QVERIFY(server.stop());
    }

    void secondServerSeesTheFirstRunning()
    {
        EcuServerProcess first, second;
        QVERIFY(first.start({"--class", "Twice", "--winname", first.windowName()}));
        int code = -1;
        QVERIFY(!second.start({"--class", "Twice", "--winname", first.windowName()}, nullptr, &code));
        QCOMPARE(code, 3);
        // The first one was not disturbed.
        QVERIFY(Platform::isServerRunning(QStringLiteral("Twice"), first.windowName()));
        LnkConnection c;
        QVERIFY(c.open("127.0.0.1", first.port()));
        QVERIFY(c.call(LnkWire::Ping, {}));
        QVERIFY(first.stop());
    }
};

QTEST_GUILESS_MAIN(TestEcuServer)
#include "tst_ecuserver.moc"
