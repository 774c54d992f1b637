// Decoding of logged memory and the 2D and MDF files made from it.
#include "exportnaming.h"
#include "loggedmemory.h"
#include "mdfwriter.h"
#include "samplecodec.h"
#include "simrecording.h"
#include "testfiles.h"
#include "writer2d.h"

#include <QProcess>
#include <sched.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <QTest>

using I64s = QVector<qint64>;
using U64s = QVector<quint64>;
using U32s = QVector<quint32>;

namespace {

// Bytes set field by field at offsets taken from the file layouts.
struct Bytes
{
    QByteArray b;
    Bytes &s(int at, const QByteArray &t) { b.replace(at, t.size(), t); return *this; }
    template<typename T> Bytes &v(int at, T x) { qToLittleEndian(x, b.data() + at); return *this; }
    Bytes &u16(int at, quint16 x) { return v(at, x); }
    Bytes &u32(int at, quint32 x) { return v(at, x); }
    Bytes &f64(int at, double x) { return v(at, x); }
};
Bytes zeros(int n) { return {QByteArray(n, '\0')}; }

quint16 u16(const QByteArray &f, quint32 at) { return qFromLittleEndian<quint16>(f.constData() + at); }
quint32 u32(const QByteArray &f, quint32 at) { return qFromLittleEndian<quint32>(f.constData() + at); }

const QDateTime when(QDate(2008, 3, 5), QTime(14, 3, 7));

} // namespace

class TestLogData : public QObject
{
    Q_OBJECT
private slots:
    void decoding_data()
    {
        QTest::addColumn<QVector<int>>("periods");
        QTest::addColumn<QVector<int>>("sizes");
        QTest::addColumn<U32s>("table");
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("memorySize");   // -1: all of it
        QTest::addColumn<int>("capacity");     // -1: the channel count
        QTest::addColumn<I64s>("laps");
        QTest::addColumn<U64s>("starts");
        QTest::addColumn<I64s>("counts");      // per channel by period; empty: refused
        QTest::addColumn<QString>("diagnostic");

        QTest::newRow("a 10 ms channel comes before a 20 ms one in a slot")
            << QVector<int>{20, 10} << QVector<int>{2, 2} << U32s{0, 40} << 0 << -1 << -1 << I64s{40} << U64s{0}
            << I64s{20, 10} << "";
        QTest::newRow("two runs: laps run on from the first run's start")
            << QVector<int>{5} << QVector<int>{1} << U32s{0, 40, 100, 0, 60} << 0 << -1 << -1 << I64s{40, 100, 160}
            << U64s{0, 100} << I64s{160} << "";
        QTest::newRow("equal periods keep their image order")
            << QVector<int>{20, 10, 20} << QVector<int>{1, 2, 4} << U32s{0, 8} << 0 << -1 << -1 << I64s{8} << U64s{0}
            << I64s{4, 2, 2} << "";
        QTest::newRow("a run that starts after the downloaded bytes is empty")
            << QVector<int>{5} << QVector<int>{1} << U32s{0, 10, 0, 10} << 0 << 5 << -1 << I64s{10, 20}
            << U64s{0, 10} << I64s{5} << "numCampioniRun Errore = 0x00000005";
        QTest::newRow("lap marks before the first run are ignored")
            << QVector<int>{5} << QVector<int>{2} << U32s{7, 0, 10} << 0 << -1 << -1 << I64s{10} << U64s{0}
            << I64s{10} << "outside any run";
        QTest::newRow("a zero period is refused; runs are still read")
            << QVector<int>{0, 10} << QVector<int>{2, 2} << U32s{0, 10} << 0 << -1 << -1 << I64s{10} << U64s{0}
            << I64s{} << "period of 0";
        QTest::newRow("more channels than the image holds are refused")
            << QVector<int>{5, 5} << QVector<int>{1, 1} << U32s{0, 10} << 0 << -1 << 1 << I64s{10} << U64s{0}
            << I64s{} << "holds 1";
        QTest::newRow("a sample size of 0 is refused")
            << QVector<int>{5} << QVector<int>{0} << U32s{0, 10} << 0 << -1 << -1 << I64s{10} << U64s{0} << I64s{}
            << "sample size of 0";
    }

