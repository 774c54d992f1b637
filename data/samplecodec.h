#pragma once
// Reading a logged sample and the zero correction, shared by the writers.

#include "conversion.h"
#include "decodedatalogged.h"

#include <QtEndian>
#include <QtGlobal>

#include <memory>
#include <vector>

namespace SampleCodec {

// Samples are stored most significant byte first.
inline quint32 readRaw(const quint8 *p, int size)
{
    switch (size) {
    case 1: return p[0];
    case 2: return quint32(p[0]) << 8 | p[1];
    case 3: return quint32(p[0]) << 16 | quint32(p[1]) << 8 | p[2];
    default: return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
    }
}

struct Coefficients
{
    double g1 = 1, o1 = 0, g2 = 0, o2 = 1;
    static Coefficients of(const ChannelInfo &c) { return {c.g1, c.o1, c.g2, c.o2}; }
    double eng(qint32 raw) const { return Conversion::binToEng(raw, g1, o1, g2, o2); }
    qint32 bin(double e) const { return Conversion::engToBin(e, g1, o1, g2, o2); }
};

// raw moved by the zero reference in engineering units; never negative.
inline quint32 zeroCorrect(quint32 raw, const Coefficients &k, double zeroEng)
{
    const qint32 r = k.bin(k.eng(qint32(raw)) - zeroEng);
    return r < 0 ? 0u : quint32(r);
}

// The zero correction of one channel, by table for samples of up to two
// bytes when there are enough of them to pay for it.
class ZeroCorrection
{
public:
    ZeroCorrection(const Coefficients &k, qint32 zeroReference, int sampleSize, qint64 samples)
        : m_k(k), m_zeroEng(k.eng(zeroReference))
    {
        if (sampleSize <= 2 && samples > (qint64(4) << (8 * sampleSize))) {
            m_table.resize(size_t(1) << (8 * sampleSize));
            for (quint32 raw = 0; raw < m_table.size(); ++raw)
                m_table[raw] = zeroCorrect(raw, m_k, m_zeroEng);
        }
    }
    // Raw value -> corrected value for every raw of the sample size, or null.
    const quint32 *table() const { return m_table.empty() ? nullptr : m_table.data(); }
    quint32 operator()(quint32 raw) const
    {
        if (!m_table.empty())
            return m_table[raw];
        // Logged signals move slowly: recent values come back, so a small
        // cache spares most of the floating-point round trips.
        Cached &c = m_cache[raw & (CacheSize - 1)];
        if (!c.valid || c.raw != raw)
            c = {raw, zeroCorrect(raw, m_k, m_zeroEng), true};
        return c.value;
    }

private:
    static constexpr quint32 CacheSize = 256;
    struct Cached
    {
        quint32 raw = 0, value = 0;
        bool valid = false;
    };
    mutable std::vector<Cached> m_cache = std::vector<Cached>(CacheSize);
    Coefficients m_k;
    double m_zeroEng;
    std::vector<quint32> m_table;
};

inline void putLE(quint8 *out, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i, v >>= 8)
        out[i] = quint8(v);
}

// The samples of one period's channels as the MDF files store a record:
// each little-endian, zero-corrected where the channel asks. Channels of one
// period are sampled in the same slot one after the other, so a record lies
// in memory as one piece: where the processor can, a record is turned round
// sixteen bytes at a time by a byte shuffle; else (and for the zero
// correction) channel by channel, one tight loop per sample size.
class RecordCodec
{
public:
    RecordCodec(const QVector<ChannelInfo> &channels, int first, int count, qint64 records);
    ~RecordCodec();

    // Bytes after the last record that encode() may overwrite.
    static constexpr int Slack = 16;
    // Record r of m from src[r] to out + r * stride. Input is read at most
    // Slack bytes past a record, never at or past end.
    void encode(const quint8 *const *src, int m, quint8 *out, int stride, const quint8 *end) const;

private:
    void byColumn(const quint8 *const *src, int m, quint8 *out, int stride, bool correctedOnly) const;
    struct Column
    {
        int at, size;
        std::unique_ptr<ZeroCorrection> correct;
    };
    struct Window
    {
        int at;
        quint8 mask[16];
    };
    std::vector<Column> m_columns;
    std::vector<Window> m_windows;
    int m_reach = 0;   // bytes the windows read from a record's start
    bool m_corrected = false;
};

} // namespace SampleCodec
