#pragma once
// Reading a logged sample and the zero correction, shared by the writers.

#include "conversion.h"
#include "decodedatalogged.h"

#include <QtGlobal>

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
    quint32 operator()(quint32 raw) const
    {
        if (!m_table.empty())
            return m_table[raw];
        if (raw != m_lastRaw || !m_hasLast) {   // logged signals often repeat
            m_lastRaw = raw;
            m_last = zeroCorrect(raw, m_k, m_zeroEng);
            m_hasLast = true;
        }
        return m_last;
    }

private:
    mutable quint32 m_lastRaw = 0, m_last = 0;
    mutable bool m_hasLast = false;
    Coefficients m_k;
    double m_zeroEng;
    std::vector<quint32> m_table;
};

inline void putLE(quint8 *out, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i, v >>= 8)
        out[i] = quint8(v);
}

} // namespace SampleCodec
