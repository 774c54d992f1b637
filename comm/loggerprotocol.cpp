#include "loggerprotocol.h"

#include "communicationmedium.h"
#include "samplingrules.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <QtEndian>
#include <cstring>
#include <utility>

namespace {

// Spacing values the server is given around configuration writes.
constexpr qint32 SpacingSetup = 1000;
constexpr qint32 SpacingPieces = 10000;
constexpr int PiecePauseMs = 100;

bool periodLess(const ChannelRecord *a, const ChannelRecord *b) { return a->periodMs < b->periodMs; }

void pushDown(ChannelRecord **heap, int first, int last)
{
    int r = first;
    while (r <= last / 2) {
        if (last == 2 * r) {
            if (periodLess(heap[2 * r], heap[r]))
                std::swap(heap[r], heap[2 * r]);
            r = last;
        } else if (periodLess(heap[2 * r], heap[r]) && !periodLess(heap[2 * r + 1], heap[2 * r])) {
            std::swap(heap[r], heap[2 * r]);
            r *= 2;
        } else if (periodLess(heap[2 * r + 1], heap[r]) && periodLess(heap[2 * r + 1], heap[2 * r])) {
            std::swap(heap[r], heap[2 * r + 1]);
            r = 2 * r + 1;
        } else {
            r = last;
        }
    }
}

// The heap sort of the pointer list the logger's channel order has always
// come from: equal periods end up in the order this particular heap gives,
// and the ECU's image must keep that order.
void heapSortByPeriod(QList<ChannelRecord *> &list)
{
    const int n = int(list.size());
    if (n < 2)
        return;
    std::vector<ChannelRecord *> storage(size_t(n) + 1);
    ChannelRecord **heap = storage.data(); // indexed 1..n
    int size = 0;
    for (ChannelRecord *item : list) {
        heap[++size] = item;
        int i = size;
        while (i > 1 && periodLess(heap[i], heap[i / 2])) {
            std::swap(heap[i], heap[i / 2]);
            i /= 2;
        }
    }
    for (int i = n, out = 0; i > 0; --i) {
        list[out++] = heap[1];
        if (i > 1) {
            heap[1] = heap[i];
            pushDown(heap, 1, i - 1);
        }
    }
}

// Keeps the medium locked from its construction until the end of the scope,
// unless told to keep it.
class LockScope
{
public:
    explicit LockScope(CommunicationMedium *medium) : m_medium(medium) {}
    ~LockScope()
    {
        if (m_release)
            m_medium->unlock();
    }
    void keep() { m_release = false; }

private:
    CommunicationMedium *m_medium;
    bool m_release = true;
};

} // namespace

LoggerProtocol::LoggerProtocol() = default;
LoggerProtocol::~LoggerProtocol() = default;

void LoggerProtocol::attachLoggerTable(LoggerTable *table, quint32 size)
{
    if (!table || size == 0 || !table->valid)
        return;
    m_table = table;
    m_n = table->channelsCountOffline;
    m_pageAlignment = table->pageAlignment;
    if (m_image.empty() || m_imageN != m_n) {
        m_imageN = m_n;
        m_image.assign(LoggerLayout::imageSize(m_n), 0);
    }
}

void LoggerProtocol::setIdSource(const CanSettings *can)
{
    if (can)
        m_can = can;
}

void LoggerProtocol::setMedium(CommunicationMedium *medium)
{
    if (medium)
        m_medium = medium;
}

void LoggerProtocol::setChannelList(const QList<ChannelRecord *> &channels)
{
    m_channels = channels;
    heapSortByPeriod(m_channels);
    if (!m_image.empty())
        std::memset(m_image.data() + LoggerLayout::PeriodCounts, 0, LoggerLayout::PeriodClasses);
}

void LoggerProtocol::setTriggerSettings(const TriggerSettings &trigger)
{
    if (m_image.empty())
        return;
    m_trigger = trigger;
    m_image[LoggerLayout::TriggerType] = trigger.type;
    m_image[LoggerLayout::TriggerDelay] = trigger.delay;
    qToLittleEndian(quint32(trigger.lowThreshold), m_image.data() + LoggerLayout::LowThreshold);
    qToLittleEndian(quint32(trigger.highThreshold), m_image.data() + LoggerLayout::HighThreshold);
}

