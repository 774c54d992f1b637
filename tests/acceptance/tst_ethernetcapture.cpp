// The raw Ethernet path seen by an outside capture program (tcpdump) on the
// veth end, compared with frames written out by hand from the wire layout.
// Needs root and tcpdump; skips without them.

#include "communicationmedium.h"
#include "ethernetlink.h"
#include "netns.h"
#include "testecu.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

struct Frame
{
    QByteArray bytes;
    quint32 wireLength = 0;
};

// Classic pcap file, either byte order.
QList<Frame> readPcap(const QString &path)
{
    QFile f(path);
    QList<Frame> out;
    const QByteArray d = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    const bool swapped = quint8(d[0]) == 0xA1;
    auto u32 = [&](int at) {
        quint32 v = 0;
        for (int i = 0; i < 4; ++i)
            v |= quint32(quint8(d[at + i])) << (swapped ? 8 * (3 - i) : 8 * i);
        return v;
    };
    int at = 24;
    while (at + 16 <= d.size()) {
        const int caplen = int(u32(at + 8));
        out.append({d.mid(at + 16, caplen), u32(at + 12)});
        at += 16 + caplen;
    }
    return out;
}

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }

quint16 ethType(const Frame &f) { return quint16(quint8(f.bytes[12]) << 8 | quint8(f.bytes[13])); }

} // namespace

