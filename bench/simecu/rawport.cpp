#include "rawport.h"

#include <arpa/inet.h>
#include <cstring>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RawPort::~RawPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawPort::open(const QString &interfaceName, const QByteArray &hostMac)
{
    m_mac = hostMac;
    m_fd = ::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
    if (m_fd < 0)
        return false;
    // Large enough that a 64-frame burst is never dropped.
    const int buffer = 16 << 20;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) != 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_ll sll{};
    sll.sll_family = AF_PACKET;
    sll.sll_protocol = htons(ETH_P_ALL);
    sll.sll_ifindex = int(if_nametoindex(interfaceName.toLocal8Bit().constData()));
    return sll.sll_ifindex != 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&sll), sizeof sll) == 0;
}

bool RawPort::send(const QByteArray &destination, const QByteArray &rest)
{
    QByteArray f = destination + m_mac + rest;
    if (f.size() < 60)
        f.append(QByteArray(60 - f.size(), '\0'));
    return m_fd >= 0 && ::send(m_fd, f.constData(), size_t(f.size()), 0) == f.size();
}

QList<QByteArray> RawPort::receive(int count, int quietMs)
{
    QList<QByteArray> out;
    char buf[2048];
    while (m_fd >= 0 && out.size() < count) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, quietMs) <= 0)
            break;
        sockaddr_ll from{};
        socklen_t len = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n < 22 || from.sll_pkttype == PACKET_OUTGOING || memcmp(buf, m_mac.constData(), 6) != 0)
            continue;
        const quint16 type = quint16((quint8(buf[12]) << 8) | quint8(buf[13]));
        if (type == 0xC1A0 || type == 0xC1A1)
            out.append(QByteArray(buf, int(n)));
    }
    return out;
}
