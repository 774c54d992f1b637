#include "grouprecords.h"

GroupRecords::GroupRecords(DecodeDataLogged &decoder, const QVector<PeriodGroup> &groups, int prefix)
    : m_decoder(decoder), m_groups(groups), m_prefix(prefix)
{
    // Room for what a group takes from one slice of modules, many times over,
    // so a share is written out seldom and in large pieces.
    const qint64 slice = qMax<qint64>(1, (128 << 10) / qMax(1, decoder.numBytesModulo()));
    size_t bufferBytes = 0;
    for (int gi = 0; gi < groups.size(); ++gi) {
        const PeriodGroup &g = groups[gi];
        const qint64 perModule = decoder.maxPeriodFind() / g.period;
        const qint64 size = recordSize(gi);
        const qint64 chunk = qint64(PeriodGroups::chunkRecords(g)) * size + SampleCodec::RecordCodec::Slack;
        m_share.push_back(size_t(qMax<qint64>(qMax<qint64>(16 << 10, chunk), 16 * slice * perModule * size)));
        bufferBytes += m_share.back();
    }
    if (!m_buffer.allocate(bufferBytes))
        return;
    const QVector<ChannelInfo> &channels = decoder.channels();
    for (const PeriodGroup &g : groups)
        m_codecs.push_back(std::make_unique<SampleCodec::RecordCodec>(channels, g.first, g.count, g.records));
}

qint64 GroupRecords::totalBytes() const
{
    qint64 total = 0;
    for (int gi = 0; gi < m_groups.size(); ++gi)
        total += m_groups[gi].records * recordSize(gi);
    return total;
}

void GroupRecords::place(StreamFile &file, int gi, quint64 at)
{
    quint8 *region = m_buffer.data();
    for (int i = 0; i < gi; ++i)
        region += m_share[size_t(i)];
    if (m_records.size() <= size_t(gi))
        m_records.resize(size_t(gi) + 1, PlacedOutput(file, 0, nullptr, 0));
    m_records[size_t(gi)] = PlacedOutput(file, at, region, int(m_share[size_t(gi)]));
}
