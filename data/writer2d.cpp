#include "writer2d.h"

#include "bigbuffer.h"
#include "periodgroups.h"
#include "samplecodec.h"
#include "sidethread.h"
#include "streamfile.h"

#include <QRegularExpression>
#include <QTextStream>
#include <QtEndian>

#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

namespace {

template<typename T>
void setLE(QByteArray &b, int offset, T v)
{
    qToLittleEndian(v, b.data() + offset);
}

void setText(QByteArray &b, int offset, const QByteArray &text, int maxChars)
{
    const QByteArray t = text.left(maxChars);
    std::memcpy(b.data() + offset, t.constData(), size_t(t.size()));
}

// End values of the conversion over [lo, hi], stepping around a pole that lies
// on a whole raw value.
void endValues(const SampleCodec::Coefficients &k, qint64 lo, qint64 hi, double *eLo, double *eHi)
{
    qint64 a = lo, b = hi;
    if (k.g2 != 0) {
        const double x0 = -k.o2 / k.g2;
        if (x0 == std::floor(x0) && x0 >= double(lo) && x0 <= double(hi)) {
            const qint64 p = qint64(x0);
            if (p == hi)
                b = hi - 1;
            else if (p == lo)
                a = lo + 1;
            else {
                a = p - 1;
                b = p + 1;
            }
        }
    }
    *eLo = k.eng(qint32(a));
    *eHi = k.eng(qint32(b));
}

// Turns stored samples into the unsigned values of the data file.
struct SampleEncoder
{
    int size = 1, width = 2;
    bool isSigned = false, zero = false;
    SampleCodec::Coefficients k;
    std::unique_ptr<SampleCodec::ZeroCorrection> correction;
    std::vector<quint32> table;   // stored sample -> file value, for short samples

    SampleEncoder(const ChannelInfo &c, qint64 samples)
        : size(c.sampleSize), width(Writer2D::sampleWidth(c.sampleSize)), isSigned(c.isSigned()), zero(c.zeroCorrected()),
          k(SampleCodec::Coefficients::of(Writer2D::fileChannel(c)))
    {
        if (zero)   // the zero reference goes through the file's coefficients too
            correction = std::make_unique<SampleCodec::ZeroCorrection>(k, c.zeroReference, width, samples);
        if (zero && size <= 2 && samples > (qint64(4) << (8 * size))) {
            table.resize(size_t(1) << (8 * size));
            for (quint32 raw = 0; raw < table.size(); ++raw)
                table[raw] = convert(raw);
        }
    }

    quint32 value(const quint8 *p) const
    {
        const quint32 raw = SampleCodec::readRaw(p, size);
        return table.empty() ? convert(raw) : table[raw];
    }

    quint32 convert(quint32 raw) const
    {
        const int bits = 8 * width;
        const quint32 mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        if (isSigned) {
            const int shift = 32 - 8 * size;
            const qint32 s = qint32(raw << shift) >> shift;
            raw = (quint32(s) + (1u << (bits - 1))) & mask;
        }
        if (zero)
            raw = (*correction)(raw);
        return raw & mask;
    }

    // The samples at src[r] + at, r < m, into out; one loop per kind of
    // sample with its pointers in locals.
    void column(const quint8 *const *src, int m, int at, quint8 *out) const
    {
        const quint32 *const t = table.data();
        if (!table.empty() && size == 1) {
            for (int r = 0; r < m; ++r, out += 2)
                qToLittleEndian<quint16>(quint16(t[src[r][at]]), out);
        } else if (!table.empty()) {
            for (int r = 0; r < m; ++r, out += 2)
                qToLittleEndian<quint16>(quint16(t[qFromBigEndian<quint16>(src[r] + at)]), out);
        } else if (zero || (size != 1 && size != 2 && size != 4)) {
            for (int r = 0; r < m; ++r, out += width)
                SampleCodec::putLE(out, value(src[r] + at), width);
        } else if (isSigned && size == 1) {
            // Offset binary: a byte's sign extended to 16 bits plus 0x8000.
            for (int r = 0; r < m; ++r, out += 2)
                qToLittleEndian<quint16>(quint16((src[r][at] ^ 0x80u) + 0x7F80u), out);
        } else if (isSigned && size == 2) {
            for (int r = 0; r < m; ++r, out += 2)
                qToLittleEndian<quint16>(qFromBigEndian<quint16>(src[r] + at) ^ 0x8000u, out);
        } else if (isSigned) {
            for (int r = 0; r < m; ++r, out += 4)
                qToLittleEndian(qFromBigEndian<quint32>(src[r] + at) ^ 0x80000000u, out);
        } else if (size == 1) {
            for (int r = 0; r < m; ++r, out += 2)
                qToLittleEndian<quint16>(src[r][at], out);
        } else if (size == 2) {
            for (int r = 0; r < m; ++r, out += 2)
                qToLittleEndian(qFromBigEndian<quint16>(src[r] + at), out);
        } else {
            for (int r = 0; r < m; ++r, out += 4)
                qToLittleEndian(qFromBigEndian<quint32>(src[r] + at), out);
        }
    }
};

constexpr size_t MinBuffer = 16 << 10, MaxBuffer = 1 << 20, BufferPool = 16 << 20;

// The data files of some channels, one pass over the memory. Reads the
// decoder only through its const accessors and the lists taken before, so
// two parts can be written at once.
struct DataFiles
{
    const DecodeDataLogged &decoder;
    PeriodGroups::RunLists runs;
    std::unique_ptr<StreamFile> *files;   // of the channels, in order

