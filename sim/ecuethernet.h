#pragma once
// The simulated ECU on a real network interface: an AF_PACKET socket that
// receives every frame of the two ECU EtherTypes on the interface
// (promiscuous, so the discovery address 02:5A:4B:00:00:00 reaches it too),
// answers through EcuFrameResponder and applies the simulator's reply faults
// (drop, duplicate, truncate, late, extra, foreign). The replies to one
// request leave in one sendmmsg batch, and the socket ignores our own
// outgoing frames, so a 63-frame burst costs two system calls. Needs CAP_NET_RAW.
//
// run() serves until stop() or a signal sets the stop flag. When a control
// file descriptor is given, text lines read from it change the ECU at run
// time (see handleCommand).

#include "ecuframeresponder.h"

#include <QByteArray>
#include <QString>

#include <sys/socket.h>

#include <atomic>
#include <deque>
#include <vector>

class EcuEthernetFrontEnd
{
public:
    EcuEthernetFrontEnd(EcuSimulator &simulator, const QByteArray &mac);
    ~EcuEthernetFrontEnd();

    // Opens the interface; false with a reason. An empty MAC given at
    // construction is replaced by the interface's own.
    bool open(const QString &interfaceName, QString *error);
    QByteArray mac() const { return m_responder.mac(); }
    EcuFrameResponder &responder() { return m_responder; }

    // Serves until stop(); controlFd < 0: no control lines. When the control
    // descriptor reaches its end, serving stops if stopAtControlEnd is set.
    // Returns 0 when stopped, 1 on a socket error.
    int run(int controlFd = -1, bool stopAtControlEnd = false);
    void stop() { m_stop = true; }

    // One control line; returns the answer. Besides EcuSimulator::control:
    //   lines A|B|C    discovery description lines; "lines" alone: none
    //   quit           stop serving
    QByteArray handleCommand(const QByteArray &line);

    quint64 framesReceived() const { return m_received; }
    quint64 framesSent() const { return m_sent; }

private:
    struct Delayed
    {
        qint64 due;
        QByteArray frame;
    };
    // Sends the queued frames, as few system calls as the socket allows.
    bool flush();
    void dispatch(const char *frame, int length);

    EcuSimulator &m_sim;
    EcuFrameResponder m_responder;
    int m_fd = -1;
    int m_ifIndex = 0;
    std::atomic<bool> m_stop{false};
    std::deque<Delayed> m_delayed;
    QList<QByteArray> m_replies;
    QList<QByteArray> m_outbox;
    std::vector<FaultPlan::Decision> m_decisions;
    std::vector<iovec> m_iov;
    std::vector<mmsghdr> m_msgs;
    quint64 m_received = 0;
    quint64 m_sent = 0;
};
