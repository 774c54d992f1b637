// Channel selection with a 20,000-channel device: filling the available list,
// search keystrokes and adding 200 channels one by one. Prints each figure.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTableView>
#include <QTreeWidget>

#include "availablechannelsmodel.h"
#include "channelsselection.h"

#include <cstdio>
#include <memory>
#include <vector>

static double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int count = 20000;
    std::vector<std::unique_ptr<ChannelRecord>> owned;
    QList<ChannelRecord *> channels;
    for (int i = 0; i < count; ++i) {
        auto ch = std::make_unique<ChannelRecord>();
        ch->tableAddress = quint32(i);
        ch->factoryName = "var_" + QByteArray::number(i);
        ch->uniqueCode = ch->factoryName + "_" + QByteArray::number(i);
        ch->label = "Canale " + QByteArray::number(i) + (i % 7 ? " temp" : " press");
        ch->description = "Variabile di prova numero " + QByteArray::number(i);
        ch->unit = i % 2 ? "bar" : "degC";
        ch->loggedBytes = 1 + i % 2;
        ch->loggerBytes = ch->loggedBytes;
        ch->minPeriodMs = 5;
        ch->periodMs = 5u << (i % 8);
        ch->loggerEnabled = true;
        ch->setIdentity();
        channels << ch.get();
        owned.push_back(std::move(ch));
    }
    LoggerTable table;
    table.valid = 1;
    table.channelsCountOffline = 512;
    table.availableBytes = 4000000;
    QList<ChannelRecord *> selected;

    ChannelsSelection w;
    w.setSelectedList(&selected);
    w.setLoggerTable(&table);
    w.setFastestPeriod(5);
    w.resize(1200, 800);
    w.show();
    QApplication::processEvents();

    QElapsedTimer t;
    t.start();
    w.fillAvailableList(channels, true, false);
    w.setControlsEnabled(true);
    QApplication::processEvents();
    std::printf("fill available list, %d channels: %.1f ms (target <= 300)\n", count, ms(t));

    auto *search = w.findChild<QLineEdit *>("le_var_selection");
    auto *all = w.findChild<QTableView *>("lstvu_all_chs");
    search->setFocus();
    double worstKey = 0, keyTotal = 0;
    int keys = 0;
    for (const char *text : { "press", "19999", "nothing matches" }) {
        search->clear();
        QApplication::processEvents();
        for (const char *c = text; *c; ++c) {
            t.restart();
            QTest::keyClick(search, *c);
            QApplication::processEvents();
            const double k = ms(t);
            worstKey = qMax(worstKey, k);
            keyTotal += k;
            ++keys;
        }
    }
    t.restart();
    QTest::keyClick(search, Qt::Key_Return);
    QApplication::processEvents();
    std::printf("search keystroke: mean %.2f ms, worst %.2f ms over %d keys (target <= 20); "
                "Enter to next match %.2f ms\n",
                keyTotal / keys, worstKey, keys, ms(t));

    // Adding: Enter on the available list adds its current channel and moves
    // on to the next one. First as fast as keys arrive (one repaint at the
    // end), then with a repaint after every add as a user would see it.
    auto *sel = w.findChild<QTreeWidget *>("lstvu_selected_chs");
    auto addMany = [&](int n, bool repaintEach, double *worst) {
        all->setFocus();
        all->setCurrentIndex(all->model()->index(100, 2));
        QApplication::processEvents();
        QElapsedTimer whole, one;
        whole.start();
        for (int i = 0; i < n; ++i) {
            one.start();
            QTest::keyClick(all, Qt::Key_Return);
            if (repaintEach)
                QApplication::processEvents();
            *worst = qMax(*worst, ms(one));
        }
        QApplication::processEvents();
        return ms(whole);
    };
    auto removeAll = [&](bool repaintEach) {
        sel->setFocus();
        sel->setCurrentItem(sel->topLevelItem(0));
        QElapsedTimer whole;
        whole.start();
        while (sel->topLevelItemCount() > 0) {
            QTest::keyClick(sel, Qt::Key_Delete);
            if (repaintEach)
                QApplication::processEvents();
        }
        QApplication::processEvents();
        return ms(whole);
    };
    search->clear();
    double worst = 0;
    double total = addMany(200, false, &worst);
    std::printf("add 200 channels one by one: %.1f ms in all, worst %.2f ms (target <= 200); selected %lld, "
                "acquisition time %s\n",
                total, worst, qlonglong(selected.size()),
                qPrintable(w.findChild<QWidget *>("lbl_acquisition_time")->property("text").toString()));
    std::printf("remove them one by one: %.1f ms in all\n", removeAll(false));
    worst = 0;
    total = addMany(200, true, &worst);
    std::printf("same with a repaint after every add: %.1f ms in all, %.2f ms per add, worst %.2f ms\n", total,
                total / 200, worst);
    std::printf("remove them with a repaint after each: %.1f ms in all\n", removeAll(true));
    return 0;
}
