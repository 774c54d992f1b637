#include "ecusimulator.h"

#include "eculogger.h"

#include <QMutexLocker>

#include <algorithm>
#include <cstring>

EcuSimulator::EcuSimulator(const SimDescription &description)
    : m_description(description)
{
    m_clock.start();
    const quint32 space = mainSpace();
    addSpace(space);
    Space &s = m_spaces[space];

    const QList<SimChannel> &channels = m_description.channels;
    for (int i = 0; i < channels.size(); ++i) {
        const SimChannel &c = channels.at(i);
        char entry[6] = {char(c.address >> 24), char(c.address >> 16), char(c.address >> 8), char(c.address),
                         char(c.nByte & 0x7F), 0};
        rawWrite(s, m_description.staticTableAddress + 6 * c.tableAddress, entry, 6);
        m_variables.push_back({i, c.address, quint64(c.address) + c.nByte, false});
    }
    std::stable_sort(m_variables.begin(), m_variables.end(),
                     [](const Variable &a, const Variable &b) { return a.begin < b.begin; });

    if (m_description.idStringAddress != 0 || !m_description.idStringValue.isEmpty()) {
        QByteArray id = m_description.idStringValue;
        const int size = m_description.idStringSize ? int(m_description.idStringSize) : id.size() + 1;
        id = id.left(size);
        id.append(QByteArray(size - id.size(), '\0'));
        rawWrite(s, m_description.idStringAddress, id.constData(), quint32(id.size()));
    }
    refreshVariables(s, 0, quint64(1) << 32);
    m_logger = EcuLogger::create(*this, m_description);
    if (m_logger)
        m_logger->install();
}

EcuSimulator::~EcuSimulator() = default;

void EcuSimulator::addSpace(quint32 space)
{
    QMutexLocker l(&m_lock);
    m_spaces[space];
}

bool EcuSimulator::hasSpace(quint32 space) const
{
    QMutexLocker l(&m_lock);
    return m_spaces.count(space) != 0;
}

bool EcuSimulator::spaceFromWireId(quint8 wireId, quint32 *space) const
{
    QMutexLocker l(&m_lock);
    // The main space wins when two ids share their low byte.
    if ((mainSpace() & 0xFF) == wireId) {
        *space = mainSpace();
        return true;
    }
    for (const auto &kv : m_spaces)
        if ((kv.first & 0xFF) == wireId) {
            *space = kv.first;
            return true;
        }
    return false;
}

void EcuSimulator::rawRead(const Space &s, quint32 address, char *dst, quint32 length) const
{
    quint64 a = address;
    while (length > 0) {
        const quint32 offset = quint32(a & (PageSize - 1));
        const quint32 n = qMin(length, PageSize - offset);
        const auto it = s.pages.find(quint32(a >> PageBits));
        if (it == s.pages.end())
            memset(dst, 0, n);
        else
            memcpy(dst, it->second->data() + offset, n);
        dst += n;
        a += n;
        length -= n;
    }
}

void EcuSimulator::rawWrite(Space &s, quint32 address, const char *src, quint32 length)
{
    quint64 a = address;
    while (length > 0 && a <= 0xFFFFFFFFull) {
        const quint32 offset = quint32(a & (PageSize - 1));
        const quint32 n = qMin(length, PageSize - offset);
        std::unique_ptr<Page> &page = s.pages[quint32(a >> PageBits)];
        if (!page) {
            page = std::make_unique<Page>();
            page->fill(0);
        }
        memcpy(page->data() + offset, src, n);
        src += n;
        a += n;
        length -= n;
    }
}

bool EcuSimulator::refused(quint32 space, quint64 begin, quint64 end) const
{
    if (space != mainSpace())
        return false;
    for (const FaultPlan::Refusal &r : m_faults.refusals())
        if (begin < quint64(r.address) + r.size && quint64(r.address) < end)
            return true;
    return false;
}

quint64 EcuSimulator::variableValue(int index, const SimChannel &channel, qint64 ms)
{
    const qint64 period = channel.periodMs ? channel.periodMs : 10;
    const quint64 v = quint64(1000) * quint64(index) + quint64(qMax<qint64>(ms, 0) / period);
    return channel.nByte >= 8 ? v : v & ((quint64(1) << (8 * channel.nByte)) - 1);
}

