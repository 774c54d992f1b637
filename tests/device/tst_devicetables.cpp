// The rules that turn table rows into channels, scalings, the logger table
// and the CAN settings, on boundary rows.
#include "devicefixture.h"
#include "devicetables.h"
#include "xmltable.h"

#include <QtTest>

class TestDeviceTables : public QObject
{
    Q_OBJECT

    struct Opened
    {
        XmlDocument doc;
        XmlTable table;
    };

    static std::unique_ptr<Opened> open(const QList<Fixture::Table> &tables, const QString &name)
    {
        auto o = std::make_unique<Opened>();
        if (!o->doc.setContent(Fixture::dataSet(tables)))
            return nullptr;
        o->table.setDocument(&o->doc);
        if (!o->table.open(name))
            return nullptr;
        return o;
    }

    // Reads one Channels row into a fresh model with the given ELF state.
    static void readOne(const QStringList &row, bool elf, DeviceModel &m, quint32 maxPeriod = 5)
    {
        auto o = open({{"Channels", Fixture::channelColumns(), {row}}}, "Channels");
        QVERIFY(o);
        m.loggerTable.elfCheckEnabled = elf;
        DeviceReadOptions opt;
        opt.maximumPeriodSampling = maxPeriod;
        DeviceTables::readChannels(o->table, m, opt);
        DeviceTables::applySizeAndPeriodRules(m, maxPeriod, elf);
    }

