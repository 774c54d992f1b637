// Records a 64 MiB logger dump with the simulated logger (200 channels of 1,
// 2 and 4 bytes over the eight periods, four runs with laps) and times, in
// the same run:
// a plain copy of the dump file and load + decode + write as MDF 3.30, MDF
// 4.10 and 2D. Targets: each export at most 2x the copy; peak memory of each
// export below the dump size + 64 MiB.
//
//   bench_data [repeats] [folder]
//   bench_data --dump FILE [--truth FILE] [--small]
//                               only record the dump (and the ground truth)
//   bench_data --profile copy|mdf|mdf4|2d DUMP [N]
//                               one job N times, for a profiler

#include "decodedatalogged.h"
#include "protocoldownload.h"
#include "mdf4writer.h"
#include "mdfwriter.h"
#include "simrecording.h"
#include "writer2d.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <sys/resource.h>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr quint32 MemoryBytes = 64u << 20;
constexpr int Channels = 200;
constexpr int Runs = 4;

// Peak resident memory since the last reset (Linux VmHWM).
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double peakMiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

bool plainCopy(const QString &from, const QString &to)
{
    QFile in(from), out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    std::vector<char> buf(1 << 20);
    for (qint64 n; (n = in.read(buf.data(), qint64(buf.size()))) > 0;)
        if (out.write(buf.data(), n) != n)
            return false;
    return true;
}

enum Kind { Mdf, Mdf4, TwoD };

// A fixed time stamp makes the files of one dump the same in every run, so
// their checksums show whether a change to a writer changed its output.
const QDateTime benchTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);

QByteArray checksum(const QStringList &paths)
{
    QCryptographicHash h(QCryptographicHash::Md5);
    for (const QString &path : paths) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            h.addData(&f);
    }
    return h.result().toHex().left(12);
}

bool exportDump(const QString &dump, const QString &target, Kind kind)
{
    DumpFile f;
    if (!f.open(dump))
        return false;
    DecodeDataLogged d(loggedDownload(f));
    if (kind == Mdf) {
        MdfWriter w(d);
        w.setTexts(QStringLiteral("bench"), QStringLiteral("64 MiB"), QStringLiteral("BENCH ECU 1.0\n"));
        w.setTimestamp(benchTime);
        return w.write(target);
    }
    if (kind == Mdf4) {
        Mdf4Writer w(d);
        w.setTexts(QStringLiteral("bench"), QStringLiteral("64 MiB"), QStringLiteral("BENCH ECU 1.0"));
        w.setTimestamp(benchTime);
        return w.write(target);
    }
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    Writer2D w(d);
    w.setComment({QString()});
    w.setTimestamp(benchTime);
    return w.write(target);
}

struct Figure
{
    double seconds = 1e9;
    double cpu = 1e9;   // user + system
    double peak = 0;
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Figure measure(int repeats, const std::function<bool()> &job)
{
    Figure f;
    for (int i = 0; i < repeats; ++i) {
        resetPeak();
        QElapsedTimer t;
        const double cpu = cpuSeconds();
        t.start();
        if (!job()) {
            std::fprintf(stderr, "a job failed\n");
            std::exit(1);
        }
        f.seconds = qMin(f.seconds, t.nsecsElapsed() / 1e9);
        f.cpu = qMin(f.cpu, cpuSeconds() - cpu);
        f.peak = qMax(f.peak, peakMiB());
    }
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 3 && !std::strcmp(argv[1], "--profile")) {
        const QString kind = QString::fromLocal8Bit(argv[2]), dump = QString::fromLocal8Bit(argv[3]);
        for (int i = 0, n = argc > 4 ? atoi(argv[4]) : 20; i < n; ++i) {
            if (kind == QLatin1String("copy"))
                plainCopy(dump, dump + QStringLiteral(".copy"));
            else if (kind == QLatin1String("2d"))
                exportDump(dump, dump + QStringLiteral(".mes"), TwoD);
            else
                exportDump(dump, dump + QStringLiteral(".mdf"), kind == QLatin1String("mdf4") ? Mdf4 : Mdf);
        }
        return 0;
    }
    if (argc > 2 && !std::strcmp(argv[1], "--dump")) {
        // --small: 24 channels in 1 MiB, for the reader check under ctest.
        SimRecording rec{Channels, MemoryBytes, 4096, Runs, 6, 90};
        QString truth;
        for (int i = 3; i < argc; ++i) {
            if (!std::strcmp(argv[i], "--small"))
                rec = {24, 1u << 20, 4096, 3, 2, 30};
            else if (!std::strcmp(argv[i], "--truth") && i + 1 < argc)
                truth = QString::fromLocal8Bit(argv[++i]);
        }
        const SimRecorded r = recordWithSimLogger(rec);
        return r.ok && r.writeDump(QString::fromLocal8Bit(argv[2])) && (truth.isEmpty() || r.writeTruth(truth)) ? 0 : 1;
    }
    const int repeats = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    QTemporaryDir tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/bench_data-XXXXXX") : QString());
    const QString dump = tmp.filePath(QStringLiteral("dump_bench.bin"));
    // Recorded by a child, so the peak memory below is the exports' own.
    if (QProcess::execute(QCoreApplication::applicationFilePath(), {QStringLiteral("--dump"), dump}) != 0) {
        std::fprintf(stderr, "the simulated logger did not record a dump\n");
        return 1;
    }
    const double dumpMiB = QFileInfo(dump).size() / 1048576.0;

