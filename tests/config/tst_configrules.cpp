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
    void bandwidthLimitIsHalfTheSlotsPerPeriod()
    {
        const struct { int slotCount, count, bytes, period; bool fits; } cases[] = {
            {64, 16, 2, 5, true}, {64, 17, 2, 5, false}, {64, 32, 1, 640, true}, {64, 33, 1, 640, false},
            {5, 1, 2, 10, true}, {5, 3, 1, 10, false}, // odd slot counts round down
            {64, 17, 2, 9, false},                     // between classes: counts with the faster one
            {64, 17, 2, 1000, false},                  // over 640: counts with 640
            {64, 0, 2, 5, false}};                     // an empty list never fits
        for (const auto &c : cases) {
            Device d(c.slotCount);
            QList<ChannelRecord *> list;
            for (int i = 0; i < c.count; ++i)
                list << d.channel(c.bytes, c.period);
            QCOMPARE(fitsBandwidth(&list, c.slotCount), c.fits);
        }
        QVERIFY(!fitsBandwidth(nullptr, 64));
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

        // Sixteen 2-byte channels fill 5 ms on 64 slots: the seventeenth goes to 10 ms.
        Device e(64);
        for (int i = 0; i < 17; ++i)
            QCOMPARE(e.state.add(e.channel(2), 5), ChannelSelectionState::AddResult::Added);
        QCOMPARE(e.selected[15]->periodMs, 5u);
        QCOMPARE(e.selected[16]->periodMs, 10u);

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

    void arrowStepsSkipFullPeriods()
    {
        // 320 ms is full: stepping down from 640 goes on to 160 (wrapping is checked on the widget).
        Device e(4);
        e.state.add(e.channel(2), 320);
        ChannelRecord *c = e.channel(2);
        e.state.add(c, 640);
        QVERIFY(e.state.stepPeriod(c, true));
        QCOMPARE(c->periodMs, 160u);
        QCOMPARE(frequencyChoices(20), QStringList({ "50", "25", "12.5", "6.25", "3.125", "1.5625" }));
        QCOMPARE(periodFromFrequencyText("1.5625"), 640u);
    }

    void acquisitionTimeTexts()
    {
        const struct { quint32 available; float rate; const char *text; } cases[] = {
            {1000000, 0, "-------"}, {1000000, 200, "01:23:20"}, {1000000, 3.125f, "3 d  16:53:20"},
            {86400, 1, "1 d  00:00:00"}, {86399, 1, "23:59:59"}, {1000, 3, "00:05:33"}};
        for (const auto &c : cases)
            QCOMPARE(acquisitionTimeText(c.available, c.rate), QString(c.text));
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

    // Scalings whose results are exact in binary, and one rational scaling
    // (g2 != 0) whose rounding errors only round-trip for positive raw values:
    // a negative value a hair above its integer is rounded down past it.
    void conversionRoundTripsEveryWidth()
    {
        const struct { double g1, o1, g2, o2; bool positiveOnly; } scalings[] = {
            {0.25, -100, 0, 1, false}, {3, 0, 0, 4, false}, {1, 5, 1.0 / 1024, 2, true}};
        for (int bytes : { 1, 2, 4 }) {
            for (bool isSigned : { false, true }) {
                const Conversion::RawRange r = Conversion::rawRange(bytes, isSigned);
                const int bits = bytes * 8;
                QCOMPARE(r.maxRaw, isSigned ? (qint64(1) << (bits - 1)) - 1 : (qint64(1) << bits) - 1);
                QCOMPARE(r.minRaw, isSigned ? -(qint64(1) << (bits - 1)) : 0);
                for (const auto &c : scalings) {
                    for (qint64 v : { r.minRaw, r.minRaw + 1, qint64(-1), qint64(0), qint64(100), r.maxRaw / 3, r.maxRaw }) {
                        // Raw values travel as signed 32-bit: 0xFFFFFFFF is -1 here.
                        const qint32 raw = qint32(quint32(v));
                        if (v < r.minRaw || (c.positiveOnly && raw < 0))
                            continue;
                        const double eng = Conversion::binToEng(raw, c.g1, c.o1, c.g2, c.o2);
                        QVERIFY2(Conversion::engToBin(eng, c.g1, c.o1, c.g2, c.o2) == raw, qPrintable(QString::number(v)));
                    }
                }
            }
        }
    }

    void conversionLimitsAndRounding()
    {
        using namespace Conversion;
        constexpr qint32 lo = std::numeric_limits<qint32>::min(), hi = std::numeric_limits<qint32>::max();
        // eng, g1, o1, g2, o2, raw: halves and more round up, negative values always down.
        const struct { double eng, g1, o1, g2, o2; qint32 raw; } cases[] = {
            {20, 0.5, 10, 0, 1, 20}, {10.4, 0.5, 10, 0, 1, 1}, {10.2, 0.5, 10, 0, 1, 0}, {10.25, 0.5, 10, 0, 1, 1},
            {9.9, 0.5, 10, 0, 1, -1}, {9.0, 0.5, 10, 0, 1, -2}, {5, 0, 1, 0, 1, lo}, {1e12, 1, 0, 0, 1, hi},
            {-1e12, 1, 0, 0, 1, lo}, {2, 2, -5, 1, 0, hi} /* 5 / 0 */, {1, 1, 0, 1, 0, lo} /* 0 / 0 */};
        for (const auto &c : cases)
            QCOMPARE(engToBin(c.eng, c.g1, c.o1, c.g2, c.o2), c.raw);
        QCOMPARE(binToEng(-2, 1, 0, 1, 2), std::numeric_limits<double>::max());
        QCOMPARE(binToEng(qint32(0xFFFFFFFFu), 1, 0, 0, 1), -1.0);
    }

    void numberFieldStates()
    {
        using S = TriggerRules::NumberState;
        const struct { const char *text; double bottom, top; int decimals; S state; } cases[] = {
            {"30", 0.5, 25.5, 1, S::Intermediate},   // above the range, typeable
            {"2.35", 0.5, 25.5, 1, S::Intermediate}, // too many decimals, typeable
            {"-1", 0.5, 25.5, 1, S::Invalid},        // no minus without a negative range
            {"-", -5, 5, 5, S::Intermediate},     {"1a", -5, 5, 5, S::Invalid},
            {"1e-3", -5, 5, 5, S::Acceptable},    {"inf", -5, 5, 5, S::Invalid}};
        for (const auto &c : cases)
            QCOMPARE(TriggerRules::checkNumber(c.text, c.bottom, c.top, c.decimals), c.state);
    }

    void thresholdRangeFollowsSizeSignAndScaling()
    {
        const struct { quint32 bytes, typeCode; float g1, o1; double bottom, top; } cases[] = {
            {1, 0, 1, 0, 0, 255}, {2, 1, 1, 0, -32768, 32767}, {1, 1, 0.5f, 10, -54, 73.5},
            {2, 0, -1, 0, -65535, 0}}; // a decreasing scaling is turned round
        for (const auto &c : cases) {
            ChannelRecord ch;
            ch.loggedBytes = c.bytes;
            ch.typeCode = c.typeCode;
            ch.g1 = c.g1;
            ch.o1 = c.o1;
            ch.o2 = 1;
            const TriggerRules::Range r = TriggerRules::thresholdRange(ch);
            QCOMPARE(r.bottom, c.bottom);
            QCOMPARE(r.top, c.top);
        }
    }

    // A corrected or finished threshold must give a raw value inside the channel.
    void thresholdCorrections()
    {
        using namespace TriggerRules;
        const Range r { -32768, 32767 };
        QCOMPARE(correctedThreshold("-40000", r, true, true), QString("-32768"));
        QCOMPARE(correctedThreshold("40000", r, false, false), QString());
        QCOMPARE(correctedThreshold("", r, false, true), QString());
        QCOMPARE(correctedThreshold("1.123456", r, true, true), QString("-32768"));
        QCOMPARE(correctedThreshold("1.12345", r, true, true), QString());
        // Bounds rounded inwards: 16383.75 must not become 16384 (raw 65536 on 16 bits).
        QCOMPARE(correctedThreshold("20000", { 0, 16383.75 }, false, true), QString("16383.75"));
        QCOMPARE(correctedThreshold("200000", { 0, 123456.7890123 }, false, true), QString("123456.78901"));
        QCOMPARE(correctedThreshold("-1", { 0.1234567, 9 }, true, true), QString("0.12346"));
        QCOMPARE(finishedNumber("", { 0, 9 }, 5, true), QString("9"));
        QCOMPARE(finishedNumber("-", { -3, 9 }, 5, false), QString("-3"));
        QCOMPARE(finishedNumber("0.", { 0.5, 25.5 }, 1, false), QString("0.5"));
        QCOMPARE(finishedNumber("7", { 0, 9 }, 5, false), QString());

        ChannelRecord ch;
        ch.loggedBytes = 2;
        ch.g1 = 0.25f;
        ch.o2 = 1;
        QCOMPARE(thresholdRaw(16384, ch), 65535);
        QCOMPARE(thresholdRaw(-3, ch), 0);
        ch.typeCode = 1;
        QCOMPARE(thresholdRaw(-9000, ch), -32768);
        ch.g1 = 0; // no inverse: still a raw value of the channel
        QCOMPARE(thresholdRaw(5, ch), -32768);

        // An active trigger never gets a zero delay.
        for (const auto &[text, delay] : { std::pair("25.5", 255), std::pair("0.5", 5), std::pair("2.3", 23),
                                           std::pair("", 5), std::pair("0", 5) })
            QCOMPARE(delayFromText(text), quint8(delay));
    }
};

QTEST_GUILESS_MAIN(TestConfigRules)
#include "tst_configrules.moc"
