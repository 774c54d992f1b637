#pragma once
// An independent look at the wire: a packet socket on one interface that
// records every ECU frame going out or coming in, as the kernel saw it.

#include <QByteArray>
#include <QList>
#include <QString>

class WireTap
{
public:
    struct Frame
    {
        QByteArray bytes;
        bool outgoing = false;
    };

    WireTap() = default;
    ~WireTap();
    bool open(const QString &interfaceName, QString *error = nullptr);
    // Everything captured since the last call, ECU EtherTypes only.
    QList<Frame> take(int settleMs = 50);

private:
    int m_fd = -1;
};
