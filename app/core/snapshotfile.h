#pragma once
// Logger snapshots (.spt): the selected channels with their settings and the
// trigger, in the Qt 3.3 data stream layout (stream version 6, big-endian),
// without magic, version or trailer. "Salva configurazione" and "Apri
// configurazione" of the main window are one call each here; the window only
// asks for the file name, shows the returned message and refreshes the
// channel selection:
//
//   open:  r = SnapshotFile::open(name, model.channels, elfCheckEnabled, idStringValue,
//                                 [&](const QString &q) { return askYesNo(q); });
//          if (r.applied()) { model.selected = r.selected; model.trigger = r.trigger;
//                             sel->fillAvailableList(...); sel->rebuildSelectedList();
//                             sel->setTrigger(model.trigger); }
//          then show r.message (r.kind) when it is not empty.
//   save:  r = SnapshotFile::save(name, elfCheckEnabled, idStringValue, sel->getTrigger(),
//                                 model.selected);

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

#include "devicerecords.h"

namespace SnapshotFile {

// Everything a snapshot file holds, as read.
struct Contents
{
    bool elfFlag = false;
    QByteArray idString;
    quint8 triggerType = 0;
    quint8 triggerDelay = 0;
    QByteArray triggerCode; // uniqueCode of the trigger channel, type 3 only
    qint32 lowThreshold = 0;
    qint32 highThreshold = 0;
    QList<ChannelRecord> records;
};

QByteArray encode(bool elfCheckEnabled, const QByteArray &idString, const TriggerSettings &trigger,
                  const QList<ChannelRecord *> &selected);

enum class DecodeStatus { Ok, Truncated };
// A count larger than the records present stops at the end of the data and
// gives Truncated; a zero or negative count reads no records.
DecodeStatus decode(const QByteArray &data, Contents *out);

// name + ".spt" unless it already ends so (any case).
QString withSuffix(const QString &name);
// The folder part of a path (up to its last native separator), kept whole
// when it has none: the next dialog starts there.
QString folderOf(const QString &path);

enum class MessageKind { None, Information, Critical };

struct SaveResult
{
    bool saved = false;
    QString path;   // the name actually written (suffix added)
    QString folder; // new lastPathSnapshot; empty when the file could not be opened
    MessageKind kind = MessageKind::None;
    QString message;
};

// Writes through a temporary file renamed over the target, so a failed save
// leaves an earlier snapshot intact. An empty selection writes nothing.
SaveResult save(const QString &fileName, bool elfCheckEnabled, const QByteArray &idString,
                const TriggerSettings &trigger, const QList<ChannelRecord *> &selected);

struct OpenResult
{
    enum Status {
        Applied,           // selection and trigger below replace the window's
        NoMatch,           // applied too: empty selection, trigger cleared; message to show
        NotOpened,         // nothing to show
        Truncated,         // refused, message to show; nothing changed
        Declined,          // the user did not confirm a snapshot of another device
        OtherArchitecture  // refused, message to show; nothing changed
    };
    Status status = NotOpened;
    QString folder; // new lastPathSnapshot, set once the file was opened
    MessageKind kind = MessageKind::None;
    QString message;
    // For Applied and NoMatch: the new selected list (device order) and trigger.
    QList<ChannelRecord *> selected;
    TriggerSettings trigger;

    bool applied() const { return status == Applied || status == NoMatch; }
};

// Reads fileName and, when it belongs to this device, copies label, unit,
// period, scaling and zero settings of each matching channel (by uniqueCode)
// into channels. confirm gets the question asked when the identification
// differs and returns true for "Yes".
OpenResult open(const QString &fileName, const QList<ChannelRecord *> &channels, bool elfCheckEnabled,
                const QByteArray &idStringValue, const std::function<bool(const QString &)> &confirm);
OpenResult open(const QString &fileName, QList<ChannelRecord> &channels, bool elfCheckEnabled,
                const QByteArray &idStringValue, const std::function<bool(const QString &)> &confirm);

} // namespace SnapshotFile
