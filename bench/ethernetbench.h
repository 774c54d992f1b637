#pragma once
// The raw Ethernet half of the media benchmarks: a veth pair to a simulated
// ECU in a network namespace, a medium connected through it, and the kernel's
// dropped frames printed once the measurement is done.

#include "communicationmedium.h"
#include "ethernetlink.h"
#include "netns.h"

#include <QString>
#include <cstdio>
#include <cstring>
#include <functional>

// measure returns 0 when it went through; the result is the process status.
inline int benchOverEthernet(const std::function<int(CommunicationMedium &, EcuNetwork &)> &measure)
{
    std::printf("Raw Ethernet over a veth pair (simulated ECU in a network namespace)\n");
    const QString why = EcuNetwork::unavailableReason();
    if (!why.isEmpty()) {
        std::printf("  skipped: %s\n", qPrintable(why));
        return 0;
    }
    EcuNetwork net;
    QString error;
    if (!net.setUp(&error) || net.startEcu({}, &error) < 0) {
        std::printf("  set-up failed: %s\n", qPrintable(error));
        return 1;
    }
    quint8 mac[6];
    const QByteArray hostMac = net.hostMac();
    std::memcpy(mac, hostMac.constData(), 6);
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
            status = measure(medium, net);
        }
        std::printf("  frames dropped by the kernel: %u\n", link->kernelDrops());
    }
    link->stop();
    link->wait();
    delete link;
    return status;
}
