#include "ecuframeresponder.h"

#include <cstring>

namespace {
const char kBroadcast[6] = {'\xff', '\xff', '\xff', '\xff', '\xff', '\xff'};
const char kDiscoveryGroup[6] = {'\x02', '\x5a', '\x4b', 0, 0, 0};

quint16 be16(const char *p) { return quint16((quint8(p[0]) << 8) | quint8(p[1])); }
quint32 be32(const char *p)
{
    return (quint32(quint8(p[0])) << 24) | (quint32(quint8(p[1])) << 16) | (quint32(quint8(p[2])) << 8)
           | quint32(quint8(p[3]));
}
void put16(char *p, quint16 v)
{
    p[0] = char(v >> 8);
    p[1] = char(v);
}
void put32(char *p, quint32 v)
{
    p[0] = char(v >> 24);
    p[1] = char(v >> 16);
    p[2] = char(v >> 8);
    p[3] = char(v);
}
} // namespace

EcuFrameResponder::EcuFrameResponder(EcuSimulator &simulator, const QByteArray &mac)
    : m_sim(simulator)
    , m_mac(mac.left(6).leftJustified(6, '\0'))
{
    const SimDescription &d = simulator.description();
    if (!d.elfName.isEmpty())
        m_lines << d.elfName;
    if (!d.idStringValue.isEmpty())
        m_lines << QString::fromLatin1(d.idStringValue);
}

QByteArray EcuFrameResponder::header(const char *request, quint32 command, quint16 length, int payload) const
{
    // Only the padding is cleared: callers fill the payload, and a reply of
    // a read is mostly payload.
    QByteArray f(qMax(60, 22 + payload), Qt::Uninitialized);
    char *p = f.data();
    memset(p + 22 + payload, 0, size_t(f.size() - 22 - payload));
    memcpy(p, request + 6, 6);
    memcpy(p + 6, m_mac.constData(), 6);
    memcpy(p + 12, request + 12, 4); // EtherType and sequence number
    p[14] = char(p[14] & 0x0F);      // a receiver may treat a set high nibble as fatal
    put32(p + 16, command);
    put16(p + 20, length);
    return f;
}

int EcuFrameResponder::respond(const char *frame, int length, QList<QByteArray> &out)
{
    if (!frame || length < 22 || m_sim.absent())
        return 0;
    const bool toMe = memcmp(frame, m_mac.constData(), 6) == 0;
    const bool toAll = memcmp(frame, kBroadcast, 6) == 0 || memcmp(frame, kDiscoveryGroup, 6) == 0;
    if ((!toMe && !toAll) || memcmp(frame + 6, m_mac.constData(), 6) == 0)
        return 0;
    const quint16 type = be16(frame + 12);
    const quint32 command = be32(frame + 16);
    const quint16 l = be16(frame + 20);
    if (22 + int(l) > length)
        return 0;
    const char *params = frame + 22;

    if (type == ControlType) {
        if (command == 1) {
            QByteArray text;
            for (const QString &line : std::as_const(m_lines)) {
                const QByteArray l = line.toLatin1();
                if (text.size() + l.size() + 2 > 1514 - 22)
                    break; // one frame is all there is
                text += l + '\0';
            }
            text += '\0';
            QByteArray r = header(frame, 1, quint16(text.size()), text.size());
            memcpy(r.data() + 22, text.constData(), size_t(text.size()));
            out.append(r);
            return 1;
        }
        if (command == 2 && toMe && l == 0) {
            out.append(header(frame, 2, 0, 0));
            return 1;
        }
        return 0;
    }
    if (type != MemoryType || !toMe)
        return 0;

    quint32 space = 0;
    if (!m_sim.spaceFromWireId(quint8(command >> 3), &space))
        return 0;
    const quint32 op = command & 7;
    if (op == 3 && l == 4 && be32(params) == 0xFFFFFFFFu) {
        const quint32 table = m_sim.staticTableAddress(space);
        QByteArray r = header(frame, command, 4, 4);
        put32(r.data() + 22, table);
        out.append(r);
        return 1;
    }
    if (l < 6)
        return 0;
    const quint32 address = be32(params);
    const quint16 count = be16(params + 4);
    if (count == 0)
        return 0;
    if (op == 7) {
        if (6 + int(count) <= int(l))
            m_sim.write(space, address, params + 6, count);
        return 0;
    }
    if (op != 3)
        return 0;

    // One read for the whole request, so the memory is seen at one moment
    // and locked once.
    if (m_scratch.size() < int(count))
        m_scratch.resize(count);
    if (!m_sim.read(space, address, m_scratch.data(), count))
        return 0;
    const int frames = (count + MaxReplyData - 1) / MaxReplyData;
    for (int i = 0; i < frames; ++i) {
        const int d = qMin(MaxReplyData, int(count) - i * MaxReplyData);
        QByteArray r = header(frame, command, quint16(d), d);
        memcpy(r.data() + 22, m_scratch.constData() + i * MaxReplyData, size_t(d));
        out.append(r);
    }
    return frames;
}

QList<QByteArray> EcuFrameResponder::respond(const QByteArray &frame)
{
    QList<QByteArray> out;
    respond(frame.constData(), frame.size(), out);
    return out;
}

QByteArray EcuFrameResponder::truncated(const QByteArray &reply, int dataBytes)
{
    if (reply.size() < 22 || dataBytes < 0)
        return reply;
    const int l = be16(reply.constData() + 20);
    if (dataBytes >= l)
        return reply;
    QByteArray r = reply.left(22 + dataBytes);
    put16(r.data() + 20, quint16(dataBytes));
    if (r.size() < 60)
        r.append(QByteArray(60 - r.size(), '\0'));
    return r;
}
