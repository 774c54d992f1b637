// The medium's own logic on the server side (chunking, lock, CAN parameters,
// static table, remaining time) against a client library that records its calls.

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

    void reset(int turnAfter = 0, int failCall = -1, int delayMs = 0)
    {
        reinterpret_cast<void (*)(int, int, int)>(m_control->resolve("fake_reset"))(turnAfter, failCall, delayMs);
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

    void connectRegistersOnceAndOnlyWithARegisteredServer()
    {
        {
            CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
            QVERIFY(medium.connect(QStringLiteral("Brisca"), QStringLiteral("10.0.0.9"), 55162, 0));
            QVERIFY(medium.connect(QStringLiteral("Brisca"), QStringLiteral("10.0.0.9"), 55162, 0));
            QCOMPARE(calls(), QStringList({"open 10.0.0.9 55162", "id Brisca"}));
            medium.disconnect();
        }
        reset();
        writeRegistry(false);
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
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
        QByteArray buffer(300000, '\xAA');
        auto *p = reinterpret_cast<quint8 *>(buffer.data());
        QVERIFY(kind == 0   ? medium.readMemory(5, 4096, p, 300000)
                : kind == 1 ? medium.writeMemory(5, 4096, p, 300000)
                            : medium.readMemoryBlocks(5, 4096, p, 300000, blockSize));
        QCOMPARE(calls(), expected);
        QCOMPARE(kind == 1 ? medium.bytesWritten() : medium.bytesRead(), 300000u);
        if (kind == 0) // each chunk lands at its own place in the buffer
            for (int i : {0, 131055, 131056, 262112, 299999})
                QCOMPARE(quint8(buffer[i]), quint8(4096 + i));
    }

    void failedChunkEndsTheTransfer()
    {
        reset(0, 1);
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        QByteArray buffer(300000, 0);
        QVERIFY(!medium.readMemory(5, 0, reinterpret_cast<quint8 *>(buffer.data()), 300000));
        QCOMPARE(calls().size(), 2);
        QCOMPARE(medium.bytesRead(), 131056u); // what came is still counted
        // Empty or null transfers are refused on both media without a call.
        for (bool eth : {false, true}) {
            m_ethernet = eth;
            QVERIFY(!medium.readMemory(5, 0, reinterpret_cast<quint8 *>(buffer.data()), 0));
            QVERIFY(!medium.readMemoryBlocks(5, 0, nullptr, 4, 0));
            QVERIFY(!medium.writeMemory(5, 0, nullptr, 4));
        }
        QCOMPARE(calls().size(), 2);
    }

    // Worked out by hand from: rate = done / (time * 0.001), truncated;
    // estimate = remaining * 1000 / rate, truncated.
    void remainingTimeFollowsTheRateSoFar_data()
    {
        QTest::addColumn<quint64>("done");
        QTest::addColumn<quint32>("timeMs");
        QTest::addColumn<quint64>("remaining");
        QTest::addColumn<qint64>("estimate");
        QTest::newRow("first server chunk after 50 ms") << quint64(131056) << 51u << quint64(168944) << qint64(65);
        QTest::newRow("1 MB/s, 1000 bytes left") << quint64(1000) << 1u << quint64(1000) << qint64(1);
        QTest::newRow("rate truncated before dividing") << quint64(5) << 3u << quint64(10000) << qint64(6002);
        QTest::newRow("nothing left") << quint64(300000) << 1000u << quint64(0) << qint64(0);
        QTest::newRow("rate below 1 byte/s: no estimate") << quint64(1) << 2000u << quint64(5) << qint64(-1);
    }
    void remainingTimeFollowsTheRateSoFar()
    {
        QFETCH(quint64, done);
        QFETCH(quint32, timeMs);
        QFETCH(quint64, remaining);
        QFETCH(qint64, estimate);
        QCOMPARE(remainingTimeMs(done, timeMs, remaining), estimate);
    }

    void serverReadPostsOneEstimatePerChunk()
    {
        // Three chunks of 100000 bytes, each taking 40 ms: about 2 x 40 ms
        // are left after the first, 40 ms after the second, none at the end.
        reset(0, -1, 40);
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        ProgressSink sink;
        medium.setProgressReceiver(&sink);
        QByteArray buffer(300000, 0);
        QVERIFY(medium.readMemoryBlocks(5, 0, reinterpret_cast<quint8 *>(buffer.data()), 300000, 100000));
        QCoreApplication::sendPostedEvents(&sink);
        QCOMPARE(sink.remaining.size(), 3);
        QVERIFY2(sink.remaining[0] >= 72 && sink.remaining[0] < 400, qPrintable(QString::number(sink.remaining[0])));
        const double ratio = double(sink.remaining[1]) / sink.remaining[0];
        QVERIFY2(ratio > 0.3 && ratio < 0.8, qPrintable(QString::number(ratio)));
        QCOMPARE(sink.remaining[2], 0u);
    }

    void lockIsAskedOnceAndReleasedWhenNotGrantedInTime()
    {
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        reset(3);
        QVERIFY(medium.lock(1000));
        QVERIFY(medium.lock(1000));
        medium.unlock();
        medium.unlock(); // not locked: nothing asked
        QCOMPARE(calls(), QStringList({"lock", "unlock"}));
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
            QVERIFY(!medium.setCanParameters(0, 0, 500000, ext));
            QVERIFY(!medium.setCanParameters(0x123, 0, 0, ext));
            QCOMPARE(calls(), QStringList{"canext 291 0 500000 1 0 0"});
        }
        QLibrary noExt(fakeLibrary("FakeLnkClientNoExt"));
        QVERIFY(noExt.load());
        auto log = reinterpret_cast<const char *(*)()>(noExt.resolve("fake_log"));
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClientNoExt"));
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
        QCOMPARE(size + flag, 4 + 1);
        QVERIFY(medium.staticTableEntry(5, 4, address, size, 0x9000));
        QCOMPARE(calls(), QStringList({"tablestart 5 1 1", "entry 5 32768 3 1 0", "entry 5 36864 4 1 0"}));
    }

    void ethernetMediumAnswersServerOnlyOperationsWithoutTheLibrary()
    {
        m_ethernet = true;
        CommunicationMedium medium(&m_ethernet, &m_link, fakeLibrary("FakeLnkClient"));
        quint8 ext = 1;
        QVERIFY(medium.lock(10) && medium.interfaceIsPresent() && medium.setCanParameters(0, 0, 0, ext));
        medium.setSpacing(3);
        medium.unlock();
        medium.disconnect();
        QVERIFY(calls().isEmpty());
        QVERIFY(!medium.isConnected() && medium.discoverEcus().isEmpty()); // no link: no ECU answers
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
        quint32 v = 0;
        QVERIFY(!medium.libraryUsable() && !medium.libraryError().isEmpty());
        QVERIFY(!medium.connect(QStringLiteral("Brisca"), QStringLiteral("10.0.0.9"), 55162, 0));
        QVERIFY(!medium.lock(10) && medium.listActiveServers(v).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommunicationMedium)
#include "tst_communicationmedium.moc"
