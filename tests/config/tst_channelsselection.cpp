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
        for (int i = 0; i < n; ++i)
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
        QCOMPARE(m->index(0, 3).data().toString(), QString("007"));
        QCOMPARE(m->index(1, 3).data().toString(), QString("1234"));
        QCOMPARE(m->index(0, 4).data().toString(), QString("100"));
        QCOMPARE(m->index(1, 4).data().toString(), QString("1.5625"));
        QCOMPARE(m->index(0, 5).data().toString(), QString("2"));
        QCOMPARE(m->index(0, 7).data().toString(), QString("Giri desc"));
        QCOMPARE(m->headerData(4, Qt::Horizontal).toString(), QString("Freq. Tipica (Hz)"));
        QCOMPARE(f.sel()->headerItem()->text(4), QString("Freq. Sel. (Hz)"));
        QVERIFY(f.all()->isColumnHidden(0) && f.all()->isColumnHidden(1));
        QVERIFY(f.sel()->isColumnHidden(0) && f.sel()->isColumnHidden(1));
        QCOMPARE(f.currentLabel(), QString("Giri"));
        auto *freq = f.child<QComboBox>("cmbox_freq_sel");
        QCOMPARE(freq->count(), 8);
        QCOMPARE(freq->currentText(), QString("100"));

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
        QCOMPARE(f.selectedColumn(2), QStringList({ "A" }));
        QCOMPARE(f.currentLabel(), QString("B"));
        QCOMPARE(f.availableLabels(), QStringList({ "B", "C", "D" }));
        QCOMPARE(f.child<QLabel>("lbl_acquisition_time")->text(), QString("01:23:20")); // 2 bytes at 100 Hz

        const QRect cRow = f.all()->visualRect(f.all()->model()->index(1, 2));
        QTest::mouseClick(f.all()->viewport(), Qt::LeftButton, {}, cRow.center());
        QTest::mouseDClick(f.all()->viewport(), Qt::LeftButton, {}, cRow.center());
        QCOMPARE(f.selectedColumn(2), QStringList({ "A", "C" }));
        QCOMPARE(f.currentLabel(), QString("D")); // the last row: the one above... is D after C went

        QTest::mouseClick(f.child<QPushButton>("btn_add_ch"), Qt::LeftButton);
        QCOMPARE(f.selectedColumn(2), QStringList({ "A", "C", "D" }));
        QCOMPARE(f.currentLabel(), QString("B")); // end of the list: the one above
        QCOMPARE(f.selected, QList<ChannelRecord *>({ f.channels[0], f.channels[2], f.channels[3] }));
        QCOMPARE(f.selectedColumn(3), QStringList({ "001", "003", "004" }));
        QCOMPARE(f.selectedColumn(4), QStringList({ "100", "100", "100" }));

        // Adding again what is already selected does nothing.
        f.w->addChannel();
        QCOMPARE(f.selected.size(), 4);
        f.w->addChannel();
        QCOMPARE(f.selected.size(), 4);

        // Removing: the next row becomes current, the channel goes back to its place.
        f.selectSelectedRow(1);
        QTest::keyClick(f.sel(), Qt::Key_Delete);
        QCOMPARE(f.selectedColumn(2), QStringList({ "A", "D", "B" }));
        QCOMPARE(f.sel()->currentItem()->text(2), QString("D"));
        QCOMPARE(f.availableLabels(), QStringList({ "C" }));
        QTest::mouseClick(f.child<QPushButton>("btn_remove_ch"), Qt::LeftButton);
        QCOMPARE(f.selectedColumn(2), QStringList({ "A", "B" }));
        QCOMPARE(f.availableLabels(), QStringList({ "C", "D" }));
        QTest::keyClick(f.sel(), Qt::Key_Delete);
        QTest::keyClick(f.sel(), Qt::Key_Delete); // the last row: the one above
        QVERIFY(f.selected.isEmpty());
        QCOMPARE(f.availableLabels(), QStringList({ "A", "B", "C", "D" }));
        QCOMPARE(f.child<QLabel>("lbl_acquisition_time")->text(), QString("-------"));
    }

    void seventeenthTwoByteChannelAt5msGoesTo10ms()
    {
        Fixture f(64);
        for (int i = 0; i < 17; ++i)
            f.add("ch" + QByteArray::number(i), i, 2, 5);
        f.load();
        f.pressEnterTimes(17);
        QCOMPARE(f.selected.size(), 17);
        const QStringList freqs = f.selectedColumn(4);
        QCOMPARE(freqs.count("200"), 16);
        QCOMPARE(freqs.last(), QString("100"));
        QCOMPARE(f.selected.last()->periodMs, 10u);
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

    void editedLabelComesBackToAvailableList()
    {
        Fixture f;
        f.addLabels({ "Old", "Other" });
        f.load();
        f.pressOnAvailable(Qt::Key_Return);
        whenDialogOpens<ChannelSettingsDialog>([](ChannelSettingsDialog *d) {
            QCOMPARE(d->objectName(), QString("channel_setting"));
            QCOMPARE(d->windowTitle(), QString("Impostazioni..."));
            auto *label = d->findChild<QLineEdit *>("le_etichetta_var");
            label->selectAll();
            QTest::keyClicks(label, "New");
            auto *freq = d->findChild<QComboBox *>("cmbox_freq_sampl");
            freq->setCurrentIndex(freq->findText("25"));
            QTest::mouseClick(d->findChild<QPushButton *>("btn_ok"), Qt::LeftButton);
        });
        f.selectSelectedRow(0);
        QTest::keyClick(f.sel(), Qt::Key_Return);
        QCOMPARE(f.selectedColumn(2), QStringList { "New" });
        QCOMPARE(f.selectedColumn(4), QStringList { "25" });
        QCOMPARE(f.channels[0]->periodMs, 40u);
        QCOMPARE(f.child<QLabel>("lbl_acquisition_time")->text(), QString("05:33:20")); // 50 B/s

        QTest::keyClick(f.sel(), Qt::Key_Delete);
        QCOMPARE(f.availableLabels(), QStringList({ "New", "Other" }));
        f.all()->setCurrentIndex(f.all()->model()->index(0, 2));
        f.pressOnAvailable(Qt::Key_Return);
        QCOMPARE(f.selectedColumn(2), QStringList { "New" });
    }

    // Right is faster, Left slower; both wrap between the fastest period and 640 ms.
    void arrowsMoveTheFrequencyChoiceThenRetimeTheSelectedChannel()
    {
        Fixture f;
        f.add("A", 1, 2, 10);
        f.load();
        auto *freq = f.child<QComboBox>("cmbox_freq_sel");
        using Steps = QList<QPair<int, QString>>;
        // On the available list only the choice moves.
        for (const auto &[key, text] :
             Steps{{Qt::Key_Right, "200"}, {Qt::Key_Right, "1.5625"}, {Qt::Key_Left, "200"}, {Qt::Key_Left, "100"},
                   {Qt::Key_Left, "50"}}) {
            f.pressOnAvailable(key);
            QCOMPARE(freq->currentText(), text);
        }
        QCOMPARE(f.channels[0]->periodMs, 10u);
        f.pressOnAvailable(Qt::Key_Return); // the chosen frequency is what is added
        QCOMPARE(f.selectedColumn(4), QStringList { "50" });

        f.selectSelectedRow(0);
        for (const auto &[key, text] : Steps{{Qt::Key_Right, "100"}, {Qt::Key_Right, "200"}, {Qt::Key_Right, "1.5625"}}) {
            QTest::keyClick(f.sel(), Qt::Key(key));
            QCOMPARE(f.selectedColumn(4), QStringList { text });
        }
        QCOMPARE(f.channels[0]->periodMs, 640u);
        QCOMPARE(f.child<QLabel>("lbl_acquisition_time")->text(), QString("3 d  16:53:20"));
        QTest::keyClick(f.sel(), Qt::Key_Left);
        QCOMPARE(f.selectedColumn(4), QStringList { "200" });
        QTest::keyClick(f.sel(), Qt::Key_Left);
        QCOMPARE(f.selectedColumn(4), QStringList { "100" });
        QCOMPARE(f.child<QLabel>("lbl_acquisition_time")->text(), QString("01:23:20"));
    }

    void searchCyclesThroughMatchesWithEnter()
    {
        Fixture f;
        f.addLabels({ "Temp acqua", "Giri", "temp olio", "Pressione" });
        f.load();
        auto *search = f.child<QLineEdit>("le_var_selection");
        search->setFocus();
        QTest::keyClicks(search, "TEMP");
        QCOMPARE(f.currentLabel(), QString("Temp acqua"));
        QCOMPARE(f.all()->selectionModel()->selectedRows().size(), 1);
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(f.currentLabel(), QString("temp olio"));
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(f.currentLabel(), QString("Temp acqua"));
        QTest::keyClicks(search, "x");
        QCOMPARE(f.currentLabel(), QString("Temp acqua"));
        QVERIFY(f.all()->selectionModel()->selectedRows().isEmpty());
        search->clear();
        QVERIFY(f.all()->selectionModel()->selectedRows().isEmpty());
        QTest::keyClicks(search, "olio");
        QCOMPARE(f.currentLabel(), QString("temp olio"));
        // Enter in the search field does not add; Enter in the list does.
        QVERIFY(f.selected.isEmpty());
        f.pressOnAvailable(Qt::Key_Return);
        QCOMPARE(f.selectedColumn(2), QStringList { "temp olio" });
    }

    void sortingByColumnKeepsAddingTheRightChannel()
    {
        Fixture f;
        f.add("B", 30, 2, 40);
        f.add("C", 7, 1, 5);
        f.add("A", 1234, 2, 10);
        f.load();
        QHeaderView *h = f.all()->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(3) + 5, 5));
        QCOMPARE(f.availableLabels(), QStringList({ "C", "B", "A" })); // 007, 030, 1234 numerically
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(3) + 5, 5));
        QCOMPARE(f.availableLabels(), QStringList({ "A", "B", "C" }));
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(4) + 5, 5));
        QCOMPARE(f.availableLabels(), QStringList({ "B", "A", "C" })); // 25, 100, 200 Hz
        f.all()->setCurrentIndex(f.all()->model()->index(1, 2));
        f.pressOnAvailable(Qt::Key_Return);
        QCOMPARE(f.selected, QList<ChannelRecord *> { f.channels[2] });
        QCOMPARE(f.availableLabels(), QStringList({ "B", "C" }));
        f.selectSelectedRow(0);
        QTest::keyClick(f.sel(), Qt::Key_Delete);
        QCOMPARE(f.availableLabels(), QStringList({ "B", "A", "C" }));
    }

    void channelTriggerRangesAndCorrections()
    {
        Fixture f;
        f.add("Byte", 1, 1, 10);
        ChannelRecord *scaled = f.add("Scaled", 2, 2, 10);
        scaled->typeCode = 1;
        scaled->g1 = 0.5f;
        scaled->o1 = 10;
        f.load();
        f.pressEnterTimes(2);

        auto *channel = f.child<QComboBox>("cmbox_scelta_canale");
        auto *low = f.child<QLineEdit>("le_soglia_min");
        auto *high = f.child<QLineEdit>("le_soglia_max");
        auto *delay = f.child<QLineEdit>("le_ritardo");
        QVERIFY(!channel->isEnabled() && !low->isEnabled() && !delay->isEnabled());
        f.chooseTriggerType(3);
        QVERIFY(channel->isEnabled() && low->isEnabled() && high->isEnabled() && delay->isEnabled());
        QCOMPARE(channel->count(), 2);
        QCOMPARE(channel->currentText(), QString("Byte"));
        QCOMPARE(low->toolTip(), QString("Min = 0   -   Max = 255"));

        f.typeInto("le_soglia_max", "300");
        QCOMPARE(high->text(), QString("255"));
        f.typeInto("le_ritardo", "30");
        QCOMPARE(delay->text(), QString("25.5"));
        f.typeInto("le_ritardo", "2.35");
        QCOMPARE(delay->text(), QString("25.5"));
        delay->setText("0.5");
        delay->end(false);
        QTest::keyClick(delay, Qt::Key_Backspace);
        QCOMPARE(delay->text(), QString("0.")); // on the way to another value
        f.typeInto("le_ritardo", "-");
        QCOMPARE(delay->text(), QString("")); // a minus sign cannot be typed here
        f.typeInto("le_ritardo", "2.5");

        channel->setFocus();
        QTest::keyClick(channel, Qt::Key_Down);
        QCOMPARE(channel->currentText(), QString("Scaled"));
        QCOMPARE(low->toolTip(), QString("Min = -16374   -   Max = 16393.5"));
        f.typeInto("le_soglia_min", "10.4");
        f.typeInto("le_soglia_max", "20");
        TriggerSettings t = f.w->getTrigger();
        QCOMPARE(t.type, quint8(3));
        QCOMPARE(t.channel, scaled);
        QCOMPARE(t.lowThreshold, 1);
        QCOMPARE(t.highThreshold, 20);
        QCOMPARE(t.delay, quint8(25));

        // "Continuo" keeps only the delay.
        f.chooseTriggerType(1);
        QVERIFY(!channel->isEnabled() && channel->count() == 0);
        QCOMPARE(low->text(), QString("0"));
        QVERIFY(!low->isEnabled());
        QCOMPARE(delay->text(), QString("2.5"));
        QVERIFY(delay->isEnabled());
        t = f.w->getTrigger();
        QCOMPARE(t.type, quint8(1));
        QVERIFY(!t.channel);
        QCOMPARE(t.delay, quint8(25));
        QCOMPARE(t.lowThreshold, 0);
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

    void setTriggerShowsStoredValues()
    {
        Fixture f;
        f.add("A", 1);
        ChannelRecord *b = f.add("B", 2);
        b->g1 = 0.5f;
        b->o1 = 10;
        f.load();
        f.selected = { f.channels[0], b };
        f.w->rebuildSelectedList();
        TriggerSettings t;
        t.type = 3;
        t.delay = 255;
        t.channel = b;
        t.lowThreshold = 20;
        t.highThreshold = 1;
        f.w->setTrigger(t);
        QCOMPARE(f.child<QComboBox>("cmbox_tipo_trigger")->currentText(), QString("Int. Canale"));
        QCOMPARE(f.child<QComboBox>("cmbox_scelta_canale")->currentText(), QString("B"));
        QCOMPARE(f.child<QLineEdit>("le_soglia_min")->text(), QString("20"));
        QCOMPARE(f.child<QLineEdit>("le_soglia_max")->text(), QString("10.5"));
        QCOMPARE(f.child<QLineEdit>("le_ritardo")->text(), QString("25.5"));
        const TriggerSettings back = f.w->getTrigger();
        QCOMPARE(back.channel, b);
        QCOMPARE(back.lowThreshold, 20);
        QCOMPARE(back.highThreshold, 1);
        QCOMPARE(back.delay, quint8(255));

        t = TriggerSettings();
        t.type = 2;
        t.delay = 5;
        f.w->setTrigger(t);
        QCOMPARE(f.child<QLineEdit>("le_ritardo")->text(), QString("0.5"));
        QVERIFY(f.child<QLineEdit>("le_ritardo")->isEnabled());
        QVERIFY(!f.child<QLineEdit>("le_soglia_min")->isEnabled());
        QCOMPARE(f.w->getTrigger().typeAndDelay(), 0x0502u);
    }

    void rebuildWarnsAboutChannelsWithoutLogger()
    {
        Fixture f;
        ChannelRecord *a = f.add("A", 1, 2, 10);
        ChannelRecord *off = f.add("Spento", 2);
        off->loggerEnabled = false;
        f.load();
        f.selected = { a, off };
        BoxAnswerer boxes;
        f.w->rebuildSelectedList();
        QCOMPARE(boxes.texts, QStringList { "Non è possibile visualizzare questi canali della configurazione ECU,\n"
                                            "perchè nel device corrente non hanno abilitata la funzionalità di "
                                            "logger :\nSpento" });
        QCOMPARE(f.selectedColumn(2), QStringList { "A" });
        QCOMPARE(f.selected.size(), 2); // the records stay selected
        QVERIFY(f.availableLabels().isEmpty());
        QCOMPARE(f.child<QLabel>("lbl_acquisition_time")->text(), QString("01:23:20"));
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
        ch.label = "Temp";
        ChannelSettingsDialog d(&ch, nullptr, "channel_setting");
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto *freq = d.findChild<QComboBox *>("cmbox_freq_sampl");
        QStringList entries;
        for (int i = 0; i < freq->count(); ++i)
            entries << freq->itemText(i);
        QCOMPARE(entries, QStringList({ "50", "25", "12.5", "6.25", "3.125", "1.5625" }));
        QCOMPARE(freq->currentText(), QString("25"));
        QCOMPARE(d.findChild<QLabel *>("lbl_resolution")->text(), QString("16"));
        QCOMPARE(d.findChild<QLabel *>("lblZeroConst")->text(), QString("8.000000"));
        QTest::mouseClick(d.findChild<QCheckBox *>("chkbox_flag_azzerabile"), Qt::LeftButton);
        QCOMPARE(d.findChild<QLabel *>("lblZeroConst")->text(), QString("------"));

        auto *from = d.findChild<QLineEdit *>("leFromValue");
        auto *to = d.findChild<QLineEdit *>("leToValue");
        auto *convert = d.findChild<QPushButton *>("btnDoConv");
        QCOMPARE(from->text(), QString("0x0"));
        QCOMPARE(to->text(), QString("10"));
        QCOMPARE(to->toolTip(), QString("Min = -16374.000000   -   Max = 16393.500000"));
        from->selectAll();
        QTest::keyClicks(from, "0xFFFF"); // a signed 16-bit channel reads this as -1
        QTest::mouseClick(convert, Qt::LeftButton);
        QCOMPARE(to->text(), QString("9.5"));

        auto *g1 = d.findChild<QLineEdit *>("leg1");
        g1->setFocus();
        g1->selectAll();
        QTest::keyClicks(g1, "2");
        QTest::keyClick(g1, Qt::Key_Return);
        QVERIFY(d.isVisible()); // Enter in a gain field does not close the dialog
        QCOMPARE(to->text(), QString("8"));

        auto *direction = d.findChild<QComboBox *>("cmbBoxSelConv");
        direction->setFocus();
        QTest::keyClick(direction, Qt::Key_Down);
        QCOMPARE(to->toolTip(), QString("Min = 0x-8000   -   Max = 0x7fff"));
        QCOMPARE(from->text(), QString("0"));
        from->selectAll();
        QTest::keyClicks(from, "4");
        QTest::mouseClick(convert, Qt::LeftButton);
        QCOMPARE(to->text(), QString("0x-3"));

        freq->setCurrentIndex(freq->findText("3.125"));
        QTest::mouseClick(d.findChild<QPushButton *>("btn_ok"), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(ch.periodMs, 320u);
        QCOMPARE(ch.g1, 2.0f);
        QVERIFY(!ch.zeroable);
    }

    void settingsDialogCancelKeepsRecord()
    {
        ChannelRecord ch;
        ch.loggedBytes = 4;
        ch.periodMs = 7;
        ch.setIdentity();
        ch.label = "Keep";
        ChannelSettingsDialog d(&ch);
        d.show();
        auto *label = d.findChild<QLineEdit *>("le_etichetta_var");
        label->setFocus();
        QTest::keyClicks(label, "changed");
        auto *g1 = d.findChild<QLineEdit *>("leg1");
        g1->setFocus();
        QTest::keyClicks(g1, "3");
        QTest::keyClick(g1, Qt::Key_Return);
        QTest::keyClick(&d, Qt::Key_Escape);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(ch.label, QByteArray("Keep"));
        QCOMPARE(ch.g1, 1.0f);
        QCOMPARE(ch.periodMs, 7u);
    }
};

QTEST_MAIN(TestChannelsSelection)
#include "tst_channelsselection.moc"
