// Downloads 64 MiB of logger memory through LoggerProtocol::readLoggedData and
// reads the same 64 MiB with a raw CommunicationMedium::readMemory in the same
// run, on each medium, then saves the dump as the logger worker does. The
// simulated ECU needs no logger engine: the logger header (data start and
// end) and varied data are poked into its memory and its run flag reads 0.
// Targets: download >= 90% of the raw rate; dump on disk <= 0.2 s after the
// last byte.
//
// The server path runs twice: with a device on an Ethernet line (64512-byte
// blocks, as on the raw path) and with a device on a CAN line, whose blocks
// are MaxDownloadBuffer bytes (8192 on the sample devices); the client library
// reads the following blocks ahead, so they do not cost a round trip each.
//
//   bench_logger [ethernet|server|all] [repeats] [MaxDownloadBuffer]

#include "communicationmedium.h"
#include "ethernetbench.h"
#include "ethernetlink.h"
#include "loggerprotocol.h"
#include "netns.h"
#include "registrykey.h"
#include "serverprocess.h"
#include "testecu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {
constexpr quint32 MemoryBytes = 64u << 20;
constexpr quint32 HeaderBegin = 0x40020000;
constexpr quint32 DataStart = 0x48000000;
constexpr quint32 RunCell = 0x40030000;
constexpr quint32 StopCell = 0x40030010;
constexpr quint32 ClearCell = 0x40030020;
constexpr quint32 Capacity = 32;

class ProgressCounter : public QObject
{
public:
    int events = 0;
    bool event(QEvent *e) override
    {
        if (e->type() == RemainingTimeEvent::EventType) {
            ++events;
            return true;
        }
        return QObject::event(e);
    }
};

LoggerTable benchTable(bool ethernet, quint32 maxDownloadBuffer)
{
    LoggerTable t;
    t.valid = 1;
    t.elfCheckEnabled = 1;
    t.availableBytes = MemoryBytes;
    t.channelsCountOffline = Capacity;
    t.clearTimeout = 5000;
    t.maxDownloadBuffer = maxDownloadBuffer;
    t.pageAlignment = 512;
    t.headerBegin = {HeaderBegin, 0};
    t.setupBegin = {HeaderBegin + LoggerLayout::HeaderSize, 0};
    t.loggerRun = {RunCell, 0};
    t.stopLoggerRequest = {StopCell, 1};
    t.clearLoggerDataRequest = {ClearCell, 2};
    t.lineType = ethernet ? LineTypeEthernet : 0;
    return t;
}

// The header as the ECU holds it: big-endian data end and data start.
QByteArray headerPointers()
{
    QByteArray b(8, '\0');
    qToBigEndian(DataStart + MemoryBytes, reinterpret_cast<uchar *>(b.data()));
    qToBigEndian(DataStart, reinterpret_cast<uchar *>(b.data()) + 4);
    return b;
}

double mbps(quint64 bytes, qint64 ns) { return ns > 0 ? double(bytes) * 1e3 / double(ns) : 0; }

