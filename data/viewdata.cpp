#include "viewdata.h"

#include "conversion.h"
#include "periodgroups.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

ViewData::~ViewData() = default;

const ViewTrace &ViewData::trace(int channel)
{
    static const ViewTrace none;
    if (channel < 0 || channel >= m_channels.size())
        return none;
    if (m_traces.size() < size_t(m_channels.size()))
        m_traces.resize(size_t(m_channels.size()));
    std::unique_ptr<ViewTrace> &t = m_traces[size_t(channel)];
    if (!t) {
        t = std::make_unique<ViewTrace>();
        load(channel, t.get());
        if (t->v.size() > 65536)
            t->pyramid = Decimation::Pyramid(t->v.data(), t->v.size());
    }
    return *t;
}

namespace {

// A download, decoded from its own copy of the buffers.
class DownloadView : public ViewData
{
public:
    DownloadView(const LoggedDownload &d, std::shared_ptr<const void> owner) : m_owner(std::move(owner))
    {
        LoggedDownload own = d;
        if (!m_owner) {
            m_memory = QByteArray(reinterpret_cast<const char *>(d.memory), int(d.memorySize));
            m_header = d.header ? QByteArray(reinterpret_cast<const char *>(d.header), 884) : QByteArray();
            m_head = d.imageHead ? QByteArray(reinterpret_cast<const char *>(d.imageHead), 20) : QByteArray();
            m_records = d.records ? QByteArray(reinterpret_cast<const char *>(d.records), int(d.capacity * ChannelInfo::RecordSize))
                                  : QByteArray();
            own.memory = reinterpret_cast<const quint8 *>(m_memory.constData());
            own.header = m_header.isEmpty() ? nullptr : reinterpret_cast<quint8 *>(m_header.data());
            own.imageHead = m_head.isEmpty() ? nullptr : reinterpret_cast<const quint8 *>(m_head.constData());
            own.records = m_records.isEmpty() ? nullptr : reinterpret_cast<const quint8 *>(m_records.constData());
        }
        m_decoder = std::make_unique<DecodeDataLogged>(own);
        for (const ChannelInfo &c : m_decoder->channels())
            m_channels.append({QString::fromLatin1(c.label), QString::fromLatin1(c.unit), c.period});
        const QVector<qint64> starts = PeriodGroups::runStartsMs(*m_decoder);
        const QVector<qint64> lengths = m_decoder->runLengths();
        const QVector<qint64> &laps = m_decoder->lapMarks();
        int m = 0;
        for (int k = 0; k < starts.size(); ++k) {
            const qint64 end = starts[k] + 5 * lengths[k];
            m_marks.append({k + 1, 0, starts[k] / 1000.0, end / 1000.0});
            QVector<qint64> inRun;
            for (; m < laps.size() && 5 * laps[m] <= end; ++m)
                inRun.append(5 * laps[m]);
            if (inRun.size() > 1) {
                qint64 from = starts[k];
                for (int j = 0; j < inRun.size(); ++j) {
                    m_marks.append({k + 1, j + 1, from / 1000.0, inRun[j] / 1000.0});
                    from = inRun[j];
                }
            }
            m_duration = end / 1000.0;
        }
    }
    DecodeDataLogged &decoder() { return *m_decoder; }

protected:
    void load(int channel, ViewTrace *trace) override
    {
        const ChannelInfo &c = m_decoder->channels()[channel];
        const StoredSample codec(c);
        // Small samples take their value from a table: a division per sample
        // would cost more than the walk through the memory.
        std::vector<double> table;
        if (c.sampleSize <= 2) {
            table.resize(size_t(1) << (8 * c.sampleSize));
            for (size_t raw = 0; raw < table.size(); ++raw) {
                const quint8 be[4] = {quint8(raw >> (8 * (c.sampleSize - 1))), quint8(raw), 0, 0};
                table[raw] = codec.eng(codec.raw(be));
            }
        }
        const QVector<qint64> starts = PeriodGroups::runStartsMs(*m_decoder);
        const size_t total = size_t(m_decoder->sampleCount(channel));
        trace->t.resize(total);
        trace->v.resize(total);
        double *t = trace->t.data(), *v = trace->v.data();
        size_t i = 0;
        for (int k = 0; k < m_decoder->numRun(); ++k) {
            const QList<SampleList> *lists = m_decoder->getVarDataInRun(k);
            if (!lists)
                break;
            const qint64 start = starts[k];
            qint64 j = 0;
            for (SampleList::Cursor cur((*lists)[channel]); !cur.atEnd() && i < total; ++i) {
                t[i] = double(start + ++j * c.period) * 0.001;
                const quint8 *p = cur.next();
                v[i] = c.sampleSize == 1 ? table[p[0]] : c.sampleSize == 2 ? table[size_t(p[0]) << 8 | p[1]] : codec.eng(codec.raw(p));
            }
        }
        trace->t.resize(i);
        trace->v.resize(i);
    }

private:
    std::shared_ptr<const void> m_owner;
    QByteArray m_memory, m_header, m_head, m_records;
    std::unique_ptr<DecodeDataLogged> m_decoder;
};

// Where a channel's values lie in an MDF file and how they turn into numbers.
struct MdfChannel
{
    quint64 data = 0;            // first record
    qint64 records = 0;
    quint32 recordBytes = 0;
    quint32 byteOffset = 0, bits = 0;
    int kind = 0;                // 0 unsigned, 1 signed, 2 float
    bool rational = false;
    double p[6] = {0, 1, 0, 0, 0, 1};
    // Time: stored as a float64 at timeOffset, or every interval seconds.
    bool timeStored = false;
    quint32 timeOffset = 0;
    double interval = 0;
};

class MdfView : public ViewData
{
public:
    bool open(const QString &path, QString *error)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            *error = f.errorString();
            return false;
        }
        m_file = f.readAll();
        m_data = m_file.constData();
        m_size = quint64(m_file.size());
        if (m_file.size() < 64 || !m_file.startsWith("MDF     ")) {
            *error = QStringLiteral("not an MDF file");
            return false;
        }
        const quint16 version = u16(28);
        const bool ok = version == 330 ? readV3() : version == 410 ? readV4() : false;
        if (!ok) {
            *error = version == 330 || version == 410 ? QStringLiteral("the MDF file is damaged")
                                                      : QStringLiteral("MDF version %1 is not supported").arg(version);
            return false;
        }
        return true;
    }