    // Recordings of the simulated logger, decoded run by run: every sample
    // of every channel lies where the logger's ground truth says and holds
    // its raw value; what the download lacks is missing, with a diagnostic.
    void decodingMatchesTheLoggersTruth_data()
    {
        QTest::addColumn<int>("runs");
        QTest::addColumn<int>("laps");
        QTest::addColumn<int>("delay");       // 100 ms steps
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("fill");
        QTest::addColumn<int>("cut");         // bytes missing at the end of the download
        QTest::addColumn<int>("damage");      // 1: run count past the table, 2: a run longer than the memory
        QTest::addColumn<QString>("diagnostic");
        QTest::newRow("one run with laps, 4096-byte pages") << 1 << 3 << 0 << 4096 << false << 0 << 0 << "";
        QTest::newRow("three runs with laps until the memory is full") << 3 << 2 << 0 << 256 << true << 0 << 0 << "";
        QTest::newRow("a trigger delay before each run, no alignment") << 2 << 1 << 15 << 0 << false << 0 << 0 << "";
        QTest::newRow("a download cut in the middle of the last run")
            << 2 << 1 << 0 << 512 << true << 1001 << 0 << "oltrepassato la dimensione";
        QTest::newRow("a run count past the run table") << 2 << 1 << 0 << 256 << false << 0 << 1 << "only 207 exist";
        QTest::newRow("a run longer than the memory") << 2 << 1 << 0 << 256 << true << 0 << 2 << "were downloaded";
    }

    void decodingMatchesTheLoggersTruth()
    {
        QFETCH(int, runs);
        QFETCH(int, laps);
        QFETCH(int, delay);
        QFETCH(int, page);
        QFETCH(bool, fill);
        QFETCH(int, cut);
        QFETCH(int, damage);
        QFETCH(QString, diagnostic);
        SimRecorded r = recordWithSimLogger({24, 256u << 10, quint32(page), runs, laps, 20, delay, fill});
        QVERIFY(r.ok);
        quint8 *header = reinterpret_cast<quint8 *>(r.readBack.data());
        const int entries = header[39];
        if (damage == 1)
            header[39] = 250;
        if (damage == 2)
            qToLittleEndian<quint32>(0x00FFFFFF, header + 42 + 4 * (entries - 1));
        LoggedDownload in;
        in.memory = reinterpret_cast<const quint8 *>(r.memory.constData());
        in.memorySize = quint32(r.memory.size() - cut);
        in.header = header;
        in.imageHead = header + 884;
        in.records = in.imageHead + 20 + 5 * SimRecorded::Capacity;
        in.capacity = SimRecorded::Capacity;
        in.blockSize = quint32(page);
        DecodeDataLogged d(in);
        QCOMPARE(d.numRun(), runs + (damage == 1 ? 207 - entries : 0));

        // channel,run,sample,time_ms,raw,offset; the lists count by period.
        QVector<int> byImage(d.channelCount());
        for (int c = 0; c < d.channelCount(); ++c)
            byImage[d.channels()[c].imageIndex] = c;
        QVector<QVector<qint64>> expected(runs, QVector<qint64>(d.channelCount()));
        for (const QByteArray &line : r.truth.split('\n')) {
            const QList<QByteArray> f = line.split(',');
            if (line.startsWith('#') || f.size() != 6)
                continue;
            const int c = byImage[f[0].toInt()], k = f[1].toInt();
            const int size = d.channels()[c].sampleSize;
            if (f[5].toLongLong() + size > qint64(in.memorySize))
                continue;   // beyond the download
            const SampleList &l = (*d.getVarDataInRun(k))[c];
            const qint64 j = f[2].toLongLong();
            QCOMPARE(expected[k][c], j);
            ++expected[k][c];
            QCOMPARE(l.at(j) - in.memory, f[5].toLongLong());
            QCOMPARE(SampleCodec::readRaw(l.at(j), size), f[4].toUInt());
        }
        for (int k = 0; k < runs; ++k)
            for (int c = 0; c < d.channelCount(); ++c)
                QCOMPARE((*d.getVarDataInRun(k))[c].count(), expected[k][c]);
        const QString said = d.diagnostics().join('\n');
        QVERIFY2(diagnostic.isEmpty() ? said.isEmpty() : said.contains(diagnostic), qPrintable(said));
    }

