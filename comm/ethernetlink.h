#pragma once
// The raw Ethernet link: one live capture on one interface, a receive thread
// that sorts the ECU frames (EtherTypes 0xC1A0 and 0xC1A1) into two bounded
// queues, and the sending of request frames. Only this class touches libpcap,
// so raw-frame rights are needed here and nowhere else.

#include "rawframe.h"

#include <QMutex>
#include <QReadWriteLock>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <chrono>

struct pcap;

class EthernetLink : public QThread
{
    Q_OBJECT
public:
    enum Queue { ControlQueue, MemoryQueue };
    static constexpr quint16 ControlEtherType = 0xC1A0;
    static constexpr quint16 MemoryEtherType = 0xC1A1;
    static constexpr quint32 TakeAll = 0xFFFFFFFFu;

    EthernetLink(const QString &interfaceName, const quint8 ownMac[6], quint32 readTimeoutMs,
                 quint32 queueLimit, QObject *parent = nullptr);
    ~EthernetLink() override;

    // 0 sent (the list is emptied), -1 capture not open, -2 the library refused
    // a frame (it stays in the list and the link is finished).
    int sendFrames(RawFrameList &frames);

    // Move up to count frames to the tail of out; count returns how many moved.
    // -1 when count was 0 on entry. TakeAll takes everything that arrives until
    // a whole timeout passes without a new frame.
    int takeControlFrames(RawFrameList &out, quint32 &count, quint32 timeoutMs);
    int takeMemoryFrames(RawFrameList &out, quint32 &count, quint32 timeoutMs);
    // Sends the frames, then takes replies as above. The wait lock is held
    // from before the send, so replies that come back before the wait begins
    // still wake it: a fast ECU never costs a whole timeout.
    int exchange(RawFrameList &frames, Queue queue, RawFrameList &out, quint32 &count, quint32 timeoutMs);
    // Moves up to count frames to the tail of out as soon as that many are
    // queued; when fewer come, what came once `quiet` passed without a new
    // frame (no wait at all for 0). Frames already queued are taken at once.
    // Returns how many moved.
    quint32 collectFrames(Queue queue, RawFrameList &out, quint32 count, std::chrono::microseconds quiet);
    quint32 queuedCount(Queue queue) const;
    void flushControlFrames();
    void stop();

    bool keepsRunning() const;
    // Blocks until the capture is open with its filter set, or the thread gave
    // up; true when frames can be sent and received.
    bool waitUntilReady(int timeoutMs);

    QString interfaceName() const { return m_interfaceName; }
    QString ownMacText() const { return m_ownMacText; }
    QString filterText() const;
    QString captureError() const;
    // The capture ended because the system refused it (no root, no
    // CAP_NET_RAW): the user has to grant the rights.
    bool capturePermissionDenied() const;
    // The capture could not be opened or set up; captureError() says why.
    bool captureFailed() const;
    // Frames the kernel dropped for lack of buffer space (pcap_stats).
    quint32 kernelDrops() const;

    void setEventReceiver(QObject *receiver) { m_eventReceiver = receiver; }
    QObject *eventReceiver() const { return m_eventReceiver; }

    // What the receive thread does with each captured packet: ECU frames are
    // copied (at most 1514 bytes) into the queue of their EtherType, anything
    // else is ignored. Public so the queues can be exercised without a capture.
    void acceptPacket(const quint8 *packet, quint32 capturedLength);

    // Only interfaces of link type Ethernet with a MAC; each described by its
    // name, the capture library's description when it has one, and its MAC.
    static void listInterfaces(QStringList &names, QStringList &descriptions);
    static void findInterfaceMac(const QString &interfaceName, quint8 mac[6]);

protected:
    void run() override;

private:
    int takeFrames(Queue queue, RawFrameList &out, quint32 &count, quint32 timeoutMs);
    quint32 waitForFrames(Queue queue, quint32 count, quint32 timeoutMs);
    bool waitQuietly(Queue queue, quint32 count, std::chrono::nanoseconds quiet, bool needArrival);
    void moveFrames(Queue queue, RawFrameList &out, quint32 &count, quint32 n);
    void enqueue(RawFramePtr frame, Queue queue);
    void closeCapture();

    QString m_interfaceName;
    QString m_ownMacText;
    quint8 m_ownMac[6];
    quint32 m_queueLimit;
    quint32 m_readTimeout;
    char m_errorText[256] = {};
    QObject *m_eventReceiver = nullptr;

    RawFrameList m_queues[2];
    // The receive thread wakes a waiter only once the count it waits for is
    // queued; a quiet period is judged from the time of the last arrival.
    // Both under the queue lock.
    quint32 m_wanted[2] = {TakeAll, TakeAll};
    quint64 m_arrivals[2] = {};
    std::chrono::steady_clock::time_point m_lastArrival[2];
    mutable QMutex m_queueLock;
    QMutex m_waitLock;
    QWaitCondition m_arrived[2];
    mutable QMutex m_runLock;
    bool m_running = true;

    // Sending (caller thread) and capturing (receive thread) share the handle;
    // the receive thread closes it only under the write lock.
    mutable QReadWriteLock m_handleLock;
    pcap *m_handle = nullptr;
    std::atomic<bool> m_sendBroken{false};
    mutable QMutex m_readyLock;
    QWaitCondition m_readyChanged;
    enum { Opening, Ready, Ended } m_readyState = Opening;
    bool m_openFailed = false;
    bool m_permissionDenied = false;
    mutable quint32 m_kernelDrops = 0;
};
