// Prints: MDF 4.10 export of a 64 MiB dump against a plain copy, the time
// from opening the dump to the first frame with 4 channels ticked, and zoom
// steps with 4 traces of 1 M samples. Run: bench_view [work folder].
#include "decimation.h"
#include "dumpbytes.h"
#include "protocoldownload.h"
#include "mdf4writer.h"
#include "mdfwriter.h"
#include "quicklookwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// g1 = 1 and o2 = 1: engineering values equal the raw ones.
void unitScaling(LoggedMemory &m)
{
    for (int c = 0; c < m.periods.size(); ++c) {
        qToLittleEndian<float>(1, m.records.data() + 55 * c + 10);
        qToLittleEndian<float>(1, m.records.data() + 55 * c + 22);
    }
}

// About 200 channels of 1, 2 and 4 bytes over the eight periods, three runs
// with laps, filled to 64 MiB.
LoggedMemory benchMemory(qint64 target)
{
    LoggedMemory m;
    double bytesPerMs = 0;
    for (int c = 0; c < 200; ++c) {
        m.periods.append(LoggedMemory::classes[c % 8]);
        m.sizes.append(c % 5 == 0 ? 4 : c % 2 ? 2 : 1);
        bytesPerMs += double(m.sizes.last()) / m.periods.last();
    }
    const quint32 ticks = quint32(target / bytesPerMs / 5 / 3);
    for (int r = 0; r < 3; ++r) {
        m.runTable.append(0);
        for (int lap = 1; lap <= 4; ++lap)
            m.runTable.append(ticks * lap / 4);
    }
    m.blockSize = 512;
    m.build();
    unitScaling(m);
    return m;
}

double seconds(QElapsedTimer &t) { return t.nsecsElapsed() / 1e9; }

// Process CPU time: on a shared machine the wall clock mostly measures the
// other processes, so both are printed.
double cpuNow()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void printLoad(const char *when)
{
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) == 3)
        std::printf("load average %s: %.2f %.2f %.2f\n", when, load[0], load[1], load[2]);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir tmp(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench_view-XXXXXX") : QString());
    const QString dump = tmp.filePath(QStringLiteral("bench.bin"));
    {
        const LoggedMemory m = benchMemory(64ll << 20);
        QFile f(dump);
        if (!f.open(QIODevice::WriteOnly) || f.write(dumpFileOf(m)) < 0)
            return 1;
    }
    const double mib = QFileInfo(dump).size() / 1048576.0;
    std::printf("dump: %.1f MiB, 200 channels, 3 runs of 4 laps\n", mib);
    printLoad("at start");

    QElapsedTimer t;
    t.start();
    double cpu = cpuNow();
    QFile::copy(dump, tmp.filePath(QStringLiteral("copy.bin")));
    const double copy = seconds(t), copyCpu = cpuNow() - cpu;
    std::printf("plain copy:          %7.3f s  %7.1f MB/s  (cpu %.3f s)\n", copy, mib / copy, copyCpu);

    for (int v = 3; v <= 4; ++v) {
        t.restart();
        cpu = cpuNow();
        DumpFile file;
        file.open(dump);
        DecodeDataLogged d(loggedDownload(file));
        const QString out = tmp.filePath(QStringLiteral("m%1.mdf").arg(v));
        bool ok;
        if (v == 4) {
            Mdf4Writer w(d);
            ok = w.write(out);
        } else {
            MdfWriter w(d);
            ok = w.write(out);
        }
        const double s = seconds(t), c = cpuNow() - cpu;
        std::printf("decode + MDF %s:   %7.3f s  %7.1f MB/s  %.2f x copy  (cpu %.3f s, %.2f x copy; %s, %.1f MiB)\n",
                    v == 4 ? "4.10" : "3.30", s, mib / s, s / copy, c, c / copyCpu, ok ? "ok" : "FAILED",
                    QFileInfo(out).size() / 1048576.0);
    }

    {
        t.restart();
        cpu = cpuNow();
        QString error;
        std::unique_ptr<ViewData> data = QuickLookWindow::openFile(dump, &error);
        const double opened = seconds(t), openedCpu = cpuNow() - cpu;
        QuickLookWindow w(std::move(data), QStringLiteral("bench"));
        for (int c : {0, 1, 8, 57})
            w.setChannelTicked(c, true);
        const double ticked = seconds(t), tickedCpu = cpuNow() - cpu;
        w.show();
        w.grab();
        std::printf("first frame, 4 channels of the 64 MiB dump: %.3f s, cpu %.3f s (dump loaded %.3f s / cpu %.3f s, traces ready %.3f s / cpu %.3f s)\n",
                    seconds(t), cpuNow() - cpu, opened, openedCpu, ticked, tickedCpu);
    }

    {
        LoggedMemory m;
        m.periods = {5, 5, 5, 5};
        m.sizes = {2, 2, 1, 4};
        m.runTable = {0, 500000, 1000000};
        m.build();
        unitScaling(m);
        const QString big = tmp.filePath(QStringLiteral("million.bin"));
        QFile f(big);
        if (!f.open(QIODevice::WriteOnly) || f.write(dumpFileOf(m)) < 0)
            return 1;
        f.close();
        QString error;
        QuickLookWindow w(QuickLookWindow::openFile(big, &error), QStringLiteral("bench"));
        for (int c = 0; c < 4; ++c)
            w.setChannelTicked(c, true);
        w.show();
        w.grab();
        std::printf("traces: %zu samples each\n", w.data()->trace(0).t.size());
        double worst = 0, total = 0, decimation = 0, stepsCpu = 0;
        const int steps = 20;
        QElapsedTimer d;
        for (int i = 0; i < steps; ++i) {
            t.restart();
            cpu = cpuNow();
            // Ten steps in, ten steps out, around a point off centre.
            const double centre = w.rangeStart() + (w.rangeEnd() - w.rangeStart()) * 0.37;
            QMetaObject::invokeMethod(&w, "zoomAt", Q_ARG(double, centre), Q_ARG(double, i < steps / 2 ? 0.8 : 1.25));
            w.grab();
            const double s = seconds(t);
            stepsCpu += cpuNow() - cpu;
            worst = std::max(worst, s);
            total += s;
            // The share of the step that is ours, done again outside the step.
            d.restart();
            for (int c = 0; c < 4; ++c) {
                const ViewTrace &tr = w.data()->trace(c);
                Decimation::minMax(tr.t.data(), tr.v.data(), tr.t.size(), w.rangeStart(), w.rangeEnd(), 1000, &tr.pyramid);
            }
            decimation += seconds(d);
        }
        std::printf("zoom step, 4 traces of 1 M samples: mean %.1f ms, worst %.1f ms, cpu mean %.1f ms (decimation %.1f ms)\n",
                    total / steps * 1000, worst * 1000, stepsCpu / steps * 1000, decimation / steps * 1000);
    }
    printLoad("at end");
    return 0;
}
