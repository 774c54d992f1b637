#include "decodedatalogged.h"

#include <QDebug>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

constexpr int HeaderRunCount = 39;
constexpr int HeaderRunsFound = 40;
constexpr int HeaderRunTable = 42;
constexpr int RunTableEntries = 207;
constexpr int TickMs = 5;

template<typename T>
T readLE(const quint8 *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return qFromLittleEndian(v);
}

QByteArray fixedText(const quint8 *p, int size)
{
    const auto *c = reinterpret_cast<const char *>(p);
    return QByteArray(c, int(qstrnlen(c, size)));
}

QString hex8(quint64 v)
{
    return QStringLiteral("0x%1").arg(quint32(v), 8, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"), QLatin1String("0x"));
}

} // namespace

ChannelInfo ChannelInfo::fromRecord(const quint8 *r, int index)
{
    ChannelInfo c;
    c.imageIndex = index;
    c.period = readLE<quint16>(r + 2);
    c.flags = r[4];
    c.zeroReference = readLE<qint32>(r + 6);
    c.g1 = readLE<float>(r + 10);
    c.o1 = readLE<float>(r + 14);
    c.g2 = readLE<float>(r + 18);
    c.o2 = readLE<float>(r + 22);
    c.label = fixedText(r + 26, 16);
    c.unit = fixedText(r + 42, 8);
    c.address = readLE<quint32>(r + 50);
    c.sampleSize = r[54];
    return c;
}

const quint8 *SampleList::at(qint64 i) const
{
    if (i < 0 || !m_offsets)
        return nullptr;
    const qint64 perModule = m_offsets->size();
    for (const Segment &s : m_segments) {
        if (i < s.count)
            return m_memory + s.start + quint64(i / perModule) * m_moduleBytes + (*m_offsets)[int(i % perModule)];
        i -= s.count;
    }
    return nullptr;
}

SampleList::Cursor::Cursor(const SampleList &list) : m_list(&list), m_left(list.m_count)
{
    if (m_left > 0)
        enterSegment();
}

void SampleList::Cursor::enterSegment()
{
    while (m_list->m_segments[m_segment].count == 0)
        ++m_segment;
    const Segment &s = m_list->m_segments[m_segment];
    m_segmentLeft = s.count;
    m_module = m_list->m_memory + s.start;
    m_slot = 0;
}

const quint8 *SampleList::Cursor::next()
{
    const QVector<quint32> &offsets = *m_list->m_offsets;
    const quint8 *p = m_module + offsets[m_slot];
    if (++m_slot == offsets.size()) {
        m_slot = 0;
        m_module += m_list->m_moduleBytes;
    }
    --m_left;
    if (--m_segmentLeft == 0 && m_left > 0) {
        ++m_segment;
        enterSegment();
    }
    return p;
}

DecodeDataLogged::DecodeDataLogged(const LoggedDownload &download) : m_in(download)
{
    if (!m_in.memory)
        m_in.memorySize = 0;
    m_blockSize = m_in.blockSize;
    analyse();
    readRunTable();
}

DecodeDataLogged::~DecodeDataLogged() = default;

void DecodeDataLogged::note(const QString &line)
{
    qDebug().noquote() << line;
    m_diagnostics.append(line);
}

