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
QByteArray bytesOf(const RawFramePtr &f)
{
    return QByteArray(reinterpret_cast<const char *>(f->data), f->length);
}

const quint8 kTarget[6] = {0x02, 0x00, 0x00, 0x00, 0x01, 0x2C};
const quint8 kHost[6] = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};

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
        RawFramePtr f;
        switch (kind) {
        case 0: f = protocol.buildDiscovery(0); break;
        case 1: f = protocol.buildDiscovery(1); break;
        case 2: f = protocol.buildPresence(); break;
        case 3: f = protocol.buildReadRequest(0x1A5, 0x12345678, 64512); break;
        case 4: f = protocol.buildWriteRequest(0x1A5, 0x00400010, 3, data); break;
        case 5: f = protocol.buildTableStartRequest(0x1A5); break;
        }
        QCOMPARE(bytesOf(f).toHex(), expected.toHex());
        // The builder leaves the rest of the buffer zero: that is the padding.
        for (int i = f->length; i < RawFrame::MaxLength; ++i)
            QCOMPARE(f->data[i], quint8(0));
    }

    void sequenceNumbersWrapAfter4095PerEtherType()
    {
        EthernetEcuProtocol protocol(nullptr);
        protocol.setTarget(kTarget);
        for (int i = 1; i <= 4095; ++i) {
            RawFramePtr f = protocol.buildReadRequest(1, 0, 1);
            QCOMPARE(int(f->data[14]) << 8 | f->data[15], i);
        }
        RawFramePtr wrapped = protocol.buildReadRequest(1, 0, 1);
        QCOMPARE(bytesOf(wrapped).mid(14, 2), QByteArray::fromHex("0000"));
        // The control counter has not moved.
        RawFramePtr control = protocol.buildPresence();
        QCOMPARE(bytesOf(control).mid(14, 2), QByteArray::fromHex("0001"));
        RawFramePtr next = protocol.buildTableStartRequest(1);
        QCOMPARE(bytesOf(next).mid(14, 2), QByteArray::fromHex("0001"));
    }

    void decodeWordHonoursWidthAndOrder()
    {
        const quint8 b[4] = {0x12, 0x34, 0x56, 0x78};
        QCOMPARE(EthernetEcuProtocol::decodeWord(b, false, 4), 0x12345678u);
        QCOMPARE(EthernetEcuProtocol::decodeWord(b, true, 4), 0x78563412u);
        QCOMPARE(EthernetEcuProtocol::decodeWord(b, false, 2), 0x1234u);
        QCOMPARE(EthernetEcuProtocol::decodeWord(b, true, 2), 0x3412u);
        QCOMPARE(EthernetEcuProtocol::decodeWord(b, false, 3), 0x12345678u); // other widths read 4
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
        QTest::newRow("Latin-1 text") << head + QByteArray::fromHex("0006") + QByteArray("Motor\xe9\0\0", 8) << true
                                      << QStringList{QString::fromLatin1("Motor\xe9")};
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
        RawFrame f;
        std::memcpy(f.data, frame.constData(), size_t(frame.size()));
        f.length = quint16(frame.size());
        EcuInfo info;
        QCOMPARE(EthernetEcuProtocol::parseDiscoveryReply(f, info), accepted);
        if (!accepted)
            return;
        QCOMPARE(info.mac, QByteArray::fromHex("02000000012c"));
        QCOMPARE(info.macText, QStringLiteral("02:00:00:00:01:2C"));
        QCOMPARE(info.descriptions, lines);
    }

    void randomFramesNeverBreakTheReplyParser()
    {
        // Whatever a device sends, the parser stays inside the frame.
        quint32 seed = 12345;
        auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
        for (int i = 0; i < 20000; ++i) {
            RawFrame f;
            f.length = quint16(next() % (RawFrame::MaxLength + 1));
            for (int j = 0; j < f.length; ++j)
                f.data[j] = quint8(next() >> 16);
            if (i % 2)
                std::memcpy(f.data + 16, "\0\0\0\1", 4);
            // What lies beyond the length must never be read as a line.
            std::memset(f.data + f.length, 'Z', size_t(RawFrame::MaxLength - f.length));
            EcuInfo info;
            if (!EthernetEcuProtocol::parseDiscoveryReply(f, info))
                continue;
            int used = 0;
            for (const QString &line : info.descriptions)
                used += line.size() + 1;
            QVERIFY(used <= f.length - 22 + 1);
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

    void readReplyDataIsCopiedOnlyAsFarAsTheFrameGoes()
    {
        RawFrameList frames;
        auto reply = [&frames](const QByteArray &bytes) {
            RawFramePtr f(new RawFrame);
            std::memcpy(f->data, bytes.constData(), size_t(bytes.size()));
            f->length = quint16(bytes.size());
            frames.push_back(std::move(f));
        };
        const QByteArray head = QByteArray::fromHex("0a0b0c0d0e0f" "02000000012c" "c1a1" "0001" "00000613");
        reply((head + QByteArray::fromHex("0003" "aabbcc")).leftJustified(60, 0)); // padded on the wire
        reply(head + QByteArray::fromHex("0400" "ddee"));                         // says 1024, holds 2
        reply(head + QByteArray::fromHex("0002" "ff11"));                         // would overflow the buffer
        QByteArray buffer(6, '\x55');
        const quint64 total = EthernetEcuProtocol::copyReplyData(frames, reinterpret_cast<quint8 *>(buffer.data()), 6, 0);
        QCOMPARE(total, quint64(7));
        QCOMPARE(buffer.toHex(), QByteArray("aabbccddee55"));
    }

    void linkFilterAcceptsOnlyEcuFramesToThisHost()
    {
        EthernetLink link(QStringLiteral("eth0"), kHost, 10, 1000);
        QCOMPARE(link.ownMacText(), QStringLiteral("0A:0B:0C:0D:0E:0F"));
        QCOMPARE(link.filterText(),
                 QStringLiteral("(not ether src ff:ff:ff:ff:ff:ff) and (not ether host 00:00:00:00:00:00) and "
                                "(not ether src 0A:0B:0C:0D:0E:0F) and ether dst 0A:0B:0C:0D:0E:0F and "
                                "(ether proto 0xc1a0 or ether proto 0xc1a1)"));
    }

    void packetsAreSortedByEtherTypeAndOthersIgnored()
    {
        EthernetLink link(QString(), kHost, 10, 1000);
        feed(link, packet(0xC1A0, 1, 60));
        feed(link, packet(0xC1A1, 1, 60));
        feed(link, packet(0xC1A1, 2, 60));
        feed(link, packet(0x0800, 1, 60));
        feed(link, packet(0xC1A1, 0xF001, 60)); // top nibble set: not a sequence number of ours
        feed(link, packet(0xC1A1, 3, 10));      // shorter than an Ethernet header
        QCOMPARE(link.queuedCount(EthernetLink::ControlQueue), 1u);
        QCOMPARE(link.queuedCount(EthernetLink::MemoryQueue), 2u);
        link.flushControlFrames();
        QCOMPARE(link.queuedCount(EthernetLink::ControlQueue), 0u);
        QCOMPARE(link.queuedCount(EthernetLink::MemoryQueue), 2u);
    }

    void queueKeepsTheNewest1000FramesCutTo1514Bytes()
    {
        EthernetLink link(QString(), kHost, 10, 1000);
        for (int i = 1; i <= 1001; ++i)
            feed(link, packet(0xC1A1, quint16(i & 0xFFF), i == 1001 ? 9000 : 60, 0x77));
        QCOMPARE(link.queuedCount(EthernetLink::MemoryQueue), 1000u);
        RawFrameList out;
        quint32 count = 0;
        QCOMPARE(link.takeMemoryFrames(out, count, 100), -1); // a take of nothing is refused
        count = EthernetLink::TakeAll;
        QCOMPARE(link.takeMemoryFrames(out, count, 0), 0);
        QCOMPARE(count, 1000u);
        QCOMPARE(int(out.front()->data[15]), 2); // frame 1 was dropped
        QCOMPARE(int(out.back()->data[14]) << 8 | out.back()->data[15], 1001);
        QCOMPARE(int(out.back()->length), 1514);
        QCOMPARE(out.back()->data[1513], quint8(0x77));
        count = 5;
        QCOMPARE(link.takeMemoryFrames(out, count, 0), 0); // nothing queued: no wait, nothing taken
        QCOMPARE(count, 0u);
    }

    void takeWaitsTheTimeoutEvenWhenAFrameIsQueued()
    {
        EthernetLink link(QString(), kHost, 10, 1000);
        feed(link, packet(0xC1A0, 1, 60));
        RawFrameList out;
        quint32 count = 1;
        QElapsedTimer t;
        t.start();
        QCOMPARE(link.takeControlFrames(out, count, 200), 0);
        QVERIFY2(t.elapsed() >= 190, "the frame queued before the wait is collected when the wait times out");
        QCOMPARE(count, 1u);
        QCOMPARE(out.size(), size_t(1));
    }

    void takeCollectsFramesAsTheyArrive_data()
    {
        QTest::addColumn<bool>("memory");
        QTest::addColumn<quint32>("wanted");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<quint32>("taken");
        QTest::newRow("woken by new frames, returns once enough arrived") << true << 2u << 5000 << 2u;
        QTest::newRow("take all collects until a quiet timeout") << false << quint32(EthernetLink::TakeAll) << 300 << 4u;
    }

    void takeCollectsFramesAsTheyArrive()
    {
        QFETCH(bool, memory);
        QFETCH(quint32, wanted);
        QFETCH(int, timeoutMs);
        QFETCH(quint32, taken);
        EthernetLink link(QString(), kHost, 10, 1000);
        QThread *producer = QThread::create([&link, memory] {
            for (int i = 1; i <= 4; ++i) {
                QThread::msleep(30);
                feed(link, packet(memory ? 0xC1A1 : 0xC1A0, quint16(i), 60));
            }
        });
        RawFrameList out;
        quint32 count = wanted;
        QElapsedTimer t;
        t.start();
        producer->start();
        QCOMPARE(memory ? link.takeMemoryFrames(out, count, timeoutMs) : link.takeControlFrames(out, count, timeoutMs), 0);
        QVERIFY(t.elapsed() < 4000);
        QCOMPARE(count, taken);
        QCOMPARE(out.size(), size_t(taken));
        QCOMPARE(quint32(out.back()->data[15]), taken);
        producer->wait();
        delete producer;
    }

    void sendWithoutCaptureFails()
    {
        EthernetLink link(QStringLiteral("brisca-no-such-if0"), kHost, 10, 1000);
        RawFrameList frames;
        frames.push_back(RawFramePtr(new RawFrame));
        QCOMPARE(link.sendFrames(frames), -1); // never started
        link.start();
        QVERIFY(!link.waitUntilReady(2000));
        QCOMPARE(link.sendFrames(frames), -1);
        QCOMPARE(frames.size(), size_t(1));
        link.wait();
    }
};

QTEST_GUILESS_MAIN(TestEthernetFrames)
#include "tst_ethernetframes.moc"
