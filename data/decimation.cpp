#include "decimation.h"

#include <algorithm>
#include <cmath>

QVector<QPointF> Decimation::minMax(const double *t, const double *v, size_t n, double t0, double t1, int columns)
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
    while (i < end) {
        const long column = columnOf(t[i]);
        size_t iMin = i, iMax = i;
        size_t j = i + 1;
        for (; j < end && columnOf(t[j]) == column; ++j) {
            if (v[j] < v[iMin])
                iMin = j;
            if (v[j] > v[iMax])
                iMax = j;
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