void DecodeDataLogged::analyse()
{
    if (m_in.imageHead) {
        for (int i = 12; i < 20; ++i)
            m_channelCount += m_in.imageHead[i];
    }
    if (m_channelCount == 0) {
        m_refusal = QStringLiteral("no channels in the configuration");
        return;
    }
    if (!m_in.records || quint32(m_channelCount) > m_in.capacity) {
        m_refusal = QStringLiteral("the configuration counts %1 channels but holds %2")
                        .arg(m_channelCount).arg(m_in.records ? m_in.capacity : 0);
        return;
    }
    m_channels.reserve(m_channelCount);
    for (int i = 0; i < m_channelCount; ++i)
        m_channels.append(ChannelInfo::fromRecord(m_in.records + ChannelInfo::RecordSize * i, i));
    std::stable_sort(m_channels.begin(), m_channels.end(),
                     [](const ChannelInfo &a, const ChannelInfo &b) { return a.period < b.period; });
    m_minPeriod = m_channels.first().period;
    m_maxPeriod = m_channels.last().period;

    for (const ChannelInfo &c : std::as_const(m_channels)) {
        if (c.sampleSize < 1 || c.sampleSize > 4)
            m_refusal = QStringLiteral("channel %1 (\"%2\") has a sample size of %3 bytes")
                            .arg(c.imageIndex).arg(QString::fromLatin1(c.label)).arg(c.sampleSize);
        else if (c.period == 0)
            m_refusal = QStringLiteral("channel %1 (\"%2\") has a sampling period of 0")
                            .arg(c.imageIndex).arg(QString::fromLatin1(c.label));
        else if (m_maxPeriod % c.period || c.period % m_minPeriod)
            m_refusal = QStringLiteral("the sampling period %1 ms of channel %2 does not fit the periods %3 to %4 ms")
                            .arg(c.period).arg(c.imageIndex).arg(m_minPeriod).arg(m_maxPeriod);
        if (!m_refusal.isEmpty())
            return;
    }
    if (m_maxPeriod < TickMs) {
        m_refusal = QStringLiteral("the longest sampling period is %1 ms, below 5 ms").arg(m_maxPeriod);
        return;
    }

    m_slotsPerModule = m_maxPeriod / m_minPeriod;
    m_offsets.resize(m_channelCount);
    m_slotSamples.resize(m_slotsPerModule);
    quint32 pos = 0;
    for (int s = 0; s < m_slotsPerModule; ++s) {
        const int t = (s + 1) * m_minPeriod;
        for (int c = 0; c < m_channelCount; ++c) {
            if (t % m_channels[c].period == 0) {
                m_offsets[c].append(pos);
                m_slotSamples[s].append(c);
                pos += quint32(m_channels[c].sampleSize);
            }
        }
    }
    m_moduleBytes = pos;
}

void DecodeDataLogged::readRunTable()
{
    if (!m_in.header)
        return;
    int n = m_in.header[HeaderRunCount];
    if (n > RunTableEntries) {
        note(QStringLiteral("the run table claims %1 entries; only %2 exist").arg(n).arg(RunTableEntries));
        n = RunTableEntries;
    }
    QVector<quint32> entries(n);
    for (int j = 0; j < n; ++j)
        entries[j] = readLE<quint32>(m_in.header + HeaderRunTable + 4 * j);
    const int runs = int(std::count(entries.cbegin(), entries.cend(), 0u));
    m_in.header[HeaderRunsFound] = quint8(runs);

    int j = 0;
    while (j < n && entries[j] != 0)
        ++j;
    if (j > 0)
        note(QStringLiteral("the run table starts with %1 lap marks outside any run; they are ignored").arg(j));

    const qint64 ticksPerModule = decodable() ? m_maxPeriod / TickMs : 0;
    qint64 elapsed = 0;
    quint64 next = 0;
    m_runs.resize(runs);
    for (Run &run : m_runs) {
        ++j;   // the zero entry that opens the run
        while (j < n && entries[j] != 0) {
            run.length = entries[j];
            m_lapMarks.append(run.length + elapsed);
            ++j;
        }
        elapsed += run.length;
        run.modules = ticksPerModule ? run.length / ticksPerModule : 0;
        run.bytes = quint64(run.modules) * m_moduleBytes;
        m_bytesTotal += run.bytes;
        run.start = next;
        next += m_blockSize ? (run.bytes + m_blockSize - 1) / m_blockSize * m_blockSize : run.bytes;
    }
    m_totalTime = elapsed * TickMs;
    if (decodable() && !m_runs.isEmpty() && m_bytesTotal > m_in.memorySize)
        m_diagnostics.append(QStringLiteral("the runs need %1 bytes but %2 were downloaded")
                                 .arg(m_bytesTotal).arg(m_in.memorySize));
}

bool DecodeDataLogged::samplesInRun(int k, QVector<qint64> *counts, qint64 *slotReached) const
{
    const Run &run = m_runs[k];
    counts->fill(0, m_channelCount);
    const quint64 avail = run.start < m_in.memorySize ? m_in.memorySize - run.start : 0;
    const qint64 whole = m_moduleBytes ? qMin<quint64>(quint64(run.modules), avail / m_moduleBytes) : 0;
    for (int c = 0; c < m_channelCount; ++c)
        (*counts)[c] = whole * m_offsets[c].size();
    if (whole == run.modules)
        return true;
    // The memory ends inside module `whole`: take its samples up to the cut.
    const quint64 room = avail - quint64(whole) * m_moduleBytes;
    quint64 pos = 0;
    for (int s = 0; s < m_slotsPerModule; ++s) {
        for (int c : m_slotSamples[s]) {
            if (pos + quint64(m_channels[c].sampleSize) > room) {
                *slotReached = whole * m_slotsPerModule + s;
                return false;
            }
            pos += quint64(m_channels[c].sampleSize);
            ++(*counts)[c];
        }
    }
    *slotReached = whole * m_slotsPerModule;
    return false;
}

