#include "devicecommand.h"

#include "cryptolibrary.h"
#include "devicechecksum.h"
#include "deviceloader.h"
#include "devicesample.h"
#include "savefile.h"
#include "xmltable.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

QString hex32(quint32 v) { return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"), QLatin1String("0x")); }
QString hex16(quint16 v) { return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper(); }

const char *outcomeName(DeviceLoadOutcome o)
{
    switch (o) {
    case DeviceLoadOutcome::NotOpened: return "not-opened";
    case DeviceLoadOutcome::CryptoUnavailable: return "crypto-library-unavailable";
    case DeviceLoadOutcome::BadChecksum: return "bad-checksum";
    case DeviceLoadOutcome::SyntaxError: return "xml-syntax-error";
    case DeviceLoadOutcome::NoLoggerTableSchema: return "no-TabDataLogger-table";
    case DeviceLoadOutcome::NoChannelsTable: return "no-Channels-table";
    case DeviceLoadOutcome::InvalidLoggerTable: return "invalid-TabDataLogger";
    case DeviceLoadOutcome::Loaded: return "loads";
    }
    return "?";
}

bool writeAtomically(const QString &path, const QByteArray &data, QTextStream &err)
{
    QString error;
    if (Platform::writeFileAtomically(path, data, &error))
        return true;
    err << "brisca-tool: cannot write " << path << ": " << error << "\n";
    return false;
}

bool readWhole(const QString &path, QByteArray *data, QTextStream &err)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        err << "brisca-tool: cannot open " << path << ": " << f.errorString() << "\n";
        return false;
    }
    *data = f.readAll();
    return true;
}

QString kindName(DeviceMessage::Kind k)
{
    switch (k) {
    case DeviceMessage::Critical: return QStringLiteral("critical");
    case DeviceMessage::Warning: return QStringLiteral("warning");
    case DeviceMessage::Information: return QStringLiteral("information");
    }
    return QString();
}

QString noteWhere(const DeviceNote &n)
{
    QString w = n.table;
    if (n.row > 0)
        w += QStringLiteral(" row %1").arg(n.row);
    if (!n.column.isEmpty())
        w += QStringLiteral(" column %1").arg(n.column);
    if (!n.channel.isEmpty())
        w += QStringLiteral(" (%1)").arg(n.channel);
    return w;
}

QJsonObject bothLanguages(const QByteArray &italian, const QByteArray &english)
{
    return {{QStringLiteral("it"), QString::fromLatin1(italian)}, {QStringLiteral("en"), QString::fromLatin1(english)}};
}

// The accepted channels as loaded, in device-file order.
QJsonArray channelList(const DeviceModel &model, const QList<ChannelTexts> &texts)
{
    QJsonArray list;
    for (int i = 0; i < model.channels.size(); ++i) {
        const ChannelRecord &c = *model.channels[i];
        const ChannelTexts t = i < texts.size() ? texts[i] : ChannelTexts();
        list.append(QJsonObject{
            {QStringLiteral("index"), i},
            {QStringLiteral("factoryName"), QString::fromLatin1(c.factoryName)},
            {QStringLiteral("label"), bothLanguages(t.label[0], t.label[1])},
            {QStringLiteral("description"), bothLanguages(t.description[0], t.description[1])},
            {QStringLiteral("tableAddress"), double(c.tableAddress)},
            {QStringLiteral("address"), hex32(c.address)},
            {QStringLiteral("variableBytes"), double(c.variableBytes)},
            {QStringLiteral("loggedBytes"), double(c.loggedBytes)},
            {QStringLiteral("signed"), c.isSigned()},
            {QStringLiteral("periodMs"), double(c.periodMs)},
            {QStringLiteral("minPeriodMs"), double(c.minPeriodMs)},
            {QStringLiteral("logger"), c.loggerEnabled},
            {QStringLiteral("scaling"),
             QJsonObject{{QStringLiteral("id"), c.scalingId.isEmpty() ? QJsonValue() : QString::fromLatin1(c.scalingId)},
                         {QStringLiteral("g1"), double(c.g1)}, {QStringLiteral("o1"), double(c.o1)},
                         {QStringLiteral("g2"), double(c.g2)}, {QStringLiteral("o2"), double(c.o2)},
                         {QStringLiteral("unit"), QString::fromLatin1(c.unit)}}},
        });
    }
    return list;
}

