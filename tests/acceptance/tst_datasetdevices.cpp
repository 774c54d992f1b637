// Device files shaped the way a schema-embedding DataSet writer produces
// them, built here by a writer of this test's own (own checksum, own layout
// choices) from tests/data/device/dataset-device.txt, loaded through
// DeviceLoader and checked with brisca-tool.
#include "deviceloader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// CRC-16 over 0x1021, MSB first, byte XOR-ed into the low byte after the
// table step, result byte-swapped.
quint16 crcOfDevice(const QByteArray &d)
{
    quint16 crc = 0;
    for (unsigned char b : d) {
        quint32 v = quint32(crc >> 8) << 8;
        for (int k = 0; k < 8; ++k)
            v = (v & 0x8000) ? ((v << 1) ^ 0x1021) : (v << 1);
        crc = quint16(v ^ ((crc & 0xFF) << 8) ^ b);
    }
    return quint16((crc << 8) | (crc >> 8));
}

// 12 uninterpreted bytes, four hex digits, 4 uninterpreted bytes.
QByteArray withTrailer(const QByteArray &body, bool lower = false)
{
    const QByteArray digits = QByteArray::number(crcOfDevice(body), 16).rightJustified(4, '0');
    return body + "\r\n<!--CRC:  " + (lower ? digits.toLower() : digits.toUpper()) + " -->";
}

struct Column { QByteArray name, type = "string", maxLength; }; // maxLength: written as a restriction
struct Table { QByteArray name; QList<Column> columns; QList<QByteArrayList> rows; }; // a null cell is left out

QList<Table> device(bool typed = false)
{
    QFile f(qEnvironmentVariable("BRISCA_SOURCE_DIR") + "/tests/data/device/dataset-device.txt");
    QList<Table> tables;
    if (!f.open(QIODevice::ReadOnly))
        return tables;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith("table ")) {
            tables.append({line.mid(6), {}, {}});
        } else if (tables.last().columns.isEmpty()) {
            for (const QByteArray &c : line.split('|')) {
                const QByteArrayList parts = c.split(':');
                const QByteArrayList type = parts.value(1, "string").split('/');
                tables.last().columns.append(typed ? Column{parts[0], type[0], type.value(1)} : Column{parts[0]});
            }
        } else {
            QByteArrayList cells = line.split('|');
            for (QByteArray &c : cells)
                c = c == "~" ? QByteArray() : c.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;");
            tables.last().rows.append(cells);
        }
    }
    return tables;
}

QList<Table> without(QList<Table> ts, const QByteArray &name)
{
    ts.removeIf([&](const Table &t) { return t.name == name; });
    return ts;
}

Table &find(QList<Table> &ts, const QByteArray &name)
{
    return *std::find_if(ts.begin(), ts.end(), [&](const Table &t) { return t.name == name; });
}

struct Shape
{
    QByteArray dataSet = "NewDataSet", prefix = "xs", indent = "  ", eol = "\r\n";
    bool bom = true;
    QByteArray ns; // typed data set: its own default namespace
    bool primaryKey = false;
};

