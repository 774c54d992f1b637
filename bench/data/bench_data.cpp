// Builds a 64 MiB logger dump (about 200 channels of 1, 2 and 4 bytes over
// the eight periods, four runs of three laps each) and times, in the same run:
// a plain copy of the dump file, load + decode + MDF write, and load + decode
// + 2D write. Targets: each export at most 2x the copy; peak memory of each
// export below the dump size + 64 MiB.
//
//   bench_data [repeats] [folder]
//   bench_data --dump FILE      only write the dump (for profiling the tool)

#include "decodedatalogged.h"
#include "protocoldownload.h"
#include "mdf4writer.h"
#include "mdfwriter.h"
#include "writer2d.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <sys/resource.h>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr quint32 MemoryBytes = 64u << 20;
constexpr quint32 Capacity = 208;
constexpr int Channels = 200;
constexpr int Runs = 4, LapsPerRun = 3;
constexpr quint32 PageAlignment = 4096;
const int periods[8] = {5, 10, 20, 40, 80, 160, 320, 640};

// Dump file as the logger protocol writes it: big-endian head, the read-back
// block (logger header + configuration image, little-endian inside), the data.
void writeDump(const QString &path)
{
    std::vector<quint8> block(60 * Capacity + 906, 0);
    quint8 *header = block.data(), *head = header + 884, *records = head + 20 + 5 * Capacity;
    std::memcpy(header, "BENCH ECU 1.0", 13);
    int moduleBytes = 0;
    for (int c = 0; c < Channels; ++c) {
        const int cls = c % 8, size = 1 << (c % 3);
        // Channels land in the image sorted by period, as the logger keeps them.
        ++head[12 + cls];
        moduleBytes += 640 / periods[cls] * size;
    }
    int slot = 0;
    for (int cls = 0; cls < 8; ++cls) {
        for (int c = cls; c < Channels; c += 8, ++slot) {
            quint8 *r = records + 55 * slot;
            qToLittleEndian<quint16>(quint16(periods[cls]), r + 2);
            r[4] = 0x03 | (c % 5 == 0 ? 0x10 : 0) | (c % 7 == 0 ? 0x20 : 0);
            qToLittleEndian<qint32>(c % 7 == 0 ? 3 : 0, r + 6);
            qToLittleEndian<float>(0.5f + c, r + 10);
            qToLittleEndian<float>(-1.0f, r + 14);
            qToLittleEndian<float>(0.0f, r + 18);
            qToLittleEndian<float>(1.0f, r + 22);
            std::snprintf(reinterpret_cast<char *>(r + 26), 16, "ch%03d", c);
            std::memcpy(r + 42, "u", 1);
            r[54] = quint8(1 << (c % 3));
        }
    }
    // Four runs filling the memory, each split into three laps.
    const quint32 runBytes = MemoryBytes / Runs - PageAlignment;
    const quint32 modules = runBytes / quint32(moduleBytes);
    const quint32 ticks = modules * (640 / 5);
    int e = 0;
    for (int k = 0; k < Runs; ++k) {
        qToLittleEndian<quint32>(0, header + 42 + 4 * e++);
        for (int l = 1; l <= LapsPerRun; ++l)
            qToLittleEndian<quint32>(ticks * l / LapsPerRun, header + 42 + 4 * e++);
    }
    header[39] = quint8(e);

    // Slowly moving signals with a little noise, as a logger records them;
    // the gaps between runs keep whatever the memory held.
    std::vector<quint8> memory(MemoryBytes);
    std::mt19937 rng(7);
    for (size_t i = 0; i < memory.size(); i += 4) {
        const quint32 v = rng();
        std::memcpy(memory.data() + i, &v, 4);
    }
    std::vector<qint64> taken(Channels);
    const quint32 runStride = (modules * quint32(moduleBytes) + PageAlignment - 1) / PageAlignment * PageAlignment;
    for (int k = 0; k < Runs; ++k) {
        quint8 *p = memory.data() + size_t(k) * runStride;
        for (quint32 m = 0; m < modules; ++m) {
            for (int t = 5; t <= 640; t += 5) {
                for (int cls = 0; cls < 8; ++cls) {
                    if (t % periods[cls])
                        continue;
                    for (int c = cls; c < Channels; c += 8) {
                        const int size = 1 << (c % 3);
                        const qint64 j = taken[size_t(c)]++;
                        const quint32 span = size == 1 ? 200 : size == 2 ? 50000 : 1000000;
                        const quint32 phase = quint32((j * (c + 1) / 16) % (2 * span));
                        const quint32 v = (phase < span ? phase : 2 * span - phase) + (rng() & 1);
                        for (int b = 0; b < size; ++b)
                            *p++ = quint8(v >> (8 * (size - 1 - b)));
                    }
                }
            }
        }
    }
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QDataStream out(&f);
    out.setVersion(QDataStream::Qt_3_3);
    out << quint32(0x4F525654) << quint32(0x4C440001) << qint32(0) << qint32(0) << PageAlignment << Capacity
        << MemoryBytes << quint32(block.size());
    out.writeRawData(reinterpret_cast<const char *>(block.data()), int(block.size()));
    out << MemoryBytes;
    out.writeRawData(reinterpret_cast<const char *>(memory.data()), int(memory.size()));
}

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

bool exportDump(const QString &dump, const QString &target, Kind kind)
{
    DumpFile f;
    if (!f.open(dump))
        return false;
    DecodeDataLogged d(loggedDownload(f));
    if (kind == Mdf) {
        MdfWriter w(d);
        w.setTexts(QStringLiteral("bench"), QStringLiteral("64 MiB"), QStringLiteral("BENCH ECU 1.0\n"));
        return w.write(target);
    }
    if (kind == Mdf4) {
        Mdf4Writer w(d);
        w.setTexts(QStringLiteral("bench"), QStringLiteral("64 MiB"), QStringLiteral("BENCH ECU 1.0"));
        return w.write(target);
    }
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    Writer2D w(d);
    w.setComment({QString()});
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
        writeDump(QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    const int repeats = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    QTemporaryDir tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/bench_data-XXXXXX") : QString());
    const QString dump = tmp.filePath(QStringLiteral("dump_bench.bin"));
    writeDump(dump);
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
    std::printf("dump %.1f MiB, %d channels, %d runs, best of %d\n", dumpMiB, Channels, Runs, repeats);
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
    const double limit = dumpMiB + 64;
    bool ok = true;
    for (const Figure *f : {&mdf, &mdf4, &twoD})
        ok = ok && f->seconds <= 2 * copy.seconds && f->peak < limit;
    std::printf("targets (ratio <= 2, peak < %.1f MiB): %s\n", limit, ok ? "met" : "NOT met");
    return 0;
}
