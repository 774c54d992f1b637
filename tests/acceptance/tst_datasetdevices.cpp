// Device files shaped the way a schema-embedding DataSet writer produces
// them, built here by a writer of this test's own (own checksum, own
// layout choices), loaded through DeviceLoader and checked with brisca-tool.

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
    static quint16 table[256];
    static bool built = false;
    if (!built) {
        for (int i = 0; i < 256; ++i) {
            quint32 v = quint32(i) << 8;
            for (int k = 0; k < 8; ++k)
                v = (v & 0x8000) ? ((v << 1) ^ 0x1021) : (v << 1);
            table[i] = quint16(v);
        }
        built = true;
    }
    quint16 crc = 0;
    for (unsigned char b : d)
        crc = quint16(table[crc >> 8] ^ ((crc & 0xFF) << 8) ^ b);
    return quint16((crc << 8) | (crc >> 8));
}

struct Column
{
    QByteArray name;
    QByteArray type = "string"; // without prefix
    int maxLength = 0;          // > 0: written as a restriction
};

struct Table
{
    QByteArray name;
    QList<Column> columns;
    QList<QList<QByteArray>> rows; // a null QByteArray is an omitted cell
};

struct Shape
{
    QByteArray dataSet = "NewDataSet";
    QByteArray prefix = "xs";
    QByteArray indentUnit = "  ";
    QByteArray eol = "\r\n";
    bool bom = true;
    QByteArray targetNamespace; // typed data set: default namespace on the data
    bool primaryKey = false;
    bool ordinals = false;
};

QByteArray esc(const QByteArray &s)
{
    QByteArray o;
    for (char c : s) {
        if (c == '&') o += "&amp;";
        else if (c == '<') o += "&lt;";
        else if (c == '>') o += "&gt;";
        else o += c;
    }
    return o;
}

