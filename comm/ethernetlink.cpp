#include "ethernetlink.h"

#include "adapters.h"

#include <pcap/pcap.h>

#include <QDeadlineTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Big enough that a 63-frame read burst never overflows while the receive
// thread is busy copying.
constexpr int CaptureBufferBytes = 8 * 1024 * 1024;
constexpr int SnapshotLength = 65536;
// How long a send right after start-up waits for the capture to open.
constexpr int OpenGraceMs = 2000;
} // namespace

QString formatMac(const quint8 *mac)
{
    return QString::asprintf("%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

EthernetLink::EthernetLink(const QString &interfaceName, const quint8 ownMac[6], quint32 readTimeoutMs,
                           quint32 queueLimit, QObject *parent)
    : QThread(parent), m_interfaceName(interfaceName), m_queueLimit(queueLimit), m_readTimeout(readTimeoutMs)
{
    if (ownMac)
        std::memcpy(m_ownMac, ownMac, 6);
    else
        std::memset(m_ownMac, 0, 6);
    m_ownMacText = formatMac(m_ownMac);
}

EthernetLink::~EthernetLink()
{
    if (QThread::isRunning()) {
        stop();
        wait();
    }
    closeCapture();
}

QString EthernetLink::filterText() const
{
    const QString m = m_ownMacText;
    return QStringLiteral("(not ether src ff:ff:ff:ff:ff:ff) and (not ether host 00:00:00:00:00:00) and (not ether src ")
           + m + QStringLiteral(") and ether dst ") + m
           + QStringLiteral(" and (ether proto 0xc1a0 or ether proto 0xc1a1)");
}

QString EthernetLink::captureError() const
{
    QMutexLocker l(&m_readyLock);
    return QString::fromLocal8Bit(m_errorText);
}

bool EthernetLink::capturePermissionDenied() const
{
    QMutexLocker l(&m_readyLock);
    return m_permissionDenied;
}

bool EthernetLink::captureFailed() const
{
    QMutexLocker l(&m_readyLock);
    return m_openFailed;
}

bool EthernetLink::keepsRunning() const
{
    QMutexLocker l(&m_runLock);
    return m_running;
}

void EthernetLink::stop()
{
    {
        QMutexLocker l(&m_runLock);
        m_running = false;
    }
    // libpcap may keep waiting inside one read call while no frame comes;
    // breaking the loop ends that read at once.
    QReadLocker r(&m_handleLock);
    if (m_handle)
        pcap_breakloop(m_handle);
}

bool EthernetLink::waitUntilReady(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker l(&m_readyLock);
    while (m_readyState == Opening) {
        if (!QThread::isRunning() && !QThread::isFinished())
            return false; // never started
        if (!m_readyChanged.wait(&m_readyLock, deadline))
            break;
    }
    return m_readyState == Ready && !m_sendBroken;
}

void EthernetLink::run()
{
    auto fail = [this](const char *text, bool denied) {
        QMutexLocker l(&m_readyLock);
        qstrncpy(m_errorText, text, sizeof m_errorText);
        m_openFailed = true;
        m_permissionDenied = denied;
    };
    auto finish = [this](pcap_t *p, bpf_program *prog) {
        if (prog)
            pcap_freecode(prog);
        if (p) {
            QWriteLocker w(&m_handleLock);
            if (m_handle == p)
                m_handle = nullptr;
            pcap_close(p);
        }
        QMutexLocker l(&m_readyLock);
        m_readyState = Ended;
        m_readyChanged.wakeAll();
    };

    char errbuf[PCAP_ERRBUF_SIZE] = {};
    const QByteArray device = m_interfaceName.toLatin1();
    pcap_t *p = pcap_create(device.constData(), errbuf);
    if (!p) {
        fail(errbuf, false);
        finish(nullptr, nullptr);
        return;
    }
    pcap_set_snaplen(p, SnapshotLength);
    pcap_set_promisc(p, 1);
    pcap_set_timeout(p, int(m_readTimeout));
    // Without immediate mode replies wait in the kernel for the read timeout.
    pcap_set_immediate_mode(p, 1);
    pcap_set_buffer_size(p, CaptureBufferBytes);
    const int activated = pcap_activate(p);
    if (activated < 0) {
        fail(pcap_geterr(p), activated == PCAP_ERROR_PERM_DENIED);
        pcap_close(p);
        finish(nullptr, nullptr);
        return;
    }

    bpf_program program;
    const QByteArray filter = filterText().toLatin1();
    if (pcap_compile(p, &program, filter.constData(), 1, 0) < 0) {
        fail(pcap_geterr(p), false);
        pcap_close(p);
        finish(nullptr, nullptr);
        return;
    }
    // Our own requests need not come back through the filter.
    pcap_setdirection(p, PCAP_D_IN);
    if (pcap_setfilter(p, &program) < 0 || !keepsRunning()) {
        finish(p, &program);
        return;
    }

    {
        QWriteLocker w(&m_handleLock);
        m_handle = p;
    }
    {
        QMutexLocker l(&m_readyLock);
        m_readyState = Ready;
        m_readyChanged.wakeAll();
    }

    while (keepsRunning() && !m_sendBroken) {
        pcap_pkthdr *header = nullptr;
        const u_char *packet = nullptr;
        const int r = pcap_next_ex(p, &header, &packet);
        if (r < 0) {
            QMutexLocker l(&m_runLock);
            m_running = false;
            break;
        }
        if (r > 0)
            acceptPacket(packet, header->caplen);
    }

    {
        pcap_stat st;
        if (pcap_stats(p, &st) == 0) {
            QMutexLocker l(&m_queueLock);
            m_kernelDrops = st.ps_drop;
        }
    }
    finish(p, &program);
}

void EthernetLink::acceptPacket(const quint8 *packet, quint32 capturedLength)
{
    if (!packet || capturedLength < 14)
        return;
    const quint16 etherType = quint16(packet[12] << 8 | packet[13]);
    if (etherType != ControlEtherType && etherType != MemoryEtherType)
        return;
    // The sequence number has 12 bits; a frame with the top nibble set is not
    // one of ours and is ignored rather than trusted.
    if (capturedLength > 14 && (packet[14] & 0xF0) != 0)
        return;
    RawFramePtr frame(new RawFrame);
    const quint32 n = qMin<quint32>(capturedLength, RawFrame::MaxLength);
    std::memcpy(frame->data, packet, n);
    frame->length = quint16(n);
    enqueue(std::move(frame), etherType == ControlEtherType ? ControlQueue : MemoryQueue);
}

void EthernetLink::enqueue(RawFramePtr frame, Queue queue)
{
    bool wake;
    {
        QMutexLocker l(&m_queueLock);
        RawFrameList &q = m_queues[queue];
        q.push_back(std::move(frame));
        if (q.size() > m_queueLimit)
            q.pop_front();
        ++m_arrivals[queue];
        m_lastArrival[queue] = std::chrono::steady_clock::now();
        wake = q.size() >= m_wanted[queue];
    }
    // Waking the reader for every frame of a burst costs more than the copy.
    if (wake) {
        QMutexLocker w(&m_waitLock);
        m_arrived[queue].wakeAll();
    }
}

quint32 EthernetLink::kernelDrops() const
{
    QReadLocker r(&m_handleLock);
    if (m_handle) {
        pcap_stat st;
        if (pcap_stats(m_handle, &st) == 0)
            return st.ps_drop;
    }
    QMutexLocker l(&m_queueLock);
    return m_kernelDrops;
}

int EthernetLink::sendFrames(RawFrameList &frames)
{
    if (m_sendBroken)
        return -1;
    // A link is started just before its first use; give it time to open.
    waitUntilReady(OpenGraceMs);
    QReadLocker r(&m_handleLock);
    if (!m_handle)
        return -1;
    while (!frames.empty()) {
        RawFrame *f = frames.front().get();
        if (f->length < RawFrame::MinLength) {
            std::memset(f->data + f->length, 0, RawFrame::MinLength - f->length);
            f->length = RawFrame::MinLength;
        }
        static const quint8 zero[6] = {};
        if (std::memcmp(f->data + 6, zero, 6) == 0)
            std::memcpy(f->data + 6, m_ownMac, 6);
        if (pcap_sendpacket(m_handle, f->data, f->length) != 0) {
            {
                QMutexLocker l(&m_readyLock);
                qstrncpy(m_errorText, pcap_geterr(m_handle), sizeof m_errorText);
            }
            // The receive thread sees this, stops reading and closes the handle.
            m_sendBroken = true;
            {
                QMutexLocker l(&m_runLock);
                m_running = false;
            }
            pcap_breakloop(m_handle);
            return -2;
        }
        frames.pop_front();
    }
    return 0;
}

quint32 EthernetLink::queuedCount(Queue queue) const
{
    QMutexLocker l(&m_queueLock);
    return quint32(m_queues[queue].size());
}

void EthernetLink::flushControlFrames()
{
    QMutexLocker l(&m_queueLock);
    m_queues[ControlQueue].clear();
}

int EthernetLink::takeControlFrames(RawFrameList &out, quint32 &count, quint32 timeoutMs)
{
    return takeFrames(ControlQueue, out, count, timeoutMs);
}

int EthernetLink::takeMemoryFrames(RawFrameList &out, quint32 &count, quint32 timeoutMs)
{
    return takeFrames(MemoryQueue, out, count, timeoutMs);
}

// Called with the wait lock held. Returns once count frames are queued (and,
// with needArrival, at least one came after the call), or when quiet passed
// without a new frame; false in the second case.
bool EthernetLink::waitQuietly(Queue queue, quint32 count, std::chrono::nanoseconds quiet, bool needArrival)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point entered = Clock::now();
    QMutexLocker l(&m_queueLock);
    const quint64 arrivalsBefore = m_arrivals[queue];
    bool enough = false;
    for (;;) {
        const bool arrived = m_arrivals[queue] != arrivalsBefore;
        if (m_queues[queue].size() >= count && (arrived || !needArrival)) {
            enough = true;
            break;
        }
        const Clock::time_point since = arrived ? std::max(entered, m_lastArrival[queue]) : entered;
        const Clock::time_point now = Clock::now();
        if (now - since >= quiet)
            break;
        // With the count reached before the call only a new frame may wake us.
        m_wanted[queue] = needArrival && m_queues[queue].size() >= count ? quint32(m_queues[queue].size() + 1) : count;
        l.unlock();
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(quiet - (now - since));
        m_arrived[queue].wait(&m_waitLock, QDeadlineTimer(left, Qt::PreciseTimer));
        l.relock();
    }
    m_wanted[queue] = TakeAll;
    return enough;
}

// Called with the wait lock held.
quint32 EthernetLink::waitForFrames(Queue queue, quint32 count, quint32 timeoutMs)
{
    // The wait is entered at least once: a frame that came before it is
    // collected when the wait times out.
    waitQuietly(queue, count, std::chrono::milliseconds(timeoutMs), true);
    return queuedCount(queue);
}

void EthernetLink::moveFrames(Queue queue, RawFrameList &out, quint32 &count, quint32 n)
{
    if (count != TakeAll && n > count)
        n = count;
    count = n;
    QMutexLocker l(&m_queueLock);
    RawFrameList &q = m_queues[queue];
    for (quint32 i = 0; i < n && !q.empty(); ++i) {
        out.push_back(std::move(q.front()));
        q.pop_front();
    }
}

int EthernetLink::takeFrames(Queue queue, RawFrameList &out, quint32 &count, quint32 timeoutMs)
{
    if (count == 0)
        return -1;
    quint32 n = queuedCount(queue);
    if (n == 0 && timeoutMs == 0) {
        count = 0;
        return 0;
    }
    if (timeoutMs != 0) {
        QMutexLocker w(&m_waitLock);
        waitForFrames(queue, count, timeoutMs);
        w.unlock();
        n = queuedCount(queue);
    }
    moveFrames(queue, out, count, n);
    return 0;
}

quint32 EthernetLink::collectFrames(Queue queue, RawFrameList &out, quint32 count, std::chrono::microseconds quiet)
{
    if (count == 0)
        return 0;
    if (quiet.count() > 0) {
        QMutexLocker w(&m_waitLock);
        waitQuietly(queue, count, quiet, false);
    }
    quint32 n = queuedCount(queue);
    moveFrames(queue, out, count, n);
    return count;
}

int EthernetLink::exchange(RawFrameList &frames, Queue queue, RawFrameList &out, quint32 &count, quint32 timeoutMs)
{
    if (count == 0)
        return -1;
    QMutexLocker w(&m_waitLock);
    const int sent = sendFrames(frames);
    if (sent != 0) {
        count = 0;
        return sent;
    }
    if (timeoutMs != 0)
        waitForFrames(queue, count, timeoutMs);
    w.unlock();
    moveFrames(queue, out, count, queuedCount(queue));
    return 0;
}

void EthernetLink::closeCapture()
{
    QWriteLocker w(&m_handleLock);
    if (m_handle) {
        pcap_close(m_handle);
        m_handle = nullptr;
    }
}

void EthernetLink::listInterfaces(QStringList &names, QStringList &descriptions)
{
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t *all = nullptr;
    if (pcap_findalldevs(&all, errbuf) == -1) {
        std::fprintf(stderr, "Error in pcap_findalldevs_ex: %s\n", errbuf);
        std::exit(1);
    }
    // The capture library also lists D-Bus, Bluetooth, NFLOG, usbmon and
    // "any"; an ECU is only reached through an Ethernet adapter.
    const QList<Platform::AdapterInfo> adapters = Platform::readAdapterTable();
    int number = 0;
    for (pcap_if_t *d = all; d; d = d->next) {
        const QString name = QString::fromLatin1(d->name);
        const auto adapter = std::find_if(adapters.begin(), adapters.end(), [&name](const Platform::AdapterInfo &a) {
            return a.name == name && a.type == Platform::AdapterTypeEthernet;
        });
        if (adapter == adapters.end())
            continue;
        ++number;
        names.append(name);
        QString text = name;
        if (d->description) {
            QString description = QString::fromLatin1(d->description);
            description.remove(QStringLiteral("Network adapter '"));
            description.remove(QStringLiteral("' on local host"));
            text += QStringLiteral(" - ") + description;
        }
        descriptions.append(text + QStringLiteral(" - ") + formatMac(adapter->mac));
    }
    if (number == 0) {
        names.append(QString());
        descriptions.append(QStringLiteral("No interfaces found! Make sure WinPcap is installed."));
    }
    pcap_freealldevs(all);
}

void EthernetLink::findInterfaceMac(const QString &interfaceName, quint8 mac[6])
{
    if (!mac)
        return;
    std::memset(mac, 0, 6);
    if (interfaceName.isNull())
        return;
    // Read at every call: interfaces (veth pairs among them) come and go.
    const QByteArray found = Platform::findAdapterMac(Platform::readAdapterTable(), interfaceName);
    if (found.size() == 6)
        std::memcpy(mac, found.constData(), 6);
}
