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

namespace Decimation {

// t ascending. With no more samples in the range than two per column they are
// returned as they are.
QVector<QPointF> minMax(const double *t, const double *v, size_t n, double t0, double t1, int columns);

// Index of the last sample at or before time, -1 when none.
qint64 sampleAtOrBefore(const double *t, size_t n, double time);

} // namespace Decimation
