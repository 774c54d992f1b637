#pragma once
// Loading a device file into the DeviceModel: read (decrypting through the
// crypto library when the file is encrypted), verify the checksum, parse,
// check the required tables and read them. The main window shows the
// messages in order and applies the outcome to its widgets; brisca-tool
// prints the report. Nothing here touches widgets.

#include "devicemodel.h"
#include "devicetables.h"

#include <QList>
#include <QString>
#include <QStringList>

struct DeviceMessage
{
    enum Kind { Critical, Warning, Information };
    Kind kind = Warning;
    QString text; // translated in the context MainAppl
};

enum class DeviceLoadOutcome {
    NotOpened,           // no message, model unchanged
    CryptoUnavailable,   // model unchanged
    BadChecksum,         // also content shorter than its trailer; model unchanged
    SyntaxError,         // model unchanged
    NoLoggerTableSchema, // model unchanged, selection controls disabled
    NoChannelsTable,     // channels empty, logger table zero
    InvalidLoggerTable,  // channels empty, logger table zero
    Loaded,
};

struct DeviceLoadOptions
{
    quint32 maximumPeriodSampling = 5; // setting MaximumPeriodSampling
    bool italian = false;              // user interface locale is exactly "it"
    QString programFolder;             // where libORVLibCrypt.so is looked for
    bool bothLanguages = false;        // fill DeviceLoadReport::channelTexts
};

// One table as the load read it: its row count and, for the single-row
// tables, the cells of that row by column.
struct DeviceTableRead
{
    QString name;
    int rows = 0;
    QList<QPair<QString, QString>> cells;
};

// What brisca-tool reports beyond the model itself.
struct DeviceLoadReport
{
    bool encrypted = false;
    bool cryptoUsable = false;
    QString cryptoError;
    qint64 contentSize = 0;
    bool storedChecksumFound = false;
    quint16 storedChecksum = 0;
    bool computedChecksumValid = false; // false when the content is shorter than its trailer
    quint16 computedChecksum = 0;
    QString xmlError;
    qint64 xmlErrorLine = 0, xmlErrorColumn = 0;
    QStringList tablesFound, tablesMissing;
    QStringList scalingWarnings;
    QList<DeviceNote> notes;
    QList<DeviceTableRead> tablesRead;
    QList<ChannelTexts> channelTexts; // per channel, with options.bothLanguages
    // As read, before a refusal empties the model; the logger table includes
    // the line type when the load gets that far.
    int channelsAccepted = 0;
    bool loggerTableRead = false;
    LoggerTable loggerTable;
    // Milliseconds spent per phase, for the benchmark.
    double msRead = 0, msChecksum = 0, msParse = 0, msTables = 0;
};

struct DeviceLoadResult
{
    DeviceLoadOutcome outcome = DeviceLoadOutcome::NotOpened;
    QList<DeviceMessage> messages; // in the order they are to be shown

    // What the main window does afterwards. On a complete load it deletes
    // its logger protocol object, and builds a new one on model.loggerTable
    // when rebuildLoggerProtocol is set (then the logger commands are
    // enabled, those tied to the line following model.canSettings.lineType).
    bool modelReplaced = false;             // channels, selection and trigger were cleared
    bool disableSelectionControls = false;  // refused from the table checks on
    bool refillAvailableList = false;       // fill the available list from model.channels
    bool availableElfCheck = false;         // flags for that fill
    bool availableNoLoggerTable = false;
    bool complete = false;                  // enable the selection's controls, show the path
    bool rebuildLoggerProtocol = false;     // complete load of a device with a logger table

    DeviceLoadReport report;

    bool loaded() const { return outcome == DeviceLoadOutcome::Loaded; }
};

class DeviceLoader
{
public:
    // Loads model.devicePath into model.
    static DeviceLoadResult load(DeviceModel &model, const DeviceLoadOptions &options);

    // Whether a first line (read up to the marker's length) marks an
    // encrypted device.
    static bool isEncryptedMarker(const QByteArray &firstLine);
};
