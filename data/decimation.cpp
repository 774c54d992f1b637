#include "decimation.h"

#include <algorithm>
#include <cmath>

Decimation::Pyramid::Pyramid(const double *v, size_t n)
{
    if (n < Base || n > UINT32_MAX)
        return;
    for (size_t size = Base; size <= n; size *= 2) {
        const size_t blocks = n / size;
        std::vector<uint32_t> lo(blocks), hi(blocks);
        for (size_t k = 0; k < blocks; ++k) {
            if (size == Base) {
                const size_t first = k * Base;
                size_t a = first, b = first;
                for (size_t i = first + 1; i < first + Base; ++i) {
                    if (v[i] < v[a])
                        a = i;
                    if (v[i] > v[b])
                        b = i;
                }
                lo[k] = uint32_t(a);
                hi[k] = uint32_t(b);
            } else {
                // Halves of the level below; on a tie the left one, the earlier sample.
                const std::vector<uint32_t> &pl = m_min.back(), &ph = m_max.back();
                lo[k] = v[pl[2 * k + 1]] < v[pl[2 * k]] ? pl[2 * k + 1] : pl[2 * k];
                hi[k] = v[ph[2 * k + 1]] > v[ph[2 * k]] ? ph[2 * k + 1] : ph[2 * k];
            }
        }
        m_min.push_back(std::move(lo));
        m_max.push_back(std::move(hi));
    }
}

void Decimation::Pyramid::extremes(const double *v, size_t a, size_t b, size_t *iMin, size_t *iMax) const
{
    size_t lo = a, hi = a;
    auto take = [&](size_t l, size_t h) {
        if (v[l] < v[lo])
            lo = l;
        if (v[h] > v[hi])
            hi = h;
    };
    size_t p = a;
    for (; p < b && p % Base; ++p)
        take(p, p);
    while (p + Base <= b) {
        // The largest aligned block that starts here and ends in the range.
        size_t level = 0;
        while (level + 1 < m_min.size() && p % (Base << (level + 1)) == 0 && p + (Base << (level + 1)) <= b)
            ++level;
        const size_t k = p / (Base << level);
        take(m_min[level][k], m_max[level][k]);
        p += Base << level;
    }
    for (; p < b; ++p)
        take(p, p);
    *iMin = lo;
    *iMax = hi;
}

QVector<QPointF> Decimation::minMax(const double *t, const double *v, size_t n, double t0, double t1, int columns,
                                    const Pyramid *pyramid)
{
    QVector<QPointF> out;
    if (n == 0 || columns < 1 || !(t1 > t0))
        return out;
    size_t lo = size_t(std::lower_bound(t, t + n, t0) - t);
    size_t hi = size_t(std::upper_bound(t, t + n, t1) - t);
    if (lo > 0)
        --lo;
    if (hi < n)
        ++hi;
    if (hi - lo <= size_t(2 * columns) + 2) {
        out.reserve(int(hi - lo));
        for (size_t i = lo; i < hi; ++i)
            out.append(QPointF(t[i], v[i]));
        return out;
    }
    out.reserve(2 * columns + 4);
    const double scale = columns / (t1 - t0);
    // A sample exactly at t1 belongs to the last column.
    auto columnOf = [&](double x) { return std::min(long(columns) - 1, long(std::floor((x - t0) * scale))); };
    size_t i = lo;
    // The neighbours outside the range stand for themselves.
    if (t[i] < t0)
        out.append(QPointF(t[i], v[i])), ++i;
    const size_t end = t[hi - 1] > t1 ? hi - 1 : hi;
    const bool blocks = pyramid && !pyramid->isEmpty();
    while (i < end) {
        const long column = columnOf(t[i]);
        size_t iMin = i, iMax = i;
        size_t j = i + 1;
        if (blocks) {
            j = size_t(std::partition_point(t + i, t + end, [&](double x) { return columnOf(x) <= column; }) - t);
            pyramid->extremes(v, i, j, &iMin, &iMax);
        } else {
            for (; j < end && columnOf(t[j]) == column; ++j) {
                if (v[j] < v[iMin])
                    iMin = j;
                if (v[j] > v[iMax])
                    iMax = j;
            }
        }
        const size_t a = std::min(iMin, iMax), b = std::max(iMin, iMax);
        out.append(QPointF(t[a], v[a]));
        if (b != a)
            out.append(QPointF(t[b], v[b]));
        i = j;
    }
    if (end < hi)
        out.append(QPointF(t[end], v[end]));
    return out;
}

qint64 Decimation::sampleAtOrBefore(const double *t, size_t n, double time)
{
    return qint64(std::upper_bound(t, t + n, time) - t) - 1;
}