    void decoding()
    {
        QFETCH(QVector<int>, periods);
        QFETCH(QVector<int>, sizes);
        QFETCH(U32s, table);
        QFETCH(int, block);
        QFETCH(int, memorySize);
        QFETCH(int, capacity);
        QFETCH(I64s, laps);
        QFETCH(U64s, starts);
        QFETCH(I64s, counts);
        QFETCH(QString, diagnostic);
        LoggedMemory m;
        m.periods = periods;
        m.sizes = sizes;
        m.runTable = table;
        m.blockSize = quint32(block);
        m.build();
        DecodeDataLogged d(m.download(memorySize, capacity));
        QCOMPARE(d.numRun(), int(std::count(table.begin(), table.end(), 0u)));
        QCOMPARE(int(quint8(m.header[40])), d.numRun());
        QCOMPARE(d.lapMarks(), laps);
        QCOMPARE(d.runStarts(), starts);
        QCOMPARE(d.totalTime(), (laps.isEmpty() ? 0 : laps.last()) * 5);
        QCOMPARE(d.getVarDataInRun(d.numRun()), nullptr);
        QCOMPARE(d.getVarDataInRun(-1), nullptr);
        const QList<SampleList> *all = d.getVarDataInAllRun();
        QCOMPARE(all != nullptr, !counts.isEmpty());
        for (int c = 0; all && c < all->size(); ++c) {
            const SampleList &l = (*all)[c];
            QCOMPARE(l.count(), counts[c]);
            QCOMPARE(d.sampleCount(c), counts[c]);
            SampleList::Cursor cur(l);
            for (qint64 j = 0; j < l.count(); ++j) {
                const quint8 *p = cur.next();
                QCOMPARE(p, l.at(j));
                QVERIFY(p + l.channel->sampleSize <= d.memory() + d.memorySize());
                quint32 v = 0;
                for (int b = 0; b < l.channel->sampleSize; ++b)
                    v = v << 8 | p[b];
                QCOMPARE(v, LoggedMemory::value(l.channel->imageIndex, j, l.channel->sampleSize));
            }
            QVERIFY(cur.atEnd());
        }
        if (all && d.numRun() > 1) {   // the last run alone goes on with the channel's numbering
            const SampleList &last = (*d.getVarDataInRun(d.numRun() - 1))[0];
            const int size = last.channel->sampleSize;
            if (last.count() > 0)
                QCOMPARE(quint32(*last.at(0)) >> 0, LoggedMemory::value(last.channel->imageIndex, counts[0] - last.count(), size) >> (8 * size - 8));
        }
        const QString said = d.diagnostics().join('\n') + '\n' + d.refusal();
        QVERIFY2(diagnostic.isEmpty() ? d.diagnostics().isEmpty() : said.contains(diagnostic), qPrintable(said));
    }

