// Logger memory images and dump files against bytes written out by hand.

#include "loggerprotocol.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <unistd.h>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); } // skips spaces and '|'

// Two channels given slowest first, so the sort must swap them.
struct Fixture
{
    ChannelRecord rpm, fast;
    TriggerSettings trigger;
    Fixture()
    {
        rpm.address = 0x40002000;
        rpm.variableBytes = rpm.loggedBytes = 2;
        rpm.minPeriodMs = 5;
        rpm.periodMs = 20;
        rpm.setIdentity();
        rpm.label = "RPM";
        rpm.unit = "rpm";
        fast.address = 0x40002004;
        fast.variableBytes = 4; // the image's byte count, not the logged 2
        fast.loggedBytes = 2;
        fast.minPeriodMs = 5;
        fast.periodMs = 10;
        fast.typeCode = 0x100;
        fast.zeroable = true;
        fast.zeroValue = 0x01020304;
        fast.g1 = 0.5f;
        fast.o1 = -1.0f;
        fast.o2 = 1.0f;
        fast.label = "ABCDEFGHIJKLMNOPQRST";
        trigger.type = 3;
        trigger.delay = 5;
        trigger.channel = &rpm;
        trigger.lowThreshold = 0x102;
        trigger.highThreshold = 0x30405;
    }
};

// n = 2, trigger on RPM (position 1), thresholds big-endian for a channel trigger.
const QByteArray kImage = hex("03 05 0001 00000102 00030405 | 00 01 01 00 00 00 00 00"
                              "40002004 40002000 | 04 02"
                              "0500 0a00 33 00 04030201 0000003f 000080bf 00000000 0000803f"
                              "4142434445464748494a4b4c4d4e4f00 0000000000000000 04200040 02"
                              "0500 1400 03 00 00000000 0000803f 00000000 00000000 0000803f"
                              "52504d00000000000000000000000000 72706d0000000000 00200040 02"
                              "0c45");
const QByteArray kCompactRecords =
    hex("4142434445464748494a4b4c4d4e4f00 0000000000000000 02 01 00 0000003f000080bf000000000000803f 03 01"
        "04030201 0420 0a00 0500"
        "52504d00000000000000000000000000 72706d0000000000 02 00 00 0000803f00000000000000000000803f 03 00"
        "00000000 0020 1400 0500");

QByteArray compactBlock()
{
    QByteArray c(1019, '\0');
    c.replace(38, 24, hex("03 05 2000 0102 0405 0000000000000000 00 01 01 00 00 00 00 00"));
    c.replace(62, 4, hex("2004 2000"));
    c.replace(898, 110, kCompactRecords);
    c.replace(1008, 2, hex("6fc8"));
    return c;
}

void checkChannel(const ChannelRecord *got, const ChannelRecord &want, quint32 address, const QByteArray &label)
{
    QCOMPARE(got->address, address);
    QCOMPARE(got->label, label);
    QCOMPARE(got->uniqueCode, label + '_' + QByteArray::number(address));
    QCOMPARE(got->unit, want.unit);
    QCOMPARE(got->periodMs, want.periodMs);
    QCOMPARE(got->minPeriodMs, want.minPeriodMs);
    QCOMPARE(got->loggedBytes, want.loggedBytes);
    QCOMPARE(got->typeCode, want.typeCode);
    QCOMPARE(got->zeroable, want.zeroable);
    QCOMPARE(got->zeroValue, want.zeroValue);
    QCOMPARE(got->g1, want.g1);
    QCOMPARE(got->o1, want.o1);
    QCOMPARE(got->o2, want.o2);
}

// A dump of capacity 1 (L1 = 966) with an 8-byte data buffer, version 1.
QByteArray readBackPattern()
{
    QByteArray b(966, '\0');
    for (int i = 0; i < b.size(); ++i)
        b[i] = char(i * 7 % 251 + 1);
    return b;
}
QByteArray dumpFile(const QByteArray &results, const QByteArray &versionWord, const QByteArray &block)
{
    return hex("4F525654") + hex(versionWord) + hex(results) + hex("00000200 00000001 00000005")
           + hex(QByteArray::number(block.size(), 16).rightJustified(8, '0')) + block + hex("00000008")
           + hex("0102030405060708");
}

} // namespace

