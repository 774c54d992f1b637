// brisca-tool device: exit codes, the report engineers read, stamp, encrypt,
// and the committed samples.
#include "devicefixture.h"
#include "testfiles.h"

#include <QtTest>

class TestDeviceTool : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    int run(const QStringList &args, QByteArray *out = nullptr)
    {
        QProcess p;
        p.start(QDir(qEnvironmentVariable("BRISCA_BIN_DIR")).filePath("brisca-tool"), QStringList{"device"} + args);
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

private slots:
    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::newRow("stamp with one path") << QStringList{"stamp", "a.xml"} << 2;
        QTest::newRow("missing file") << QStringList{"/nonexistent/device.xml"} << 1;
        QTest::newRow("not XML") << QStringList{"stamp", "/dev/null", "/dev/null"} << 1;
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
        QByteArray out;
        QCOMPARE(run({write("good.xml", Fixture::stamped(Fixture::dataSet(t)))}, &out), 0);
        const QByteArray sum = QByteArray::number(DeviceChecksum::compute(Fixture::dataSet(t)), 16).toUpper().rightJustified(4, '0');
        for (const QByteArray &line : QByteArrayList{"rejected Channels row 2 (2bad): FactoryName '2bad'", "Channels:     2 accepted",
                                       "adjusted Channels row 3 column LoggerNBytes (tiInj[0])", "XA_LoggerRunAddress          0x7010340C",
                                       "stored " + sum + ", computed " + sum})
            QVERIFY2(out.contains(line), out.constData());

        // A refused logger table is shown as the file has it.
        Fixture::find(t, "TabDataLogger")->rows[0][5] = "nosuchchannel";
        QCOMPARE(run({write("bad.xml", Fixture::stamped(Fixture::dataSet(t)))}, &out), 1);
        for (const char *line : {"TabDataLogger row 1 column XA_DataBeginAddress", "incompleta e/o valori presenti non validi",
                                 "Logger table: INVALID", "XA_DataBeginAddress          0xFFFFFFFF"})
            QVERIFY2(out.contains(line), out.constData());
    }

    void stampWritesTheTrailerOnce()
    {
        const QByteArray body = Fixture::dataSet(Fixture::device());
        const QString out = m_dir.filePath("stamped.xml"), twice = m_dir.filePath("twice.xml");
        QCOMPARE(run({"stamp", write("edited.xml", body), out}), 0);
        QCOMPARE(run({"stamp", out, twice}), 0); // the trailer is replaced, not added
        QCOMPARE(TestFiles::readAll(twice).size(), body.size() + 20);
        QCOMPARE(TestFiles::readAll(twice).right(8).left(4).toLower(), Fixture::stamped(body).right(8).left(4));
    }

    // The committed samples must be what their ECU description gives, or
    // the simulator (made from the same description) disagrees with them.
    void samplesMatchTheirDescription_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<int>("lineType");
        QTest::newRow("CAN") << "Default.XML" << 0;
        QTest::newRow("Ethernet") << "DefaultEth.XML" << 4;
    }
    void samplesMatchTheirDescription()
    {
        QFETCH(QString, sample);
        QFETCH(int, lineType);
        const QDir samples(qEnvironmentVariable("BRISCA_SOURCE_DIR") + "/samples");
        const QString out = m_dir.filePath(sample);
        const QStringList line = lineType ? QStringList{"--line", "ethernet"} : QStringList();
        QCOMPARE(run(QStringList{"sample", samples.filePath("sample_ecu.json"), out} + line), 0);
        QVERIFY2(TestFiles::readAll(out) == TestFiles::readAll(samples.filePath(sample)),
                 "regenerate the sample with brisca-tool device sample");
        QByteArray json;
        QCOMPARE(run({out, "--json"}, &json), 0);
        const QJsonObject o = QJsonDocument::fromJson(json).object(); // the download block size follows the line
        QCOMPARE(o["loggerTable"]["lineType"].toInt() * 10 + o["can"]["lineType"].toInt(), lineType * 11);
    }

    void encryptThenLoad()
    {
        const QString enc = m_dir.filePath("enc.xml");
        QCOMPARE(run({"encrypt", write("plain.xml", Fixture::stamped(Fixture::dataSet(Fixture::device()))), enc}), 0);
        QVERIFY(TestFiles::readAll(enc).startsWith("ENCRYPTED by ORVLibCrypt.dll"));
        QByteArray out;
        QCOMPARE(run({enc}, &out), 0);
        QVERIFY2(out.contains("encrypted (ORVLibCrypt), library usable"), out.constData());
        QCOMPARE(run({"encrypt", write("nosum.xml", "<a/>"), enc}), 1); // no valid trailer
    }
};

QTEST_GUILESS_MAIN(TestDeviceTool)
#include "tst_devicetool.moc"
