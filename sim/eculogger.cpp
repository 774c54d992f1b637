#include "eculogger.h"

#include "ecusimulator.h"

#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <cstring>

namespace {
constexpr quint32 HeaderSize = 884;
constexpr int RunTableMax = 207;
constexpr qint64 FillLimitMs = 24 * 3600 * 1000;

quint32 be16(const char *p) { return (quint32(quint8(p[0])) << 8) | quint8(p[1]); }
quint32 le16(const char *p) { return (quint32(quint8(p[1])) << 8) | quint8(p[0]); }
quint32 be32(const char *p) { return (be16(p) << 16) | be16(p + 2); }
void putBe32(char *p, quint32 v)
{
    p[0] = char(v >> 24);
    p[1] = char(v >> 16);
    p[2] = char(v >> 8);
    p[3] = char(v);
}

bool validPeriod(quint32 p)
{
    for (quint32 v : {5u, 10u, 20u, 40u, 80u, 160u, 320u, 640u})
        if (p == v)
            return true;
    return false;
}

struct Resolved
{
    bool ok = false;
    quint32 address = 0;
};

// The address forms a device file's logger table allows: "*decimal", "0x..",
// or a variable's name.
Resolved resolve(const SimDescription &d, const char *key, bool elf)
{
    QString text = d.loggerAddresses.value(QLatin1String(key)).trimmed();
    Resolved r;
    if (text.isEmpty())
        return r;
    if (text.startsWith(QLatin1Char('*'))) {
        text.remove(QLatin1Char('*'));
        r.address = text.toUInt(&r.ok, 10);
        return r;
    }
    if (!text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const SimChannel *c = d.channelByName(text.toLatin1());
        r.ok = c != nullptr;
        r.address = c ? (elf ? c->address : c->tableAddress) : 0;
        return r;
    }
    static const QRegularExpression prefix(QStringLiteral("^0[Xx]+"));
    text.remove(prefix);
    r.address = text.toUInt(&r.ok, 16);
    return r;
}

class LoggerWindow : public MemoryHandler
{
public:
    LoggerWindow(EcuLogger &logger, EcuLogger::Window window, quint32 which, quint32 begin)
        : m_logger(logger)
        , m_window(window)
        , m_which(which)
        , m_begin(begin)
    {
    }
    bool read(quint32 address, char *destination, quint32 length) override
    {
        return m_logger.read(m_window, m_which, address - m_begin, destination, length);
    }
    bool write(quint32 address, const char *source, quint32 length) override
    {
        return m_logger.write(m_window, m_which, address - m_begin, source, length);
    }

private:
    EcuLogger &m_logger;
    EcuLogger::Window m_window;
    quint32 m_which;
    quint32 m_begin;
};
} // namespace

EcuLogger::EcuLogger(EcuSimulator &simulator, const SimDescription &description)
    : m_sim(simulator)
    , m_description(description)
{
    m_wall.start();
}

EcuLogger::~EcuLogger() = default;

