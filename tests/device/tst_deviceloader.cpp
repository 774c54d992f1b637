// Device loading end to end: every refusal with its message and the state
// the model is left in, and encrypted devices with the library present,
// absent and the file damaged.
#include "cryptolibrary.h"
#include "devicefixture.h"
#include "deviceloader.h"
#include "testfiles.h"

#include <QtTest>

namespace {
const char *const msgLibrary = "Libreria ORVLibCrypt.dll : versione errata o libreria mancante!";
const char *const msgChecksum = "Checksum non valida!!!";
const char *const msgSyntax = "Errore di sintassi nel file XML!!!";
const char *const msgNoLogger = "Tabella 'TabDataLogger' mancante, device inadeguato!!!";
const char *const msgNoScalings = "Tabella 'CalibrationScalings' mancante, il device potrebbe essere inadeguato!!!";
const char *const msgNoChannels = "Tabella 'Channels' mancante, device inadeguato!!!";
const char *const msgBadLogger = "Tabella 'TabDataLogger' incompleta e/o valori presenti non validi!!!";
const char *const msgNothing = "Non sono presenti variabili da loggare!!!";

// Builds a case's file from the fixture device's tables.
using MakeFile = std::function<QByteArray(QList<Fixture::Table>)>;

QByteArray stampedFile(const QList<Fixture::Table> &t) { return Fixture::stamped(Fixture::dataSet(t)); }

MakeFile without(const QStringList &names)
{
    return [names](QList<Fixture::Table> t) {
        for (const QString &n : names)
            Fixture::remove(t, n);
        return stampedFile(t);
    };
}

// Sets cells, given as table, row, column, value.
MakeFile withCells(const QList<std::tuple<QString, int, int, QString>> &cells)
{
    return [cells](QList<Fixture::Table> t) {
        for (const auto &[table, row, column, value] : cells)
            Fixture::find(t, table)->rows[row][column] = value;
        return stampedFile(t);
    };
}

// Changes one byte (negative: from the end): a trailer digit to another
// digit, a body byte by one bit.
MakeFile flipped(int index)
{
    return [index](QList<Fixture::Table> t) {
        QByteArray f = stampedFile(t);
        char &c = f[index < 0 ? f.size() + index : index];
        c = index < 0 ? (c == '0' ? '1' : '0') : char(c ^ 0x01);
        return f;
    };
}
} // namespace

Q_DECLARE_METATYPE(DeviceLoadOutcome)
Q_DECLARE_METATYPE(MakeFile)

