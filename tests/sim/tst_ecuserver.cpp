// The server path: LnkClientDll -> brisca-ecu-server -> simulator. The
// server runs in a thread of the test (so its simulator's memory can be
// compared) or as its own process (start, stop, "already running").

#include "lnkclientdll.h"
#include "lnkconnection.h"
#include "platform/serverpresence.h"
#include "serverprocess.h"
#include "serverthread.h"

#include <QElapsedTimer>
#include <QLibrary>
#include <QTcpSocket>
#include <QtTest>

using TestEcu::pattern;

class TestEcuServer : public QObject
{
    Q_OBJECT
    ServerOnThread m_server;
    EcuSimulator *m_sim = nullptr;

private slots:
    void initTestCase()
    {
        qputenv("BRISCA_LNK_TIMEOUT_MS", "400");
        QVERIFY(m_server.start(QString(), QStringLiteral("bench,10.0.0.5;pit,10.0.0.6,x")));
        m_sim = m_server.sim.get();
        QVERIFY(lnkObj_openCommunication("127.0.0.1", m_server.port));
    }
    void cleanupTestCase() { lnkObj_closeCommunication(); }
    void init()
    {
        if (m_sim) {
            m_sim->setFaults(FaultPlan());
            m_sim->freezeTime(0);
        }
    }

    void everyEntryPointResolvesByName()
    {
        // Where the application loads it from: next to the programs.
        QLibrary lib(QCoreApplication::applicationDirPath() + QStringLiteral("/LnkClientDll"));
        QVERIFY2(lib.load(), qPrintable(lib.errorString()));
        for (const char *name :
             {"lnkObj_openCommunication", "lnkObj_closeCommunication", "lnkObj_isConnected", "lnkObj_GetID",
              "lnkObj_SetLock", "lnkObj_SetUnlock", "lnkObj_IsMyTurn", "lnkObj_enableFiskCAN", "lnkObj_disableFiskCAN",
              "lnkObj_setSpacingTransmissionTime", "lnkObj_interfaceIsPresent", "lnkObj_setCANInterfaceParameters",
              "lnkObj_getStaticTableStartAddress", "lnkObj_SetDatumToStaticTableIndex",
              "lnkObj_GetEntireDatumFromStaticTableIndex", "lnkObj_GetRealAddressFromStaticTableIndex",
              "lnkObj_ReadBuffer", "lnkObj_letturaDatiConsistentiFinestreAttiveWithMaskCan",
              "lnkObj_letturaBloccoMemoriaECU", "lnkObj_WriteBufferPV1", "lnkObj_listaServerRemotiAttivi",
              "lnkObj_setCommIntefaceSettingsWithExtID"})
            QVERIFY2(lib.resolve(name), name);
    }

    void registrationAndConnectionState()
    {
        QVERIFY(lnkObj_isConnected());
        uint8_t id = 0;
        QVERIFY(lnkObj_GetID("Brisca", &id));
        QVERIFY(id != 0);
        QVERIFY(lnkObj_interfaceIsPresent());
        // A second connection gets another identifier.
        LnkConnection other;
        QVERIFY(other.open("127.0.0.1", m_server.port));
        std::string params, r;
        LnkWire::put16(params, 5);
        params += "other";
        QVERIFY(other.call(LnkWire::Register, params, &r));
        QCOMPARE(int(r.size()), 1);
        QVERIFY(uint8_t(r[0]) != id);
    }

    void readsMatchSimulatorMemory_data()
    {
        QTest::addColumn<quint32>("address");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("block");
        QTest::newRow("id string, table and variables") << TestEcu::IdStringAddress << 0x2000 << false;
        QTest::newRow("block read of 300000") << TestEcu::RamBase << 300000 << true;
        QTest::newRow("past the client's split") << TestEcu::RamBase << int(LnkWire::MaxRead) + 5 << true;
    }

    void readsMatchSimulatorMemory()
    {
        QFETCH(quint32, address);
        QFETCH(int, length);
        QFETCH(bool, block);
        m_sim->poke(TestEcu::Space, TestEcu::RamBase + 0x80000, pattern(400000, 3));
        QByteArray got(length, '\xEE');
        auto *dst = reinterpret_cast<uint8_t *>(got.data());
        if (block)
            QVERIFY(lnkObj_letturaBloccoMemoriaECU(TestEcu::Space, address, quint32(length), 0xFFFF, dst));
        else
            QVERIFY(lnkObj_ReadBuffer(TestEcu::Space, address, quint32(length), 1, dst));
        QCOMPARE(got, m_sim->read(TestEcu::Space, address, quint32(length)));
        QVERIFY(!lnkObj_ReadBuffer(TestEcu::Space + 1, address, 1, 1, dst));
        QVERIFY(!lnkObj_ReadBuffer(TestEcu::Space, address, 0, 1, dst));
    }