std::unique_ptr<EcuLogger> EcuLogger::create(EcuSimulator &simulator, const SimDescription &d)
{
    const bool elf = !d.elfName.isEmpty() && !d.idStringName.isEmpty() && !d.idStringValue.isEmpty()
                     && d.idStringAddress != 0;
    const Resolved header = resolve(d, "XA_HeaderBeginAddress", elf);
    const Resolved setup = resolve(d, "XA_SetupBeginAddress", elf);
    const Resolved info = resolve(d, "XA_ChannelInfoBeginAddress", elf);
    const Resolved stop = resolve(d, "XA_StopLoggerReqAddress", elf);
    const Resolved clear = resolve(d, "XA_ClearLoggerDataReqAddress", elf);
    const Resolved run = resolve(d, "XA_LoggerRunAddress", elf);
    const Resolved dataBegin = resolve(d, "XA_DataBeginAddress", elf);
    const Resolved dataEnd = resolve(d, "XA_DataEndAddress", elf);
    const Resolved infoSize = resolve(d, "XA_ChannelInfoSizeAddress", elf);
    const qint64 available = d.loggerValues.value(QStringLiteral("AvailableBytes"));
    qint64 n = d.loggerValues.value(QStringLiteral("ChannelsCount_OffLine"));
    const int mode = infoSize.ok && infoSize.address != 0 ? 1 : 0;
    if (mode == 1)
        n = 64;
    if (!header.ok || !setup.ok || !info.ok || !stop.ok || !clear.ok || !run.ok || !dataBegin.ok
        || (mode == 1 && !dataEnd.ok) || available <= 0 || available > 0x7FFFFFFF || n <= 0 || n > 4096)
        return nullptr;

    std::unique_ptr<EcuLogger> l(new EcuLogger(simulator, d));
    l->m_compact = !elf;
    l->m_mode = mode;
    l->m_n = quint32(n);
    l->m_infoSize = mode == 1 ? 4096 : quint32(n) * 55;
    l->m_page = mode == 1 ? 32 : quint32(qMax<qint64>(0, d.loggerValues.value(QStringLiteral("PageAlignment"))));
    l->m_available = quint32(available);
    l->m_header = header.address;
    l->m_setup = setup.address;
    l->m_channelInfo = info.address;
    l->m_dataBeginCell = dataBegin.address;
    l->m_dataEndCell = dataEnd.address;
    l->m_dataArea = quint32(d.loggerValues.value(QStringLiteral("DataArea"),
                                                 dataBegin.address + (mode == 1 ? 4096 : 0)));
    l->m_cells[StopCell].address = stop.address;
    l->m_cells[ClearCell].address = clear.address;
    l->m_cells[RunCell].address = run.address;
    for (CellPlace &c : l->m_cells)
        for (const CellPlace &other : l->m_cells)
            if (other.address > c.address && other.address - c.address < c.width)
                c.width = other.address - c.address;
    l->m_clearDelayMs = qMax<qint64>(0, d.loggerValues.value(QStringLiteral("ClearDelayMs"), 100));
    l->m_idBytes = d.idStringValue.left(32).leftJustified(32, '\0');
    const quint32 nn = l->m_n, s = l->m_infoSize;
    l->m_block = QByteArray(int(l->m_compact ? 905 + 2 * nn + s : HeaderSize + 60 * nn + 22), '\0');
    return l;
}

void EcuLogger::install()
{
    const quint32 space = m_sim.mainSpace();
    const auto mount = [&](quint32 address, quint32 size, Window window, quint32 which) {
        m_sim.mount(space, address, size, std::make_shared<LoggerWindow>(*this, window, which, address));
    };
    const quint32 n = m_n, s = m_infoSize;
    if (!m_compact) {
        mount(m_header, quint32(m_block.size()), Block, 0);
        mount(m_setup, 60 * n + 22, Block, HeaderSize);
        mount(m_channelInfo, 55 * n + 2, Block, HeaderSize + 20 + 5 * n);
    } else if (m_mode == 0) {
        mount(m_header, quint32(m_block.size()), Block, 0);
        mount(m_setup, 858 + 2 * n + s, Block, 38);
        mount(m_channelInfo, s + 2, Block, 894 + 2 * n);
    } else {
        mount(m_header, 894 + 2 * n, Block, 0);
        mount(m_setup, 24 + 2 * n, Block, 38);
        // The tool writes the channel records right after the setup part.
        mount(m_setup + 24 + 2 * n, s + 2, Block, 894 + 2 * n);
        mount(m_channelInfo, s + 2, Block, 894 + 2 * n);
        mount(m_dataEndCell, 4, PointerCell, 0);
        mount(m_dataBeginCell, 4, PointerCell, 1);
    }
    for (int c = 0; c < 3; ++c)
        mount(m_cells[c].address, m_cells[c].width, Cell, quint32(c));
    mount(m_dataArea, m_available, Data, 0);
}

quint32 EcuLogger::checksumOffset() const
{
    return m_compact ? 894 + 2 * m_n + m_infoSize : HeaderSize + 20 + 60 * m_n;
}

bool EcuLogger::blockByteWritable(quint32 at) const
{
    if (!m_compact)
        return at >= HeaderSize;
    return (at >= 38 && at < 62 + 2 * m_n) || (at >= 894 + 2 * m_n && at < 896 + 2 * m_n + m_infoSize);
}

