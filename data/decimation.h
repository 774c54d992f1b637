#pragma once
// Reduces a trace to what a plot of a given width can show: for each pixel
// column of the visible time range the smallest and the largest sample, in
// the order they occur, so that a single spike among millions of samples is
// still drawn. One sample on each side of the range is kept so the line runs
// to the edges. Used by the quick-look window before a series reaches the
// chart.

#include <QPointF>
#include <QVector>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Decimation {

// The first smallest and first largest sample of aligned blocks of 16, 32,
// 64 ... samples, so that a column of many samples is reduced from a few
// blocks instead of reading them all: a zoom step costs per column, not per
// sample.
class Pyramid
{
public:
    Pyramid() = default;
    Pyramid(const double *v, size_t n);
    bool isEmpty() const { return m_min.empty(); }
    // Indices of the first smallest and first largest of v[a..b), a < b.
    void extremes(const double *v, size_t a, size_t b, size_t *iMin, size_t *iMax) const;

private:
    static constexpr size_t Base = 16;
    std::vector<std::vector<uint32_t>> m_min, m_max;   // [level][block], blocks of Base << level
};

// t ascending. With no more samples in the range than two per column they are
// returned as they are. A pyramid built over v gives the same points faster.
QVector<QPointF> minMax(const double *t, const double *v, size_t n, double t0, double t1, int columns,
                        const Pyramid *pyramid = nullptr);

// Index of the last sample at or before time, -1 when none.
qint64 sampleAtOrBefore(const double *t, size_t n, double time);

} // namespace Decimation
