#include "mdfwriter.h"

#include "grouprecords.h"

#include <QtEndian>

#include <cstring>
#include <vector>

namespace {

constexpr quint32 IdSize = 64, HdSize = 208, DgSize = 28, CgSize = 30, CnSize = 228, CcTimeSize = 46, CcDataSize = 94;

class Block
{
public:
    explicit Block(int size) : m_bytes(size, '\0') {}
    template<typename T>
    Block &at(int offset, T v)
    {
        qToLittleEndian(v, m_bytes.data() + offset);
        return *this;
    }
    Block &text(int offset, const QByteArray &t, int maxChars)
    {
        const QByteArray c = t.left(maxChars);
        std::memcpy(m_bytes.data() + offset, c.constData(), size_t(c.size()));
        return *this;
    }
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

struct Group
{
    PeriodGroup g;
    quint32 recordSize = 0;
    quint64 offset = 0;         // of the DG block
    quint64 cg() const { return offset + DgSize + quint64(g.records) * recordSize; }
    quint64 end() const { return cg() + CgSize + CnSize + CcTimeSize + quint64(g.count) * (CnSize + CcDataSize); }
};

} // namespace

void MdfWriter::setTexts(const QString &project, const QString &subject, const QString &comment)
{
    m_project = project.toLatin1();
    m_subject = subject.toLatin1();
    m_comment = comment.toLatin1().left(MaxComment);
}

bool MdfWriter::write(const QString &path)
{
    m_error = PeriodGroups::unusable(m_decoder);
    if (!m_error.isEmpty())
        return false;
    const QVector<ChannelInfo> &channels = m_decoder.channels();
    const QVector<PeriodGroup> periods = PeriodGroups::of(m_decoder);

    // Layout first: every link is known before the first byte is written.
    std::vector<Group> groups;
    const quint32 firstGroup = IdSize + HdSize + 5 + quint32(m_comment.size());
    quint64 pos = firstGroup;
    for (const PeriodGroup &p : periods) {
        Group g{p, quint32(p.recordBytes), pos};
        pos = g.end();
        groups.push_back(g);
    }
    if (pos > 0xFFFFFFFFu) {
        m_error = QStringLiteral("the measurement does not fit the 32-bit links of an MDF 3 file");
        return false;
    }

    GroupRecords records(m_decoder, periods, 0);
    if (!records.allocated()) {
        m_error = QStringLiteral("not enough memory for the output buffer");
        return false;
    }
    StreamFile out(path, 64);
    if (!out.open()) {
        m_error = path + QStringLiteral(": ") + out.errorString();
        return false;
    }
    const QDateTime when = m_when.isValid() ? m_when : QDateTime::currentDateTime();
    Block id(IdSize);
    id.text(0, "MDF     ", 8).text(8, "3.30    ", 8).text(16, "ORVT_LGR", 8).at<quint16>(28, 330);
    out.writeAt(0, id.bytes().constData(), IdSize);
    Block hd(HdSize);
    hd.text(0, "HD", 2).at<quint16>(2, HdSize).at<quint32>(4, firstGroup).at<quint32>(8, IdSize + HdSize)
        .at<quint16>(16, quint16(groups.size()))
        .text(18, when.toString(QStringLiteral("dd:MM:yyyy")).toLatin1(), 10)
        .text(28, when.toString(QStringLiteral("hh:mm:ss")).toLatin1(), 8)
        .text(100, m_project, 32).text(132, m_subject, 32);
    out.writeAt(IdSize, hd.bytes().constData(), HdSize);
    Block tx(5 + m_comment.size());
    tx.text(0, "TX", 2).at<quint16>(2, quint16(m_comment.size() + 5)).text(4, m_comment, m_comment.size());
    out.writeAt(IdSize + HdSize, tx.bytes().constData(), tx.bytes().size());

    for (size_t gi = 0; gi < groups.size(); ++gi)
        records.place(out, int(gi), groups[gi].offset + DgSize);
    records.write([](int, int, qint64, quint8 *, int) {}, m_progress);

    for (size_t gi = 0; gi < groups.size(); ++gi) {
        const Group &g = groups[gi];
        const quint32 dg = quint32(g.offset);
        const quint32 cg = quint32(g.cg());
        Block dgb(DgSize);
        dgb.text(0, "DG", 2).at<quint16>(2, DgSize).at<quint32>(4, gi + 1 < groups.size() ? quint32(g.end()) : 0u)
            .at<quint32>(8, cg).at<quint32>(16, dg + DgSize).at<quint16>(20, 1);
        out.writeAt(dg, dgb.bytes().constData(), DgSize);

        QByteArray meta;
        const quint32 cnTime = cg + CgSize;
        Block cgb(CgSize);
        cgb.text(0, "CG", 2).at<quint16>(2, CgSize).at<quint32>(8, cnTime).at<quint16>(18, quint16(g.g.count + 1))
            .at<quint16>(20, quint16(g.recordSize)).at<quint32>(22, quint32(g.g.records));
        meta += cgb.bytes();
        Block time(CnSize);
        time.text(0, "CN", 2).at<quint16>(2, CnSize).at<quint32>(4, cnTime + CnSize + CcTimeSize)
            .at<quint32>(8, cnTime + CnSize).at<quint16>(24, 1).text(26, "time", 31)
            .text(58, "virtual time channel", 127).at<quint16>(190, 3).at<double>(210, g.g.period * 0.001);
        meta += time.bytes();
        Block cc(CcTimeSize);
        cc.text(0, "CC", 2).at<quint16>(2, CcTimeSize).text(22, "s", 19).at<quint16>(42, 65535);
        meta += cc.bytes();

        quint32 cn = cnTime + CnSize + CcTimeSize;
        quint32 bit = 0;
        for (int c = g.g.first; c < g.g.first + g.g.count; ++c) {
            const ChannelInfo &ch = channels[c];
            const bool last = c == g.g.first + g.g.count - 1;
            Block cnb(CnSize);
            cnb.text(0, "CN", 2).at<quint16>(2, CnSize).at<quint32>(4, last ? 0u : cn + CnSize + CcDataSize)
                .at<quint32>(8, cn + CnSize).text(26, ch.label, 31).at<quint16>(186, quint16(bit))
                .at<quint16>(188, quint16(8 * ch.sampleSize)).at<quint16>(190, ch.isSigned() ? 1 : 0);
            meta += cnb.bytes();
            Block ccb(CcDataSize);
            ccb.text(0, "CC", 2).at<quint16>(2, CcDataSize).text(22, ch.unit, 19).at<quint16>(42, 9).at<quint16>(44, 6)
                .at<double>(54, ch.g1).at<double>(62, ch.o1).at<double>(78, ch.g2).at<double>(86, ch.o2);
            meta += ccb.bytes();
            bit += 8 * quint32(ch.sampleSize);
            cn += CnSize + CcDataSize;
        }
        out.writeAt(cg, meta.constData(), meta.size());
    }
    if (!out.finish()) {
        m_error = path + QStringLiteral(": ") + out.errorString();
        return false;
    }
    return true;
}