quint32 EcuLogger::reportedEnd() const
{
    if (m_runs.isEmpty())
        return m_dataArea;
    return m_dataArea + m_runs.last().offset + m_runs.last().modules * m_moduleBytes;
}

quint32 EcuLogger::reportedStart() const
{
    return m_sim.loggerFaults().startPastEnd ? reportedEnd() + 4 : m_dataArea;
}

bool EcuLogger::read(Window window, quint32 which, quint32 offset, char *destination, quint32 length)
{
    sync();
    switch (window) {
    case Block: {
        const quint32 at = which + offset;
        refreshHeader();
        memcpy(destination, m_block.constData() + at, length);
        if (m_sim.loggerFaults().badChecksum) {
            const quint32 sum = checksumOffset();
            for (quint32 k = sum; k < sum + 2; ++k)
                if (k >= at && k < at + length)
                    destination[k - at] = char(~destination[k - at]);
        }
        return true;
    }
    case Cell: {
        quint32 v = m_cellValue[which];
        if (which == RunCell)
            v = (m_state == Armed || m_state == Recording) ? 1 : 0;
        for (quint32 i = 0; i < length; ++i)
            destination[i] = offset + i < 4 ? char(v >> (8 * (offset + i))) : 0;
        return true;
    }
    case PointerCell: {
        char bytes[4];
        putBe32(bytes, which == 0 ? reportedEnd() : reportedStart());
        for (quint32 i = 0; i < length; ++i)
            destination[i] = offset + i < 4 ? bytes[offset + i] : 0;
        return true;
    }
    case Data: {
        const qint64 vanish = m_sim.loggerFaults().vanishAfter;
        if (vanish >= 0 && m_dataBytesRead + length > quint64(vanish)) {
            m_sim.setAbsent(true);
            return false;
        }
        m_dataBytesRead += length;
        const quint64 have = m_data.size();
        const quint32 n = offset < have ? quint32(qMin<quint64>(length, have - offset)) : 0;
        if (n)
            memcpy(destination, m_data.data() + offset, n);
        memset(destination + n, 0, length - n);
        return true;
    }
    }
    return false;
}

bool EcuLogger::write(Window window, quint32 which, quint32 offset, const char *source, quint32 length)
{
    sync();
    if (window == Block) {
        for (quint32 i = 0; i < length; ++i)
            if (blockByteWritable(which + offset + i))
                m_block[int(which + offset + i)] = source[i];
        return true;
    }
    if (window != Cell || which == RunCell)
        return true; // the logger's own values: writes have no effect
    quint32 &v = m_cellValue[which];
    for (quint32 i = 0; i < length && offset + i < 4; ++i) {
        const quint32 shift = 8 * (offset + i);
        v = (v & ~(0xFFu << shift)) | (quint32(quint8(source[i])) << shift);
    }
    if (which == StopCell && v != 0)
        m_dataBytesRead = 0; // a download starts with a stop: vanish=N counts from here
    if (which == ClearCell)
        m_clearDue = v == 1 ? m_wall.elapsed() + m_clearDelayMs : -1;
    applyStopRequest();
    return true;
}

void EcuLogger::sync()
{
    const qint64 wall = m_wall.elapsed();
    const qint64 target = m_now + (m_realTime ? wall - m_lastWall : 0);
    m_lastWall = wall;
    if (m_clearDue >= 0 && wall >= m_clearDue && m_cellValue[ClearCell] == 1 && !m_sim.loggerFaults().noClear) {
        advanceTo(m_realTime ? qMax(m_now, target - (wall - m_clearDue)) : m_now);
        if (m_runOpen)
            closeRun(m_now);
        m_runs.clear();
        m_data.clear();
        decodeSetup();
        m_cellValue[ClearCell] = 2;
        // The clear done, the logger releases its own stop request and resumes.
        m_cellValue[StopCell] = 0;
        m_clearDue = -1;
        m_state = m_moduleBytes ? Armed : NoConfiguration;
        m_armedMs = m_now;
        m_conditionMs = -1;
    }
    applyStopRequest();
    advanceTo(target);
}

