#include "ecuethernet.h"

#include <QDateTime>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <vector>

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
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) < 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    if (::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUFFORCE, &buffer, sizeof buffer) < 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    // Every frame we send would otherwise be read back and thrown away.
    const int one = 1;
    ::setsockopt(m_fd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof one);

    if (m_responder.mac() == QByteArray(6, '\0')) {
        ifreq ifr{};
        memcpy(ifr.ifr_name, name.constData(), size_t(name.size()));
        if (::ioctl(m_fd, SIOCGIFHWADDR, &ifr) < 0)
            return fail(QStringLiteral("cannot read the MAC address"));
        m_responder.setMac(QByteArray(ifr.ifr_hwaddr.sa_data, 6));
    }
    return true;
}

bool EcuEthernetFrontEnd::flush()
{
    // constData: the replies are still shared with m_replies, and data()
    // would copy every frame once more.
    std::vector<iovec> &iov = m_iov;
    std::vector<mmsghdr> &msgs = m_msgs;
    iov.resize(size_t(m_outbox.size()));
    msgs.assign(size_t(m_outbox.size()), mmsghdr{});
    for (int i = 0; i < m_outbox.size(); ++i) {
        iov[size_t(i)] = {const_cast<char *>(m_outbox.at(i).constData()), size_t(m_outbox.at(i).size())};
        msgs[size_t(i)].msg_hdr.msg_iov = &iov[size_t(i)];
        msgs[size_t(i)].msg_hdr.msg_iovlen = 1;
    }
    size_t at = 0;
    while (at < msgs.size()) {
        const int n = ::sendmmsg(m_fd, msgs.data() + at, unsigned(msgs.size() - at), 0);
        if (n > 0) {
            at += size_t(n);
            m_sent += quint64(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == ENOBUFS || errno == EAGAIN)) {
            ::usleep(200);
        } else {
            break;
        }
    }
    m_outbox.clear();
    return at == msgs.size();
}

namespace {
// The reply with its data bytes inverted, so that taking it shows.
QByteArray spoilt(QByteArray frame)
{
    const int l = frame.size() >= 22 ? (quint8(frame[20]) << 8 | quint8(frame[21])) : 0;
    for (int i = 22; i < qMin(frame.size(), 22 + l); ++i)
        frame[i] = char(~frame[i]);
    return frame;
}
} // namespace

void EcuEthernetFrontEnd::dispatch(const char *frame, int length)
{
    m_replies.clear();
    m_responder.respond(frame, length, m_replies);
    m_sim.nextReplyDecisions(m_replies.size(), m_decisions);
    for (int i = 0; i < m_replies.size(); ++i) {
        const QByteArray &reply = m_replies.at(i);
        const FaultPlan::Decision &d = m_decisions[size_t(i)];
        if (d.foreign) {
            QByteArray other = spoilt(reply);
            other[11] = char(other[11] ^ 0x80);
            m_outbox.append(other);
        }
        if (d.drop)
            continue;
        const QByteArray out = d.truncateTo >= 0 ? EcuFrameResponder::truncated(reply, d.truncateTo) : reply;
        for (int c = 0; c < d.copies; ++c) {
            if (d.delayMs > 0)
                m_delayed.push_back({nowMs() + d.delayMs, out});
            else
                m_outbox.append(out);
        }
        if (d.extra && reply.size() >= 16) {
            QByteArray next = spoilt(reply);
            const int seq = ((quint8(next[14]) << 8 | quint8(next[15])) + 1) & 0x0FFF;
            next[14] = char(seq >> 8);
            next[15] = char(seq);
            m_outbox.append(next);
        }
    }
    flush();
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
            m_outbox.append(m_delayed.front().frame);
            m_delayed.pop_front();
        }
        if (!m_outbox.isEmpty())
            flush();
        if (r <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            // One frame per wake: poll returns at once while more are queued,
            // and a drain loop would end in a failed call every time.
            sockaddr_ll from{};
            socklen_t fromLen = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr *>(&from), &fromLen);
            if (n >= 0 && from.sll_pkttype != PACKET_OUTGOING) {
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
    if (word == "stats") {
        timespec cpu{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        return "ok " + QByteArray::number(m_received) + ' ' + QByteArray::number(m_sent) + ' '
               + QByteArray::number(qint64(cpu.tv_sec) * 1000000 + cpu.tv_nsec / 1000);
    }
    if (word == "quit") {
        m_stop = true;
        return "ok";
    }
    return m_sim.control(rawLine);
}