protected:
    void load(int channel, ViewTrace *trace) override
    {
        const MdfChannel &c = m_where[channel];
        trace->t.resize(size_t(c.records));
        trace->v.resize(size_t(c.records));
        const int bytes = int((c.bits + 7) / 8);
        const bool plain = !c.rational || (c.p[0] == 0 && c.p[3] == 0);
        for (qint64 r = 0; r < c.records; ++r) {
            const char *rec = m_file.constData() + c.data + quint64(r) * c.recordBytes;
            trace->t[size_t(r)] = c.timeStored ? qFromLittleEndian<double>(rec + c.timeOffset) : double(r) * c.interval;
            double x;
            if (c.kind == 2) {
                x = bytes == 4 ? double(qFromLittleEndian<float>(rec + c.byteOffset)) : qFromLittleEndian<double>(rec + c.byteOffset);
            } else {
                quint64 raw = 0;
                std::memcpy(&raw, rec + c.byteOffset, size_t(bytes));
                raw = qFromLittleEndian(raw);
                if (c.bits < 64)
                    raw &= (quint64(1) << c.bits) - 1;
                if (c.kind == 1 && c.bits < 64 && raw >> (c.bits - 1))
                    raw |= ~quint64(0) << c.bits;
                x = c.kind == 1 ? double(qint64(raw)) : double(raw);
            }
            double v = x;
            if (c.rational) {
                if (plain && x >= -2147483648.0 && x <= 2147483647.0) {
                    v = Conversion::binToEng(qint32(x), c.p[1], c.p[2], c.p[4], c.p[5]);
                } else {
                    const double den = c.p[3] * x * x + c.p[4] * x + c.p[5];
                    v = den == 0 ? std::numeric_limits<double>::max() : (c.p[0] * x * x + c.p[1] * x + c.p[2]) / den;
                }
            }
            trace->v[size_t(r)] = v;
        }
    }

