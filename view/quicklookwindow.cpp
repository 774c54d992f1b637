#include "quicklookwindow.h"

#include "decimation.h"
#include "protocoldownload.h"
#include "plotview.h"

#include <QChart>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {
constexpr int ChannelRole = Qt::UserRole;
constexpr double MinSpan = 0.001;   // s
const QMargins PanelMargins(4, 4, 4, 4);

// Trace colours in the order channels are ticked; none is red, the cursor's colour.
QColor traceColour(size_t i)
{
    static const QColor colours[] = {{31, 119, 180}, {255, 127, 14}, {44, 160, 44}, {148, 103, 189},
                                     {140, 86, 75},  {227, 119, 194}, {127, 127, 127}, {23, 190, 207}};
    return colours[i % (sizeof colours / sizeof colours[0])];
}

// About count ticks at round steps (1, 2 or 5 times a power of ten), labelled
// with no more decimals than the step needs: a zoom keeps readable numbers.
void roundTicks(QValueAxis *axis, double lo, double hi, int count)
{
    const double raw = (hi - lo) / qMax(1, count);
    if (!(raw > 0) || !qIsFinite(raw))
        return;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / power;
    const double step = (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * power;
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(std::floor(lo / step) * step);
    axis->setTickInterval(step);
    const int decimals = qBound(0, int(-std::floor(std::log10(step) + 1e-9)), 9);
    axis->setLabelFormat(QStringLiteral("%.") + QString::number(decimals) + QLatin1Char('f'));
}

} // namespace

QuickLookWindow::QuickLookWindow(std::unique_ptr<ViewData> data, const QString &title, QWidget *parent)
    : QMainWindow(parent, Qt::Window), m_data(std::move(data))
{
    setObjectName(QStringLiteral("quickLookWindow"));
    setWindowTitle(title);

    auto *left = new QWidget;
    auto *l = new QVBoxLayout(left);
    l->setContentsMargins(4, 4, 4, 4);
    auto *search = new QLabel(tr("Ricerca :"));
    m_filter = new QLineEdit;
    m_filter->setObjectName(QStringLiteral("le_filter"));
    m_filter->setClearButtonEnabled(true);
    search->setBuddy(m_filter);
    m_channels = new QListWidget;
    m_channels->setObjectName(QStringLiteral("lst_channels"));
    m_channels->setToolTip(tr("Spuntare un canale per vederne l'andamento"));
    auto *marksLabel = new QLabel(tr("Run e giri"));
    m_marks = new QListWidget;
    m_marks->setObjectName(QStringLiteral("lst_marks"));
    m_marks->setToolTip(tr("Click per ingrandire il run o il giro"));
    m_stacked = new QCheckBox(tr("Pannelli separati"));
    m_stacked->setObjectName(QStringLiteral("chk_stacked"));
    m_stacked->setToolTip(tr("Un pannello per canale invece di un asse y per canale"));
    auto *all = new QPushButton(tr("Vista completa"));
    all->setObjectName(QStringLiteral("btn_zoom_all"));
    auto *open = new QPushButton(tr("Apri misura..."));
    open->setObjectName(QStringLiteral("btn_open"));
    l->addWidget(search);
    l->addWidget(m_filter);
    l->addWidget(m_channels, 3);
    l->addWidget(marksLabel);
    l->addWidget(m_marks, 1);
    l->addWidget(m_stacked);
    l->addWidget(all);
    l->addWidget(open);

    auto *right = new QWidget;
    auto *r = new QVBoxLayout(right);
    r->setContentsMargins(0, 0, 0, 0);
    m_plotArea = new QWidget;
    m_plotLayout = new QVBoxLayout(m_plotArea);
    m_plotLayout->setContentsMargins(0, 0, 0, 0);
    m_plotLayout->setSpacing(0);
    m_readout = new QLabel;
    m_readout->setObjectName(QStringLiteral("lbl_cursor"));
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    r->addWidget(m_plotArea, 1);
    r->addWidget(m_readout);

    auto *split = new QSplitter;
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({260, 900});
    setCentralWidget(split);
    resize(1200, 700);

    connect(m_filter, &QLineEdit::textChanged, this, &QuickLookWindow::filterChannels);
    connect(m_filter, &QLineEdit::returnPressed, this, &QuickLookWindow::nextMatch);
    connect(m_channels, &QListWidget::itemChanged, this, &QuickLookWindow::itemChanged);
    connect(m_marks, &QListWidget::itemClicked, this, &QuickLookWindow::markChosen);
    connect(m_marks, &QListWidget::itemActivated, this, &QuickLookWindow::markChosen);
    connect(m_stacked, &QCheckBox::toggled, this, &QuickLookWindow::setStacked);
    connect(all, &QPushButton::clicked, this, [this] { setRange(0, m_data ? m_data->duration() : 1); });
    connect(open, &QPushButton::clicked, this, &QuickLookWindow::openOther);
    showData();
}

