#include "devicesample.h"

#include "devicechecksum.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
using Row = QList<std::optional<QString>>;

QString hex(quint32 v) { return QStringLiteral("0x") + QString::number(v, 16).toUpper().rightJustified(8, QLatin1Char('0')); }
QString dec(qint64 v) { return QString::number(v); }
QString boolText(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

DataSetTable channelsTable()
{
    DataSetTable t;
    t.name = QStringLiteral("Channels");
    t.columns = {
        {QStringLiteral("FactoryName"), QStringLiteral("xs:string"), 64},
        {QStringLiteral("TabAdr"), QStringLiteral("xs:int")},
        {QStringLiteral("Address"), QStringLiteral("xs:string"), 12},
        {QStringLiteral("VarNameL0"), QStringLiteral("xs:string"), 32},
        {QStringLiteral("DescL0"), QStringLiteral("xs:string"), 128},
        {QStringLiteral("VarNameL1"), QStringLiteral("xs:string"), 32},
        {QStringLiteral("DescL1"), QStringLiteral("xs:string"), 128},
        {QStringLiteral("Unit"), QStringLiteral("xs:string"), 16},
        {QStringLiteral("Type"), QStringLiteral("xs:int")},
        {QStringLiteral("NByte"), QStringLiteral("xs:int")},
        {QStringLiteral("LoggerNBytes"), QStringLiteral("xs:int")},
        {QStringLiteral("LoggerMaxPer"), QStringLiteral("xs:int")},
        {QStringLiteral("Logger"), QStringLiteral("xs:boolean")},
        {QStringLiteral("Validated"), QStringLiteral("xs:boolean")},
        {QStringLiteral("Channel_ScalingID"), QStringLiteral("xs:string"), 32},
        {QStringLiteral("G1"), QStringLiteral("xs:float")},
        {QStringLiteral("O1"), QStringLiteral("xs:float")},
        {QStringLiteral("G2"), QStringLiteral("xs:float")},
        {QStringLiteral("O2"), QStringLiteral("xs:float")},
    };
    return t;
}

struct SampleChannel
{
    QString factoryName;
    quint32 tableAddress = 0, address = 0, nByte = 0, loggerNBytes = 0, type = 0, periodMs = 0;
    QString unit, labelIt, labelEn, descIt, descEn, scalingId;
    float g1 = 1, o1 = 0, g2 = 0, o2 = 1;
    bool validated = true, logger = true;
};

Row channelRow(const SampleChannel &c)
{
    Row r;
    r << c.factoryName << dec(c.tableAddress) << hex(c.address) << c.labelIt << c.descIt << c.labelEn
      << c.descEn << c.unit << dec(c.type) << dec(c.nByte);
    // Devices leave the logged size out where it equals nothing special.
    r << (c.loggerNBytes ? std::optional<QString>(dec(c.loggerNBytes)) : std::nullopt);
    r << (c.periodMs ? std::optional<QString>(dec(c.periodMs)) : std::nullopt);
    r << boolText(c.logger) << boolText(c.validated);
    if (c.scalingId.isEmpty()) {
        r << std::nullopt << dataSetNumber(c.g1) << dataSetNumber(c.o1) << dataSetNumber(c.g2)
          << dataSetNumber(c.o2);
    } else {
        r << c.scalingId << std::nullopt << std::nullopt << std::nullopt << std::nullopt;
    }
    return r;
}

DataSetTable scalingsTable()
{
    DataSetTable t;
    t.name = QStringLiteral("CalibrationScalings");
    t.columns = {
        {QStringLiteral("ID"), QStringLiteral("xs:string"), 32},
        {QStringLiteral("G1"), QStringLiteral("xs:double")},
        {QStringLiteral("O1"), QStringLiteral("xs:double")},
        {QStringLiteral("G2"), QStringLiteral("xs:double")},
        {QStringLiteral("O2"), QStringLiteral("xs:double")},
        {QStringLiteral("Description"), QStringLiteral("xs:string"), 64},
    };
    return t;
}

const char *const loggerAddressNames[] = {
    "XA_DataBeginAddress", "XA_DataEndAddress", "XA_StartStopAddress",
    "XA_SetupBeginAddress", "XA_HeaderBeginAddress", "XA_StopLoggerReqAddress",
    "XA_ClearLoggerDataReqAddress", "XA_LoggerRunAddress", "XA_ChannelInfoBeginAddress",
    "XA_SpeedChannelAddress", "XA_ChannelInfoSizeAddress",
};

// An Ethernet device may give some logger cells differently (addressesEthernet).
DataSetTable loggerTable(const QJsonObject &logger, bool ethernet)
{
    DataSetTable t;
    t.name = QStringLiteral("TabDataLogger");
    const char *const counts[] = {"AvailableBytes", "ChannelsCount_OffLine", "ClearTimeOutSec",
                                  "MaxDownloadBuffer", "PageAlignment"};
    Row r;
    for (const char *c : counts) {
        t.columns.append({QLatin1String(c), QStringLiteral("xs:unsignedInt")});
        r << dec(qint64(logger.value(QLatin1String(c)).toDouble()));
    }
    QJsonObject addrs = logger.value(QStringLiteral("addresses")).toObject();
    const QJsonObject lineAddrs = logger.value(QStringLiteral("addressesEthernet")).toObject();
    for (auto it = lineAddrs.begin(); ethernet && it != lineAddrs.end(); ++it)
        addrs.insert(it.key(), it.value());
    for (const char *a : loggerAddressNames) {
        t.columns.append({QLatin1String(a), QStringLiteral("xs:string"), 64});
        const QJsonValue v = addrs.value(QLatin1String(a));
        r << (v.isString() ? std::optional<QString>(v.toString()) : std::nullopt);
    }
    t.rows.append(r);
    return t;
}

DataSetTable elfTable(const QString &elf, quint32 addr, quint32 size, const QString &value, const QString &name)
{
    DataSetTable t;
    t.name = QStringLiteral("ELFData");
    t.columns = {
        {QStringLiteral("ELFName"), QStringLiteral("xs:string"), 128},
        {QStringLiteral("ELFIDStringAddress"), QStringLiteral("xs:unsignedInt")},
        {QStringLiteral("ELFIDStringSize"), QStringLiteral("xs:unsignedInt")},
        {QStringLiteral("ELFIDStringValue"), QStringLiteral("xs:string"), 64},
        {QStringLiteral("ELFIDStringName"), QStringLiteral("xs:string"), 64},
    };
    t.rows.append(Row{elf, dec(addr), dec(size), value, name});
    return t;
}

void appendCanTables(DataSetDocument &doc, quint32 toApp, quint32 toKernel, quint32 app, quint32 kernel,
                     quint32 bitRate, const QString &line)
{
    DataSetTable ids;
    ids.name = QStringLiteral("CAN_Id");
    for (const char *c : {"ToEcu_App_CAN_Id", "ToEcu_Kernel_CAN_Id", "App_CAN_Id", "Kernel_CAN_Id"})
        ids.columns.append({QLatin1String(c), QStringLiteral("xs:string"), 16});
    const auto h = [](quint32 v) { return QStringLiteral("0x") + QString::number(v, 16).toUpper(); };
    ids.rows.append(Row{h(toApp), h(toKernel), h(app), h(kernel)});
    doc.tables.append(ids);

    DataSetTable ln;
    ln.name = QStringLiteral("CommunicationLineSettings");
    ln.columns = {{QStringLiteral("Line"), QStringLiteral("xs:string"), 16}};
    ln.rows.append(Row{line});
    doc.tables.append(ln);

    DataSetTable br;
    br.name = QStringLiteral("CANLineSettings");
    br.columns = {{QStringLiteral("BitRate"), QStringLiteral("xs:int")}};
    br.rows.append(Row{dec(bitRate)});
    doc.tables.append(br);
}

quint32 u32(const QJsonValue &v) { return quint32(qint64(v.toDouble())); }
} // namespace

