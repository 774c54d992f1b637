#pragma once
// The direct Ethernet protocol with the ECU: request frames, replies taken
// from the link's queues, discovery, presence, memory reads and writes and the
// static variable table. Runs blocking in the calling thread.
//
// A read never trusts a frame just for arriving: the memory queue is emptied
// before each request, replies count only from the target's MAC, and once
// the ECU is seen to echo the request's sequence number, only with that
// number. A frame of the previous request turning up (one too many) fails
// the read; so does a frame whose data length is not its share. The frames
// on the wire are the same as ever.

#include "rawframe.h"

#include <QList>
#include <QMutex>
#include <QWaitCondition>

#include <vector>

class EthernetLink;
class QObject;

class EthernetEcuProtocol
{
public:
    static constexpr quint32 MaxReadRequest = 64512; // 63 reply frames
    static constexpr quint32 MaxReplyData = 1024;
    static constexpr quint32 MaxWriteData = 1024;
    static constexpr quint32 CommandDiscovery = 1;
    static constexpr quint32 CommandPresence = 2;
    static constexpr quint32 OperationRead = 3;
    static constexpr quint32 OperationWrite = 7;
    static constexpr quint32 ReplyTimeoutMs = 200;
    static constexpr quint32 DiscoveryQuietMs = 1000;
    // How long a read whose replies hold two equal frames in a row waits for
    // a surplus frame that would show one of them to be a copy.
    static constexpr int SettleMs = 2;
    static constexpr int MaxRereads = 2;
    static constexpr int WritePauseMs = 2;

    // linkSlot is where the owner keeps the current link; it may be replaced.
    explicit EthernetEcuProtocol(EthernetLink **linkSlot);
    ~EthernetEcuProtocol();

    void setTarget(const quint8 *mac);
    bool targetValid() const { return m_targetValid; }
    const quint8 *targetMac() const { return m_target; }

    const QList<EcuInfo> &discoverEcus(int mode, bool &found);
    int checkPresence();
    // The bytes that came right, from the start; anything short of length is a failure.
    quint32 readMemory(quint32 space, quint32 address, quint32 length, quint8 *buffer, QObject *progress);
    quint32 writeMemory(quint32 space, quint32 address, quint32 length, const quint8 *data, QObject *progress);
    bool readTableStart(quint32 space, quint32 &address);
    bool readTableEntry(quint32 space, quint32 tableAddress, quint32 index, bool littleEndian, quint32 &address,
                        quint8 &flag, quint8 &size);
    static quint32 decodeWord(const quint8 *bytes, bool reverse, int width);
    // A discovery reply (command 1) as an EcuInfo; false for any other frame.
    // Takes any bytes: lines stop at the frame's end.
    static bool parseDiscoveryReply(const RawFrame &frame, EcuInfo &info);
    // Copies the data of the replies to one read request of `length` bytes:
    // frame i must carry exactly the i-th KiB (the last one the rest) within
    // its captured bytes. False, with the buffer partly written, otherwise.
    static bool copyReplyData(const RawFrameList &frames, quint8 *buffer, quint32 length);
    // Whether the ECU echoes the request's sequence number in its replies;
    // learnt from the first memory reply on each link (0 unknown, 1 yes, -1 no).
    int echoesSequence() const { return m_echo; }

    int discoveryMode() const { return m_discoveryMode; }
    void setDiscoveryMode(int mode) { m_discoveryMode = mode ? 1 : 0; }
    const QList<EcuInfo> &ecuList() const { return m_ecus; }

    quint32 readTimeMs() const { return m_readTime; }
    quint32 writeTimeMs() const { return m_writeTime; }
    quint32 bytesRead() const { return m_bytesRead; }
    quint32 bytesWritten() const { return m_bytesWritten; }
    void resetStatistics()
    {
        m_bytesRead = m_bytesWritten = 0;
        m_readTime = m_writeTime = 1;
    }

    // Request builders; each takes the next sequence number of its EtherType.
    RawFramePtr buildDiscovery(int mode);
    RawFramePtr buildPresence();
    RawFramePtr buildReadRequest(quint32 space, quint32 address, quint16 count);
    RawFramePtr buildWriteRequest(quint32 space, quint32 address, quint16 count, const quint8 *data);
    RawFramePtr buildTableStartRequest(quint32 space);

    static const quint8 BroadcastMac[6];
    static const quint8 DiscoveryMac[6];

private:
    RawFramePtr buildFrame(const quint8 *destination, quint16 etherType, quint32 command, quint16 paramLength);
    EthernetLink *link() const { return m_linkSlot ? *m_linkSlot : nullptr; }
    bool send(RawFramePtr frame);
    // Sends one request and takes up to count replies of its kind.
    int exchange(RawFramePtr request, bool memory, quint32 &count, quint32 timeoutMs);
    void invalidateTarget();
    enum class Take { Complete, Short, Spoiled };
    enum class Verdict { Accept, Drop, Spoiled };
    Verdict judge(const RawFrame &f, int sequence, int previous, bool learn);
    // Empties the memory queue before a request; Spoiled when it held a
    // frame too many of the previous request.
    Take flushMemory(int previous);
    Take takeReplies(int sequence, int previous, quint32 count, RawFrameList &out);
    // One read request and its replies into dst; repeated marks the reply
    // frames equal to the one before.
    Take readChunk(quint32 space, quint32 address, quint32 chunk, quint8 *dst, bool last, int &previous,
                   std::vector<bool> &repeated);
    static void postRemaining(QObject *receiver, quint64 done, quint32 timeMs, quint64 remaining);

    EthernetLink **m_linkSlot;
    quint8 m_target[6];
    bool m_targetValid = false;
    RawFrameList m_receive;
    RawFrameList m_send;
    QList<EcuInfo> m_ecus;
    quint32 m_writeTime = 1;
    quint32 m_readTime = 1;
    quint32 m_bytesRead = 0;
    quint32 m_bytesWritten = 0;
    int m_discoveryMode = 0;
    quint16 m_memorySequence = 0;
    quint16 m_controlSequence = 0;
    int m_echo = 0;
    QList<int> m_askedBeforeEcho; // sequence numbers sent while m_echo is 0
    const EthernetLink *m_echoLink = nullptr;
    QMutex m_pauseLock;
    QWaitCondition m_pause; // never signalled: a timed wait is the pause
};
