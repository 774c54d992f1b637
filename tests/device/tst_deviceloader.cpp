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

enum class Kept { Everything, NothingOld };
} // namespace

Q_DECLARE_METATYPE(DeviceLoadOutcome)

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
        QTest::addColumn<QString>("change");
        QTest::addColumn<DeviceLoadOutcome>("outcome");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("previousKept");   // channels, logger table, selection as before
        QTest::addColumn<bool>("controlsDisabled");

        QTest::newRow("file cannot be opened") << "missing file" << DeviceLoadOutcome::NotOpened << QStringList()
                                               << true << false;
        QTest::newRow("encrypted, library missing") << "encrypted marker" << DeviceLoadOutcome::CryptoUnavailable
                                                    << QStringList{msgLibrary} << true << false;
        QTest::newRow("byte changed before the trailer") << "edit body" << DeviceLoadOutcome::BadChecksum
                                                         << QStringList{msgChecksum} << true << false;
        QTest::newRow("trailer digits wrong") << "edit trailer" << DeviceLoadOutcome::BadChecksum
                                              << QStringList{msgChecksum} << true << false;
        QTest::newRow("shorter than its trailer") << "19 bytes" << DeviceLoadOutcome::BadChecksum
                                                  << QStringList{msgChecksum} << true << false;
        QTest::newRow("empty file") << "empty" << DeviceLoadOutcome::BadChecksum << QStringList{msgChecksum} << true
                                    << false;
        QTest::newRow("20 bytes check to 0, then no XML") << "20 bytes" << DeviceLoadOutcome::SyntaxError
                                                          << QStringList{msgSyntax} << true << false;
        QTest::newRow("XML does not parse") << "broken xml" << DeviceLoadOutcome::SyntaxError
                                            << QStringList{msgSyntax} << true << false;
        QTest::newRow("schema lacks TabDataLogger") << "no TabDataLogger" << DeviceLoadOutcome::NoLoggerTableSchema
                                                    << QStringList{msgNoLogger} << true << true;
        QTest::newRow("Channels missing") << "no Channels" << DeviceLoadOutcome::NoChannelsTable
                                          << QStringList{msgNoChannels} << false << true;
        QTest::newRow("Channels and scalings missing")
            << "no Channels, no scalings" << DeviceLoadOutcome::NoChannelsTable
            << QStringList{msgNoScalings, msgNoChannels} << false << true;
        QTest::newRow("TabDataLogger values invalid") << "bad logger" << DeviceLoadOutcome::InvalidLoggerTable
                                                      << QStringList{msgBadLogger} << false << true;
        QTest::newRow("logger address names a rejected channel")
            << "logger names rejected channel" << DeviceLoadOutcome::InvalidLoggerTable
            << QStringList{msgBadLogger} << false << true;
    }
    void refusals()
    {
        QFETCH(QString, change);
        QFETCH(DeviceLoadOutcome, outcome);
        QFETCH(QStringList, messages);
        QFETCH(bool, previousKept);
        QFETCH(bool, controlsDisabled);

        DeviceModel m;
        loadPrevious(m);
        ChannelRecord *const firstBefore = m.channels.first();
        const QList<ScalingRecord> scalingsBefore = m.scalings;

        QList<Fixture::Table> t = Fixture::device();
        QByteArray file;
        if (change == "no TabDataLogger")
            Fixture::remove(t, "TabDataLogger");
        if (change.startsWith("no Channels"))
            Fixture::remove(t, "Channels");
        if (change.endsWith("no scalings"))
            Fixture::remove(t, "CalibrationScalings");
        if (change == "bad logger")
            Fixture::find(t, "TabDataLogger")->rows[0][2] = "0";
        if (change == "logger names rejected channel") {
            Fixture::find(t, "Channels")->rows[1][0] = "9tWater"; // rejected: leading digit
            Fixture::find(t, "TabDataLogger")->rows[0][14] = "9tWater";
        }
        file = Fixture::stamped(Fixture::dataSet(t));
        if (change == "encrypted marker")
            file = QByteArray(CryptoLibrary::Marker) + "\r\n" + file;
        if (change == "edit body")
            file[100] = char(file[100] ^ 0x01);
        if (change == "edit trailer")
            file[file.size() - 8] = file[file.size() - 8] == '0' ? '1' : '0';
        if (change == "19 bytes")
            file = QByteArray("<a/>\r\n<!--0000 -->", 19);
        if (change == "empty")
            file.clear();
        if (change == "20 bytes")
            file = QByteArray("0123456789ab0000wxyz");
        if (change == "broken xml") {
            QByteArray body = Fixture::dataSet(t);
            body.replace("</Channels>", "</Channel>");
            file = Fixture::stamped(body);
        }
        m.devicePath = change == "missing file" ? m_dir.filePath("does-not-exist.xml") : write("case.xml", file);

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
            QCOMPARE(m.scalings.size(), change.endsWith("no scalings") ? 3 : 2);
        }
        if (outcome == DeviceLoadOutcome::InvalidLoggerTable)
            QVERIFY(!r.availableElfCheck); // part of the zeroed logger table
    }

    void goesOnAfterWarnings_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("scalings");
        QTest::addColumn<bool>("noLoggerTable");
        // The previous device's scalings still resolve SC_RPM.
        QTest::newRow("CalibrationScalings missing") << "no scalings" << QStringList{msgNoScalings} << 3 << 3 << false;
        QTest::newRow("unknown scaling id")
            << "unknown scaling"
            << QStringList{QString::fromUtf8("Var_ScalingID >SC_NONE< non trovato!!! Nome variabile: "
                                             "nEngine\nVerrà impostata la scala 1:1")}
            << 3 << 2 << false;
        QTest::newRow("no loggable channel") << "no channel rows" << QStringList{msgNothing} << 0 << 2 << false;
        QTest::newRow("TabDataLogger without rows") << "no logger rows" << QStringList() << 3 << 2 << true;
        QTest::newRow("no CAN tables at all") << "no CAN" << QStringList() << 3 << 2 << false;
    }
    void goesOnAfterWarnings()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, messages);
        QFETCH(int, channels);
        QFETCH(int, scalings);
        QFETCH(bool, noLoggerTable);
        DeviceModel m;
        loadPrevious(m); // three scalings, including SC_OLD
        QList<Fixture::Table> t = Fixture::device();
        if (change == "no scalings")
            Fixture::remove(t, "CalibrationScalings");
        if (change == "unknown scaling")
            Fixture::find(t, "Channels")->rows[0][16] = "SC_NONE";
        if (change == "no channel rows") {
            Fixture::find(t, "Channels")->rows.clear();
            Fixture::find(t, "TabDataLogger")->rows[0][14] = "0x1000";
        }
        if (change == "no logger rows")
            Fixture::find(t, "TabDataLogger")->rows.clear();
        if (change == "no CAN") {
            Fixture::remove(t, "CAN_Id");
            Fixture::remove(t, "CommunicationLineSettings");
            Fixture::remove(t, "CANLineSettings");
        }
        m.devicePath = write("next.xml", Fixture::stamped(Fixture::dataSet(t)));
        const DeviceLoadResult r = DeviceLoader::load(m, options());
        QCOMPARE(r.outcome, DeviceLoadOutcome::Loaded);
        QCOMPARE(texts(r), messages);
        if (change == "no channel rows")
            QCOMPARE(r.messages.last().kind, DeviceMessage::Information);
        QCOMPARE(m.channels.size(), channels);
        QCOMPARE(m.scalings.size(), scalings);
        QCOMPARE(m.noLoggerTable, noLoggerTable);
        QCOMPARE(r.rebuildLoggerProtocol, !noLoggerTable);
        QCOMPARE(r.availableNoLoggerTable, noLoggerTable);
        QVERIFY(m.selected.isEmpty());
        QCOMPARE(m.trigger.type, quint8(0));
        QCOMPARE(m.currentDevicePath, m.devicePath);
        if (change == "no CAN")
            QCOMPARE(m.canSettings.toEcuAppCanId, 0u);
        if (change == "no scalings")
            QCOMPARE(m.channels.first()->g1, 0.25f);
        if (change == "unknown scaling") {
            QCOMPARE(m.channels.first()->g1, 1.0f);
            QCOMPARE(m.channels.first()->o2, 1.0f);
        }
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
