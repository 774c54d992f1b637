#include "mdfwriter.h"

#include "bigbuffer.h"
#include "samplecodec.h"
#include "streamfile.h"

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
    int first = 0, count = 0;   // channels of the decoder
    int period = 0;
    quint32 recordSize = 0;
    quint32 records = 0;
    quint64 offset = 0;         // of the DG block
    quint64 end() const
    {
        return offset + DgSize + quint64(records) * recordSize + CgSize + CnSize + CcTimeSize + quint64(count) * (CnSize + CcDataSize);
    }
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
    m_error.clear();
    if (!m_decoder.decodable()) {
        m_error = m_decoder.refusal();
        return false;
    }
    const QList<SampleList> *lists = m_decoder.getVarDataInAllRun();
    if (!lists) {
        m_error = QStringLiteral("the download holds no run");
        return false;
    }
    const QVector<ChannelInfo> &channels = m_decoder.channels();

    // Layout first: every link is known before the first byte is written.
    std::vector<Group> groups;
    const quint32 firstGroup = IdSize + HdSize + 5 + quint32(m_comment.size());
    quint64 pos = firstGroup;
    for (int i = 0; i < channels.size();) {
        Group g;
        g.first = i;
        g.period = channels[i].period;
        qint64 records = (*lists)[i].count();
        for (; i < channels.size() && channels[i].period == g.period; ++i) {
            ++g.count;
            g.recordSize += quint32(channels[i].sampleSize);
            records = qMin(records, (*lists)[i].count());
        }
        g.records = quint32(records);
        g.offset = pos;
        pos = g.end();
        groups.push_back(g);
    }
    if (pos > 0xFFFFFFFFu) {
        m_error = QStringLiteral("the measurement does not fit the 32-bit links of an MDF 3 file");
        return false;
    }
    qint64 totalRecordBytes = 0, done = 0;
    for (const Group &g : groups)
        totalRecordBytes += qint64(g.records) * g.recordSize;

    BigBuffer buffer(size_t(2) << 20);
    if (!buffer.data()) {
        m_error = QStringLiteral("not enough memory for the output buffer");
        return false;
    }
    StreamFile out(path, buffer.data(), int(buffer.size()));
    if (!out.open()) {
        m_error = path + QStringLiteral(": ") + out.errorString();
        return false;
    }
    const QDateTime when = m_when.isValid() ? m_when : QDateTime::currentDateTime();
    Block id(IdSize);
    id.text(0, "MDF     ", 8).text(8, "3.30    ", 8).text(16, "ORVT_LGR", 8).at<quint16>(28, 330);
    out.put(id.bytes().constData(), IdSize);
    Block hd(HdSize);
    hd.text(0, "HD", 2).at<quint16>(2, HdSize).at<quint32>(4, firstGroup).at<quint32>(8, IdSize + HdSize)
        .at<quint16>(16, quint16(groups.size()))
        .text(18, when.toString(QStringLiteral("dd:MM:yyyy")).toLatin1(), 10)
        .text(28, when.toString(QStringLiteral("hh:mm:ss")).toLatin1(), 8)
        .text(100, m_project, 32).text(132, m_subject, 32);
    out.put(hd.bytes().constData(), HdSize);
    Block tx(5 + m_comment.size());
    tx.text(0, "TX", 2).at<quint16>(2, quint16(m_comment.size() + 5)).text(4, m_comment, m_comment.size());
    out.put(tx.bytes().constData(), tx.bytes().size());

    for (size_t gi = 0; gi < groups.size(); ++gi) {
        const Group &g = groups[gi];
        const quint32 dg = quint32(g.offset);
        const quint32 cg = dg + DgSize + g.records * g.recordSize;
        Block dgb(DgSize);
        dgb.text(0, "DG", 2).at<quint16>(2, DgSize).at<quint32>(4, gi + 1 < groups.size() ? quint32(g.end()) : 0u)
            .at<quint32>(8, cg).at<quint32>(16, dg + DgSize).at<quint16>(20, 1);
        out.put(dgb.bytes().constData(), DgSize);

        // Records: the r-th sample of every channel of the group. Channels of
        // one period are sampled in the same slots, one after the other, so a
        // record lies in memory as one piece with each sample big-endian.
        const int recordSize = int(g.recordSize);
        std::vector<int> swap(static_cast<size_t>(recordSize));
        struct Zero
        {
            int at, size;
            SampleCodec::ZeroCorrection correct;
        };
        std::vector<Zero> zeros;
        for (int c = g.first, at = 0; c < g.first + g.count; ++c) {
            const ChannelInfo &ch = channels[c];
            for (int b = 0; b < ch.sampleSize; ++b)
                swap[size_t(at + b)] = at + ch.sampleSize - 1 - b;
            if (ch.zeroCorrected())
                zeros.push_back({at, ch.sampleSize, SampleCodec::ZeroCorrection(SampleCodec::Coefficients::of(ch), ch.zeroReference,
                                                                                 ch.sampleSize, g.records)});
            at += ch.sampleSize;
        }
        const SampleList &lead = (*lists)[g.first];
        const int perModule = lead.perModule();
        qint64 left = g.records, written = 0;
        for (int seg = 0; seg < lead.segments() && left > 0; ++seg) {
            const qint64 n = qMin(left, lead.segmentSamples(seg));
            left -= n;
            const quint8 *module = lead.segmentBase(seg);
            for (qint64 r = 0, q = 0; r < n; ++r) {
                const quint8 *in = module + lead.offset(int(q));
                quint8 *p = out.room(recordSize);
                for (int b = 0; b < recordSize; ++b)
                    p[b] = in[swap[size_t(b)]];
                for (const Zero &z : zeros)
                    SampleCodec::putLE(p + z.at, z.correct(SampleCodec::readRaw(in + z.at, z.size)), z.size);
                out.advance(recordSize);
                if (++q == perModule) {
                    q = 0;
                    module += lead.moduleBytes();
                }
            }
            written += n;
            if (m_progress)
                m_progress(done + written * recordSize, totalRecordBytes);
        }
        done += qint64(g.records) * recordSize;
        if (m_progress)
            m_progress(done, totalRecordBytes);

        const quint32 cnTime = cg + CgSize;
        Block cgb(CgSize);
        cgb.text(0, "CG", 2).at<quint16>(2, CgSize).at<quint32>(8, cnTime).at<quint16>(18, quint16(g.count + 1))
            .at<quint16>(20, quint16(g.recordSize)).at<quint32>(22, g.records);
        out.put(cgb.bytes().constData(), CgSize);
        Block time(CnSize);
        time.text(0, "CN", 2).at<quint16>(2, CnSize).at<quint32>(4, cnTime + CnSize + CcTimeSize)
            .at<quint32>(8, cnTime + CnSize).at<quint16>(24, 1).text(26, "time", 31)
            .text(58, "virtual time channel", 127).at<quint16>(190, 3).at<double>(210, g.period * 0.001);
        out.put(time.bytes().constData(), CnSize);
        Block cc(CcTimeSize);
        cc.text(0, "CC", 2).at<quint16>(2, CcTimeSize).text(22, "s", 19).at<quint16>(42, 65535);
        out.put(cc.bytes().constData(), CcTimeSize);

        quint32 cn = cnTime + CnSize + CcTimeSize;
        quint32 bit = 0;
        for (int c = g.first; c < g.first + g.count; ++c) {
            const ChannelInfo &ch = channels[c];
            const bool last = c == g.first + g.count - 1;
            Block cnb(CnSize);
            cnb.text(0, "CN", 2).at<quint16>(2, CnSize).at<quint32>(4, last ? 0u : cn + CnSize + CcDataSize)
                .at<quint32>(8, cn + CnSize).text(26, ch.label, 31).at<quint16>(186, quint16(bit))
                .at<quint16>(188, quint16(8 * ch.sampleSize)).at<quint16>(190, ch.isSigned() ? 1 : 0);
            out.put(cnb.bytes().constData(), CnSize);
            Block ccb(CcDataSize);
            ccb.text(0, "CC", 2).at<quint16>(2, CcDataSize).text(22, ch.unit, 19).at<quint16>(42, 9).at<quint16>(44, 6)
                .at<double>(54, ch.g1).at<double>(62, ch.o1).at<double>(78, ch.g2).at<double>(86, ch.o2);
            out.put(ccb.bytes().constData(), CcDataSize);
            bit += 8 * quint32(ch.sampleSize);
            cn += CnSize + CcDataSize;
        }
        if (!out.ok())
            break;
    }
    if (!out.finish()) {
        m_error = path + QStringLiteral(": ") + out.errorString();
        return false;
    }
    return true;
}
