// Reads 8 MiB of ECU memory over each medium and prints the throughput next
// to the download estimates the channel selection uses (559104 B/s on a fast
// link, 49152 B/s otherwise). Writes are paced (2 ms per 1024-byte frame on
// Ethernet) and are reported, not tuned.
//
//   bench_comm [ethernet|server|all] [repeats]

#include "communicationmedium.h"
#include "ethernetbench.h"
#include "ethernetlink.h"
#include "netns.h"
#include "registrykey.h"
#include "serverpresence.h"
#include "testecu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/resource.h>

namespace {
constexpr quint32 ReadBytes = 8u << 20;
constexpr quint32 WriteBytes = 256u << 10;
constexpr double FastEstimate = 559104.0;
constexpr double SlowEstimate = 49152.0;
// Above the test ECU's variables and logger cells, which change under a read.
constexpr quint32 ReadBase = TestEcu::RamBase + 0x100000;

void report(const char *what, quint32 bytes, qint64 ns)
{
    const double seconds = double(ns) / 1e9;
    const double rate = double(bytes) / seconds;
    std::printf("  %-34s %9.1f ms  %8.2f MB/s  = %6.1f x 559104 B/s, %7.1f x 49152 B/s%s\n", what, seconds * 1e3,
                rate / 1e6, rate / FastEstimate, rate / SlowEstimate,
                rate >= 10 * FastEstimate ? "" : "   (below 10x the fast estimate)");
}

qint64 hostCpuUs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return qint64(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000 + u.ru_utime.tv_usec + u.ru_stime.tv_usec;
}

// CPU time each side spent on one read, as the rate it could sustain if that
// side alone set the pace: the lower figure is the side that limits.
void reportSides(qint64 hostUs, qint64 ecuUs, qint64 ecuFrames)
{
    auto rate = [](qint64 us) { return us > 0 ? double(ReadBytes) / (double(us) / 1e6) / 1e6 : 0.0; };
    std::printf("    host CPU %7.1f ms (%8.1f MB/s)", double(hostUs) / 1e3, rate(hostUs));
    if (ecuUs >= 0)
        std::printf("   simulator CPU %7.1f ms (%8.1f MB/s), %lld frames out", double(ecuUs) / 1e3, rate(ecuUs),
                    ecuFrames);
    std::printf("\n");
}

// Frames sent and CPU microseconds of the simulated ECU so far; -1 when unknown.
using EcuStats = std::function<void(qint64 &frames, qint64 &cpuUs)>;

// Sends one control line to the simulated ECU; true when it answered "ok".
using EcuCommand = std::function<bool(const QByteArray &line)>;

// Memory of varied bytes, as a download meets it: equal reply frames in a row
// make the Ethernet read check them with a second read.
bool fillMemory(const EcuCommand &command, const QByteArray &pattern)
{
    constexpr int Step = 32768;
    for (int at = 0; at < pattern.size(); at += Step)
        if (!command("poke " + QByteArray::number(ReadBase + quint32(at)) + ' '
                     + pattern.mid(at, Step).toHex()))
            return false;
    return true;
}

bool measure(CommunicationMedium &medium, int repeats, const EcuCommand &command, const EcuStats &ecuStats = {})
{
    const QByteArray pattern = TestEcu::pattern(int(ReadBytes), 7);
    if (!fillMemory(command, pattern)) {
        std::printf("  the simulated ECU refused the test pattern\n");
        return false;
    }
    QByteArray buffer(int(ReadBytes), 0);
    qint64 best = -1;
    for (int i = 0; i < repeats; ++i) {
        qint64 frames0 = -1, ecu0 = -1, frames1 = -1, ecu1 = -1;
        if (ecuStats)
            ecuStats(frames0, ecu0);
        const qint64 cpu0 = hostCpuUs();
        QElapsedTimer t;
        t.start();
        if (!medium.readMemory(TestEcu::Space, ReadBase, reinterpret_cast<quint8 *>(buffer.data()),
                               ReadBytes)) {
            std::printf("  read of 8 MiB FAILED\n");
            return false;
        }
        const qint64 ns = t.nsecsElapsed();
        const qint64 cpu = hostCpuUs() - cpu0;
        if (buffer != pattern) {
            std::printf("  read of 8 MiB gave other bytes than the ECU holds\n");
            return false;
        }
        if (ecuStats)
            ecuStats(frames1, ecu1);
        if (best < 0 || ns < best)
            best = ns;
        report(qPrintable(QStringLiteral("read 8 MiB, run %1").arg(i + 1)), ReadBytes, ns);
        reportSides(cpu, ecu0 >= 0 && ecu1 >= 0 ? ecu1 - ecu0 : -1, frames1 - frames0);
    }
    report("read 8 MiB, best", ReadBytes, best);
    const QByteArray data(int(WriteBytes), '\x42');
    QElapsedTimer t;
    t.start();
    if (!medium.writeMemory(TestEcu::Space, TestEcu::ScratchAddress, reinterpret_cast<const quint8 *>(data.constData()),
                            WriteBytes)) {
        std::printf("  write FAILED\n");
        return false;
    }
    const qint64 ns = t.nsecsElapsed();
    std::printf("  %-34s %9.1f ms  %8.2f MB/s\n", "write 256 KiB", double(ns) / 1e6,
                double(WriteBytes) / (double(ns) / 1e9) / 1e6);
    return true;
}

int benchEthernet(int repeats)
{
    return benchOverEthernet([&](CommunicationMedium &medium, EcuNetwork &net) {
        const auto command = [&net](const QByteArray &line) { return net.command(0, line); };
        const bool measured = measure(medium, repeats, command, [&net](qint64 &frames, qint64 &cpuUs) {
            QByteArray answer;
            if (net.command(0, "stats", &answer)) {
                const QList<QByteArray> f = answer.split(' ');
                frames = f.value(2).toLongLong();
                cpuUs = f.value(3).toLongLong();
            }
        });
        return measured ? 0 : 1;
    });
}
int benchServer(int repeats)
{
    std::printf("Communication server over loopback (client library -> brisca-ecu-server -> simulated ECU)\n");
    const QString bin = QCoreApplication::applicationDirPath();
    if (!QFile::exists(bin + QStringLiteral("/brisca-ecu-server")) || !QFile::exists(bin + QStringLiteral("/libLnkClientDll.so"))) {
        std::printf("  skipped: brisca-ecu-server or libLnkClientDll.so not built\n");
        return 0;
    }
    QTemporaryDir dir;
    QFile json(dir.filePath(QStringLiteral("ecu.json")));
    json.open(QIODevice::WriteOnly);
    json.write(TestEcu::json());
    json.close();
    const QString cls = QStringLiteral("BriscaBench%1").arg(QCoreApplication::applicationPid());
    const QString win = QStringLiteral("Server");
    QFile reg(dir.filePath(QStringLiteral("registry.ini")));
    reg.open(QIODevice::WriteOnly);
    reg.write(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\nFileName = /nonexistent\n"
                             "Class = %1\nWinName = %2\n").arg(cls, win).toLocal8Bit());
    reg.close();
    RegistryKey::setStorePath(reg.fileName());
    quint16 port;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(bin + QStringLiteral("/brisca-ecu-server"),
                 {QStringLiteral("--port"), QString::number(port), QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                  QStringLiteral("--description"), json.fileName(), QStringLiteral("--class"), cls,
                  QStringLiteral("--winname"), win, QStringLiteral("--control")});
    if (!server.waitForReadyRead(5000)) {
        std::printf("  the server did not start\n");
        return 1;
    }
    server.readLine(); // "listening PORT"; control answers follow
    int status = 0;
    bool ethernet = false;
    EthernetLink *link = nullptr;
    {
        CommunicationMedium medium(&ethernet, &link);
        if (!medium.connect(QStringLiteral("Brisca"), QStringLiteral("127.0.0.1"), port, TestEcu::Space)
            || !medium.lock(10000)) {
            std::printf("  cannot connect to the server: %s\n", qPrintable(medium.libraryError()));
            status = 1;
        } else {
            const auto command = [&server](const QByteArray &line) {
                return TestEcu::controlCommand(server, line, nullptr);
            };
            status = measure(medium, repeats, command) ? 0 : 1;
            medium.unlock();
        }
        medium.disconnect();
    }
    server.terminate();
    server.waitForFinished(5000);
    return status;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString which = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("all");
    const int repeats = argc > 2 ? qMax(1, atoi(argv[2])) : 3;
    int status = 0;
    if (which == QLatin1String("ethernet") || which == QLatin1String("all"))
        status |= benchEthernet(repeats);
    if (which == QLatin1String("server") || which == QLatin1String("all"))
        status |= benchServer(repeats);
    return status;
}