    // part: period groups or pieces of them, each led by its first channel.
    void write(const QVector<PeriodGroup> &part, std::atomic<qint64> &done, const std::function<void()> &afterRun) const
    {
        if (part.isEmpty())
            return;
        std::vector<SampleEncoder> encoders;   // of the part's channels in order
        std::vector<int> at;                   // of each sample from its record's start
        const QVector<ChannelInfo> &channels = decoder.channels();
        for (const PeriodGroup &g : part) {
            for (int i = g.first, offset = 0; i < g.first + g.count; offset += channels[i++].sampleSize) {
                encoders.emplace_back(channels[i], decoder.sampleCount(i));
                at.push_back(offset);
            }
        }
        std::vector<size_t> firstSlot{0};   // of each group's channels
        for (const PeriodGroup &g : part)
            firstSlot.push_back(firstSlot.back() + size_t(g.count));
        // Each group's records of a slice go out channel by channel while
        // they are in the cache. A run cut by the end of the download leaves
        // the first channels of a group one sample more than the group's
        // records; those follow at the run's end. Progress is told once a
        // run, so the hot loop shares nothing with the other part.
        qint64 written = 0;
        PeriodGroups::forEachSlice(
            decoder, runs, part,
            [&](int gi, int, qint64, const quint8 *const *src, int m) {
                const PeriodGroup &g = part[gi];
                for (int c = 0; c < g.count; ++c) {
                    StreamFile &f = *files[g.first + c];
                    const size_t slot = firstSlot[size_t(gi)] + size_t(c);
                    const SampleEncoder &e = encoders[slot];
                    for (int r = 0; r < m;) {
                        int n = (m - r) * e.width;
                        quint8 *out = f.space(&n);
                        e.column(src + r, n / e.width, at[slot], out);
                        f.advance(n);
                        r += n / e.width;
                    }
                    written += qint64(m) * e.width;
                }
            },
            [&](int k) {
                const QList<SampleList> &lists = runs[size_t(k)];
                for (int gi = 0; gi < part.size() && !lists.isEmpty(); ++gi) {
                    const PeriodGroup &g = part[gi];
                    for (int c = 0; c < g.count; ++c) {
                        const SampleList &l = lists[g.first + c];
                        StreamFile &f = *files[g.first + c];
                        const SampleEncoder &e = encoders[firstSlot[size_t(gi)] + size_t(c)];
                        for (qint64 j = g.perRun[k]; j < l.count(); ++j) {
                            SampleCodec::putLE(f.room(e.width), e.value(l.at(j)), e.width);
                            f.advance(e.width);
                            written += e.width;
                        }
                    }
                }
                done.store(written, std::memory_order_relaxed);
                if (afterRun)
                    afterRun();
            });
    }
};

// Two halves of the groups' channels, each group cut where half its bytes
// are reached: both parts then hold records of every period, and so cost
// alike (a slow period's sparse samples cost more a byte than a fast one's).
std::pair<QVector<PeriodGroup>, QVector<PeriodGroup>> halves(const QVector<PeriodGroup> &groups,
                                                             const std::vector<qint64> &bytes)
{
    std::pair<QVector<PeriodGroup>, QVector<PeriodGroup>> parts;
    qint64 first = 0, second = 0;   // bytes of each part so far
    for (const PeriodGroup &g : groups) {
        qint64 total = 0;
        for (int i = g.first; i < g.first + g.count; ++i)
            total += bytes[size_t(i)];
        int cut = 0;
        for (qint64 sum = 0; cut < g.count && 2 * (sum + bytes[size_t(g.first + cut)]) <= total; ++cut)
            sum += bytes[size_t(g.first + cut)];
        if (cut == 0 && first <= second)   // too uneven to cut: whole to the lighter part
            cut = g.count;
        PeriodGroup a = g, b = g;
        a.count = cut;
        b.first = g.first + cut;
        b.count = g.count - cut;
        qint64 inFirst = 0;
        for (int i = a.first; i < a.first + a.count; ++i)
            inFirst += bytes[size_t(i)];
        first += inFirst;
        second += total - inFirst;
        if (a.count)
            parts.first.append(a);
        if (b.count)
            parts.second.append(b);
    }
    return parts;
}

} // namespace

