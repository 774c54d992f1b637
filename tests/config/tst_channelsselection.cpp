// The channel selection widget and the channel settings dialog, driven with
// keys and mouse clicks as a user would.
#include <QtTest>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>

#include "availablechannelsmodel.h"
#include "boxanswerer.h"
#include "channelset.h"
#include "channelsettingsdialog.h"
#include "channelsselection.h"
#include "conversion.h"

#include <functional>
#include <memory>

namespace {

// Runs `act` on the first dialog of type D that becomes modal.
template <class D>
void whenDialogOpens(std::function<void(D *)> act)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto *d = qobject_cast<D *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(d);
        }
    });
    timer->start(5);
}

struct Fixture : ChannelSet
{
    QList<ChannelRecord *> selected;
    LoggerTable table;
    std::unique_ptr<ChannelsSelection> w;

    explicit Fixture(quint32 slotCount = 64)
    {
        table.valid = 1;
        table.channelsCountOffline = slotCount;
        table.availableBytes = 1000000;
        w = std::make_unique<ChannelsSelection>();
        w->setSelectedList(&selected);
        w->setLoggerTable(&table);
        w->setFastestPeriod(5);
    }
    ChannelRecord *add(const QByteArray &label, quint32 index, quint32 bytes = 2, quint32 period = 10)
    {
        ChannelRecord *ch = ChannelSet::add("f" + QByteArray::number(index), index, bytes, period);
        ch->label = label;
        ch->unit = "bar";
        ch->description = label + " desc";
        return ch;
    }
    // Two-byte channels at 10 ms, factory index 1, 2, ... in order.
    void addLabels(const QList<QByteArray> &labels)
    {
        for (const QByteArray &l : labels)
            add(l, quint32(channels.size() + 1));
    }
    void pressEnterTimes(int n)
    {
        while (n-- > 0)
            pressOnAvailable(Qt::Key_Return);
    }
    void load(bool noLoggerTable = false)
    {
        w->fillAvailableList(channels, true, noLoggerTable);
        w->setControlsEnabled(true);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    template <class T>
    T *child(const char *name) const
    {
        return w->findChild<T *>(QLatin1String(name));
    }
    QTableView *all() const { return child<QTableView>("lstvu_all_chs"); }
    QTreeWidget *sel() const { return child<QTreeWidget>("lstvu_selected_chs"); }
    QString currentLabel() const
    {
        return all()->currentIndex().siblingAtColumn(AvailableChannelsModel::ColLabel).data().toString();
    }
    QStringList availableLabels() const
    {
        QStringList out;
        for (int r = 0; r < all()->model()->rowCount(); ++r)
            out << all()->model()->index(r, AvailableChannelsModel::ColLabel).data().toString();
        return out;
    }
    QStringList selectedColumn(int column) const
    {
        QStringList out;
        for (int i = 0; i < sel()->topLevelItemCount(); ++i)
            out << sel()->topLevelItem(i)->text(column);
        return out;
    }
    void pressOnAvailable(int key)
    {
        all()->setFocus();
        QTest::keyClick(all(), Qt::Key(key));
    }
    void selectSelectedRow(int row)
    {
        sel()->setFocus();
        sel()->setCurrentItem(sel()->topLevelItem(row));
    }
    void chooseTriggerType(int index)
    {
        auto *type = child<QComboBox>("cmbox_tipo_trigger");
        type->setFocus();
        while (type->currentIndex() < index)
            QTest::keyClick(type, Qt::Key_Down);
        while (type->currentIndex() > index)
            QTest::keyClick(type, Qt::Key_Up);
    }
    void typeInto(const char *name, const QString &text)
    {
        auto *e = child<QLineEdit>(name);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
};

} // namespace

class TestChannelsSelection : public QObject
{
    Q_OBJECT
private slots:
    void fillListsLoggableChannelsWithTheirColumns()
    {
        Fixture f;
        f.add("Giri", 7, 2, 10);
        f.add("Off", 8)->loggerEnabled = false;
        f.add("Pressione", 1234, 1, 640);
        f.load();
        QCOMPARE(f.availableLabels(), QStringList({ "Giri", "Pressione" }));
        QAbstractItemModel *m = f.all()->model();
        QStringList row;
        for (int c = 2; c < AvailableChannelsModel::ColumnCount; ++c)
            row << m->index(1, c).data().toString();
        QCOMPARE(row, QStringList({ "Pressione", "1234", "1.5625", "1", "bar", "Pressione desc" }));
        QCOMPARE(m->index(0, 3).data().toString(), QString("007"));
        QVERIFY(f.all()->isColumnHidden(0) && f.sel()->isColumnHidden(1));
        // Each header fits its text (the English one is the longest).
        for (int c = AvailableChannelsModel::ColLabel; c < AvailableChannelsModel::ColDescription; ++c)
            QVERIFY(f.all()->columnWidth(c) >= f.all()->horizontalHeader()->sectionSizeHint(c));
        QCOMPARE(f.child<QComboBox>("cmbox_freq_sel")->currentText(), QString("100"));

        // Without a logger table every channel is listed, and the trigger stays off.
        Fixture n;
        n.add("A", 1);
        n.add("B", 2)->loggerEnabled = false;
        n.load(true);
        QCOMPARE(n.availableLabels(), QStringList({ "A", "B" }));
        QVERIFY(!n.child<QComboBox>("cmbox_tipo_trigger")->isEnabled());
    }

