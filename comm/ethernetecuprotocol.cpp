#include "ethernetecuprotocol.h"

#include "ethernetlink.h"
#include "remainingtimeevent.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstring>

const quint8 EthernetEcuProtocol::BroadcastMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const quint8 EthernetEcuProtocol::DiscoveryMac[6] = {0x02, 0x5A, 0x4B, 0x00, 0x00, 0x00};

namespace {
constexpr int HeaderLength = 22;

inline void put16(quint8 *p, quint16 v)
{
    p[0] = quint8(v >> 8);
    p[1] = quint8(v);
}
inline void put32(quint8 *p, quint32 v)
{
    p[0] = quint8(v >> 24);
    p[1] = quint8(v >> 16);
    p[2] = quint8(v >> 8);
    p[3] = quint8(v);
}
inline quint16 get16(const quint8 *p) { return quint16(p[0] << 8 | p[1]); }
inline quint32 get32(const quint8 *p) { return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3]; }

// The bytes of a reply's parameter area that really are in the frame: a
// truncated reply must not make us read past what was captured.
inline quint32 payloadLength(const RawFrame &f)
{
    if (f.length < HeaderLength)
        return 0;
    return qMin<quint32>(get16(f.data + 20), quint32(f.length - HeaderLength));
}

inline quint32 command(const RawFrame &f) { return f.length >= 20 ? get32(f.data + 16) : 0xFFFFFFFFu; }
inline int sequenceOf(const RawFrame &f) { return get16(f.data + 14) & 0x0FFF; }

// Positions of the frames equal to the frame before them. Legal (erased
// memory repeats), but also what a copied frame looks like.
std::vector<bool> repeatedFrames(const RawFrameList &frames)
{
    std::vector<bool> repeated(frames.size(), false);
    for (size_t i = 1; i < frames.size(); ++i) {
        const RawFrame &a = *frames[i - 1], &b = *frames[i];
        repeated[i] = a.length == b.length && std::memcmp(a.data + 20, b.data + 20, a.length - 20) == 0;
    }
    return repeated;
}

bool anyOf(const std::vector<bool> &v)
{
    return std::find(v.begin(), v.end(), true) != v.end();
}

// Every equal pair of b is one of a too.
bool within(const std::vector<bool> &b, const std::vector<bool> &a)
{
    for (size_t i = 0; i < b.size(); ++i)
        if (b[i] && (i >= a.size() || !a[i]))
            return false;
    return true;
}
} // namespace

EthernetEcuProtocol::EthernetEcuProtocol(EthernetLink **linkSlot) : m_linkSlot(linkSlot)
{
    std::memcpy(m_target, BroadcastMac, 6);
}

EthernetEcuProtocol::~EthernetEcuProtocol() = default;

void EthernetEcuProtocol::setTarget(const quint8 *mac)
{
    static const quint8 zero[6] = {};
    if (!mac || std::memcmp(mac, zero, 6) == 0 || std::memcmp(mac, BroadcastMac, 6) == 0) {
        m_targetValid = false;
        return;
    }
    std::memcpy(m_target, mac, 6);
    m_targetValid = true;
    m_echoLink = nullptr; // another ECU may number its replies otherwise
}

void EthernetEcuProtocol::invalidateTarget()
{
    std::memcpy(m_target, BroadcastMac, 6);
    m_targetValid = false;
}

RawFramePtr EthernetEcuProtocol::buildFrame(const quint8 *destination, quint16 etherType, quint32 cmd,
                                            quint16 paramLength)
{
    RawFramePtr f(new RawFrame);
    quint16 &counter = etherType == EthernetLink::ControlEtherType ? m_controlSequence : m_memorySequence;
    ++counter;
    std::memcpy(f->data, destination, 6);
    put16(f->data + 12, etherType);
    put16(f->data + 14, counter & 0x0FFF);
    put32(f->data + 16, cmd);
    put16(f->data + 20, paramLength);
    f->length = quint16(HeaderLength + paramLength);
    return f;
}

RawFramePtr EthernetEcuProtocol::buildDiscovery(int mode)
{
    return buildFrame(mode == 1 ? DiscoveryMac : BroadcastMac, EthernetLink::ControlEtherType, CommandDiscovery, 0);
}

RawFramePtr EthernetEcuProtocol::buildPresence()
{
    return buildFrame(m_target, EthernetLink::ControlEtherType, CommandPresence, 0);
}