    void smallMeasurementAsMdf()
    {
        LoggedMemory m = smallMeasurement();
        DecodeDataLogged d(m.download());
        MdfWriter w(d);
        w.setTexts("P", "S", "hi");
        w.setTimestamp(when);
        QTemporaryDir dir;
        QVERIFY2(w.write(dir.filePath("m.mdf")), qPrintable(w.errorString()));

        Bytes e = zeros(1595);
        e.s(0, "MDF     3.30    ORVT_LGR").u16(28, 330);
        e.s(64, "HD").u16(66, 208).u32(68, 279).u32(72, 272).u16(80, 2).s(82, "05:03:2008").s(92, "14:03:07")
            .s(164, "P").s(196, "S");
        e.s(272, "TX").u16(274, 7).s(276, "hi");
        struct G { quint32 dg; QByteArray records; quint16 recordSize; quint32 count; double interval; const char *label, *unit;
                   quint16 bits, type; double g1, o1; };
        const G groups[2] = {{279, QByteArray::fromHex("00010203"), 1, 4, 0.01, "RPM", "rpm", 8, 0, 2, 0},
                             {937, QByteArray::fromHex("feff0500"), 2, 2, 0.02, "Temp", "C", 16, 1, 1, 0}};
        for (const G &g : groups) {
            const quint32 cg = g.dg + 28 + g.records.size(), tn = cg + 30, cn = tn + 274;
            e.s(g.dg, "DG").u16(g.dg + 2, 28).u32(g.dg + 4, g.dg == 279 ? 937 : 0).u32(g.dg + 8, cg).u32(g.dg + 16, g.dg + 28)
                .u16(g.dg + 20, 1).s(g.dg + 28, g.records);
            e.s(cg, "CG").u16(cg + 2, 30).u32(cg + 8, tn).u16(cg + 18, 2).u16(cg + 20, g.recordSize).u32(cg + 22, g.count);
            e.s(tn, "CN").u16(tn + 2, 228).u32(tn + 4, cn).u32(tn + 8, tn + 228).u16(tn + 24, 1).s(tn + 26, "time")
                .s(tn + 58, "virtual time channel").u16(tn + 190, 3).f64(tn + 210, g.interval);
            e.s(tn + 228, "CC").u16(tn + 230, 46).s(tn + 250, "s").u16(tn + 270, 65535);
            e.s(cn, "CN").u16(cn + 2, 228).u32(cn + 8, cn + 228).s(cn + 26, g.label).u16(cn + 188, g.bits).u16(cn + 190, g.type);
            e.s(cn + 228, "CC").u16(cn + 230, 94).s(cn + 250, g.unit).u16(cn + 270, 9).u16(cn + 272, 6).f64(cn + 282, g.g1)
                .f64(cn + 290, g.o1).f64(cn + 314, 1);
        }
        QCOMPARE(TestFiles::readAll(dir.filePath("m.mdf")).toHex(' '), e.b.toHex(' '));
    }

    void smallMeasurementAs2D()
    {
        LoggedMemory m = smallMeasurement();
        DecodeDataLogged d(m.download());
        Writer2D w(d);
        w.setComment({"hi "});
        w.setTimestamp(when);
        QTemporaryDir dir;
        const QString mes = dir.filePath("Run.01.mes");
        QVERIFY(QDir().mkpath(mes));
        QVERIFY2(w.write(mes), qPrintable(w.errorString()));
        const QString base = mes + "/Run";
        QCOMPARE(TestFiles::readAll(base + ".hed"),
                 "[DOWNLOAD]\nBasic samplingrate = 200 [Hz]\nDate =05.03.2008\nTime =14:03h\nECUInfo =ECU-1"
                     + QByteArray(27, '\0') + "\nLoggerRuns =1\n\n[CHANNELS]\nD1 = RPM [rpm] 100 [Hz]\n"
                     "D2 = Temp [C] 50 [Hz]\n\n[Comment]\n0=hi \n\n");
        QCOMPARE(TestFiles::readAll(base + ".lap").toHex(), QByteArray("01000000c80000000000000008000000"));
        Bytes e = zeros(64 + 72 + 2 * 106);
        e.u32(0, 64).u32(4, 100).s(8, "2D").s(48, "ORV");
        e.u32(64, 72).u32(68, 256).s(72, "Channels").u16(88, 2).u32(90, 106).u16(94, 10);
        const quint32 fields[10] = {24, 2, 8, 32, 4, 4, 4, 4, 8, 16};
        for (int f = 0; f < 10; ++f)
            e.u32(96 + 4 * f, fields[f]);
        struct C { const char *label, *unit, *ext; double g1, o1; float hz; };
        const C chs[2] = {{"RPM", "rpm", "A000", 2, 0, 100}, {"Temp", "C", "A001", 1, -32768, 50}};
        for (int i = 0; i < 2; ++i) {
            const int r = 136 + 106 * i;
            e.u32(r, 106).u32(r + 4, 256).s(r + 8, chs[i].label).u16(r + 24, quint16(i)).s(r + 26, chs[i].unit)
                .f64(r + 34, chs[i].g1).f64(r + 42, chs[i].o1).f64(r + 58, 1).v<float>(r + 66, chs[i].hz).u32(r + 70, 2)
                .s(r + 74, "U").u32(r + 78, 16).s(r + 82, chs[i].ext);
        }
        QCOMPARE(TestFiles::readAll(base + ".ldf").toHex(' '), e.b.toHex(' '));
        // RPM: raw - 1 after the zero correction; Temp: offset binary, -2 -> 0x7ffe.
        QCOMPARE(TestFiles::readAll(base + ".A000").toHex(), QByteArray("0000010002000300"));
        QCOMPARE(TestFiles::readAll(base + ".A001").toHex(), QByteArray("fe7f0580"));
    }