    void addAndRemoveWithKeysMouseAndButtons()
    {
        Fixture f;
        f.addLabels({ "A", "B", "C", "D" });
        f.load();
        f.pressOnAvailable(Qt::Key_Return);
        QCOMPARE(f.currentLabel(), QString("B"));
        QCOMPARE(f.child<QLabel>("lbl_acquisition_time")->text(), QString("01:23:20")); // 2 bytes at 100 Hz
        const QRect cRow = f.all()->visualRect(f.all()->model()->index(1, 2));
        QTest::mouseClick(f.all()->viewport(), Qt::LeftButton, {}, cRow.center());
        QTest::mouseDClick(f.all()->viewport(), Qt::LeftButton, {}, cRow.center());
        QTest::mouseClick(f.child<QPushButton>("btn_add_ch"), Qt::LeftButton);
        QCOMPARE(f.currentLabel(), QString("B")); // end of the list: the one above
        QCOMPARE(f.selected, QList<ChannelRecord *>({ f.channels[0], f.channels[2], f.channels[3] }));
        QCOMPARE(f.selectedColumn(3), QStringList({ "001", "003", "004" }));

        // Removing: the next row becomes current, the channel goes back to its place.
        f.selectSelectedRow(1);
        QTest::keyClick(f.sel(), Qt::Key_Delete);
        QCOMPARE(f.sel()->currentItem()->text(2), QString("D"));
        QTest::mouseClick(f.child<QPushButton>("btn_remove_ch"), Qt::LeftButton);
        QCOMPARE(f.selectedColumn(2), QStringList({ "A" }));
        QCOMPARE(f.availableLabels(), QStringList({ "B", "C", "D" }));
        QTest::keyClick(f.sel(), Qt::Key_Delete);
        QVERIFY(f.selected.isEmpty());
        QCOMPARE(f.child<QLabel>("lbl_acquisition_time")->text(), QString("-------"));
    }

    void limitsAreReportedAndNothingAdded()
    {
        Fixture f(2);
        f.add("A", 1, 1, 5);
        f.add("B", 2, 1, 10);
        f.add("C", 3, 1, 20);
        f.add("Wide", 4, 4, 20);
        f.load();
        BoxAnswerer boxes;
        f.pressEnterTimes(2);
        QVERIFY(boxes.texts.isEmpty());
        f.pressOnAvailable(Qt::Key_Return);
        QCOMPARE(boxes.texts, QStringList { "E' stato raggiunto il numero massimo di variabili campionabili!!!" });
        QCOMPARE(boxes.titles, QStringList { "Brisca" });
        QCOMPARE(f.selected.size(), 2);

        Fixture g(64);
        g.add("Wide", 4, 4, 20);
        g.load();
        g.pressOnAvailable(Qt::Key_Return);
        QCOMPARE(boxes.texts.last(), QString("Le variabili con dimensione maggiore di 16 bits,\n"
                                             "non sono attualmente supportate dal firmware della ECU!!!"));
        QVERIFY(g.selected.isEmpty());
        QCOMPARE(g.availableLabels(), QStringList { "Wide" });
    }