int checkDevice(const QString &path, bool json, const DeviceLoadOptions &opts, QTextStream &out, QTextStream &err)
{
    if (!QFile::exists(path)) {
        err << "brisca-tool: " << path << ": no such file\n";
        return 1;
    }
    DeviceModel model;
    model.devicePath = path;
    DeviceLoadOptions options = opts;
    options.bothLanguages = json;
    const DeviceLoadResult r = DeviceLoader::load(model, options);
    const DeviceLoadReport &rep = r.report;
    const bool loads = r.loaded();
    const bool tablesRead = r.outcome == DeviceLoadOutcome::Loaded
                            || r.outcome == DeviceLoadOutcome::NoChannelsTable
                            || r.outcome == DeviceLoadOutcome::InvalidLoggerTable;
    // Show the logger table as the file has it, even when the load refused it.
    const LoggerTable &lt = rep.loggerTableRead ? rep.loggerTable : model.loggerTable;

    if (json) {
        QJsonObject o;
        o[QStringLiteral("file")] = path;
        o[QStringLiteral("outcome")] = QLatin1String(outcomeName(r.outcome));
        o[QStringLiteral("loads")] = loads;
        o[QStringLiteral("encrypted")] = rep.encrypted;
        o[QStringLiteral("cryptoLibraryUsable")] = rep.cryptoUsable;
        o[QStringLiteral("contentSize")] = double(rep.contentSize);
        QJsonObject ck;
        ck[QStringLiteral("stored")] = rep.storedChecksumFound ? QJsonValue(hex16(rep.storedChecksum)) : QJsonValue();
        ck[QStringLiteral("computed")] = rep.computedChecksumValid ? QJsonValue(hex16(rep.computedChecksum)) : QJsonValue();
        ck[QStringLiteral("matches")] = rep.storedChecksumFound && rep.computedChecksumValid
                                        && rep.storedChecksum == rep.computedChecksum;
        o[QStringLiteral("checksum")] = ck;
        if (!rep.xmlError.isEmpty())
            o[QStringLiteral("xmlError")] = QStringLiteral("line %1 column %2: %3")
                                                .arg(rep.xmlErrorLine).arg(rep.xmlErrorColumn).arg(rep.xmlError);
        o[QStringLiteral("tablesFound")] = QJsonArray::fromStringList(rep.tablesFound);
        o[QStringLiteral("tablesMissing")] = QJsonArray::fromStringList(rep.tablesMissing);
        QJsonArray msgs;
        for (const DeviceMessage &m : r.messages)
            msgs.append(QJsonObject{{QStringLiteral("kind"), kindName(m.kind)}, {QStringLiteral("text"), m.text}});
        o[QStringLiteral("messages")] = msgs;
        QJsonArray notes;
        for (const DeviceNote &n : rep.notes)
            notes.append(QJsonObject{
                {QStringLiteral("kind"), n.kind == DeviceNote::Rejected ? QStringLiteral("rejected") : QStringLiteral("adjusted")},
                {QStringLiteral("table"), n.table}, {QStringLiteral("row"), n.row},
                {QStringLiteral("column"), n.column}, {QStringLiteral("channel"), n.channel},
                {QStringLiteral("reason"), n.text}});
        o[QStringLiteral("notes")] = notes;
        if (tablesRead) {
            o[QStringLiteral("channelCount")] = rep.channelsAccepted;
            QJsonArray sc;
            for (const ScalingRecord &s : model.scalings)
                sc.append(QJsonObject{{QStringLiteral("id"), QString::fromLatin1(s.id)}, {QStringLiteral("g1"), s.g1},
                                      {QStringLiteral("o1"), s.o1}, {QStringLiteral("g2"), s.g2}, {QStringLiteral("o2"), s.o2}});
            o[QStringLiteral("scalings")] = sc;
            o[QStringLiteral("channels")] = channelList(model, rep.channelTexts);
            QJsonArray tables;
            for (const DeviceTableRead &t : rep.tablesRead) {
                QJsonObject table{{QStringLiteral("name"), t.name}, {QStringLiteral("rows"), t.rows}};
                if (!t.cells.isEmpty()) {
                    QJsonObject cells;
                    for (const auto &cell : t.cells)
                        cells[cell.first] = cell.second;
                    table[QStringLiteral("cells")] = cells;
                }
                tables.append(table);
            }
            o[QStringLiteral("tables")] = tables;
            QJsonObject lo;
            lo[QStringLiteral("present")] = rep.loggerTableRead;
            lo[QStringLiteral("valid")] = bool(lt.valid);
            lo[QStringLiteral("elfCheckEnabled")] = bool(lt.elfCheckEnabled);
            lo[QStringLiteral("AvailableBytes")] = double(lt.availableBytes);
            lo[QStringLiteral("ChannelsCount_OffLine")] = double(lt.channelsCountOffline);
            lo[QStringLiteral("ClearTimeOutSec")] = double(lt.clearTimeout);
            lo[QStringLiteral("MaxDownloadBuffer")] = double(lt.maxDownloadBuffer);
            lo[QStringLiteral("PageAlignment")] = double(lt.pageAlignment);
            lo[QStringLiteral("channelInfoMode")] = double(lt.channelInfoMode);
            lo[QStringLiteral("channelInfoAreaSize")] = double(lt.channelInfoAreaSize);
            lo[QStringLiteral("lineType")] = double(lt.lineType);
            QJsonObject addrs;
            LoggerTable copy = lt;
            for (int i = 0; i < 11; ++i) {
                const LoggerAddress *a = DeviceTables::loggerAddress(copy, i);
                addrs[QLatin1String(DeviceTables::loggerAddressColumns[i])] =
                    QJsonObject{{QStringLiteral("address"), hex32(a->address)}, {QStringLiteral("size"), double(a->size)}};
            }
            lo[QStringLiteral("addresses")] = addrs;
            o[QStringLiteral("loggerTable")] = lo;
            const CanSettings &c = model.canSettings;
            o[QStringLiteral("can")] = QJsonObject{
                {QStringLiteral("ToEcu_App_CAN_Id"), hex32(c.toEcuAppCanId)},
                {QStringLiteral("ToEcu_Kernel_CAN_Id"), hex32(c.toEcuKernelCanId)},
                {QStringLiteral("App_CAN_Id"), hex32(c.appCanId)}, {QStringLiteral("Kernel_CAN_Id"), hex32(c.kernelCanId)},
                {QStringLiteral("BitRate"), double(c.bitRate)}, {QStringLiteral("lineType"), double(c.lineType)}};
            const ElfIdentification &e = model.elf;
            o[QStringLiteral("elf")] = QJsonObject{
                {QStringLiteral("ELFName"), QString::fromLatin1(e.elfName)},
                {QStringLiteral("ELFIDStringAddress"), hex32(e.idStringAddress)},
                {QStringLiteral("ELFIDStringSize"), double(e.idStringSize)},
                {QStringLiteral("ELFIDStringValue"), QString::fromLatin1(e.idStringValue)},
                {QStringLiteral("ELFIDStringName"), QString::fromLatin1(e.idStringName)},
                {QStringLiteral("usable"), bool(lt.elfCheckEnabled)}};
        }
        out << QJsonDocument(o).toJson(QJsonDocument::Indented);
        return loads ? 0 : 1;
    }

    out << "Device file:  " << path << "\n";
    out << "Encryption:   " << (rep.encrypted ? "encrypted (ORVLibCrypt)" : "plain");
    if (rep.encrypted)
        out << ", library " << (rep.cryptoUsable ? "usable" : "unusable: " + rep.cryptoError);
    out << "\n";
    if (r.outcome != DeviceLoadOutcome::NotOpened && r.outcome != DeviceLoadOutcome::CryptoUnavailable) {
        out << "Content:      " << rep.contentSize << " bytes\n";
        out << "Checksum:     stored " << (rep.storedChecksumFound ? hex16(rep.storedChecksum) : QStringLiteral("(none)"))
            << ", computed "
            << (rep.computedChecksumValid ? hex16(rep.computedChecksum)
                                          : QStringLiteral("(content shorter than its %1-byte trailer)")
                                                .arg(rep.encrypted ? 65 : 20))
            << "\n";
    }
    if (!rep.xmlError.isEmpty())
        out << "XML error:    line " << rep.xmlErrorLine << " column " << rep.xmlErrorColumn << ": " << rep.xmlError << "\n";
    if (!rep.tablesFound.isEmpty() || !rep.tablesMissing.isEmpty()) {
        out << "Tables found: " << (rep.tablesFound.isEmpty() ? QStringLiteral("-") : rep.tablesFound.join(QStringLiteral(", "))) << "\n";
        out << "Missing:      " << (rep.tablesMissing.isEmpty() ? QStringLiteral("-") : rep.tablesMissing.join(QStringLiteral(", "))) << "\n";
    }
    if (tablesRead) {
        out << "Channels:     " << rep.channelsAccepted << " accepted\n";
        for (const DeviceNote &n : rep.notes)
            out << "  " << (n.kind == DeviceNote::Rejected ? "rejected " : "adjusted ") << noteWhere(n) << ": " << n.text << "\n";
        out << "Scalings:     " << model.scalings.size() << "\n";
        for (const ScalingRecord &s : model.scalings)
            out << "  " << QString::fromLatin1(s.id) << ": g1 " << s.g1 << " o1 " << s.o1 << " g2 " << s.g2 << " o2 " << s.o2 << "\n";
        out << "Logger table: " << (!rep.loggerTableRead ? QStringLiteral("none (no TabDataLogger row)")
                                                         : (lt.valid ? QStringLiteral("valid") : QStringLiteral("INVALID")))
            << "\n";
        if (rep.loggerTableRead) {
            out << "  AvailableBytes " << lt.availableBytes << ", ChannelsCount_OffLine " << lt.channelsCountOffline
                << ", ClearTimeOutSec " << lt.clearTimeout << ", MaxDownloadBuffer " << lt.maxDownloadBuffer
                << ", PageAlignment " << lt.pageAlignment << "\n";
            out << "  channel info mode " << lt.channelInfoMode << ", area " << lt.channelInfoAreaSize << " bytes\n";
            LoggerTable copy = lt;
            for (int i = 0; i < 11; ++i) {
                const LoggerAddress *a = DeviceTables::loggerAddress(copy, i);
                out << "  " << QString::fromLatin1(DeviceTables::loggerAddressColumns[i]).leftJustified(29)
                    << hex32(a->address) << "  size " << a->size << "\n";
            }
        }
        const CanSettings &c = model.canSettings;
        out << "CAN:          ToEcu_App " << hex32(c.toEcuAppCanId) << ", ToEcu_Kernel " << hex32(c.toEcuKernelCanId)
            << ", App " << hex32(c.appCanId) << ", Kernel " << hex32(c.kernelCanId) << ", bit rate " << c.bitRate
            << ", line " << (c.lineType == LineTypeEthernet ? "Ethernet (4)" : "CAN (0)") << "\n";
        const ElfIdentification &e = model.elf;
        out << "ELF:          " << (lt.elfCheckEnabled ? "usable" : "not usable") << ", name '" << QString::fromLatin1(e.elfName)
            << "', id string '" << QString::fromLatin1(e.idStringName) << "' = '" << QString::fromLatin1(e.idStringValue)
            << "' at " << hex32(e.idStringAddress) << " size " << e.idStringSize << "\n";
    }
    for (const DeviceMessage &m : r.messages)
        out << "Message (" << kindName(m.kind) << "): " << m.text << "\n";
    out << "Result:       " << (loads ? "the device loads" : "the device is refused") << " ("
        << outcomeName(r.outcome) << ")\n";
    return loads ? 0 : 1;
}

