// brisca-tool device: exit codes, the report engineers read, stamp, encrypt.
#include "devicefixture.h"
#include "testfiles.h"

#include <QtTest>

class TestDeviceTool : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_tool;

    int run(const QStringList &args, QByteArray *out = nullptr)
    {
        QProcess p;
        p.start(m_tool, QStringList{"device"} + args);
        if (!p.waitForFinished(30000))
            return -1;
        if (out)
            *out = p.readAllStandardOutput() + p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }

    QString write(const QString &name, const QByteArray &data)
    {
        return TestFiles::writeAll(m_dir.filePath(name), data) ? m_dir.filePath(name) : QString();
    }

    static QByteArray read(const QString &path) { return TestFiles::readAll(path); }

private slots:
    void initTestCase()
    {
        m_tool = QDir(qEnvironmentVariable("BRISCA_BIN_DIR")).filePath("brisca-tool");
        if (!QFileInfo(m_tool).isExecutable())
            QSKIP("brisca-tool is not built");
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::newRow("no file") << QStringList{} << 2;
        QTest::newRow("unknown option") << QStringList{"x.xml", "--bogus"} << 2;
        QTest::newRow("two files") << QStringList{"a.xml", "b.xml"} << 2;
        QTest::newRow("stamp with one path") << QStringList{"stamp", "a.xml"} << 2;
        QTest::newRow("encrypt with three paths") << QStringList{"encrypt", "a", "b", "c"} << 2;
        QTest::newRow("missing file") << QStringList{"/nonexistent/device.xml"} << 1;
    }
    void exitCodes()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QCOMPARE(run(args), code);
    }

    void reportNamesTableRowAndColumn()
    {
        QList<Fixture::Table> t = Fixture::device();
        Fixture::find(t, "Channels")->rows[1][0] = "2bad";
        Fixture::find(t, "TabDataLogger")->rows[0][14] = "0x10";
        const QString good = write("good.xml", Fixture::stamped(Fixture::dataSet(t)));
        QByteArray out;
        QCOMPARE(run({good}, &out), 0);
        QVERIFY2(out.contains("rejected Channels row 2 (2bad): FactoryName '2bad'"), out.constData());
        QVERIFY2(out.contains("Channels:     2 accepted"), out.constData());
        QVERIFY2(out.contains("adjusted Channels row 3 column LoggerNBytes (tiInj[0])"), out.constData());
        const QByteArray sum = QByteArray::number(DeviceChecksum::compute(Fixture::dataSet(t)), 16)
                                   .toUpper().rightJustified(4, '0');
        QVERIFY2(out.contains("stored " + sum + ", computed " + sum), out.constData());
        QVERIFY(out.contains("XA_LoggerRunAddress          0x7010340C"));

        QCOMPARE(run({good, "--json"}, &out), 0);
        const QJsonObject o = QJsonDocument::fromJson(out).object();
        QCOMPARE(o["channelCount"].toInt(), 2);
        QCOMPARE(o["loggerTable"].toObject()["valid"].toBool(), true);
        QCOMPARE(o["elf"].toObject()["ELFIDStringValue"].toString(), QString("ID-1.0"));
        const QJsonObject note = o["notes"].toArray().first().toObject();
        QCOMPARE(note["kind"].toString(), QString("rejected"));
        QCOMPARE(note["table"].toString(), QString("Channels"));
        QCOMPARE(note["row"].toInt(), 2);

        Fixture::find(t, "TabDataLogger")->rows[0][5] = "nosuchchannel";
        const QString bad = write("bad.xml", Fixture::stamped(Fixture::dataSet(t)));
        QCOMPARE(run({bad}, &out), 1);
        QVERIFY2(out.contains("TabDataLogger row 1 column XA_DataBeginAddress"), out.constData());
        QVERIFY(out.contains("incompleta e/o valori presenti non validi"));
        // The refused table is shown as the file has it.
        QVERIFY2(out.contains("Logger table: INVALID"), out.constData());
        QVERIFY2(out.contains("XA_DataBeginAddress          0xFFFFFFFF"), out.constData());
        QVERIFY2(out.contains("Channels:     2 accepted"), out.constData());
    }

    void stampWritesTheTrailerOnce()
    {
        const QByteArray body = Fixture::dataSet(Fixture::device());
        const QString in = write("edited.xml", body);
        const QString out = m_dir.filePath("stamped.xml");
        QCOMPARE(run({"stamp", in, out}), 0);
        const QByteArray expected = Fixture::stamped(body);
        QCOMPARE(read(out).size(), body.size() + 20);
        QCOMPARE(read(out).right(8).left(4).toLower(), expected.right(8).left(4).toLower());
        QCOMPARE(run({out}), 0);

        // Stamping an already stamped file replaces the trailer.
        const QString twice = m_dir.filePath("twice.xml");
        QCOMPARE(run({"stamp", out, twice}), 0);
        QCOMPARE(read(twice), read(out));
        QCOMPARE(run({"stamp", write("notxml.xml", "<a><b></a>"), twice}), 1);
    }

    // The committed samples must be what their ECU description gives, or
    // the simulator (made from the same description) disagrees with them.
    void samplesMatchTheirDescription_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("CAN") << "Default.XML" << QStringList();
        QTest::newRow("Ethernet") << "DefaultEth.XML" << QStringList{"--line", "ethernet"};
    }
    void samplesMatchTheirDescription()
    {
        QFETCH(QString, sample);
        QFETCH(QStringList, extra);
        const QDir samples(qEnvironmentVariable("BRISCA_SOURCE_DIR") + "/samples");
        const QString out = m_dir.filePath(sample);
        QCOMPARE(run(QStringList{"sample", samples.filePath("sample_ecu.json"), out} + extra), 0);
        QVERIFY2(read(out) == read(samples.filePath(sample)), "regenerate the sample with brisca-tool device sample");
        QCOMPARE(run({out}), 0);
    }

    void encryptThenLoad()
    {
        const QString plain = write("plain.xml", Fixture::stamped(Fixture::dataSet(Fixture::device())));
        const QString enc = m_dir.filePath("enc.xml");
        QCOMPARE(run({"encrypt", plain, enc}), 0);
        QVERIFY(read(enc).startsWith("ENCRYPTED by ORVLibCrypt.dll"));
        QByteArray out;
        QCOMPARE(run({enc}, &out), 0);
        QVERIFY2(out.contains("encrypted (ORVLibCrypt), library usable"), out.constData());
        // A plain file without a valid trailer is not encrypted.
        QCOMPARE(run({"encrypt", write("nosum.xml", "<a/>"), enc}), 1);
    }
};

QTEST_GUILESS_MAIN(TestDeviceTool)
#include "tst_devicetool.moc"