class EthernetCapture : public QObject
{
    Q_OBJECT

private slots:
    void framesOnTheWireFollowTheLayout()
    {
        const QString why = EcuNetwork::unavailableReason();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        const QString tcpdump = QStandardPaths::findExecutable("tcpdump", {"/usr/bin", "/usr/sbin", "/sbin"});
        if (tcpdump.isEmpty())
            QSKIP("tcpdump is not installed (scripts/packages.txt)");

        EcuNetwork net;
        QString error;
        QVERIFY2(net.setUp(&error), qPrintable(error));
        QVERIFY2(net.startEcu({"--lines", "ECU uno|rev 7"}, &error) >= 0, qPrintable(error));

        QTemporaryDir dir;
        const QString pcap = dir.filePath("wire.pcap");
        QProcess cap;
        cap.setProcessChannelMode(QProcess::MergedChannels);
        // -Z root: tcpdump would otherwise write the file as its own user;
        // -B: room for a 63-frame burst while it writes.
        cap.start(tcpdump, {"-i", net.hostInterface(), "-w", pcap, "-U", "--immediate-mode", "-Z", "root", "-s", "0", "-B", "32768"});
        QByteArray said;
        while (!said.contains("listening on") && cap.waitForReadyRead(5000))
            said += cap.readAll();
        QVERIFY2(said.contains("listening on"), said.constData());

        const QByteArray hostMac = net.hostMac();
        const QByteArray ecuMac = net.ecuMac(0);
        quint8 mac[6];
        std::memcpy(mac, hostMac.constData(), 6);
        EthernetLink *link = new EthernetLink(net.hostInterface(), mac, 10, 1000);
        link->start();
        QVERIFY(link->waitUntilReady(5000));
        bool ethernet = true;
        {
            CommunicationMedium medium(&ethernet, &link, "/nonexistent/libNone.so");
            const QList<EcuInfo> ecus = medium.discoverEcus();
            QCOMPARE(ecus.size(), 1);
            QCOMPARE(ecus[0].descriptions, QStringList({"ECU uno", "rev 7"}));
            medium.setEcuTarget(reinterpret_cast<const quint8 *>(ecuMac.constData()));
            QCOMPARE(medium.checkEcuPresence(), 0);
            QByteArray buf(64513, 0);
            QVERIFY(medium.readMemory(TestEcu::Space, TestEcu::RamBase, reinterpret_cast<quint8 *>(buf.data()), 1));
            QVERIFY(medium.readMemory(TestEcu::Space, TestEcu::RamBase, reinterpret_cast<quint8 *>(buf.data()), 64513));
            QByteArray data(2049, 0);
            for (int i = 0; i < data.size(); ++i)
                data[i] = char(i * 7);
            QVERIFY(medium.writeMemory(TestEcu::Space, TestEcu::ScratchAddress,
                                       reinterpret_cast<const quint8 *>(data.constData()), quint32(data.size())));
            quint32 table = 0;
            QVERIFY(medium.staticTableStart(TestEcu::Space, table));
            QCOMPARE(table, TestEcu::StaticTable);
        }
        link->stop();
        link->wait();
        delete link;
        QTest::qWait(500);
        cap.terminate();
        QVERIFY(cap.waitForFinished(5000));

        QList<Frame> sent, got;
        for (const Frame &f : readPcap(pcap)) {
            if (f.bytes.size() < 22 || (ethType(f) != 0xC1A0 && ethType(f) != 0xC1A1))
                continue;
            (f.bytes.mid(6, 6) == hostMac ? sent : got).append(f);
        }
        // Requests, byte for byte: destination, source, type, sequence,
        // command, length, parameters, then zero padding up to 60.
        const QByteArray S = "00000613"; // memory space 0xC2, read
        const QByteArray W = "00000617"; // memory space 0xC2, write
        const QList<QByteArray> expected = {
            "ffffffffffff" + hostMac.toHex() + "c1a0" "0001" "00000001" "0000",
            ecuMac.toHex() + hostMac.toHex() + "c1a0" "0002" "00000002" "0000",
            ecuMac.toHex() + hostMac.toHex() + "c1a1" "0001" + S + "0006" "40000000" "0001",
            ecuMac.toHex() + hostMac.toHex() + "c1a1" "0002" + S + "0006" "40000000" "fc00",
            // Mostly zeros: equal reply frames, so the same block is read again.
            ecuMac.toHex() + hostMac.toHex() + "c1a1" "0003" + S + "0006" "40000000" "fc00",
            ecuMac.toHex() + hostMac.toHex() + "c1a1" "0004" + S + "0006" "4000fc00" "0001",
            ecuMac.toHex() + hostMac.toHex() + "c1a1" "0005" + W + "0406" "40010000" "0400",
            ecuMac.toHex() + hostMac.toHex() + "c1a1" "0006" + W + "0406" "40010400" "0400",
            ecuMac.toHex() + hostMac.toHex() + "c1a1" "0007" + W + "0007" "40010800" "0001",
            ecuMac.toHex() + hostMac.toHex() + "c1a1" "0008" + S + "0004" "ffffffff",
        };
        QCOMPARE(sent.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const QByteArray head = hex(expected[i]);
            const QByteArray &b = sent[i].bytes;
            QVERIFY2(b.startsWith(head), qPrintable(QString("frame %1: %2").arg(i).arg(QString(b.left(40).toHex()))));
            const int payload = i >= 6 && i <= 8 ? (i == 8 ? 1 : 1024) : 0;
            const int length = qMax(60, head.size() + payload);
            QCOMPARE(b.size(), length);
            QCOMPARE(int(sent[i].wireLength), length);
            if (payload == 0)
                QCOMPARE(b.mid(head.size()), QByteArray(length - head.size(), 0));
        }
        // Write data in address order, 1024 + 1024 + 1 bytes.
        QCOMPARE(sent[6].bytes.mid(28, 3).toHex(), QByteArray("00070e"));
        QCOMPARE(quint8(sent[8].bytes[28]), quint8(2048 * 7));

        // Replies in order: discovery with its lines, presence, 1 + 63 + 63
        // + 1 read replies of 1 to 1024 data bytes, table start.
        QString kinds;
        for (const Frame &f : got) {
            QCOMPARE(f.bytes.left(6), hostMac);
            const int len = quint8(f.bytes[20]) << 8 | quint8(f.bytes[21]);
            kinds += ethType(f) == 0xC1A0 ? (f.bytes[19] == 1 ? 'D' : 'P')
                     : len == 4 && f.bytes.mid(22, 4) == hex("40001000") ? 'T'
                     : len >= 1 && len <= 1024 ? 'R' : '?';
        }
        QCOMPARE(kinds, "DP" + QString(128, 'R') + "T");
        QCOMPARE(got[0].bytes.mid(22, 15), QByteArray("ECU uno\0rev 7\0\0", 15));
    }
};

QTEST_GUILESS_MAIN(EthernetCapture)
#include "tst_ethernetcapture.moc"