void EcuSimulator::refreshVariables(Space &s, quint64 begin, quint64 end)
{
    if (m_variables.empty())
        return;
    const qint64 now = elapsedMs();
    // Variables are at most 8 bytes long.
    auto it = std::lower_bound(m_variables.begin(), m_variables.end(), begin > 8 ? begin - 8 : 0,
                               [](const Variable &v, quint64 a) { return v.begin < a; });
    for (; it != m_variables.end() && it->begin < end; ++it) {
        if (it->end <= begin || it->pinned)
            continue;
        const SimChannel &c = m_description.channels.at(it->index);
        const quint64 v = variableValue(it->index, c, now);
        char bytes[8];
        for (quint32 k = 0; k < c.nByte; ++k)
            bytes[k] = char(v >> (8 * (c.nByte - 1 - k)));
        rawWrite(s, quint32(it->begin), bytes, c.nByte);
    }
}

bool EcuSimulator::read(quint32 space, quint32 address, char *destination, quint32 length)
{
    QMutexLocker l(&m_lock);
    const auto sit = m_spaces.find(space);
    const quint64 end = quint64(address) + length;
    if (sit == m_spaces.end() || end > (quint64(1) << 32) || (length && !destination) || refused(space, address, end))
        return false;
    refreshVariables(sit->second, address, end);
    quint64 a = address;
    while (a < end) {
        const Mount *next = nextMount(space, a, end);
        const quint64 plainEnd = next ? qMax(a, next->begin) : end;
        if (plainEnd > a) {
            rawRead(sit->second, quint32(a), destination + (a - address), quint32(plainEnd - a));
            a = plainEnd;
        }
        if (next && a < end) {
            const quint64 hEnd = qMin(end, next->end);
            if (!next->handler->read(quint32(a), destination + (a - address), quint32(hEnd - a)))
                return false;
            a = hEnd;
        }
    }
    return true;
}

const EcuSimulator::Mount *EcuSimulator::nextMount(quint32 space, quint64 from, quint64 end) const
{
    const Mount *next = nullptr;
    for (const Mount &m : m_mounts)
        if (m.space == space && m.end > from && m.begin < end && (!next || m.begin < next->begin))
            next = &m;
    return next;
}

bool EcuSimulator::write(quint32 space, quint32 address, const char *source, quint32 length)
{
    QMutexLocker l(&m_lock);
    const auto sit = m_spaces.find(space);
    const quint64 end = quint64(address) + length;
    if (sit == m_spaces.end() || end > (quint64(1) << 32) || (length && !source) || refused(space, address, end))
        return false;
    quint64 a = address;
    while (a < end) {
        const Mount *next = nextMount(space, a, end);
        const quint64 plainEnd = next ? qMax(a, next->begin) : end;
        if (plainEnd > a) {
            rawWrite(sit->second, quint32(a), source + (a - address), quint32(plainEnd - a));
            if (space == mainSpace())
                for (Variable &v : m_variables)
                    if (v.begin < plainEnd && a < v.end)
                        v.pinned = true;
            a = plainEnd;
        }
        if (next && a < end) {
            const quint64 hEnd = qMin(end, next->end);
            if (!next->handler->write(quint32(a), source + (a - address), quint32(hEnd - a)))
                return false;
            a = hEnd;
        }
    }
    return true;
}

QByteArray EcuSimulator::read(quint32 space, quint32 address, quint32 length, bool *ok)
{
    QByteArray out(int(length), '\0');
    const bool done = read(space, address, out.data(), length);
    if (ok)
        *ok = done;
    return done ? out : QByteArray();
}

bool EcuSimulator::write(quint32 space, quint32 address, const QByteArray &data)
{
    return write(space, address, data.constData(), quint32(data.size()));
}

QByteArray EcuSimulator::peek(quint32 space, quint32 address, quint32 length) const
{
    QMutexLocker l(&m_lock);
    QByteArray out(int(length), '\0');
    const auto sit = m_spaces.find(space);
    if (sit != m_spaces.end() && quint64(address) + length <= (quint64(1) << 32))
        rawRead(sit->second, address, out.data(), length);
    return out;
}

void EcuSimulator::poke(quint32 space, quint32 address, const QByteArray &data)
{
    QMutexLocker l(&m_lock);
    rawWrite(m_spaces[space], address, data.constData(), quint32(data.size()));
}

quint32 EcuSimulator::staticTableAddress(quint32 space) const
{
    QMutexLocker l(&m_lock);
    return m_spaces.count(space) ? m_description.staticTableAddress : 0xFFFFFFFFu;
}

