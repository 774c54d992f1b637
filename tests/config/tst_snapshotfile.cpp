// Snapshot files: bytes against the layout written out by hand, reading back
// into a device, and the files that must be refused.
#include <QtTest>

#include "channelset.h"
#include "snapshotfile.h"
#include "testfiles.h"


using namespace SnapshotFile;

namespace {
// Hand-written from the layout, in tests/data.
QByteArray elfFile() { return TestFiles::hexFixture("snapshot_elf.hex"); }
QByteArray plainFile() { return TestFiles::hexFixture("snapshot_plain.hex"); }

struct Device : ChannelSet
{
    ChannelRecord *add(const QByteArray &factory, quint32 index, quint32 bytes)
    {
        ChannelRecord *ch = ChannelSet::add(factory, index, bytes, 640);
        ch->label = factory + " label";
        ch->unit = "u";
        return ch;
    }
};

// rpm_9 as both snapshots hold it.
ChannelRecord *addRpm(Device &d)
{
    ChannelRecord *r = d.add("rpm", 9, 1);
    r->g1 = 0.25f;
    r->unit = QByteArray();
    r->label = "Giri";
    r->description = "Giri motore";
    return r;
}

// The device the snapshot_elf.hex snapshot was taken on, as it was then.
void buildTakenDevice(Device &d, QList<ChannelRecord *> *selected, TriggerSettings *trigger)
{
    ChannelRecord *t = d.add("tmot", 7, 2);
    t->address = 0x1000;
    t->periodMs = 10;
    t->typeCode = 1;
    t->g1 = 0.5f;
    t->o1 = -10;
    t->zeroable = true;
    t->zeroValue = 300;
    t->unit = "\xb0" "C";
    t->label = "Temp";
    t->description = "";
    ChannelRecord *r = addRpm(d);
    *selected = { t, r };
    trigger->type = 3;
    trigger->delay = 20;
    trigger->channel = r;
    trigger->lowThreshold = -5;
    trigger->highThreshold = 300;
}

} // namespace

class TestSnapshotFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_asked;

    // Opens the bytes as a snapshot file on the device; every question gets `yes`.
    OpenResult openBytes(const QByteArray &bytes, Device &d, bool elf = true, const QByteArray &id = "ID01",
                         bool yes = true)
    {
        m_asked.clear();
        const QString path = m_dir.filePath("s.spt");
        if (!TestFiles::writeAll(path, bytes))
            return OpenResult();
        return open(path, d.channels, elf, id, [this, yes](const QString &q) {
            m_asked << q;
            return yes;
        });
    }

