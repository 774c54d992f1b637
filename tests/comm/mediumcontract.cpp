#include "mediumcontract.h"

#include "communicationmedium.h"
#include "progresssink.h"
#include "testecu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

namespace {
const quint32 kSpace = TestEcu::Space;
const quint32 kBase = TestEcu::RamBase + 0x40000; // clear of the variables and the table
} // namespace

int MediumContract::runSuites(std::initializer_list<QObject *> suites, int argc, char **argv)
{
    int status = 0;
    for (QObject *suite : suites)
        status |= QTest::qExec(suite, argc, argv);
    return status;
}

bool MediumContract::pokeEcu(quint32 address, const QByteArray &bytes)
{
    return control("poke " + QByteArray::number(address) + ' ' + bytes.toHex());
}

QByteArray MediumContract::peekEcu(quint32 address, quint32 length)
{
    QByteArray answer;
    return control("peek " + QByteArray::number(address) + ' ' + QByteArray::number(length), &answer)
               ? QByteArray::fromHex(answer.mid(3))
               : QByteArray();
}

void MediumContract::init()
{
    const QString why = unavailableReason();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    QString error;
    QVERIFY2(startEcu(&error), qPrintable(error));
}

void MediumContract::cleanup() { stopEcu(); }

void MediumContract::readsMatchEcuMemoryAroundChunkBoundaries_data()
{
    QTest::addColumn<int>("length");
    for (int n : {1, 1023, 1024, 1025, 64511, 64512, 64513, 131056, 131057, 300000})
        QTest::addRow("%d bytes", n) << n;
}

void MediumContract::readsMatchEcuMemoryAroundChunkBoundaries()
{
    QFETCH(int, length);
    const QByteArray expected = TestEcu::pattern(length, length);
    // Poke in pieces: control lines stay short.
    for (int off = 0; off < length; off += 8192)
        QVERIFY(pokeEcu(kBase + quint32(off), expected.mid(off, 8192)));
    QByteArray got(length + 16, '\xEE');
    QVERIFY(medium()->readMemory(kSpace, kBase, reinterpret_cast<quint8 *>(got.data()), quint32(length)));
    QCOMPARE(got.left(length), expected);
    QCOMPARE(got.mid(length), QByteArray(16, '\xEE')); // nothing written past the end
    QVERIFY(medium()->readMemoryBlocks(kSpace, kBase, reinterpret_cast<quint8 *>(got.data()), quint32(length), 0));
    QCOMPARE(got.left(length), expected);
}

void MediumContract::writesLandInEcuMemory_data()
{
    QTest::addColumn<int>("length");
    for (int n : {1, 1024, 1025, 2049, 20000})
        QTest::addRow("%d bytes", n) << n;
}

void MediumContract::writesLandInEcuMemory()
{
    QFETCH(int, length);
    const quint32 address = TestEcu::ScratchAddress;
    const QByteArray data = TestEcu::pattern(length, 99);
    QVERIFY(pokeEcu(address + quint32(length), QByteArray(4, '\x5A'))); // fence after the block
    QVERIFY(medium()->writeMemory(kSpace, address, reinterpret_cast<const quint8 *>(data.constData()),
                                  quint32(length)));
    // Ethernet writes are not acknowledged: the last frame may still travel.
    QTRY_COMPARE(peekEcu(address, quint32(length) + 4).left(length), data);
    const QByteArray inEcu = peekEcu(address, quint32(length) + 4);
    QCOMPARE(inEcu.mid(length), QByteArray(4, '\x5A'));
}

void MediumContract::staticTableEntriesGiveAddressAndSize()
{
    quint32 table = 0;
    QVERIFY(medium()->staticTableStart(kSpace, table));
    QCOMPARE(table, TestEcu::StaticTable);
    for (const TestEcu::Channel &c : TestEcu::Channels) {
        quint32 address = 0;
        quint16 size = 0, flag = 0xAA;
        QVERIFY2(medium()->staticTableEntry(kSpace, c.index, address, size, table, &flag), c.name);
        QCOMPARE(address, c.address);
        QCOMPARE(quint32(size), c.bytes);
        QCOMPARE(flag, quint16(0));
    }
    // Without a known table the medium asks for it first.
    quint32 address = 0;
    quint16 size = 0;
    QVERIFY(medium()->staticTableEntry(kSpace, 0, address, size));
    QCOMPARE(address, TestEcu::Channels[0].address);
    // Index 2 is a gap in the table: address 0 is no variable.
    QVERIFY(!medium()->staticTableEntry(kSpace, 2, address, size, table));
}

void MediumContract::refusedRegionFailsTheRead()
{
    QVERIFY(setFaults(QStringLiteral("refuse=0x%1+4096").arg(kBase + 0x2000, 0, 16)));
    QByteArray got(0x4000, 0);
    QElapsedTimer t;
    t.start();
    QVERIFY(!medium()->readMemory(kSpace, kBase, reinterpret_cast<quint8 *>(got.data()), 0x4000));
    QVERIFY(t.elapsed() < 10000);
    // Memory beside the region still reads.
    QVERIFY(medium()->readMemory(kSpace, kBase, reinterpret_cast<quint8 *>(got.data()), 0x1000));
}

