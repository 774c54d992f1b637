#include "wiretap.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstring>

WireTap::~WireTap()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool WireTap::open(const QString &interfaceName, QString *error)
{
    m_fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK, htons(ETH_P_ALL));
    if (m_fd < 0) {
        if (error)
            *error = QStringLiteral("packet socket: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    sockaddr_ll addr = {};
    addr.sll_family = AF_PACKET;
    addr.sll_protocol = htons(ETH_P_ALL);
    addr.sll_ifindex = int(if_nametoindex(interfaceName.toLatin1().constData()));
    if (addr.sll_ifindex == 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) < 0) {
        if (error)
            *error = QStringLiteral("bind to %1 failed").arg(interfaceName);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    int size = 16 * 1024 * 1024;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
    return true;
}

QList<WireTap::Frame> WireTap::take(int settleMs)
{
    QList<Frame> frames;
    if (m_fd < 0)
        return frames;
    // Read until the wire has been quiet for settleMs.
    for (;;) {
        pollfd p = {m_fd, POLLIN, 0};
        if (::poll(&p, 1, settleMs) <= 0)
            break;
        char buffer[65536];
        sockaddr_ll from = {};
        socklen_t len = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n < 14)
            continue;
        const quint16 type = quint16(quint8(buffer[12]) << 8 | quint8(buffer[13]));
        if (type != 0xC1A0 && type != 0xC1A1)
            continue;
        frames.append({QByteArray(buffer, int(n)), from.sll_pkttype == PACKET_OUTGOING});
    }
    return frames;
}