    // Each data file of a download, whole or cut at points that leave some
    // channels of a period a sample ahead, holds every sample of its channel
    // in order, whether the files are written on one core or two.
    void large2DOnOneCoreAndTwo()
    {
        LoggedMemory m = largeMeasurement();
        QTemporaryDir dir;
        cpu_set_t all, one;
        QVERIFY(sched_getaffinity(0, sizeof all, &all) == 0);
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        for (int cut : {0, 10, 50, 333}) {
            DecodeDataLogged d(m.download(m.memory.size() - cut));
            for (const char *cores : {"one", "all"}) {
                QVERIFY(sched_setaffinity(0, sizeof one, !qstrcmp(cores, "one") ? &one : &all) == 0);
                const QString mes = dir.filePath(QStringLiteral("%1-%2").arg(cut).arg(cores));
                QVERIFY(QDir().mkpath(mes));
                Writer2D w(d);
                const bool written = w.write(mes);
                sched_setaffinity(0, sizeof all, &all);
                QVERIFY2(written, qPrintable(w.errorString()));
                for (int i = 0; i < d.channels().size(); ++i) {
                    const ChannelInfo &c = d.channels()[i];
                    const int width = c.sampleSize == 4 ? 4 : 2;
                    QByteArray e(int(d.sampleCount(i)) * width, '\0');
                    for (int j = 0; j * width < e.size(); ++j) {
                        const quint32 v = LoggedMemory::value(c.imageIndex, j, c.sampleSize);
                        if (width == 4)
                            qToLittleEndian(v, e.data() + j * width);
                        else
                            qToLittleEndian(quint16(v), e.data() + j * width);
                    }
                    QVERIFY(!e.isEmpty());
                    const QString file = QStringLiteral("%1/%2-%3.A%4").arg(mes).arg(cut).arg(cores).arg(i, 3, 10, QLatin1Char('0'));
                    QVERIFY2(TestFiles::readAll(file) == e, qPrintable(file));
                }
            }
        }
    }