void EcuLogger::applyStopRequest()
{
    const bool stop = m_cellValue[StopCell] != 0 && !m_sim.loggerFaults().noStop;
    if (stop && (m_state == Armed || m_state == Recording)) {
        if (m_runOpen)
            closeRun(m_now);
        m_state = Stopped;
    } else if (!stop && m_state == Stopped) {
        m_state = Armed;
        m_armedMs = m_now;
        m_conditionMs = -1;
    }
}

qint64 EcuLogger::channelValue(const Channel &c, qint64 ms) const
{
    if (c.simIndex < 0)
        return 0;
    quint64 v = EcuSimulator::variableValue(c.simIndex, m_description.channels.at(c.simIndex), ms);
    if (c.bytes >= 8)
        return qint64(v);
    const quint32 bits = 8 * c.bytes;
    v &= (quint64(1) << bits) - 1;
    if (c.isSigned && bits && (v >> (bits - 1)))
        return qint64(v) - (qint64(1) << bits);
    return qint64(v);
}

bool EcuLogger::triggerHigh(qint64 ms) const
{
    return m_triggerChannel >= 0 && channelValue(m_channels.at(m_triggerChannel), ms) >= m_high;
}

bool EcuLogger::triggerLow(qint64 ms) const
{
    return m_triggerChannel >= 0 && channelValue(m_channels.at(m_triggerChannel), ms) < m_low;
}

qint64 EcuLogger::nextOpening(qint64 target)
{
    qint64 at = m_armedMs;
    switch (m_triggerType) {
    case 1:
        at = m_armedMs + m_delayMs;
        break;
    case 2:
        if (!m_input)
            return -1;
        at = m_conditionMs + m_delayMs;
        break;
    case 3:
        // The trigger channel is watched on the 5 ms base rate.
        for (qint64 t = (m_now + 4) / 5 * 5; t <= target; t += 5) {
            if (!triggerHigh(t)) {
                m_conditionMs = -1;
                continue;
            }
            if (m_conditionMs < 0)
                m_conditionMs = t;
            if (t - m_conditionMs >= m_delayMs)
                return t;
        }
        return -1;
    default:
        break;
    }
    return at <= target ? qMax(at, m_now) : -1;
}

int EcuLogger::entriesUsed() const
{
    int used = 0;
    for (int k = 0; k < m_runs.size(); ++k) {
        const Run &r = m_runs.at(k);
        const bool open = m_runOpen && k == m_runs.size() - 1;
        used += 1 + r.laps.size() + ((open || r.laps.isEmpty() || r.laps.last() != r.ticks) ? 1 : 0);
    }
    return used;
}

void EcuLogger::openRun(qint64 ms)
{
    quint64 offset = 0;
    if (!m_runs.isEmpty()) {
        const Run &last = m_runs.last();
        offset = last.offset + quint64(last.modules) * m_moduleBytes;
        if (m_page)
            offset = (offset + m_page - 1) / m_page * m_page;
    }
    if (entriesUsed() + 2 > RunTableMax || offset + m_moduleBytes > m_available) {
        m_state = Full;
        return;
    }
    Run r;
    r.startMs = ms;
    r.offset = quint32(offset);
    m_runs.append(r);
    m_runOpen = true;
    m_state = Recording;
}

void EcuLogger::closeRun(qint64 ms)
{
    Run &r = m_runs.last();
    r.ticks = quint32(qMax<qint64>(0, ms - r.startMs) / 5);
    while (!r.laps.isEmpty() && r.laps.last() > r.ticks) // marked in a module that did not fit
        r.laps.removeLast();
    m_runOpen = false;
    if (r.ticks == 0) // a run without time would read as the start of the next
        m_runs.removeLast();
}