RawFramePtr EthernetEcuProtocol::buildReadRequest(quint32 space, quint32 address, quint16 count)
{
    RawFramePtr f = buildFrame(m_target, EthernetLink::MemoryEtherType, (space & 0xFF) * 8 | OperationRead, 6);
    put32(f->data + 22, address);
    put16(f->data + 26, count);
    return f;
}

RawFramePtr EthernetEcuProtocol::buildWriteRequest(quint32 space, quint32 address, quint16 count, const quint8 *data)
{
    count = qMin<quint16>(count, MaxWriteData);
    RawFramePtr f = buildFrame(m_target, EthernetLink::MemoryEtherType, (space & 0xFF) * 8 | OperationWrite,
                               quint16(6 + count));
    put32(f->data + 22, address);
    put16(f->data + 26, count);
    std::memcpy(f->data + 28, data, count);
    return f;
}

RawFramePtr EthernetEcuProtocol::buildTableStartRequest(quint32 space)
{
    RawFramePtr f = buildFrame(m_target, EthernetLink::MemoryEtherType, (space & 0xFF) * 8 | OperationRead, 4);
    put32(f->data + 22, 0xFFFFFFFFu);
    return f;
}

bool EthernetEcuProtocol::send(RawFramePtr frame)
{
    m_send.clear();
    m_send.push_back(std::move(frame));
    EthernetLink *l = link();
    const bool ok = l && l->sendFrames(m_send) == 0;
    m_send.clear();
    return ok;
}

int EthernetEcuProtocol::exchange(RawFramePtr request, bool memory, quint32 &count, quint32 timeoutMs)
{
    m_send.clear();
    m_send.push_back(std::move(request));
    EthernetLink *l = link();
    const int r = l ? l->exchange(m_send, memory ? EthernetLink::MemoryQueue : EthernetLink::ControlQueue, m_receive,
                                  count, timeoutMs)
                    : -1;
    m_send.clear();
    if (r != 0)
        count = 0;
    return r;
}

const QList<EcuInfo> &EthernetEcuProtocol::discoverEcus(int mode, bool &found)
{
    m_ecus.clear();
    found = false;
    EthernetLink *l = link();
    if (!l)
        return m_ecus;
    l->flushControlFrames();
    if (!send(buildDiscovery(mode)))
        return m_ecus;
    m_receive.clear();
    quint32 count = EthernetLink::TakeAll;
    l->takeControlFrames(m_receive, count, DiscoveryQuietMs);
    if (count == 0 || m_receive.empty())
        return m_ecus;
    found = true;
    for (const RawFramePtr &f : m_receive) {
        EcuInfo info;
        if (parseDiscoveryReply(*f, info))
            m_ecus.append(info);
    }
    m_receive.clear();
    return m_ecus;
}

bool EthernetEcuProtocol::copyReplyData(const RawFrameList &frames, quint8 *buffer, quint32 length)
{
    quint32 at = 0;
    for (const RawFramePtr &f : frames) {
        const quint32 share = qMin(length - at, MaxReplyData);
        if (share == 0 || f->length < HeaderLength || get16(f->data + 20) != share
            || payloadLength(*f) != share)
            return false;
        std::memcpy(buffer + at, f->data + HeaderLength, share);
        at += share;
    }
    return at == length;
}

EthernetEcuProtocol::Verdict EthernetEcuProtocol::judge(const RawFrame &f, int sequence, int previous, bool learn)
{
    if (f.length < HeaderLength || std::memcmp(f.data + 6, m_target, 6) != 0)
        return Verdict::Drop;
    const int seq = sequenceOf(f);
    // A late reply to an earlier request also shows that the ECU echoes.
    if (m_echo == 0 && learn)
        m_echo = seq == sequence || m_askedBeforeEcho.contains(seq) ? 1 : -1;
    if (sequence >= 0 && (m_echo < 0 || seq == sequence))
        return Verdict::Accept;
    if (previous >= 0 && (m_echo < 0 || seq == previous))
        return Verdict::Spoiled; // one frame too many for the previous request
    return Verdict::Drop;
}

EthernetEcuProtocol::Take EthernetEcuProtocol::flushMemory(int previous)
{
    EthernetLink *l = link();
    if (l != m_echoLink) {
        m_echoLink = l;
        m_echo = 0;
        m_askedBeforeEcho.clear();
    }
    RawFrameList stale;
    if (l)
        l->collectFrames(EthernetLink::MemoryQueue, stale, EthernetLink::TakeAll, std::chrono::microseconds(0));
    for (const RawFramePtr &f : stale)
        if (judge(*f, -1, previous, false) == Verdict::Spoiled)
            return Take::Spoiled;
    return Take::Complete;
}

