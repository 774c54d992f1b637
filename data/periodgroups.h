#pragma once
// What the MDF 4, CSV and quick-look outputs share: channels of one sampling
// period taken together, walked run by run with a time for every record.
// Sample j of a channel of period P in run k lies at the run's start plus
// (j + 1) P, the logger taking its first slot one period after the run opens;
// a run starts where the lengths of the runs before it end, as the lap marks
// count.

#include "decodedatalogged.h"
#include "samplecodec.h"

#include <QVector>

#include <limits>
#include <vector>

struct PeriodGroup
{
    int first = 0, count = 0;     // channels of the decoder
    int period = 0;               // ms
    int recordBytes = 0;          // sum of the sample sizes
    QVector<qint64> perRun;       // complete records in each run
    qint64 records = 0;
};

namespace PeriodGroups {

// Why the download cannot be walked by period (refused, or no run); empty
// when it can.
QString unusable(const DecodeDataLogged &decoder);
// Runs are read with getVarDataInRun(), so earlier lists are invalidated.
QVector<PeriodGroup> of(DecodeDataLogged &decoder);
// Start of each run in ms from the start of the first.
QVector<qint64> runStartsMs(const DecodeDataLogged &decoder);

// Calls f(timeMs, samples) for every record of the group in time order;
// samples[i] points at the stored (big-endian) sample of channel first + i.
template<typename F>
void forEachRecord(DecodeDataLogged &decoder, const PeriodGroup &g, F f)
{
    const QVector<qint64> starts = runStartsMs(decoder);
    std::vector<const quint8 *> samples(size_t(g.count));
    for (int k = 0; k < g.perRun.size(); ++k) {
        if (g.perRun[k] == 0)
            continue;
        const QList<SampleList> *lists = decoder.getVarDataInRun(k);
        std::vector<SampleList::Cursor> cursors;
        cursors.reserve(size_t(g.count));
        for (int c = 0; c < g.count; ++c)
            cursors.emplace_back((*lists)[g.first + c]);
        qint64 t = starts[k];
        for (qint64 r = 0; r < g.perRun[k]; ++r) {
            t += g.period;
            for (int c = 0; c < g.count; ++c)
                samples[size_t(c)] = cursors[size_t(c)].next();
            f(t, samples.data());
        }
    }
}

// Records of a group handed over in one call of forEachSlice() at most.
inline int chunkRecords(const PeriodGroup &g)
{
    return qBound(16, (8 << 10) / qMax(1, g.recordBytes), 1024);
}

// Every run's lists as getVarDataInRun() gives them (empty for a run without
// any), held together so that more than one thread can walk one download.
using RunLists = std::vector<QList<SampleList>>;
RunLists runLists(DecodeDataLogged &decoder);

// Reads the memory once for all groups, a slice of modules at a time, so
// the slice is still in the cache while each group takes its records from
// it (a pass per group would read the memory as often as there are periods).
// Calls f(group, run, first record in the run, records, m) with records[r]
// pointing at the first stored sample of record r, at most about 8 KiB of
// records a call; runEnd(run) after each run. A group may be part of a
// period group: its first channel leads, its records start there.
template<typename F, typename R>
void forEachSlice(const DecodeDataLogged &decoder, const RunLists &runs, const QVector<PeriodGroup> &groups, F f,
                  R runEnd)
{
    const qint64 moduleBytes = qMax(1, decoder.numBytesModulo());
    const qint64 sliceModules = qMax<qint64>(1, (128 << 10) / moduleBytes);
    std::vector<const quint8 *> records(1024);
    const QVector<quint64> starts = decoder.runStarts();
    const quint8 *const memoryEnd = decoder.memory() + decoder.memorySize();
    for (int k = 0; k < decoder.numRun() && k < int(runs.size()); ++k) {
        const QList<SampleList> &lists = runs[size_t(k)];
        if (lists.isEmpty())
            continue;
        qint64 modules = 0;
        for (const PeriodGroup &g : groups)
            modules = qMax(modules, (g.perRun.value(k) + lists[g.first].perModule() - 1) / lists[g.first].perModule());
        const quint8 *const runStart = decoder.memory() + starts[k];
        for (qint64 m0 = 0; m0 < modules; m0 += sliceModules) {
            // The next slice is asked for while this one is worked on.
            if (m0 + sliceModules < modules) {
                const quint8 *p = runStart + (m0 + sliceModules) * moduleBytes;
                const quint8 *end = qMin(memoryEnd, p + sliceModules * moduleBytes);
                for (; p < end; p += 64)
                    __builtin_prefetch(p);
            }
            for (int gi = 0; gi < groups.size(); ++gi) {
                const PeriodGroup &g = groups[gi];
                const SampleList &lead = lists[g.first];
                const int perModule = lead.perModule();
                const qint64 end = qMin(g.perRun[k], (m0 + sliceModules) * perModule);
                const qint64 chunk = chunkRecords(g);
                const quint32 *offsets = lead.offsets();
                const quint8 *module = end > m0 * perModule ? lead.segmentBase(0) + m0 * moduleBytes : nullptr;
                int q = 0;
                for (qint64 r = m0 * perModule; r < end;) {
                    const int m = int(qMin(chunk, end - r));
                    for (int i = 0; i < m; ++i) {
                        records[size_t(i)] = module + offsets[q];
                        if (++q == perModule) {
                            q = 0;
                            module += moduleBytes;
                        }
                    }
                    f(gi, k, r, records.data(), m);
                    r += m;
                }
            }
        }
        runEnd(k);
    }
}

template<typename F>
void forEachSlice(DecodeDataLogged &decoder, const QVector<PeriodGroup> &groups, F f)
{
    forEachSlice(decoder, runLists(decoder), groups, f, [](int) {});
}

} // namespace PeriodGroups

// The value a file stores for a sample: zero-corrected where the channel asks
// for it (as the MDF 3 writer does), cut to the sample size.
struct StoredSample
{
    int size = 1;
    bool isSigned = false, zero = false;
    SampleCodec::Coefficients k;
    double zeroEng = 0;

    explicit StoredSample(const ChannelInfo &c)
        : size(c.sampleSize), isSigned(c.isSigned()), zero(c.zeroCorrected()), k(SampleCodec::Coefficients::of(c))
    {
        zeroEng = k.eng(c.zeroReference);
    }
    quint32 raw(const quint8 *p) const
    {
        quint32 v = SampleCodec::readRaw(p, size);
        if (zero)
            v = SampleCodec::zeroCorrect(v, k, zeroEng);
        return size >= 4 ? v : v & ((1u << (8 * size)) - 1);
    }
    // The stored value as a number: two's complement for a signed channel.
    double number(quint32 stored) const
    {
        if (isSigned) {
            const int shift = 32 - 8 * size;
            return double(qint32(stored << shift) >> shift);
        }
        return double(stored);
    }
    // Engineering value as an MDF reader computes it from the stored value.
    double eng(quint32 stored) const
    {
        const double x = number(stored);
        if (x <= 2147483647.0)
            return k.eng(qint32(x));
        const double den = k.g2 * x + k.o2;
        return den == 0 ? std::numeric_limits<double>::max() : (k.g1 * x + k.o1) / den;
    }
};