void EcuSimulator::mount(quint32 space, quint32 address, quint32 size, std::shared_ptr<MemoryHandler> handler)
{
    QMutexLocker l(&m_lock);
    m_spaces[space];
    m_mounts.push_back({space, address, quint64(address) + size, std::move(handler)});
}

void EcuSimulator::unmount(const MemoryHandler *handler)
{
    QMutexLocker l(&m_lock);
    m_mounts.erase(std::remove_if(m_mounts.begin(), m_mounts.end(),
                                  [handler](const Mount &m) { return m.handler.get() == handler; }),
                   m_mounts.end());
}

qint64 EcuSimulator::elapsedMs() const
{
    QMutexLocker l(&m_lock);
    return m_frozenMs >= 0 ? m_frozenMs : m_clock.elapsed();
}

void EcuSimulator::freezeTime(qint64 ms)
{
    QMutexLocker l(&m_lock);
    m_frozenMs = qMax<qint64>(ms, 0);
}

void EcuSimulator::resumeTime()
{
    QMutexLocker l(&m_lock);
    m_frozenMs = -1;
}

void EcuSimulator::unpinVariables()
{
    QMutexLocker l(&m_lock);
    for (Variable &v : m_variables)
        v.pinned = false;
}

FaultPlan EcuSimulator::faults() const
{
    QMutexLocker l(&m_lock);
    return m_faults;
}

void EcuSimulator::setFaults(const FaultPlan &plan)
{
    QMutexLocker l(&m_lock);
    m_faults = plan;
}

bool EcuSimulator::setFaults(const QString &text, QString *error)
{
    FaultPlan plan;
    if (!plan.parse(text, error))
        return false;
    setFaults(plan);
    return true;
}

FaultPlan::Decision EcuSimulator::nextReplyDecision()
{
    QMutexLocker l(&m_lock);
    return m_faults.nextReply();
}

void EcuSimulator::nextReplyDecisions(int n, std::vector<FaultPlan::Decision> &out)
{
    QMutexLocker l(&m_lock);
    out.resize(size_t(qMax(n, 0)));
    for (FaultPlan::Decision &d : out)
        d = m_faults.nextReply();
}

bool EcuSimulator::absent() const
{
    QMutexLocker l(&m_lock);
    return m_faults.absent();
}

void EcuSimulator::setAbsent(bool absent)
{
    QMutexLocker l(&m_lock);
    m_faults.setAbsent(absent);
}

FaultPlan::LoggerFaults EcuSimulator::loggerFaults() const
{
    QMutexLocker l(&m_lock);
    return m_faults.logger();
}

void EcuSimulator::splitControlLine(const QByteArray &rawLine, QByteArray *word, QByteArray *arg)
{
    const QByteArray line = rawLine.trimmed();
    const int sep = line.indexOf(' ');
    *word = sep < 0 ? line : line.left(sep);
    *arg = sep < 0 ? QByteArray() : line.mid(sep + 1).trimmed();
}

QByteArray EcuSimulator::control(const QByteArray &rawLine)
{
    QByteArray word, arg;
    splitControlLine(rawLine, &word, &arg);
    if (word == "faults") {
        QString error;
        if (!setFaults(QString::fromLatin1(arg), &error))
            return "error: " + error.toLatin1();
        return "ok";
    }
    if (word == "time") {
        if (arg == "run") {
            resumeTime();
            return "ok";
        }
        bool ok = false;
        const qint64 ms = arg.toLongLong(&ok);
        if (!ok || ms < 0)
            return "error: time needs milliseconds or run";
        freezeTime(ms);
        return "ok";
    }
    if (word == "poke" || word == "peek") {
        const QList<QByteArray> parts = arg.split(' ');
        bool ok = false, countOk = false;
        const quint32 address = parts.value(0).toUInt(&ok, 0);
        if (word == "poke") {
            const QByteArray bytes = QByteArray::fromHex(parts.value(1));
            if (!ok || parts.size() != 2 || bytes.isEmpty())
                return "error: poke ADDRESS HEXBYTES";
            poke(mainSpace(), address, bytes);
            return "ok";
        }
        const quint32 count = parts.value(1).toUInt(&countOk, 0);
        if (!ok || !countOk || parts.size() != 2 || count == 0 || count > 65536)
            return "error: peek ADDRESS COUNT";
        return "ok " + peek(mainSpace(), address, count).toHex();
    }
    if (word == "logger") {
        QMutexLocker l(&m_lock);
        return m_logger ? m_logger->control(arg) : QByteArray("error: this ECU has no logger");
    }
    return "error: unknown command " + word;
}