QString Writer2D::baseName(const QString &dir)
{
    const QString last = dir.split(QRegularExpression(QStringLiteral("[\\\\/]"))).last();
    return last.section(QLatin1Char('.'), 0, 0);
}

ChannelInfo Writer2D::fileChannel(const ChannelInfo &c)
{
    if (!c.isSigned())
        return c;
    const int bits = 8 * sampleWidth(c.sampleSize);
    const qint64 lo = -(qint64(1) << (bits - 1)), hi = (qint64(1) << (bits - 1)) - 1;
    double eLo = 0, eHi = 0;
    endValues(SampleCodec::Coefficients::of(c), lo, hi, &eLo, &eHi);
    ChannelInfo r = c;
    // Held as 32-bit floats, as the configuration image holds coefficients.
    r.g1 = float((eHi - eLo) / (std::ldexp(1.0, bits) - 1));
    r.o1 = float(eLo);
    r.g2 = 0;
    r.o2 = 1;
    return r;
}

QByteArray Writer2D::header(const QVector<ChannelInfo> &channels) const
{
    const QDateTime when = m_when.isValid() ? m_when : QDateTime::currentDateTime();
    QString text;
    QTextStream s(&text);
    s << "[DOWNLOAD]\n"
      << "Basic samplingrate = 200 [Hz]\n"
      << "Date =" << when.toString(QStringLiteral("dd.MM.yyyy")) << "\n"
      << "Time =" << when.toString(QStringLiteral("hh:mm")) << "h\n"
      << "ECUInfo =" << QString::fromLatin1(m_decoder.ecuInfo()) << "\n"
      << "LoggerRuns =" << m_decoder.numRun() << "\n"
      << "\n"
      << "[CHANNELS]\n";
    for (int i = 0; i < channels.size(); ++i) {
        const ChannelInfo &c = channels[i];
        s << "D" << (i + 1) << " = " << QString::fromLatin1(c.label) << " [" << QString::fromLatin1(c.unit) << "] "
          << float(1000.0f / float(c.period)) << " [Hz]\n";
    }
    s << "\n";
    if (!m_comment.isEmpty()) {
        s << "[Comment]\n";
        for (int k = 0; k < m_comment.size(); ++k)
            s << k << "=" << m_comment[k] << "\n";
        s << "\n";
    }
    s.flush();
    return text.toLatin1();
}

QByteArray Writer2D::laps() const
{
    const QVector<qint64> &marks = m_decoder.lapMarks();
    QByteArray b(12 + 4 * marks.size(), '\0');
    setLE<qint32>(b, 0, qint32(marks.size()));
    setLE<qint32>(b, 4, 200);
    for (int i = 0; i < marks.size(); ++i)
        setLE<qint32>(b, 12 + 4 * i, qint32(marks[i]));
    return b;
}

