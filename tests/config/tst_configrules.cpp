// Sampling rules, estimates, conversions and trigger input rules, without widgets.
#include <QtTest>

#include "channelselectionstate.h"
#include "channelset.h"
#include "conversion.h"
#include "devicerecords.h"
#include "samplingrules.h"
#include "triggerrules.h"

#include <limits>

using namespace SamplingRules;

namespace {
struct Device : ChannelSet
{
    QList<ChannelRecord *> selected;
    LoggerTable table;
    ChannelSelectionState state;

    Device(quint32 slotCount, quint32 availableBytes = 1000000)
    {
        table.valid = 1;
        table.channelsCountOffline = slotCount;
        table.availableBytes = availableBytes;
        state.setSelectedList(&selected);
        state.setLoggerTable(&table);
        state.setFlags(true, false);
    }
    ChannelRecord *channel(quint32 bytes, quint32 period = 5)
    {
        const quint32 n = quint32(channels.size());
        return add("v" + QByteArray::number(n), n, bytes, period);
    }
};
} // namespace

class TestConfigRules : public QObject
{
    Q_OBJECT
private slots:
    void bandwidthLimitIsHalfTheSlotsPerPeriod_data()
    {
        QTest::addColumn<int>("slotCount");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("period");
        QTest::addColumn<bool>("fits");
        QTest::newRow("64 slotCount, 16 x 2 bytes at 5 ms") << 64 << 16 << 2 << 5 << true;
        QTest::newRow("64 slotCount, 17 x 2 bytes at 5 ms") << 64 << 17 << 2 << 5 << false;
        QTest::newRow("64 slotCount, 32 x 1 byte at 640 ms") << 64 << 32 << 1 << 640 << true;
        QTest::newRow("64 slotCount, 33 x 1 byte at 640 ms") << 64 << 33 << 1 << 640 << false;
        QTest::newRow("odd slotCount round down: 5 slotCount, 2 bytes") << 5 << 1 << 2 << 10 << true;
        QTest::newRow("odd slotCount round down: 5 slotCount, 3 x 1 byte") << 5 << 3 << 1 << 10 << false;
        QTest::newRow("period between classes counts with the faster one") << 64 << 17 << 2 << 9 << false;
        QTest::newRow("period over 640 counts with 640") << 64 << 17 << 2 << 1000 << false;
        QTest::newRow("empty list never fits") << 64 << 0 << 2 << 5 << false;
    }

    void bandwidthLimitIsHalfTheSlotsPerPeriod()
    {
        QFETCH(int, slotCount);
        QFETCH(int, count);
        QFETCH(int, bytes);
        QFETCH(int, period);
        QFETCH(bool, fits);
        Device d(slotCount);
        QList<ChannelRecord *> list;
        for (int i = 0; i < count; ++i)
            list << d.channel(bytes, period);
        QCOMPARE(fitsBandwidth(&list, slotCount), fits);
        QVERIFY(!fitsBandwidth(nullptr, slotCount));
    }

    void incrementalCounterAgreesWithFullCheck()
    {
        // Adds and removes in a fixed pseudo-random order; the counter must give the
        // same answer as a full pass after every step.
        Device d(24);
        QList<ChannelRecord *> list;
        BandwidthCounter counter(24);
        quint32 seed = 7;
        auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
        for (int step = 0; step < 400; ++step) {
            if (!list.isEmpty() && next() % 3 == 0) {
                ChannelRecord *ch = list.takeAt(int(next() % list.size()));
                counter.remove(ch->periodMs, ch->loggedBytes);
            } else {
                ChannelRecord *ch = d.channel(1 + next() % 2, 5u << (next() % 8));
                list << ch;
                counter.add(ch->periodMs, ch->loggedBytes);
            }
            if (!list.isEmpty())
                QCOMPARE(counter.fits(), fitsBandwidth(&list, 24));
        }
    }

    void addRefusalsLeaveSelectionUnchanged()
    {
        Device d(64);
        ChannelRecord *a = d.channel(2, 20);
        QCOMPARE(d.state.add(a, 10), ChannelSelectionState::AddResult::Added);
        QCOMPARE(d.state.add(a, 5), ChannelSelectionState::AddResult::AlreadySelected);
        QCOMPARE(a->periodMs, 10u);

        // Wider than 16 bits: refused, but the period asked for stays on the record.
        ChannelRecord *wide = d.channel(4, 640);
        QCOMPARE(d.state.add(wide, 20), ChannelSelectionState::AddResult::TooWide);
        QCOMPARE(wide->periodMs, 20u);
        QCOMPARE(d.selected.size(), 1);

        d.table.valid = 0;
        QCOMPARE(d.state.add(d.channel(1), 5), ChannelSelectionState::AddResult::Ignored);
        QCOMPARE(d.selected.size(), 1);
    }