void EcuLogger::writeModule()
{
    Run &r = m_runs.last();
    size_t p = r.offset + size_t(r.modules) * m_moduleBytes;
    if (m_data.size() < p + m_moduleBytes)
        m_data.resize(qMax<size_t>(p + m_moduleBytes, qMin<size_t>(m_available, 2 * m_data.size())), '\0');
    const qint64 base = r.startMs + qint64(r.modules) * m_maxP;
    char *out = m_data.data();
    for (const Slot &s : m_module) {
        const quint64 ms = quint64(qMax<qint64>(0, base + s.time));
        const quint64 q = !s.period ? 0 : ms <= 0xFFFFFFFFu ? quint32(ms) / s.period : ms / s.period;
        const quint64 v = s.period ? (s.base + q) & s.mask : 0;
        for (quint32 k = s.bytes; k > 0; --k)
            out[p++] = char(v >> (8 * (k - 1)));
    }
    ++r.modules;
}

void EcuLogger::advanceTo(qint64 target)
{
    for (;;) {
        if (m_state == Armed) {
            const qint64 at = nextOpening(target);
            if (at < 0)
                break;
            m_now = qMax(m_now, at);
            openRun(m_now);
            continue;
        }
        if (m_state != Recording)
            break;
        const Run &r = m_runs.last();
        const qint64 end = r.startMs + qint64(r.modules + 1) * m_maxP;
        if (end > target)
            break;
        if (quint64(r.offset) + quint64(r.modules + 1) * m_moduleBytes > m_available) {
            m_now = qMax(m_now, r.startMs + qint64(r.modules) * m_maxP);
            closeRun(r.startMs + qint64(r.modules) * m_maxP);
            m_state = Full;
            break;
        }
        writeModule();
        m_now = end;
        if ((m_triggerType == 3 && triggerLow(end)) || (m_triggerType == 2 && !m_input)) {
            closeRun(end);
            m_state = Armed;
            m_armedMs = end;
            m_conditionMs = -1;
        }
    }
    m_now = qMax(m_now, target);
}

void EcuLogger::decodeSetup()
{
    m_channels.clear();
    m_module.clear();
    m_minP = m_maxP = m_moduleBytes = 0;
    m_triggerChannel = -1;
    const char *b = m_block.constData();
    const quint32 n = m_n;
    const char *counts = m_compact ? b + 54 : b + HeaderSize + 12;
    quint32 c = 0;
    for (int k = 0; k < 8; ++k)
        c += quint8(counts[k]);
    if (c == 0 || c > n)
        return;
    quint32 trigger16 = be16(b + 40);
    int triggerPos = -1;
    for (quint32 i = 0; i < c; ++i) {
        Channel ch;
        ch.configIndex = int(i);
        quint32 address;
        if (m_compact) {
            const char *rec = b + 894 + 2 * n + 55 * i;
            address = be16(b + 62 + 2 * i);
            ch.bytes = quint8(rec[24]);
            ch.period = le16(rec + 51);
            if (b[38] == 3 && address == trigger16)
                triggerPos = int(i);
        } else {
            const char *img = b + HeaderSize;
            const char *rec = img + 20 + 5 * n + 55 * i;
            address = be32(img + 20 + 4 * i);
            ch.bytes = quint8(rec[54]);
            ch.period = le16(rec + 2);
        }
        for (int k = 0; k < m_description.channels.size() && ch.simIndex < 0; ++k) {
            const SimChannel &sc = m_description.channels.at(k);
            if (m_compact ? (sc.tableAddress & 0xFFFF) == address : sc.address == address)
                ch.simIndex = k;
        }
        ch.isSigned = ch.simIndex >= 0 && m_description.channels.at(ch.simIndex).type != 0;
        if (!validPeriod(ch.period) || ch.bytes > 8) {
            m_channels.clear();
            return;
        }
        m_channels.append(ch);
    }
    std::stable_sort(m_channels.begin(), m_channels.end(),
                     [](const Channel &x, const Channel &y) { return x.period < y.period; });
    m_minP = m_channels.first().period;
    m_maxP = m_channels.last().period;
    for (const Channel &ch : std::as_const(m_channels))
        m_moduleBytes += m_maxP / ch.period * ch.bytes;
    const auto mask = [](quint32 bytes) { return bytes >= 8 ? ~quint64(0) : (quint64(1) << (8 * bytes)) - 1; };
    for (quint32 t = m_minP; t <= m_maxP; t += m_minP)
        for (const Channel &ch : std::as_const(m_channels)) {
            if (t % ch.period)
                continue;
            Slot s{t, ch.bytes, 0, 0, 0};
            if (ch.simIndex >= 0) {
                const SimChannel &sc = m_description.channels.at(ch.simIndex);
                s.period = sc.periodMs ? sc.periodMs : 10;
                s.base = quint64(1000) * quint64(ch.simIndex);
                s.mask = mask(sc.nByte) & mask(ch.bytes);
            }
            m_module.push_back(s);
        }

    const char *head = m_compact ? b + 38 : b + HeaderSize;
    m_triggerType = quint8(head[0]);
    m_delayMs = qint64(quint8(head[1])) * 100;
    if (m_triggerType != 3)
        return;
    if (!m_compact)
        triggerPos = int(be16(head + 2));
    for (int k = 0; k < m_channels.size(); ++k)
        if (m_channels.at(k).configIndex == triggerPos)
            m_triggerChannel = k;
    if (m_compact) {
        const bool wide = m_triggerChannel >= 0 && m_channels.at(m_triggerChannel).isSigned;
        m_low = wide ? qint16(be16(b + 42)) : qint64(be16(b + 42));
        m_high = wide ? qint16(be16(b + 44)) : qint64(be16(b + 44));
    } else {
        m_low = qint32(be32(head + 4));
        m_high = qint32(be32(head + 8));
    }
}

