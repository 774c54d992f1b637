// The medium's own logic on the server side (chunking, lock, CAN parameters,
// static table, statistics) against a client library that records its calls.

#include "communicationmedium.h"
#include "progresssink.h"
#include "registrykey.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QTemporaryDir>
#include <QTest>

namespace {
QString fakeLibrary(const char *name) { return QStringLiteral(FAKE_LIB_DIR "/lib%1.so").arg(QLatin1String(name)); }
} // namespace

class TestCommunicationMedium : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QLibrary *m_control = nullptr;
    bool m_ethernet = false;
    EthernetLink *m_link = nullptr;

    void reset(int turnAfter = 0, int failCall = -1)
    {
        reinterpret_cast<void (*)(int, int)>(m_control->resolve("fake_reset"))(turnAfter, failCall);
    }
    QStringList calls()
    {
        const char *text = reinterpret_cast<const char *(*)()>(m_control->resolve("fake_log"))();
        return QString::fromLatin1(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void writeRegistry(bool withKey)
    {
        const QString path = m_dir.filePath(QStringLiteral("registry.ini"));
        QVERIFY(TestFiles::writeAll(path, withKey ? "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\n"
                                                    "FileName = /nonexistent/brisca-ecu-server\n"
                                                    "Class = FakeClass\nWinName = FakeWin\n"
                                                  : QByteArray()));
        RegistryKey::setStorePath(path);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_control = new QLibrary(fakeLibrary("FakeLnkClient"), this);
        QVERIFY2(m_control->load(), qPrintable(m_control->errorString()));
    }
    void init()
    {
        m_ethernet = false;
        writeRegistry(true);
        reset();
    }

    void connectRegistersAsTheClient()
    {
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        QVERIFY(medium.connect(QStringLiteral("Brisca"), QStringLiteral("10.0.0.9"), 55162, 0));
        QCOMPARE(calls(), QStringList({"open 10.0.0.9 55162", "id Brisca"}));
        // Already connected: nothing more is asked.
        QVERIFY(medium.connect(QStringLiteral("Brisca"), QStringLiteral("10.0.0.9"), 55162, 0));
        QCOMPARE(calls().size(), 2);
    }

    void unregisteredServerIsNotContacted()
    {
        writeRegistry(false);
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        QVERIFY(!medium.serverRegistered());
        QVERIFY(!medium.connect(QStringLiteral("Brisca"), QStringLiteral("10.0.0.9"), 55162, 0));
        QVERIFY(calls().isEmpty());
    }

    void serverTransfersAreCutInLibraryChunks_data()
    {
        QTest::addColumn<int>("kind"); // 0 read, 1 write, 2 block read
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("read of 300000 bytes is three library reads") << 0 << 0
            << QStringList{"read 5 4096 131056 1", "read 5 135152 131056 1", "read 5 266208 37888 1"};
        QTest::newRow("write of 300000 bytes is three library writes") << 1 << 0
            << QStringList{"write 5 4096 131056 1", "write 5 135152 131056 1", "write 5 266208 37888 1"};
        QTest::newRow("block size 0 means the largest chunk") << 2 << 0
            << QStringList{"block 5 4096 131056 0", "block 5 135152 131056 0", "block 5 266208 37888 0"};
        QTest::newRow("block size above the largest chunk is cut") << 2 << 200000
            << QStringList{"block 5 4096 131056 0", "block 5 135152 131056 0", "block 5 266208 37888 0"};
        QTest::newRow("negative block size selects the library's blocks") << 2 << -1
            << QStringList{"block 5 4096 131056 65535", "block 5 135152 131056 65535", "block 5 266208 37888 65535"};
        QTest::newRow("given block size") << 2 << 100000
            << QStringList{"block 5 4096 100000 0", "block 5 104096 100000 0", "block 5 204096 100000 0"};
    }
    void serverTransfersAreCutInLibraryChunks()
    {
        QFETCH(int, kind);
        QFETCH(int, blockSize);
        QFETCH(QStringList, expected);
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        ProgressSink sink;
        medium.setProgressReceiver(&sink);
        QByteArray buffer(300000, '\xAA');
        auto *p = reinterpret_cast<quint8 *>(buffer.data());
        bool ok = false;
        if (kind == 0)
            ok = medium.readMemory(5, 4096, p, 300000);
        else if (kind == 1)
            ok = medium.writeMemory(5, 4096, p, 300000);
        else
            ok = medium.readMemoryBlocks(5, 4096, p, 300000, blockSize);
        QVERIFY(ok);
        QCOMPARE(calls().mid(0, expected.size()), expected);
        if (kind == 0) {
            // Each chunk lands at its own place in the buffer.
            for (int i : {0, 131055, 131056, 262112, 299999})
                QCOMPARE(quint8(buffer[i]), quint8(4096 + i));
            QCOMPARE(medium.bytesRead(), 300000u);
            QCOMPARE(medium.currentReadBytes(), 300000u);
            // One remaining-time event per chunk, counting down to zero.
            QCoreApplication::sendPostedEvents(&sink);
            QCOMPARE(sink.remaining.size(), 3);
            QCOMPARE(sink.remaining.last(), 0u);
        }
        if (kind == 1)
            QCOMPARE(medium.bytesWritten(), 300000u);
    }

    void failedChunkEndsTheTransfer()
    {
        reset(0, 1);
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        QByteArray buffer(300000, 0);
        QVERIFY(!medium.readMemory(5, 0, reinterpret_cast<quint8 *>(buffer.data()), 300000));
        QCOMPARE(calls().size(), 2);
        QCOMPARE(medium.bytesRead(), 131056u); // what came is still counted
    }

    void emptyOrNullTransfersAreRefusedOnBothMedia()
    {
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        quint8 b[4];
        for (bool eth : {false, true}) {
            m_ethernet = eth;
            QVERIFY(!medium.readMemory(5, 0, b, 0));
            QVERIFY(!medium.readMemory(5, 0, nullptr, 4));
            QVERIFY(!medium.readMemoryBlocks(5, 0, nullptr, 4, 0));
            QVERIFY(!medium.writeMemory(5, 0, b, 0));
            QVERIFY(!medium.writeMemory(5, 0, nullptr, 4));
        }
        QVERIFY(calls().isEmpty());
    }

    void secondLockDoesNotAskTheLibraryAgain()
    {
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        reset(3);
        QVERIFY(medium.lock(1000));
        QVERIFY(medium.lock(1000));
        QCOMPARE(calls(), QStringList{"lock"});
        medium.unlock();
        QVERIFY(!medium.isLocked());
        medium.unlock(); // not locked: nothing asked
        QCOMPARE(calls(), QStringList({"lock", "unlock"}));
    }

    void lockNotGrantedInTimeReleasesTheRequest()
    {
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        reset(-1);
        QVERIFY(!medium.lock(100));
        QVERIFY(!medium.isLocked());
        QCOMPARE(calls(), QStringList({"lock", "unlock"}));
    }

    void canParametersPreferTheExtendedEntryPoint()
    {
        {
            CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
            quint8 ext = 1;
            QVERIFY(medium.setCanParameters(0x123, 0, 500000, ext));
            QCOMPARE(ext, quint8(1));
            QVERIFY(!medium.setCanParameters(0, 0, 500000, ext));
            QVERIFY(!medium.setCanParameters(0x123, 0, 0, ext));
            QCOMPARE(calls(), QStringList{"canext 291 0 500000 1 0 0"});
        }
        reset();
        QLibrary noExt(fakeLibrary("FakeLnkClientNoExt"));
        QVERIFY(noExt.load());
        auto log = reinterpret_cast<const char *(*)()>(noExt.resolve("fake_log"));
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClientNoExt"));
        QVERIFY(medium.libraryUsable());
        quint8 ext = 1;
        QVERIFY(medium.setCanParameters(0x123, 0, 500000, ext));
        QCOMPARE(ext, quint8(0));
        QVERIFY(QString::fromLatin1(log()).contains(QLatin1String("can 291 0 500000")));
    }

    void staticTableEntryAsksForTheTableFirst()
    {
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        quint32 address = 0;
        quint16 size = 0, flag = 0;
        QVERIFY(medium.staticTableEntry(5, 3, address, size, 0xFFFFFFFFu, &flag));
        QCOMPARE(address, 0x40000003u);
        QCOMPARE(size, quint16(4));
        QCOMPARE(flag, quint16(1));
        QCOMPARE(calls(), QStringList({"tablestart 5 1 1", "entry 5 32768 3 1 0"}));
        QVERIFY(medium.staticTableEntry(5, 4, address, size, 0x9000));
        QCOMPARE(calls().last(), QStringLiteral("entry 5 36864 4 1 0"));
    }

    void ethernetMediumAnswersServerOnlyOperationsWithoutTheLibrary()
    {
        m_ethernet = true;
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        quint8 ext = 1;
        QVERIFY(medium.lock(10));
        QVERIFY(medium.interfaceIsPresent());
        QVERIFY(medium.setCanParameters(0, 0, 0, ext));
        medium.setSpacing(3);
        medium.unlock();
        medium.disconnect();
        QVERIFY(calls().isEmpty());
        // No link: no ECU answers.
        QVERIFY(!medium.isConnected());
        QVERIFY(medium.discoverEcus().isEmpty());
    }

    void missingLibraryLeavesTheServerUnusable_data()
    {
        QTest::addColumn<QString>("library");
        QTest::newRow("absent") << m_dir.filePath(QStringLiteral("libNoSuchClient.so"));
        QTest::newRow("required entry point missing") << fakeLibrary("FakeLnkClientIncomplete");
    }
    void missingLibraryLeavesTheServerUnusable()
    {
        QFETCH(QString, library);
        CommunicationMedium medium(&m_ethernet, &m_link, library);
        QVERIFY(!medium.libraryUsable());
        QVERIFY(!medium.libraryError().isEmpty());
        QVERIFY(!medium.connect(QStringLiteral("Brisca"), QStringLiteral("10.0.0.9"), 55162, 0));
        QVERIFY(!medium.isConnected());
        QVERIFY(!medium.lock(10));
        quint32 v = 0;
        QVERIFY(medium.listActiveServers(v).isEmpty());
        m_ethernet = true;
        QVERIFY(medium.lock(10)); // the Ethernet medium does not need the library
    }
};

QTEST_GUILESS_MAIN(TestCommunicationMedium)
#include "tst_communicationmedium.moc"
