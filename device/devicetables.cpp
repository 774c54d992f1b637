#include "devicetables.h"

#include "xmltable.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace DeviceTables {

const char *const loggerAddressColumns[11] = {
    "XA_DataBeginAddress", "XA_DataEndAddress", "XA_StartStopAddress",
    "XA_SetupBeginAddress", "XA_HeaderBeginAddress", "XA_StopLoggerReqAddress",
    "XA_ClearLoggerDataReqAddress", "XA_LoggerRunAddress", "XA_ChannelInfoBeginAddress",
    "XA_SpeedChannelAddress", "XA_ChannelInfoSizeAddress",
};

LoggerAddress *loggerAddress(LoggerTable &t, int index)
{
    LoggerAddress *const a[11] = {&t.dataBegin, &t.dataEnd, &t.startStop, &t.setupBegin,
                                  &t.headerBegin, &t.stopLoggerRequest, &t.clearLoggerDataRequest,
                                  &t.loggerRun, &t.channelInfoBegin, &t.speedChannel,
                                  &t.channelInfoSize};
    return (index >= 0 && index < 11) ? a[index] : nullptr;
}

quint32 decimal(QStringView text)
{
    bool ok = false;
    const quint32 v = text.toUInt(&ok, 10);
    return ok ? v : 0;
}

quint32 automatic(QStringView text)
{
    bool ok = false;
    const quint32 v = text.toUInt(&ok, 0);
    return ok ? v : 0;
}