QByteArray writeDataSet(const QList<Table> &tables, const Shape &s)
{
    QByteArray out;
    int depth = 0;
    auto line = [&](const QByteArray &text) {
        QByteArray ind;
        for (int i = 0; i < depth; ++i)
            ind += s.indentUnit;
        out += ind + text + (s.indentUnit.isEmpty() ? QByteArray() : s.eol);
    };
    const QByteArray p = s.prefix.isEmpty() ? QByteArray() : s.prefix + ":";
    if (s.bom)
        out += "\xEF\xBB\xBF";
    out += "<?xml version=\"1.0\" standalone=\"yes\"?>" + s.eol;
    line("<" + s.dataSet + (s.targetNamespace.isEmpty() ? QByteArray() : " xmlns=\"" + s.targetNamespace + "\"") + ">");
    ++depth;
    QByteArray schemaOpen = "<" + p + "schema id=\"" + s.dataSet + "\"";
    if (!s.targetNamespace.isEmpty())
        schemaOpen += " targetNamespace=\"" + s.targetNamespace + "\" xmlns:mstns=\"" + s.targetNamespace + "\" xmlns=\""
                      + s.targetNamespace + "\"";
    else if (!s.prefix.isEmpty())
        schemaOpen += " xmlns=\"\"";
    schemaOpen += (s.prefix.isEmpty() ? QByteArray(" xmlns") : " xmlns:" + s.prefix)
                  + "=\"http://www.w3.org/2001/XMLSchema\" xmlns:msdata=\"urn:schemas-microsoft-com:xml-msdata\"";
    if (!s.targetNamespace.isEmpty())
        schemaOpen += " attributeFormDefault=\"qualified\" elementFormDefault=\"qualified\"";
    line(schemaOpen + ">");
    ++depth;
    line("<" + p + "element name=\"" + s.dataSet + "\" msdata:IsDataSet=\"true\" msdata:UseCurrentLocale=\"true\">");
    ++depth;
    line("<" + p + "complexType>");
    ++depth;
    line("<" + p + "choice minOccurs=\"0\" maxOccurs=\"unbounded\">");
    ++depth;
    for (const Table &t : tables) {
        line("<" + p + "element name=\"" + t.name + "\">");
        ++depth;
        line("<" + p + "complexType>");
        ++depth;
        line("<" + p + "sequence>");
        ++depth;
        int ord = 0;
        for (const Column &c : t.columns) {
            const QByteArray o = s.ordinals ? " msdata:Ordinal=\"" + QByteArray::number(ord++) + "\"" : QByteArray();
            if (c.maxLength > 0) {
                line("<" + p + "element name=\"" + c.name + "\"" + o + " minOccurs=\"0\">");
                ++depth;
                line("<" + p + "simpleType>");
                ++depth;
                line("<" + p + "restriction base=\"" + p + c.type + "\">");
                ++depth;
                line("<" + p + "maxLength value=\"" + QByteArray::number(c.maxLength) + "\" />");
                --depth;
                line("</" + p + "restriction>");
                --depth;
                line("</" + p + "simpleType>");
                --depth;
                line("</" + p + "element>");
            } else {
                line("<" + p + "element name=\"" + c.name + "\"" + o + " type=\"" + p + c.type + "\" minOccurs=\"0\" />");
            }
        }
        --depth;
        line("</" + p + "sequence>");
        --depth;
        line("</" + p + "complexType>");
        --depth;
        line("</" + p + "element>");
    }
    --depth;
    line("</" + p + "choice>");
    --depth;
    line("</" + p + "complexType>");
    if (s.primaryKey) {
        const QByteArray ns = s.targetNamespace.isEmpty() ? QByteArray() : "mstns:";
        line("<" + p + "unique name=\"Constraint1\" msdata:PrimaryKey=\"true\">");
        ++depth;
        line("<" + p + "selector xpath=\".//" + ns + "Channels\" />");
        line("<" + p + "field xpath=\"" + ns + "FactoryName\" />");
        --depth;
        line("</" + p + "unique>");
    }
    --depth;
    line("</" + p + "element>");
    --depth;
    line("</" + p + "schema>");
    for (const Table &t : tables) {
        for (const QList<QByteArray> &r : t.rows) {
            line("<" + t.name + ">");
            ++depth;
            for (int i = 0; i < t.columns.size() && i < r.size(); ++i)
                if (!r[i].isNull())
                    line("<" + t.columns[i].name + ">" + esc(r[i]) + "</" + t.columns[i].name + ">");
            --depth;
            line("</" + t.name + ">");
        }
    }
    --depth;
    line("</" + s.dataSet + ">");
    return out;
}

// 12 uninterpreted bytes, four hex digits, 4 uninterpreted bytes.
QByteArray withTrailer(const QByteArray &body, bool lower = false)
{
    QByteArray digits = QByteArray::number(crcOfDevice(body), 16).rightJustified(4, '0');
    digits = lower ? digits.toLower() : digits.toUpper();
    const QByteArray t = "\r\n<!--CRC:  " + digits + " -->";
    Q_ASSERT(t.size() == 20);
    return body + t;
}

QList<Column> cols(std::initializer_list<const char *> names)
{
    QList<Column> c;
    for (const char *n : names)
        c.append(Column{n});
    return c;
}

const QByteArray N; // omitted cell

Table scalings()
{
    return {"CalibrationScalings", cols({"ID", "G1", "O1", "G2", "O2"}),
            {{"SC_B", "0.5", "10", "0", "1"}, {"sc_a", "1E-05", "-2.5E+3", "0", "1"}, {"SC_A", "2", "0", "0", "1"},
             {"SC_C", "3", N, N, N}, {"\xc3\xa9t\xc3\xa9", "1", "0", "0", "1"}}};
}