class TestLoggerImage : public QObject
{
    Q_OBJECT

private slots:
    void checksum16_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("sum");
        QTest::newRow("abc") << QByteArray("abc") << 0x0126;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("wraps at 65536") << QByteArray(300, '\xff') << 0x2AD4;
    }
    void checksum16()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, sum);
        QCOMPARE(int(::checksum16(reinterpret_cast<const quint8 *>(bytes.constData()), quint32(bytes.size()))), sum);
        QCOMPARE(int(::checksum16(nullptr, 3)), 0);
    }

    void swapHelpersReverseOnlyWhenAsked()
    {
        quint8 b[4] = {1, 2, 3, 4};
        QCOMPARE(swap32(b, true, false), 0x01020304u);
        QCOMPARE(b[0], quint8(1));
        QCOMPARE(swap32(b, false, true), 0x04030201u);
        QCOMPARE(swap16(b, true, true), quint16(0x0102));
        QCOMPARE(b[0], quint8(2));
        QCOMPARE(swap64(nullptr, true, true), quint64(0));
    }

    void imageAndCompactBlockBytes()
    {
        Fixture f;
        LoggerTable table;
        table.valid = table.elfCheckEnabled = 1;
        table.channelsCountOffline = 2;
        table.channelInfoAreaSize = 110;
        LoggerProtocol logger;
        logger.attachLoggerTable(&table, sizeof table);
        logger.setChannelList({&f.rpm, &f.fast});
        logger.setTriggerSettings(f.trigger);
        logger.buildImage();
        const QByteArray image(reinterpret_cast<const char *>(logger.configurationImage()),
                               int(logger.configurationImageLength()));
        QCOMPARE(image.toHex(' '), kImage.toHex(' '));
        QCOMPARE(f.fast.label, QByteArray("ABCDEFGHIJKLMNO")); // shortened in the model too

        QByteArray compact(1019, '\x55');
        quint32 offset = 0, length = 0;
        LoggerImage::buildCompact(reinterpret_cast<quint8 *>(compact.data()), logger.configurationImage(), 2, 110,
                                  CompactPart::ConfigurationMode0, &offset, &length);
        QCOMPARE(compact.toHex(' '), compactBlock().toHex(' '));
        QCOMPARE(offset, 38u);
        QCOMPARE(length, 972u);
    }

    // The ECU's copy (big-endian) of the image or the compact block decodes
    // back into the channels and trigger that were sent.
    void readBackDecodesToTheSameChannels_data()
    {
        QTest::addColumn<bool>("compact");
        QTest::newRow("configuration image") << false;
        QTest::newRow("compact block") << true;
    }
    void readBackDecodesToTheSameChannels()
    {
        QFETCH(bool, compact);
        const QByteArray pointers = hex("00001000 00000100"); // data end, data start
        const QByteArray runs = hex("02 00 00 00000000 00000028"); // R = 2: a run, a lap at 40
        QByteArray block(1026, '\0');
        if (compact) {
            QByteArray c = compactBlock();
            c.replace(66 + 1, 11, runs);
            c.replace(1010, 8, pointers);
            c[1018] = 7;
            QVERIFY(LoggerImage::compactToReadBack(reinterpret_cast<const quint8 *>(c.constData()), 2, 110,
                                                   reinterpret_cast<quint8 *>(block.data())));
            c[898] = 'a'; // label byte: the checksum no longer matches
            QVERIFY(!LoggerImage::compactToReadBack(reinterpret_cast<const quint8 *>(c.constData()), 2, 110,
                                                    reinterpret_cast<quint8 *>(block.data())));
        } else {
            block.replace(39, 11, runs);
            block.replace(870, 8, pointers);
            block[878] = 7;
            block.replace(884, 142, kImage);
        }
        auto *bytes = reinterpret_cast<quint8 *>(block.data());
        LoggerImage::readBackToHost(bytes, 2, 1234);
        QCOMPARE(qFromLittleEndian<quint32>(bytes + 32), 1234u);
        QCOMPARE(qFromLittleEndian<quint32>(bytes + 46), 40u);
        QCOMPARE(quint8(block[878]), quint8(7));
        QCOMPARE(quint32(::checksum16(bytes + 884, 140)), qFromLittleEndian<quint16>(bytes + 1024));

        TriggerSettings head;
        quint32 dataLength = 0;
        const QList<ChannelRecord *> list = LoggerImage::decodeReadBack(bytes, 2, &head, &dataLength);
        Fixture f;
        f.fast.label.truncate(15);
        QCOMPARE(list.size(), 2);
        checkChannel(list[0], f.fast, compact ? 0x2004 : f.fast.address, f.fast.label);
        checkChannel(list[1], f.rpm, compact ? 0x2000 : f.rpm.address, f.rpm.label);
        QCOMPARE(dataLength, 0xF00u);
        QCOMPARE(head.type, quint8(3));
        QCOMPARE(head.delay, quint8(5));
        QVERIFY(head.channel == list[1]);
        QCOMPARE(head.lowThreshold, 0x102);
        QCOMPARE(head.highThreshold, compact ? 0x405 : 0x30405); // the compact block keeps 16 bits
        qDeleteAll(list);

        block.replace(884 + 12, 8, QByteArray(8, '\0')); // no channel counted any more
        QVERIFY(LoggerImage::decodeReadBack(bytes, 2, &head, &dataLength).isEmpty());
    }

    void dumpBytes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QByteArray block = readBackPattern();
        QTest::newRow("version 1") << dumpFile("00000000 00000004", "4C440001", block);
        // Version 0: the header held 880 bytes; bytes 880..883 of the block are not in the file.
        QTest::newRow("version 0") << dumpFile("00000000 00000004", "4C440000", block.left(880) + block.mid(884));
    }
    void dumpBytes()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.bin")), out = dir.filePath(QStringLiteral("out.bin"));
        QVERIFY(TestFiles::writeAll(in, file));
        LoggerProtocol logger;
        QVERIFY(logger.loadDump(in));
        QCOMPARE(logger.channelCapacity(), 1u);
        QCOMPARE(logger.pageAlignment(), 512u);
        QCOMPARE(logger.bytesDownloaded(), 5u);
        QCOMPARE(logger.readBackLength(), 966u);
        QCOMPARE(logger.dataBufferSize(), 8u);
        QVERIFY(logger.readBackViews().checksum == logger.readBackBlock() + 964);

        // Saved again: version 1, the results of this object (none yet), the 4
        // bytes a version-0 file lacks as zeros.
        QVERIFY(logger.saveDump(out));
        QByteArray block = readBackPattern();
        if (file.at(7) == 0)
            block.replace(880, 4, QByteArray(4, '\0'));
        QCOMPARE(TestFiles::readAll(out).toHex(' '), dumpFile("FFFFFFF0 FFFFFFF0", "4C440001", block).toHex(' '));
        QVERIFY(!logger.saveDump(QString()));
        QVERIFY(!logger.saveDump(dir.filePath(QStringLiteral("missing/folder/dump.bin"))));
    }

    void badDumpRefusedAndObjectUnchanged_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QByteArray good = dumpFile("00000000 00000000", "4C440001", readBackPattern());
        auto patched = [&](int at, const char *bytes) { return QByteArray(good).replace(at, 4, hex(bytes)); };
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut in the data") << good.chopped(1);
        QTest::newRow("cut in the block") << good.left(500);
        QTest::newRow("bytes after the data") << good + "x";
        QTest::newRow("foreign magic") << patched(0, "504B0304");
        QTest::newRow("foreign tag") << patched(4, "4D5A0001");
        QTest::newRow("unknown version") << patched(4, "4C440002");
        QTest::newRow("block of another capacity") << patched(20, "00000002");
        QTest::newRow("more downloaded than held") << patched(24, "00000009");
    }
    void badDumpRefusedAndObjectUnchanged()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.bin")), bad = dir.filePath(QStringLiteral("bad.bin"));
        QVERIFY(TestFiles::writeAll(good, dumpFile("00000000 00000000", "4C440001", readBackPattern())));
        QVERIFY(TestFiles::writeAll(bad, file));
        LoggerProtocol logger;
        QVERIFY(logger.loadDump(good));
        QVERIFY(!logger.loadDump(bad));
        QVERIFY(!logger.loadDump(dir.filePath(QStringLiteral("missing.bin"))));
        QCOMPARE(logger.bytesDownloaded(), 5u);
        QCOMPARE(logger.readBackLength(), 966u);
        QCOMPARE(logger.dataBuffer()[7], quint8(8));
    }

    void fullDiskLeavesNoDump()
    {
        if (geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        QTemporaryDir dir;
        const QString small = dir.filePath(QStringLiteral("small")), in = dir.filePath(QStringLiteral("in.bin"));
        QVERIFY(QDir().mkdir(small));
        if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}) != 0)
            QSKIP("cannot mount a tmpfs here");
        const QByteArray file = dumpFile("00000000 00000000", "4C440001", readBackPattern()).chopped(12)
                                + hex("00020000") + QByteArray(0x20000, 'x');
        LoggerProtocol logger;
        const bool loaded = TestFiles::writeAll(in, file) && logger.loadDump(in);
        const bool saved = logger.saveDump(small + QStringLiteral("/dump.bin"));
        const QStringList left = QDir(small).entryList(QDir::Files);
        QProcess::execute(QStringLiteral("umount"), {small});
        QVERIFY(loaded);
        QVERIFY(!saved);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
    }

    void downloadStateRestoredAfterAConversion()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("1.bin")), second = dir.filePath(QStringLiteral("2.bin"));
        QVERIFY(TestFiles::writeAll(first, dumpFile("00000000 00000000", "4C440001", readBackPattern())));
        QByteArray other = dumpFile("00000000 00000000", "4C440001", QByteArray(1026, '\1'));
        other.replace(20, 4, hex("00000002"));
        QVERIFY(TestFiles::writeAll(second, other));
        LoggerProtocol logger;
        QVERIFY(logger.loadDump(first));
        logger.saveDownloadState();
        QVERIFY(logger.loadDump(second));
        QCOMPARE(logger.channelCapacity(), 2u);
        logger.restoreDownloadState();
        QCOMPARE(logger.channelCapacity(), 1u);
        QCOMPARE(logger.readBackLength(), 966u);
        QCOMPARE(logger.readBackBlock()[0], quint8(1));
        QVERIFY(logger.readBackViews().header == logger.readBackBlock());
        QCOMPARE(LoggerProtocol::dumpFileName(QDateTime(QDate(2008, 3, 5), QTime(14, 3, 7))),
                 QStringLiteral("dump_20080305_140307.bin"));
    }
};

QTEST_GUILESS_MAIN(TestLoggerImage)
#include "tst_loggerimage.moc"
