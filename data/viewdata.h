#pragma once
// The measurement the quick-look window shows: channel names and units, run
// and lap boundaries, and for a channel on demand its samples as times in
// seconds and engineering values. Built from a download (the decoder's view
// is copied, so the source may change afterwards) or from an MDF 3.30 or 4.10
// file written by Brisca. QtCore only; the window and the benchmark use it.

#include "decimation.h"
#include "decodedatalogged.h"

#include <QString>
#include <QVector>

#include <memory>
#include <vector>

struct ViewChannel
{
    QString name, unit;
    int periodMs = 0;
};

// A run, or one lap of a run; lap 0 stands for the whole run.
struct ViewMark
{
    int run = 0, lap = 0;       // from 1
    double start = 0, end = 0;  // s
};

struct ViewTrace
{
    std::vector<double> t, v;
    Decimation::Pyramid pyramid;   // over v, for long traces
};

class ViewData
{
public:
    virtual ~ViewData();

    // Null with *error when the download cannot be decoded or holds no run.
    // Without an owner the buffers are copied; with one, they are used in
    // place and the owner is kept alive as long as the view.
    static std::unique_ptr<ViewData> fromDownload(const LoggedDownload &download, QString *error,
                                                  std::shared_ptr<const void> owner = {});
    // Null with *error for a file that is not an MDF 3.30 or 4.10 file this
    // program could have written, or that is damaged.
    static std::unique_ptr<ViewData> fromMdf(const QString &path, QString *error);

    const QVector<ViewChannel> &channels() const { return m_channels; }
    const QVector<ViewMark> &marks() const { return m_marks; }
    double duration() const { return m_duration; }
    // Loaded on first use and kept.
    const ViewTrace &trace(int channel);

protected:
    virtual void load(int channel, ViewTrace *trace) = 0;
    QVector<ViewChannel> m_channels;
    QVector<ViewMark> m_marks;
    double m_duration = 0;

private:
    std::vector<std::unique_ptr<ViewTrace>> m_traces;
};
