#include "csvwriter.h"

#include "periodgroups.h"
#include "streamfile.h"

#include <QFile>

#include <charconv>
#include <memory>

namespace {

QByteArray field(const QByteArray &text)
{
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n'))
        return text;
    QByteArray q = text;
    q.replace('"', "\"\"");
    return '"' + q + '"';
}

// Milliseconds as seconds with three decimals.
char *putTime(char *p, qint64 ms)
{
    p = std::to_chars(p, p + 24, ms / 1000).ptr;
    const int frac = int(ms % 1000);
    *p++ = '.';
    *p++ = char('0' + frac / 100);
    *p++ = char('0' + frac / 10 % 10);
    *p++ = char('0' + frac % 10);
    return p;
}

} // namespace

bool CsvWriter::write(const QString &dir, const QString &baseName)
{
    m_files.clear();
    m_error = PeriodGroups::unusable(m_decoder);
    if (!m_error.isEmpty())
        return false;
    const QVector<PeriodGroup> groups = PeriodGroups::of(m_decoder);
    const QVector<ChannelInfo> &channels = m_decoder.channels();
    qint64 total = 0, done = 0;
    for (const PeriodGroup &g : groups)
        total += g.records;
    std::vector<std::unique_ptr<StreamFile>> written;
    auto fail = [&](const QString &why) {
        m_error = why;
        for (auto &f : written)
            f->discard();
        m_files.clear();
        return false;
    };
    for (const PeriodGroup &g : groups) {
        const QString path = dir + QLatin1Char('/') + baseName + QLatin1Char('_') + QString::number(g.period) + QStringLiteral("ms.csv");
        auto file = std::make_unique<StreamFile>(path);
        if (!file->open())
            return fail(path + QStringLiteral(": ") + file->errorString());
        QByteArray header = "time [s]";
        std::vector<StoredSample> codecs;
        for (int c = g.first; c < g.first + g.count; ++c) {
            const ChannelInfo &ch = channels[c];
            header += ',' + field(ch.unit.isEmpty() ? ch.label : ch.label + " [" + ch.unit + ']');
            codecs.emplace_back(ch);
        }
        header += '\n';
        file->put(header.constData(), header.size());
        const int room = 24 + 26 * g.count;
        qint64 r = 0;
        PeriodGroups::forEachRecord(m_decoder, g, [&](qint64 tMs, const quint8 *const *samples) {
            char *const start = reinterpret_cast<char *>(file->room(room));
            char *p = putTime(start, tMs);
            for (size_t c = 0; c < codecs.size(); ++c) {
                *p++ = ',';
                p = std::to_chars(p, p + 25, codecs[c].eng(codecs[c].raw(samples[c]))).ptr;
            }
            *p++ = '\n';
            file->advance(int(p - start));
            if ((++r & 0xFFFF) == 0 && m_progress)
                m_progress(done + r, total);
        });
        done += g.records;
        if (!file->finish())
            return fail(path + QStringLiteral(": ") + file->errorString());
        m_files.append(path);
        written.push_back(std::move(file));
    }
    if (m_progress)
        m_progress(total, total);
    return true;
}