    // Right is faster, Left slower; both wrap between the fastest period and 640 ms.
    void arrowsMoveTheFrequencyChoiceThenRetimeTheSelectedChannel()
    {
        Fixture f;
        f.add("A", 1, 2, 10);
        f.load();
        auto *freq = f.child<QComboBox>("cmbox_freq_sel");
        // On the available list only the choice moves.
        for (const auto &[key, text] : QList<QPair<int, QString>>{
                 {Qt::Key_Right, "200"}, {Qt::Key_Right, "1.5625"}, {Qt::Key_Left, "200"}, {Qt::Key_Left, "100"}}) {
            f.pressOnAvailable(key);
            QCOMPARE(freq->currentText(), text);
        }
        QCOMPARE(f.channels[0]->periodMs, 10u);
        f.pressOnAvailable(Qt::Key_Return);
        f.selectSelectedRow(0);
        QTest::keyClick(f.sel(), Qt::Key_Right);
        QTest::keyClick(f.sel(), Qt::Key_Right);
        QCOMPARE(f.selectedColumn(4), QStringList { "1.5625" });
        QCOMPARE(f.child<QLabel>("lbl_acquisition_time")->text(), QString("3 d  16:53:20"));
        QTest::keyClick(f.sel(), Qt::Key_Left);
        QCOMPARE(f.channels[0]->periodMs, 5u);
    }

