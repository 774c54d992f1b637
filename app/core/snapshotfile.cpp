#include "snapshotfile.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace SnapshotFile {

// Empty texts are written as empty strings (count 0), never as null ones.
static void writeString(QDataStream &s, const QByteArray &latin1)
{
    if (latin1.isEmpty())
        s << quint32(0);
    else
        s << QString::fromLatin1(latin1);
}

static QByteArray readString(QDataStream &s)
{
    QString v;
    s >> v;
    return v.toLatin1();
}

QByteArray encode(bool elfCheckEnabled, const QByteArray &idString, const TriggerSettings &trigger,
                  const QList<ChannelRecord *> &selected)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_3_3);
    s.setByteOrder(QDataStream::BigEndian);
    s.setFloatingPointPrecision(QDataStream::SinglePrecision);

    s << quint8(elfCheckEnabled ? 1 : 0);
    if (elfCheckEnabled)
        writeString(s, idString);
    s << trigger.type << trigger.delay;
    writeString(s, trigger.type == 3 && trigger.channel ? trigger.channel->uniqueCode : QByteArray());
    s << trigger.lowThreshold << trigger.highThreshold;
    s << qint32(selected.size());
    for (const ChannelRecord *ch : selected) {
        s << ch->tableAddress << ch->loggedBytes << ch->address << ch->minPeriodMs << ch->periodMs
          << ch->typeCode << ch->g1 << ch->o1 << ch->g2 << ch->o2 << quint8(ch->zeroable ? 1 : 0)
          << ch->zeroValue << quint8(ch->loggerEnabled ? 1 : 0);
        writeString(s, ch->factoryName);
        writeString(s, ch->unit);
        writeString(s, ch->label);
        writeString(s, ch->description);
        writeString(s, ch->uniqueCode);
    }
    return out;
}

DecodeStatus decode(const QByteArray &data, Contents *out)
{
    *out = Contents();
    QDataStream s(data);
    s.setVersion(QDataStream::Qt_3_3);
    s.setByteOrder(QDataStream::BigEndian);
    s.setFloatingPointPrecision(QDataStream::SinglePrecision);

    quint8 flag = 0;
    s >> flag;
    out->elfFlag = flag != 0;
    if (out->elfFlag)
        out->idString = readString(s);
    s >> out->triggerType >> out->triggerDelay;
    out->triggerCode = readString(s);
    s >> out->lowThreshold >> out->highThreshold;
    qint32 count = 0;
    s >> count;
    if (s.status() != QDataStream::Ok)
        return DecodeStatus::Truncated;
    for (qint32 i = 0; i < count; ++i) {
        ChannelRecord ch;
        quint8 zeroable = 0, enabled = 0;
        s >> ch.tableAddress >> ch.loggedBytes >> ch.address >> ch.minPeriodMs >> ch.periodMs >> ch.typeCode
            >> ch.g1 >> ch.o1 >> ch.g2 >> ch.o2 >> zeroable >> ch.zeroValue >> enabled;
        ch.zeroable = zeroable != 0;
        ch.loggerEnabled = enabled != 0;
        ch.factoryName = readString(s);
        ch.unit = readString(s);
        ch.label = readString(s);
        ch.description = readString(s);
        ch.uniqueCode = readString(s);
        if (s.status() != QDataStream::Ok)
            return DecodeStatus::Truncated;
        out->records.append(ch);
    }
    return DecodeStatus::Ok;
}

QString withSuffix(const QString &name)
{
    if (name.endsWith(QLatin1String(".spt"), Qt::CaseInsensitive))
        return name;
    return name + QLatin1String(".spt");
}

QString folderOf(const QString &path)
{
    const int cut = path.lastIndexOf(QDir::separator());
    return cut < 0 ? path : path.left(cut);
}