bool LoggerProtocol::fitsMemory()
{
    return SamplingRules::fitsBandwidth(&m_channels, m_n);
}

void LoggerProtocol::buildImage()
{
    if (m_image.empty())
        return;
    LoggerImage::build(m_image.data(), m_imageN, m_channels, m_trigger, m_table && m_table->elfCheckEnabled);
}

QString LoggerProtocol::takeLastError()
{
    QString text = m_lastError;
    m_lastError.clear();
    return text;
}

quint32 LoggerProtocol::space() const { return m_can ? m_can->memorySpaceId() : 0; }
quint32 LoggerProtocol::mode() const { return m_table ? m_table->channelInfoMode : 0; }

int LoggerProtocol::notConnectedCode() const
{
    return m_medium && m_medium->usesEthernet() ? LoggerResult::NotConnectedEthernet
                                                : LoggerResult::NotConnectedServer;
}

bool LoggerProtocol::connected() const { return m_medium && m_medium->isConnected(); }

void LoggerProtocol::resetProgress()
{
    if (m_medium)
        m_medium->resetProgress();
}

// A cell given as a plain number has no variable size: it is a whole 32-bit
// word. Values are little-endian, cut to the cell's size.
bool LoggerProtocol::writeCell(const LoggerAddress &cell, quint32 value)
{
    const quint32 size = cell.size == 0 ? 4 : qMin<quint32>(cell.size, 4);
    quint8 bytes[4];
    qToLittleEndian(value, bytes);
    return m_medium->writeMemory(space(), cell.address, bytes, size);
}

bool LoggerProtocol::readCell(const LoggerAddress &cell, quint32 &value)
{
    const quint32 size = cell.size == 0 ? 4 : qMin<quint32>(cell.size, 4);
    quint8 bytes[4] = {0, 0, 0, 0};
    const bool ok = m_medium->readMemory(space(), cell.address, bytes, size);
    value = qFromLittleEndian<quint32>(bytes);
    return ok;
}

// Reads the cell until it holds the wanted value or the time is up.
bool LoggerProtocol::waitForCell(const LoggerAddress &cell, quint32 wanted, qint64 timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    do {
        quint32 value = 0;
        if (readCell(cell, value) && value == wanted)
            return true;
    } while (timer.elapsed() < timeoutMs);
    return false;
}

bool LoggerProtocol::stopAndWait()
{
    return writeCell(m_table->stopLoggerRequest, 1) && waitForCell(m_table->loggerRun, 0, StopTimeoutMs);
}

bool LoggerProtocol::waitForClearAnswer()
{
    // ClearTimeOutSec is a count of milliseconds despite its name.
    return waitForCell(m_table->clearLoggerDataRequest, 2, m_table->clearTimeout);
}

bool LoggerProtocol::activate()
{
    if (!writeCell(m_table->clearLoggerDataRequest, 1) || !waitForClearAnswer())
        return false;
    writeCell(m_table->clearLoggerDataRequest, 0);
    writeCell(m_table->stopLoggerRequest, 0);
    return true;
}

bool LoggerProtocol::writeInPieces(quint32 address, const quint8 *data, quint32 length)
{
    for (quint32 done = 0; done < length; done += 4) {
        if (!m_medium->writeMemory(space(), address + done, data + done, qMin<quint32>(4, length - done)))
            return false;
    }
    return true;
}

void LoggerProtocol::allocateReadBack(quint32 n)
{
    m_readBack.assign(LoggerLayout::readBackSize(n), 0);
    m_views = ReadBackViews::of(m_readBack.data(), n);
}

quint32 LoggerProtocol::compactAreaSize() const
{
    return m_table ? m_table->channelInfoAreaSize : 0;
}

void LoggerProtocol::ensureCompact()
{
    const quint32 size = LoggerLayout::compactSize(m_imageN, compactAreaSize());
    if (m_compact.size() != size)
        m_compact.assign(size, 0);
}

