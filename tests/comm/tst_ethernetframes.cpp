// Frame layouts of the Ethernet ECU protocol against bytes written out by hand,
// and the link's queues fed with hand-made packets (no capture needed).

#include "ethernetecuprotocol.h"
#include "ethernetlink.h"
#include "fuzz/ecureplies.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <cstring>

namespace {
const quint8 kTarget[6] = {0x02, 0x00, 0x00, 0x00, 0x01, 0x2C};
const quint8 kHost[6] = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};

QByteArray bytesOf(const RawFramePtr &f) { return QByteArray(reinterpret_cast<const char *>(f->data), f->length); }

RawFramePtr frameOf(const QByteArray &bytes)
{
    RawFramePtr f(new RawFrame);
    std::memcpy(f->data, bytes.constData(), size_t(bytes.size()));
    f->length = quint16(bytes.size());
    return f;
}

QByteArray packet(quint16 etherType, quint16 sequence, int length, quint8 fill = 0x55)
{
    const QByteArray head = QByteArray::fromHex("0a0b0c0d0e0f02000000012c") + char(etherType >> 8) + char(etherType)
                            + char(sequence >> 8) + char(sequence);
    return (head + QByteArray(qMax(0, length - 16), char(fill))).left(length);
}

void feed(EthernetLink &link, const QByteArray &p)
{
    link.acceptPacket(reinterpret_cast<const quint8 *>(p.constData()), quint32(p.size()));
}
} // namespace

