#include "mdf4writer.h"

#include "briscaversion.h"
#include "grouprecords.h"

#include <QtEndian>

#include <cstring>

namespace {

constexpr quint64 HdSize = 104, FhSize = 56, DgSize = 64, CgSize = 104, CnSize = 160, CcSize = 128, DtHead = 24;

quint64 pad8(quint64 n) { return (n + 7) & ~quint64(7); }

// Blocks are laid out into one metadata buffer whose absolute file offset is
// known, so every link is final when the buffer is written.
class Layout
{
public:
    explicit Layout(quint64 base) : m_base(base) {}
    quint64 here() const { return m_base + quint64(m_bytes.size()); }

    // A block with its header; returns its offset. Links and data are set afterwards.
    quint64 block(const char *id, quint64 size, quint64 links)
    {
        const quint64 at = here();
        m_bytes.append(QByteArray(int(pad8(size)), '\0'));
        char *p = m_bytes.data() + (at - m_base);
        std::memcpy(p, id, 4);
        qToLittleEndian<quint64>(size, p + 8);
        qToLittleEndian<quint64>(links, p + 16);
        return at;
    }
    quint64 text(const char *id, const QByteArray &utf8)
    {
        const quint64 at = block(id, 24 + pad8(quint64(utf8.size()) + 1), 0);
        std::memcpy(m_bytes.data() + (at - m_base) + 24, utf8.constData(), size_t(utf8.size()));
        return at;
    }
    template<typename T>
    void set(quint64 blockAt, int offset, T v)
    {
        qToLittleEndian<T>(v, m_bytes.data() + (blockAt - m_base) + offset);
    }
    void link(quint64 blockAt, int index, quint64 target) { set<quint64>(blockAt, 24 + 8 * index, target); }
    const QByteArray &bytes() const { return m_bytes; }

private:
    quint64 m_base;
    QByteArray m_bytes;
};

QByteArray xmlEscaped(const QString &s) { return s.toHtmlEscaped().toUtf8(); }

} // namespace

void Mdf4Writer::setTexts(const QString &project, const QString &subject, const QString &comment)
{
    m_project = project;
    m_subject = subject;
    m_comment = comment;
}