bool LoggerProtocol::readBackChecksumMatches() const
{
    // Both sides as numbers: the stored checksum is in host order by now, and
    // a byte sum does not depend on the order of the bytes it covers.
    return checksum16(m_views.imageHead, 60 * m_n + 20) == qFromLittleEndian<quint16>(m_views.checksum);
}

int LoggerProtocol::sendConfiguration()
{
    if (m_image.empty() || !m_table || !connected())
        return notConnectedCode();
    const bool elf = m_table->elfCheckEnabled;
    if (!elf) {
        int count = 0;
        const int check = checkVariableSizes(count);
        if (check != LoggerResult::Done)
            return check;
    }
    if (!m_medium->lock(LockTimeoutMs))
        return LoggerResult::LockTimeout;
    LockScope lock(m_medium);
    buildImage();
    if (!stopAndWait())
        return LoggerResult::StillRunning;

    const quint8 *data = m_image.data();
    quint32 length = quint32(m_image.size());
    if (!elf) {
        ensureCompact();
        quint32 offset = 0;
        LoggerImage::buildCompact(m_compact.data(), m_image.data(), m_imageN, compactAreaSize(),
                                  mode() == 1 ? CompactPart::ConfigurationMode1 : CompactPart::ConfigurationMode0,
                                  &offset, &length);
        data = m_compact.data() + offset;
    }
    const quint32 setup = m_table->setupBegin.address;
    bool written = false;
    if (mode() == 1) {
        m_medium->setSpacing(SpacingPieces);
        written = writeInPieces(setup, data, length);
        if (written && !elf) {
            const quint32 records = LoggerLayout::compactRecords(m_imageN);
            written = writeInPieces(setup + length, m_compact.data() + records, compactAreaSize() + 2);
        }
        QThread::msleep(PiecePauseMs);
    } else {
        m_medium->setSpacing(SpacingSetup);
        written = m_medium->writeMemory(space(), setup, data, length);
    }
    m_medium->setSpacing(0);
    if (!written)
        return LoggerResult::ReadBackFailed;

    if (const int verified = readBackAndVerify(); verified != LoggerResult::Done)
        return verified;
    return activate() ? LoggerResult::Done : LoggerResult::NoClearAnswer;
}

int LoggerProtocol::readConfiguration(bool headerOnly)
{
    if (!m_table || !m_medium)
        return notConnectedCode();
    // A read from the ECU replaces whatever a loaded dump left.
    m_n = m_imageN;
    m_pageAlignment = m_table->pageAlignment;
    if (m_readBack.size() != LoggerLayout::readBackSize(m_n))
        allocateReadBack(m_n);
    else
        std::fill(m_readBack.begin(), m_readBack.end(), 0);

    const bool elf = m_table->elfCheckEnabled;
    const bool compactMode1 = !elf && mode() == 1;
    const quint32 n = m_imageN;
    const quint32 area = compactAreaSize();
    quint8 *target = m_readBack.data();
    quint32 length = quint32(m_readBack.size());
    if (!elf) {
        ensureCompact();
        std::fill(m_compact.begin(), m_compact.end(), 0);
        target = m_compact.data();
        length = quint32(m_compact.size());
        if (compactMode1) {
            if (headerOnly) {
                length = 894 + 2 * n;
            } else {
                target += LoggerLayout::CompactTrigger;
                length = 24 + 2 * n;
            }
        }
    }

    if (!m_medium->lock(LockTimeoutMs))
        return LoggerResult::LockTimeout;
    LockScope lock(m_medium);
    if (m_keepLocked)
        lock.keep();

    const quint32 from = compactMode1 && !headerOnly ? m_table->setupBegin.address : m_table->headerBegin.address;
    bool ok = m_medium->readMemoryBlocks(space(), from, target, length, int(m_table->maxDownloadBuffer));
    if (compactMode1) {
        // The channel records and the data pointers live elsewhere in the ECU:
        // they complete the block after its run table.
        quint8 *next = m_compact.data() + LoggerLayout::compactRecords(n);
        ok = m_medium->readMemoryBlocks(space(), m_table->channelInfoBegin.address, next, area + 2,
                                        int(m_table->maxDownloadBuffer))
             && ok;
        quint8 *tail = m_compact.data() + LoggerLayout::compactTail(n, area);
        const auto readInto = [&](const LoggerAddress &cell, quint8 *to, quint32 room) {
            const quint32 size = cell.size == 0 ? room : qMin(cell.size, room);
            return m_medium->readMemory(space(), cell.address, to, size);
        };
        ok = readInto(m_table->dataEnd, tail, 4) && ok;
        ok = readInto(m_table->dataBegin, tail + 4, 4) && ok;
        ok = readInto(m_table->stopLoggerRequest, tail + 8, 1) && ok;
        if (headerOnly && ok && std::memcmp(tail, tail + 4, 4) == 0)
            return LoggerResult::ReadBackFailed;
    }
    if (!ok)
        return LoggerResult::NotConnectedServer;

    int result = LoggerResult::Done;
    if (!elf && !LoggerImage::compactToReadBack(m_compact.data(), n, area, m_readBack.data()))
        result = LoggerResult::StillRunning;
    LoggerImage::readBackToHost(m_readBack.data(), m_n, quint32(QDateTime::currentSecsSinceEpoch()));
    return result;
}