// The body of an edited file: a trailer already there is replaced.
QByteArray bodyWithoutTrailer(const QByteArray &data)
{
    if (data.size() < DeviceChecksum::PlainTrailerSize)
        return data;
    quint16 ignored;
    const QByteArray body = data.left(data.size() - DeviceChecksum::PlainTrailerSize);
    if (!DeviceChecksum::storedValue(data, &ignored))
        return data;
    XmlDocument doc;
    return doc.setContent(body) ? body : data;
}

int stamp(const QString &in, const QString &outPath, QTextStream &out, QTextStream &err)
{
    QByteArray data;
    if (!readWhole(in, &data, err))
        return 1;
    const QByteArray body = bodyWithoutTrailer(data);
    XmlDocument doc;
    XmlDocument::Error e;
    if (!doc.setContent(body, &e)) {
        err << "brisca-tool: " << in << " is not well-formed XML (line " << e.line << " column " << e.column
            << ": " << e.message << ")\n";
        return 1;
    }
    const quint16 sum = DeviceChecksum::compute(body);
    if (!writeAtomically(outPath, body + DeviceChecksum::trailer(sum), err))
        return 1;
    out << "Wrote " << outPath << " with checksum " << hex16(sum) << " over " << body.size() << " bytes\n";
    return 0;
}

