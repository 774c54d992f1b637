#include "ecudescription.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool number(const QJsonObject &o, const char *key, quint32 &out, QString *error, bool required = true)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined()) {
        if (required && error)
            *error = QStringLiteral("missing field \"%1\"").arg(QLatin1String(key));
        return !required;
    }
    const double d = v.toDouble(-1);
    if (!v.isDouble() || d < 0 || d > 4294967295.0 || d != qint64(d)) {
        if (error)
            *error = QStringLiteral("field \"%1\" is not an unsigned 32-bit number").arg(QLatin1String(key));
        return false;
    }
    out = quint32(qint64(d));
    return true;
}

} // namespace

quint32 SimDescription::staticTableEntries() const
{
    quint32 n = 0;
    for (const SimChannel &c : channels)
        n = qMax(n, c.tableAddress + 1);
    return n;
}

const SimChannel *SimDescription::channelByName(const QByteArray &factoryName) const
{
    for (const SimChannel &c : channels)
        if (c.factoryName == factoryName)
            return &c;
    return nullptr;
}

bool parseSimDescription(const QByteArray &json, SimDescription &out, QString *error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (doc.isNull() || !doc.isObject()) {
        if (error)
            *error = QStringLiteral("not a JSON object: %1").arg(pe.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    SimDescription d;

    const QJsonObject ecu = root.value(QLatin1String("ecu")).toObject();
    d.elfName = ecu.value(QLatin1String("elfName")).toString();
    d.idStringName = ecu.value(QLatin1String("idStringName")).toString();
    d.idStringValue = ecu.value(QLatin1String("idStringValue")).toString().toLatin1();
    if (!number(ecu, "idStringAddress", d.idStringAddress, error, false)
        || !number(ecu, "idStringSize", d.idStringSize, error, false))
        return false;

    const QJsonObject can = root.value(QLatin1String("can")).toObject();
    if (!number(can, "toEcuAppCanId", d.toEcuAppCanId, error)
        || !number(can, "toEcuKernelCanId", d.toEcuKernelCanId, error, false)
        || !number(can, "appCanId", d.appCanId, error, false)
        || !number(can, "kernelCanId", d.kernelCanId, error, false)
        || !number(can, "bitRate", d.bitRate, error, false))
        return false;
    const QJsonValue line = can.value(QLatin1String("line"));
    d.line = line.isDouble() ? QString::number(qint64(line.toDouble())) : line.toString();
    if (!number(root, "staticTableAddress", d.staticTableAddress, error))
        return false;

    const QJsonObject logger = root.value(QLatin1String("logger")).toObject();
    for (auto it = logger.begin(); it != logger.end(); ++it) {
        if (it.key() == QLatin1String("addresses")) {
            const QJsonObject a = it.value().toObject();
            for (auto ai = a.begin(); ai != a.end(); ++ai)
                d.loggerAddresses.insert(ai.key(), ai.value().isDouble()
                                                       ? QString::number(qint64(ai.value().toDouble()))
                                                       : ai.value().toString());
        } else if (it.value().isDouble()) {
            d.loggerValues.insert(it.key(), qint64(it.value().toDouble()));
        }
    }

    const QJsonArray regions = root.value(QLatin1String("ramRegions")).toArray();
    for (const QJsonValue &rv : regions) {
        SimRegion r;
        if (!number(rv.toObject(), "address", r.address, error) || !number(rv.toObject(), "size", r.size, error))
            return false;
        d.ramRegions.append(r);
    }

    const QJsonArray channels = root.value(QLatin1String("channels")).toArray();
    for (int i = 0; i < channels.size(); ++i) {
        const QJsonObject c = channels.at(i).toObject();
        SimChannel ch;
        ch.factoryName = c.value(QLatin1String("factoryName")).toString().toLatin1();
        QString err;
        if (!number(c, "tableAddress", ch.tableAddress, &err) || !number(c, "address", ch.address, &err)
            || !number(c, "nByte", ch.nByte, &err) || !number(c, "loggerNBytes", ch.loggerNBytes, &err, false)
            || !number(c, "type", ch.type, &err, false) || !number(c, "periodMs", ch.periodMs, &err, false)) {
            if (error)
                *error = QStringLiteral("channel %1: %2").arg(i).arg(err);
            return false;
        }
        if (ch.nByte < 1 || ch.nByte > 8) {
            if (error)
                *error = QStringLiteral("channel %1: nByte %2 out of range").arg(i).arg(ch.nByte);
            return false;
        }
        ch.unit = c.value(QLatin1String("unit")).toString();
        ch.labelIt = c.value(QLatin1String("label_it")).toString();
        ch.labelEn = c.value(QLatin1String("label_en")).toString();
        d.channels.append(ch);
    }
    out = d;
    return true;
}

bool loadSimDescription(const QString &path, SimDescription &out, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, f.errorString());
        return false;
    }
    QString err;
    if (!parseSimDescription(f.readAll(), out, &err)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, err);
        return false;
    }
    return true;
}

QString defaultSimDescriptionPath()
{
#ifdef BRISCA_SIM_HAS_SAMPLE
    // A static library's resources need an explicit start.
    static const bool registered = [] {
        Q_INIT_RESOURCE(sim);
        return true;
    }();
    Q_UNUSED(registered);
#endif
    const QString nextToProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/sample_ecu.json");
    if (QFileInfo::exists(nextToProgram))
        return nextToProgram;
    if (QFileInfo::exists(QStringLiteral(":/sim/sample_ecu.json")))
        return QStringLiteral(":/sim/sample_ecu.json");
    return nextToProgram;
}