Table channels(bool typed)
{
    Table t{"Channels",
            cols({"FactoryName", "TabAdr", "Address", "VarNameL0", "VarNameL1", "DescL0", "DescL1", "Type", "LoggerMaxPer",
                  "Unit", "NByte", "Logger", "G1", "O1", "G2", "O2", "Channel_ScalingID", "LoggerNBytes", "Validated",
                  "Comment"}),
            {}};
    if (typed) {
        for (Column &c : t.columns) {
            if (c.name == "TabAdr" || c.name == "Type" || c.name == "NByte" || c.name == "LoggerNBytes"
                || c.name == "LoggerMaxPer")
                c.type = "int";
            else if (c.name == "G1" || c.name == "O1" || c.name == "G2" || c.name == "O2")
                c.type = "float";
            else if (c.name == "Logger" || c.name == "Validated")
                c.type = "boolean";
            else if (c.name == "FactoryName")
                c.maxLength = 64;
        }
    }
    //          Factory        TabAdr Address   L0        L1        D0       D1       Type LMaxPer Unit  NByte Logger G1     O1    G2   O2   Scal   LNB  Valid  Comment
    t.rows = {
        {"rpm",            "12", "0x4000", "Giri",   "Speed",  "giri",  "speed", "0", "10", "rpm", "2", "true", "1", "0", "0", "1", "SC_A", "2", "true", "a&b"},
        {"_map[3].x-y",    "13", "0x4004", "Mappa",  "Map",    N,       N,       "1", N,    N,     "4", "false", "1.5", "-2", "0", "1", N,   "4", "false", N},
        {"9bad",           "14", "0x4008", N,        N,        N,       N,       "0", "20", N,     "2", "true", "1", "0", "0", "1", N,      "2", "true", N},
        {"zeroes",         "15", "0x400C", N,        N,        N,       N,       "0", "20", N,     "0", "true", "1", "0", "0", "1", N,      N,   "true", N},
        {"tmp_water",      "16", "0x4010", "Acqua",  "Water",  N,       N,       "0", "0",  "\xc2\xb0" "C",   "1", "TRUE", "1", "0", "0", "1", "SC_B", N,   "yes", N},
        {N,                "17", "0x4014", N,        N,        N,       N,       "0", "20", N,     "2", "true", "1", "0", "0", "1", N,      "2", "true", N},
    };
    return t;
}

Table loggerTable(const QByteArray &startStop = "rpm")
{
    return {"TabDataLogger",
            cols({"AvailableBytes", "ChannelsCount_OffLine", "ClearTimeOutSec", "MaxDownloadBuffer", "PageAlignment",
                  "XA_DataBeginAddress", "XA_DataEndAddress", "XA_StartStopAddress", "XA_SetupBeginAddress",
                  "XA_HeaderBeginAddress", "XA_StopLoggerReqAddress", "XA_ClearLoggerDataReqAddress",
                  "XA_LoggerRunAddress", "XA_ChannelInfoBeginAddress", "XA_SpeedChannelAddress",
                  "XA_ChannelInfoSizeAddress", "XA_Spare"}),
            {{"65536", "32", "10", "1024", "16", "*1024", "0X1F", startStop, "0x40001000", "0x40002000", "0x40000010",
              "0x40000014", "0x40000018", "0x40003000", "*20*48", N, "0xDEAD"}}};
}

QList<Table> device(bool typed = false)
{
    return {scalings(),
            {"ELFData", cols({"ELFName", "ELFIDStringAddress", "ELFIDStringSize", "ELFIDStringValue", "ELFIDStringName"}),
             {{N, "4096", "16", "ECU 1.0", "idString"}}},
            channels(typed),
            loggerTable(),
            {"CAN_Id", cols({"ToEcu_App_CAN_Id", "ToEcu_Kernel_CAN_Id", "App_CAN_Id", "Kernel_CAN_Id"}),
             {{"0x7E0", "0X7e1", "2024", "010"}}},
            {"CommunicationLineSettings", cols({"Line"}), {{"ethernet"}}},
            {"CANLineSettings", cols({"BitRate"}), {{"500000"}}},
            {"Revision", cols({"Author", "Date"}), {{"someone", "2024-01-01"}}}};
}

QList<Table> without(QList<Table> ts, const QByteArray &name)
{
    ts.removeIf([&](const Table &t) { return t.name == name; });
    return ts;
}

QStringList texts(const DeviceLoadResult &r)
{
    QStringList l;
    for (const DeviceMessage &m : r.messages)
        l << m.text;
    return l;
}

} // namespace