QByteArray writeDataSet(const QList<Table> &tables, const Shape &s = Shape())
{
    QByteArray out = (s.bom ? "\xEF\xBB\xBF" : "") + QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>") + s.eol;
    int depth = 0;
    const auto line = [&](int step, const QByteArray &text) { // step -1 closes, +1 opens
        depth += qMin(step, 0);
        out += s.indent.repeated(depth) + text + (s.indent.isEmpty() ? QByteArray() : s.eol);
        depth += qMax(step, 0);
    };
    const QByteArray p = s.prefix.isEmpty() ? QByteArray() : s.prefix + ":";
    const QByteArray ns = s.ns.isEmpty() ? QByteArray() : " xmlns=\"" + s.ns + "\"";
    line(1, "<" + s.dataSet + ns + ">");
    line(1, "<" + p + "schema id=\"" + s.dataSet + "\""
                + (s.ns.isEmpty() ? QByteArray(s.prefix.isEmpty() ? "" : " xmlns=\"\"") : " targetNamespace=\"" + s.ns + "\" xmlns:mstns=\"" + s.ns + "\"" + ns)
                + (s.prefix.isEmpty() ? QByteArray(" xmlns") : " xmlns:" + s.prefix)
                + "=\"http://www.w3.org/2001/XMLSchema\" xmlns:msdata=\"urn:schemas-microsoft-com:xml-msdata\""
                + (s.ns.isEmpty() ? "" : " attributeFormDefault=\"qualified\" elementFormDefault=\"qualified\"") + ">");
    line(1, "<" + p + "element name=\"" + s.dataSet + "\" msdata:IsDataSet=\"true\" msdata:UseCurrentLocale=\"true\">");
    line(1, "<" + p + "complexType>");
    line(1, "<" + p + "choice minOccurs=\"0\" maxOccurs=\"unbounded\">");
    for (const Table &t : tables) {
        for (const QByteArray &open : {"element name=\"" + t.name + "\">", QByteArray("complexType>"), QByteArray("sequence>")})
            line(1, "<" + p + open);
        for (const Column &c : t.columns) {
            const QByteArray head = "<" + p + "element name=\"" + c.name + "\"";
            if (c.maxLength.isEmpty()) {
                line(0, head + " type=\"" + p + c.type + "\" minOccurs=\"0\" />");
                continue;
            }
            line(1, head + " minOccurs=\"0\">");
            for (const QByteArray &open : {QByteArray("simpleType>"), "restriction base=\"" + p + c.type + "\">"})
                line(1, "<" + p + open);
            line(0, "<" + p + "maxLength value=\"" + c.maxLength + "\" />");
            for (const char *end : {"restriction>", "simpleType>", "element>"})
                line(-1, "</" + p + end);
        }
        for (const char *end : {"sequence>", "complexType>", "element>"})
            line(-1, "</" + p + end);
    }
    for (const char *end : {"choice>", "complexType>"})
        line(-1, "</" + p + end);
    if (s.primaryKey) {
        const QByteArray m = s.ns.isEmpty() ? QByteArray() : "mstns:";
        line(1, "<" + p + "unique name=\"Constraint1\" msdata:PrimaryKey=\"true\">");
        line(0, "<" + p + "selector xpath=\".//" + m + "Channels\" />");
        line(0, "<" + p + "field xpath=\"" + m + "FactoryName\" />");
        line(-1, "</" + p + "unique>");
    }
    for (const char *end : {"element>", "schema>"})
        line(-1, "</" + p + end);
    for (const Table &t : tables)
        for (const QByteArrayList &r : t.rows) {
            line(1, "<" + t.name + ">");
            for (int i = 0; i < t.columns.size() && i < r.size(); ++i)
                if (!r[i].isNull())
                    line(0, "<" + t.columns[i].name + ">" + r[i] + "</" + t.columns[i].name + ">");
            line(-1, "</" + t.name + ">");
        }
    line(-1, "</" + s.dataSet + ">");
    return out;
}

} // namespace

class DataSetDevices : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    int n = 0;

    QString put(const QByteArray &content)
    {
        QFile f(dir.filePath(QStringLiteral("dev%1.xml").arg(++n)));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(f.fileName()));
        return f.fileName();
    }

    DeviceLoadResult load(DeviceModel &m, const QByteArray &content, QStringList *texts, bool italian = false)
    {
        m.devicePath = put(content);
        DeviceLoadOptions o;
        o.programFolder = dir.path(); // no crypto library here
        o.italian = italian;
        const DeviceLoadResult r = DeviceLoader::load(m, o);
        for (const DeviceMessage &msg : r.messages)
            *texts << msg.text;
        return r;
    }