QuickLookWindow::~QuickLookWindow() = default;

std::unique_ptr<ViewData> QuickLookWindow::openFile(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = tr("Impossibile aprire %1:\n%2").arg(path, f.errorString());
        return nullptr;
    }
    const bool mdf = f.read(8) == "MDF     ";
    f.close();
    QString why;
    std::unique_ptr<ViewData> data;
    if (mdf) {
        data = ViewData::fromMdf(path, &why);
    } else {
        // The view decodes the loaded dump in place and keeps it.
        auto dump = std::make_shared<DumpFile>();
        if (!dump->open(path))
            why = tr("non è un dump del logger né un file MDF");
        else if (dump->bytesDownloaded == 0)
            why = tr("la memoria della ECU era vuota");
        else
            data = ViewData::fromDownload(loggedDownload(*dump), &why, dump);
    }
    if (!data)
        *error = tr("Impossibile visualizzare %1:\n%2").arg(path, why);
    return data;
}

void QuickLookWindow::showData()
{
    m_traces.clear();
    m_channels->blockSignals(true);
    m_channels->clear();
    m_marks->clear();
    m_markTimes.clear();
    m_markLabels.clear();
    if (m_data) {
        const QVector<ViewChannel> &chs = m_data->channels();
        for (int i = 0; i < chs.size(); ++i) {
            const QString text = chs[i].unit.isEmpty() ? chs[i].name : chs[i].name + QStringLiteral(" [") + chs[i].unit + QLatin1Char(']');
            auto *item = new QListWidgetItem(text, m_channels);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            item->setData(ChannelRole, i);
            if (chs[i].periodMs > 0)
                item->setToolTip(tr("%1 ms").arg(chs[i].periodMs));
        }
        const QVector<ViewMark> &marks = m_data->marks();
        for (int i = 0; i < marks.size(); ++i) {
            const ViewMark &m = marks[i];
            auto *item = new QListWidgetItem(m.lap ? tr("Run %1, giro %2").arg(m.run).arg(m.lap) : tr("Run %1").arg(m.run), m_marks);
            item->setData(Qt::UserRole, m.lap);
            // A line where a run or the next lap starts, named after it.
            if (m.run > 1 && !m.lap) {
                m_markTimes.append(m.start);
                m_markLabels.append(tr("Run %1").arg(m.run));
            } else if (m.lap) {
                const bool next = i + 1 < marks.size() && marks[i + 1].run == m.run && marks[i + 1].lap == m.lap + 1;
                m_markTimes.append(m.end);
                m_markLabels.append(next ? tr("giro %1").arg(m.lap + 1) : QString());
            }
        }
    }
    m_channels->blockSignals(false);
    m_t0 = 0;
    m_t1 = m_data && m_data->duration() > MinSpan ? m_data->duration() : 1;
    m_cursor = -1;
    rebuildPlots();
}

bool QuickLookWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A resized panel has another number of pixel columns to fill.
    if (event->type() == QEvent::Resize && !m_refreshQueued) {
        m_refreshQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_refreshQueued = false;
            refresh();
        });
    }
    return QMainWindow::eventFilter(watched, event);
}

void QuickLookWindow::alignPanels()
{
    // Stacked panels share the time axis only when their plot areas line up;
    // the labels' widths differ, so narrower ones get wider margins.
    if (m_panels.size() < 2)
        return;
    std::vector<double> lefts, rights;
    double left = 0, right = 0;
    for (PlotView *p : m_panels) {
        QChart *c = p->chart();
        c->setMargins(PanelMargins);
        c->layout()->activate();
        lefts.push_back(c->plotArea().left());
        rights.push_back(c->size().width() - c->plotArea().right());
        left = qMax(left, lefts.back());
        right = qMax(right, rights.back());
    }
    for (size_t i = 0; i < m_panels.size(); ++i)
        m_panels[i]->chart()->setMargins(PanelMargins
                                         + QMargins(int(left - lefts[i] + 0.5), 0, int(right - rights[i] + 0.5), 0));
}