QByteArray Writer2D::description(const QVector<ChannelInfo> &channels) const
{
    QByteArray file(64, '\0');
    setLE<qint32>(file, 0, 64);
    setLE<qint32>(file, 4, 100);
    setText(file, 8, "2D", 39);
    setText(file, 48, "ORV", 15);

    QByteArray block(72, '\0');
    setLE<qint32>(block, 0, 72);
    setLE<qint32>(block, 4, 256);
    setText(block, 8, "Channels", 15);
    setLE<qint16>(block, 24, qint16(channels.size()));
    setLE<qint32>(block, 26, 106);
    setLE<qint16>(block, 30, 10);
    const qint32 fieldSizes[10] = {24, 2, 8, 32, 4, 4, 4, 4, 8, 16};
    for (int f = 0; f < 10; ++f)
        setLE<qint32>(block, 32 + 4 * f, fieldSizes[f]);
    file += block;

    for (int i = 0; i < channels.size(); ++i) {
        const ChannelInfo &c = channels[i];
        const int w = sampleWidth(c.sampleSize);
        QByteArray r(106, '\0');
        setLE<qint32>(r, 0, 106);
        setLE<qint32>(r, 4, 256);
        setText(r, 8, c.label, 15);
        setLE<qint16>(r, 24, qint16(i));
        setText(r, 26, c.unit, 7);
        setLE<double>(r, 34, c.g1);
        setLE<double>(r, 42, c.o1);
        setLE<double>(r, 50, c.g2);
        setLE<double>(r, 58, c.o2);
        setLE<float>(r, 66, 1000.0f / float(c.period));
        setLE<qint32>(r, 70, w);
        r[74] = 0x55;
        setLE<qint32>(r, 78, w * 8);
        setText(r, 82, QStringLiteral("A%1").arg(i, 3, 10, QLatin1Char('0')).toLatin1(), 7);
        file += r;
    }
    return file;
}

bool Writer2D::write(const QString &dir)
{
    m_error.clear();
    if (!m_decoder.decodable()) {
        m_error = m_decoder.refusal();
        return false;
    }
    QVector<ChannelInfo> channels;
    for (const ChannelInfo &c : m_decoder.channels())
        channels.append(fileChannel(c));
    const QString base = dir + QLatin1Char('/') + baseName(dir);

    std::vector<std::unique_ptr<StreamFile>> files;
    auto fail = [&](const StreamFile &f) {
        m_error = f.path() + QStringLiteral(": ") + f.errorString();
        for (auto &g : files)
            g->discard();
        return false;
    };
    auto small = [&](const QString &ext, const QByteArray &content) {
        files.push_back(std::make_unique<StreamFile>(base + ext, 4096));
        StreamFile &f = *files.back();
        if (f.open())
            f.put(content.constData(), content.size());
        return f.ok();
    };
    if (!small(QStringLiteral(".hed"), header(channels)) || !small(QStringLiteral(".lap"), laps())
        || !small(QStringLiteral(".ldf"), description(channels)))
        return fail(*files.back());

    // All data files are open before any sample is written. Their buffers
    // share one block; each is a power of two in proportion to its file, so
    // files go out in whole buffers at aligned offsets and the page cache
    // keeps them in large pieces, cheaper to write and to drop.
    const int channelCount = int(channels.size());
    std::vector<qint64> bytes;   // of each data file
    qint64 total = 0;
    for (int i = 0; i < channelCount; ++i) {
        bytes.push_back(m_decoder.sampleCount(i) * sampleWidth(channels[i].sampleSize));
        total += bytes.back();
    }
    std::vector<size_t> at{0};   // of each file's buffer in the block
    for (int i = 0; i < channelCount; ++i) {
        size_t size = MinBuffer;
        while (size < MaxBuffer && double(2 * size) <= double(BufferPool) * double(bytes[size_t(i)]) / double(qMax<qint64>(total, 1)))
            size *= 2;
        at.push_back(at.back() + size);
    }
    BigBuffer buffers(qMax<size_t>(at.back(), 1));
    if (!buffers.data()) {
        for (auto &g : files)
            g->discard();
        m_error = QStringLiteral("not enough memory for the output buffers");
        return false;
    }
    for (int i = 0; i < channelCount; ++i) {
        files.push_back(std::make_unique<StreamFile>(base + QStringLiteral(".A%1").arg(i, 3, 10, QLatin1Char('0')),
                                                     buffers.data() + at[size_t(i)], int(at[size_t(i) + 1] - at[size_t(i)])));
        if (!files.back()->open())
            return fail(*files.back());
    }

    // One half is written here, the other beside it on another core.
    const QVector<PeriodGroup> groups = PeriodGroups::of(m_decoder);
    const DataFiles data{m_decoder, PeriodGroups::runLists(m_decoder), files.data() + 3};
    const auto parts = halves(groups, bytes);
    std::atomic<qint64> besideDone{0};
    SideThread beside([&] { data.write(parts.second, besideDone, {}); });
    std::atomic<qint64> done{0};
    data.write(beside.ran() ? parts.first : groups, done, [&] {
        if (m_progress)
            m_progress(done + besideDone, total);
    });
    beside.join();
    for (auto &f : files) {
        if (!f->finish())
            return fail(*f);
    }
    return true;
}
