#include "plotview.h"

#include <QChart>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

PlotView::PlotView(QWidget *parent) : QChartView(parent)
{
    setMouseTracking(true);
    setDragMode(QGraphicsView::NoDrag);
    setRubberBand(QChartView::NoRubberBand);
}

int PlotView::columns() const
{
    const int w = chart() ? int(chart()->plotArea().width()) : 0;
    return w > 10 ? w : qMax(200, width() - 80);
}

double PlotView::xOf(double t) const
{
    const QRectF area = chart()->plotArea();
    return area.left() + (t - m_t0) / (m_t1 - m_t0) * area.width();
}

double PlotView::timeAt(int x) const
{
    const QRectF area = chart()->plotArea();
    const QPointF scene = mapToScene(QPoint(x, 0));
    const QPointF inChart = chart()->mapFromScene(scene);
    return m_t0 + (inChart.x() - area.left()) / qMax(1.0, area.width()) * (m_t1 - m_t0);
}

void PlotView::drawForeground(QPainter *painter, const QRectF &rect)
{
    QChartView::drawForeground(painter, rect);
    if (!chart() || !(m_t1 > m_t0))
        return;
    const QRectF area = chart()->mapRectToScene(chart()->plotArea());
    painter->save();
    painter->setClipRect(area);
    auto line = [&](double t) {
        const double x = chart()->mapToScene(QPointF(xOf(t), 0)).x();
        painter->drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    };
    painter->setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
    for (double t : std::as_const(m_marks)) {
        if (t >= m_t0 && t <= m_t1)
            line(t);
    }
    QFont small = painter->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    painter->setFont(small);
    painter->setPen(QColor(90, 90, 90));
    for (int i = 0; i < m_marks.size() && i < m_markLabels.size(); ++i) {
        if (m_marks[i] >= m_t0 && m_marks[i] <= m_t1 && !m_markLabels[i].isEmpty()) {
            const double x = chart()->mapToScene(QPointF(xOf(m_marks[i]), 0)).x();
            painter->drawText(QPointF(x + 3, area.top() + painter->fontMetrics().ascent() + 2), m_markLabels[i]);
        }
    }
    if (m_cursor >= m_t0 && m_cursor <= m_t1) {
        painter->setPen(QPen(QColor(200, 30, 30), 1));
        line(m_cursor);
    }
    painter->restore();
}

void PlotView::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        emit zoomRequested(timeAt(int(event->position().x())), std::pow(0.8, steps));
    event->accept();
}

void PlotView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragX = int(event->position().x());
        setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void PlotView::mouseMoveEvent(QMouseEvent *event)
{
    const int x = int(event->position().x());
    if (m_dragging && x != m_dragX) {
        emit panRequested(timeAt(m_dragX) - timeAt(x));
        m_dragX = x;
    }
    emit cursorMoved(timeAt(x));
    event->accept();
}

void PlotView::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    unsetCursor();
    event->accept();
}