class DataSetDevices : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    int n = 0;

    QString put(const QByteArray &content)
    {
        const QString p = dir.filePath(QStringLiteral("dev%1.xml").arg(++n));
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(p));
        return p;
    }

    DeviceLoadResult load(DeviceModel &m, const QByteArray &content)
    {
        m.devicePath = put(content);
        DeviceLoadOptions o;
        o.programFolder = dir.path(); // no crypto library here
        return DeviceLoader::load(m, o);
    }

private slots:
    void writerShapesLoadTheSameModel_data()
    {
        QTest::addColumn<QByteArray>("file");
        Shape s;
        QTest::newRow("indented CRLF with BOM") << withTrailer(writeDataSet(device(), s));
        s.primaryKey = true;
        s.ordinals = true;
        QTest::newRow("primary key and ordinals") << withTrailer(writeDataSet(device(), s));
        Shape t;
        t.dataSet = "DeviceDS";
        t.prefix = "xsd";
        t.indentUnit = "";
        t.eol = "\n";
        t.bom = false;
        QTest::newRow("xsd prefix, one line, no BOM") << withTrailer(writeDataSet(device(), t), true);
        Shape u;
        u.dataSet = "DeviceData";
        u.targetNamespace = "http://tempuri.org/DeviceData.xsd";
        u.primaryKey = true;
        QTest::newRow("typed data set in its own namespace") << withTrailer(writeDataSet(device(true), u));
        Shape v;
        v.indentUnit = "\t";
        v.eol = "\n";
        QTest::newRow("typed columns, tabs") << withTrailer(writeDataSet(device(true), v));
        Shape w;
        w.prefix = "";
        w.primaryKey = true;
        QTest::newRow("schema in the default namespace") << withTrailer(writeDataSet(device(true), w));
    }

    void writerShapesLoadTheSameModel()
    {
        QFETCH(QByteArray, file);
        DeviceModel m;
        const DeviceLoadResult r = load(m, file);
        QCOMPARE(texts(r), QStringList());
        QCOMPARE(int(r.outcome), int(DeviceLoadOutcome::Loaded));

        // Byte order of the Latin-1 ids: upper case, then lower case, then é.
        QCOMPARE(m.scalings.size(), 5);
        QCOMPARE(m.scalings[0].id, QByteArray("SC_A"));
        QCOMPARE(m.scalings[1].id, QByteArray("SC_B"));
        QCOMPARE(m.scalings[2].id, QByteArray("SC_C"));
        QCOMPARE(m.scalings[3].id, QByteArray("sc_a"));
        QCOMPARE(m.scalings[4].id, QByteArray("\xe9t\xe9"));
        QCOMPARE(m.scalings[3].g1, 1e-5);
        QCOMPARE(m.scalings[3].o1, -2500.0);
        QCOMPARE(m.scalings[1].o1, 10.0);
        QCOMPARE(m.scalings[2].g1, 3.0);
        QCOMPARE(m.scalings[2].o2, 0.0);

        // ELFName omitted: no ELF check, Address ignored, Validated ignored.
        QCOMPARE(int(m.loggerTable.elfCheckEnabled), 0);
        QCOMPARE(m.channels.size(), 3);
        const ChannelRecord &rpm = *m.channels[0];
        QCOMPARE(rpm.factoryName, QByteArray("rpm"));
        QCOMPARE(rpm.address, 12u);
        QCOMPARE(rpm.uniqueCode, QByteArray("rpm_12"));
        QCOMPARE(rpm.label, QByteArray("Speed"));
        QCOMPARE(rpm.description, QByteArray("speed"));
        QCOMPARE(rpm.periodMs, 10u);
        QCOMPARE(rpm.minPeriodMs, 5u);
        QCOMPARE(rpm.loggedBytes, 2u);
        QCOMPARE(rpm.g1, 2.0f);
        QVERIFY(rpm.loggerEnabled);
        const ChannelRecord &map = *m.channels[1];
        QCOMPARE(map.factoryName, QByteArray("_map[3].x-y"));
        QCOMPARE(map.periodMs, 640u);
        QCOMPARE(map.loggedBytes, 4u);
        QCOMPARE(map.typeCode, 1u);
        QCOMPARE(map.g1, 1.5f);
        QCOMPARE(map.o1, -2.0f);
        QCOMPARE(map.o2, 1.0f);
        QVERIFY(map.description.isEmpty());
        const ChannelRecord &water = *m.channels[2];
        QCOMPARE(water.factoryName, QByteArray("tmp_water"));
        QCOMPARE(water.periodMs, 640u);
        QCOMPARE(water.variableBytes, 1u);
        QCOMPARE(water.loggedBytes, 0u);
        QCOMPARE(water.unit, QByteArray("\xb0" "C")); // UTF-8 in the file, Latin-1 in the record
        QCOMPARE(water.g1, 0.5f);
        QCOMPARE(water.o1, 10.0f);
        QVERIFY(water.loggerEnabled);

        const LoggerTable &lt = m.loggerTable;
        QCOMPARE(int(lt.valid), 1);
        QCOMPARE(lt.availableBytes, 65536u);
        QCOMPARE(lt.dataBegin.address, 1024u);
        QCOMPARE(lt.dataEnd.address, 31u);
        QCOMPARE(lt.startStop.address, 12u);
        QCOMPARE(lt.startStop.size, 2u);
        QCOMPARE(lt.setupBegin.address, 0x40001000u);
        QCOMPARE(lt.loggerRun.address, 0x40000018u);
        QCOMPARE(lt.speedChannel.address, 2048u);
        // The column is declared, so its omitted cell reads as an empty
        // channel name: no such channel, hence the channel-info-size mode.
        QCOMPARE(lt.channelInfoSize.address, 0xFFFFFFFFu);
        QCOMPARE(lt.channelInfoMode, 1u);
        QCOMPARE(lt.channelInfoAreaSize, 4096u);
        QCOMPARE(lt.channelsCountOffline, 64u);
        QCOMPARE(lt.maxDownloadBuffer, 8192u);
        QCOMPARE(lt.lineType, 4u);
        QVERIFY(!m.noLoggerTable);

        QCOMPARE(m.canSettings.toEcuAppCanId, 0x7E0u);
        QCOMPARE(m.canSettings.toEcuKernelCanId, 0x7E1u);
        QCOMPARE(m.canSettings.appCanId, 2024u);
        QCOMPARE(m.canSettings.kernelCanId, 8u);
        QCOMPARE(m.canSettings.bitRate, 500000u);
        QCOMPARE(m.canSettings.lineType, 4u);
        QCOMPARE(m.elf.idStringAddress, 4096u);
        QVERIFY(m.elf.elfName.isEmpty());
        QCOMPARE(m.currentDevicePath, m.devicePath);
    }

    void undeclaredChannelInfoSizeKeepsTheRowValues()
    {
        QList<Table> ts = device();
        Table &lt = ts[3];
        const int col = 15;
        QCOMPARE(lt.columns[col].name, QByteArray("XA_ChannelInfoSizeAddress"));
        lt.columns.removeAt(col);
        lt.rows[0].removeAt(col);
        DeviceModel m;
        const DeviceLoadResult r = load(m, withTrailer(writeDataSet(ts, Shape())));
        QCOMPARE(texts(r), QStringList());
        QCOMPARE(m.loggerTable.channelInfoMode, 0u);
        QCOMPARE(m.loggerTable.channelsCountOffline, 32u);
        QCOMPARE(m.loggerTable.channelInfoAreaSize, 32u * 55u);
        QCOMPARE(m.loggerTable.maxDownloadBuffer, 1024u);
        QCOMPARE(m.loggerTable.clearTimeout, 10u);
    }

    // Tables a DataSet declares but writes no row for, or leaves out.
    void sparseDevicesLoadWithDefaults_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("noLoggerTable");
        QTest::addColumn<int>("channels");
        QTest::addColumn<quint32>("lineType");
        QTest::addColumn<quint32>("bitRate");
        QTest::addColumn<QStringList>("messages");
        const Shape s;
        QList<Table> noLoggerRow = device();
        noLoggerRow[3].rows.clear();
        QTest::newRow("logger table declared without a row")
            << withTrailer(writeDataSet(noLoggerRow, s)) << true << 3 << 4u << 500000u << QStringList();
        QTest::newRow("no line, CAN or ELF tables")
            << withTrailer(writeDataSet(without(without(without(without(device(), "CommunicationLineSettings"), "CAN_Id"),
                                                        "CANLineSettings"), "ELFData"), s))
            << false << 3 << 0u << 0u << QStringList();
        QList<Table> noRows = device();
        noRows[2].rows.clear();
        noRows[3].rows[0][7] = "*100";
        QTest::newRow("channels declared without a row")
            << withTrailer(writeDataSet(noRows, s)) << false << 0 << 4u << 500000u
            << QStringList{"Non sono presenti variabili da loggare!!!"};
    }

    void sparseDevicesLoadWithDefaults()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, noLoggerTable);
        QFETCH(int, channels);
        QFETCH(quint32, lineType);
        QFETCH(quint32, bitRate);
        QFETCH(QStringList, messages);
        DeviceModel m;
        const DeviceLoadResult r = load(m, file);
        QCOMPARE(texts(r), messages);
        QCOMPARE(int(r.outcome), int(DeviceLoadOutcome::Loaded));
        QCOMPARE(m.noLoggerTable, noLoggerTable);
        QCOMPARE(r.rebuildLoggerProtocol, !noLoggerTable);
        QCOMPARE(m.channels.size(), channels);
        QCOMPARE(m.canSettings.lineType, lineType);
        QCOMPARE(m.canSettings.bitRate, bitRate);
    }

    void elfCheckUsesAddressAndValidated()
    {
        QList<Table> ts = device();
        ts[1].rows[0][0] = "ecu.elf";
        DeviceModel m;
        const DeviceLoadResult r = load(m, withTrailer(writeDataSet(ts, Shape())));
        QCOMPARE(texts(r), QStringList());
        QCOMPARE(int(m.loggerTable.elfCheckEnabled), 1);
        // _map (Validated false) and tmp_water ("yes") drop out; rpm stays.
        QCOMPARE(m.channels.size(), 1);
        QCOMPARE(m.channels[0]->address, 0x4000u);
        QCOMPARE(m.loggerTable.startStop.address, 0x4000u);
    }

    void badFilesGiveTheirMessagesInOrder_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("messages");
        const Shape s;
        const QByteArray good = withTrailer(writeDataSet(device(), s));
        QByteArray flipped = good;
        flipped[200] = flipped[200] ^ 0x20;
        QTest::newRow("one byte changed") << flipped << int(DeviceLoadOutcome::BadChecksum)
                                          << QStringList{"Checksum non valida!!!"};
        QByteArray broken = writeDataSet(device(), s);
        broken.chop(8);
        QTest::newRow("cut before the root closes")
            << withTrailer(broken) << int(DeviceLoadOutcome::SyntaxError) << QStringList{"Errore di sintassi nel file XML!!!"};
        QTest::newRow("no logger table in the schema")
            << withTrailer(writeDataSet(without(device(), "TabDataLogger"), s)) << int(DeviceLoadOutcome::NoLoggerTableSchema)
            << QStringList{"Tabella 'TabDataLogger' mancante, device inadeguato!!!"};
        QTest::newRow("no channels table")
            << withTrailer(writeDataSet(without(device(), "Channels"), s)) << int(DeviceLoadOutcome::NoChannelsTable)
            << QStringList{"Tabella 'Channels' mancante, device inadeguato!!!"};
        QList<Table> badStart = device();
        badStart[3] = loggerTable("9bad");
        QTest::newRow("logger address names a rejected channel")
            << withTrailer(writeDataSet(badStart, s)) << int(DeviceLoadOutcome::InvalidLoggerTable)
            << QStringList{"Tabella 'TabDataLogger' incompleta e/o valori presenti non validi!!!"};
        QTest::newRow("no scalings: warning, then one per channel")
            << withTrailer(writeDataSet(without(device(), "CalibrationScalings"), s)) << int(DeviceLoadOutcome::Loaded)
            << QStringList{"Tabella 'CalibrationScalings' mancante, il device potrebbe essere inadeguato!!!",
                           QString::fromUtf8("Var_ScalingID >SC_A< non trovato!!! Nome variabile: rpm\nVerrà impostata la scala 1:1"),
                           QString::fromUtf8("Var_ScalingID >SC_B< non trovato!!! Nome variabile: tmp_water\nVerrà impostata la scala 1:1")};
        QList<Table> noneLoggable = device();
        noneLoggable[2].rows = {noneLoggable[2].rows[2], noneLoggable[2].rows[3]};
        noneLoggable[3].rows[0][7] = "*100";
        QTest::newRow("every channel rejected")
            << withTrailer(writeDataSet(noneLoggable, s)) << int(DeviceLoadOutcome::Loaded)
            << QStringList{"Non sono presenti variabili da loggare!!!"};
        QTest::newRow("encrypted without the library")
            << QByteArray("ENCRYPTED by ORVLibCrypt.dll\r\n\x01\x02\x03") << int(DeviceLoadOutcome::CryptoUnavailable)
            << QStringList{"Libreria ORVLibCrypt.dll : versione errata o libreria mancante!"};
    }

    void badFilesGiveTheirMessagesInOrder()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, outcome);
        QFETCH(QStringList, messages);
        DeviceModel m;
        const DeviceLoadResult r = load(m, file);
        QCOMPARE(texts(r), messages);
        QCOMPARE(int(r.outcome), outcome);
    }

    void toolReportsTheDataSetDevice_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("startStop");
        Shape s;
        s.primaryKey = true;
        QTest::newRow("loads") << withTrailer(writeDataSet(device(), s)) << 0 << 3 << "0x0000000C";
        QList<Table> badStart = device();
        badStart[3] = loggerTable("9bad");
        QTest::newRow("refused logger table") << withTrailer(writeDataSet(badStart, s)) << 1 << 3 << "0xFFFFFFFF";
    }

    void toolReportsTheDataSetDevice()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, exitCode);
        QFETCH(int, channels);
        QFETCH(QString, startStop);
        const QString tool = qEnvironmentVariable("BRISCA_BIN_DIR") + QStringLiteral("/brisca-tool");
        if (!QFile::exists(tool))
            QSKIP("brisca-tool is not built");
        QProcess p;
        p.start(tool, {QStringLiteral("device"), put(file), QStringLiteral("--json")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), exitCode);
        const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QCOMPARE(o.value(QStringLiteral("channelCount")).toInt(), channels);
        QCOMPARE(o.value(QStringLiteral("scalings")).toArray().size(), 5);
        const QJsonObject lt = o.value(QStringLiteral("loggerTable")).toObject();
        const QJsonObject addrs = lt.value(QStringLiteral("addresses")).toObject();
        QCOMPARE(addrs.value(QStringLiteral("XA_StartStopAddress")).toObject().value(QStringLiteral("address")).toString(),
                 startStop);
        QCOMPARE(addrs.value(QStringLiteral("XA_DataEndAddress")).toObject().value(QStringLiteral("address")).toString(),
                 QStringLiteral("0x0000001F"));
        if (exitCode == 0)
            QCOMPARE(o.value(QStringLiteral("can")).toObject().value(QStringLiteral("BitRate")).toInt(), 500000);
        // The rejected rows are named by table and row.
        int rejected = 0;
        for (const QJsonValue &v : o.value(QStringLiteral("notes")).toArray())
            if (v.toObject().value(QStringLiteral("kind")).toString() == QLatin1String("rejected")
                && v.toObject().value(QStringLiteral("table")).toString() == QLatin1String("Channels"))
                ++rejected;
        QCOMPARE(rejected, 3);
    }
};

QTEST_GUILESS_MAIN(DataSetDevices)
#include "tst_datasetdevices.moc"