EthernetEcuProtocol::Take EthernetEcuProtocol::takeReplies(int sequence, int previous, quint32 count,
                                                          RawFrameList &out)
{
    EthernetLink *l = link();
    while (out.size() < count) {
        RawFrameList got;
        if (!l || l->collectFrames(EthernetLink::MemoryQueue, got, quint32(count - out.size()),
                                   std::chrono::milliseconds(ReplyTimeoutMs)) == 0)
            return Take::Short;
        for (RawFramePtr &f : got) {
            const Verdict v = judge(*f, sequence, previous, true);
            if (v == Verdict::Spoiled)
                return Take::Spoiled;
            if (v == Verdict::Accept)
                out.push_back(std::move(f));
        }
    }
    return Take::Complete;
}

bool EthernetEcuProtocol::parseDiscoveryReply(const RawFrame &f, EcuInfo &info)
{
    if (f.length < HeaderLength || command(f) != CommandDiscovery)
        return false;
    info.mac = QByteArray(reinterpret_cast<const char *>(f.data + 6), 6);
    info.macText = formatMac(f.data + 6);
    info.descriptions.clear();
    // NUL-terminated lines, an empty one ends the list; a reply cut short
    // ends it too.
    int pos = HeaderLength;
    while (pos < f.length && f.data[pos] != 0) {
        const int start = pos;
        while (pos < f.length && f.data[pos] != 0)
            ++pos;
        info.descriptions.append(QString::fromLatin1(reinterpret_cast<const char *>(f.data + start), pos - start));
        ++pos;
    }
    return true;
}

int EthernetEcuProtocol::checkPresence()
{
    if (!m_targetValid)
        return -1;
    m_receive.clear();
    quint32 count = 1;
    exchange(buildPresence(), false, count, ReplyTimeoutMs);
    if (count == 0 || m_receive.empty()) {
        invalidateTarget();
        return -2;
    }
    const RawFrame &f = *m_receive.front();
    const bool match = f.length >= HeaderLength && std::memcmp(f.data + 6, m_target, 6) == 0
                       && command(f) == CommandPresence && get16(f.data + 20) == 0;
    m_receive.clear();
    if (!match) {
        invalidateTarget();
        return -3;
    }
    return 0;
}

void EthernetEcuProtocol::postRemaining(QObject *receiver, quint64 done, quint32 timeMs, quint64 remaining)
{
    // With no measurable rate yet there is nothing sensible to announce.
    const qint64 estimate = remainingTimeMs(done, timeMs, remaining);
    if (receiver && estimate >= 0)
        QCoreApplication::postEvent(receiver, new RemainingTimeEvent(quint32(estimate)));
}

EthernetEcuProtocol::Take EthernetEcuProtocol::readChunk(quint32 space, quint32 address, quint32 chunk, quint8 *dst,
                                                        bool last, int &previous, std::vector<bool> &repeated)
{
    const quint32 expected = (chunk + MaxReplyData - 1) / MaxReplyData;
    repeated.clear();
    m_receive.clear();
    // A frame that comes once too often pushes the next one out of place:
    // the request it belonged to is not trusted.
    Take take = flushMemory(previous);
    if (take == Take::Complete) {
        RawFramePtr request = buildReadRequest(space, address, quint16(chunk));
        const int sequence = sequenceOf(*request);
        if (m_echo == 0 && m_askedBeforeEcho.size() < 64)
            m_askedBeforeEcho.append(sequence);
        take = send(std::move(request)) ? takeReplies(sequence, previous, expected, m_receive) : Take::Short;
        if (take == Take::Complete && !copyReplyData(m_receive, dst, chunk))
            take = Take::Short;
        // Surplus frames of a middle request show up at the next one; the
        // last request, and every one when replies are not numbered, waits
        // briefly for them when its frames alone cannot tell.
        if (take == Take::Complete)
            repeated = repeatedFrames(m_receive);
        const bool repeat = anyOf(repeated);
        if (take == Take::Complete && (last || (repeat && m_echo < 0))) {
            RawFrameList extra;
            link()->collectFrames(EthernetLink::MemoryQueue, extra, EthernetLink::TakeAll,
                                  std::chrono::milliseconds(repeat ? SettleMs : 0));
            for (const RawFramePtr &f : extra)
                if (judge(*f, -1, sequence, false) == Verdict::Spoiled)
                    take = Take::Short;
        }
        if (take == Take::Complete)
            previous = sequence;
    }
    m_receive.clear();
    return take;
}