int encrypt(const QString &in, const QString &outPath, QTextStream &out, QTextStream &err)
{
    QByteArray data;
    if (!readWhole(in, &data, err))
        return 1;
    if (DeviceLoader::isEncryptedMarker(data.left(qsizetype(qstrlen(CryptoLibrary::Marker)))))
    {
        err << "brisca-tool: " << in << " is already encrypted\n";
        return 1;
    }
    quint16 stored = 0;
    const qsizetype covered = DeviceChecksum::coveredLength(data.size(), false);
    if (covered < 0 || !DeviceChecksum::storedValue(data, &stored)
        || stored != DeviceChecksum::compute(data.constData(), covered)) {
        err << "brisca-tool: " << in << " has no valid checksum trailer; run 'brisca-tool device stamp' first\n";
        return 1;
    }
    // Inside the encrypted form the check leaves out the last 65 bytes: an
    // XML comment as filler, then the usual trailer.
    const QByteArray body = data.left(covered);
    QByteArray filler("\r\n<!--");
    const int pad = DeviceChecksum::EncryptedTrailerSize - DeviceChecksum::PlainTrailerSize - filler.size() - 3;
    filler += QByteArray(" encrypted device ").leftJustified(pad, '.', true);
    filler += "-->";
    const QByteArray block = body + filler + DeviceChecksum::trailer(DeviceChecksum::compute(body));

    const CryptoLibrary lib(QCoreApplication::applicationDirPath());
    if (!lib.usable()) {
        err << "brisca-tool: crypto library unusable: " << lib.errorString() << "\n";
        return 1;
    }
    const int rc = lib.writeFile(outPath, block);
    if (rc != 0) {
        err << "brisca-tool: the crypto library could not write " << outPath << " (code " << rc << ")\n";
        return 1;
    }
    out << "Wrote encrypted " << outPath << "\n";
    return 0;
}