class TestDeviceLoader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_binDir;

    QString write(const QString &name, const QByteArray &data)
    {
        return TestFiles::writeAll(m_dir.filePath(name), data) ? m_dir.filePath(name) : QString();
    }

    DeviceLoadOptions options(bool withLibrary = false) const
    {
        DeviceLoadOptions o;
        o.programFolder = withLibrary ? m_binDir : m_dir.filePath("nolib");
        return o;
    }

    static QStringList texts(const DeviceLoadResult &r)
    {
        QStringList l;
        for (const DeviceMessage &m : r.messages)
            l << m.text;
        return l;
    }

    // A model holding a previous device, with a selection and a trigger.
    void loadPrevious(DeviceModel &m)
    {
        QList<Fixture::Table> t = Fixture::device();
        Fixture::find(t, "CalibrationScalings")->rows.append({"SC_OLD", "1", "0", "0", "1"});
        m.devicePath = write("previous.xml", Fixture::stamped(Fixture::dataSet(t)));
        const DeviceLoadResult r = DeviceLoader::load(m, options());
        QVERIFY(r.loaded());
        m.selected.append(m.channels.first());
        m.trigger.type = 3;
        m.trigger.channel = m.channels.first();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_binDir = qEnvironmentVariable("BRISCA_BIN_DIR");
    }

    void completeLoadFillsTheModel()
    {
        DeviceModel m;
        m.devicePath = write("good.xml", Fixture::stamped(Fixture::dataSet(Fixture::device())));
        const DeviceLoadResult r = DeviceLoader::load(m, options());
        QCOMPARE(r.outcome, DeviceLoadOutcome::Loaded);
        QVERIFY(r.messages.isEmpty());
        QVERIFY(r.complete && r.refillAvailableList && r.rebuildLoggerProtocol && !r.disableSelectionControls);
        QVERIFY(r.availableElfCheck);
        QVERIFY(!r.availableNoLoggerTable);
        QCOMPARE(m.currentDevicePath, m.devicePath);
        QCOMPARE(m.channels.size(), 3);
        QCOMPARE(m.channels[0]->g1, 0.25f); // from SC_RPM
        QCOMPARE(m.channels[1]->g1, 2.0f);  // own cells
        QVERIFY(m.loggerTable.valid && m.loggerTable.elfCheckEnabled);
        QVERIFY(!m.noLoggerTable);
        QCOMPARE(m.elf.idStringValue, QByteArray("ID-1.0"));
        QCOMPARE(m.canSettings.bitRate, 500000u);
        QCOMPARE(m.scalings.size(), 2);
    }

    void refusals_data()
    {
        QTest::addColumn<MakeFile>("make"); // none: the file does not exist
        QTest::addColumn<DeviceLoadOutcome>("outcome");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("previousKept");   // channels, logger table, selection as before
        QTest::addColumn<bool>("controlsDisabled");
        using O = DeviceLoadOutcome;
        const auto fixed = [](const QByteArray &bytes) { return MakeFile([bytes](auto) { return bytes; }); };

        QTest::newRow("file cannot be opened") << MakeFile() << O::NotOpened << QStringList() << true << false;
        QTest::newRow("encrypted, library missing")
            << MakeFile([](auto t) { return QByteArray(CryptoLibrary::Marker) + "\r\n" + stampedFile(t); })
            << O::CryptoUnavailable << QStringList{msgLibrary} << true << false;
        QTest::newRow("byte changed before the trailer") << flipped(100) << O::BadChecksum << QStringList{msgChecksum}
                                                         << true << false;
        QTest::newRow("trailer digits wrong") << flipped(-8) << O::BadChecksum << QStringList{msgChecksum} << true
                                              << false;
        QTest::newRow("shorter than its trailer") << fixed(QByteArray("<a/>\r\n<!--0000 -->", 19)) << O::BadChecksum
                                                  << QStringList{msgChecksum} << true << false;
        QTest::newRow("empty file") << fixed(QByteArray()) << O::BadChecksum << QStringList{msgChecksum} << true
                                    << false;
        QTest::newRow("20 bytes check to 0, then no XML") << fixed("0123456789ab0000wxyz") << O::SyntaxError
                                                          << QStringList{msgSyntax} << true << false;
        QTest::newRow("XML does not parse")
            << MakeFile([](auto t) { return Fixture::stamped(Fixture::dataSet(t).replace("</Channels>", "</Channel>")); })
            << O::SyntaxError << QStringList{msgSyntax} << true << false;
        QTest::newRow("schema lacks TabDataLogger") << without({"TabDataLogger"}) << O::NoLoggerTableSchema
                                                    << QStringList{msgNoLogger} << true << true;
        QTest::newRow("Channels missing") << without({"Channels"}) << O::NoChannelsTable << QStringList{msgNoChannels}
                                          << false << true;
        QTest::newRow("Channels and scalings missing")
            << without({"Channels", "CalibrationScalings"}) << O::NoChannelsTable
            << QStringList{msgNoScalings, msgNoChannels} << false << true;
        QTest::newRow("TabDataLogger values invalid") << withCells({{"TabDataLogger", 0, 2, "0"}})
                                                      << O::InvalidLoggerTable << QStringList{msgBadLogger} << false
                                                      << true;
        // A leading digit gets the channel rejected.
        QTest::newRow("logger address names a rejected channel")
            << withCells({{"Channels", 1, 0, "9tWater"}, {"TabDataLogger", 0, 14, "9tWater"}})
            << O::InvalidLoggerTable << QStringList{msgBadLogger} << false << true;
    }
    void refusals()
    {
        QFETCH(MakeFile, make);
        QFETCH(DeviceLoadOutcome, outcome);
        QFETCH(QStringList, messages);
        QFETCH(bool, previousKept);
        QFETCH(bool, controlsDisabled);

        DeviceModel m;
        loadPrevious(m);
        ChannelRecord *const firstBefore = m.channels.first();
        const QList<ScalingRecord> scalingsBefore = m.scalings;
        m.devicePath = make ? write("case.xml", make(Fixture::device())) : m_dir.filePath("does-not-exist.xml");

        const DeviceLoadResult r = DeviceLoader::load(m, options());
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(texts(r), messages);
        for (const DeviceMessage &msg : r.messages)
            QCOMPARE(msg.kind, DeviceMessage::Warning);
        QCOMPARE(r.disableSelectionControls, controlsDisabled);
        QVERIFY(!r.complete && !r.rebuildLoggerProtocol);
        QCOMPARE(m.currentDevicePath, m_dir.filePath("previous.xml"));
        if (previousKept) {
            QCOMPARE(m.channels.size(), 3);
            QCOMPARE(m.channels.first(), firstBefore);
            QCOMPARE(m.selected.size(), 1);
            QCOMPARE(m.trigger.type, quint8(3));
            QVERIFY(m.loggerTable.valid);
            QCOMPARE(m.scalings.size(), scalingsBefore.size());
            QVERIFY(!r.modelReplaced && !r.refillAvailableList);
        } else {
            QVERIFY(m.channels.isEmpty());
            QVERIFY(m.selected.isEmpty());
            QCOMPARE(m.trigger.type, quint8(0));
            QVERIFY(!m.trigger.channel);
            QVERIFY(!m.loggerTable.valid);
            QCOMPARE(m.loggerTable.availableBytes, 0u);
            QCOMPARE(m.canSettings.toEcuAppCanId, 0u);
            QVERIFY(r.modelReplaced && r.refillAvailableList);
            QVERIFY(!r.availableNoLoggerTable);
        }
        if (outcome == DeviceLoadOutcome::NoChannelsTable) {
            // ELF identification was read, but its address and size cleared.
            QCOMPARE(m.elf.idStringAddress, 0u);
            QCOMPARE(m.elf.idStringSize, 0u);
            QCOMPARE(m.elf.idStringValue, QByteArray("ID-1.0"));
            QVERIFY(r.availableElfCheck);
            // Scalings are replaced only when the table is there.
            QCOMPARE(m.scalings.size(), messages.contains(msgNoScalings) ? 3 : 2);
        }
        if (outcome == DeviceLoadOutcome::InvalidLoggerTable)
            QVERIFY(!r.availableElfCheck); // part of the zeroed logger table
    }

    void goesOnAfterWarnings_data()
    {
        QTest::addColumn<MakeFile>("make");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("scalings");
        QTest::addColumn<bool>("noLoggerTable");
        QTest::addColumn<float>("g1");       // of the first channel
        QTest::addColumn<quint32>("canId");  // ToEcu_App_CAN_Id
        // The previous device's scalings still resolve SC_RPM.
        QTest::newRow("CalibrationScalings missing") << without({"CalibrationScalings"}) << QStringList{msgNoScalings}
                                                     << 3 << 3 << false << 0.25f << 0x6A0u;
        QTest::newRow("unknown scaling id: 1:1")
            << withCells({{"Channels", 0, 16, "SC_NONE"}})
            << QStringList{QString::fromUtf8("Var_ScalingID >SC_NONE< non trovato!!! Nome variabile: "
                                             "nEngine\nVerrà impostata la scala 1:1")}
            << 3 << 2 << false << 1.0f << 0x6A0u;
        QTest::newRow("no loggable channel") << MakeFile([](QList<Fixture::Table> t) {
            Fixture::find(t, "Channels")->rows.clear();
            Fixture::find(t, "TabDataLogger")->rows[0][14] = "0x1000";
            return stampedFile(t);
        }) << QStringList{msgNothing} << 0 << 2 << false << 0.0f << 0x6A0u;
        QTest::newRow("TabDataLogger without rows") << MakeFile([](QList<Fixture::Table> t) {
            Fixture::find(t, "TabDataLogger")->rows.clear();
            return stampedFile(t);
        }) << QStringList() << 3 << 2 << true << 0.25f << 0x6A0u;
        QTest::newRow("no CAN tables at all") << without({"CAN_Id", "CommunicationLineSettings", "CANLineSettings"})
                                              << QStringList() << 3 << 2 << false << 0.25f << 0u;
    }
    void goesOnAfterWarnings()
    {
        QFETCH(MakeFile, make);
        QFETCH(QStringList, messages);
        QFETCH(int, channels);
        QFETCH(int, scalings);
        QFETCH(bool, noLoggerTable);
        QFETCH(float, g1);
        QFETCH(quint32, canId);
        DeviceModel m;
        loadPrevious(m); // three scalings, including SC_OLD
        m.devicePath = write("next.xml", make(Fixture::device()));
        const DeviceLoadResult r = DeviceLoader::load(m, options());
        QCOMPARE(r.outcome, DeviceLoadOutcome::Loaded);
        QCOMPARE(texts(r), messages);
        if (channels == 0)
            QCOMPARE(r.messages.last().kind, DeviceMessage::Information);
        else
            QCOMPARE(m.channels.first()->g1, g1);
        QCOMPARE(m.channels.size(), channels);
        QCOMPARE(m.scalings.size(), scalings);
        QCOMPARE(m.noLoggerTable, noLoggerTable);
        QCOMPARE(r.rebuildLoggerProtocol, !noLoggerTable);
        QCOMPARE(r.availableNoLoggerTable, noLoggerTable);
        QVERIFY(m.selected.isEmpty());
        QCOMPARE(m.trigger.type, quint8(0));
        QCOMPARE(m.currentDevicePath, m.devicePath);
        QCOMPARE(m.canSettings.toEcuAppCanId, canId);
    }

    void lineLikeTheMarkerIsPlainText()
    {
        DeviceModel m;
        m.devicePath = write("almost.xml", Fixture::stamped("ENCRYPTED by ORVLibCrypt.dlX\r\n<a/>"));
        const DeviceLoadResult r = DeviceLoader::load(m, options());
        QCOMPARE(texts(r), QStringList{msgSyntax}); // checksum passed: read as plain
        QVERIFY(!r.report.encrypted);
    }

    void encryptedDevices_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("library");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("library present") << "none" << true << QStringList();
        QTest::newRow("library absent") << "none" << false << QStringList{msgLibrary};
        QTest::newRow("wrong stored checksum") << "checksum" << true << QStringList{msgChecksum};
        QTest::newRow("tampered cipher text") << "tamper" << true << QStringList{msgChecksum};
        QTest::newRow("truncated") << "truncate" << true << QStringList{msgChecksum};
        QTest::newRow("block shorter than 65 bytes") << "short block" << true << QStringList{msgChecksum};
    }
    void encryptedDevices()
    {
        QFETCH(QString, damage);
        QFETCH(bool, library);
        QFETCH(QStringList, messages);
        const CryptoLibrary lib(m_binDir);
        if (!lib.usable())
            QSKIP("libORVLibCrypt.so is not built next to the programs");

        // Decrypted block: body, 45 bytes not covered, then the usual trailer.
        const QByteArray body = Fixture::dataSet(Fixture::device());
        QByteArray block = body + "\r\n<!--" + QByteArray(36, '.') + "-->";
        QByteArray digits = QByteArray::number(DeviceChecksum::compute(body), 16).rightJustified(4, '0');
        if (damage == "checksum")
            digits = digits == "0000" ? "0001" : "0000";
        block += "\r\n<!--CRC=0x" + digits + " -->";
        QCOMPARE(block.size(), body.size() + 65);
        if (damage == "short block")
            block = QByteArray(64, ' ');

        const QString path = m_dir.filePath("enc.xml");
        QCOMPARE(lib.writeFile(path, block), 0);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray stored = f.readAll();
        QVERIFY(stored.startsWith("ENCRYPTED by ORVLibCrypt.dll"));
        QVERIFY(!stored.contains("TabDataLogger"));
        if (damage == "tamper")
            stored[stored.size() / 2] = char(stored[stored.size() / 2] ^ 0x20);
        if (damage == "truncate")
            stored.chop(10);
        f.resize(0);
        f.write(stored);
        f.close();
        QCOMPARE(lib.readFile(path).isEmpty(), damage == "tamper" || damage == "truncate");

        DeviceModel m;
        m.devicePath = path;
        const DeviceLoadResult r = DeviceLoader::load(m, options(library));
        QCOMPARE(texts(r), messages);
        QCOMPARE(r.loaded(), messages.isEmpty());
        QVERIFY(r.report.encrypted);
        if (r.loaded())
            QCOMPARE(m.channels.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestDeviceLoader)
#include "tst_deviceloader.moc"