quint32 EthernetEcuProtocol::readMemory(quint32 space, quint32 address, quint32 length, quint8 *buffer,
                                        QObject *progress)
{
    if (length == 0 || !buffer)
        return 0;
    QElapsedTimer timer;
    timer.start();
    quint32 done = 0;
    quint32 previousChunk = 0;
    int previous = -1;
    while (done < length) {
        const quint32 chunk = qMin(length - done, MaxReadRequest);
        const bool last = done + chunk == length;
        std::vector<bool> repeated;
        Take take = readChunk(space, address, chunk, buffer + done, last, previous, repeated);
        if (take == Take::Spoiled)
            done -= previousChunk;
        // Two equal frames in a row are either equal memory or one frame
        // twice with another lost, which leaves the count right and the bytes
        // wrong. Equal memory stays equal at the same places when read again.
        for (int again = 0; take == Take::Complete && anyOf(repeated); ++again) {
            std::vector<bool> before;
            before.swap(repeated);
            if (again == MaxRereads
                || readChunk(space, address, chunk, buffer + done, last, previous, repeated) != Take::Complete)
                take = Take::Short;
            else if (within(repeated, before))
                break;
        }
        if (take != Take::Complete)
            break;
        done += chunk;
        previousChunk = chunk;
        address += chunk;
        m_bytesRead += chunk;
        m_readTime += quint32(timer.restart()) + 1;
        if (progress)
            postRemaining(progress, m_bytesRead, m_readTime, length - done);
    }
    return done;
}

quint32 EthernetEcuProtocol::writeMemory(quint32 space, quint32 address, quint32 length, const quint8 *data,
                                         QObject *progress)
{
    if (length == 0 || !data)
        return 0;
    QElapsedTimer timer;
    timer.start();
    quint32 sent = 0;
    while (sent < length) {
        const quint32 chunk = qMin(length - sent, MaxWriteData);
        if (!send(buildWriteRequest(space, address, quint16(chunk), data + sent)))
            break;
        sent += chunk;
        address += chunk;
        m_bytesWritten += chunk;
        m_writeTime += quint32(timer.restart());
        if (progress)
            postRemaining(progress, m_bytesWritten, m_writeTime, length - sent);
        // The ECU has no flow control: give it time to store each frame.
        QMutexLocker p(&m_pauseLock);
        m_pause.wait(&m_pauseLock, WritePauseMs);
    }
    return sent;
}

bool EthernetEcuProtocol::readTableStart(quint32 space, quint32 &address)
{
    address = 0xFFFFFFFFu;
    m_receive.clear();
    flushMemory(-1);
    RawFramePtr request = buildTableStartRequest(space);
    const int sequence = sequenceOf(*request);
    if (m_echo == 0 && m_askedBeforeEcho.size() < 64)
        m_askedBeforeEcho.append(sequence);
    bool ok = false;
    if (send(std::move(request)) && takeReplies(sequence, -1, 1, m_receive) == Take::Complete) {
        const RawFrame &f = *m_receive.front();
        if (f.length >= HeaderLength + 4 && get16(f.data + 20) == 4) {
            address = get32(f.data + 22);
            ok = true;
        }
    }
    m_receive.clear();
    return ok;
}

bool EthernetEcuProtocol::readTableEntry(quint32 space, quint32 tableAddress, quint32 index, bool littleEndian,
                                         quint32 &address, quint8 &flag, quint8 &size)
{
    if (tableAddress == 0xFFFFFFFFu) {
        address = 0xFFFFFFFFu;
        flag = 0;
        size = 0;
        return false;
    }
    quint8 entry[6] = {};
    if (readMemory(space, tableAddress + 6 * index, 6, entry, nullptr) != 6) {
        address = 0xFFFFFFFFu;
        flag = 0;
        size = 0;
        return false;
    }
    address = decodeWord(entry, littleEndian, 4);
    if (qint32(address) < 1)
        return false;
    flag = entry[4] >> 7;
    size = entry[4] & 0x7F;
    return true;
}

quint32 EthernetEcuProtocol::decodeWord(const quint8 *bytes, bool reverse, int width)
{
    if (width == 2)
        return reverse ? quint32(bytes[1]) << 8 | bytes[0] : quint32(bytes[0]) << 8 | bytes[1];
    if (reverse)
        return quint32(bytes[3]) << 24 | quint32(bytes[2]) << 16 | quint32(bytes[1]) << 8 | bytes[0];
    return get32(bytes);
}