private:
    template<typename T>
    T le(quint64 at) const
    {
        T v{};
        if (at + sizeof v <= m_size)
            std::memcpy(&v, m_data + at, sizeof v);
        return qFromLittleEndian(v);
    }
    quint16 u16(quint64 at) const { return le<quint16>(at); }
    quint32 u32(quint64 at) const { return le<quint32>(at); }
    quint64 u64(quint64 at) const { return le<quint64>(at); }
    double f64(quint64 at) const { return le<double>(at); }
    bool is(quint64 at, const char *id, int n) const { return at && at + 24 <= quint64(m_file.size()) && !std::memcmp(m_file.constData() + at, id, size_t(n)); }
    QString text(quint64 at, int max) const
    {
        const char *p = m_file.constData() + at;
        return QString::fromLatin1(p, int(qstrnlen(p, size_t(qMin<qint64>(max, m_file.size() - qint64(at))))));
    }
    QString tx4(quint64 at) const
    {
        if (!is(at, "##TX", 4) && !is(at, "##MD", 4))
            return QString();
        const quint64 len = u64(at + 8);
        if (len < 24 || at + len > quint64(m_file.size()))
            return QString();
        const char *p = m_file.constData() + at + 24;
        return QString::fromUtf8(p, int(qstrnlen(p, size_t(len - 24))));
    }
    // Records that really are in the file.
    qint64 fit(quint64 data, qint64 records, quint32 recordBytes) const
    {
        if (!recordBytes || data >= quint64(m_file.size()))
            return 0;
        return qMin<qint64>(records, qint64((quint64(m_file.size()) - data) / recordBytes));
    }
    void add(const QString &name, const QString &unit, MdfChannel c)
    {
        if (c.byteOffset + (c.bits + 7) / 8 > c.recordBytes || c.bits == 0 || c.bits > 64
            || (c.timeStored && c.timeOffset + 8 > c.recordBytes))
            return;
        m_channels.append({name, unit, int(c.interval * 1000 + 0.5)});
        m_where.push_back(c);
        if (c.records > 0) {
            const char *last = m_file.constData() + c.data + quint64(c.records - 1) * c.recordBytes;
            m_duration = qMax(m_duration, c.timeStored ? qFromLittleEndian<double>(last + c.timeOffset) : (c.records - 1) * c.interval);
        }
    }

    bool readV3()
    {
        int guard = 0;
        for (quint32 dg = u32(68); dg; dg = u32(dg + 4)) {
            if (!is(dg, "DG", 2) || ++guard > 10000)
                return false;
            const quint32 cg = u32(dg + 8);
            if (!is(cg, "CG", 2))
                return false;
            MdfChannel base;
            base.data = u32(dg + 16);
            base.recordBytes = u16(cg + 20);
            base.records = fit(base.data, u32(cg + 22), base.recordBytes);
            QVector<quint32> cns;
            for (quint32 cn = u32(cg + 8); cn; cn = u32(cn + 4)) {
                if (!is(cn, "CN", 2) || cns.size() > 65535)
                    return false;
                cns.append(cn);
                if (u16(cn + 24) == 1) {
                    base.interval = f64(cn + 210);
                    base.timeStored = u16(cn + 188) == 64;
                    base.timeOffset = u16(cn + 186) / 8;
                }
            }
            for (quint32 cn : cns) {
                if (u16(cn + 24) == 1)
                    continue;
                MdfChannel c = base;
                c.byteOffset = u16(cn + 186) / 8;
                c.bits = u16(cn + 188);
                const quint16 type = u16(cn + 190);
                c.kind = type == 1 ? 1 : type == 2 || type == 3 ? 2 : 0;
                QString unit;
                const quint32 cc = u32(cn + 8);
                if (is(cc, "CC", 2)) {
                    unit = text(cc + 22, 20);
                    if (u16(cc + 42) == 9 && u16(cc + 44) == 6) {
                        c.rational = true;
                        for (int i = 0; i < 6; ++i)
                            c.p[i] = f64(cc + 46 + 8 * i);
                    } else if (u16(cc + 42) == 0 && u16(cc + 44) == 2) {
                        c.rational = true;   // linear: offset, factor
                        const double p[6] = {0, f64(cc + 54), f64(cc + 46), 0, 0, 1};
                        std::copy(p, p + 6, c.p);
                    }
                }
                add(text(cn + 26, 32), unit, c);
            }
        }
        return true;
    }

    bool readV4()
    {
        int guard = 0;
        for (quint64 dg = u64(64 + 24); dg; dg = u64(dg + 24)) {
            if (!is(dg, "##DG", 4) || ++guard > 10000)
                return false;
            const quint64 cg = u64(dg + 32);
            const quint64 dt = u64(dg + 40);
            if (!is(cg, "##CG", 4) || (dt && !is(dt, "##DT", 4)))
                return false;
            MdfChannel base;
            base.data = dt + 24;
            base.recordBytes = u32(cg + 96) + u32(cg + 100);
            base.records = dt ? fit(base.data, qint64(qMin<quint64>(u64(cg + 80), u64(dt + 8) / qMax(1u, base.recordBytes))), base.recordBytes) : 0;
            QVector<quint64> cns;
            for (quint64 cn = u64(cg + 32); cn; cn = u64(cn + 24)) {
                if (!is(cn, "##CN", 4) || cns.size() > 65535)
                    return false;
                cns.append(cn);
                if (m_file[int(cn + 88)] == 2 && u32(cn + 96) == 64 && m_file[int(cn + 90)] == 4) {
                    base.timeStored = true;
                    base.timeOffset = u32(cn + 92);
                }
            }
            if (base.timeStored && base.records > 1) {
                const char *rec = m_file.constData() + base.data;
                base.interval = qFromLittleEndian<double>(rec + base.recordBytes + base.timeOffset)
                              - qFromLittleEndian<double>(rec + base.timeOffset);
            }
            for (quint64 cn : cns) {
                if (m_file[int(cn + 88)] == 2 || m_file[int(cn + 88)] == 3)
                    continue;
                MdfChannel c = base;
                c.byteOffset = u32(cn + 92);
                c.bits = u32(cn + 96);
                const int type = m_file[int(cn + 90)];
                c.kind = type == 2 || type == 3 ? 1 : type == 4 || type == 5 ? 2 : 0;
                const quint64 cc = u64(cn + 56);
                if (is(cc, "##CC", 4)) {
                    const int ccType = m_file[int(cc + 56)];
                    const int n = u16(cc + 62);
                    if (ccType == 3 && n == 6) {
                        c.rational = true;
                        for (int i = 0; i < 6; ++i)
                            c.p[i] = f64(cc + 80 + 8 * i);
                    } else if (ccType == 1 && n == 2) {
                        c.rational = true;
                        const double p[6] = {0, f64(cc + 88), f64(cc + 80), 0, 0, 1};
                        std::copy(p, p + 6, c.p);
                    }
                }
                add(tx4(u64(cn + 40)), tx4(u64(cn + 72)), c);
            }
        }
        return true;
    }

    QByteArray m_file;
    const char *m_data = nullptr;   // m_file's bytes
    quint64 m_size = 0;
    std::vector<MdfChannel> m_where;
};

} // namespace

std::unique_ptr<ViewData> ViewData::fromDownload(const LoggedDownload &download, QString *error,
                                                 std::shared_ptr<const void> owner)
{
    auto view = std::make_unique<DownloadView>(download, std::move(owner));
    const QString why = PeriodGroups::unusable(view->decoder());
    if (!why.isEmpty()) {
        *error = why;
        return nullptr;
    }
    return view;
}

std::unique_ptr<ViewData> ViewData::fromMdf(const QString &path, QString *error)
{
    auto view = std::make_unique<MdfView>();
    if (!view->open(path, error))
        return nullptr;
    return view;
}