int LoggerProtocol::readLoggedData(QObject *progressReceiver)
{
    m_bytesDownloaded = 0;
    m_dump.reset();
    const int result = download(progressReceiver);
    // Whatever did not arrive reads as zero: the same buffer as zeroing it
    // first, without a pass over 64 MiB before the download.
    std::fill(m_data.begin() + qMin<size_t>(m_bytesDownloaded, m_data.size()), m_data.end(), 0);
    m_lastDownload = result;
    return result;
}

int LoggerProtocol::download(QObject *progressReceiver)
{
    if (!m_table || !connected())
        return notConnectedCode();
    if (!m_medium->lock(LockTimeoutMs))
        return LoggerResult::LockTimeout;
    LockScope lock(m_medium);
    m_dump.reset();
    if (m_data.size() != m_table->availableBytes)
        m_data.assign(m_table->availableBytes, 0);
    const bool mode1 = mode() == 1;
    // On every failure after the stop the logger may record again (mode 1);
    // in mode 0 the stop request stays until the user restarts the logger.
    const auto fail = [&](int code) {
        if (mode1)
            writeCell(m_table->stopLoggerRequest, 0);
        resetProgress();
        return code;
    };
    if (!stopAndWait()) {
        resetProgress();
        return LoggerResult::StillRunning;
    }
    m_keepLocked = true;
    const int read = readConfiguration(mode1);
    m_keepLocked = false;
    m_lastConfigRead = read;
    if (read == LoggerResult::ReadBackFailed && mode1)
        return fail(LoggerResult::VariablesOrNothingToDownload);
    if (read != LoggerResult::Done)
        return fail(LoggerResult::ReadBackFailed);

    const quint32 start = qFromLittleEndian<quint32>(m_views.header + LoggerLayout::DataStart);
    const quint32 end = qFromLittleEndian<quint32>(m_views.header + LoggerLayout::DataEnd);
    if (start > end)
        return fail(LoggerResult::StartBeyondEnd);
    const quint32 length = qMin<quint32>(end - start, quint32(m_data.size()));
    if (length == 0)
        return fail(LoggerResult::VariablesOrNothingToDownload);

    m_medium->setProgressReceiver(progressReceiver);
    if (!progressReceiver)
        m_medium->resetStatistics();
    const int block = m_table->lineType == quint32(LineTypeEthernet) ? int(EthernetDownloadBlock)
                                                                      : int(m_table->maxDownloadBuffer);
    if (!m_medium->readMemoryBlocks(space(), start, m_data.data(), length, block)) {
        m_bytesDownloaded = qMin(m_medium->currentReadBytes(), length);
        return fail(LoggerResult::ChecksumOrDataReadFailed);
    }
    resetProgress();
    m_bytesDownloaded = length;
    return LoggerResult::Done;
}

