// Downloads 64 MiB of logger memory through LoggerProtocol::readLoggedData and
// reads the same 64 MiB with a raw CommunicationMedium::readMemory in the same
// run, on each medium, then saves the dump as the logger worker does. The
// simulated ECU needs no logger engine: the logger header (data start and
// end) is poked into its memory and its run flag reads 0 (unwritten memory).
// Targets: download >= 90% of the raw rate; dump on disk <= 0.2 s after the
// last byte.
//
//   bench_logger [ethernet|server|all] [repeats] [MaxDownloadBuffer]

#include "communicationmedium.h"
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

int run(CommunicationMedium &medium, bool ethernet, int repeats, quint32 maxDownloadBuffer,
        const std::function<bool(quint32, const QByteArray &)> &poke)
{
    if (!poke(HeaderBegin + LoggerLayout::DataEnd, headerPointers())) {
        std::printf("  cannot poke the logger header\n");
        return 1;
    }
    LoggerTable table = benchTable(ethernet, maxDownloadBuffer);
    CanSettings can;
    can.toEcuAppCanId = TestEcu::ToEcuAppCanId;
    LoggerProtocol logger;
    logger.attachLoggerTable(&table, sizeof table);
    logger.setIdSource(&can);
    logger.setMedium(&medium);
    std::vector<quint8> raw(MemoryBytes);
    QTemporaryDir dir;
    qint64 bestRaw = -1, bestDownload = -1, worstDump = 0;
    int status = 0;
    for (int i = 0; i < repeats && status == 0; ++i) {
        QElapsedTimer t;
        medium.resetProgress();
        t.start();
        const bool rawOk = medium.readMemory(TestEcu::Space, DataStart, raw.data(), MemoryBytes);
        const qint64 rawNs = t.nsecsElapsed();
        ProgressCounter progress;
        t.restart();
        const int result = logger.readLoggedData(&progress);
        const qint64 downloadNs = t.nsecsElapsed();
        const QString path = dir.filePath(LoggerProtocol::dumpFileName(QDateTime::currentDateTime()) + QString::number(i));
        t.restart();
        const bool saved = logger.saveDump(path);
        const qint64 dumpNs = t.nsecsElapsed();
        QCoreApplication::processEvents();
        if (!rawOk || result != LoggerResult::Done || logger.bytesDownloaded() != MemoryBytes || !saved) {
            std::printf("  run %d FAILED: raw %s, download result %d, %u bytes, dump %s\n", i + 1,
                        rawOk ? "ok" : "failed", result, logger.bytesDownloaded(), saved ? "saved" : "not saved");
            status = 1;
            break;
        }
        std::printf("  run %d: raw readMemory %7.2f MB/s   readLoggedData %7.2f MB/s (%5.1f%%, %d progress events)"
                    "   dump %6.1f ms, %lld bytes\n",
                    i + 1, mbps(MemoryBytes, rawNs), mbps(MemoryBytes, downloadNs),
                    100.0 * double(rawNs) / double(downloadNs), progress.events, double(dumpNs) / 1e6,
                    static_cast<long long>(QFile(path).size()));
        QFile::remove(path);
        if (bestRaw < 0 || rawNs < bestRaw)
            bestRaw = rawNs;
        if (bestDownload < 0 || downloadNs < bestDownload)
            bestDownload = downloadNs;
        worstDump = qMax(worstDump, dumpNs);
    }
    if (status == 0) {
        const double ratio = double(bestRaw) / double(bestDownload);
        std::printf("  best: raw %.2f MB/s, download %.2f MB/s, ratio %.1f%% (target >= 90%%) %s\n",
                    mbps(MemoryBytes, bestRaw), mbps(MemoryBytes, bestDownload), 100 * ratio,
                    ratio >= 0.9 ? "met" : "MISSED");
        std::printf("  last byte to dump on disk: worst %.1f ms (target <= 200 ms) %s\n", double(worstDump) / 1e6,
                    worstDump <= 200000000 ? "met" : "MISSED");
    }
    return status;
}

int benchEthernet(int repeats, quint32 maxDownloadBuffer)
{
    std::printf("Raw Ethernet over a veth pair (simulated ECU in a network namespace)\n");
    const QString why = EcuNetwork::unavailableReason();
    if (!why.isEmpty()) {
        std::printf("  skipped: %s\n", qPrintable(why));
        return 0;
    }
    EcuNetwork net;
    QString error;
    if (!net.setUp(&error) || net.startEcu({}, {}, &error) < 0) {
        std::printf("  set-up failed: %s\n", qPrintable(error));
        return 1;
    }
    quint8 mac[6];
    std::memcpy(mac, net.hostMac().constData(), 6);
    EthernetLink *link = new EthernetLink(net.hostInterface(), mac, 10, 1000);
    link->start();
    link->waitUntilReady(5000);
    bool ethernet = true;
    int status = 0;
    {
        CommunicationMedium medium(&ethernet, &link, QStringLiteral("/nonexistent/libNone.so"));
        const QByteArray ecuMac = net.ecuMac(0);
        medium.setEcuTarget(reinterpret_cast<const quint8 *>(ecuMac.constData()));
        if (!medium.connect(QStringLiteral("Brisca"), QString(), 0, 0)) {
            std::printf("  the ECU does not answer\n");
            status = 1;
        } else {
            status = run(medium, true, repeats, maxDownloadBuffer, [&](quint32 address, const QByteArray &bytes) {
                return net.command(0, "poke " + QByteArray::number(address) + ' ' + bytes.toHex());
            });
        }
        std::printf("  frames dropped by the kernel: %u\n", link->kernelDrops());
    }
    link->stop();
    link->wait();
    delete link;
    return status;
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
    const int status = run(medium, false, repeats, maxDownloadBuffer, [&](quint32 address, const QByteArray &bytes) {
        return server.command("poke " + QByteArray::number(address) + ' ' + bytes.toHex());
    });
    medium.disconnect();
    server.stop();
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
