// The check value and the trailer that carries it.
#include "devicechecksum.h"

#include <QtTest>

class TestDeviceChecksum : public QObject
{
    Q_OBJECT
private slots:
    void knownValues_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("expected");
        QTest::newRow("abc") << QByteArray("abc") << 0xE41E;
        QTest::newRow("nothing covered") << QByteArray() << 0;
        // One byte b: crc = b, then the bytes exchanged.
        QTest::newRow("single 0x01") << QByteArray("\x01", 1) << 0x0100;
        // "\x01\x00": T[0] ^ (0x01 << 8) ^ 0 = 0x0100 -> 0x0001.
        QTest::newRow("0x01 0x00") << QByteArray("\x01\x00", 2) << 0x0001;
        // "\x01\x00\x00": T[1] ^ 0 ^ 0 = 0x1021 -> 0x2110.
        QTest::newRow("0x01 0x00 0x00") << QByteArray("\x01\x00\x00", 3) << 0x2110;
        // "\xFF\x00\x00": T[255] = 0x1EF0 -> 0xF01E.
        QTest::newRow("0xFF 0x00 0x00") << QByteArray("\xFF\x00\x00", 3) << 0xF01E;
    }
    void knownValues()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, expected);
        QCOMPARE(int(DeviceChecksum::compute(data)), expected);
    }

    // Long contents take a folded path; it must agree with the plain
    // byte-at-a-time definition at every length and alignment.
    void longContentMatchesTheByteDefinition()
    {
        auto reference = [](const QByteArray &d) {
            quint16 crc = 0;
            for (char ch : d) {
                quint16 t = quint16((crc >> 8) << 8);
                for (int k = 0; k < 8; ++k)
                    t = (t & 0x8000) ? quint16((t << 1) ^ 0x1021) : quint16(t << 1);
                crc = quint16(t ^ ((crc & 0xFF) << 8) ^ uchar(ch));
            }
            return quint16((crc << 8) | (crc >> 8));
        };
        QByteArray data;
        quint32 seed = 12345;
        for (int i = 0; i < 300; ++i) {
            seed = seed * 1103515245u + 12345u;
            data.append(char(seed >> 16));
        }
        for (int off = 0; off < 3; ++off)
            for (int len = 0; len + off <= data.size(); len += 7)
                QCOMPARE(DeviceChecksum::compute(data.constData() + off, len), reference(data.mid(off, len)));
    }

    void storedValueScan_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("value");
        const QByteArray head("<x>...</x>\r\n<!--CRC=0x");
        QTest::newRow("upper case") << head + "E41E -->" << true << 0xE41E;
        QTest::newRow("lower case") << head + "e41e -->" << true << 0xE41E;
        QTest::newRow("leading blanks") << head + "  \t1f-->" << true << 0x1F;
        QTest::newRow("non-hex ends it") << head + "12G4xxxx" << true << 0x12;
        QTest::newRow("at most four digits") << head + "ABCDEF01" << true << 0xABCD;
        QTest::newRow("no digit") << head + "--> zzzz" << false << 0;
        QTest::newRow("only blanks") << head + "        " << false << 0;
        QTest::newRow("shorter than 8") << QByteArray("E41E") << false << 0;
        QTest::newRow("exactly 8") << QByteArray("0000    ") << true << 0;
    }
    void storedValueScan()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, found);
        QFETCH(int, value);
        quint16 v = 0xFFFF;
        QCOMPARE(DeviceChecksum::storedValue(content, &v), found);
        if (found)
            QCOMPARE(int(v), value);
    }

    void trailerLayout()
    {
        const QByteArray t = DeviceChecksum::trailer(0xE41E);
        QCOMPARE(t, QByteArray("\r\n<!--CRC=0xE41E -->")); // 20 bytes, digits at 12
        quint16 v = 0;
        QVERIFY(DeviceChecksum::storedValue(t, &v));
        QCOMPARE(v, quint16(0xE41E));
    }

    void coveredLengthRefusesShortContent_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<int>("covered");
        QTest::newRow("plain 20") << 20 << false << 0;
        QTest::newRow("plain 19") << 19 << false << -1;
        QTest::newRow("plain 0") << 0 << false << -1;
        QTest::newRow("decrypted 65") << 65 << true << 0;
        QTest::newRow("decrypted 64") << 64 << true << -1;
        QTest::newRow("decrypted 100") << 100 << true << 35;
    }
    void coveredLengthRefusesShortContent()
    {
        QFETCH(int, size);
        QFETCH(bool, encrypted);
        QFETCH(int, covered);
        QCOMPARE(int(DeviceChecksum::coveredLength(size, encrypted)), covered);
    }
};

QTEST_GUILESS_MAIN(TestDeviceChecksum)
#include "tst_devicechecksum.moc"
