// The sample device end to end: choose channels, set a trigger, save a
// snapshot, load the device afresh, reopen the snapshot and get the same
// configuration back.
#include <QtTest>

#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <QTreeWidget>

#include "channelsselection.h"
#include "deviceloader.h"
#include "snapshotfile.h"
#include "testfiles.h"

namespace {
struct Loaded
{
    DeviceModel model;
    ChannelsSelection w;

    bool load()
    {
        model.devicePath = qEnvironmentVariable("BRISCA_SOURCE_DIR") + "/samples/Default.XML";
        const DeviceLoadResult r = DeviceLoader::load(model, DeviceLoadOptions());
        if (!r.loaded())
            return false;
        w.setSelectedList(&model.selected);
        w.setLoggerTable(&model.loggerTable);
        w.setFastestPeriod(5);
        w.fillAvailableList(model.channels, r.availableElfCheck, r.availableNoLoggerTable);
        w.setControlsEnabled(true);
        w.show();
        return QTest::qWaitForWindowExposed(&w);
    }
    QStringList selectedRows() const
    {
        QStringList out;
        auto *sel = w.findChild<QTreeWidget *>("lstvu_selected_chs");
        for (int i = 0; i < sel->topLevelItemCount(); ++i) {
            QStringList cells;
            for (int c = 0; c < sel->columnCount(); ++c)
                cells << sel->topLevelItem(i)->text(c);
            out << cells.mid(2).join('|') + '|' + cells[0];
        }
        return out;
    }
};
} // namespace

class TestSampleDevice : public QObject
{
    Q_OBJECT
private slots:
    void snapshotBringsBackTheSameConfiguration();
};

void TestSampleDevice::snapshotBringsBackTheSameConfiguration()
{
    Loaded first;
    QVERIFY(first.load());
    QVERIFY(first.model.loggerTable.valid);
    auto *all = first.w.findChild<QTableView *>("lstvu_all_chs");
    all->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(all, Qt::Key_Return);
    QCOMPARE(first.model.selected.size(), 3);
    auto *sel = first.w.findChild<QTreeWidget *>("lstvu_selected_chs");
    sel->setFocus();
    sel->setCurrentItem(sel->topLevelItem(1));
    QTest::keyClick(sel, Qt::Key_Left); // a slower period for the second channel

    auto *type = first.w.findChild<QComboBox *>("cmbox_tipo_trigger");
    type->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(type, Qt::Key_Down);
    auto *channel = first.w.findChild<QComboBox *>("cmbox_scelta_canale");
    channel->setFocus();
    QTest::keyClick(channel, Qt::Key_Down);
    auto *high = first.w.findChild<QLineEdit *>("le_soglia_max");
    high->setFocus();
    high->selectAll();
    QTest::keyClicks(high, "1");
    auto *delay = first.w.findChild<QLineEdit *>("le_ritardo");
    delay->setFocus();
    delay->selectAll();
    QTest::keyClicks(delay, "3.5");
    const TriggerSettings trigger = first.w.getTrigger();
    QCOMPARE(trigger.type, quint8(3));
    QCOMPARE(trigger.channel, first.model.selected[1]);
    QCOMPARE(trigger.delay, quint8(35));

    QTemporaryDir dir;
    const SnapshotFile::SaveResult saved =
        SnapshotFile::save(dir.filePath("logger"), first.model.loggerTable.elfCheckEnabled,
                           first.model.elf.idStringValue, trigger, first.model.selected);
    QVERIFY2(saved.saved, qPrintable(saved.message));

    // Start again from the device file, then open the snapshot as the main window does.
    Loaded second;
    QVERIFY(second.load());
    QVERIFY(second.model.selected.isEmpty());
    const SnapshotFile::OpenResult opened = SnapshotFile::open(
        saved.path, second.model.channels, second.model.loggerTable.elfCheckEnabled,
        second.model.elf.idStringValue, [](const QString &) { return false; });
    QCOMPARE(opened.status, SnapshotFile::OpenResult::Applied);
    second.model.selected = opened.selected;
    second.model.trigger = opened.trigger;
    second.w.fillAvailableList(second.model.channels, second.model.loggerTable.elfCheckEnabled,
                               second.model.noLoggerTable);
    second.w.rebuildSelectedList();
    second.w.setTrigger(second.model.trigger);

    QCOMPARE(second.selectedRows(), first.selectedRows());
    for (const char *name : { "cmbox_tipo_trigger", "cmbox_scelta_canale" })
        QCOMPARE(second.w.findChild<QComboBox *>(name)->currentText(),
                 first.w.findChild<QComboBox *>(name)->currentText());
    for (const char *name : { "le_soglia_min", "le_soglia_max", "le_ritardo" })
        QCOMPARE(second.w.findChild<QLineEdit *>(name)->text(), first.w.findChild<QLineEdit *>(name)->text());
    QCOMPARE(second.w.acquisitionSeconds(), first.w.acquisitionSeconds());

    // The reopened configuration saves to the very same bytes.
    const QString again = dir.filePath("again.spt");
    QVERIFY(SnapshotFile::save(again, second.model.loggerTable.elfCheckEnabled, second.model.elf.idStringValue,
                               second.w.getTrigger(), second.model.selected).saved);
    const QByteArray firstBytes = TestFiles::readAll(saved.path);
    QVERIFY(!firstBytes.isEmpty());
    QCOMPARE(TestFiles::readAll(again), firstBytes);
    if (!qEnvironmentVariableIsEmpty("BRISCA_SHOT")) {
        second.w.resize(second.w.sizeHint());
        second.w.grab().save(qEnvironmentVariable("BRISCA_SHOT"));
    }
}

QTEST_MAIN(TestSampleDevice)
#include "tst_sampledevice.moc"