    void periodLoopsEndWhenNothingFits()
    {
        // Two slotCount leave one byte per period: a 2-byte channel fits nowhere.
        Device d(2);
        ChannelRecord *ch = d.channel(2, 80);
        QCOMPARE(d.state.add(ch, 5), ChannelSelectionState::AddResult::NoRoom);
        QCOMPARE(ch->periodMs, 80u);
        QVERIFY(d.selected.isEmpty());

        // One byte in every class (more channels than slots, as a configuration read
        // back from the ECU may have): a full round of arrow steps ends where it began.
        Device full(2);
        for (int k = 0; k < PeriodClassCount; ++k)
            full.selected << full.channel(1, 5u << k);
        full.state.resync();
        ChannelRecord *first = full.selected.first();
        QVERIFY(full.state.stepPeriod(first, true));
        QCOMPARE(first->periodMs, 5u);
        QVERIFY(full.state.stepPeriod(first, false));
        QCOMPARE(first->periodMs, 5u);
        // The settings dialog asked for a full period: it goes round to the free one.
        first->periodMs = 320;
        QVERIFY(full.state.refit(first, 5));
        QCOMPARE(first->periodMs, 5u);

        // A configuration read back from the ECU that overfills a class: no step can
        // make the selection fit, so nothing moves and nothing is added.
        Device over(6);
        for (int i = 0; i < 4; ++i)
            over.selected << over.channel(1, 5);
        over.selected << over.channel(1, 40);
        over.state.resync();
        ChannelRecord *third = over.selected.last();
        QVERIFY(!over.state.stepPeriod(third, true));
        QCOMPARE(third->periodMs, 40u);
        third->periodMs = 80;
        QVERIFY(!over.state.refit(third, 40));
        QCOMPARE(third->periodMs, 40u);
        QCOMPARE(over.state.add(over.channel(1, 20), 10), ChannelSelectionState::AddResult::NoRoom);
        QCOMPARE(over.selected.size(), 5);
    }

    void arrowStepsWrapAndSkipFullPeriods()
    {
        Device d(64);
        ChannelRecord *ch = d.channel(2);
        d.state.add(ch, 5);
        d.state.setFastestPeriod(20); // Right wraps under 6 ms, Left wraps to the fastest
        QVERIFY(d.state.stepPeriod(ch, true));
        QCOMPARE(ch->periodMs, 640u);
        QVERIFY(d.state.stepPeriod(ch, false));
        QCOMPARE(ch->periodMs, 20u);

        // 320 ms is full: stepping down from 640 goes on to 160.
        Device e(4);
        e.state.add(e.channel(2), 320);
        ChannelRecord *c = e.channel(2);
        e.state.add(c, 640);
        QVERIFY(e.state.stepPeriod(c, true));
        QCOMPARE(c->periodMs, 160u);
        QCOMPARE(frequencyChoices(20), QStringList({ "50", "25", "12.5", "6.25", "3.125", "1.5625" }));
        QCOMPARE(periodFromFrequencyText("1.5625"), 640u);
    }

    void acquisitionTimeTexts_data()
    {
        QTest::addColumn<quint32>("available");
        QTest::addColumn<float>("rate");
        QTest::addColumn<QString>("text");
        QTest::newRow("no channel") << 1000000u << 0.0f << "-------";
        QTest::newRow("5000 s") << 1000000u << 200.0f << "01:23:20";
        QTest::newRow("320000 s") << 1000000u << 3.125f << "3 d  16:53:20";
        QTest::newRow("one day exactly") << 86400u << 1.0f << "1 d  00:00:00";
        QTest::newRow("just under a day") << 86399u << 1.0f << "23:59:59";
        QTest::newRow("fraction truncated") << 1000u << 3.0f << "00:05:33";
    }

    void acquisitionTimeTexts()
    {
        QFETCH(quint32, available);
        QFETCH(float, rate);
        QFETCH(QString, text);
        QCOMPARE(acquisitionTimeText(available, rate), text);
    }