int sample(const QString &jsonPath, const QString &outPath, const QString &line, QTextStream &out, QTextStream &err)
{
    QByteArray json;
    if (!readWhole(jsonPath, &json, err))
        return 1;
    QString error;
    const DataSetDocument doc = DeviceSample::fromJson(json, line, &error);
    if (doc.tables.isEmpty()) {
        err << "brisca-tool: " << jsonPath << ": " << error << "\n";
        return 1;
    }
    if (!writeAtomically(outPath, DeviceSample::toDeviceFile(doc), err))
        return 1;
    out << "Wrote " << outPath << " (" << doc.tables.first().rows.size() << " channels)\n";
    return 0;
}

int large(const QString &count, const QString &outPath, QTextStream &out, QTextStream &err)
{
    bool ok = false;
    const int n = count.toInt(&ok);
    if (!ok || n < 0 || n > 1000000) {
        err << "brisca-tool: channel count must be 0 to 1000000\n";
        return 2;
    }
    if (!writeAtomically(outPath, DeviceSample::toDeviceFile(DeviceSample::large(n)), err))
        return 1;
    out << "Wrote " << outPath << " (" << n << " channels)\n";
    return 0;
}

} // namespace

void deviceUsage(QTextStream &out)
{
    out << "  device FILE [--json] [--it] [--max-period MS]\n"
           "               check a device file as loading does; exit 0 when it loads,\n"
           "               1 when it would be refused\n"
           "  device stamp IN OUT      write IN with a correct checksum trailer to OUT\n"
           "  device encrypt IN OUT    write the encrypted form of IN through ORVLibCrypt\n"
           "  device sample JSON OUT [--line can|ethernet]\n"
           "               make a device file from an ECU description\n"
           "  device large N OUT       make a device with N synthetic channels\n";
}