    void searchAndSortKeepAddingTheRightChannel()
    {
        Fixture f;
        f.add("temp B", 30, 2, 40);
        f.add("C", 7, 1, 5);
        f.add("Temp A", 1234, 2, 10);
        f.load();
        auto *search = f.child<QLineEdit>("le_var_selection");
        search->setFocus();
        QTest::keyClicks(search, "TEMP");
        QCOMPARE(f.currentLabel(), QString("temp B"));
        QTest::keyClick(search, Qt::Key_Return); // Enter in the search field finds the next, adds nothing
        QCOMPARE(f.currentLabel(), QString("Temp A"));
        QTest::keyClicks(search, "x");
        QVERIFY(f.all()->selectionModel()->selectedRows().isEmpty());
        QVERIFY(f.selected.isEmpty());

        QHeaderView *h = f.all()->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(3) + 5, 5));
        QCOMPARE(f.availableLabels(), QStringList({ "C", "temp B", "Temp A" })); // 007, 030, 1234 numerically
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(4) + 5, 5));
        QCOMPARE(f.availableLabels(), QStringList({ "temp B", "Temp A", "C" })); // 25, 100, 200 Hz
        f.all()->setCurrentIndex(f.all()->model()->index(1, 2));
        f.pressOnAvailable(Qt::Key_Return);
        QCOMPARE(f.selected, QList<ChannelRecord *> { f.channels[2] });
        f.selectSelectedRow(0);
        QTest::keyClick(f.sel(), Qt::Key_Delete);
        QCOMPARE(f.availableLabels(), QStringList({ "temp B", "Temp A", "C" }));
    }

    void channelTriggerRangesAndCorrections()
    {
        Fixture f;
        f.add("Byte", 1, 1, 10);
        ChannelRecord *scaled = f.add("Scaled", 2, 2, 10);
        scaled->typeCode = 1;
        scaled->g1 = 0.5f;
        scaled->o1 = 10;
        f.add("Quarter", 3, 2, 10)->g1 = 0.25f; // 0 to 16383.75
        f.load();
        f.pressEnterTimes(3);

        auto *channel = f.child<QComboBox>("cmbox_scelta_canale");
        auto *low = f.child<QLineEdit>("le_soglia_min");
        auto *high = f.child<QLineEdit>("le_soglia_max");
        auto *delay = f.child<QLineEdit>("le_ritardo");
        QVERIFY(!channel->isEnabled() && !low->isEnabled() && !delay->isEnabled());
        f.chooseTriggerType(3);
        QVERIFY(channel->isEnabled() && low->isEnabled() && high->isEnabled() && delay->isEnabled());
        QCOMPARE(channel->currentText(), QString("Byte"));
        QCOMPARE(low->toolTip(), QString("Min = 0   -   Max = 255"));

        f.typeInto("le_soglia_max", "300");
        QCOMPARE(high->text(), QString("255"));
        f.typeInto("le_ritardo", "30");
        QCOMPARE(delay->text(), QString("25.5"));
        f.typeInto("le_ritardo", "2.35");
        QCOMPARE(delay->text(), QString("25.5"));
        f.typeInto("le_ritardo", "-");
        QCOMPARE(delay->text(), QString("")); // a minus sign cannot be typed here
        low->setFocus(); // leaving it empty gives the shortest delay
        QCOMPARE(delay->text(), QString("0.5"));
        f.typeInto("le_ritardo", "2.5");

        channel->setFocus();
        QTest::keyClick(channel, Qt::Key_Down);
        QCOMPARE(low->toolTip(), QString("Min = -16374   -   Max = 16393.5"));
        f.typeInto("le_soglia_min", "10.4");
        f.typeInto("le_soglia_max", "20");
        TriggerSettings t = f.w->getTrigger();
        QCOMPARE(t.channel, scaled);
        QCOMPARE(t.lowThreshold, 1);
        QCOMPARE(t.highThreshold, 20);
        QCOMPARE(t.delay, quint8(25));

        // Out of range on a 16-bit channel: corrected to a value whose raw form fits.
        QTest::keyClick(channel, Qt::Key_Down);
        f.typeInto("le_soglia_max", "20000");
        QCOMPARE(high->text(), QString("16383.75"));
        f.typeInto("le_soglia_min", "");
        f.typeInto("le_ritardo", "");
        high->setFocus();
        t = f.w->getTrigger();
        QCOMPARE(t.highThreshold, 65535);
        QCOMPARE(t.lowThreshold, 0);
        QCOMPARE(t.delay, quint8(5));

        // "Continuo" keeps only the delay.
        f.chooseTriggerType(1);
        QVERIFY(!channel->isEnabled() && channel->count() == 0 && !low->isEnabled() && delay->isEnabled());
        QCOMPARE(f.w->getTrigger().typeAndDelay(), 0x0501u);
        f.chooseTriggerType(0);
        QCOMPARE(delay->text(), QString("0.5"));
        QCOMPARE(f.w->getTrigger().typeAndDelay(), 0u);
    }

    void renamedTriggerChannelStaysTriggerAndRemovingItAsksFirst()
    {
        Fixture f;
        f.add("A", 1, 1);
        f.add("B", 2, 1);
        f.load();
        f.pressEnterTimes(2);
        f.chooseTriggerType(3);
        auto *channel = f.child<QComboBox>("cmbox_scelta_canale");
        QCOMPARE(channel->currentText(), QString("A"));
        channel->setFocus();
        QTest::keyClick(channel, Qt::Key_Down);
        QCOMPARE(channel->currentText(), QString("B"));
        whenDialogOpens<ChannelSettingsDialog>([](ChannelSettingsDialog *d) {
            auto *label = d->findChild<QLineEdit *>("le_etichetta_var");
            label->selectAll();
            QTest::keyClicks(label, "B2");
            auto *g1 = d->findChild<QLineEdit *>("leg1");
            g1->selectAll();
            QTest::keyClicks(g1, "2");
            QTest::mouseClick(d->findChild<QPushButton *>("btn_ok"), Qt::LeftButton);
        });
        f.selectSelectedRow(1);
        QTest::keyClick(f.sel(), Qt::Key_Return);
        QCOMPARE(channel->currentText(), QString("B2"));
        QCOMPARE(f.child<QLineEdit>("le_soglia_min")->toolTip(), QString("Min = 0   -   Max = 510"));
        QCOMPARE(f.w->getTrigger().channel, f.channels[1]);

        {
            BoxAnswerer no(QMessageBox::No);
            QTest::keyClick(f.sel(), Qt::Key_Delete);
            QCOMPARE(no.texts, QStringList { "Il canale che si sta cancellando, e' impostato come trigger!!!\n"
                                             "Continuare comunque???" });
            QCOMPARE(f.selected.size(), 2);
            QCOMPARE(f.w->getTrigger().type, quint8(3));
        }
        BoxAnswerer yes(QMessageBox::Yes);
        f.selectSelectedRow(1);
        QTest::keyClick(f.sel(), Qt::Key_Delete);
        QCOMPARE(yes.texts.size(), 1);
        QCOMPARE(f.selectedColumn(2), QStringList { "A" });
        QCOMPARE(f.w->getTrigger().type, quint8(0));
        QVERIFY(!channel->isEnabled());
    }

    // A configuration read back from the ECU: its channels, then its trigger.
    void configurationReadBackIsShown()
    {
        Fixture f;
        f.add("A", 1);
        ChannelRecord *b = f.add("B", 2);
        b->g1 = 0.5f;
        b->o1 = 10;
        ChannelRecord *off = f.add("Spento", 3);
        off->loggerEnabled = false;
        f.load();
        f.selected = { f.channels[0], b, off };
        {
            BoxAnswerer boxes;
            f.w->rebuildSelectedList();
            QCOMPARE(boxes.texts, QStringList { "Non è possibile visualizzare questi canali della configurazione ECU,\n"
                                                "perchè nel device corrente non hanno abilitata la funzionalità di "
                                                "logger :\nSpento" });
        }
        QCOMPARE(f.selectedColumn(2), QStringList({ "A", "B" }));
        QCOMPARE(f.selected.size(), 3); // the records stay selected
        QVERIFY(f.availableLabels().isEmpty());
        QCOMPARE(f.child<QLabel>("lbl_acquisition_time")->text(), QString("00:41:40"));

        TriggerSettings t;
        t.type = 3;
        t.delay = 255;
        t.channel = b;
        t.lowThreshold = 20;
        t.highThreshold = 1;
        f.w->setTrigger(t);
        QStringList shown;
        for (const char *name : { "le_soglia_min", "le_soglia_max", "le_ritardo" })
            shown << f.child<QLineEdit>(name)->text();
        QCOMPARE(shown, QStringList({ "20", "10.5", "25.5" }));
        QCOMPARE(f.child<QComboBox>("cmbox_scelta_canale")->currentText(), QString("B"));
        const TriggerSettings back = f.w->getTrigger();
        QCOMPARE(QList<qint32>({ back.lowThreshold, back.highThreshold, back.delay }), QList<qint32>({ 20, 1, 255 }));
    }

    void settingsDialogFrequenciesAndConverter()
    {
        ChannelRecord ch;
        ch.loggedBytes = 2;
        ch.typeCode = 1;
        ch.minPeriodMs = 20;
        ch.periodMs = 40;
        ch.g1 = 0.5f;
        ch.o1 = 10;
        ch.o2 = 1;
        ch.zeroable = true;
        ch.zeroValue = quint32(-4);
        ChannelSettingsDialog d(&ch, nullptr, "channel_setting");
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto *freq = d.findChild<QComboBox *>("cmbox_freq_sampl");
        QCOMPARE(freq->count(), 6); // 50 Hz down to 1.5625 Hz
        QCOMPARE(freq->currentText(), QString("25"));
        QCOMPARE(d.findChild<QLabel *>("lblZeroConst")->text(), QString("8.000000"));
        QTest::mouseClick(d.findChild<QCheckBox *>("chkbox_flag_azzerabile"), Qt::LeftButton);
        QCOMPARE(d.findChild<QLabel *>("lblZeroConst")->text(), QString("------"));

        auto *from = d.findChild<QLineEdit *>("leFromValue");
        auto *to = d.findChild<QLineEdit *>("leToValue");
        auto *convert = d.findChild<QPushButton *>("btnDoConv");
        QCOMPARE(to->toolTip(), QString("Min = -16374.000000   -   Max = 16393.500000"));
        from->selectAll();
        QTest::keyClicks(from, "0xFFFF"); // a signed 16-bit channel reads this as -1
        QTest::mouseClick(convert, Qt::LeftButton);
        QCOMPARE(to->text(), QString("9.5"));

        auto *g1 = d.findChild<QLineEdit *>("leg1");
        auto *o2 = d.findChild<QLineEdit *>("leo2");
        auto typeInto = [](QLineEdit *e, const char *text) {
            e->setFocus();
            e->selectAll();
            QTest::keyClick(e, Qt::Key_Backspace);
            QTest::keyClicks(e, text);
            QTest::keyClick(e, Qt::Key_Return);
        };
        typeInto(g1, "2");
        QVERIFY(d.isVisible()); // Enter in a gain field does not close the dialog
        QCOMPARE(to->text(), QString("8"));
        {
            // G1 = 0 or O2 = 0 would give meaningless ranges: refused, the value in force comes back.
            BoxAnswerer boxes;
            typeInto(g1, "0");
            QCOMPARE(g1->text(), QString("2"));
            typeInto(o2, "");
            QTest::mouseClick(d.findChild<QPushButton *>("btn_ok"), Qt::LeftButton);
            QVERIFY(d.isVisible());
            QCOMPARE(boxes.texts.size(), 2);
            QVERIFY(boxes.texts.first().contains("G1 e O2"));
            QCOMPARE(ch.o2, 1.0f);
            typeInto(o2, "1");
        }

        freq->setCurrentIndex(freq->findText("3.125"));
        QTest::mouseClick(d.findChild<QPushButton *>("btn_ok"), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(ch.periodMs, 320u);
        QCOMPARE(ch.g1, 2.0f);
        QVERIFY(!ch.zeroable);
    }
};

QTEST_MAIN(TestChannelsSelection)
#include "tst_channelsselection.moc"
