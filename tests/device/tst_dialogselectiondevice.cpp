// The device tree built from the device folder and what Ok does on it.
#include "dialogselectiondevice.h"

#include <QtTest>
#include <QPushButton>
#include <QTreeWidget>

class TestDialogSelectionDevice : public QObject
{
    Q_OBJECT

    static void touch(const QString &path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    // Rows in display order as "text" or "  child" lines.
    static QStringList tree(const DialogSelectionDevice &d)
    {
        QStringList l;
        QTreeWidget *w = d.listView();
        for (int i = 0; i < w->topLevelItemCount(); ++i) {
            QTreeWidgetItem *top = w->topLevelItem(i);
            l << top->text(0);
            for (int c = 0; c < top->childCount(); ++c)
                l << "  " + top->child(c)->text(0);
        }
        return l;
    }

private slots:
    void rowsFromTheFolder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("single file family is a top row") << QStringList{"ALPHA.dev/ALPHA.base.xml"}
                                                          << QStringList{"ALPHA.base"};
        QTest::newRow("two files make a group")
            << QStringList{"ALPHA.dev/alpha.r2.xml", "ALPHA.dev/ALPHA.r1.xml"}
            << QStringList{"ALPHA", "  ALPHA.r1", "  alpha.r2"};
        // ALPHAX.xml matches the pattern, so m is 2, but is not shown.
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
        for (const QString &f : files)
            touch(dir.filePath(f));
        DialogSelectionDevice d(QDir::toNativeSeparators(dir.path()));
        QCOMPARE(tree(d), rows);
        QCOMPARE(d.listView()->objectName(), QString("lstvuAllDevices"));
        QVERIFY(d.listView()->isColumnHidden(1) && d.listView()->isColumnHidden(2));
    }

    void okNeedsAFileRow()
    {
        QTemporaryDir dir;
        touch(dir.filePath("ALPHA.dev/ALPHA.a.xml"));
        touch(dir.filePath("ALPHA.dev/ALPHA.b.xml"));
        touch(dir.filePath("Other.xml"));
        DialogSelectionDevice d(dir.path());
        QTreeWidget *w = d.listView();
        QPushButton *ok = d.findChild<QPushButton *>("btnok");
        QVERIFY(ok);
        d.show();

        // A group row, "Altri device" included, keeps the dialog open.
        QTreeWidgetItem *others = w->topLevelItem(1);
        QCOMPARE(others->text(0), QString("Altri device"));
        w->setCurrentItem(others);
        emit w->itemActivated(others, 0);
        QVERIFY(d.isVisible());
        w->setCurrentItem(w->topLevelItem(0));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(d.isVisible());

        w->setCurrentItem(w->topLevelItem(0)->child(1));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.selectedFile().absoluteFilePath(), QFileInfo(dir.filePath("ALPHA.dev/ALPHA.b.xml")).absoluteFilePath());
    }

    void okWithoutCurrentRowRejects()
    {
        QTemporaryDir dir;
        DialogSelectionDevice d(dir.path());
        d.show();
        QTest::mouseClick(d.findChild<QPushButton *>("btnok"), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QVERIFY(d.selectedFile().filePath().isEmpty());
    }
};

QTEST_MAIN(TestDialogSelectionDevice)
#include "tst_dialogselectiondevice.moc"