int runDeviceCommand(const QStringList &argsIn, QTextStream &out, QTextStream &err)
{
    QStringList args = argsIn;
    if (args.isEmpty()) {
        err << "Usage:\n";
        deviceUsage(err);
        return 2;
    }
    const QString sub = args.first();
    if (sub == QLatin1String("stamp") || sub == QLatin1String("encrypt")) {
        if (args.size() != 3) {
            err << "Usage: brisca-tool device " << sub << " IN OUT\n";
            return 2;
        }
        return sub == QLatin1String("stamp") ? stamp(args[1], args[2], out, err) : encrypt(args[1], args[2], out, err);
    }
    if (sub == QLatin1String("sample")) {
        QString line;
        const int li = int(args.indexOf(QStringLiteral("--line")));
        if (li >= 0) {
            if (li + 1 >= args.size()) {
                err << "Usage: brisca-tool device sample JSON OUT [--line can|ethernet]\n";
                return 2;
            }
            line = args[li + 1].toUpper();
            args.remove(li, 2);
        }
        if (args.size() != 3 || (!line.isEmpty() && line != QLatin1String("CAN") && line != QLatin1String("ETHERNET"))) {
            err << "Usage: brisca-tool device sample JSON OUT [--line can|ethernet]\n";
            return 2;
        }
        return sample(args[1], args[2], line, out, err);
    }
    if (sub == QLatin1String("large")) {
        if (args.size() != 3) {
            err << "Usage: brisca-tool device large N OUT\n";
            return 2;
        }
        return large(args[1], args[2], out, err);
    }

    DeviceLoadOptions opts;
    opts.programFolder = QCoreApplication::applicationDirPath();
    bool json = false;
    QString file;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--it")) {
            opts.italian = true;
        } else if (a == QLatin1String("--max-period")) {
            bool ok = false;
            opts.maximumPeriodSampling = i + 1 < args.size() ? args[i + 1].toUInt(&ok) : 0;
            if (!ok) {
                err << "brisca-tool: --max-period needs a number of milliseconds\n";
                return 2;
            }
            ++i;
        } else if (a.startsWith(QLatin1String("--")) || !file.isEmpty()) {
            err << "brisca-tool: unexpected argument '" << a << "'\n";
            deviceUsage(err);
            return 2;
        } else {
            file = a;
        }
    }
    if (file.isEmpty()) {
        deviceUsage(err);
        return 2;
    }
    return checkDevice(file, json, opts, out, err);
}
