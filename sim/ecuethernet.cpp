#include "ecuethernet.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
qint64 nowMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}
} // namespace

EcuEthernetFrontEnd::EcuEthernetFrontEnd(EcuSimulator &simulator, const QByteArray &mac)
    : m_sim(simulator)
    , m_responder(simulator, mac)
{
}

EcuEthernetFrontEnd::~EcuEthernetFrontEnd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool EcuEthernetFrontEnd::open(const QString &interfaceName, QString *error)
{
    auto fail = [&](const QString &what) {
        if (error)
            *error = QStringLiteral("%1 on %2: %3").arg(what, interfaceName, QString::fromLocal8Bit(strerror(errno)));
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return false;
    };
    const QByteArray name = interfaceName.toLocal8Bit();
    if (name.isEmpty() || name.size() >= IFNAMSIZ) {
        errno = EINVAL;
        return fail(QStringLiteral("bad interface name"));
    }
    m_fd = ::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
    if (m_fd < 0)
        return fail(QStringLiteral("cannot open a raw socket"));
    m_ifIndex = int(if_nametoindex(name.constData()));
    if (m_ifIndex == 0)
        return fail(QStringLiteral("no interface"));

    sockaddr_ll sll{};
    sll.sll_family = AF_PACKET;
    sll.sll_protocol = htons(ETH_P_ALL);
    sll.sll_ifindex = m_ifIndex;
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&sll), sizeof sll) < 0)
        return fail(QStringLiteral("cannot bind"));

    packet_mreq mr{};
    mr.mr_ifindex = m_ifIndex;
    mr.mr_type = PACKET_MR_PROMISC;
    if (::setsockopt(m_fd, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &mr, sizeof mr) < 0)
        return fail(QStringLiteral("cannot enter promiscuous mode"));
    const int buffer = 4 << 20;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);

    if (m_responder.mac() == QByteArray(6, '\0')) {
        ifreq ifr{};
        memcpy(ifr.ifr_name, name.constData(), size_t(name.size()));
        if (::ioctl(m_fd, SIOCGIFHWADDR, &ifr) < 0)
            return fail(QStringLiteral("cannot read the MAC address"));
        m_responder.setMac(QByteArray(ifr.ifr_hwaddr.sa_data, 6));
    }
    return true;
}

bool EcuEthernetFrontEnd::send(const QByteArray &frame)
{
    for (;;) {
        const ssize_t n = ::send(m_fd, frame.constData(), size_t(frame.size()), 0);
        if (n == frame.size()) {
            ++m_sent;
            return true;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == ENOBUFS || errno == EAGAIN)) {
            ::usleep(200);
            continue;
        }
        return false;
    }
}

void EcuEthernetFrontEnd::dispatch(const char *frame, int length)
{
    m_replies.clear();
    m_responder.respond(frame, length, m_replies);
    for (const QByteArray &reply : std::as_const(m_replies)) {
        const FaultPlan::Decision d = m_sim.nextReplyDecision();
        if (d.drop)
            continue;
        const QByteArray out = d.truncateTo >= 0 ? EcuFrameResponder::truncated(reply, d.truncateTo) : reply;
        for (int c = 0; c < d.copies; ++c) {
            if (d.delayMs > 0)
                m_delayed.push_back({nowMs() + d.delayMs, out});
            else
                send(out);
        }
    }
}

int EcuEthernetFrontEnd::run(int controlFd, bool stopAtControlEnd)
{
    if (m_fd < 0)
        return 1;
    char buffer[65536];
    QByteArray pendingLine;
    while (!m_stop) {
        int timeout = 100;
        if (!m_delayed.empty())
            timeout = int(qBound<qint64>(0, m_delayed.front().due - nowMs(), qint64(100)));
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {controlFd, POLLIN, 0}};
        const int r = ::poll(fds, controlFd >= 0 ? 2 : 1, timeout);
        if (r < 0 && errno != EINTR)
            return 1;
        while (!m_delayed.empty() && m_delayed.front().due <= nowMs()) {
            send(m_delayed.front().frame);
            m_delayed.pop_front();
        }
        if (r <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            // Drain what is queued before sleeping again.
            for (;;) {
                sockaddr_ll from{};
                socklen_t fromLen = sizeof from;
                const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                             reinterpret_cast<sockaddr *>(&from), &fromLen);
                if (n < 0)
                    break;
                if (from.sll_pkttype == PACKET_OUTGOING)
                    continue;
                ++m_received;
                dispatch(buffer, int(n));
            }
        }
        if (controlFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
            char chunk[4096];
            const ssize_t n = ::read(controlFd, chunk, sizeof chunk);
            if (n <= 0) {
                if (stopAtControlEnd)
                    break;
                controlFd = -1;
                continue;
            }
            pendingLine.append(chunk, int(n));
            int nl;
            while ((nl = pendingLine.indexOf('\n')) >= 0) {
                const QByteArray answer = handleCommand(pendingLine.left(nl)) + '\n';
                pendingLine.remove(0, nl + 1);
                ::write(STDOUT_FILENO, answer.constData(), size_t(answer.size()));
            }
        }
    }
    return 0;
}

QByteArray EcuEthernetFrontEnd::handleCommand(const QByteArray &rawLine)
{
    QByteArray word, arg;
    EcuSimulator::splitControlLine(rawLine, &word, &arg);
    if (word == "lines") {
        m_responder.setDescriptionLines(arg.isEmpty() ? QStringList()
                                                      : QString::fromLatin1(arg).split(QLatin1Char('|')));
        return "ok";
    }
    if (word == "quit") {
        m_stop = true;
        return "ok";
    }
    return m_sim.control(rawLine);
}
