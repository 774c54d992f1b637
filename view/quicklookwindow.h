#pragma once
// "Visualizza dati": a quick look at a download or a saved MDF file. The
// channels are listed on the left with a filter; a ticked channel becomes a
// trace in engineering units over a time axis in seconds, each with its own
// y axis in one plot or in stacked panels. Runs and laps are marked and can
// be zoomed to; wheel zooms, drag pans, the cursor line reads every trace.
// Opened by the main window (MainAppl::visualizzaDati) and by brisca --view.

#include "viewdata.h"

#include <QMainWindow>
#include <QStringList>

#include <memory>
#include <vector>

class PlotView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QLineSeries;
class QValueAxis;
class QVBoxLayout;

class QuickLookWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit QuickLookWindow(std::unique_ptr<ViewData> data, const QString &title, QWidget *parent = nullptr);
    ~QuickLookWindow() override;

    // A dump (.bin) or an MDF 3.30 / 4.10 file; null with *error otherwise.
    static std::unique_ptr<ViewData> openFile(const QString &path, QString *error);

    // Driven by the widgets, open to checks and the benchmark.
    void setChannelTicked(int channel, bool ticked);
    void setStacked(bool stacked);
    void setRange(double t0, double t1);
    void zoomToMark(int index);   // index into the marks list
    void setCursorTime(double t);
    double rangeStart() const { return m_t0; }
    double rangeEnd() const { return m_t1; }
    // "name: value unit" for every ticked channel at the cursor.
    QStringList cursorValues() const;
    ViewData *data() const { return m_data.get(); }

private slots:
    void filterChannels(const QString &text);
    void nextMatch();
    void itemChanged(QListWidgetItem *item);
    void markChosen(QListWidgetItem *item);
    void zoomAt(double centre, double factor);
    void pan(double delta);
    void openOther();

private:
    struct Trace
    {
        int channel;
        QLineSeries *series = nullptr;
        QValueAxis *axis = nullptr;
        PlotView *panel = nullptr;
    };
    bool eventFilter(QObject *watched, QEvent *event) override;
    void rebuildPlots();
    void alignPanels();
    PlotView *newPanel();
    void refresh();
    void showData();

    std::unique_ptr<ViewData> m_data;
    QLineEdit *m_filter = nullptr;
    QListWidget *m_channels = nullptr;
    QListWidget *m_marks = nullptr;
    QCheckBox *m_stacked = nullptr;
    QLabel *m_readout = nullptr;
    QWidget *m_plotArea = nullptr;
    QVBoxLayout *m_plotLayout = nullptr;
    std::vector<PlotView *> m_panels;
    std::vector<Trace> m_traces;
    QVector<double> m_markTimes;
    QStringList m_markLabels;
    double m_t0 = 0, m_t1 = 1;
    double m_cursor = -1;
    bool m_isStacked = false;
    bool m_refreshQueued = false;
};