    // The client reads the blocks of a walk ahead: a lost or repeated reply
    // fails only its own block, and no reply read ahead answers a later one.
    void blockWalkReadAhead_data()
    {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<int>("failing");
        QTest::newRow("clean") << "none" << -1;
        QTest::newRow("reply of a block read ahead dropped") << "drop@5" << 5;
        QTest::newRow("reply of a block read ahead duplicated") << "dup@5" << -1;
    }
    void blockWalkReadAhead()
    {
        QFETCH(QString, faults);
        QFETCH(int, failing);
        const quint32 block = 1024, base = TestEcu::RamBase + 0xE8000;
        m_sim->poke(TestEcu::Space, base, pattern(32 * block, 7));
        QVERIFY(m_sim->setFaults(faults));
        QByteArray got(int(block), '\0');
        auto *dst = reinterpret_cast<uint8_t *>(got.data());
        for (quint32 i = 0; i < 16; ++i) {
            got.fill('\0');
            const bool ok = lnkObj_letturaBloccoMemoriaECU(TestEcu::Space, base + i * block, block, 0, dst);
            QCOMPARE(ok, int(i) != failing);
            if (ok)
                QCOMPARE(got, m_sim->read(TestEcu::Space, base + i * block, block));
        }
        // A write by this client between two blocks is seen by the next one.
        QVERIFY(lnkObj_WriteBufferPV1(TestEcu::Space, base + 16 * block, reinterpret_cast<const uint8_t *>("mine"), 4, 1));
        QVERIFY(lnkObj_letturaBloccoMemoriaECU(TestEcu::Space, base + 16 * block, block, 0, dst));
        QCOMPARE(got.left(4), QByteArray("mine"));
        QVERIFY(lnkObj_ReadBuffer(TestEcu::Space, base + 17 * block, block, 1, dst));
        QCOMPARE(got, m_sim->read(TestEcu::Space, base + 17 * block, block));
    }