// Each read either gives the ECU's bytes or fails, never other bytes. A is
// 2048 bytes, B and C 16 bytes elsewhere, read in the order given; "+" must
// succeed, "-" must fail, "?" either. Faults count reply frames on Ethernet
// and whole replies on the server, whose client gives up after 400 ms.
void MediumContract::faultyRepliesNeverGiveWrongBytes_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QString>("ethernet");
    QTest::addColumn<QString>("server");
    QTest::newRow("reply 700 ms late, during the next read") << "late=700x1" << "B- C+ A+" << "B- C+ A+";
    // B's reply comes while C waits for its own, 150 ms late.
    QTest::newRow("reply 300 ms late, inside the next read") << "late=300x1,late=150x1@1" << "B- C+ A+" << "B+ C+ A+";
    QTest::newRow("first reply duplicated") << "dup" << "A? B+ A+" << "A+ B+ A+";
    QTest::newRow("every reply duplicated") << "dupx*" << "A? A? B?" << "A+ A+ B+";
    QTest::newRow("extra frame numbered as the next request") << "extra" << "B+ A+ B+" << "B+ A+ B+";
    QTest::newRow("copy with other data from a foreign MAC") << "foreignx*" << "A+ B+" << "A+ B+";
    QTest::newRow("second reply truncated") << "trunc=10@1" << "A- B+ A+" << "A+ B- A+";
    QTest::newRow("second reply dropped") << "drop@1" << "A- A+ A+" << "A+ A- A+";
    // The count comes out right, only the bytes are wrong.
    QTest::newRow("first reply twice, second lost") << "dup,drop@1" << "A? A+ B+" << "A? A? B+";
}

void MediumContract::faultyRepliesNeverGiveWrongBytes()
{
    QFETCH(QString, faults);
    QFETCH(QString, ethernet);
    QFETCH(QString, server);
    QByteArray data[3];
    for (int i = 0; i < 3; ++i) {
        data[i] = TestEcu::pattern(i ? 16 : 2048, 40 * i + 1);
        QVERIFY(pokeEcu(kBase + 0x10000 * quint32(i), data[i]));
    }
    QVERIFY(setFaults(faults));
    for (const QString &step : (isEthernet() ? ethernet : server).split(' ')) {
        const int i = step[0].unicode() - 'A';
        QByteArray got(data[i].size(), '\0');
        const bool ok = medium()->readMemory(kSpace, kBase + 0x10000 * quint32(i), reinterpret_cast<quint8 *>(got.data()),
                                             quint32(got.size()));
        if (ok)
            QVERIFY2(got == data[i], qPrintable("wrong bytes at " + step));
        if (step[1] != '?')
            QVERIFY2(ok == (step[1] == '+'), qPrintable(step));
        QTest::qWait(50);
    }
}

// A walk of 1 KiB blocks (which the server's client reads ahead): a lost or
// repeated reply never hands one block's bytes to another, and no reply read
// ahead survives into the next walk or past a write of the same client.
void MediumContract::blockWalkNeverGivesStaleBlocks_data()
{
    QTest::addColumn<QString>("faults");
    QTest::newRow("clean") << "none";
    QTest::newRow("reply of a block read ahead dropped") << "drop@5";
    QTest::newRow("reply of a block read ahead duplicated") << "dup@5";
}

void MediumContract::blockWalkNeverGivesStaleBlocks()
{
    QFETCH(QString, faults);
    const quint32 length = 16 * 1024, address = kBase + 0x40000;
    const QByteArray data = TestEcu::pattern(int(length), 7);
    QVERIFY(pokeEcu(address, data));
    QVERIFY(setFaults(faults));
    QByteArray got(int(length), '\0');
    auto *dst = reinterpret_cast<quint8 *>(got.data());
    if (medium()->readMemoryBlocks(kSpace, address, dst, length, 1024))
        QVERIFY2(got == data, "wrong bytes from a faulty walk");
    QTest::qWait(50);
    QVERIFY(setFaults(QStringLiteral("none")));
    got.fill('\0');
    QVERIFY(medium()->readMemoryBlocks(kSpace, address, dst, length, 1024));
    QVERIFY(got == data);
    QVERIFY(medium()->writeMemory(kSpace, address + 1024, reinterpret_cast<const quint8 *>("mine"), 4));
    QVERIFY(medium()->readMemoryBlocks(kSpace, address, dst, length, 1024));
    QCOMPARE(got.mid(1024, 4), QByteArray("mine"));
}

void MediumContract::longReadReportsRemainingTime()
{
    ProgressSink sink;
    medium()->setProgressReceiver(&sink);
    QByteArray got(1 << 20, 0);
    const bool ok = medium()->readMemory(kSpace, kBase, reinterpret_cast<quint8 *>(got.data()), 1 << 20);
    medium()->setProgressReceiver(nullptr);
    QVERIFY(ok);
    QCoreApplication::sendPostedEvents(&sink);
    QVERIFY(sink.remaining.size() >= 2);
    QCOMPARE(sink.remaining.last(), 0u);
}

void MediumContract::ecuKilledMidTransferGivesFailureNotHang()
{
    const quint32 length = 64u << 20;
    QByteArray got(int(length), 0);
    // Early: over the server 64 MiB can take less than 30 ms.
    QThread *killer = QThread::create([this] {
        QThread::msleep(5);
        killEcu();
    });
    killer->start();
    QElapsedTimer t;
    t.start();
    const bool ok = medium()->readMemory(kSpace, kBase, reinterpret_cast<quint8 *>(got.data()), length);
    killer->wait();
    delete killer;
    QVERIFY(!ok);
    QVERIFY2(t.elapsed() < 30000, "a dead ECU must end the transfer, not hang it");
    QVERIFY(!medium()->isConnected());
}
