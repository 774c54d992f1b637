#pragma once
// The record stream the MDF writers share: every period group's records fill
// their own stretch of the output file in one pass over the memory, each
// stretch through a share of one buffer.

#include "bigbuffer.h"
#include "periodgroups.h"
#include "samplecodec.h"
#include "streamfile.h"

#include <functional>
#include <memory>
#include <vector>

class GroupRecords
{
public:
    // prefix: bytes in front of each record's samples, for the caller's stamp.
    GroupRecords(DecodeDataLogged &decoder, const QVector<PeriodGroup> &groups, int prefix);

    bool allocated() const { return m_buffer.data() != nullptr; }
    int recordSize(int gi) const { return m_prefix + m_groups[gi].recordBytes; }
    qint64 totalBytes() const;
    // Group gi's records go to the file from offset at on; every group is
    // placed before write().
    void place(StreamFile &file, int gi, quint64 at);

    // stamp(gi, run, first record in the run, records, m) fills the prefixes
    // of m records laid out recordSize(gi) apart; progress(done, total) after
    // each run and at the end.
    template<typename S>
    void write(S stamp, const std::function<void(qint64, qint64)> &progress)
    {
        const quint8 *const memoryEnd = m_decoder.memory() + m_decoder.memorySize();
        const qint64 total = totalBytes();
        qint64 done = 0;
        int lastRun = -1;
        PeriodGroups::forEachSlice(m_decoder, m_groups, [&](int gi, int run, qint64 first, const quint8 *const *src,
                                                             int m) {
            const int size = recordSize(gi);
            PlacedOutput &o = m_records[size_t(gi)];
            quint8 *p = o.room(m * size + SampleCodec::RecordCodec::Slack);
            m_codecs[size_t(gi)]->encode(src, m, p + m_prefix, size, memoryEnd);
            stamp(gi, run, first, p, m);
            o.advance(m * size);
            done += qint64(m) * size;
            if (progress && run != lastRun) {
                lastRun = run;
                progress(done, total);
            }
        });
        for (PlacedOutput &o : m_records)
            o.flush();
        if (progress)
            progress(done, total);
    }

private:
    DecodeDataLogged &m_decoder;
    const QVector<PeriodGroup> &m_groups;
    int m_prefix;
    std::vector<size_t> m_share;
    BigBuffer m_buffer;
    std::vector<PlacedOutput> m_records;
    std::vector<std::unique_ptr<SampleCodec::RecordCodec>> m_codecs;
};