int run(CommunicationMedium &medium, bool ethernetLine, int repeats, quint32 maxDownloadBuffer,
        const std::function<bool(quint32, const QByteArray &)> &poke)
{
    std::printf(" device on %s line: blocks of %u bytes\n", ethernetLine ? "an Ethernet" : "a CAN",
                ethernetLine ? LoggerProtocol::EthernetDownloadBlock : maxDownloadBuffer);
    // Marks at the start, the middle and the end of the data, checked in the dump.
    const quint32 marks[] = {0, MemoryBytes / 2, MemoryBytes - 16};
    const QByteArray mark = QByteArrayLiteral("logger-bench-mk");
    bool poked = poke(HeaderBegin + LoggerLayout::DataEnd, headerPointers());
    // Logged data varies; memory of equal 1 KiB blocks would be read twice
    // on Ethernet, which checks such blocks with a second read.
    constexpr quint32 Step = 32768;
    for (quint32 at = 0; poked && at < MemoryBytes; at += Step)
        poked = poke(DataStart + at, TestEcu::pattern(int(Step), int(at / Step)));
    for (quint32 at : marks)
        poked = poked && poke(DataStart + at, mark);
    if (!poked) {
        std::printf("  cannot poke the logger header\n");
        return 1;
    }
    LoggerTable table = benchTable(ethernetLine, maxDownloadBuffer);
    CanSettings can;
    can.toEcuAppCanId = TestEcu::ToEcuAppCanId;
    LoggerProtocol logger;
    logger.attachLoggerTable(&table, sizeof table);
    logger.setIdSource(&can);
    logger.setMedium(&medium);
    std::vector<quint8> raw(MemoryBytes);
    QTemporaryDir dir;
    const int block = ethernetLine ? int(LoggerProtocol::EthernetDownloadBlock) : int(maxDownloadBuffer);
    qint64 best[3] = {-1, -1, -1};
    qint64 firstDump = 0, worstLaterDump = 0;
    for (int i = 0; i < repeats; ++i) {
        qint64 ns[3] = {0, 0, 0};
        bool ok[3] = {false, false, false};
        int result = -1;
        qint64 dumpNs = 0;
        ProgressCounter progress;
        const QString path = dir.filePath(LoggerProtocol::dumpFileName(QDateTime::currentDateTime()));
        const std::function<void()> reads[3] = {
            [&] {
                medium.resetProgress();
                QElapsedTimer t;
                t.start();
                ok[0] = medium.readMemory(TestEcu::Space, DataStart, raw.data(), MemoryBytes);
                ns[0] = t.nsecsElapsed();
            },
            [&] {
                medium.resetProgress();
                QElapsedTimer t;
                t.start();
                ok[1] = medium.readMemoryBlocks(TestEcu::Space, DataStart, raw.data(), MemoryBytes, block);
                ns[1] = t.nsecsElapsed();
            },
            // The worker saves the dump as soon as readLoggedData returns.
            [&] {
                QElapsedTimer t;
                t.start();
                result = logger.readLoggedData(&progress);
                ns[2] = t.nsecsElapsed();
                ok[2] = result == LoggerResult::Done && logger.bytesDownloaded() == MemoryBytes
                        && logger.saveDump(path);
                dumpNs = t.nsecsElapsed() - ns[2];
            }};
        // Rotate the order, so that no read always runs after the same one.
        for (int k = 0; k < 3; ++k)
            reads[(i + k) % 3]();
        QCoreApplication::processEvents();
        QFile dump(path);
        const qint64 dataAt = 36 + LoggerLayout::readBackSize(Capacity);
        for (quint32 at : marks)
            ok[2] = ok[2] && dump.open(QIODevice::ReadOnly) && dump.seek(dataAt + at)
                    && dump.read(mark.size()) == mark && (dump.close(), true);
        ok[2] = ok[2] && std::memcmp(raw.data(), logger.dataBuffer(), MemoryBytes) == 0
                && dump.size() == dataAt + MemoryBytes;
        if (!ok[0] || !ok[1] || !ok[2]) {
            std::printf("  run %d FAILED: raw %d, blocks %d, download result %d with %u bytes, dump %d\n", i + 1,
                        ok[0], ok[1], result, logger.bytesDownloaded(), ok[2]);
            return 1;
        }
        std::printf("  run %d: readMemory %7.2f MB/s  readMemoryBlocks %7.2f MB/s  readLoggedData %7.2f MB/s"
                    " (%d progress events)  dump %6.1f ms, %lld bytes\n",
                    i + 1, mbps(MemoryBytes, ns[0]), mbps(MemoryBytes, ns[1]), mbps(MemoryBytes, ns[2]),
                    progress.events, double(dumpNs) / 1e6, static_cast<long long>(QFile(path).size()));
        QFile::remove(path);
        for (int k = 0; k < 3; ++k)
            if (best[k] < 0 || ns[k] < best[k])
                best[k] = ns[k];
        if (i == 0)
            firstDump = dumpNs;
        else
            worstLaterDump = qMax(worstLaterDump, dumpNs);
    }
    const double ratio = double(best[0]) / double(best[2]);
    std::printf("  best: readMemory %.2f MB/s, readMemoryBlocks %.2f MB/s, readLoggedData %.2f MB/s\n",
                mbps(MemoryBytes, best[0]), mbps(MemoryBytes, best[1]), mbps(MemoryBytes, best[2]));
    std::printf("  download / raw read: %.1f%% (target >= 90%%) %s;  download / block read: %.1f%%\n", 100 * ratio,
                ratio >= 0.9 ? "met" : "MISSED", 100.0 * double(best[1]) / double(best[2]));
    std::printf("  last byte to dump on disk: first %.1f ms, later runs worst %.1f ms (target <= 200 ms)\n",
                double(firstDump) / 1e6, double(worstLaterDump) / 1e6);
    return 0;
}