    // Every link of a larger file lands on a block of the expected kind, and
    // each data block is records x record size.
    void largeMdfStructure()
    {
        LoggedMemory m = largeMeasurement();
        DecodeDataLogged d(m.download(m.memory.size() - 333));
        MdfWriter w(d);
        QTemporaryDir dir;
        QVERIFY(w.write(dir.filePath("big.mdf")));
        const QByteArray f = TestFiles::readAll(dir.filePath("big.mdf"));
        auto block = [&](quint32 at, const char *id) {
            return at + 4 <= quint32(f.size()) && f.mid(at, 2) == id && at + u16(f, at + 2) <= quint32(f.size());
        };
        QVERIFY(block(64, "HD") && block(u32(f, 72), "TX"));
        int groups = 0;
        for (quint32 dg = u32(f, 68); dg; dg = u32(f, dg + 4), ++groups) {
            QVERIFY(block(dg, "DG"));
            const quint32 cg = u32(f, dg + 8);
            QVERIFY(block(cg, "CG"));
            QCOMPARE(cg - u32(f, dg + 16), u32(f, cg + 22) * u16(f, cg + 20));
            int channels = 0;
            quint32 bits = 0;
            for (quint32 cn = u32(f, cg + 8); cn; cn = u32(f, cn + 4), ++channels) {
                QVERIFY(block(cn, "CN") && block(u32(f, cn + 8), "CC"));
                QCOMPARE(u16(f, cn + 186), quint16(u16(f, cn + 24) ? 0 : bits));
                bits += u16(f, cn + 188);
            }
            QCOMPARE(channels, int(u16(f, cg + 18)));
            QCOMPARE(bits, 8u * u16(f, cg + 20));
        }
        QCOMPARE(groups, int(u16(f, 80)));
        QCOMPARE(groups, 5);

        // A full disk: an error, and nothing under the final names.
        if (geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        QVERIFY(QDir().mkpath(dir.filePath("full")));
        QCOMPARE(QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", dir.filePath("full")}), 0);
        QVERIFY(!w.write(dir.filePath("full/big.mdf")));
        Writer2D w2(d);
        QVERIFY(!w2.write(dir.filePath("full")));
        const QStringList left = QDir(dir.filePath("full")).entryList(QDir::Files);
        QProcess::execute("umount", {dir.filePath("full")});
        QVERIFY(w.errorString().contains("No space") && w2.errorString().contains("No space"));
        QCOMPARE(left, QStringList());
    }

    void namingRules()
    {
        QTemporaryDir dir;
        for (const char *f : {"1.mdf", "7.mdf", "run_3.mdf", "run_12.mdf", "run_x.mdf"})
            QVERIFY(TestFiles::writeAll(dir.filePath(f), ""));
        QCOMPARE(ExportNaming::measureMdf(3, "run", dir.path(), when), QString("8.mdf"));
        QCOMPARE(ExportNaming::measureMdf(2, "run", dir.path(), when), QString("run_13.mdf"));
        QCOMPARE(ExportNaming::measureMdf(3, "", dir.filePath("empty"), when), QString("1.mdf"));
        QCOMPARE(ExportNaming::measureMdf(1, "d", dir.path(), when), QString("20080305_140307_d.mdf"));
        QCOMPARE(ExportNaming::measure2D(1, "d", when), QString("20080305_140307_d"));
        QCOMPARE(ExportNaming::commentLines("a b c d e f g h i j k l"), QStringList({"a b c d e ", "f g h i j ", "k l "}));
        QCOMPARE(ExportNaming::commentLines(" a b c d e\nf g h i j "), QStringList({"a b c d e ", "f g h i j ", ""}));
        QCOMPARE(ExportNaming::commentLines(""), QStringList{""});
    }

    void aFileThatIsNotADumpIsRefused()
    {
        QTemporaryDir dir;
        const QString text = dir.filePath("notes.bin");
        QVERIFY(TestFiles::writeAll(text, "these are not the bytes of a logger dump\n"));
        const QString tool = QCoreApplication::applicationDirPath() + "/brisca-tool";
        for (const QStringList &args : {QStringList{"dump", "info", text}, QStringList{"convert", text, "--mdf", dir.path()}}) {
            QProcess p;
            p.start(tool, args);
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitCode(), 1);
            QVERIFY(p.readAllStandardError().contains("not a logger dump"));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"notes.bin"});
    }
};

QTEST_GUILESS_MAIN(TestLogData)
#include "tst_logdata.moc"
