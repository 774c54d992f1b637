#pragma once
// One Ethernet frame as the link captures or sends it, and the ECU found by a
// discovery. Shared by the link, the Ethernet ECU protocol and the setup.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <deque>
#include <memory>

struct RawFrame
{
    static constexpr int MaxLength = 1514; // without the frame check sequence
    static constexpr int MinLength = 60;

    quint8 data[MaxLength] = {};
    quint16 length = 0;
};

// Frames are moved between the caller and the link's queues; whoever holds the
// pointer owns the frame.
using RawFramePtr = std::unique_ptr<RawFrame>;
using RawFrameList = std::deque<RawFramePtr>;

struct EcuInfo
{
    QByteArray mac; // 6 bytes
    QString macText;
    QStringList descriptions;
};

// "%02X:%02X:%02X:%02X:%02X:%02X"
QString formatMac(const quint8 *mac);
inline QString formatMac(const QByteArray &mac)
{
    return mac.size() >= 6 ? formatMac(reinterpret_cast<const quint8 *>(mac.constData())) : QString();
}