    // One untimed pass each so every output file exists and the dump is cached.
    plainCopy(dump, tmp.filePath(QStringLiteral("copy.bin")));
    exportDump(dump, tmp.filePath(QStringLiteral("m.mdf")), Mdf);
    exportDump(dump, tmp.filePath(QStringLiteral("m4.mdf")), Mdf4);
    exportDump(dump, tmp.filePath(QStringLiteral("m.mes")), TwoD);

    const Figure copy = measure(repeats, [&] { return plainCopy(dump, tmp.filePath(QStringLiteral("copy.bin"))); });
    const Figure mdf = measure(repeats, [&] { return exportDump(dump, tmp.filePath(QStringLiteral("m.mdf")), Mdf); });
    const Figure mdf4 = measure(repeats, [&] { return exportDump(dump, tmp.filePath(QStringLiteral("m4.mdf")), Mdf4); });
    const Figure twoD = measure(repeats, [&] { return exportDump(dump, tmp.filePath(QStringLiteral("m.mes")), TwoD); });

    qint64 twoDBytes = 0;
    for (const QFileInfo &fi : QDir(tmp.filePath(QStringLiteral("m.mes"))).entryInfoList(QDir::Files))
        twoDBytes += fi.size();
    QFile load(QStringLiteral("/proc/loadavg"));
    const QByteArray loadAverage = load.open(QIODevice::ReadOnly) ? load.readAll().trimmed() : QByteArray("?");
    std::printf("dump %.1f MiB, %d channels, %d runs, best of %d; load average %s\n", dumpMiB, Channels, Runs, repeats,
                loadAverage.constData());
    // The machine may be shared: the CPU time (user + system) of each job is
    // shown beside the wall-clock time.
    std::printf("%-22s %8s %10s %8s %8s %8s %10s\n", "", "seconds", "MB/s", "ratio", "cpu s", "cpu rat", "peak MiB");
    auto row = [&](const char *name, const Figure &f) {
        std::printf("%-22s %8.3f %10.1f %8.2f %8.3f %8.2f %10.1f\n", name, f.seconds, dumpMiB * 1.048576 / f.seconds,
                    f.seconds / copy.seconds, f.cpu, f.cpu / qMax(copy.cpu, 1e-3), f.peak);
    };
    row("plain copy", copy);
    row("decode + MDF write", mdf);
    row("decode + MDF 4 write", mdf4);
    row("decode + 2D write", twoD);
    std::printf("MDF file %.1f MiB, MDF 4 file %.1f MiB, 2D files %.1f MiB\n",
                QFileInfo(tmp.filePath(QStringLiteral("m.mdf"))).size() / 1048576.0,
                QFileInfo(tmp.filePath(QStringLiteral("m4.mdf"))).size() / 1048576.0, twoDBytes / 1048576.0);
    QStringList twoDFiles;
    for (const QFileInfo &fi : QDir(tmp.filePath(QStringLiteral("m.mes"))).entryInfoList(QDir::Files, QDir::Name))
        twoDFiles << fi.filePath();
    std::printf("checksums: MDF %s, MDF 4 %s, 2D %s\n", checksum({tmp.filePath(QStringLiteral("m.mdf"))}).constData(),
                checksum({tmp.filePath(QStringLiteral("m4.mdf"))}).constData(), checksum(twoDFiles).constData());
    const double limit = dumpMiB + 64;
    bool ok = true;
    for (const Figure *f : {&mdf, &mdf4, &twoD})
        ok = ok && f->seconds <= 2 * copy.seconds && f->peak < limit;
    std::printf("targets (ratio <= 2, peak < %.1f MiB): %s\n", limit, ok ? "met" : "NOT met");
    return 0;
}
