#include "periodgroups.h"

QString PeriodGroups::unusable(const DecodeDataLogged &decoder)
{
    if (!decoder.decodable())
        return decoder.refusal();
    if (decoder.numRun() < 1)
        return QStringLiteral("the download holds no run");
    return {};
}

QVector<PeriodGroup> PeriodGroups::of(DecodeDataLogged &decoder)
{
    QVector<PeriodGroup> groups;
    const QVector<ChannelInfo> &channels = decoder.channels();
    if (!decoder.decodable())
        return groups;
    for (int i = 0; i < channels.size();) {
        PeriodGroup g;
        g.first = i;
        g.period = channels[i].period;
        for (; i < channels.size() && channels[i].period == g.period; ++i) {
            ++g.count;
            g.recordBytes += channels[i].sampleSize;
        }
        groups.append(g);
    }
    for (int k = 0; k < decoder.numRun(); ++k) {
        const QList<SampleList> *lists = decoder.getVarDataInRun(k);
        for (PeriodGroup &g : groups) {
            qint64 n = lists ? (*lists)[g.first].count() : 0;
            for (int c = 1; lists && c < g.count; ++c)
                n = qMin(n, (*lists)[g.first + c].count());
            g.perRun.append(n);
            g.records += n;
        }
    }
    return groups;
}

QVector<qint64> PeriodGroups::runStartsMs(const DecodeDataLogged &decoder)
{
    QVector<qint64> starts;
    qint64 t = 0;
    for (qint64 length : decoder.runLengths()) {
        starts.append(t);
        t += length * 5;
    }
    return starts;
}

PeriodGroups::RunLists PeriodGroups::runLists(DecodeDataLogged &decoder)
{
    RunLists runs;
    for (int k = 0; k < decoder.numRun(); ++k) {
        const QList<SampleList> *lists = decoder.getVarDataInRun(k);
        runs.push_back(lists ? *lists : QList<SampleList>());
    }
    return runs;
}
