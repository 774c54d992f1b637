#pragma once
// Turns the tables of a device file into the DeviceModel. Cells are looked up
// by column name, so column order does not matter and unknown columns are
// ignored. Device loading calls the readers in the order declared here.

#include "devicemodel.h"

#include <QList>
#include <QString>

class XmlTable;

// A row dropped or a value changed while reading, for brisca-tool's report.
struct DeviceNote
{
    enum Kind { Rejected, Adjusted };
    Kind kind = Adjusted;
    QString table;
    int row = 0;        // 1-based row of the table
    QString column;     // the column concerned, empty for the whole row
    QString channel;    // factoryName, when a channel row
    QString text;
};

// Label and description of a channel in the other language too, for
// brisca-tool's listing; index 0 Italian (...L0), 1 English (...L1).
struct ChannelTexts
{
    QByteArray label[2];
    QByteArray description[2];
};

struct DeviceReadOptions
{
    quint32 maximumPeriodSampling = 5; // fastest period the user allows, in ms
    bool italian = false;              // labels from VarNameL0/DescL0, else ...L1
};

namespace DeviceTables {

void readScalings(const XmlTable &t, DeviceModel &m);
void readElfData(const XmlTable &t, DeviceModel &m);
// sourceRows, when given, receives the table row of every accepted channel
// so later notes can name it; texts, when given, both languages' texts.
void readChannels(const XmlTable &t, DeviceModel &m, const DeviceReadOptions &o,
                  QList<DeviceNote> *notes = nullptr, QList<int> *sourceRows = nullptr,
                  QList<ChannelTexts> *texts = nullptr);
// One warning text per channel whose scaling id is unknown; those get 1:1.
QStringList resolveScalings(DeviceModel &m, QList<DeviceNote> *notes = nullptr,
                            const QList<int> *sourceRows = nullptr);
void applySizeAndPeriodRules(DeviceModel &m, quint32 maximumPeriodSampling, bool elfCheckEnabled,
                             QList<DeviceNote> *notes = nullptr, const QList<int> *sourceRows = nullptr);
bool readLoggerTable(const XmlTable &t, DeviceModel &m, QList<DeviceNote> *notes = nullptr);
void readCanIds(const XmlTable &t, DeviceModel &m);
void readLineSettings(const XmlTable &t, DeviceModel &m);
void readCanLineSettings(const XmlTable &t, DeviceModel &m);

// Conversions of cell text.
quint32 decimal(QStringView text);
quint32 automatic(QStringView text);
bool boolean(QStringView text);

// Names of the eleven logger addresses, in LoggerTable order.
extern const char *const loggerAddressColumns[11];
LoggerAddress *loggerAddress(LoggerTable &t, int index);

} // namespace DeviceTables