private slots:
    void writerShapesLoadTheSameModel_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("italian"); // labels from ...L0, else ...L1
        QTest::newRow("indented CRLF with BOM") << withTrailer(writeDataSet(device())) << false;
        QTest::newRow("primary key, Italian") << withTrailer(writeDataSet(device(), {.primaryKey = true})) << true;
        QTest::newRow("xsd prefix, one line, no BOM")
            << withTrailer(writeDataSet(device(), {"DeviceDS", "xsd", "", "\n", false}), true) << false;
        QTest::newRow("typed data set in its own namespace")
            << withTrailer(writeDataSet(device(true), {"DeviceData", "xs", "  ", "\r\n", true, "http://tempuri.org/DeviceData.xsd", true}))
            << false;
        QTest::newRow("typed columns, tabs") << withTrailer(writeDataSet(device(true), {.indent = "\t", .eol = "\n"})) << false;
        QTest::newRow("schema in the default namespace")
            << withTrailer(writeDataSet(device(true), {.prefix = "", .primaryKey = true})) << false;
    }
    void writerShapesLoadTheSameModel()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, italian);
        DeviceModel m;
        QStringList messages;
        QCOMPARE(int(load(m, file, &messages, italian).outcome), int(DeviceLoadOutcome::Loaded));
        QCOMPARE(messages, QStringList());

        // Byte order of the Latin-1 ids: upper case, then lower case, then é.
        QByteArrayList ids;
        for (const ScalingRecord &s : m.scalings)
            ids << s.id;
        QCOMPARE(ids, (QByteArrayList{"SC_A", "SC_B", "SC_C", "sc_a", "\xe9t\xe9"}));
        QCOMPARE((QList<double>{m.scalings[3].g1, m.scalings[3].o1, m.scalings[1].o1, m.scalings[2].g1, m.scalings[2].o2}),
                 (QList<double>{1e-5, -2500, 10, 3, 0}));

        // ELFName left out: no ELF check, so Address and Validated are ignored.
        QCOMPARE(int(m.loggerTable.elfCheckEnabled), 0);
        QCOMPARE(m.channels.size(), 3);
        const ChannelRecord &rpm = *m.channels[0], &map = *m.channels[1], &water = *m.channels[2];
        QCOMPARE(rpm.uniqueCode + rpm.label + rpm.description, QByteArray(italian ? "rpm_12Girigiri" : "rpm_12Speedspeed"));
        QCOMPARE(map.factoryName + water.factoryName + water.unit, QByteArray("_map[3].x-ytmp_water\xb0" "C")); // Latin-1 here
        QCOMPARE((QList<quint32>{rpm.address, rpm.periodMs, rpm.minPeriodMs, rpm.loggedBytes, map.periodMs, map.loggedBytes,
                                 map.typeCode, water.periodMs, water.variableBytes, water.loggedBytes}),
                 (QList<quint32>{12, 10, 5, 2, 640, 4, 1, 640, 1, 0}));
        QCOMPARE((QList<float>{rpm.g1, map.g1, map.o1, map.o2, water.g1, water.o1}), (QList<float>{2, 1.5, -2, 1, 0.5, 10}));
        QVERIFY(rpm.loggerEnabled && !map.loggerEnabled && water.loggerEnabled && map.description.isEmpty());

        // The declared XA_ChannelInfoSizeAddress cell is left out, so it
        // reads as an empty channel name: no such channel, hence the
        // channel-info-size layout.
        const LoggerTable &lt = m.loggerTable;
        QVERIFY(lt.valid && !m.noLoggerTable);
        QCOMPARE((QList<quint32>{lt.availableBytes, lt.dataBegin.address, lt.dataEnd.address, lt.startStop.address,
                                 lt.startStop.size, lt.setupBegin.address, lt.loggerRun.address, lt.speedChannel.address}),
                 (QList<quint32>{65536, 1024, 31, 12, 2, 0x40001000, 0x40000018, 2048}));
        QCOMPARE((QList<quint32>{lt.channelInfoSize.address, lt.channelInfoMode, lt.channelInfoAreaSize,
                                 lt.channelsCountOffline, lt.maxDownloadBuffer, lt.lineType}),
                 (QList<quint32>{0xFFFFFFFF, 1, 4096, 64, 8192, 4}));
        const CanSettings &c = m.canSettings;
        QCOMPARE((QList<quint32>{c.toEcuAppCanId, c.toEcuKernelCanId, c.appCanId, c.kernelCanId, c.bitRate, c.lineType}),
                 (QList<quint32>{0x7E0, 0x7E1, 2024, 8, 500000, 4}));
        QCOMPARE(m.elf.idStringAddress, 4096u);
    }

    void devicesLoadAsExpected_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QList<quint32>>("model"); // channels, no logger table, line type, logger channel slots, start/stop address
        using O = DeviceLoadOutcome;
        QList<Table> t = device();
        find(t, "TabDataLogger").columns.removeAt(15);
        find(t, "TabDataLogger").rows[0].removeAt(15);
        QTest::newRow("undeclared channel info size keeps the row values")
            << withTrailer(writeDataSet(t)) << int(O::Loaded) << QStringList() << QList<quint32>{3, 0, 4, 32, 12};
        t = device();
        find(t, "TabDataLogger").rows.clear();
        QTest::newRow("logger table declared without a row")
            << withTrailer(writeDataSet(t)) << int(O::Loaded) << QStringList() << QList<quint32>{3, 1, 4, 0, 0};
        QTest::newRow("no line, CAN or ELF tables")
            << withTrailer(writeDataSet(without(without(without(without(device(), "CommunicationLineSettings"), "CAN_Id"),
                                                        "CANLineSettings"), "ELFData")))
            << int(O::Loaded) << QStringList() << QList<quint32>{3, 0, 0, 64, 12};
        t = device();
        find(t, "ELFData").rows[0][0] = "ecu.elf"; // _map (Validated false) and tmp_water (yes) drop out
        QTest::newRow("ELF identification: Address and Validated count")
            << withTrailer(writeDataSet(t)) << int(O::Loaded) << QStringList() << QList<quint32>{1, 0, 4, 64, 0x4000};
        const QString nothing = "Non sono presenti variabili da loggare!!!";
        t = device();
        find(t, "Channels").rows = {find(t, "Channels").rows[2], find(t, "Channels").rows[3]};
        find(t, "TabDataLogger").rows[0][7] = "*100";
        QTest::newRow("every channel rejected") << withTrailer(writeDataSet(t)) << int(O::Loaded) << QStringList{nothing}
                                                << QList<quint32>{0, 0, 4, 64, 100};
        QTest::newRow("no scalings: warning, then one per channel")
            << withTrailer(writeDataSet(without(device(), "CalibrationScalings"))) << int(O::Loaded)
            << QStringList{"Tabella 'CalibrationScalings' mancante, il device potrebbe essere inadeguato!!!",
                           QString::fromUtf8("Var_ScalingID >SC_A< non trovato!!! Nome variabile: rpm\nVerrà impostata la scala 1:1"),
                           QString::fromUtf8("Var_ScalingID >SC_B< non trovato!!! Nome variabile: tmp_water\nVerrà impostata la scala 1:1")}
            << QList<quint32>{3, 0, 4, 64, 12};
        const QList<quint32> untouched{0, 1, 0, 0, 0};
        QByteArray flipped = withTrailer(writeDataSet(device()));
        flipped[200] = flipped[200] ^ 0x20;
        QTest::newRow("one byte changed") << flipped << int(O::BadChecksum) << QStringList{"Checksum non valida!!!"} << untouched;
        QByteArray cut = writeDataSet(device());
        cut.chop(8);
        QTest::newRow("cut before the root closes") << withTrailer(cut) << int(O::SyntaxError)
                                                    << QStringList{"Errore di sintassi nel file XML!!!"} << untouched;
    }
    void devicesLoadAsExpected()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, outcome);
        QFETCH(QStringList, messages);
        QFETCH(QList<quint32>, model);
        DeviceModel m;
        QStringList texts;
        const DeviceLoadResult r = load(m, file, &texts);
        QCOMPARE(texts, messages);
        QCOMPARE(int(r.outcome), outcome);
        QCOMPARE((QList<quint32>{quint32(m.channels.size()), m.noLoggerTable, m.canSettings.lineType,
                                 m.loggerTable.channelsCountOffline, m.loggerTable.startStop.address}), model);
        QCOMPARE(m.loggerTable.lineType, m.canSettings.lineType);
    }

    void toolReportsTheDataSetDevice()
    {
        const QString tool = qEnvironmentVariable("BRISCA_BIN_DIR") + QStringLiteral("/brisca-tool");
        if (!QFile::exists(tool))
            QSKIP("brisca-tool is not built");
        QProcess p;
        p.start(tool, {QStringLiteral("device"), put(withTrailer(writeDataSet(device(), {.primaryKey = true}))), "--json"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QCOMPARE(o["channelCount"].toInt() * 10 + o["scalings"].toArray().size(), 35);
        QCOMPARE(o["loggerTable"]["addresses"]["XA_StartStopAddress"]["address"].toString(), QStringLiteral("0x0000000C"));
        int rejected = 0; // the rejected rows are named by table and row
        for (const QJsonValue &v : o["notes"].toArray())
            rejected += v["kind"] == "rejected" && v["table"] == "Channels";
        QCOMPARE(rejected, 3);
        QStringList tables;
        for (const QJsonValue &v : o["tables"].toArray())
            tables << v["name"].toString() + ":" + QString::number(v["rows"].toInt());
        QCOMPARE(tables.join(' '), "CalibrationScalings:5 ELFData:1 Channels:6 TabDataLogger:1 CAN_Id:1 "
                                   "CommunicationLineSettings:1 CANLineSettings:1");
        // An Ethernet line: line type 4 in the logger table as in the CAN settings.
        QCOMPARE(o["loggerTable"]["lineType"].toInt(), 4);
        QCOMPARE(o["can"]["lineType"].toInt(), 4);
        QCOMPARE(o["tables"][5]["cells"]["Line"].toString(), QStringLiteral("ethernet"));
        const QJsonObject water = o["channels"][2].toObject();
        QCOMPARE(QJsonDocument(water).toJson(QJsonDocument::Compact),
                 QByteArray(R"({"address":"0x00000010","description":{"en":"","it":""},"factoryName":"tmp_water","index":2,)"
                            R"("label":{"en":"Water","it":"Acqua"},"loggedBytes":0,"logger":true,"minPeriodMs":5,"periodMs":640,)"
                            R"("scaling":{"g1":0.5,"g2":0,"id":"SC_B","o1":10,"o2":1,"unit":"°C"},"signed":false,)"
                            R"("tableAddress":16,"variableBytes":1})"));
    }
};

QTEST_GUILESS_MAIN(DataSetDevices)
#include "tst_datasetdevices.moc"
