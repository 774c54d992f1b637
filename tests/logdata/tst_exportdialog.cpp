// The export dialog writes what brisca-tool convert writes from the same dump.
#include "inifile.h"
#include "loggerprotocol.h"
#include "selexportdatadialog.h"
#include "testfiles.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

class TestExportDialog : public QObject
{
    Q_OBJECT
private slots:
    void dialogAndToolWriteTheSameFiles()
    {
        QTemporaryDir tmp;
        const QString dump = QFINDTESTDATA("fuzz-corpus/two-runs-laps.bin");
        QVERIFY(QDir().mkpath(tmp.filePath("mdf/ev")) && QDir().mkpath(tmp.filePath("2d/ev")));
        IniFile ini(tmp.filePath("brisca.ini"));
        ini.setSection("Default");
        ini.setValue("LastPath_MDF", tmp.filePath("mdf"));
        ini.setValue("LastPath_2D", tmp.filePath("2d"));
        ini.setValue("FilenameFormatMDF", 3);
        QVERIFY(ini.write());

        LoggerProtocol protocol;
        QVERIFY(protocol.loadDump(dump));
        for (const QString tab : {"Formato MDF", "Formato 2D"}) {
            SelExportDataDialog dialog(&ini, &protocol);
            dialog.setMdfComment("ECU-1\n");
            auto *tabs = dialog.findChild<QTabWidget *>();
            tabs->setCurrentIndex(tab == "Formato MDF" ? 0 : 1);
            dialog.findChild<QPushButton *>("btnMeasure")->setText("m");
            QVERIFY(dialog.save());
        }
        QCOMPARE(ini.value("LastEvent_MDF"), QString("ev"));
        QCOMPARE(ini.value("LastEvent_2D"), QString("ev"));

        QProcess tool;
        tool.start(QCoreApplication::applicationDirPath() + "/brisca-tool",
                   {"convert", dump, "--settings", tmp.filePath("brisca.ini"), "--mdf", tmp.filePath("tool.mdf"), "--2d",
                    tmp.filePath("tool2d"), "--event", "ev", "--measure", "m"});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        // Equal but for the date and time of writing.
        auto undated = [](QByteArray b) { return b.replace(64 + 18, 18, QByteArray(18, '\0')); };
        QCOMPARE(undated(TestFiles::readAll(tmp.filePath("mdf/ev/1.mdf"))), undated(TestFiles::readAll(tmp.filePath("tool.mdf"))));
        for (const char *ext : {".ldf", ".lap", ".A000", ".A001"})
            QCOMPARE(TestFiles::readAll(tmp.filePath("2d/ev/m.mes/m") + ext), TestFiles::readAll(tmp.filePath("tool2d/ev/m.mes/m") + ext));
    }
};

QTEST_MAIN(TestExportDialog)
#include "tst_exportdialog.moc"
