#pragma once
// What a simulated ECU holds, read from the JSON description that goes with
// the sample device (samples/sample_ecu.json). Numbers are plain decimal JSON
// numbers; logger addresses are kept as written ("0x..", "*dec" or a channel
// factory name) for the logger engine to resolve.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QtGlobal>

struct SimChannel
{
    QByteArray factoryName;
    quint32 tableAddress = 0; // index in the static variable table
    quint32 address = 0;
    quint32 nByte = 0;
    quint32 loggerNBytes = 0;
    quint32 type = 0; // 0 unsigned, 1 signed
    quint32 periodMs = 0;
    QString unit;
    QString labelIt;
    QString labelEn;
};

struct SimRegion
{
    quint32 address = 0;
    quint32 size = 0;
};

struct SimDescription
{
    QString elfName;
    QString idStringName;
    quint32 idStringAddress = 0;
    quint32 idStringSize = 0;
    QByteArray idStringValue;

    quint32 toEcuAppCanId = 0;
    quint32 toEcuKernelCanId = 0;
    quint32 appCanId = 0;
    quint32 kernelCanId = 0;
    quint32 bitRate = 0;
    QString line; // as written: a number or a name such as "CAN"

    quint32 staticTableAddress = 0;
    QMap<QString, QString> loggerAddresses; // XA_ name -> text as written
    QMap<QString, qint64> loggerValues;     // the other numeric logger keys
    QList<SimRegion> ramRegions;
    QList<SimChannel> channels;

    quint32 memorySpace() const { return toEcuAppCanId >> 3; }
    // Entries up to the highest channel index.
    quint32 staticTableEntries() const;
    const SimChannel *channelByName(const QByteArray &factoryName) const;
};

// Returns false with a readable reason in *error for any missing or malformed field.
bool parseSimDescription(const QByteArray &json, SimDescription &out, QString *error);
bool loadSimDescription(const QString &path, SimDescription &out, QString *error);
// The description next to the program (sample_ecu.json), else the one built in.
QString defaultSimDescriptionPath();
