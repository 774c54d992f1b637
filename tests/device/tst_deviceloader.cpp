// Device loading end to end: the checksum, every refusal with its message
// and the state the model is left in, warnings that let the load go on, and
// encrypted devices with the file damaged.
#include "cryptolibrary.h"
#include "devicefixture.h"
#include "deviceloader.h"
#include "testfiles.h"

#include <QtTest>

namespace {
const char *const msgLibrary = "Libreria ORVLibCrypt.dll : versione errata o libreria mancante!";
const char *const msgChecksum = "Checksum non valida!!!";
const char *const msgSyntax = "Errore di sintassi nel file XML!!!";
const char *const msgNoScalings = "Tabella 'CalibrationScalings' mancante, il device potrebbe essere inadeguato!!!";
const char *const msgBadLogger = "Tabella 'TabDataLogger' incompleta e/o valori presenti non validi!!!";

// A case's file from the fixture device's tables.
using MakeFile = std::function<QByteArray(QList<Fixture::Table>)>;

QByteArray stampedFile(const QList<Fixture::Table> &t) { return Fixture::stamped(Fixture::dataSet(t)); }

// The fixture device with tables left out and cells (table, row, column, value) set.
MakeFile changed(const QStringList &removed, const QList<std::tuple<QString, int, int, QString>> &cells = {})
{
    return [=](QList<Fixture::Table> t) {
        t.removeIf([&](const Fixture::Table &x) { return removed.contains(x.name); });
        for (const auto &[table, row, column, value] : cells)
            Fixture::find(t, table)->rows[row][column] = value;
        return stampedFile(t);
    };
}

MakeFile bytes(const QByteArray &b) { return [b](auto) { return b; }; }

// A trailer digit to another digit (negative index), a body byte by one bit.
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

    QString write(const QString &name, const QByteArray &data)
    {
        return TestFiles::writeAll(m_dir.filePath(name), data) ? m_dir.filePath(name) : QString();
    }

    DeviceLoadResult load(DeviceModel &m, bool withLibrary = false)
    {
        DeviceLoadOptions o;
        o.programFolder = withLibrary ? qEnvironmentVariable("BRISCA_BIN_DIR") : m_dir.filePath("nolib");
        return DeviceLoader::load(m, o);
    }

    static QStringList texts(const DeviceLoadResult &r)
    {
        QStringList l;
        for (const DeviceMessage &m : r.messages)
            l << m.text;
        return l;
    }

