// Decimation, the MDF 4.10 and CSV writers, and the quick-look window.
#include "briscaversion.h"
#include "csvwriter.h"
#include "decimation.h"
#include "dumpbytes.h"
#include "plotview.h"
#include "mdf4writer.h"
#include "mdfwriter.h"
#include "quicklookwindow.h"
#include "testfiles.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

// MDF 4 blocks appended one after the other: header, links, data fields.
struct Mdf4Bytes
{
    QByteArray b;
    quint64 block(const char *id, quint64 length, quint64 links)
    {
        const quint64 at = quint64(b.size());
        b.append(QByteArray(int((length + 7) / 8 * 8), '\0'));
        b.replace(int(at), 4, id);
        set<quint64>(at + 8, length).set<quint64>(at + 16, links);
        return at;
    }
    quint64 text(const char *id, const QByteArray &t)
    {
        const quint64 at = block(id, 24 + (t.size() + 8) / 8 * 8, 0);
        b.replace(int(at + 24), t.size(), t);
        return at;
    }
    template<typename T> Mdf4Bytes &set(quint64 at, T v) { qToLittleEndian(v, b.data() + at); return *this; }
};

quint64 u64(const QByteArray &f, quint64 at) { return qFromLittleEndian<quint64>(f.constData() + at); }
quint32 u32(const QByteArray &f, quint64 at) { return qFromLittleEndian<quint32>(f.constData() + at); }

} // namespace

class TestView : public QObject
{
    Q_OBJECT
private slots:
    void decimation_data()
    {
        QTest::addColumn<int>("samples");
        QTest::addColumn<double>("t0");
        QTest::addColumn<double>("t1");
        QTest::addColumn<int>("spike");        // index of a sample of value 1000, -1 for none
        QTest::addColumn<int>("firstIndex");   // samples expected at both ends of the output
        QTest::addColumn<int>("lastIndex");
        QTest::addColumn<int>("maxPoints");
        QTest::newRow("one spike among a million samples stays") << 1000000 << 0.0 << 1e6 << 654321 << 0 << 999999 << 2 * 800 + 2;
        QTest::newRow("a spike right at the start of the range stays") << 1000000 << 5000.0 << 9000.0 << 5000 << 4999 << 9001 << 2 * 800 + 2;
        QTest::newRow("the neighbours outside the range are kept") << 100000 << 1000.5 << 90000.5 << -1 << 1000 << 90001 << 2 * 800 + 2;
        QTest::newRow("few samples come back as they are") << 50 << 10.0 << 20.0 << 15 << 9 << 21 << 13;
        QTest::newRow("a range past the last sample ends with it") << 1000 << 500.0 << 5000.0 << -1 << 499 << 999 << 1602;
    }