    void writesLandInSimulatorMemory()
    {
        const QByteArray data = pattern(70001, 9);
        QVERIFY(lnkObj_WriteBufferPV1(TestEcu::Space, TestEcu::ScratchAddress + 1,
                                      reinterpret_cast<const uint8_t *>(data.constData()), quint32(data.size()), 1));
        QCOMPARE(m_sim->peek(TestEcu::Space, TestEcu::ScratchAddress, 70003),
                 QByteArray(1, '\0') + data + QByteArray(1, '\0'));
        QVERIFY(!lnkObj_WriteBufferPV1(TestEcu::Space, TestEcu::ScratchAddress, nullptr, 4, 1));

        // Several variables in one request, in the order asked.
        m_sim->freezeTime(12345);
        const uint32_t addresses[] = {0x40002008, 0x40002000};
        const uint32_t sizes[] = {1, 2};
        uint8_t out[3] = {};
        QVERIFY(lnkObj_letturaDatiConsistentiFinestreAttiveWithMaskCan(TestEcu::Space, addresses, sizes, 2, out, 0));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(out), 3), QByteArray::fromHex("EC04D2"));
    }

    void staticTableThroughTheServer()
    {
        uint32_t table = 0;
        QVERIFY(lnkObj_getStaticTableStartAddress(TestEcu::Space, 1, &table, 1));
        QCOMPARE(table, TestEcu::StaticTable);
        QVERIFY(!lnkObj_getStaticTableStartAddress(TestEcu::Space + 1, 1, &table, 1));
        QCOMPARE(table, 0xFFFFFFFFu);
        // The used entries are read through the medium in the server path test.
        // Entry 2 is unused; the flag bit comes from bit 7 of the fifth byte.
        uint32_t address = 1;
        uint16_t flag = 0, size = 0;
        QVERIFY(!lnkObj_GetRealAddressFromStaticTableIndex(TestEcu::Space, TestEcu::StaticTable, 2, 1, 0, &address, &flag,
                                                           &size));
        QCOMPARE(address, 0u);
        const uint8_t entry[6] = {0x40, 0x00, 0x30, 0x00, 0x84, 0x00};
        QVERIFY(lnkObj_SetDatumToStaticTableIndex(TestEcu::Space, TestEcu::StaticTable, 2, entry));
        QCOMPARE(m_sim->peek(TestEcu::Space, TestEcu::StaticTable + 12, 6), QByteArray::fromHex("400030008400"));
        QVERIFY(lnkObj_GetRealAddressFromStaticTableIndex(TestEcu::Space, 0xFFFFFFFF, 2, 1, 0, &address, &flag, &size));
        QCOMPARE(address, 0x40003000u);
        QCOMPARE(flag, uint16_t(1));
        QCOMPARE(size, uint16_t(4));
        uint8_t back[6] = {};
        QVERIFY(lnkObj_GetEntireDatumFromStaticTableIndex(TestEcu::Space, TestEcu::StaticTable, 2, back));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(back), 6), QByteArray::fromHex("400030008400"));
        m_sim->poke(TestEcu::Space, TestEcu::StaticTable + 12, QByteArray(6, '\0'));
    }

    void lockIsGrantedInRequestOrder()
    {
        LnkConnection a, b, c;
        QVERIFY(a.open("127.0.0.1", m_server.port) && b.open("127.0.0.1", m_server.port)
                && c.open("127.0.0.1", m_server.port));
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

    void faultsGiveFailedCallsNotHangs_data()
    {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<bool>("readOk");
        QTest::newRow("absent") << "absent" << false;
        QTest::newRow("refused region") << "refuse=0x40000010+4" << false;
        QTest::newRow("reply dropped") << "drop" << false;
        QTest::newRow("reply duplicated") << "dup" << true;
        QTest::newRow("reply truncated") << "trunc=3" << false;
        QTest::newRow("reply late within the timeout") << "late=150" << true;
        QTest::newRow("reply later than the timeout") << "late=700x1" << false;
    }

    void faultsGiveFailedCallsNotHangs()
    {
        QFETCH(QString, faults);
        QFETCH(bool, readOk);
        QVERIFY(m_sim->setFaults(faults));
        uint8_t buf[32];
        QElapsedTimer t;
        t.start();
        QCOMPARE(lnkObj_ReadBuffer(TestEcu::Space, TestEcu::RamBase, 32, 1, buf), readOk);
        QVERIFY(t.elapsed() < 2000);
        if (faults == QLatin1String("absent"))
            QVERIFY(!lnkObj_interfaceIsPresent());
        // After the fault the connection still serves, stale replies are skipped.
        m_sim->setFaults(FaultPlan());
        if (faults.startsWith(QLatin1String("late")))
            QThread::msleep(800);
        m_sim->poke(TestEcu::Space, TestEcu::RamBase, QByteArray("fresh"));
        QVERIFY(lnkObj_isConnected());
        QVERIFY(lnkObj_ReadBuffer(TestEcu::Space, TestEcu::RamBase, 5, 1, buf));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(buf), 5), QByteArray("fresh"));
    }

    void remoteServersAndCanParameters()
    {
        uint32_t count = 0;
        QCOMPARE(QByteArray(lnkObj_listaServerRemotiAttivi(&count)), QByteArray("bench,10.0.0.5;pit,10.0.0.6,x"));
        QCOMPARE(count, 2u);
        uint8_t result = 9, scratch = 9;
        lnkObj_setCANInterfaceParameters(0x610, 0, 1000000, &result);
        QCOMPARE(result, uint8_t(1));
        lnkObj_setCANInterfaceParameters(0, 0, 1000000, &result);
        QCOMPARE(result, uint8_t(0));
        lnkObj_setCommIntefaceSettingsWithExtID(0x610, 0, 0, &result, 1, &scratch, 0, 0);
        QCOMPARE(result, uint8_t(0));
        QCOMPARE(scratch, uint8_t(0));
        lnkObj_setSpacingTransmissionTime(1000);
        lnkObj_enableFiskCAN();
        lnkObj_disableFiskCAN();
        QVERIFY(lnkObj_isConnected());
    }

    void foreignTrafficIsCutOffAndOthersGoOn()
    {
        QTcpSocket junk;
        junk.connectToHost(QHostAddress::LocalHost, m_server.port);
        QVERIFY(junk.waitForConnected(2000));
        junk.write("GET / HTTP/1.0\r\n\r\n");
        QVERIFY(junk.waitForDisconnected(2000));
        // A body shorter than op and sequence is refused the same way.
        QTcpSocket shortBody;
        shortBody.connectToHost(QHostAddress::LocalHost, m_server.port);
        QVERIFY(shortBody.waitForConnected(2000));
        shortBody.write(QByteArray::fromHex("00000001 02"));
        QVERIFY(shortBody.waitForDisconnected(2000));
        QVERIFY(lnkObj_isConnected());
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

    // poke, peek and faults lines are what the server contract in
    // test_comm_server_path drives the program with.
    void processTakesItsOptionsAndRefusesBadControlLines()
    {
        EcuServerProcess server;
        QVERIFY(server.start({"--remote-servers", "bench,10.0.0.5"}));
        LnkConnection c;
        QVERIFY(c.open("127.0.0.1", server.port()));
        QByteArray answer;
        QVERIFY(!server.command("faults explode", &answer));
        QVERIFY(answer.startsWith("error:"));
        std::string r;
        QVERIFY(c.call(LnkWire::ListServers, {}, &r));
        QCOMPARE(QByteArray::fromStdString(r), QByteArray("\0\0\0\1bench,10.0.0.5", 18));
        QVERIFY(server.stop());
    }
};

QTEST_GUILESS_MAIN(TestEcuServer)
#include "tst_ecuserver.moc"
