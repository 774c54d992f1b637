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
        const bool ok = o->doc.setContent(Fixture::dataSet(tables));
        o->table.setDocument(&o->doc);
        return ok && o->table.open(name) ? std::move(o) : nullptr;
    }

private slots:
    void channelRows_data()
    {
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<bool>("elf");
        QTest::addColumn<quint32>("maxPeriod");
        QTest::addColumn<QList<quint32>>("expected"); // address, period, logged bytes, fastest period; empty: rejected
        const auto ch = [](const QString &name, const QString &nb, const QString &lnb, const QString &per,
                           const QString &valid = "true") { return Fixture::channel(name, "12", "0x4000", nb, lnb, per, {}, valid); };
        const QList<quint32> rejected;
        QTest::newRow("no ELF: address is TabAdr") << ch("v.x[1]", "4", "4", "10") << false << 5u << QList<quint32>{12, 10, 4, 5};
        QTest::newRow("ELF: Address column, 4 bytes logged as 2") << ch("a", "4", "4", "10") << true << 5u << QList<quint32>{0x4000, 10, 2, 5};
        QTest::newRow("ELF, 3 bytes logged as 2") << ch("a", "4", "3", "10") << true << 5u << QList<quint32>{0x4000, 10, 2, 5};
        QTest::newRow("period not a number") << ch("a", "2", "1", "fast") << false << 5u << QList<quint32>{12, 640, 1, 5};
        QTest::newRow("fastest period from the setting") << ch("a", "2", "1", "5") << false << 20u << QList<quint32>{12, 5, 1, 20};
        QTest::newRow("ELF, Validated TRUE") << ch("a", "2", "2", "5", "TRUE") << true << 5u << QList<quint32>{0x4000, 5, 2, 5};
        QTest::newRow("empty name") << ch("", "2", "2", "5") << false << 5u << rejected;
        QTest::newRow("non-ASCII letter") << ch(QString::fromUtf8("\xC3\xA0x"), "2", "2", "5") << false << 5u << rejected;
        QTest::newRow("ELF, Validated missing") << ch("a", "2", "2", "5", {}) << true << 5u << rejected;
    }
    void channelRows()
    {
        QFETCH(QStringList, row);
        QFETCH(bool, elf);
        QFETCH(quint32, maxPeriod);
        QFETCH(QList<quint32>, expected);
        auto o = open({{"Channels", Fixture::channelColumns(), {row}}}, "Channels");
        DeviceModel m;
        m.loggerTable.elfCheckEnabled = elf;
        DeviceReadOptions opt;
        opt.maximumPeriodSampling = maxPeriod;
        DeviceTables::readChannels(o->table, m, opt);
        DeviceTables::applySizeAndPeriodRules(m, maxPeriod, elf);
        QCOMPARE(m.channels.size(), expected.isEmpty() ? 0 : 1);
        if (expected.isEmpty())
            return;
        const ChannelRecord &c = *m.channels.first();
        QCOMPARE((QList<quint32>{c.address, c.periodMs, c.loggedBytes, c.minPeriodMs}), expected);
        QCOMPARE(c.uniqueCode, row[0].toLatin1() + "_12");
    }

    void loggerTable_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<quint32>("address"); // of XA_DataBeginAddress
        QTest::addColumn<quint32>("size");
        const quint32 begin = 0x70110000;
        QTest::newRow("0xx repeated") << 5 << "0xX1f" << true << 31u << 0u;
        QTest::newRow("4-byte channel, ELF") << 5 << "tiInj[0]" << true << 0x70000004u << 2u;
        QTest::newRow("empty cell") << 5 << "" << false << 0xFFFFFFFFu << 0u;
        QTest::newRow("AvailableBytes 0") << 0 << "0" << false << begin << 0u;
        QTest::newRow("PageAlignment not a number") << 4 << "x" << false << begin << 0u;
        QTest::newRow("speed channel unresolved") << 14 << "nope" << false << begin << 0u;
        QTest::newRow("channel info size is not checked") << 15 << "nope" << true << begin << 0u;
        QTest::newRow("channel info size gives the fixed layout") << 15 << "0x70103410" << true << begin << 0u;
    }
    void loggerTable()
    {
        QFETCH(int, column);
        QFETCH(QString, value);
        QFETCH(bool, valid);
        QFETCH(quint32, address);
        QFETCH(quint32, size);
        QList<Fixture::Table> tables = Fixture::device();
        Fixture::Table *lt = Fixture::find(tables, "TabDataLogger");
        lt->rows[0][column] = value;
        DeviceModel m; // channels first: the logger table may name them
        m.loggerTable.elfCheckEnabled = 1;
        auto o = open(tables, "Channels");
        DeviceTables::readChannels(o->table, m, DeviceReadOptions());
        DeviceTables::applySizeAndPeriodRules(m, 5, true);
        QVERIFY(o->table.open("TabDataLogger"));
        QCOMPARE(DeviceTables::readLoggerTable(o->table, m), valid);
        const LoggerTable &t = m.loggerTable;
        QCOMPARE(bool(t.valid), valid);
        QCOMPARE(t.dataBegin.address, address);
        QCOMPARE(t.dataBegin.size, size);
        QCOMPARE(t.loggerRun.address, 1880110092u);
        const bool fixed = column == 15; // any non-zero address, 0xFFFFFFFF included
        QCOMPARE((QList<quint32>{t.channelInfoMode, t.channelInfoAreaSize, t.channelsCountOffline, t.maxDownloadBuffer,
                                 t.pageAlignment, t.clearTimeout}),
                 (fixed ? QList<quint32>{1, 4096, 64, 8192, 32, 5000} : QList<quint32>{0, 64 * 55, 64, 8192, value == "x" ? 0u : 32u, 10}));
    }

    // An Ethernet line sets line type 4 in the CAN settings and the logger table.
    void lineSettings_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<quint32>("lineType");
        QTest::newRow("ETHERNET") << "ETHERNET" << 4u;
        QTest::newRow("mixed case") << "EtherNet" << 4u;
        QTest::newRow("CAN") << "CAN" << 0u;
        QTest::newRow("anything else") << "Ethernet2" << 0u;
    }
    void lineSettings()
    {
        QFETCH(QString, line);
        QFETCH(quint32, lineType);
        QList<Fixture::Table> tables = Fixture::device();
        Fixture::find(tables, "CommunicationLineSettings")->rows[0][0] = line;
        DeviceModel m;
        m.loggerTable.lineType = 99;
        auto o = open(tables, "CAN_Id");
        DeviceTables::readCanIds(o->table, m);
        o->table.open("CommunicationLineSettings");
        DeviceTables::readLineSettings(o->table, m);
        o->table.open("CANLineSettings");
        DeviceTables::readCanLineSettings(o->table, m);
        const CanSettings &c = m.canSettings;
        // A leading 0 is octal.
        QCOMPARE((QList<quint32>{c.toEcuAppCanId, c.toEcuKernelCanId, c.appCanId, c.kernelCanId, c.bitRate}),
                 (QList<quint32>{0x6A0, 0x6A8, 1697, 017, 500000}));
        QCOMPARE(c.lineType, lineType);
        QCOMPARE(m.loggerTable.lineType, lineType);
    }
};

QTEST_GUILESS_MAIN(TestDeviceTables)
#include "tst_devicetables.moc"
