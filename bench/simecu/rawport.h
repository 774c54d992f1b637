#pragma once
// The host's side of a veth pair for a client of the benchmark's own: sends
// ECU frames as given and collects the ECU frames (0xC1A0/0xC1A1) addressed
// to the host MAC. Needs CAP_NET_RAW.

#include <QByteArray>
#include <QList>
#include <QString>

class RawPort
{
public:
    RawPort() = default;
    ~RawPort();
    RawPort(const RawPort &) = delete;
    RawPort &operator=(const RawPort &) = delete;

    bool open(const QString &interfaceName, const QByteArray &hostMac);
    // Frame bytes from the EtherType on; the MACs go in front, padding to 60.
    bool send(const QByteArray &destination, const QByteArray &rest);
    // Collects frames until `count` came or `quietMs` passed without one.
    QList<QByteArray> receive(int count, int quietMs = 500);

private:
    int m_fd = -1;
    QByteArray m_mac;
};