    // The logger table after the channels it may name.
    static bool readLogger(const QList<Fixture::Table> &tables, DeviceModel &m)
    {
        auto o = open(tables, "Channels");
        if (!o)
            return false;
        m.loggerTable.elfCheckEnabled = 1;
        DeviceTables::readChannels(o->table, m, DeviceReadOptions());
        DeviceTables::applySizeAndPeriodRules(m, 5, true);
        if (!o->table.open("TabDataLogger"))
            return false;
        return DeviceTables::readLoggerTable(o->table, m);
    }

private slots:
    void channelAcceptance_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("nbyte");
        QTest::addColumn<QString>("lnb");
        QTest::addColumn<QString>("validated");
        QTest::addColumn<bool>("elf");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("letter") << "nEngine" << "2" << "2" << "true" << true << true;
        QTest::newRow("underscore, brackets, dots, hyphen") << "_a.b[3]-x" << "2" << "2" << "true" << true << true;
        QTest::newRow("leading digit") << "1abc" << "2" << "2" << "true" << false << false;
        QTest::newRow("empty name") << "" << "2" << "2" << "true" << false << false;
        QTest::newRow("non-ASCII letter") << QString::fromUtf8("\xC3\xA0x") << "2" << "2" << "true" << false << false;
        QTest::newRow("both sizes 0") << "a" << "0" << "0" << "true" << false << false;
        QTest::newRow("only NByte") << "a" << "2" << QString() << "true" << false << true;
        QTest::newRow("only LoggerNBytes") << "a" << "0" << "1" << "true" << false << true;
        QTest::newRow("ELF, Validated True") << "a" << "2" << "2" << "True" << true << true;
        QTest::newRow("ELF, Validated TRUE") << "a" << "2" << "2" << "TRUE" << true << true;
        QTest::newRow("ELF, Validated yes") << "a" << "2" << "2" << "yes" << true << false;
        QTest::newRow("ELF, Validated missing") << "a" << "2" << "2" << QString() << true << false;
        QTest::newRow("no ELF, Validated false") << "a" << "2" << "2" << "false" << false << true;
    }
    void channelAcceptance()
    {
        QFETCH(QString, name);
        QFETCH(QString, nbyte);
        QFETCH(QString, lnb);
        QFETCH(QString, validated);
        QFETCH(bool, elf);
        QFETCH(bool, accepted);
        DeviceModel m;
        readOne(Fixture::channel(name, "7", "0x100", nbyte, lnb, "10", QString(), validated), elf, m);
        QCOMPARE(m.channels.size(), accepted ? 1 : 0);
    }

    void channelFields_data()
    {
        QTest::addColumn<bool>("elf");
        QTest::addColumn<QString>("per");
        QTest::addColumn<QString>("lnb");
        QTest::addColumn<quint32>("maxPeriod");
        QTest::addColumn<quint32>("address");
        QTest::addColumn<quint32>("periodMs");
        QTest::addColumn<quint32>("loggedBytes");
        QTest::addColumn<quint32>("minPeriodMs");
        // TabAdr 12, Address 0x4000, NByte 4
        QTest::newRow("no ELF: address is TabAdr") << false << "10" << "4" << 5u << 12u << 10u << 4u << 5u;
        QTest::newRow("ELF: Address column") << true << "10" << "4" << 5u << 0x4000u << 10u << 2u << 5u;
        QTest::newRow("ELF, 3 bytes logged as 2") << true << "10" << "3" << 5u << 0x4000u << 10u << 2u << 5u;
        QTest::newRow("ELF, 2 bytes kept") << true << "10" << "2" << 5u << 0x4000u << 10u << 2u << 5u;
        QTest::newRow("no LoggerNBytes: nothing logged") << false << "10" << QString() << 5u << 12u << 10u << 0u << 5u;
        QTest::newRow("period 0") << false << "0" << "1" << 5u << 12u << 640u << 1u << 5u;
        QTest::newRow("period empty") << false << "" << "1" << 5u << 12u << 640u << 1u << 5u;
        QTest::newRow("period missing") << false << QString() << "1" << 5u << 12u << 640u << 1u << 5u;
        QTest::newRow("period not a number") << false << "fast" << "1" << 5u << 12u << 640u << 1u << 5u;
        QTest::newRow("fastest period from the setting") << false << "5" << "1" << 20u << 12u << 5u << 1u << 20u;
    }
    void channelFields()
    {
        QFETCH(bool, elf);
        QFETCH(QString, per);
        QFETCH(QString, lnb);
        QFETCH(quint32, maxPeriod);
        QFETCH(quint32, address);
        QFETCH(quint32, periodMs);
        QFETCH(quint32, loggedBytes);
        QFETCH(quint32, minPeriodMs);
        DeviceModel m;
        readOne(Fixture::channel("v.x[1]", "12", "0x4000", "4", lnb, per), elf, m, maxPeriod);
        QCOMPARE(m.channels.size(), 1);
        const ChannelRecord &c = *m.channels.first();
        QCOMPARE(c.address, address);
        QCOMPARE(c.periodMs, periodMs);
        QCOMPARE(c.loggedBytes, loggedBytes);
        QCOMPARE(c.minPeriodMs, minPeriodMs);
        QCOMPARE(c.variableBytes, 4u);
        QCOMPARE(c.tableAddress, 12u);
        QCOMPARE(c.uniqueCode, QByteArray("v.x[1]_12"));
        QCOMPARE(c.typeCode, 1u);
        QVERIFY(c.loggerEnabled);
        QCOMPARE(c.g1, 2.0f);
        QCOMPARE(c.o1, 3.0f);
    }

    void labelsFollowTheLocale()
    {
        for (bool italian : {true, false}) {
            auto o = open({{"Channels", Fixture::channelColumns(), {Fixture::channel("a", "1", "1", "1", "1", "5")}}},
                          "Channels");
            QVERIFY(o);
            DeviceModel m;
            DeviceReadOptions opt;
            opt.italian = italian;
            DeviceTables::readChannels(o->table, m, opt);
            QCOMPARE(m.channels.first()->label, QByteArray(italian ? "Etichetta a" : "Label a"));
            QCOMPARE(m.channels.first()->description, QByteArray(italian ? "Descrizione" : "Description"));
        }
    }

    void scalingsSortedAndResolved()
    {
        auto o = open(Fixture::device(), "CalibrationScalings");
        QVERIFY(o);
        DeviceModel m;
        m.scalings.append({"stale", 9, 9, 9, 9});
        DeviceTables::readScalings(o->table, m);
        QCOMPARE(m.scalings.size(), 2);
        QCOMPARE(m.scalings[0].id, QByteArray("SC_RPM"));
        QCOMPARE(m.scalings[1].id, QByteArray("SC_TEMP"));
        QCOMPARE(m.scalings[1].o1, -48.0);

        const auto add = [&m](const char *name, const char *id, float g1) {
            auto ch = new ChannelRecord;
            ch->factoryName = name;
            ch->scalingId = id;
            ch->g1 = g1;
            m.channels.append(ch);
            return ch;
        };
        ChannelRecord *c = add("a", "SC_TEMP", 1);
        ChannelRecord *d = add("b", "sc_temp", 5); // lookups are case-sensitive
        ChannelRecord *e = add("c", nullptr, 7);   // no id: own coefficients stay
        const QStringList warnings = DeviceTables::resolveScalings(m);
        QCOMPARE(c->g1, 0.75f);
        QCOMPARE(c->o1, -48.0f);
        QCOMPARE(c->o2, 1.0f);
        QCOMPARE(d->g1, 1.0f);
        QCOMPARE(d->o2, 1.0f);
        QCOMPARE(e->g1, 7.0f);
        QCOMPARE(warnings, QStringList{QString::fromUtf8(
                               "Var_ScalingID >sc_temp< non trovato!!! Nome variabile: b\nVerrà impostata la scala 1:1")});
    }

    void scalingColumnMissingFromSchemaIsZero()
    {
        auto o = open({{"CalibrationScalings", {"ID", "G1", "O1", "O2"}, {{"S", "2", "1", "4"}}}},
                      "CalibrationScalings");
        QVERIFY(o);
        DeviceModel m;
        DeviceTables::readScalings(o->table, m);
        QCOMPARE(m.scalings.first().g2, 0.0);
        QCOMPARE(m.scalings.first().o2, 4.0);
    }

    void loggerAddresses_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<quint32>("address");
        QTest::addColumn<quint32>("size");
        QTest::addColumn<bool>("valid");
        QTest::newRow("asterisk decimal") << "*1024" << 1024u << 0u << true;
        QTest::newRow("asterisks anywhere") << "*10*24*" << 1024u << 0u << true;
        QTest::newRow("0X upper") << "0X1F" << 31u << 0u << true;
        QTest::newRow("0x lower") << "0x70110000" << 0x70110000u << 0u << true;
        QTest::newRow("0xx repeated") << "0xX1f" << 31u << 0u << true;
        QTest::newRow("channel name") << "tWater" << 0x70000002u << 1u << true;
        QTest::newRow("4-byte channel, ELF") << "tiInj[0]" << 0x70000004u << 2u << true;
        QTest::newRow("unknown channel") << "nothing" << 0xFFFFFFFFu << 0u << false;
        QTest::newRow("empty cell") << "" << 0xFFFFFFFFu << 0u << false;
        QTest::newRow("column left out") << QString() << 0xFFFFFFFFu << 0u << false;
    }
    void loggerAddresses()
    {
        QFETCH(QString, value);
        QFETCH(quint32, address);
        QFETCH(quint32, size);
        QFETCH(bool, valid);
        QList<Fixture::Table> tables = Fixture::device();
        Fixture::find(tables, "TabDataLogger")->rows[0][5] = value; // XA_DataBeginAddress
        DeviceModel m;
        QCOMPARE(readLogger(tables, m), valid);
        QCOMPARE(m.loggerTable.dataBegin.address, address);
        QCOMPARE(m.loggerTable.dataBegin.size, size);
        QCOMPARE(bool(m.loggerTable.valid), valid);
        QCOMPARE(m.loggerTable.loggerRun.address, 1880110092u);
        QCOMPARE(m.loggerTable.channelInfoMode, 0u);
        QCOMPARE(m.loggerTable.channelInfoAreaSize, 64u * 55u);
    }

    void loggerTableValidity_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("valid");
        QTest::newRow("AvailableBytes 0") << 0 << "0" << false;
        QTest::newRow("ChannelsCount_OffLine missing") << 1 << QString() << false;
        QTest::newRow("PageAlignment not a number") << 4 << "x" << false;
        QTest::newRow("speed channel unresolved") << 14 << "nope" << false;
        QTest::newRow("channel info size is not checked") << 15 << "nope" << true;
        QTest::newRow("unknown XA_ column ignored") << -1 << QString() << true;
    }
    void loggerTableValidity()
    {
        QFETCH(int, column);
        QFETCH(QString, value);
        QFETCH(bool, valid);
        QList<Fixture::Table> tables = Fixture::device();
        Fixture::Table *lt = Fixture::find(tables, "TabDataLogger");
        if (column >= 0) {
            lt->rows[0][column] = value;
        } else {
            lt->columns << "XA_SomethingElse";
            lt->rows[0] << "bogus";
        }
        DeviceModel m;
        QCOMPARE(readLogger(tables, m), valid);
    }

    void channelInfoSizeSelectsTheFixedLayout()
    {
        QList<Fixture::Table> tables = Fixture::device();
        Fixture::find(tables, "TabDataLogger")->rows[0][15] = "0x70103410";
        DeviceModel m;
        QVERIFY(readLogger(tables, m));
        const LoggerTable &lt = m.loggerTable;
        QCOMPARE(lt.channelInfoMode, 1u);
        QCOMPARE(lt.channelInfoAreaSize, 4096u);
        QCOMPARE(lt.channelsCountOffline, 64u);
        QCOMPARE(lt.maxDownloadBuffer, 8192u);
        QCOMPARE(lt.pageAlignment, 32u);
        QCOMPARE(lt.clearTimeout, 5000u);
        QCOMPARE(lt.availableBytes, 1048576u);
    }

    void canAndLineSettings_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<quint32>("lineType");
        QTest::newRow("ETHERNET") << "ETHERNET" << 4u;
        QTest::newRow("lower case") << "ethernet" << 4u;
        QTest::newRow("CAN") << "CAN" << 0u;
        QTest::newRow("anything else") << "Ethernet2" << 0u;
    }
    void canAndLineSettings()
    {
        QFETCH(QString, line);
        QFETCH(quint32, lineType);
        QList<Fixture::Table> tables = Fixture::device();
        Fixture::find(tables, "CommunicationLineSettings")->rows[0][0] = line;
        DeviceModel m;
        m.loggerTable.lineType = 99;
        auto o = open(tables, "CAN_Id");
        QVERIFY(o);
        DeviceTables::readCanIds(o->table, m);
        QVERIFY(o->table.open("CommunicationLineSettings"));
        DeviceTables::readLineSettings(o->table, m);
        QVERIFY(o->table.open("CANLineSettings"));
        DeviceTables::readCanLineSettings(o->table, m);
        QCOMPARE(m.canSettings.toEcuAppCanId, 0x6A0u);
        QCOMPARE(m.canSettings.toEcuKernelCanId, 0x6A8u);
        QCOMPARE(m.canSettings.appCanId, 1697u);
        QCOMPARE(m.canSettings.kernelCanId, 017u); // a leading 0 is octal
        QCOMPARE(m.canSettings.bitRate, 500000u);
        QCOMPARE(m.canSettings.lineType, lineType);
        QCOMPARE(m.loggerTable.lineType, lineType);
        QCOMPARE(m.canSettings.memorySpaceId(), 0x6A0u >> 3);
    }

    void numberConversions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("dec");
        QTest::addColumn<quint32>("automatic");
        QTest::newRow("plain") << "42" << 42u << 42u;
        QTest::newRow("hex") << "0x2A" << 0u << 42u;
        QTest::newRow("octal") << "052" << 52u << 42u;
        QTest::newRow("negative") << "-1" << 0u << 0u;
        QTest::newRow("too big") << "4294967296" << 0u << 0u;
        QTest::newRow("largest") << "4294967295" << 4294967295u << 4294967295u;
        QTest::newRow("text") << "abc" << 0u << 0u;
        QTest::newRow("empty") << "" << 0u << 0u;
    }
    void numberConversions()
    {
        QFETCH(QString, text);
        QFETCH(quint32, dec);
        QFETCH(quint32, automatic);
        QCOMPARE(DeviceTables::decimal(text), dec);
        QCOMPARE(DeviceTables::automatic(text), automatic);
    }
};

QTEST_GUILESS_MAIN(TestDeviceTables)
#include "tst_devicetables.moc"
