// The device tree built from the device folder and what Ok does on it.
#include "dialogselectiondevice.h"

#include <QtTest>
#include <QPushButton>
#include <QTreeWidget>

class TestDialogSelectionDevice : public QObject
{
    Q_OBJECT

    static void touch(const QDir &dir, const QStringList &files)
    {
        for (const QString &f : files) {
            QDir().mkpath(QFileInfo(dir.filePath(f)).absolutePath());
            QFile file(dir.filePath(f));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

private slots:
    void rowsFromTheFolder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("rows"); // in display order, children indented
        QTest::newRow("single file family is a top row") << QStringList{"ALPHA.dev/ALPHA.base.xml"} << QStringList{"ALPHA.base"};
        QTest::newRow("two files make a group") << QStringList{"ALPHA.dev/alpha.r2.xml", "ALPHA.dev/ALPHA.r1.xml"}
                                                << QStringList{"ALPHA", "  ALPHA.r1", "  alpha.r2"};
        // ALPHAX.xml matches the pattern, so the family has two files, but is not shown.
        QTest::newRow("file without family dot counts but is hidden")
            << QStringList{"ALPHA.dev/ALPHA.base.xml", "ALPHA.dev/ALPHAX.xml"} << QStringList{"ALPHA", "  ALPHA.base"};
        QTest::newRow("families by name, then other devices")
            << QStringList{"zeta.dev/zeta.a.xml", "Beta.dev/Beta.one.xml", "Default.XML", "b.xml", "note.txt"}
            << QStringList{"Beta.one", "zeta.a", "Altri device", "  b", "  Default"};
        QTest::newRow("empty folder") << QStringList{} << QStringList{};
    }
    void rowsFromTheFolder()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, rows);
        QTemporaryDir dir;
        touch(QDir(dir.path()), files);
        DialogSelectionDevice d(QDir::toNativeSeparators(dir.path()));
        QStringList l;
        QTreeWidget *w = d.listView();
        for (int i = 0; i < w->topLevelItemCount(); ++i) {
            l << w->topLevelItem(i)->text(0);
            for (int c = 0; c < w->topLevelItem(i)->childCount(); ++c)
                l << "  " + w->topLevelItem(i)->child(c)->text(0);
        }
        QCOMPARE(l, rows);
    }

    // A group row, "Altri device" included, keeps the dialog open; Ok
    // without a current row rejects it.
    void okNeedsAFileRow()
    {
        QTemporaryDir dir;
        touch(QDir(dir.path()), {"ALPHA.dev/ALPHA.a.xml", "ALPHA.dev/ALPHA.b.xml", "Other.xml"});
        DialogSelectionDevice d(dir.path());
        QTreeWidget *w = d.listView();
        QPushButton *ok = d.findChild<QPushButton *>("btnok");
        d.show();
        QCOMPARE(w->topLevelItem(1)->text(0), QString("Altri device"));
        emit w->itemActivated(w->topLevelItem(1), 0);
        w->setCurrentItem(w->topLevelItem(0));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(d.isVisible());
        w->setCurrentItem(w->topLevelItem(0)->child(1));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!d.isVisible() && d.result() == QDialog::Accepted);
        QCOMPARE(d.selectedFile().absoluteFilePath(), QFileInfo(dir.filePath("ALPHA.dev/ALPHA.b.xml")).absoluteFilePath());

        QTemporaryDir none;
        DialogSelectionDevice empty(none.path());
        empty.show();
        QTest::mouseClick(empty.findChild<QPushButton *>("btnok"), Qt::LeftButton);
        QVERIFY(!empty.isVisible() && empty.result() == QDialog::Rejected && empty.selectedFile().filePath().isEmpty());
    }
};

QTEST_MAIN(TestDialogSelectionDevice)
#include "tst_dialogselectiondevice.moc"
