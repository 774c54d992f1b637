#include "samplingrules.h"

#include "devicerecords.h"

#include <cmath>

namespace SamplingRules {

int periodClass(quint32 periodMs)
{
    int k = 0;
    quint32 p = FastestClassMs;
    while (k < PeriodClassCount - 1 && p * 2 <= periodMs) {
        p *= 2;
        ++k;
    }
    return k;
}

QString frequencyText(quint32 periodMs)
{
    if (periodMs == 0)
        return QString();
    return QString::number(1000.0 / periodMs, 'g', 6);
}

quint32 periodFromFrequencyText(const QString &text)
{
    bool ok = false;
    const double f = text.toDouble(&ok);
    if (!ok || !(f > 0))
        return 0;
    const double p = 1000.0 / f;
    return p >= 4294967295.0 ? 0xFFFFFFFFu : quint32(p);
}

QStringList frequencyChoices(quint32 minPeriodMs)
{
    if (minPeriodMs == 0)
        minPeriodMs = FastestClassMs;
    QStringList out;
    for (double f = 1000.0 / minPeriodMs; f > 1.0; f /= 2)
        out << QString::number(f, 'g', 6);
    return out;
}

quint32 slowerPeriod(quint32 periodMs, quint32 fastestMs)
{
    return periodMs < SlowestClassMs ? periodMs * 2 : fastestMs;
}

quint32 fasterPeriodWrapBelow6(quint32 periodMs)
{
    return periodMs < 6 ? SlowestClassMs : periodMs / 2;
}

quint32 fasterPeriodWrapAtFastest(quint32 periodMs, quint32 fastestMs)
{
    return periodMs > fastestMs ? periodMs / 2 : SlowestClassMs;
}

bool fitsBandwidth(const QList<ChannelRecord *> *list, quint32 channelsCountOffline)
{
    if (!list || list->isEmpty())
        return false;
    const quint32 limit = channelsCountOffline / 2;
    std::array<quint32, PeriodClassCount> bytes {};
    for (const ChannelRecord *ch : *list) {
        quint32 &b = bytes[periodClass(ch->periodMs)];
        b += ch->loggedBytes;
        if (b > limit)
            return false;
    }
    return true;
}

void BandwidthCounter::setSlots(quint32 channelsCountOffline)
{
    m_limit = channelsCountOffline / 2;
    m_overfull = 0;
    for (quint32 b : m_bytes)
        m_overfull += b > m_limit;
}

void BandwidthCounter::clear()
{
    m_bytes.fill(0);
    m_overfull = 0;
}

void BandwidthCounter::add(quint32 periodMs, quint32 bytes)
{
    quint32 &b = m_bytes[periodClass(periodMs)];
    const bool was = b > m_limit;
    b += bytes;
    m_overfull += int(b > m_limit) - int(was);
}

void BandwidthCounter::remove(quint32 periodMs, quint32 bytes)
{
    quint32 &b = m_bytes[periodClass(periodMs)];
    const bool was = b > m_limit;
    b = b > bytes ? b - bytes : 0;
    m_overfull += int(b > m_limit) - int(was);
}

quint32 acquisitionSeconds(quint32 availableBytes, float ratePerSecond)
{
    if (ratePerSecond == 0.0f)
        return 0;
    const double s = double(availableBytes) / double(ratePerSecond);
    if (!(s > 0))
        return 0;
    return s >= 4294967295.0 ? 0xFFFFFFFFu : quint32(s);
}

QString hhmmss(quint32 seconds)
{
    return QString::asprintf("%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

QString daysAndTime(quint32 seconds)
{
    const quint32 day = 86400;
    if (seconds < day)
        return hhmmss(seconds);
    return QString::number(seconds / day) + QStringLiteral(" d  ") + hhmmss(seconds % day);
}

QString acquisitionTimeText(quint32 availableBytes, float ratePerSecond)
{
    if (ratePerSecond == 0.0f)
        return QStringLiteral("-------");
    return daysAndTime(acquisitionSeconds(availableBytes, ratePerSecond));
}

MemoryStatus memoryStatus(quint32 usedBytes, quint32 availableBytes, float maxAcquisitionSeconds,
                          bool fastLink)
{
    MemoryStatus m;
    double elapsed = 0;
    double percent = 0;
    if (availableBytes != 0) {
        elapsed = std::floor(double(usedBytes) * maxAcquisitionSeconds / availableBytes + 0.5);
        percent = double(usedBytes) * 100.0 / availableBytes;
    }
    const double whole = std::floor(double(maxAcquisitionSeconds));
    double remaining = whole - elapsed;
    if (remaining < 0)
        remaining = 0;
    auto secs = [](double v) { return v >= 4294967295.0 ? 0xFFFFFFFFu : quint32(v); };
    m.elapsedAndRemaining = hhmmss(secs(elapsed)) + QStringLiteral(" / ") + hhmmss(secs(remaining));
    m.percentUsed = QString::number(percent, 'g', 4);
    const double rate = fastLink ? FastLinkRate : SlowLinkRate;
    m.downloadEstimate = hhmmss(secs(double(usedBytes) / rate));
    return m;
}

} // namespace SamplingRules