PlotView *QuickLookWindow::newPanel()
{
    auto *chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(PanelMargins);
    auto *x = new QValueAxis;
    x->setTitleText(tr("Tempo (s)"));
    chart->addAxis(x, Qt::AlignBottom);
    auto *view = new PlotView(m_plotArea);
    view->setChart(chart);
    view->setMarks(m_markTimes, m_panels.empty() ? m_markLabels : QStringList());   // named once, on top
    view->setMinimumHeight(120);
    view->installEventFilter(this);
    connect(view, &PlotView::zoomRequested, this, &QuickLookWindow::zoomAt);
    connect(view, &PlotView::panRequested, this, &QuickLookWindow::pan);
    connect(view, &PlotView::cursorMoved, this, &QuickLookWindow::setCursorTime);
    m_plotLayout->addWidget(view, 1);
    m_panels.push_back(view);
    return view;
}

void QuickLookWindow::rebuildPlots()
{
    for (PlotView *p : m_panels)
        delete p;
    m_panels.clear();
    PlotView *shared = m_isStacked && !m_traces.empty() ? nullptr : newPanel();
    int onPanel = 0;
    for (size_t i = 0; i < m_traces.size(); ++i) {
        Trace &t = m_traces[i];
        const ViewChannel &ch = m_data->channels()[t.channel];
        const QString title = ch.unit.isEmpty() ? ch.name : ch.name + QStringLiteral(" [") + ch.unit + QLatin1Char(']');
        t.panel = shared ? shared : newPanel();
        QChart *chart = t.panel->chart();
        t.series = new QLineSeries;
        t.series->setName(title);
        const QColor c = traceColour(i);
        t.series->setColor(c);
        chart->addSeries(t.series);
        t.series->attachAxis(chart->axes(Qt::Horizontal).first());
        t.axis = new QValueAxis;
        t.axis->setTitleText(title);
        const int n = shared ? onPanel++ : 0;
        chart->addAxis(t.axis, n % 2 ? Qt::AlignRight : Qt::AlignLeft);
        t.axis->setGridLineVisible(n == 0);   // one grid per plot, not one per axis
        t.series->attachAxis(t.axis);
        t.axis->setLinePenColor(c);
        t.axis->setLabelsColor(c);
        t.axis->setTitleBrush(c);
        if (!shared) {
            // A low panel has no room for a vertical title: the name goes above the plot.
            t.axis->setTitleVisible(false);
            chart->legend()->setAlignment(Qt::AlignTop);
            chart->legend()->show();
            chart->legend()->setLabelColor(c);
        }
    }
    // Stacked panels share one time scale, labelled once at the bottom.
    for (size_t i = 0; i + 1 < m_panels.size(); ++i) {
        auto *x = static_cast<QValueAxis *>(m_panels[i]->chart()->axes(Qt::Horizontal).first());
        x->setLabelsVisible(false);
        x->setTitleVisible(false);
    }
    refresh();
}

void QuickLookWindow::refresh()
{
    for (PlotView *p : m_panels) {
        p->setRange(m_t0, m_t1);
        auto *x = static_cast<QValueAxis *>(p->chart()->axes(Qt::Horizontal).first());
        x->setRange(m_t0, m_t1);
        roundTicks(x, m_t0, m_t1, qMax(2, p->width() / 120));
        p->setCursorTime(m_cursor);
    }
    for (Trace &t : m_traces) {
        const ViewTrace &d = m_data->trace(t.channel);
        const QVector<QPointF> points = Decimation::minMax(d.t.data(), d.v.data(), d.t.size(), m_t0, m_t1, t.panel->columns(),
                                                                 &d.pyramid);
        double lo = 0, hi = 0;
        bool any = false;
        for (const QPointF &p : points) {
            if (p.x() < m_t0 || p.x() > m_t1)
                continue;
            lo = any ? qMin(lo, p.y()) : p.y();
            hi = any ? qMax(hi, p.y()) : p.y();
            any = true;
        }
        const double pad = hi > lo ? (hi - lo) * 0.05 : qMax(1.0, qAbs(hi) * 0.05);
        if (qIsFinite(lo - pad) && qIsFinite(hi + pad))
            t.axis->setRange(lo - pad, hi + pad);
        else
            t.axis->setRange(lo, hi);   // a channel at the limits of a double: no room
        roundTicks(t.axis, t.axis->min(), t.axis->max(), m_panels.size() > 1 ? 4 : 8);
        t.series->replace(QList<QPointF>(points.cbegin(), points.cend()));
    }
    alignPanels();
    setCursorTime(m_cursor);
}

void QuickLookWindow::setChannelTicked(int channel, bool ticked)
{
    if (!m_data || channel < 0 || channel >= m_data->channels().size())
        return;
    const auto it = std::find_if(m_traces.begin(), m_traces.end(), [&](const Trace &t) { return t.channel == channel; });
    if (ticked == (it != m_traces.end()))
        return;
    if (ticked)
        m_traces.push_back({channel});
    else
        m_traces.erase(it);
    for (int i = 0; i < m_channels->count(); ++i) {
        QListWidgetItem *item = m_channels->item(i);
        if (item->data(ChannelRole).toInt() == channel) {
            m_channels->blockSignals(true);
            item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
            m_channels->blockSignals(false);
        }
    }
    rebuildPlots();
}

