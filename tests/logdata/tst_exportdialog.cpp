// The export dialog writes what brisca-tool convert writes from the same dump.
#include "boxanswerer.h"
#include "inifile.h"
#include "loggerprotocol.h"
#include "selexportdatadialog.h"
#include "testfiles.h"

#include <QApplication>
#include <QComboBox>
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
        BoxAnswerer boxes;   // a box or prompt the dialog opens fails the test instead of hanging it
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
        for (const QString tab : {"Formato MDF", "Formato 2D", "Formato MDF 4.10"}) {
            SelExportDataDialog dialog(&ini, &protocol);
            dialog.setMdfComment("ECU-1\n");
            auto *tabs = dialog.findChild<QTabWidget *>();
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->tabText(i) == tab)
                    tabs->setCurrentIndex(i);
            dialog.findChild<QPushButton *>("btnMeasure")->setText("m");
            QVERIFY(dialog.save());
        }
        QCOMPARE(ini.value("LastEvent_MDF"), QString("ev"));
        QCOMPARE(ini.value("LastEvent_2D"), QString("ev"));
        QCOMPARE(ini.value("LastEvent_MDF4"), QString("ev"));
        QCOMPARE(boxes.texts, QStringList());

        QProcess tool;
        tool.start(QCoreApplication::applicationDirPath() + "/brisca-tool",
                   {"convert", dump, "--settings", tmp.filePath("brisca.ini"), "--mdf", tmp.filePath("tool.mdf"), "--mdf4", tmp.filePath("tool.mf4"), "--2d",
                    tmp.filePath("tool2d"), "--event", "ev", "--measure", "m"});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        // Equal but for the date and time of writing.
        auto undated = [](QByteArray b) { return b.replace(64 + 18, 18, QByteArray(18, '\0')); };
        QCOMPARE(undated(TestFiles::readAll(tmp.filePath("mdf/ev/1.mdf"))), undated(TestFiles::readAll(tmp.filePath("tool.mdf"))));
        // MDF 4.10 is numbered apart from MDF 3.30 in the same event; the header and history carry the time.
        auto undated4 = [](QByteArray b) { return b.replace(136, 8, QByteArray(8, '\0')).replace(b.indexOf("##FH") + 40, 8, QByteArray(8, '\0')); };
        QCOMPARE(undated4(TestFiles::readAll(tmp.filePath("mdf/ev/1.mf4"))), undated4(TestFiles::readAll(tmp.filePath("tool.mf4"))));
        for (const char *ext : {".ldf", ".lap", ".A000", ".A001"})
            QCOMPARE(TestFiles::readAll(tmp.filePath("2d/ev/m.mes/m") + ext), TestFiles::readAll(tmp.filePath("tool2d/ev/m.mes/m") + ext));
    }

    // The prompts that once left a test waiting: base folders without events.
    void emptyBaseFoldersAskOnceAndMakeTheDefaultEvent()
    {
        BoxAnswerer boxes;
        QTemporaryDir tmp;
        IniFile ini(tmp.filePath("brisca.ini"));
        ini.setSection("Default");
        ini.setValue("LastPath_MDF", tmp.filePath("mdf"));
        ini.setValue("LastPath_2D", tmp.filePath("2d"));
        LoggerProtocol protocol;
        SelExportDataDialog dialog(&ini, &protocol);
        QCOMPARE(boxes.texts.count("Questa directory non contiene eventi!\nAggiungere un evento!"), 2);   // MDF and 2D, not MDF 4.10
        QVERIFY(QFileInfo(tmp.filePath("mdf/default")).isDir() && QFileInfo(tmp.filePath("2d/default")).isDir());
        QCOMPARE(dialog.findChild<QWidget *>("selMDF4Format")->findChild<QComboBox *>("cmboxEvents")->currentText(), QString("default"));
    }
};

QTEST_MAIN(TestExportDialog)
#include "tst_exportdialog.moc"