int LoggerProtocol::restartLogger(bool clearMemory)
{
    if (!m_table || !m_medium)
        return notConnectedCode();
    const bool mode1 = mode() == 1;
    if (clearMemory) {
        writeCell(m_table->clearLoggerDataRequest, 1);
        // A mode-0 logger resumes by itself once its clear is done.
        if (mode1) {
            if (!waitForClearAnswer()) {
                writeCell(m_table->stopLoggerRequest, 0);
                resetProgress();
                return LoggerResult::NoClearAnswer;
            }
            writeCell(m_table->clearLoggerDataRequest, 0);
        }
    }
    if (mode1 || !clearMemory)
        writeCell(m_table->stopLoggerRequest, 0);
    return LoggerResult::Done;
}

int LoggerProtocol::sendChannelInfo()
{
    if (m_image.empty() || !m_table || !connected())
        return notConnectedCode();
    buildImage();
    if (!m_medium->lock(LockTimeoutMs))
        return LoggerResult::LockTimeout;
    LockScope lock(m_medium);
    m_medium->setSpacing(SpacingSetup);
    const quint8 *data;
    quint32 length;
    if (m_table->elfCheckEnabled) {
        // Channel records and the checksum after them, as the image holds them.
        data = m_image.data() + LoggerLayout::ImageHeadSize + 5 * m_imageN;
        length = LoggerLayout::ChannelRecordSize * m_imageN + 2;
    } else {
        ensureCompact();
        quint32 offset = 0;
        LoggerImage::buildCompact(m_compact.data(), m_image.data(), m_imageN, compactAreaSize(),
                                  CompactPart::ChannelInfo, &offset, &length);
        data = m_compact.data() + offset;
    }
    m_medium->setSpacing(SpacingSetup);
    const bool written = m_medium->writeMemory(space(), m_table->channelInfoBegin.address, data, length);
    m_medium->setSpacing(0);
    if (!written)
        return LoggerResult::ReadBackFailed;
    return readBackAndVerify();
}

// After a send: the configuration read back, under the lock already held,
// must carry a matching checksum.
int LoggerProtocol::readBackAndVerify()
{
    m_keepLocked = true;
    const int read = readConfiguration(false);
    m_keepLocked = false;
    if (read != LoggerResult::Done)
        return LoggerResult::ReadBackFailed;
    return readBackChecksumMatches() ? LoggerResult::Done : LoggerResult::ChecksumOrDataReadFailed;
}

int LoggerProtocol::checkVariableSizes(int &count)
{
    count = 0;
    if (m_table && m_table->elfCheckEnabled)
        return LoggerResult::Done;
    if (!connected())
        return notConnectedCode();
    m_lastError.clear();
    quint32 table = 0xFFFFFFFFu;
    if (!m_medium->staticTableStart(space(), table))
        table = 0xFFFFFFFFu;
    for (const ChannelRecord *ch : std::as_const(m_channels)) {
        quint32 realAddress = 0;
        quint16 size = 0;
        m_medium->staticTableEntry(space(), ch->address, realAddress, size, table);
        if (size == ch->loggedBytes || (size == 4 && ch->loggedBytes == 2))
            continue;
        ++count;
        if (count == 1)
            m_lastError += QLatin1Char('\n');
        m_lastError += QString::fromLatin1(ch->label) + QStringLiteral(" --> Pos. ") + QString::number(ch->address)
                       + QStringLiteral(" : ") + QString::number(ch->loggedBytes) + QStringLiteral(" bytes")
                       + (count % 2 ? QStringLiteral("  ;  ") : QStringLiteral(";\n"));
    }
    return count ? LoggerResult::VariablesOrNothingToDownload : LoggerResult::Done;
}

QList<ChannelRecord *> LoggerProtocol::decodeReadBack(TriggerSettings *head, quint32 *dataLength)
{
    return LoggerImage::decodeReadBack(readBackBlock(), m_n, head, dataLength);
}