void DecodeDataLogged::buildLists(int first, int last, const char *method)
{
    m_lists.clear();
    for (int c = 0; c < m_channelCount; ++c) {
        SampleList l;
        l.channel = &m_channels[c];
        l.m_memory = m_in.memory;
        l.m_moduleBytes = m_moduleBytes;
        l.m_offsets = &m_offsets[c];
        m_lists.append(l);
    }
    QVector<qint64> counts;
    for (int k = first; k <= last; ++k) {
        qint64 reached = 0;
        if (!samplesInRun(k, &counts, &reached)) {
            const QString prefix = QStringLiteral("DecodeDataLogged::%1() - ").arg(QLatin1String(method));
            note(prefix + QStringLiteral("Il puntatore ai dati scaricati ha oltrepassato la dimensione, percio' mi fermo!!!"));
            note(prefix + QStringLiteral("numCampioniRun Errore = %1 - numCampioniRun = %2 - numRun = %3 - maxPeriodFind = %4"
                                         " - minPeriodFind = %5 - numCampioniModulo = %6 - numBytesModulo = %7 - debugBytesTotali = %8")
                              .arg(hex8(quint64(reached)), hex8(quint64(m_runs[k].modules * m_slotsPerModule)),
                                   hex8(quint64(m_runs.size())), hex8(quint64(m_maxPeriod)), hex8(quint64(m_minPeriod)),
                                   hex8(quint64(m_slotsPerModule)), hex8(m_moduleBytes), hex8(m_bytesTotal)));
        }
        for (int c = 0; c < m_channelCount; ++c) {
            if (counts[c] > 0) {
                m_lists[c].m_segments.append({m_runs[k].start, counts[c]});
                m_lists[c].m_count += counts[c];
            }
        }
    }
}

const QList<SampleList> *DecodeDataLogged::getVarDataInRun(int k)
{
    if (!decodable() || k < 0 || k >= m_runs.size())
        return nullptr;
    if (k != m_cachedRun) {
        buildLists(k, k, "getVarDataInRun");
        m_cachedRun = k;
    }
    return &m_lists;
}

const QList<SampleList> *DecodeDataLogged::getVarDataInAllRun()
{
    if (!decodable() || m_runs.isEmpty())
        return nullptr;
    buildLists(0, m_runs.size() - 1, "getVarDataInAllRun");
    m_cachedRun = -1;
    return &m_lists;
}

qint64 DecodeDataLogged::sampleCount(int channel) const
{
    if (!decodable() || channel < 0 || channel >= m_channelCount)
        return 0;
    qint64 total = 0, reached = 0;
    QVector<qint64> counts;
    for (int k = 0; k < m_runs.size(); ++k) {
        samplesInRun(k, &counts, &reached);
        total += counts[channel];
    }
    return total;
}

QVector<qint64> DecodeDataLogged::runLengths() const
{
    QVector<qint64> v;
    for (const Run &r : m_runs)
        v.append(r.length);
    return v;
}

QVector<qint64> DecodeDataLogged::modulesPerRun() const
{
    QVector<qint64> v;
    for (const Run &r : m_runs)
        v.append(r.modules);
    return v;
}

QVector<quint64> DecodeDataLogged::bytesPerRun() const
{
    QVector<quint64> v;
    for (const Run &r : m_runs)
        v.append(r.bytes);
    return v;
}

QVector<quint64> DecodeDataLogged::runStarts() const
{
    QVector<quint64> v;
    for (const Run &r : m_runs)
        v.append(r.start);
    return v;
}

QByteArray DecodeDataLogged::ecuInfo() const
{
    return m_in.header ? QByteArray(reinterpret_cast<const char *>(m_in.header), 32) : QByteArray(32, '\0');
}