quint32 EcuLogger::runTableEntries(QVector<quint32> *entries) const
{
    quint32 runs = 0;
    for (int k = 0; k < m_runs.size(); ++k) {
        const Run &r = m_runs.at(k);
        const bool open = m_runOpen && k == m_runs.size() - 1;
        const quint32 ticks = open ? quint32((m_now - r.startMs) / 5) : r.ticks;
        if (ticks == 0)
            continue;
        ++runs;
        *entries << 0 << r.laps;
        if (r.laps.isEmpty() || r.laps.last() != ticks)
            *entries << ticks;
    }
    return runs;
}

void EcuLogger::refreshHeader()
{
    QVector<quint32> entries;
    const quint32 runs = runTableEntries(&entries);
    const quint8 state = m_state == Recording ? 2 : m_state == Armed ? 1 : m_state == Full ? 3 : 0;
    char *b = m_block.data();
    memcpy(b, m_idBytes.constData(), 32);
    char *table = m_compact ? b + 62 + 2 * m_n : b + 38;
    memset(table, 0, 4 + 4 * RunTableMax);
    table[1] = char(entries.size());
    table[2] = char(runs);
    for (int j = 0; j < entries.size() && j < RunTableMax; ++j)
        putBe32(table + 4 + 4 * j, entries.at(j));
    char *tail = m_compact ? b + 896 + 2 * m_n + m_infoSize : b + 870;
    putBe32(tail, reportedEnd());
    putBe32(tail + 4, reportedStart());
    tail[8] = char(state);
}

EcuLogger::State EcuLogger::state()
{
    sync();
    return m_state;
}

QByteArray EcuLogger::status()
{
    static const char *const names[] = {"noconfig", "stopped", "armed", "recording", "full"};
    QVector<quint32> entries;
    const quint32 runs = runTableEntries(&entries);
    return QByteArray("ok state=") + names[m_state] + " runs=" + QByteArray::number(runs)
           + " bytes=" + QByteArray::number(bytesUsed()) + " clock=" + QByteArray::number(m_now);
}