bool Mdf4Writer::write(const QString &path)
{
    m_error = PeriodGroups::unusable(m_decoder);
    if (!m_error.isEmpty())
        return false;
    const QVector<PeriodGroup> groups = PeriodGroups::of(m_decoder);
    const QVector<ChannelInfo> &channels = m_decoder.channels();
    const QDateTime when = m_when.isValid() ? m_when : QDateTime::currentDateTime();

    // File head: identification, header, file history and their comments.
    QByteArray head(64, '\0');
    std::memcpy(head.data(), "MDF     4.10    Brisca  ", 24);
    qToLittleEndian<quint16>(410, head.data() + 28);
    Layout meta(64);
    const quint64 hd = meta.block("##HD", HdSize, 6);
    meta.set<quint64>(hd, 72, quint64(when.toMSecsSinceEpoch()) * 1000000u);
    meta.set<qint16>(hd, 80, qint16(when.offsetFromUtc() / 60));
    meta.set<quint8>(hd, 84, 2);   // time zone offsets valid
    const quint64 fh = meta.block("##FH", FhSize, 2);
    meta.link(hd, 1, fh);
    meta.set<quint64>(fh, 40, quint64(when.toMSecsSinceEpoch()) * 1000000u);
    meta.set<qint16>(fh, 48, qint16(when.offsetFromUtc() / 60));
    meta.set<quint8>(fh, 52, 2);
    meta.link(fh, 1, meta.text("##MD", "<FHcomment><TX>created</TX><tool_id>Brisca</tool_id><tool_vendor>Brisca</tool_vendor>"
                                       "<tool_version>" BRISCA_VERSION "</tool_version></FHcomment>"));
    meta.link(hd, 5, meta.text("##MD", "<HDcomment><TX>" + xmlEscaped(m_comment) + "</TX><common_properties>"
                                           "<e name=\"project\">" + xmlEscaped(m_project) + "</e>"
                                           "<e name=\"subject\">" + xmlEscaped(m_subject) + "</e>"
                                           "</common_properties></HDcomment>"));
    quint64 pos = meta.here();
    meta.link(hd, 0, pos);   // the first data group follows at once
    const QByteArray out = head + meta.bytes();

    // Each group: DG, CG, the channels with names, units and conversions, then its DT.
    struct Placed
    {
        QByteArray meta;
        quint64 at, dataBytes;
    };
    std::vector<Placed> placed;
    for (int gi = 0; gi < groups.size(); ++gi) {
        const PeriodGroup &g = groups[gi];
        const quint32 recordBytes = 8 + quint32(g.recordBytes);
        Layout m(pos);
        const quint64 dg = m.block("##DG", DgSize, 4);
        const quint64 cg = m.block("##CG", CgSize, 6);
        m.link(dg, 1, cg);
        m.set<quint64>(cg, 80, quint64(g.records));
        m.set<quint32>(cg, 96, recordBytes);
        m.link(cg, 2, m.text("##TX", QByteArray::number(g.period) + " ms"));
        quint64 previous = 0;
        auto channel = [&](const QByteArray &name, const QByteArray &unit, quint8 type, quint8 sync, quint8 dataType,
                           quint32 byteOffset, quint32 bits) {
            const quint64 cn = m.block("##CN", CnSize, 8);
            if (previous)
                m.link(previous, 0, cn);
            else
                m.link(cg, 1, cn);
            previous = cn;
            m.link(cn, 2, m.text("##TX", name));
            if (!unit.isEmpty())
                m.link(cn, 6, m.text("##TX", unit));
            m.set<quint8>(cn, 88, type);
            m.set<quint8>(cn, 89, sync);
            m.set<quint8>(cn, 90, dataType);
            m.set<quint32>(cn, 92, byteOffset);
            m.set<quint32>(cn, 96, bits);
            return cn;
        };
        channel("time", "s", 2, 1, 4, 0, 64);
        quint32 offset = 8;
        for (int c = g.first; c < g.first + g.count; ++c) {
            const ChannelInfo &ch = channels[c];
            const quint64 cn = channel(QString::fromLatin1(ch.label).toUtf8(), QString::fromLatin1(ch.unit).toUtf8(), 0,
                                       0, ch.isSigned() ? 2 : 0, offset, quint32(8 * ch.sampleSize));
            const quint64 cc = m.block("##CC", CcSize, 4);
            m.link(cn, 4, cc);
            m.set<quint8>(cc, 56, 3);    // rational
            m.set<quint16>(cc, 62, 6);
            const double p[6] = {0, ch.g1, ch.o1, 0, ch.g2, ch.o2};
            for (int i = 0; i < 6; ++i)
                m.set<double>(cc, 80 + 8 * i, p[i]);
            offset += quint32(ch.sampleSize);
        }
        const quint64 dataBytes = quint64(g.records) * recordBytes;
        m.link(dg, 2, m.here());
        const quint64 next = m.here() + pad8(DtHead + dataBytes);
        if (gi + 1 < groups.size())
            m.link(dg, 0, next);
        placed.push_back({m.bytes(), m.here() - m.bytes().size(), dataBytes});
        pos = next;
    }

    GroupRecords records(m_decoder, groups, 8);
    if (!records.allocated()) {
        m_error = QStringLiteral("not enough memory for the output buffer");
        return false;
    }
    StreamFile file(path, 64);
    if (!file.open()) {
        m_error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    file.writeAt(0, out.constData(), out.size());
    for (int gi = 0; gi < groups.size(); ++gi) {
        const Placed &p = placed[size_t(gi)];
        QByteArray meta = p.meta + QByteArray(DtHead, '\0');
        std::memcpy(meta.data() + p.meta.size(), "##DT", 4);
        qToLittleEndian<quint64>(DtHead + p.dataBytes, meta.data() + p.meta.size() + 8);
        file.writeAt(p.at, meta.constData(), meta.size());
        const quint64 dataAt = p.at + quint64(meta.size());
        const int pad = int(pad8(DtHead + p.dataBytes) - DtHead - p.dataBytes);
        if (pad)
            file.writeAt(dataAt + p.dataBytes, QByteArray(pad, '\0').constData(), pad);
        records.place(file, gi, dataAt);
    }

    // Times count from the run's start, the first record one period after it.
    const QVector<qint64> starts = PeriodGroups::runStartsMs(m_decoder);
    records.write(
        [&](int gi, int run, qint64 first, quint8 *p, int m) {
            const int size = records.recordSize(gi);
            qint64 t = starts[run] + first * groups[gi].period;
            for (int r = 0; r < m; ++r, p += size) {
                t += groups[gi].period;
                qToLittleEndian<double>(double(t) * 0.001, p);
            }
        },
        m_progress);
    if (!file.finish()) {
        m_error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}