    void memoryStatusTexts()
    {
        MemoryStatus m = memoryStatus(500000, 1000000, 5000.0f, false);
        QCOMPARE(m.elapsedAndRemaining, QString("00:41:40 / 00:41:40"));
        QCOMPARE(m.percentUsed, QString("50"));
        QCOMPARE(m.downloadEstimate, QString("00:00:10"));
        m = memoryStatus(1000000 / 3, 1000000, 5000.0f, true);
        QCOMPARE(m.percentUsed, QString("33.33"));
        QCOMPARE(m.elapsedAndRemaining, QString("00:27:47 / 00:55:33")); // 1666.665 rounds up
        m = memoryStatus(5591040, 1000000, 10.0f, true);
        QCOMPARE(m.elapsedAndRemaining, QString("00:00:56 / 00:00:00")); // never negative
        QCOMPARE(m.downloadEstimate, QString("00:00:10"));
        m = memoryStatus(0, 0, 0, false); // no logger table: no division by zero
        QCOMPARE(m.percentUsed, QString("0"));
    }

    void conversionRoundTripsEveryWidth_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("isSigned");
        QTest::addColumn<double>("g1");
        QTest::addColumn<double>("o1");
        QTest::addColumn<double>("g2");
        QTest::addColumn<double>("o2");
        QTest::addColumn<bool>("positiveOnly");
        // Scalings whose results are exact in binary, and one rational scaling
        // (g2 != 0) whose rounding errors only round-trip for positive raw values:
        // a negative value a hair above its integer is rounded down past it.
        for (int bytes : { 1, 2, 4 }) {
            for (bool s : { false, true }) {
                const QByteArray tag = QByteArray::number(bytes) + (s ? " signed" : " unsigned");
                QTest::newRow(tag + " gain 0.25 offset -100") << bytes << s << 0.25 << -100.0 << 0.0 << 1.0 << false;
                QTest::newRow(tag + " 3/4") << bytes << s << 3.0 << 0.0 << 0.0 << 4.0 << false;
                QTest::newRow(tag + " rational") << bytes << s << 1.0 << 5.0 << 1.0 / 1024 << 2.0 << true;
            }
        }
    }

    void conversionRoundTripsEveryWidth()
    {
        QFETCH(int, bytes);
        QFETCH(bool, isSigned);
        QFETCH(double, g1);
        QFETCH(double, o1);
        QFETCH(double, g2);
        QFETCH(double, o2);
        QFETCH(bool, positiveOnly);
        const Conversion::RawRange r = Conversion::rawRange(bytes, isSigned);
        QCOMPARE(r.maxRaw, isSigned ? (qint64(1) << (bytes * 8 - 1)) - 1 : (qint64(1) << (bytes * 8)) - 1);
        QCOMPARE(r.minRaw, isSigned ? -(qint64(1) << (bytes * 8 - 1)) : 0);

        QList<qint64> raws { r.minRaw, r.minRaw + 1, -1, 0, 1, 100, r.maxRaw / 3, r.maxRaw - 1, r.maxRaw };
        for (qint64 v : raws) {
            if (v < r.minRaw || v > r.maxRaw)
                continue;
            // Raw values travel as signed 32-bit: 0xFFFFFFFF is -1 here.
            const qint32 raw = qint32(quint32(v));
            if (positiveOnly && raw < 0)
                continue;
            const double eng = Conversion::binToEng(raw, g1, o1, g2, o2);
            QVERIFY2(Conversion::engToBin(eng, g1, o1, g2, o2) == raw, qPrintable(QString::number(v)));
        }
    }

    void conversionLimitsAndRounding()
    {
        using namespace Conversion;
        // g1 0.5, o1 10: 20 -> raw 20; 10.4 -> 0.8 rounds up to 1; 10.2 -> 0.4 down to 0.
        QCOMPARE(engToBin(20, 0.5, 10, 0, 1), 20);
        QCOMPARE(engToBin(10.4, 0.5, 10, 0, 1), 1);
        QCOMPARE(engToBin(10.2, 0.5, 10, 0, 1), 0);
        QCOMPARE(engToBin(10.25, 0.5, 10, 0, 1), 1);
        // Negative values always round down.
        QCOMPARE(engToBin(9.9, 0.5, 10, 0, 1), -1);
        QCOMPARE(engToBin(9.6, 0.5, 10, 0, 1), -1);
        QCOMPARE(engToBin(9.0, 0.5, 10, 0, 1), -2);
        // Limits.
        QCOMPARE(engToBin(5, 0, 1, 0, 1), std::numeric_limits<qint32>::min());
        QCOMPARE(engToBin(1e12, 1, 0, 0, 1), std::numeric_limits<qint32>::max());
        QCOMPARE(engToBin(-1e12, 1, 0, 0, 1), std::numeric_limits<qint32>::min());
        QCOMPARE(engToBin(2, 2, -5, 1, 0), std::numeric_limits<qint32>::max()); // x = 5 / 0
        QCOMPARE(engToBin(1, 1, 0, 1, 0), std::numeric_limits<qint32>::min());  // x = 0 / 0
        QCOMPARE(binToEng(-2, 1, 0, 1, 2), std::numeric_limits<double>::max());
        QCOMPARE(binToEng(qint32(0xFFFFFFFFu), 1, 0, 0, 1), -1.0);
        ChannelRecord ch;
        ch.g1 = 0.5f;
        ch.o1 = 10;
        ch.o2 = 1;
        QCOMPARE(binToEng(4, ch), 12.0);
        QCOMPARE(engToBin(12.0, ch), 4);
    }

    void numberFieldStates_data()
    {
        using S = TriggerRules::NumberState;
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("bottom");
        QTest::addColumn<double>("top");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<int>("state");
        QTest::newRow("above range, typeable") << "30" << 0.5 << 25.5 << 1 << int(S::Intermediate);
        QTest::newRow("too many decimals, typeable") << "2.35" << 0.5 << 25.5 << 1 << int(S::Intermediate);
        QTest::newRow("minus without negative range") << "-1" << 0.5 << 25.5 << 1 << int(S::Invalid);
        QTest::newRow("minus with negative range") << "-" << -5.0 << 5.0 << 5 << int(S::Intermediate);
        QTest::newRow("letters") << "1a" << -5.0 << 5.0 << 5 << int(S::Invalid);
        QTest::newRow("exponent") << "1e-3" << -5.0 << 5.0 << 5 << int(S::Acceptable);
        QTest::newRow("infinity is no number") << "inf" << -5.0 << 5.0 << 5 << int(S::Invalid);
    }

    void numberFieldStates()
    {
        QFETCH(QString, text);
        QFETCH(double, bottom);
        QFETCH(double, top);
        QFETCH(int, decimals);
        QFETCH(int, state);
        QCOMPARE(int(TriggerRules::checkNumber(text, bottom, top, decimals)), state);
    }

    void thresholdRangeFollowsSizeSignAndScaling_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("typeCode");
        QTest::addColumn<float>("g1");
        QTest::addColumn<float>("o1");
        QTest::addColumn<double>("bottom");
        QTest::addColumn<double>("top");
        QTest::newRow("unsigned byte 1:1") << 1 << 0 << 1.0f << 0.0f << 0.0 << 255.0;
        QTest::newRow("signed word 1:1") << 2 << 1 << 1.0f << 0.0f << -32768.0 << 32767.0;
        QTest::newRow("signed byte scaled") << 1 << 1 << 0.5f << 10.0f << -54.0 << 73.5;
        QTest::newRow("decreasing scaling turned round") << 2 << 0 << -1.0f << 0.0f << -65535.0 << 0.0;
    }

    void thresholdRangeFollowsSizeSignAndScaling()
    {
        QFETCH(int, bytes);
        QFETCH(int, typeCode);
        QFETCH(float, g1);
        QFETCH(float, o1);
        QFETCH(double, bottom);
        QFETCH(double, top);
        ChannelRecord ch;
        ch.loggedBytes = bytes;
        ch.typeCode = typeCode;
        ch.g1 = g1;
        ch.o1 = o1;
        ch.o2 = 1;
        const TriggerRules::Range r = TriggerRules::thresholdRange(ch);
        QCOMPARE(r.bottom, bottom);
        QCOMPARE(r.top, top);
    }

    void thresholdCorrectionNeedsFocus()
    {
        const TriggerRules::Range r { -32768, 32767 };
        QCOMPARE(TriggerRules::correctedThreshold("40000", r, false, true), QString("32767"));
        QCOMPARE(TriggerRules::correctedThreshold("-40000", r, true, true), QString("-32768"));
        QCOMPARE(TriggerRules::correctedThreshold("40000", r, false, false), QString());
        QCOMPARE(TriggerRules::correctedThreshold("", r, false, true), QString());
        QCOMPARE(TriggerRules::correctedThreshold("1.123456", r, true, true), QString("-32768"));
        QCOMPARE(TriggerRules::correctedThreshold("1.12345", r, true, true), QString());
        QCOMPARE(TriggerRules::delayFromText("25.5"), quint8(255));
        QCOMPARE(TriggerRules::delayFromText("0.5"), quint8(5));
        QCOMPARE(TriggerRules::delayFromText("2.3"), quint8(23));
        const TriggerRules::Range wide { 0, 123456.789 };
        QCOMPARE(TriggerRules::correctedThreshold("200000", wide, false, true), QString("123456.789"));
    }
};

QTEST_GUILESS_MAIN(TestConfigRules)
#include "tst_configrules.moc"
