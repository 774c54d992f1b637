// Snapshot files: bytes against the layout written out by hand, reading back
// into a device, and the files that must be refused.
#include <QtTest>

#include "channelset.h"
#include "snapshotfile.h"
#include "testfiles.h"


using namespace SnapshotFile;

namespace {
// Two channels and a channel trigger on an identification-checked device.
// Field by field from the layout: Qt 3.3 stream, big-endian, floats as 4 bytes,
// strings as a byte count and UTF-16BE.
const char *const ElfFileHex =
    "01"                                   // elfFlag
    "00000008" "0049004400300031"          // idString "ID01"
    "03" "14"                              // trigger type 3, delay 2.0 s
    "0000000a" "00720070006d005f0039"      // trigger channel "rpm_9"
    "fffffffb" "0000012c"                  // thresholds -5, 300
    "00000002"                             // two records
    // tmot_7
    "00000007" "00000002" "00001000" "00000005" "0000000a" "00000001"
    "3f000000" "c1200000" "00000000" "3f800000" // g1 0.5, o1 -10, g2 0, o2 1
    "01" "0000012c" "01"                   // zeroable, zeroValue 300, loggerEnabled
    "00000008" "0074006d006f0074"          // factoryName "tmot"
    "00000004" "00b00043"                  // unit "\xb0C"
    "00000008" "00540065006d0070"          // label "Temp"
    "00000000"                             // description ""
    "0000000c" "0074006d006f0074005f0037"  // uniqueCode "tmot_7"
    // rpm_9
    "00000009" "00000001" "00000009" "00000005" "00000280" "00000000"
    "3e800000" "00000000" "00000000" "3f800000" // g1 0.25
    "00" "00000000" "01"
    "00000006" "00720070006d"              // "rpm"
    "00000000"                             // unit ""
    "00000008" "0047006900720069"          // "Giri"
    "00000016" "0047006900720069002000" "6d006f0074006f00720065" // "Giri motore"
    "0000000a" "00720070006d005f0039";     // "rpm_9"

// A device without identification, trigger "Continuo": elfFlag 0 is followed
// directly by the trigger type, and the trigger channel is an empty string.
const char *const PlainFileHex =
    "00" "01" "05" "00000000" "00000000" "00000000" "00000001"
    "00000009" "00000001" "00000009" "00000005" "00000280" "00000000"
    "3e800000" "00000000" "00000000" "3f800000"
    "00" "00000000" "01"
    "00000006" "00720070006d" "00000000" "00000008" "0047006900720069"
    "00000016" "00470069007200690020006d006f0074006f00720065"
    "0000000a" "00720070006d005f0039";

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

// The device the ElfFileHex snapshot was taken on, as it was then.
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
        const QByteArray expected = QByteArray::fromHex(ElfFileHex);
        QCOMPARE(encode(true, "ID01", trigger, selected).toHex(), expected.toHex());