private slots:
    void writerFollowsLayoutByteForByte()
    {
        Device d;
        QList<ChannelRecord *> selected;
        TriggerSettings trigger;
        buildTakenDevice(d, &selected, &trigger);
        const QByteArray expected = elfFile();
        QCOMPARE(expected.size(), 251); // the fixture was found and read whole
        QTemporaryDir dir;
        const SaveResult r = save(dir.filePath("conf"), true, "ID01", trigger, selected);
        QVERIFY(r.saved);
        QCOMPARE(r.path, dir.filePath("conf.spt"));
        QCOMPARE(TestFiles::readAll(r.path).toHex(), expected.toHex());

        // "Continuo": no identification string, an empty trigger channel.
        trigger = TriggerSettings();
        trigger.type = 1;
        trigger.delay = 5;
        trigger.channel = selected[1]; // ignored for a type other than 3
        QCOMPARE(encode(false, "ignored", trigger, { selected[1] }).toHex(), plainFile().toHex());
    }

    void nullStringReadsAsEmpty()
    {
        Contents c;
        const QByteArray nullId = QByteArray::fromHex("01" "ffffffff" "00" "00" "00000000" "00000000" "00000000" "00000000");
        QCOMPARE(decode(nullId, &c), DecodeStatus::Ok);
        QVERIFY(c.idString.isEmpty());
    }

    void openAppliesToDeviceInDeviceOrder()
    {
        // The device now lists rpm before tmot, has an extra channel, and fresh settings.
        Device d;
        ChannelRecord *other = d.add("lambda", 3, 2);
        ChannelRecord *rpm = d.add("rpm", 9, 1);
        ChannelRecord *tmot = d.add("tmot", 7, 2);
        tmot->address = 0x2222; // not taken from the file
        const OpenResult r = openBytes(elfFile(), d, true, "ID01", false);
        QVERIFY(m_asked.isEmpty());
        QCOMPARE(r.status, OpenResult::Applied);
        QCOMPARE(r.folder, m_dir.path());
        QCOMPARE(r.selected, (QList<ChannelRecord *>{ rpm, tmot }));
        QCOMPARE(tmot->unit, QByteArray("\xb0" "C"));
        QCOMPARE(tmot->periodMs, 10u);
        QCOMPARE(tmot->o1, -10.0f);
        QCOMPARE(tmot->zeroValue, 300u);
        QCOMPARE(tmot->address, 0x2222u);
        QCOMPARE(tmot->typeCode, 0u);
        QCOMPARE(rpm->label, QByteArray("Giri"));
        QCOMPARE(other->label, QByteArray("lambda label"));
        QCOMPARE(r.trigger.channel, rpm);
        QCOMPARE(r.trigger.typeAndDelay(), 0x1403u);
        QCOMPARE(r.trigger.lowThreshold, -5);
    }

    void truncatedFileIsRefusedAtEveryLength()
    {
        const QByteArray full = elfFile();
        for (int n = 0; n < full.size(); ++n) {
            Device d;
            ChannelRecord *tmot = d.add("tmot", 7, 2);
            const OpenResult r = openBytes(full.left(n), d);
            QVERIFY2(r.status == OpenResult::Truncated, qPrintable(QString::number(n)));
            QVERIFY(!r.message.isEmpty());
            QVERIFY(r.selected.isEmpty());
            QCOMPARE(tmot->label, QByteArray("tmot label"));
            QCOMPARE(tmot->periodMs, 640u);
        }
        // Damaged bytes anywhere (counts, string lengths) end in a result, never a hang or crash.
        QRandomGenerator rng(5);
        for (int i = 0; i < 3000; ++i) {
            QByteArray bad = full;
            for (int k = 0; k < 3; ++k)
                bad[int(rng.bounded(bad.size()))] = char(rng.bounded(256));
            Contents c;
            decode(bad, &c);
            QVERIFY(c.records.size() <= bad.size() / 60); // a record takes at least 65 bytes
        }
    }

    void refusedFilesKeepTheSelection()
    {
        const QByteArray head = QByteArray::fromHex("00" "00" "00" "00000000" "00000000" "00000000");
        const struct { QByteArray bytes; bool deviceElf; OpenResult::Status status; } cases[] = {
            {head + QByteArray::fromHex("7fffffff") + plainFile().mid(23), false, OpenResult::Truncated}, // count
            {QByteArray::fromHex("01" "00000003" "004900"), true, OpenResult::Truncated}, // odd string byte count
            {plainFile(), true, OpenResult::OtherArchitecture}, // checked device, plain snapshot
            {QByteArray(), false, OpenResult::NotOpened}};
        for (const auto &c : cases) {
            Device d;
            ChannelRecord *rpm = d.add("rpm", 9, 1);
            const OpenResult r = c.status == OpenResult::NotOpened
                                     ? open(m_dir.filePath("missing.spt"), d.channels, false, "", nullptr)
                                     : openBytes(c.bytes, d, c.deviceElf);
            QCOMPARE(r.status, c.status);
            QVERIFY(!r.applied());
            QCOMPARE(r.message.isEmpty(), c.status == OpenResult::NotOpened);
            QCOMPARE(rpm->label, QByteArray("rpm label"));
        }
    }

    void snapshotOfAnotherDeviceAsksFirst()
    {
        const QString otherArchitecture("L'istantanea e' stata creata con un device che utilizza un'architettura "
                                        "diversa da quello in uso!!!\nImpossibile continuare!!!");
        const struct { bool deviceElf, yes; OpenResult::Status status; QString message; QByteArray label; } cases[] = {
            {true, false, OpenResult::Declined, QString(), "tmot label"},
            {true, true, OpenResult::Applied, QString(), "Temp"},
            {false, true, OpenResult::OtherArchitecture, otherArchitecture, "tmot label"}}; // asked, then refused
        for (const auto &c : cases) {
            Device d;
            ChannelRecord *tmot = d.add("tmot", 7, 2);
            const OpenResult r = openBytes(elfFile(), d, c.deviceElf, c.deviceElf ? "ID02" : "", c.yes);
            QCOMPARE(m_asked, QStringList { "L'istantanea non e' allineata con il device!!!\nContinuare comunque???" });
            QCOMPARE(r.status, c.status);
            QCOMPARE(r.message, c.message);
            QCOMPARE(tmot->label, c.label);
        }
    }

    void missingChannelsClearTheTrigger()
    {
        Device d;
        d.add("boost", 1, 2);
        OpenResult r = openBytes(elfFile(), d);
        QCOMPARE(r.status, OpenResult::NoMatch);
        QCOMPARE(r.kind, MessageKind::Information);
        QCOMPARE(r.message,
                 QString("Non e' stata trovata nessuna corrispondenza tra l'istantanea e il device corrente!!!"));
        QVERIFY(r.selected.isEmpty());
        QCOMPARE(r.trigger.typeAndDelay(), 0u);

        // Only the trigger channel is missing: the type goes, the rest stays.
        ChannelRecord *tmot = d.add("tmot", 7, 2);
        r = openBytes(elfFile(), d);
        QCOMPARE(r.status, OpenResult::Applied);
        QCOMPARE(r.selected, QList<ChannelRecord *> { tmot });
        QCOMPARE(r.trigger.typeAndDelay(), 0x1400u);
        QVERIFY(!r.trigger.channel);
    }

    void repeatedCodeAppliesFirstRecord()
    {
        Device taken;
        ChannelRecord *a = taken.add("rpm", 9, 1);
        a->label = "first";
        ChannelRecord *b = taken.add("rpm", 9, 1);
        b->label = "second";
        Device d;
        ChannelRecord *rpm = d.add("rpm", 9, 1);
        const OpenResult r = openBytes(encode(false, "", TriggerSettings(), { a, b }), d, false, "");
        QCOMPARE(r.selected, QList<ChannelRecord *> { rpm });
        QCOMPARE(rpm->label, QByteArray("first"));
    }

    void failedSaveReportsAndWritesNothing()
    {
        Device d;
        ChannelRecord *rpm = d.add("rpm", 9, 1);
        QTemporaryDir dir;
        SaveResult r = save(dir.filePath("no/such/folder/x.SPT"), false, "", TriggerSettings(), { rpm });
        QVERIFY(!r.saved);
        QCOMPARE(r.path, dir.filePath("no/such/folder/x.SPT")); // the suffix in any case is kept
        QCOMPARE(r.kind, MessageKind::Critical);
        QVERIFY(r.folder.isEmpty());
        r = save(dir.filePath("empty.spt"), false, "", TriggerSettings(), {});
        QVERIFY(!r.saved);
        QVERIFY(r.message.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("empty.spt")));
    }
};

QTEST_GUILESS_MAIN(TestSnapshotFile)
#include "tst_snapshotfile.moc"