namespace DeviceSample {

DataSetDocument fromJson(const QByteArray &json, const QString &lineOverride, QString *error)
{
    QJsonParseError pe;
    const QJsonDocument jd = QJsonDocument::fromJson(json, &pe);
    if (jd.isNull() || !jd.isObject()) {
        if (error)
            *error = QStringLiteral("JSON: %1 at offset %2").arg(pe.errorString()).arg(pe.offset);
        return {};
    }
    const QJsonObject root = jd.object();
    for (const char *key : {"ecu", "can", "logger", "scalings", "channels"}) {
        if (!root.contains(QLatin1String(key))) {
            if (error)
                *error = QStringLiteral("JSON: key '%1' missing").arg(QLatin1String(key));
            return {};
        }
    }
    DataSetDocument doc;
    doc.name = QStringLiteral("DeviceDescription");

    DataSetTable ch = channelsTable();
    for (const QJsonValue &v : root.value(QStringLiteral("channels")).toArray()) {
        const QJsonObject o = v.toObject();
        SampleChannel c;
        c.factoryName = o.value(QStringLiteral("factoryName")).toString();
        c.tableAddress = u32(o.value(QStringLiteral("tableAddress")));
        c.address = u32(o.value(QStringLiteral("address")));
        c.nByte = u32(o.value(QStringLiteral("nByte")));
        c.loggerNBytes = u32(o.value(QStringLiteral("loggerNBytes")));
        c.type = u32(o.value(QStringLiteral("type")));
        c.periodMs = u32(o.value(QStringLiteral("periodMs")));
        c.unit = o.value(QStringLiteral("unit")).toString();
        c.labelIt = o.value(QStringLiteral("label_it")).toString();
        c.labelEn = o.value(QStringLiteral("label_en")).toString();
        c.descIt = o.value(QStringLiteral("desc_it")).toString();
        c.descEn = o.value(QStringLiteral("desc_en")).toString();
        c.scalingId = o.value(QStringLiteral("scalingId")).toString();
        c.g1 = float(o.value(QStringLiteral("g1")).toDouble(1));
        c.o1 = float(o.value(QStringLiteral("o1")).toDouble(0));
        c.g2 = float(o.value(QStringLiteral("g2")).toDouble(0));
        c.o2 = float(o.value(QStringLiteral("o2")).toDouble(1));
        c.validated = o.value(QStringLiteral("validated")).toBool(true);
        c.logger = o.value(QStringLiteral("logger")).toBool(true);
        ch.rows.append(channelRow(c));
    }
    doc.tables.append(ch);

    DataSetTable sc = scalingsTable();
    for (const QJsonValue &v : root.value(QStringLiteral("scalings")).toArray()) {
        const QJsonObject o = v.toObject();
        Row r;
        r << o.value(QStringLiteral("id")).toString();
        for (const char *k : {"g1", "o1", "g2", "o2"})
            r << dataSetNumber(o.value(QLatin1String(k)).toDouble());
        r << std::nullopt;
        sc.rows.append(r);
    }
    doc.tables.append(sc);

    const QJsonObject can = root.value(QStringLiteral("can")).toObject();
    const QString line = lineOverride.isEmpty() ? can.value(QStringLiteral("line")).toString(QStringLiteral("CAN"))
                                                : lineOverride;
    doc.tables.append(loggerTable(root.value(QStringLiteral("logger")).toObject(),
                                  line.compare(QLatin1String("ETHERNET"), Qt::CaseInsensitive) == 0));

    const QJsonObject ecu = root.value(QStringLiteral("ecu")).toObject();
    doc.tables.append(elfTable(ecu.value(QStringLiteral("elfName")).toString(),
                               u32(ecu.value(QStringLiteral("idStringAddress"))),
                               u32(ecu.value(QStringLiteral("idStringSize"))),
                               ecu.value(QStringLiteral("idStringValue")).toString(),
                               ecu.value(QStringLiteral("idStringName")).toString()));

    appendCanTables(doc, u32(can.value(QStringLiteral("toEcuAppCanId"))),
                    u32(can.value(QStringLiteral("toEcuKernelCanId"))),
                    u32(can.value(QStringLiteral("appCanId"))), u32(can.value(QStringLiteral("kernelCanId"))),
                    u32(can.value(QStringLiteral("bitRate"))), line);
    return doc;
}

DataSetDocument large(int channelCount)
{
    DataSetDocument doc;
    doc.name = QStringLiteral("DeviceDescription");
    static const quint32 periods[] = {5, 10, 20, 40, 80, 160, 320, 640, 0};
    static const quint32 sizes[] = {1, 2, 4};
    const int scalingCount = 40;

    DataSetTable ch = channelsTable();
    ch.rows.reserve(channelCount);
    quint32 addr = 0x70000000;
    for (int i = 0; i < channelCount; ++i) {
        SampleChannel c;
        c.factoryName = QStringLiteral("Var_%1.sig[%2]").arg(i / 8).arg(i % 8);
        c.tableAddress = quint32(i);
        c.nByte = sizes[i % 3];
        c.loggerNBytes = (i % 7 == 0) ? 0 : c.nByte;
        c.address = addr;
        addr += 4;
        c.type = quint32(i % 2);
        c.periodMs = periods[i % 9];
        c.unit = QStringLiteral("unit%1").arg(i % 13);
        c.labelIt = QStringLiteral("Variabile %1").arg(i);
        c.labelEn = QStringLiteral("Variable %1").arg(i);
        c.descIt = QStringLiteral("Descrizione della variabile numero %1 del motore").arg(i);
        c.descEn = QStringLiteral("Description of engine variable number %1").arg(i);
        if (i % 3 == 0)
            c.scalingId = QStringLiteral("SC_%1").arg(i % scalingCount, 3, 10, QLatin1Char('0'));
        else {
            c.g1 = 0.1f * float(1 + i % 10);
            c.o1 = float(i % 50) - 25.0f;
        }
        ch.rows.append(channelRow(c));
    }
    doc.tables.append(ch);

    DataSetTable sc = scalingsTable();
    for (int i = scalingCount - 1; i >= 0; --i) {
        sc.rows.append(Row{QStringLiteral("SC_%1").arg(i, 3, 10, QLatin1Char('0')),
                           dataSetNumber(0.25 * (i + 1)), dataSetNumber(-10.0 * i), dataSetNumber(0.0),
                           dataSetNumber(1.0), QStringLiteral("Scala %1").arg(i)});
    }
    doc.tables.append(sc);

    QJsonObject logger{{QStringLiteral("AvailableBytes"), 16 << 20},
                       {QStringLiteral("ChannelsCount_OffLine"), 64},
                       {QStringLiteral("ClearTimeOutSec"), 10},
                       {QStringLiteral("MaxDownloadBuffer"), 8192},
                       {QStringLiteral("PageAlignment"), 32}};
    QJsonObject addrs;
    quint32 a = 0x70800000;
    for (const char *n : loggerAddressNames) {
        addrs.insert(QLatin1String(n), hex(a));
        a += 0x1000;
    }
    addrs.insert(QStringLiteral("XA_SpeedChannelAddress"), QStringLiteral("Var_0.sig[1]"));
    addrs.insert(QStringLiteral("XA_ChannelInfoSizeAddress"), QStringLiteral("0x0"));
    logger.insert(QStringLiteral("addresses"), addrs);
    doc.tables.append(loggerTable(logger, false));
    doc.tables.append(elfTable(QStringLiteral("LARGE.elf"), 0x80000100, 32, QStringLiteral("LARGE-1.0"),
                               QStringLiteral("sw_IdString")));
    appendCanTables(doc, 0x6A0, 0x6A8, 0x6A1, 0x6A9, 1000000, QStringLiteral("CAN"));
    return doc;
}

QByteArray toDeviceFile(const DataSetDocument &doc, bool withBom)
{
    QByteArray body = writeDataSet(doc, withBom);
    body += DeviceChecksum::trailer(DeviceChecksum::compute(body));
    return body;
}

} // namespace DeviceSample
