#include "samplecodec.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define BRISCA_SHUFFLE 1
#endif

namespace SampleCodec {

namespace {

#ifdef BRISCA_SHUFFLE
bool canShuffle()
{
    static const bool yes = __builtin_cpu_supports("ssse3");
    return yes;
}

__attribute__((target("ssse3"))) void shuffle(const quint8 *const *src, int m, quint8 *out, int stride,
                                              const void *windows, int count, int windowBytes)
{
    for (int r = 0; r < m; ++r, out += stride) {
        const quint8 *in = src[r];
        const auto *w = static_cast<const quint8 *>(windows);
        for (int i = 0; i < count; ++i, w += windowBytes) {
            int at;
            std::memcpy(&at, w, sizeof at);
            const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i *>(w + sizeof(int)));
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + at));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + at), _mm_shuffle_epi8(v, mask));
        }
    }
}
#endif

} // namespace

RecordCodec::RecordCodec(const QVector<ChannelInfo> &channels, int first, int count, qint64 records)
{
    for (int c = first, at = 0; c < first + count; ++c) {
        const ChannelInfo &ch = channels[c];
        m_columns.push_back({at, ch.sampleSize, nullptr});
        if (ch.zeroCorrected()) {
            m_columns.back().correct = std::make_unique<ZeroCorrection>(Coefficients::of(ch), ch.zeroReference,
                                                                        ch.sampleSize, records);
            m_corrected = true;
        }
        // Sixteen-byte windows of whole samples; a byte outside every sample
        // of its window becomes 0 and is overwritten by the next window.
        if (m_windows.empty() || at + ch.sampleSize - m_windows.back().at > 16) {
            m_windows.push_back({at, {}});
            std::memset(m_windows.back().mask, 0x80, 16);
        }
        Window &w = m_windows.back();
        for (int i = 0; i < ch.sampleSize; ++i)
            w.mask[at - w.at + i] = quint8(at - w.at + ch.sampleSize - 1 - i);
        at += ch.sampleSize;
    }
    m_reach = m_windows.empty() ? 0 : m_windows.back().at + 16;
}

RecordCodec::~RecordCodec() = default;

void RecordCodec::encode(const quint8 *const *src, int m, quint8 *out, int stride, const quint8 *end) const
{
    int shuffled = 0;
#ifdef BRISCA_SHUFFLE
    if (canShuffle() && !m_windows.empty()) {
        // Records lie in memory in ascending order: only the last few can
        // come near the end of the memory.
        while (shuffled < m && src[shuffled] + m_reach <= end)
            ++shuffled;
        shuffle(src, shuffled, out, stride, m_windows.data(), int(m_windows.size()), int(sizeof(Window)));
        if (m_corrected)
            byColumn(src, shuffled, out, stride, true);
    }
#else
    Q_UNUSED(end)
#endif
    if (shuffled < m)
        byColumn(src + shuffled, m - shuffled, out + qint64(shuffled) * stride, stride, false);
}

void RecordCodec::byColumn(const quint8 *const *src, int m, quint8 *out, int stride, bool correctedOnly) const
{
    for (const Column &col : m_columns) {
        if (correctedOnly && !col.correct)
            continue;
        quint8 *o = out + col.at;
        const int at = col.at;
        const quint32 *table = col.correct ? col.correct->table() : nullptr;
        if (table && col.size == 1) {
            for (int r = 0; r < m; ++r, o += stride)
                *o = quint8(table[src[r][at]]);
        } else if (table) {
            for (int r = 0; r < m; ++r, o += stride)
                qToLittleEndian(quint16(table[qFromBigEndian<quint16>(src[r] + at)]), o);
        } else if (col.correct) {
            for (int r = 0; r < m; ++r, o += stride)
                putLE(o, (*col.correct)(readRaw(src[r] + at, col.size)), col.size);
        } else if (col.size == 1) {
            for (int r = 0; r < m; ++r, o += stride)
                *o = src[r][at];
        } else if (col.size == 2) {
            for (int r = 0; r < m; ++r, o += stride)
                qToLittleEndian(qFromBigEndian<quint16>(src[r] + at), o);
        } else if (col.size == 4) {
            for (int r = 0; r < m; ++r, o += stride)
                qToLittleEndian(qFromBigEndian<quint32>(src[r] + at), o);
        } else {
            for (int r = 0; r < m; ++r, o += stride)
                putLE(o, readRaw(src[r] + at, col.size), col.size);
        }
    }
}

} // namespace SampleCodec