QByteArray EcuLogger::groundTruth()
{
    sync();
    QByteArray out("# channel,run,sample,time_ms,raw,offset\n");
    for (int k = 0; k < m_runs.size(); ++k) {
        const Run &r = m_runs.at(k);
        out += "#run," + QByteArray::number(k) + ',' + QByteArray::number(r.startMs) + ','
               + QByteArray::number(m_runOpen && k == m_runs.size() - 1 ? quint32((m_now - r.startMs) / 5) : r.ticks)
               + ',' + QByteArray::number(r.offset) + ',' + QByteArray::number(r.modules) + '\n';
        QVector<int> counts(m_channels.size(), 0);
        quint64 p = r.offset;
        for (quint64 t = m_minP; t <= quint64(r.modules) * m_maxP; t += m_minP)
            for (int i = 0; i < m_channels.size(); ++i) {
                const Channel &c = m_channels.at(i);
                if (t % c.period)
                    continue;
                quint64 raw = quint64(channelValue(c, r.startMs + qint64(t)));
                if (c.bytes < 8)
                    raw &= (quint64(1) << (8 * c.bytes)) - 1;
                out += QByteArray::number(c.configIndex) + ',' + QByteArray::number(k) + ','
                       + QByteArray::number(counts[i]++) + ',' + QByteArray::number(r.startMs + qint64(t)) + ','
                       + QByteArray::number(raw) + ',' + QByteArray::number(p) + '\n';
                p += c.bytes;
            }
    }
    return out;
}

QByteArray EcuLogger::control(const QByteArray &arguments)
{
    QByteArray word, arg;
    EcuSimulator::splitControlLine(arguments, &word, &arg);
    sync();
    if (word.isEmpty())
        return status();
    if (word == "run" || word == "fill") {
        bool ok = word == "fill";
        const double seconds = ok ? 0 : arg.toDouble(&ok);
        if (!ok || seconds < 0 || seconds > 1e7)
            return "error: logger run SECONDS";
        if (word == "run") {
            advanceTo(m_now + qRound64(seconds * 1000));
        } else {
            for (qint64 limit = m_now + FillLimitMs; m_now < limit && (m_state == Armed || m_state == Recording);)
                advanceTo(m_now + 60000);
        }
        return status();
    }
    if (word == "lap" || word == "newrun") {
        if (m_state != Recording)
            return "error: not recording";
        Run &r = m_runs.last();
        const quint32 tick = quint32((m_now - r.startMs) / 5);
        if (word == "newrun") {
            closeRun(m_now);
            openRun(m_now);
        } else if (tick > 0 && (r.laps.isEmpty() || tick > r.laps.last()) && entriesUsed() < RunTableMax) {
            r.laps << tick;
        }
        return status();
    }
    if (word == "input" && (arg == "0" || arg == "1")) {
        m_input = arg == "1";
        m_conditionMs = m_input ? m_now : -1;
        if (!m_input && m_triggerType == 2 && m_state == Recording) {
            closeRun(m_now);
            m_state = Armed;
            m_armedMs = m_now;
        }
        return status();
    }
    if (word == "clock" && (arg == "real" || arg == "manual")) {
        m_realTime = arg == "real";
        return "ok";
    }
    if (word == "cleardelay") {
        bool ok = false;
        const qint64 ms = arg.toLongLong(&ok);
        if (!ok || ms < 0)
            return "error: logger cleardelay MS";
        m_clearDelayMs = ms;
        return "ok";
    }
    if (word == "truth" || word == "dump") {
        if (arg.isEmpty())
            return "error: logger " + word + " PATH";
        QSaveFile f(QString::fromLocal8Bit(arg));
        QByteArray bytes = word == "truth" ? groundTruth() : QByteArray(int(bytesUsed()), '\0');
        if (word == "dump")
            memcpy(bytes.data(), m_data.data(), qMin<size_t>(m_data.size(), size_t(bytes.size())));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
            return "error: cannot write " + arg;
        return "ok";
    }
    if (word == "peek") {
        const QList<QByteArray> parts = arg.split(' ');
        bool ok = false, countOk = false;
        const quint32 offset = parts.value(0).toUInt(&ok, 0);
        const quint32 count = parts.value(1).toUInt(&countOk, 0);
        if (!ok || !countOk || count == 0 || count > 65536 || quint64(offset) + count > m_available)
            return "error: logger peek OFFSET COUNT";
        QByteArray bytes(int(count), '\0');
        for (quint32 i = 0; i < count; ++i)
            if (offset + i < m_data.size())
                bytes[int(i)] = m_data[offset + i];
        return "ok " + bytes.toHex();
    }
    return "error: unknown logger command " + word;
}