int benchEthernet(int repeats, quint32 maxDownloadBuffer)
{
    return benchOverEthernet([&](CommunicationMedium &medium, EcuNetwork &net) {
        return run(medium, true, repeats, maxDownloadBuffer, [&](quint32 address, const QByteArray &bytes) {
            return net.command(0, "poke " + QByteArray::number(address) + ' ' + bytes.toHex());
        });
    });
}

int benchServer(int repeats, quint32 maxDownloadBuffer)
{
    std::printf("Communication server over loopback (client library -> brisca-ecu-server -> simulated ECU)\n");
    if (!QFile::exists(TestEcu::binDir() + QStringLiteral("/libLnkClientDll.so"))) {
        std::printf("  skipped: libLnkClientDll.so not built\n");
        return 0;
    }
    EcuServerProcess server;
    QString error;
    if (!server.start({}, &error)) {
        std::printf("  the server did not start: %s\n", qPrintable(error));
        return 1;
    }
    QTemporaryDir dir;
    QFile reg(dir.filePath(QStringLiteral("registry.ini")));
    reg.open(QIODevice::WriteOnly);
    reg.write(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\nFileName = /nonexistent\n"
                             "Class = %1\nWinName = %2\n")
                  .arg(server.className(), server.windowName())
                  .toLocal8Bit());
    reg.close();
    RegistryKey::setStorePath(reg.fileName());
    bool ethernet = false;
    EthernetLink *link = nullptr;
    CommunicationMedium medium(&ethernet, &link);
    if (!medium.connect(QStringLiteral("Brisca"), QStringLiteral("127.0.0.1"), server.port(), TestEcu::Space)) {
        std::printf("  cannot connect to the server: %s\n", qPrintable(medium.libraryError()));
        return 1;
    }
    const auto poke = [&](quint32 address, const QByteArray &bytes) {
        return server.command("poke " + QByteArray::number(address) + ' ' + bytes.toHex());
    };
    const int status = run(medium, true, repeats, maxDownloadBuffer, poke)
                       | run(medium, false, repeats, maxDownloadBuffer, poke);
    medium.disconnect();
    return status;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString which = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("all");
    const int repeats = argc > 2 ? qMax(1, atoi(argv[2])) : 3;
    // The sample devices give 8192.
    const quint32 maxDownloadBuffer = argc > 3 ? quint32(qMax(1, atoi(argv[3]))) : 8192;
    std::printf("64 MiB logger download, MaxDownloadBuffer %u\n", maxDownloadBuffer);
    int status = 0;
    if (which == QLatin1String("ethernet") || which == QLatin1String("all"))
        status |= benchEthernet(repeats, maxDownloadBuffer);
    if (which == QLatin1String("server") || which == QLatin1String("all"))
        status |= benchServer(repeats, maxDownloadBuffer);
    return status;
}