        QTemporaryDir dir;
        const SaveResult r = save(dir.filePath("conf"), true, "ID01", trigger, selected);
        QVERIFY(r.saved);
        QCOMPARE(r.path, dir.filePath("conf.spt"));
        QCOMPARE(TestFiles::readAll(r.path).toHex(), expected.toHex());
    }

    void continuousTriggerWritesEmptyChannelAndNoIdString()
    {
        Device d;
        ChannelRecord *r = addRpm(d);
        TriggerSettings t;
        t.type = 1;
        t.delay = 5;
        t.channel = r; // ignored for a type other than 3
        QCOMPARE(encode(false, "ignored", t, { r }).toHex(), QByteArray::fromHex(PlainFileHex).toHex());
    }

    void readerTakesHandBuiltFile()
    {
        Contents c;
        QCOMPARE(decode(QByteArray::fromHex(ElfFileHex), &c), DecodeStatus::Ok);
        QVERIFY(c.elfFlag);
        QCOMPARE(c.idString, QByteArray("ID01"));
        QCOMPARE(c.triggerCode, QByteArray("rpm_9"));
        QCOMPARE(c.lowThreshold, -5);
        QCOMPARE(c.records.size(), 2);
        const ChannelRecord &t = c.records[0];
        QCOMPARE(t.address, 0x1000u); // fields the apply step does not copy are still read in place
        QCOMPARE(t.typeCode, 1u);
        QVERIFY(t.zeroable && t.loggerEnabled);
        QCOMPARE(t.zeroValue, 300u);
        QCOMPARE(c.records[1].description, QByteArray("Giri motore"));

        // A null string (count 0xFFFFFFFF) reads as empty.
        QByteArray nullId = QByteArray::fromHex("01" "ffffffff" "00" "00" "00000000" "00000000" "00000000" "00000000");
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
        const OpenResult r = openBytes(QByteArray::fromHex(ElfFileHex), d, true, "ID01", false);
        QVERIFY(m_asked.isEmpty());
        QCOMPARE(r.status, OpenResult::Applied);
        QVERIFY(r.message.isEmpty());
        QCOMPARE(r.folder, m_dir.path());
        QCOMPARE(r.selected, (QList<ChannelRecord *>{ rpm, tmot }));
        QCOMPARE(tmot->label, QByteArray("Temp"));
        QCOMPARE(tmot->unit, QByteArray("\xb0" "C"));
        QCOMPARE(tmot->periodMs, 10u);
        QCOMPARE(tmot->g1, 0.5f);
        QCOMPARE(tmot->o1, -10.0f);
        QVERIFY(tmot->zeroable);
        QCOMPARE(tmot->zeroValue, 300u);
        QCOMPARE(tmot->address, 0x2222u);
        QCOMPARE(tmot->typeCode, 0u);
        QCOMPARE(rpm->g1, 0.25f);
        QCOMPARE(rpm->label, QByteArray("Giri"));
        QCOMPARE(other->label, QByteArray("lambda label"));
        QCOMPARE(r.trigger.type, quint8(3));
        QCOMPARE(r.trigger.delay, quint8(20));
        QCOMPARE(r.trigger.channel, rpm);
        QCOMPARE(r.trigger.lowThreshold, -5);
        QCOMPARE(r.trigger.highThreshold, 300);
    }

    void truncatedFileIsRefusedAtEveryLength()
    {
        const QByteArray full = QByteArray::fromHex(ElfFileHex);
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

    void refusedFilesKeepTheSelection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("deviceElf");
        QTest::addColumn<int>("status");
        const QByteArray head = QByteArray::fromHex("00" "00" "00" "00000000" "00000000" "00000000");
        QTest::newRow("count far beyond the data")
            << head + QByteArray::fromHex("7fffffff") + QByteArray::fromHex(PlainFileHex).mid(23) << false
            << int(OpenResult::Truncated);
        QTest::newRow("odd string byte count")
            << QByteArray::fromHex("01" "00000003" "004900") << true << int(OpenResult::Truncated);
        QTest::newRow("identification-checked device on a plain one")
            << QByteArray::fromHex(PlainFileHex) << true << int(OpenResult::OtherArchitecture);
        QTest::newRow("unreadable file") << QByteArray() << false << int(OpenResult::NotOpened);
    }

    void refusedFilesKeepTheSelection()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, deviceElf);
        QFETCH(int, status);
        Device d;
        ChannelRecord *rpm = d.add("rpm", 9, 1);
        const OpenResult r = status == OpenResult::NotOpened
                                 ? open(m_dir.filePath("missing.spt"), d.channels, false, "", nullptr)
                                 : openBytes(bytes, d, deviceElf);
        QCOMPARE(int(r.status), status);
        QVERIFY(!r.applied());
        QCOMPARE(r.message.isEmpty(), status == OpenResult::NotOpened);
        QCOMPARE(rpm->label, QByteArray("rpm label"));
        QCOMPARE(rpm->g1, 1.0f);
    }

    void snapshotOfAnotherDeviceAsksFirst_data()
    {
        QTest::addColumn<bool>("deviceElf");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("label");
        QTest::newRow("declined") << true << false << int(OpenResult::Declined) << QString() << QByteArray("tmot label");
        QTest::newRow("accepted") << true << true << int(OpenResult::Applied) << QString() << QByteArray("Temp");
        QTest::newRow("device without identification: asked, then refused")
            << false << true << int(OpenResult::OtherArchitecture)
            << QString("L'istantanea e' stata creata con un device che utilizza un'architettura "
                       "diversa da quello in uso!!!\nImpossibile continuare!!!")
            << QByteArray("tmot label");
    }

    void snapshotOfAnotherDeviceAsksFirst()
    {
        QFETCH(bool, deviceElf);
        QFETCH(bool, yes);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QByteArray, label);
        Device d;
        ChannelRecord *tmot = d.add("tmot", 7, 2);
        const OpenResult r = openBytes(QByteArray::fromHex(ElfFileHex), d, deviceElf, deviceElf ? "ID02" : "", yes);
        QCOMPARE(m_asked, QStringList { "L'istantanea non e' allineata con il device!!!\nContinuare comunque???" });
        QCOMPARE(int(r.status), status);
        QCOMPARE(r.message, message);
        QCOMPARE(tmot->label, label);
    }

    void noMatchingChannelClearsTrigger()
    {
        Device d;
        d.add("boost", 1, 2);
        const OpenResult r = openBytes(QByteArray::fromHex(ElfFileHex), d);
        QCOMPARE(r.status, OpenResult::NoMatch);
        QVERIFY(r.applied());
        QCOMPARE(r.kind, MessageKind::Information);
        QCOMPARE(r.message,
                 QString("Non e' stata trovata nessuna corrispondenza tra l'istantanea e il device corrente!!!"));
        QVERIFY(r.selected.isEmpty());
        QCOMPARE(r.trigger.type, quint8(0));
        QCOMPARE(r.trigger.delay, quint8(0));
        QCOMPARE(r.trigger.lowThreshold, 0);
    }

    void triggerChannelMissingOnDeviceDisablesTrigger()
    {
        Device d;
        ChannelRecord *tmot = d.add("tmot", 7, 2);
        const OpenResult r = openBytes(QByteArray::fromHex(ElfFileHex), d);
        QCOMPARE(r.status, OpenResult::Applied);
        QCOMPARE(r.selected, QList<ChannelRecord *> { tmot });
        QCOMPARE(r.trigger.type, quint8(0));
        QVERIFY(!r.trigger.channel);
        QCOMPARE(r.trigger.delay, quint8(20));
        QCOMPARE(r.trigger.lowThreshold, -5);
        QCOMPARE(r.trigger.highThreshold, 300);
    }

    void repeatedCodeAppliesFirstRecord()
    {
        Device taken;
        ChannelRecord *a = taken.add("rpm", 9, 1);
        a->label = "first";
        Device copy;
        ChannelRecord *b = copy.add("rpm", 9, 1);
        b->label = "second";
        Device d;
        ChannelRecord *rpm = d.add("rpm", 9, 1);
        const OpenResult r = openBytes(encode(false, "", TriggerSettings(), { a, b }), d, false, "");
        QCOMPARE(r.selected, QList<ChannelRecord *> { rpm });
        QCOMPARE(rpm->label, QByteArray("first"));

        // A negative count reads no records.
        const QByteArray negative = QByteArray::fromHex("00" "00" "00" "00000000" "00000000" "00000000" "ffffffff");
        QCOMPARE(openBytes(negative, d, false, "").status, OpenResult::NoMatch);
    }

    void suffixAndFolder()
    {
        QCOMPARE(withSuffix("settings.SPT"), QString("settings.SPT"));
        QCOMPARE(withSuffix("settings.txt"), QString("settings.txt.spt"));
        const QString sep = QDir::separator();
        QCOMPARE(folderOf("a" + sep + "b" + sep + "c.spt"), QString("a" + sep + "b"));
        QCOMPARE(folderOf("c.spt"), QString("c.spt"));
    }

    void failedSaveReportsAndWritesNothing()
    {
        Device d;
        ChannelRecord *rpm = d.add("rpm", 9, 1);
        QTemporaryDir dir;
        SaveResult r = save(dir.filePath("no/such/folder/x.spt"), false, "", TriggerSettings(), { rpm });
        QVERIFY(!r.saved);
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
