#pragma once
// The device description as the main window holds it after a device load:
// the channels (owning, device-file order), the channels chosen for logging
// (pointers into that list), the scalings sorted by ID, the logger's control
// record, CAN settings, ELF identification and the trigger. DeviceLoader
// fills it; the channel selection, the logger protocol and snapshots read it.

#include "devicerecords.h"

#include <QList>
#include <QString>

class DeviceModel
{
public:
    DeviceModel() = default;
    ~DeviceModel();
    DeviceModel(const DeviceModel &) = delete;
    DeviceModel &operator=(const DeviceModel &) = delete;

    QString devicePath;        // the file to load next
    QString currentDevicePath; // the file the tables were read from
    QList<ChannelRecord *> channels; // owned
    QList<ChannelRecord *> selected; // not owned; points into channels
    QList<ScalingRecord> scalings;   // sorted by id (Latin-1 byte order)
    LoggerTable loggerTable;
    CanSettings canSettings;
    ElfIdentification elf;
    TriggerSettings trigger;
    bool noLoggerTable = true;

    // Empties the channel list and everything that points into it.
    void clearChannels();
    void sortScalings();
    const ScalingRecord *findScaling(const QByteArray &id) const;
    const ChannelRecord *findChannel(const QByteArray &factoryName) const;
};
