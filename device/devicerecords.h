#pragma once
// The records of a device description shared by every subsystem: channels,
// scalings, the logger's control record, CAN settings and ELF identification.
// LoggerTable and CanSettings are handed to the logger protocol as raw blocks,
// so their field order and widths are fixed.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <limits>

struct ChannelRecord
{
    quint32 tableAddress = 0;
    quint32 loggedBytes = 0;
    quint32 variableBytes = 0;
    quint32 loggerBytes = 0;
    quint32 address = 0;
    quint32 minPeriodMs = 0;
    quint32 periodMs = 0;
    quint32 typeCode = 0;   // 0 = unsigned, anything else signed
    quint32 zeroValue = 0;
    float g1 = 0, o1 = 0, g2 = 0, o2 = 0;
    bool loggerEnabled = false;
    bool zeroable = false;
    bool validated = false;
    QByteArray factoryName; // Latin-1, as in the device file
    QByteArray unit;
    QByteArray label;
    QByteArray description;
    QByteArray uniqueCode;  // factoryName + "_" + tableAddress
    QByteArray scalingId;

    bool isSigned() const { return typeCode != 0; }
    // What the user set for the channel (a snapshot or the ECU's read-back
    // configuration carries it), leaving what the device file says alone.
    void takeSettings(const ChannelRecord &from)
    {
        label = from.label;
        unit = from.unit;
        periodMs = from.periodMs;
        g1 = from.g1;
        o1 = from.o1;
        g2 = from.g2;
        o2 = from.o2;
        zeroable = from.zeroable;
        zeroValue = from.zeroValue;
    }
    void setIdentity()
    {
        g1 = 1;
        o1 = 0;
        g2 = 0;
        o2 = 1;
    }
};

struct ScalingRecord
{
    QByteArray id;
    double g1 = 0, o1 = 0, g2 = 0, o2 = 0;
};

#pragma pack(push, 4)
struct LoggerAddress
{
    quint32 address = 0;
    quint32 size = 0; // bytes of the ECU variable that supplies the address; 0 when literal
};

struct LoggerTable
{
    quint8 valid = 0;
    quint8 elfCheckEnabled = 0;
    quint32 availableBytes = 0;
    quint32 channelsCountOffline = 0;
    quint32 clearTimeout = 0;
    quint32 maxDownloadBuffer = 0;
    quint32 pageAlignment = 0;
    LoggerAddress dataBegin;
    LoggerAddress dataEnd;
    LoggerAddress startStop;
    LoggerAddress setupBegin;
    LoggerAddress headerBegin;
    LoggerAddress stopLoggerRequest;
    LoggerAddress clearLoggerDataRequest;
    LoggerAddress loggerRun;
    LoggerAddress channelInfoBegin;
    LoggerAddress speedChannel;
    LoggerAddress channelInfoSize;
    quint32 channelInfoMode = 0;
    quint32 channelInfoAreaSize = 0;
    quint32 lineType = 0; // 4 = Ethernet line
};

struct CanSettings
{
    quint32 toEcuAppCanId = 0;
    quint32 toEcuKernelCanId = 0;
    quint32 appCanId = 0;
    quint32 kernelCanId = 0;
    quint32 bitRate = 0;
    quint32 lineType = 0;

    // Every ECU memory transfer names this memory space.
    quint32 memorySpaceId() const { return toEcuAppCanId >> 3; }
};
#pragma pack(pop)

struct ElfIdentification
{
    QByteArray elfName;
    quint32 idStringAddress = 0;
    quint32 idStringSize = 0;
    QByteArray idStringValue;
    QByteArray idStringName;

    bool usable() const
    {
        return !idStringName.isEmpty() && !idStringValue.isEmpty() && !elfName.isEmpty()
               && idStringAddress != 0;
    }
};

// The logger's trigger: four 32-bit words on the wire and in snapshots; the
// first packs type (low byte) and delay in tenths of a second (next byte).
struct TriggerSettings
{
    quint8 type = 0;                       // 0 off, 1 continuous, 2 external, 3 on a channel
    quint8 delay = 0;
    const ChannelRecord *channel = nullptr; // type 3 only; points into the channel list
    qint32 lowThreshold = 0;               // raw
    qint32 highThreshold = 0;              // raw

    quint32 typeAndDelay() const { return quint32(type) | (quint32(delay) << 8); }
    void clear() { *this = TriggerSettings(); }
};

constexpr int LineTypeEthernet = 4;