SaveResult save(const QString &fileName, bool elfCheckEnabled, const QByteArray &idString,
                const TriggerSettings &trigger, const QList<ChannelRecord *> &selected)
{
    SaveResult r;
    if (selected.isEmpty() || fileName.isEmpty())
        return r;
    r.path = withSuffix(fileName);
    QSaveFile file(r.path);
    const auto failed = [&r, &file] {
        r.kind = MessageKind::Critical;
        r.message = QCoreApplication::translate("SnapshotFile", "Impossibile scrivere il file dell'istantanea!!!") + QLatin1Char('\n') + file.errorString();
        return r;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();
    r.folder = folderOf(r.path);
    const QByteArray data = encode(elfCheckEnabled, idString, trigger, selected);
    if (file.write(data) != data.size() || !file.commit())
        return failed();
    r.saved = true;
    return r;
}

OpenResult open(const QString &fileName, const QList<ChannelRecord *> &channels, bool elfCheckEnabled,
                const QByteArray &idStringValue, const std::function<bool(const QString &)> &confirm)
{
    OpenResult r;
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return r;
    r.folder = folderOf(fileName);
    const QByteArray data = file.readAll();
    file.close();

    Contents c;
    if (decode(data, &c) != DecodeStatus::Ok) {
        r.status = OpenResult::Truncated;
        r.kind = MessageKind::Critical;
        r.message = QCoreApplication::translate("SnapshotFile", "L'istantanea e' incompleta o danneggiata!!!\nImpossibile continuare!!!");
        return r;
    }
    if (c.elfFlag && c.idString != idStringValue) {
        if (!confirm || !confirm(QCoreApplication::translate("SnapshotFile", "L'istantanea non e' allineata con il device!!!\nContinuare comunque???"))) {
            r.status = OpenResult::Declined;
            return r;
        }
    }
    if (c.elfFlag != elfCheckEnabled) {
        r.status = OpenResult::OtherArchitecture;
        r.kind = MessageKind::Information;
        r.message = QCoreApplication::translate("SnapshotFile", "L'istantanea e' stata creata con un device che utilizza un'architettura diversa "
                       "da quello in uso!!!\nImpossibile continuare!!!");
        return r;
    }

    r.trigger.type = c.triggerType;
    r.trigger.delay = c.triggerDelay;
    r.trigger.lowThreshold = c.lowThreshold;
    r.trigger.highThreshold = c.highThreshold;
    const bool channelTrigger = c.triggerType == 3;

    QList<const ChannelRecord *> pending;
    for (const ChannelRecord &rec : c.records)
        pending.append(&rec);
    for (ChannelRecord *ch : channels) {
        if (pending.isEmpty())
            break;
        for (int i = 0; i < pending.size(); ++i) {
            const ChannelRecord *rec = pending[i];
            if (rec->uniqueCode != ch->uniqueCode)
                continue;
            ch->takeSettings(*rec);
            if (channelTrigger && !r.trigger.channel && rec->uniqueCode == c.triggerCode)
                r.trigger.channel = ch;
            r.selected.append(ch);
            pending.removeAt(i);
            break;
        }
    }

    r.status = OpenResult::Applied;
    if (r.selected.isEmpty()) {
        r.trigger.clear();
        r.status = OpenResult::NoMatch;
        r.kind = MessageKind::Information;
        r.message = QCoreApplication::translate("SnapshotFile", "Non e' stata trovata nessuna corrispondenza tra l'istantanea e il device corrente!!!");
    }
    if (r.trigger.type == 3 && !r.trigger.channel)
        r.trigger.type = 0;
    return r;
}

OpenResult open(const QString &fileName, QList<ChannelRecord> &channels, bool elfCheckEnabled,
                const QByteArray &idStringValue, const std::function<bool(const QString &)> &confirm)
{
    QList<ChannelRecord *> pointers;
    pointers.reserve(channels.size());
    for (ChannelRecord &ch : channels)
        pointers.append(&ch);
    return open(fileName, pointers, elfCheckEnabled, idStringValue, confirm);
}

} // namespace SnapshotFile
