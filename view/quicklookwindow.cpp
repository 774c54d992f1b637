#include "quicklookwindow.h"

#include "decimation.h"
#include "protocoldownload.h"
#include "plotview.h"

#include <QChart>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace {
constexpr int ChannelRole = Qt::UserRole;
constexpr double MinSpan = 0.001;   // s

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
        for (const ViewMark &m : m_data->marks()) {
            auto *item = new QListWidgetItem(m.lap ? tr("Run %1, giro %2").arg(m.run).arg(m.lap) : tr("Run %1").arg(m.run), m_marks);
            item->setData(Qt::UserRole, m.lap);
            if (m.run > 1 || m.lap > 0)
                m_markTimes.append(m.lap ? m.end : m.start);
        }
    }
    m_channels->blockSignals(false);
    m_t0 = 0;
    m_t1 = m_data && m_data->duration() > MinSpan ? m_data->duration() : 1;
    m_cursor = -1;
    rebuildPlots();
}

PlotView *QuickLookWindow::newPanel()
{
    auto *chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto *x = new QValueAxis;
    x->setTitleText(tr("Tempo (s)"));
    chart->addAxis(x, Qt::AlignBottom);
    auto *view = new PlotView(m_plotArea);
    view->setChart(chart);
    view->setMarks(m_markTimes);
    view->setMinimumHeight(120);
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
    for (Trace &t : m_traces) {
        const ViewChannel &ch = m_data->channels()[t.channel];
        t.panel = shared ? shared : newPanel();
        QChart *chart = t.panel->chart();
        t.series = new QLineSeries;
        t.series->setName(ch.name);
        chart->addSeries(t.series);
        t.series->attachAxis(chart->axes(Qt::Horizontal).first());
        t.axis = new QValueAxis;
        t.axis->setTitleText(ch.unit.isEmpty() ? ch.name : ch.name + QStringLiteral(" [") + ch.unit + QLatin1Char(']'));
        const int n = shared ? onPanel++ : 0;
        chart->addAxis(t.axis, n % 2 ? Qt::AlignRight : Qt::AlignLeft);
        t.series->attachAxis(t.axis);
        const QColor c = t.series->color();
        t.axis->setLinePenColor(c);
        t.axis->setLabelsColor(c);
        t.axis->setTitleBrush(c);
    }
    refresh();
}

void QuickLookWindow::refresh()
{
    for (PlotView *p : m_panels) {
        p->setRange(m_t0, m_t1);
        p->chart()->axes(Qt::Horizontal).first()->setRange(m_t0, m_t1);
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
        t.series->replace(QList<QPointF>(points.cbegin(), points.cend()));
    }
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
