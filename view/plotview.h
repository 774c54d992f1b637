#pragma once
// One plot panel of the quick-look window: a chart over a shared time range
// with the run and lap boundaries and the cursor line drawn on top. The
// window owns the range; the panel reports wheel, drag and cursor moves.

#include <QChartView>
#include <QStringList>
#include <QVector>

class PlotView : public QChartView
{
    Q_OBJECT

public:
    explicit PlotView(QWidget *parent = nullptr);

    void setMarks(const QVector<double> &times, const QStringList &labels)
    {
        m_marks = times;
        m_markLabels = labels;
        viewport()->update();
    }
    void setCursorTime(double t) { m_cursor = t; viewport()->update(); }
    void setRange(double t0, double t1) { m_t0 = t0; m_t1 = t1; }
    // Pixel columns of the plot area: the decimation's resolution.
    int columns() const;
    double timeAt(int x) const;

signals:
    void zoomRequested(double centre, double factor);
    void panRequested(double deltaSeconds);
    void cursorMoved(double t);

protected:
    void drawForeground(QPainter *painter, const QRectF &rect) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    double xOf(double t) const;
    QVector<double> m_marks;
    QStringList m_markLabels;
    double m_cursor = -1;
    double m_t0 = 0, m_t1 = 1;
    bool m_dragging = false;
    int m_dragX = 0;
};
