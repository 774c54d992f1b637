// brisca-tool logger against the server program hosting the sample ECU:
// send, read back and download, with the exit codes scripts rely on.
#include "serverprocess.h"
#include "testfiles.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestLoggerTool : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    EcuServerProcess m_server;
    QString m_device;

    int tool(const QStringList &args, QByteArray *out = nullptr)
    {
        QProcess p;
        p.setProgram(QDir(qEnvironmentVariable("BRISCA_BIN_DIR")).filePath(QStringLiteral("brisca-tool")));
        p.setArguments(QStringList{QStringLiteral("logger")} + args);
        p.start();
        p.waitForFinished(60000);
        if (out)
            *out = p.readAllStandardOutput() + p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }

private slots:
    void initTestCase()
    {
        const QString source = qEnvironmentVariable("BRISCA_SOURCE_DIR");
        m_device = source + QStringLiteral("/samples/Default.XML");
        QString error;
        QVERIFY2(m_server.start({QStringLiteral("--description"), source + QStringLiteral("/samples/sample_ecu.json")},
                                &error),
                 qPrintable(error));
        const QString registry = m_dir.filePath(QStringLiteral("registry.ini"));
        QVERIFY(TestFiles::writeAll(registry, QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\n"
                                                             "FileName = /nonexistent\nClass = %1\nWinName = %2\n")
                                                  .arg(m_server.className(), m_server.windowName())
                                                  .toLocal8Bit()));
        qputenv("BRISCA_REGISTRY_FILE", registry.toLocal8Bit());
        qputenv("APPDATA", m_dir.filePath(QStringLiteral("appdata")).toLocal8Bit());
    }

    void sendReadBackAndDownload()
    {
        const QString server = QStringLiteral("127.0.0.1:%1").arg(m_server.port());
        QVERIFY(m_server.command("logger clock manual"));
        QByteArray out;
        QCOMPARE(tool({"send", m_device, "--server", server, "--channels", "nEngine:5,gear:40", "--trigger",
                       "continuous"},
                      &out),
                 0);
        QVERIFY(m_server.command("logger run 2"));
        QCOMPARE(tool({"readback", m_device, "--server", server}, &out), 0);
        QVERIFY2(out.contains("channels: 2\n") && out.contains("trigger: type 1"), out.constData());

        const QString copy = m_dir.filePath(QStringLiteral("copy.bin"));
        QCOMPARE(tool({"download", m_device, "--server", server, "--dump", copy, "--clear"}, &out), 0);
        QVERIFY2(out.contains("dump: " + m_dir.filePath(QStringLiteral("appdata/Orvotek/Brisca/dump_")).toLocal8Bit()),
                 out.constData());
        QVERIFY(TestFiles::readAll(copy).startsWith("ORVTLD"));
        // Erased once the dump was written (the ECU answers the clear a moment
        // later): nothing left to download.
        QByteArray state;
        QTRY_VERIFY2(m_server.command("logger", &state) && state.contains(" bytes=0 "), state.constData());
        const int again = tool({"download", m_device, "--server", server}, &out);
        QVERIFY2(again == 1 && out.contains("Memoria ECU vuota, dati non presenti! - 7"), out.constData());
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::newRow("no server there") << QStringList{"readback", "DEVICE", "--server", "127.0.0.1:1"} << 1;
        QTest::newRow("unknown channel") << QStringList{"send", "DEVICE", "--channels", "noSuchChannel"} << 2;
        QTest::newRow("period not allowed") << QStringList{"send", "DEVICE", "--channels", "nEngine:7"} << 2;
        QTest::newRow("unknown option") << QStringList{"download", "DEVICE", "--bogus"} << 2;
        QTest::newRow("send without channels") << QStringList{"send", "DEVICE"} << 2;
        QTest::newRow("missing device") << QStringList{"readback", "/nonexistent.xml"} << 1;
    }

    void exitCodes()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        args.replaceInStrings(QStringLiteral("DEVICE"), m_device);
        QCOMPARE(tool(args), code);
    }
};

QTEST_MAIN(TestLoggerTool)
#include "tst_loggertool.moc"