bool boolean(QStringView text)
{
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

namespace {
// A cell's text as a view: the usual short ASCII cell is widened on the
// stack, anything else decoded by the document.
class Cell
{
public:
    explicit Cell(const XmlField &f)
    {
        QByteArrayView a;
        if (f.asciiValue(&a) && a.size() <= qsizetype(sizeof m_buf / sizeof *m_buf)) {
            for (qsizetype i = 0; i < a.size(); ++i)
                m_buf[i] = char16_t(uchar(a[i]));
            m_view = QStringView(m_buf, a.size());
        } else {
            m_text = f.value();
            m_view = m_text;
        }
    }
    QStringView view() const { return m_view; }

private:
    char16_t m_buf[64];
    QString m_text;
    QStringView m_view;
};

QByteArray latin1(const XmlField &f)
{
    QByteArrayView a;
    if (f.asciiValue(&a))
        return a.toByteArray();
    return f.value().toLatin1();
}

float toFloat(QStringView text)
{
    bool ok = false;
    const float v = text.toFloat(&ok);
    return ok ? v : 0.0f;
}

double toDouble(QStringView text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? v : 0.0;
}

// Column name -> field, resolved once per table rather than once per cell.
template <typename Field>
std::vector<Field> mapColumns(const XmlTable &t, Field unknown,
                              const std::initializer_list<std::pair<const char *, Field>> &names,
                              const QList<std::pair<QString, Field>> &extra = {})
{
    std::vector<Field> map;
    for (const auto &c : t.columns()) {
        Field f = unknown;
        for (const auto &n : names)
            if (c->name == QLatin1String(n.first))
                f = n.second;
        for (const auto &n : extra)
            if (c->name == n.first)
                f = n.second;
        map.push_back(f);
    }
    return map;
}

const XmlRow *firstRow(const XmlTable &t)
{
    return t.rows().empty() ? nullptr : &t.rows().front();
}

// Column names start with an ASCII letter or underscore; the rest is free.
bool validFactoryName(const QByteArray &name)
{
    if (name.isEmpty())
        return false;
    const char c = name.at(0);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
} // namespace

void readScalings(const XmlTable &t, DeviceModel &m)
{
    enum F { None, Id, G1, O1, G2, O2 };
    const auto map = mapColumns<F>(t, None, {{"ID", Id}, {"G1", G1}, {"O1", O1}, {"G2", G2}, {"O2", O2}});
    m.scalings.clear();
    m.scalings.reserve(qsizetype(t.rows().size()));
    for (const XmlRow &row : t.rows()) {
        ScalingRecord s; // a column the schema lacks stays 0
        for (size_t i = 0; i < row.size(); ++i) {
            switch (map[i]) {
            case Id: s.id = latin1(row[i]); break;
            case G1: s.g1 = toDouble(Cell(row[i]).view()); break;
            case O1: s.o1 = toDouble(Cell(row[i]).view()); break;
            case G2: s.g2 = toDouble(Cell(row[i]).view()); break;
            case O2: s.o2 = toDouble(Cell(row[i]).view()); break;
            case None: break;
            }
        }
        m.scalings.append(s);
    }
    m.sortScalings();
}

void readElfData(const XmlTable &t, DeviceModel &m)
{
    const XmlRow *row = firstRow(t);
    if (!row)
        return;
    for (const XmlField &c : *row) {
        const QString n = c.name();
        const QString v = c.value();
        if (n == QLatin1String("ELFName"))
            m.elf.elfName = v.toLatin1();
        else if (n == QLatin1String("ELFIDStringAddress"))
            m.elf.idStringAddress = decimal(v);
        else if (n == QLatin1String("ELFIDStringSize"))
            m.elf.idStringSize = decimal(v);
        else if (n == QLatin1String("ELFIDStringValue"))
            m.elf.idStringValue = v.toLatin1();
        else if (n == QLatin1String("ELFIDStringName"))
            m.elf.idStringName = v.toLatin1();
    }
}

void readChannels(const XmlTable &t, DeviceModel &m, const DeviceReadOptions &o, QList<DeviceNote> *notes,
                  QList<int> *sourceRows, QList<ChannelTexts> *texts)
{
    enum F { None, Factory, TabAdr, Address, Label, Desc, Type, MaxPer, Unit, NByte, Logger,
             G1, O1, G2, O2, ScalingId, LoggerNBytes, Validated, LabelOther, DescOther };
    const QChar digit = o.italian ? QLatin1Char('0') : QLatin1Char('1');
    const QChar otherDigit = o.italian ? QLatin1Char('1') : QLatin1Char('0');
    QList<std::pair<QString, F>> localeColumns{{QStringLiteral("VarNameL") + digit, Label},
                                               {QStringLiteral("DescL") + digit, Desc}};
    if (texts)
        localeColumns += {{QStringLiteral("VarNameL") + otherDigit, LabelOther},
                          {QStringLiteral("DescL") + otherDigit, DescOther}};
    const auto map = mapColumns<F>(
        t, None,
        {{"FactoryName", Factory}, {"TabAdr", TabAdr}, {"Address", Address}, {"Type", Type},
         {"LoggerMaxPer", MaxPer}, {"Unit", Unit}, {"NByte", NByte}, {"Logger", Logger},
         {"G1", G1}, {"O1", O1}, {"G2", G2}, {"O2", O2}, {"Channel_ScalingID", ScalingId},
         {"LoggerNBytes", LoggerNBytes}, {"Validated", Validated}},
        localeColumns);
    const bool elfCheckEnabled = m.loggerTable.elfCheckEnabled != 0;
    m.channels.reserve(m.channels.size() + qsizetype(t.rows().size()));

    int rowNo = 0;
    for (const XmlRow &row : t.rows()) {
        ++rowNo;
        ChannelRecord c;
        struct { QByteArray label, description; } other;
        c.minPeriodMs = o.maximumPeriodSampling;
        bool periodZero = false;
        for (size_t i = 0; i < row.size(); ++i) {
            const XmlField &v = row[i];
            switch (map[i]) {
            case Factory: c.factoryName = latin1(v); break;
            case TabAdr: c.tableAddress = decimal(Cell(v).view()); break;
            case Address: c.address = automatic(Cell(v).view()); break;
            case Label: c.label = latin1(v); break;
            case Desc: c.description = latin1(v); break;
            case Type: c.typeCode = decimal(Cell(v).view()); break;
            case MaxPer:
                c.periodMs = decimal(Cell(v).view());
                periodZero = c.periodMs == 0;
                if (periodZero)
                    c.periodMs = 640;
                break;
            case Unit: c.unit = latin1(v); break;
            case NByte: c.variableBytes = c.loggedBytes = decimal(Cell(v).view()); break;
            case Logger: c.loggerEnabled = boolean(Cell(v).view()); break;
            case G1: c.g1 = toFloat(Cell(v).view()); break;
            case O1: c.o1 = toFloat(Cell(v).view()); break;
            case G2: c.g2 = toFloat(Cell(v).view()); break;
            case O2: c.o2 = toFloat(Cell(v).view()); break;
            case ScalingId: c.scalingId = latin1(v); break;
            case LoggerNBytes: c.loggerBytes = decimal(Cell(v).view()); break;
            case Validated: c.validated = boolean(Cell(v).view()); break;
            case LabelOther: other.label = latin1(v); break;
            case DescOther: other.description = latin1(v); break;
            case None: break;
            }
        }
        // A missing LoggerMaxPer column or cell also means "slowest".
        if (c.periodMs == 0) {
            c.periodMs = 640;
            periodZero = true;
        }

        QString reject;
        if (!validFactoryName(c.factoryName))
            reject = QStringLiteral("FactoryName '%1' does not begin with a letter or '_'")
                         .arg(QString::fromLatin1(c.factoryName));
        else if (c.variableBytes == 0 && c.loggerBytes == 0)
            reject = QStringLiteral("NByte and LoggerNBytes are both 0");
        else if (elfCheckEnabled && !c.validated)
            reject = QStringLiteral("Validated is not true on a device with ELF identification");
        if (!reject.isEmpty()) {
            if (notes)
                notes->append({DeviceNote::Rejected, t.name(), rowNo, QString(),
                               QString::fromLatin1(c.factoryName), reject});
            continue;
        }
        if (notes && periodZero)
            notes->append({DeviceNote::Adjusted, t.name(), rowNo, QStringLiteral("LoggerMaxPer"),
                           QString::fromLatin1(c.factoryName),
                           QStringLiteral("LoggerMaxPer missing or 0: period 640 ms")});
        if (!elfCheckEnabled) {
            if (notes && c.address != c.tableAddress && t.columnIndex(QStringLiteral("Address")) >= 0)
                notes->append({DeviceNote::Adjusted, t.name(), rowNo, QStringLiteral("Address"),
                               QString::fromLatin1(c.factoryName),
                               QStringLiteral("no ELF identification: address is TabAdr %1, resolved "
                                              "through the ECU's variable table")
                                   .arg(c.tableAddress)});
            c.address = c.tableAddress;
        }
        char number[16];
        const int digits = qsnprintf(number, sizeof number, "%u", c.tableAddress);
        c.uniqueCode.reserve(c.factoryName.size() + 1 + digits);
        c.uniqueCode.append(c.factoryName).append('_').append(number, digits);
        m.channels.append(new ChannelRecord(c));
        if (texts) {
            ChannelTexts both;
            const int mine = o.italian ? 0 : 1;
            both.label[mine] = c.label;
            both.description[mine] = c.description;
            both.label[1 - mine] = other.label;
            both.description[1 - mine] = other.description;
            texts->append(both);
        }
        if (sourceRows)
            sourceRows->append(rowNo);
    }
}

namespace {
int rowOf(const QList<int> *sourceRows, int index)
{
    return sourceRows && index < sourceRows->size() ? sourceRows->at(index) : 0;
}
} // namespace

QStringList resolveScalings(DeviceModel &m, QList<DeviceNote> *notes, const QList<int> *sourceRows)
{
    QStringList warnings;
    int index = -1;
    for (ChannelRecord *c : qAsConst(m.channels)) {
        ++index;
        if (c->scalingId.isEmpty())
            continue;
        if (const ScalingRecord *s = m.findScaling(c->scalingId)) {
            c->g1 = float(s->g1);
            c->o1 = float(s->o1);
            c->g2 = float(s->g2);
            c->o2 = float(s->o2);
            continue;
        }
        warnings << QCoreApplication::translate("MainAppl", "Var_ScalingID >")
                        + QString::fromLatin1(c->scalingId)
                        + QCoreApplication::translate("MainAppl", "< non trovato!!! Nome variabile: ")
                        + QString::fromLatin1(c->factoryName)
                        + QCoreApplication::translate("MainAppl", "\nVerrà impostata la scala 1:1");
        if (notes)
            notes->append({DeviceNote::Adjusted, QStringLiteral("Channels"), rowOf(sourceRows, index),
                           QStringLiteral("Channel_ScalingID"), QString::fromLatin1(c->factoryName),
                           QStringLiteral("scaling '%1' not in CalibrationScalings: 1:1 scaling")
                               .arg(QString::fromLatin1(c->scalingId))});
        c->setIdentity();
    }
    return warnings;
}

void applySizeAndPeriodRules(DeviceModel &m, quint32 maximumPeriodSampling, bool elfCheckEnabled,
                             QList<DeviceNote> *notes, const QList<int> *sourceRows)
{
    int index = -1;
    for (ChannelRecord *c : qAsConst(m.channels)) {
        ++index;
        c->loggedBytes = c->loggerBytes;
        if (elfCheckEnabled && c->loggerBytes >= 3) {
            c->loggedBytes = 2;
            if (notes)
                notes->append({DeviceNote::Adjusted, QStringLiteral("Channels"), rowOf(sourceRows, index),
                               QStringLiteral("LoggerNBytes"), QString::fromLatin1(c->factoryName),
                               QStringLiteral("LoggerNBytes %1 logged as 2 bytes on a device with ELF "
                                              "identification")
                                   .arg(c->loggerBytes)});
        }
        c->minPeriodMs = qMax(c->minPeriodMs, maximumPeriodSampling);
    }
}

bool readLoggerTable(const XmlTable &t, DeviceModel &m, QList<DeviceNote> *notes)
{
    LoggerTable &lt = m.loggerTable;
    static const QRegularExpression hexPrefix(QStringLiteral("^0[Xx]+"));
    if (const XmlRow *row = firstRow(t)) {
        for (const XmlField &c : *row) {
            const QString n = c.name();
            const QString v = c.value();
            if (n == QLatin1String("AvailableBytes"))
                lt.availableBytes = decimal(v);
            else if (n == QLatin1String("ChannelsCount_OffLine"))
                lt.channelsCountOffline = decimal(v);
            else if (n == QLatin1String("ClearTimeOutSec"))
                lt.clearTimeout = decimal(v);
            else if (n == QLatin1String("MaxDownloadBuffer"))
                lt.maxDownloadBuffer = decimal(v);
            else if (n == QLatin1String("PageAlignment"))
                lt.pageAlignment = decimal(v);
            else if (n.startsWith(QLatin1String("XA_"))) {
                int idx = -1;
                for (int i = 0; i < 11; ++i)
                    if (n == QLatin1String(loggerAddressColumns[i]))
                        idx = i;
                LoggerAddress *a = loggerAddress(lt, idx);
                if (!a)
                    continue;
                if (v.startsWith(QLatin1Char('*'))) {
                    a->address = decimal(QString(v).remove(QLatin1Char('*')));
                    a->size = 0;
                } else if (!v.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
                    const ChannelRecord *ch = m.findChannel(v.toLatin1());
                    a->address = ch ? ch->address : 0xFFFFFFFFu;
                    a->size = ch ? ch->loggedBytes : 0;
                    if (!ch && notes)
                        notes->append({DeviceNote::Adjusted, t.name(), 1, n, QString(),
                                       QStringLiteral("'%1' names no accepted channel: address 0xFFFFFFFF")
                                           .arg(v)});
                } else {
                    bool ok = false;
                    a->address = QString(v).remove(hexPrefix).toUInt(&ok, 16);
                    if (!ok)
                        a->address = 0;
                    a->size = 0;
                }
            }
        }
    }
    if (lt.channelInfoSize.address == 0) {
        lt.channelInfoMode = 0;
        lt.channelInfoAreaSize = lt.channelsCountOffline * 55;
    } else {
        // Devices that publish the channel-info size use the fixed layout.
        lt.channelInfoMode = 1;
        lt.channelInfoAreaSize = 4096;
        lt.channelsCountOffline = 64;
        lt.maxDownloadBuffer = 8192;
        lt.pageAlignment = 32;
        lt.clearTimeout = 5000;
    }
    bool valid = lt.availableBytes && lt.channelsCountOffline && lt.clearTimeout && lt.maxDownloadBuffer
                 && lt.pageAlignment;
    if (!valid && notes)
        notes->append({DeviceNote::Rejected, t.name(), 1, QString(), QString(),
                       QStringLiteral("one of AvailableBytes, ChannelsCount_OffLine, ClearTimeOutSec, "
                                      "MaxDownloadBuffer, PageAlignment is 0 or missing")});
    for (int i = 0; i < 10; ++i) { // channelInfoSize is not checked
        if (loggerAddress(lt, i)->address == 0xFFFFFFFFu) {
            valid = false;
            if (notes)
                notes->append({DeviceNote::Rejected, t.name(), 1, QLatin1String(loggerAddressColumns[i]),
                               QString(), QStringLiteral("address unresolved (0xFFFFFFFF)")});
        }
    }
    lt.valid = valid ? 1 : 0;
    return valid;
}

void readCanIds(const XmlTable &t, DeviceModel &m)
{
    const XmlRow *row = firstRow(t);
    if (!row)
        return;
    for (const XmlField &c : *row) {
        const QString n = c.name();
        if (n == QLatin1String("ToEcu_App_CAN_Id"))
            m.canSettings.toEcuAppCanId = automatic(c.value());
        else if (n == QLatin1String("ToEcu_Kernel_CAN_Id"))
            m.canSettings.toEcuKernelCanId = automatic(c.value());
        else if (n == QLatin1String("App_CAN_Id"))
            m.canSettings.appCanId = automatic(c.value());
        else if (n == QLatin1String("Kernel_CAN_Id"))
            m.canSettings.kernelCanId = automatic(c.value());
    }
}

void readLineSettings(const XmlTable &t, DeviceModel &m)
{
    const XmlRow *row = firstRow(t);
    if (!row)
        return;
    for (const XmlField &c : *row) {
        if (c.name() == QLatin1String("Line")) {
            const quint32 line = c.value().toUpper() == QLatin1String("ETHERNET") ? LineTypeEthernet : 0;
            m.canSettings.lineType = line;
            m.loggerTable.lineType = line;
        }
    }
}

void readCanLineSettings(const XmlTable &t, DeviceModel &m)
{
    const XmlRow *row = firstRow(t);
    if (!row)
        return;
    for (const XmlField &c : *row)
        if (c.name() == QLatin1String("BitRate"))
            m.canSettings.bitRate = decimal(c.value());
}

} // namespace DeviceTables