class TestEthernetFrames : public QObject
{
    Q_OBJECT
private slots:
    void requestFramesMatchTheWireLayout_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("expected");
        // dst | src (left zero) | type | seq | command | L | parameters
        QTest::newRow("discovery broadcast") << 0
            << QByteArray::fromHex("ffffffffffff" "000000000000" "c1a0" "0001" "00000001" "0000");
        QTest::newRow("discovery to 02:5A:4B:00:00:00") << 1
            << QByteArray::fromHex("025a4b000000" "000000000000" "c1a0" "0001" "00000001" "0000");
        QTest::newRow("presence") << 2
            << QByteArray::fromHex("02000000012c" "000000000000" "c1a0" "0001" "00000002" "0000");
        // space 0x1A5: only its low byte 0xA5 counts, 0xA5 * 8 + 3 = 0x52B
        QTest::newRow("read 64512 bytes") << 3
            << QByteArray::fromHex("02000000012c" "000000000000" "c1a1" "0001" "0000052b" "0006" "12345678" "fc00");
        QTest::newRow("write 3 bytes") << 4
            << QByteArray::fromHex("02000000012c" "000000000000" "c1a1" "0001" "0000052f" "0009" "00400010" "0003"
                                   "deadbe");
        QTest::newRow("table start") << 5
            << QByteArray::fromHex("02000000012c" "000000000000" "c1a1" "0001" "0000052b" "0004" "ffffffff");
    }
    void requestFramesMatchTheWireLayout()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, expected);
        EthernetEcuProtocol protocol(nullptr);
        protocol.setTarget(kTarget);
        const quint8 data[3] = {0xDE, 0xAD, 0xBE};
        RawFramePtr f = kind == 0   ? protocol.buildDiscovery(0)
                        : kind == 1 ? protocol.buildDiscovery(1)
                        : kind == 2 ? protocol.buildPresence()
                        : kind == 3 ? protocol.buildReadRequest(0x1A5, 0x12345678, 64512)
                        : kind == 4 ? protocol.buildWriteRequest(0x1A5, 0x00400010, 3, data)
                                    : protocol.buildTableStartRequest(0x1A5);
        QCOMPARE(bytesOf(f).toHex(), expected.toHex());
        // The builder leaves the rest of the buffer zero: that is the padding.
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(f->data) + f->length, RawFrame::MaxLength - f->length),
                 QByteArray(RawFrame::MaxLength - f->length, 0));
    }

    void sequenceNumbersWrapAfter4095PerEtherType()
    {
        EthernetEcuProtocol protocol(nullptr);
        protocol.setTarget(kTarget);
        for (int i = 1; i < 4095; ++i)
            protocol.buildReadRequest(1, 0, 1);
        QCOMPARE(bytesOf(protocol.buildTableStartRequest(1)).mid(14, 2).toHex(), QByteArray("0fff"));
        QCOMPARE(bytesOf(protocol.buildReadRequest(1, 0, 1)).mid(14, 2).toHex(), QByteArray("0000"));
        QCOMPARE(bytesOf(protocol.buildPresence()).mid(14, 2).toHex(), QByteArray("0001"));
    }

    void discoveryReplyGivesMacAndLines_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("lines");
        const QByteArray head = QByteArray::fromHex("0a0b0c0d0e0f" "02000000012c" "c1a0" "0001" "00000001");
        QTest::newRow("two lines") << head + QByteArray::fromHex("000c") + QByteArray("ECU A\0v1.2\0\0", 12) << true
                                   << QStringList{"ECU A", "v1.2"};
        QTest::newRow("starts with NUL") << (head + QByteArray::fromHex("0002") + QByteArray(2, 0)).leftJustified(60, 0)
                                         << true << QStringList();
        QTest::newRow("cut inside a line") << head + QByteArray::fromHex("0010") + QByteArray("ECU A\0Mot", 9) << true
                                           << QStringList{"ECU A", "Mot"};
        QByteArray presence = head;
        presence[19] = 2;
        QTest::newRow("other command") << presence + QByteArray::fromHex("0000") << false << QStringList();
        QTest::newRow("shorter than a header") << head.left(18) << false << QStringList();
    }
    void discoveryReplyGivesMacAndLines()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, accepted);
        QFETCH(QStringList, lines);
        EcuInfo info;
        QCOMPARE(EthernetEcuProtocol::parseDiscoveryReply(*frameOf(frame), info), accepted);
        if (accepted) {
            QCOMPARE(info.macText, QStringLiteral("02:00:00:00:01:2C"));
            QCOMPARE(info.descriptions, lines);
        }
    }

    void fuzzRegressionInputsStayHarmless()
    {
        const QDir dir(QStringLiteral(FUZZ_REGRESSIONS));
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString &name : files) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            feedEcuReplies(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        }
    }

    // Reply frames of one 1100-byte read: frame i must hold exactly its share.
    void readRepliesAreTakenOnlyWhenEachHoldsItsShare_data()
    {
        QTest::addColumn<QList<QByteArray>>("replies"); // L, then data, after the common head
        QTest::addColumn<bool>("ok");
        const QByteArray kib = "0400" + QByteArray(1024, 'a').toHex();
        const QByteArray rest = "004c" + QByteArray(76, 'b').toHex();
        QTest::newRow("1024 + 76") << QList<QByteArray>{kib, rest} << true;
        QTest::newRow("76 first") << QList<QByteArray>{rest, kib} << false;
        QTest::newRow("says 76, holds 2") << QList<QByteArray>{kib, QByteArray("004c" "6262")} << false;
        QTest::newRow("one frame short") << QList<QByteArray>{kib} << false;
        QTest::newRow("one frame too many") << QList<QByteArray>{kib, rest, rest} << false;
        QTest::newRow("header only") << QList<QByteArray>{kib, QByteArray("00")} << false;
    }
    void readRepliesAreTakenOnlyWhenEachHoldsItsShare()
    {
        QFETCH(QList<QByteArray>, replies);
        QFETCH(bool, ok);
        RawFrameList frames;
        for (const QByteArray &r : replies)
            frames.push_back(frameOf(QByteArray::fromHex("0a0b0c0d0e0f02000000012cc1a1000100000613" + r)));
        QByteArray buffer(1104, '\x55');
        QCOMPARE(EthernetEcuProtocol::copyReplyData(frames, reinterpret_cast<quint8 *>(buffer.data()), 1100), ok);
        QCOMPARE(buffer.right(4), QByteArray(4, '\x55')); // never past the end
        if (ok)
            QCOMPARE(buffer.left(1100), QByteArray(1024, 'a') + QByteArray(76, 'b'));
    }

    void linkFilterAcceptsOnlyEcuFramesToThisHost()
    {
        EthernetLink link(QStringLiteral("eth0"), kHost, 10, 1000);
        QCOMPARE(link.filterText(),
                 QStringLiteral("(not ether src ff:ff:ff:ff:ff:ff) and (not ether host 00:00:00:00:00:00) and "
                                "(not ether src 0A:0B:0C:0D:0E:0F) and ether dst 0A:0B:0C:0D:0E:0F and "
                                "(ether proto 0xc1a0 or ether proto 0xc1a1)"));
    }

    void packetsAreSortedByEtherTypeAndTheNewest1000Kept()
    {
        EthernetLink link(QString(), kHost, 10, 1000);
        feed(link, packet(0xC1A0, 1, 60));
        feed(link, packet(0x0800, 1, 60));
        feed(link, packet(0xC1A1, 0xF001, 60)); // top nibble set: not a sequence number of ours
        feed(link, packet(0xC1A1, 3, 10));      // shorter than an Ethernet header
        QCOMPARE(link.queuedCount(EthernetLink::ControlQueue), 1u);
        QCOMPARE(link.queuedCount(EthernetLink::MemoryQueue), 0u);
        link.flushControlFrames();
        QCOMPARE(link.queuedCount(EthernetLink::ControlQueue), 0u);
        for (int i = 1; i <= 1001; ++i)
            feed(link, packet(0xC1A1, quint16(i & 0xFFF), i == 1001 ? 9000 : 60, 0x77));
        RawFrameList out;
        quint32 count = 0;
        QCOMPARE(link.takeMemoryFrames(out, count, 100), -1); // a take of nothing is refused
        count = EthernetLink::TakeAll;
        QCOMPARE(link.takeMemoryFrames(out, count, 0), 0);
        QCOMPARE(count, 1000u);
        QCOMPARE(int(out.front()->data[15]), 2); // frame 1 was dropped
        QCOMPARE(int(out.back()->length), 1514);  // cut to what a frame holds
        count = 5;
        QCOMPARE(link.takeMemoryFrames(out, count, 0), 0); // nothing queued: no wait, nothing taken
        QCOMPARE(count, 0u);
    }

    // A take waits at least once, so a frame queued before it is only taken
    // when the wait times out; collect takes what is queued at once. Both
    // return as soon as enough frames arrived.
    void takesWaitAsTheirRulesSay_data()
    {
        QTest::addColumn<int>("mode"); // 0 take, 1 collect
        QTest::addColumn<quint32>("wanted");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::addColumn<bool>("arrivals"); // four more frames, 30 ms apart
        QTest::newRow("take 1 of 1 queued: the whole 200 ms") << 0 << 1u << 190 << 1000 << false;
        QTest::newRow("take 2: returns on the first arrival") << 0 << 2u << 20 << 150 << true;
        QTest::newRow("take all: until 200 ms without a frame") << 0 << quint32(EthernetLink::TakeAll) << 300 << 1000 << true;
        QTest::newRow("collect 1 of 1 queued: at once") << 1 << 1u << 0 << 20 << false;
        QTest::newRow("collect 3: returns on the second arrival") << 1 << 3u << 50 << 150 << true;
    }
    void takesWaitAsTheirRulesSay()
    {
        QFETCH(int, mode);
        QFETCH(quint32, wanted);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        QFETCH(bool, arrivals);
        EthernetLink link(QString(), kHost, 10, 1000);
        feed(link, packet(0xC1A1, 0, 60));
        QThread *producer = QThread::create([&link, arrivals] {
            for (int i = 1; i <= 4 && arrivals; ++i) {
                QThread::msleep(30);
                feed(link, packet(0xC1A1, quint16(i), 60));
            }
        });
        RawFrameList out;
        quint32 count = wanted;
        QElapsedTimer t;
        t.start();
        producer->start();
        if (mode)
            count = link.collectFrames(EthernetLink::MemoryQueue, out, wanted, std::chrono::milliseconds(200));
        else
            link.takeMemoryFrames(out, count, 200);
        const qint64 ms = t.elapsed();
        producer->wait();
        delete producer;
        QVERIFY2(ms >= minMs && ms < maxMs, qPrintable(QString::number(ms)));
        QCOMPARE(count, wanted == EthernetLink::TakeAll ? 5u : wanted);
        QCOMPARE(out.size(), size_t(count));
    }
};

QTEST_GUILESS_MAIN(TestEthernetFrames)
#include "tst_ethernetframes.moc"