    // A model holding a previous device (three scalings), a selection and a trigger.
    void loadPrevious(DeviceModel &m)
    {
        QList<Fixture::Table> t = Fixture::device();
        Fixture::find(t, "CalibrationScalings")->rows.append({"SC_OLD", "1", "0", "0", "1"});
        m.devicePath = write("previous.xml", stampedFile(t));
        QVERIFY(load(m).loaded());
        m.selected.append(m.channels.first());
        m.trigger.type = 3;
        m.trigger.channel = m.channels.first();
    }

private slots:
    // The check value from its definition, and the scan of the stored value.
    void checksum_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("computed");
        QTest::addColumn<int>("stored"); // -1: none found
        const QByteArray head("<x>...</x>\r\n<!--CRC=0x");
        QTest::newRow("abc") << QByteArray("abc") << 0xE41E << -1;
        QTest::newRow("one byte: crc = b, bytes exchanged") << QByteArray("\x01", 1) << 0x0100 << -1;
        QTest::newRow("T[1] = 0x1021") << QByteArray("\x01\x00\x00", 3) << 0x2110 << -1;
        QTest::newRow("T[255] = 0x1EF0") << QByteArray("\xFF\x00\x00", 3) << 0xF01E << -1;
        QTest::newRow("lower case, 8 bytes folded") << QByteArray("    e41e") << 0x593F << 0xE41E;
        QTest::newRow("leading blanks") << head + "  \t1f-->" << -1 << 0x1F;
        QTest::newRow("non-hex ends it") << head + "12G4xxxx" << -1 << 0x12;
        QTest::newRow("at most four digits") << head + "ABCDEF01" << -1 << 0xABCD;
        QTest::newRow("no digit") << head + "--> zzzz" << -1 << -1;
    }
    void checksum()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, computed);
        QFETCH(int, stored);
        quint16 v = 0xFFFF;
        if (computed >= 0)
            QCOMPARE(int(DeviceChecksum::compute(data)), computed);
        QCOMPARE(DeviceChecksum::storedValue(data, &v), stored >= 0);
        QCOMPARE(int(v), stored >= 0 ? stored : 0xFFFF);
    }

    void outcomes_data()
    {
        QTest::addColumn<MakeFile>("make"); // none: the file does not exist
        QTest::addColumn<DeviceLoadOutcome>("outcome");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("controlsDisabled");
        QTest::addColumn<int>("scalings"); // afterwards; the previous device has three
        using O = DeviceLoadOutcome;
        QTest::newRow("file cannot be opened") << MakeFile() << O::NotOpened << QStringList() << false << 3;
        QTest::newRow("encrypted, library missing")
            << MakeFile([](auto t) { return QByteArray(CryptoLibrary::Marker) + "\r\n" + stampedFile(t); })
            << O::CryptoUnavailable << QStringList{msgLibrary} << false << 3;
        QTest::newRow("byte changed before the trailer") << flipped(100) << O::BadChecksum << QStringList{msgChecksum} << false << 3;
        QTest::newRow("trailer digits wrong") << flipped(-8) << O::BadChecksum << QStringList{msgChecksum} << false << 3;
        QTest::newRow("shorter than its trailer") << bytes(QByteArray("<a/>\r\n<!--0000 -->", 19)) << O::BadChecksum
                                                  << QStringList{msgChecksum} << false << 3;
        QTest::newRow("20 bytes check to 0, then no XML") << bytes("0123456789ab0000wxyz") << O::SyntaxError
                                                          << QStringList{msgSyntax} << false << 3;
        QTest::newRow("first line only like the marker: plain")
            << bytes(Fixture::stamped("ENCRYPTED by ORVLibCrypt.dlX\r\n<a/>")) << O::SyntaxError << QStringList{msgSyntax} << false << 3;
        QTest::newRow("schema lacks TabDataLogger") << changed({"TabDataLogger"}) << O::NoLoggerTableSchema
                                                    << QStringList{"Tabella 'TabDataLogger' mancante, device inadeguato!!!"} << true << 3;
        QTest::newRow("Channels and scalings missing")
            << changed({"Channels", "CalibrationScalings"}) << O::NoChannelsTable
            << QStringList{msgNoScalings, "Tabella 'Channels' mancante, device inadeguato!!!"} << true << 3;
        QTest::newRow("TabDataLogger values invalid") << changed({}, {{"TabDataLogger", 0, 2, "0"}}) << O::InvalidLoggerTable
                                                      << QStringList{msgBadLogger} << true << 2;
        QTest::newRow("logger address names a rejected channel")
            << changed({}, {{"Channels", 1, 0, "9tWater"}, {"TabDataLogger", 0, 14, "9tWater"}}) << O::InvalidLoggerTable
            << QStringList{msgBadLogger} << true << 2;
        QTest::newRow("loads") << changed({}, {}) << O::Loaded << QStringList() << false << 2;
        // The previous device's scalings still resolve SC_RPM.
        QTest::newRow("loads without CalibrationScalings") << changed({"CalibrationScalings"}) << O::Loaded
                                                           << QStringList{msgNoScalings} << false << 3;
        QTest::newRow("loads with an unknown scaling id: 1:1")
            << changed({}, {{"Channels", 0, 16, "SC_NONE"}}) << O::Loaded
            << QStringList{QString::fromUtf8("Var_ScalingID >SC_NONE< non trovato!!! Nome variabile: nEngine\nVerrà impostata la scala 1:1")}
            << false << 2;
    }
    void outcomes()
    {
        QFETCH(MakeFile, make);
        QFETCH(DeviceLoadOutcome, outcome);
        QFETCH(QStringList, messages);
        QFETCH(bool, controlsDisabled);
        QFETCH(int, scalings);
        DeviceModel m;
        loadPrevious(m);
        ChannelRecord *const firstBefore = m.channels.first();
        m.devicePath = make ? write("case.xml", make(Fixture::device())) : m_dir.filePath("does-not-exist.xml");

        const DeviceLoadResult r = load(m);
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(texts(r), messages);
        for (const DeviceMessage &msg : r.messages)
            QCOMPARE(msg.kind, DeviceMessage::Warning);
        QCOMPARE(r.disableSelectionControls, controlsDisabled);
        QCOMPARE(m.scalings.size(), scalings); // replaced only when the table is there
        const bool loaded = outcome == DeviceLoadOutcome::Loaded;
        QCOMPARE(r.complete && r.rebuildLoggerProtocol && r.availableElfCheck && !m.noLoggerTable, loaded);
        QCOMPARE(m.currentDevicePath, loaded ? m.devicePath : m_dir.filePath("previous.xml"));
        const bool replaced = loaded || outcome == DeviceLoadOutcome::NoChannelsTable || outcome == DeviceLoadOutcome::InvalidLoggerTable;
        QCOMPARE(r.modelReplaced, replaced);
        QCOMPARE(r.refillAvailableList, replaced);
        if (!replaced) {
            QCOMPARE(m.channels.first(), firstBefore);
            QCOMPARE(m.selected.size(), 1);
            QCOMPARE(m.trigger.type, quint8(3));
            QVERIFY(m.loggerTable.valid);
            return;
        }
        QVERIFY(m.selected.isEmpty() && !m.trigger.channel && !r.availableNoLoggerTable);
        QCOMPARE(m.trigger.type, quint8(0));
        if (loaded) {
            QCOMPARE(m.channels.size(), 3);
            QCOMPARE(m.channels.first()->g1, messages.size() == 1 && scalings == 2 ? 1.0f : 0.25f);
            return;
        }
        QVERIFY(m.channels.isEmpty() && !m.loggerTable.valid);
        QCOMPARE(m.canSettings.toEcuAppCanId, 0u);
        // ELF identification read, its address and size cleared; the
        // elfCheck flag goes with a zeroed logger table.
        QCOMPARE(m.elf.idStringValue, QByteArray("ID-1.0"));
        QCOMPARE(m.elf.idStringAddress, outcome == DeviceLoadOutcome::NoChannelsTable ? 0u : 2147483904u);
        QCOMPARE(r.availableElfCheck, outcome == DeviceLoadOutcome::NoChannelsTable);
    }

    void encryptedDevices_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("library present") << "none" << QStringList();
        QTest::newRow("wrong stored checksum") << "checksum" << QStringList{msgChecksum};
        QTest::newRow("tampered cipher text") << "tamper" << QStringList{msgChecksum};
        QTest::newRow("block shorter than 65 bytes") << "short block" << QStringList{msgChecksum};
    }
    void encryptedDevices()
    {
        QFETCH(QString, damage);
        QFETCH(QStringList, messages);
        const CryptoLibrary lib(qEnvironmentVariable("BRISCA_BIN_DIR"));
        if (!lib.usable())
            QSKIP("libORVLibCrypt.so is not built next to the programs");

        // Decrypted block: body, 45 bytes not covered, then the usual trailer.
        const QByteArray body = Fixture::dataSet(Fixture::device());
        QByteArray digits = QByteArray::number(DeviceChecksum::compute(body), 16).rightJustified(4, '0');
        if (damage == "checksum")
            digits = digits == "0000" ? "0001" : "0000";
        QByteArray block = body + "\r\n<!--" + QByteArray(36, '.') + "-->" + "\r\n<!--CRC=0x" + digits + " -->";
        if (damage == "short block")
            block = QByteArray(64, ' ');

        DeviceModel m;
        m.devicePath = m_dir.filePath("enc.xml");
        QCOMPARE(lib.writeFile(m.devicePath, block), 0);
        QByteArray stored = TestFiles::readAll(m.devicePath);
        QVERIFY(stored.startsWith("ENCRYPTED by ORVLibCrypt.dll") && !stored.contains("TabDataLogger"));
        stored[stored.size() / 2] = char(stored[stored.size() / 2] ^ (damage == "tamper" ? 0x20 : 0));
        QVERIFY(TestFiles::writeAll(m.devicePath, stored));
        const DeviceLoadResult r = load(m, true);
        QCOMPARE(texts(r), messages);
        QVERIFY(r.report.encrypted);
        QCOMPARE(m.channels.size(), messages.isEmpty() ? 3 : 0);
    }
};

QTEST_GUILESS_MAIN(TestDeviceLoader)
#include "tst_deviceloader.moc"