    void decimation()
    {
        QFETCH(int, samples);
        QFETCH(double, t0);
        QFETCH(double, t1);
        QFETCH(int, spike);
        QFETCH(int, firstIndex);
        QFETCH(int, lastIndex);
        QFETCH(int, maxPoints);
        std::vector<double> t(static_cast<size_t>(samples)), v(static_cast<size_t>(samples));
        for (int i = 0; i < samples; ++i) {
            t[size_t(i)] = i;
            v[size_t(i)] = std::sin(i * 0.001);
        }
        if (spike >= 0)
            v[size_t(spike)] = 1000;
        const QVector<QPointF> p = Decimation::minMax(t.data(), v.data(), t.size(), t0, t1, 800);
        QVERIFY(p.size() <= maxPoints);
        QCOMPARE(p.first().x(), double(firstIndex));
        QCOMPARE(p.last().x(), double(lastIndex));
        QCOMPARE(spike >= 0, std::any_of(p.begin(), p.end(), [](const QPointF &q) { return q.y() == 1000; }));
        QVERIFY(std::is_sorted(p.begin(), p.end(), [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); }));
        const Decimation::Pyramid pyramid(v.data(), v.size());
        QCOMPARE(Decimation::minMax(t.data(), v.data(), t.size(), t0, t1, 800, &pyramid), p);
        QCOMPARE(Decimation::sampleAtOrBefore(t.data(), t.size(), 10.5), qint64(samples > 10 ? 10 : samples - 1));
    }

    void smallMeasurementAsMdf4()
    {
        LoggedMemory m = smallMeasurement();
        DecodeDataLogged d(m.download());
        Mdf4Writer w(d);
        w.setTexts("P", "S", "C");
        const QDateTime when(QDate(2008, 3, 5), QTime(14, 3, 7), Qt::UTC);
        w.setTimestamp(when);
        QTemporaryDir dir;
        QVERIFY2(w.write(dir.filePath("m.mdf")), qPrintable(w.errorString()));

        Mdf4Bytes e;
        e.b = QByteArray("MDF     4.10    Brisca  ") + QByteArray(40, '\0');
        e.set<quint16>(28, 410);
        const quint64 ns = quint64(when.toMSecsSinceEpoch()) * 1000000;
        const quint64 hd = e.block("##HD", 104, 6);
        e.set<quint64>(hd + 72, ns).set<quint8>(hd + 84, 2);
        const quint64 fh = e.block("##FH", 56, 2);
        e.set<quint64>(hd + 32, fh).set<quint64>(fh + 40, ns).set<quint8>(fh + 52, 2);
        e.set<quint64>(fh + 32, e.text("##MD", "<FHcomment><TX>created</TX><tool_id>Brisca</tool_id><tool_vendor>Brisca</tool_vendor>"
                                               "<tool_version>" BRISCA_VERSION "</tool_version></FHcomment>"));
        e.set<quint64>(hd + 64, e.text("##MD", "<HDcomment><TX>C</TX><common_properties><e name=\"project\">P</e>"
                                               "<e name=\"subject\">S</e></common_properties></HDcomment>"));
        e.set<quint64>(hd + 24, quint64(e.b.size()));
        struct Group { const char *acq, *name, *unit; quint8 type; quint32 bits; double g1; QByteArray records; };
        const Group groups[] = {
            {"10 ms", "RPM", "rpm", 0, 8, 2, QByteArray::fromHex("7b14ae47e17a843f00" "7b14ae47e17a943f01" "b81e85eb51b89e3f02" "7b14ae47e17aa43f03")},
            {"20 ms", "Temp", "C", 2, 16, 1, QByteArray::fromHex("7b14ae47e17a943ffeff" "7b14ae47e17aa43f0500")},
        };
        quint64 previousDg = 0;
        for (const Group &g : groups) {
            const quint64 dg = e.block("##DG", 64, 4);
            if (previousDg)
                e.set<quint64>(previousDg + 24, dg);
            previousDg = dg;
            const quint64 cg = e.block("##CG", 104, 6);
            const quint32 recordBytes = 8 + g.bits / 8;
            e.set<quint64>(dg + 32, cg).set<quint64>(cg + 80, quint64(g.records.size()) / recordBytes).set<quint32>(cg + 96, recordBytes);
            e.set<quint64>(cg + 40, e.text("##TX", g.acq));
            const quint64 time = e.block("##CN", 160, 8);
            e.set<quint64>(cg + 32, time).set<quint64>(time + 40, e.text("##TX", "time")).set<quint64>(time + 72, e.text("##TX", "s"));
            e.set<quint8>(time + 88, 2).set<quint8>(time + 89, 1).set<quint8>(time + 90, 4).set<quint32>(time + 96, 64);
            const quint64 cn = e.block("##CN", 160, 8);
            e.set<quint64>(time + 24, cn).set<quint64>(cn + 40, e.text("##TX", g.name)).set<quint64>(cn + 72, e.text("##TX", g.unit));
            e.set<quint8>(cn + 90, g.type).set<quint32>(cn + 92, 8).set<quint32>(cn + 96, g.bits);
            const quint64 cc = e.block("##CC", 128, 4);
            e.set<quint64>(cn + 56, cc).set<quint8>(cc + 56, 3).set<quint16>(cc + 62, 6);
            e.set<double>(cc + 88, g.g1).set<double>(cc + 120, 1);
            const quint64 dt = e.block("##DT", 24 + quint64(g.records.size()), 0);
            e.set<quint64>(dg + 40, dt);
            e.b.replace(int(dt + 24), g.records.size(), g.records);
        }
        QCOMPARE(TestFiles::readAll(dir.filePath("m.mdf")).toHex(' '), e.b.toHex(' '));
    }

    // Every link of a larger file lands on a block of the expected kind, each
    // data block holds records x record size, and time runs forward.
    void largeMdf4Structure()
    {
        LoggedMemory m = largeMeasurement();
        DecodeDataLogged d(m.download(m.memory.size() - 333));
        Mdf4Writer w(d);
        QTemporaryDir dir;
        QVERIFY(w.write(dir.filePath("big.mdf")));
        const QByteArray f = TestFiles::readAll(dir.filePath("big.mdf"));
        auto block = [&](quint64 at, const char *id) {
            return at % 8 == 0 && at + 24 <= quint64(f.size()) && f.mid(int(at), 4) == id && at + u64(f, at + 8) <= quint64(f.size());
        };
        QVERIFY(block(64, "##HD") && block(u64(f, 96), "##FH") && block(u64(f, 128), "##MD"));
        int groups = 0, channels = 0;
        for (quint64 dg = u64(f, 88); dg; dg = u64(f, dg + 24), ++groups) {
            QVERIFY(block(dg, "##DG"));
            const quint64 cg = u64(f, dg + 32), dt = u64(f, dg + 40);
            QVERIFY(block(cg, "##CG") && block(dt, "##DT"));
            const quint64 records = u64(f, cg + 80), recordBytes = u32(f, cg + 96);
            QCOMPARE(u64(f, dt + 8), 24 + records * recordBytes);
            quint32 bits = 0;
            for (quint64 cn = u64(f, cg + 32); cn; cn = u64(f, cn + 24), ++channels) {
                QVERIFY(block(cn, "##CN") && block(u64(f, cn + 40), "##TX"));
                QVERIFY(f[int(cn + 88)] == 2 || block(u64(f, cn + 56), "##CC"));
                QCOMPARE(u32(f, cn + 92), bits / 8);
                bits += u32(f, cn + 96);
            }
            QCOMPARE(quint64(bits / 8), recordBytes);
            for (quint64 r = 1; r < records; ++r)
                QVERIFY(qFromLittleEndian<double>(f.constData() + dt + 24 + r * recordBytes)
                        > qFromLittleEndian<double>(f.constData() + dt + 24 + (r - 1) * recordBytes));
        }
        QCOMPARE(groups, 5);
        QCOMPARE(channels, 24 + 5);
    }

    void smallMeasurementAsCsv()
    {
        LoggedMemory m = smallMeasurement();
        DecodeDataLogged d(m.download());
        CsvWriter w(d);
        QTemporaryDir dir;
        QVERIFY(w.write(dir.path(), "m"));
        QCOMPARE(TestFiles::readAll(dir.filePath("m_10ms.csv")), QByteArray("time [s],RPM [rpm]\n0.010,0\n0.020,2\n0.030,4\n0.040,6\n"));
        QCOMPARE(TestFiles::readAll(dir.filePath("m_20ms.csv")), QByteArray("time [s],Temp [C]\n0.020,-2\n0.040,5\n"));
    }

    // Tick a channel, pick a lap, read the cursor; then the same measurement
    // saved as MDF 3.30 and 4.10 opens with the same values.
    void windowOnADumpAndItsMdfFiles()
    {
        LoggedMemory m;
        m.periods = {10, 20};
        m.sizes = {2, 1};
        m.runTable = {0, 40, 100, 0, 60};
        m.build();
        for (int c = 0; c < 2; ++c) {
            qToLittleEndian<float>(c ? 0.5f : 1.f, m.records.data() + 55 * c + 10);
            qToLittleEndian<float>(1, m.records.data() + 55 * c + 22);
            std::memcpy(m.records.data() + 55 * c + 26, c ? "Lambda" : "Speed", 6);
        }
        QTemporaryDir dir;
        QVERIFY(TestFiles::writeAll(dir.filePath("d.bin"), dumpFileOf(m)));
        QString error;
        QuickLookWindow w(QuickLookWindow::openFile(dir.filePath("d.bin"), &error), "test");
        QVERIFY2(w.data(), qPrintable(error));
        w.show();
        auto *list = w.findChild<QListWidget *>("lst_channels");
        auto *marks = w.findChild<QListWidget *>("lst_marks");
        QCOMPARE(list->count(), 2);
        w.findChild<QLineEdit *>("le_filter")->setText("lamb");
        QVERIFY(list->item(0)->isHidden() && !list->item(1)->isHidden());
        list->item(1)->setCheckState(Qt::Checked);
        QStringList texts;
        for (int i = 0; i < marks->count(); ++i)
            texts << marks->item(i)->text();
        QCOMPARE(texts, QStringList({"Run 1", "Run 1, giro 1", "Run 1, giro 2", "Run 2"}));
        QTest::mouseClick(marks->viewport(), Qt::LeftButton, {}, marks->visualItemRect(marks->item(2)).center());
        QCOMPARE(w.rangeStart(), 0.2);
        QCOMPARE(w.rangeEnd(), 0.5);
        // Lambda (image channel 1, one byte): sample j = 2000 + j = 0xd0 + j,
        // gain 0.5, every 20 ms from 20 ms into each run; run 2 starts at 0.5 s.
        w.setCursorTime(0.25);
        QCOMPARE(w.cursorValues(), QStringList{"Lambda: 109.5"});
        w.setCursorTime(0.52);
        QCOMPARE(w.cursorValues(), QStringList{"Lambda: 116.5"});
        // Stacked panels keep one time scale although their value labels differ in width.
        w.setChannelTicked(0, true);
        w.setStacked(true);
        const QList<PlotView *> panels = w.findChildren<PlotView *>();
        QCOMPARE(panels.size(), 2);
        const auto aligned = [&panels] {
            const QRectF a = panels[0]->chart()->plotArea(), b = panels[1]->chart()->plotArea();
            return qAbs(a.left() - b.left()) < 1 && qAbs(a.right() - b.right()) < 1;
        };
        QTRY_VERIFY(aligned());

        DecodeDataLogged d(m.download());
        MdfWriter v3(d);
        Mdf4Writer v4(d);
        QVERIFY(v3.write(dir.filePath("3.mdf")) && v4.write(dir.filePath("4.mdf")));
        for (const char *file : {"3.mdf", "4.mdf"}) {
            std::unique_ptr<ViewData> saved = QuickLookWindow::openFile(dir.filePath(file), &error);
            QVERIFY2(saved, qPrintable(error));
            QCOMPARE(saved->channels().size(), 2);
            for (int c = 0; c < 2; ++c)
                QCOMPARE(saved->trace(c).v, w.data()->trace(c).v);
        }
    }
};

QTEST_MAIN(TestView)
#include "tst_view.moc"
