// How fast the simulated ECU serves 8 MiB of memory on each path, measured
// with clients of our own (not the application's link or medium), so a slow
// application path can be told apart from a slow ECU:
//   - the simulator alone (memory reads in 64512-byte pieces),
//   - the server over loopback (LnkConnection, 131056-byte reads),
//   - raw frames over a veth pair (64512-byte requests, 63 replies each; root only).
// Figures are compared with the download estimates 559104 and 49152 bytes/s.

#include "ecuserver.h"
#include "lnkconnection.h"
#include "netns.h"
#include "rawport.h"
#include "sim/ecusimulator.h"
#include "testecu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>

#include <cstdio>

namespace {
constexpr quint32 Total = 8u << 20;
constexpr double FastEstimate = 559104.0;
constexpr double SlowEstimate = 49152.0;

void report(const char *path, quint64 bytes, qint64 ns)
{
    const double rate = ns > 0 ? bytes * 1e9 / double(ns) : 0;
    printf("%-28s %8.1f MB/s  %7.1fx fast estimate  %8.1fx slow estimate  (%llu bytes, %.1f ms)\n", path, rate / 1e6,
           rate / FastEstimate, rate / SlowEstimate, static_cast<unsigned long long>(bytes), ns / 1e6);
    fflush(stdout);
}

class ServerThread : public QThread
{
public:
    explicit ServerThread(EcuSimulator &sim) : m_sim(sim) {}
    quint16 port = 0;
    QSemaphore ready;

protected:
    void run() override
    {
        EcuServer server(m_sim);
        if (server.listen(QHostAddress::LocalHost, 0, QString(), nullptr))
            port = server.port();
        ready.release();
        exec();
    }

private:
    EcuSimulator &m_sim;
};
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SimDescription d;
    parseSimDescription(TestEcu::json(), d, nullptr);
    EcuSimulator sim(d);
    QByteArray out(int(Total), '\0');

    QElapsedTimer t;
    t.start();
    for (quint32 done = 0; done < Total; done += 64512)
        sim.read(TestEcu::Space, TestEcu::RamBase + done, out.data() + done, qMin<quint32>(64512, Total - done));
    report("simulator memory", Total, t.nsecsElapsed());

    ServerThread server(sim);
    server.start();
    server.ready.acquire();
    LnkConnection c;
    if (server.port && c.open("127.0.0.1", server.port)) {
        t.restart();
        bool ok = true;
        for (quint32 done = 0; ok && done < Total; done += 131056)
            ok = c.read(TestEcu::Space, TestEcu::RamBase + done, qMin<quint32>(131056, Total - done), 0,
                        reinterpret_cast<uint8_t *>(out.data()) + done);
        const qint64 ns = t.nsecsElapsed();
        if (ok)
            report("server over loopback", Total, ns);
        else
            printf("server over loopback: read failed\n");
    }
    server.quit();
    server.wait();

    const QString why = EcuNetwork::unavailableReason();
    if (!why.isEmpty()) {
        printf("raw frames over veth: skipped (%s)\n", qPrintable(why));
        return 0;
    }
    EcuNetwork net;
    QString error;
    RawPort port;
    if (!net.setUp(&error) || net.startEcu({}, &error) < 0 || !port.open(net.hostInterface(), net.hostMac())) {
        printf("raw frames over veth: %s\n", qPrintable(error));
        return 1;
    }
    const QByteArray ecu = net.ecuMac(0);
    quint64 received = 0, lost = 0;
    t.restart();
    quint16 seq = 0;
    for (quint32 done = 0; done < Total; done += 64512) {
        const quint32 n = qMin<quint32>(64512, Total - done);
        const quint32 a = TestEcu::RamBase + done;
        QByteArray req = QByteArray::fromHex("C1A1");
        ++seq;
        req += char((seq >> 8) & 0x0F);
        req += char(seq);
        req += QByteArray::fromHex("00000613 0006");
        for (int s = 24; s >= 0; s -= 8)
            req += char(a >> s);
        req += char(n >> 8);
        req += char(n);
        port.send(ecu, req);
        const int frames = int((n + 1023) / 1024);
        const QList<QByteArray> replies = port.receive(frames, 200);
        for (const QByteArray &r : replies)
            received += (quint8(r[20]) << 8) | quint8(r[21]);
        lost += quint64(frames - replies.size());
    }
    report("raw frames over veth", received, t.nsecsElapsed());
    if (lost)
        printf("  %llu reply frames missing\n", static_cast<unsigned long long>(lost));
    return 0;
}