void QuickLookWindow::setStacked(bool stacked)
{
    if (stacked == m_isStacked)
        return;
    m_isStacked = stacked;
    m_stacked->blockSignals(true);
    m_stacked->setChecked(stacked);
    m_stacked->blockSignals(false);
    rebuildPlots();
}

void QuickLookWindow::setRange(double t0, double t1)
{
    if (t1 - t0 < MinSpan) {
        const double c = (t0 + t1) / 2;
        t0 = c - MinSpan / 2;
        t1 = c + MinSpan / 2;
    }
    m_t0 = t0;
    m_t1 = t1;
    refresh();
}

void QuickLookWindow::zoomToMark(int index)
{
    if (!m_data || index < 0 || index >= m_data->marks().size())
        return;
    const ViewMark &m = m_data->marks()[index];
    m_marks->setCurrentRow(index);
    setRange(m.start, m.end);
}

void QuickLookWindow::setCursorTime(double t)
{
    m_cursor = t;
    for (PlotView *p : m_panels)
        p->setCursorTime(t);
    if (t < 0 || m_traces.empty()) {
        m_readout->setText(t < 0 ? QString() : tr("t = %1 s").arg(t, 0, 'f', 3));
        return;
    }
    m_readout->setText(tr("t = %1 s").arg(t, 0, 'f', 3) + QStringLiteral("   ") + cursorValues().join(QStringLiteral("   ")));
}

QStringList QuickLookWindow::cursorValues() const
{
    QStringList values;
    for (const Trace &t : m_traces) {
        const ViewChannel &ch = m_data->channels()[t.channel];
        const ViewTrace &d = m_data->trace(t.channel);
        const qint64 i = Decimation::sampleAtOrBefore(d.t.data(), d.t.size(), m_cursor + 1e-9);
        const QString value = i < 0 ? QStringLiteral("-") : QString::number(d.v[size_t(i)], 'g', 7);
        values << ch.name + QStringLiteral(": ") + value + (ch.unit.isEmpty() ? QString() : QLatin1Char(' ') + ch.unit);
    }
    return values;
}

void QuickLookWindow::filterChannels(const QString &text)
{
    QListWidgetItem *first = nullptr;
    for (int i = 0; i < m_channels->count(); ++i) {
        QListWidgetItem *item = m_channels->item(i);
        const bool match = text.isEmpty() || item->text().contains(text, Qt::CaseInsensitive);
        item->setHidden(!match);
        if (match && !first && !text.isEmpty())
            first = item;
    }
    m_channels->clearSelection();
    if (first) {
        m_channels->setCurrentItem(first);
        m_channels->scrollToItem(first);
    }
}

void QuickLookWindow::nextMatch()
{
    const int n = m_channels->count();
    if (n == 0 || m_filter->text().isEmpty())
        return;
    const int from = qMax(0, m_channels->currentRow());
    for (int step = 1; step <= n; ++step) {
        QListWidgetItem *item = m_channels->item((from + step) % n);
        if (!item->isHidden()) {
            m_channels->setCurrentItem(item);
            m_channels->scrollToItem(item);
            return;
        }
    }
}

void QuickLookWindow::itemChanged(QListWidgetItem *item)
{
    setChannelTicked(item->data(ChannelRole).toInt(), item->checkState() == Qt::Checked);
}

void QuickLookWindow::markChosen(QListWidgetItem *item)
{
    zoomToMark(m_marks->row(item));
}

void QuickLookWindow::zoomAt(double centre, double factor)
{
    setRange(centre - (centre - m_t0) * factor, centre + (m_t1 - centre) * factor);
}

void QuickLookWindow::pan(double delta)
{
    setRange(m_t0 + delta, m_t1 + delta);
}

void QuickLookWindow::openOther()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Apri misura"), QString(),
                                                      tr("Misure (*.mdf *.mf4 *.bin);;Tutti i file (*)"));
    if (path.isEmpty())
        return;
    QString error;
    std::unique_ptr<ViewData> data = openFile(path, &error);
    if (!data) {
        QMessageBox::critical(this, windowTitle(), error);
        return;
    }
    m_data = std::move(data);
    setWindowTitle(tr("Brisca - Visualizza dati") + QStringLiteral(" - ") + QFileInfo(path).fileName());
    showData();
}
