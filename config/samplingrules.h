#pragma once
// The logger's sampling rules: eight period classes (5 ms * 2^k), at most
// channelsCountOffline channels, and per period class at most half as many
// bytes as there are channel slots. Also the texts of the estimates shown
// under the channel lists.

#include <QList>
#include <QString>
#include <QVector>
#include <array>

struct ChannelRecord;

namespace SamplingRules {

constexpr int PeriodClassCount = 8;
constexpr quint32 FastestClassMs = 5;
constexpr quint32 SlowestClassMs = 640;

// Bytes per second at which the download estimate is computed.
constexpr double FastLinkRate = 559104;
constexpr double SlowLinkRate = 49152;

// Class index 0..7 of a period. A period between classes counts with the
// faster class below it, one under 5 ms with 5 ms, one over 640 ms with 640 ms.
int periodClass(quint32 periodMs);

// "g"-style text of 1000 / periodMs with up to 6 significant digits.
QString frequencyText(quint32 periodMs);
// Integer part of 1000 / frequency; 0 for a text that is not a positive number.
quint32 periodFromFrequencyText(const QString &text);
// Frequencies a channel may use, fastest first: 1000/minPeriodMs halved while
// above 1 Hz (a zero minPeriodMs is taken as 5 ms).
QStringList frequencyChoices(quint32 minPeriodMs);

// Period steps of the arrow keys and of the automatic adjustment.
quint32 slowerPeriod(quint32 periodMs, quint32 fastestMs); // x2, 640 wraps to fastest
quint32 fasterPeriodWrapBelow6(quint32 periodMs);           // /2, under 6 wraps to 640
quint32 fasterPeriodWrapAtFastest(quint32 periodMs, quint32 fastestMs);

bool fitsBandwidth(const QList<ChannelRecord *> *list, quint32 channelsCountOffline);

// Per-class byte counters kept up to date channel by channel, so that a
// change costs O(1) instead of a pass over the whole selection.
class BandwidthCounter
{
public:
    explicit BandwidthCounter(quint32 channelsCountOffline = 0) { setSlots(channelsCountOffline); }
    void setSlots(quint32 channelsCountOffline);
    void clear();
    void add(quint32 periodMs, quint32 bytes);
    void remove(quint32 periodMs, quint32 bytes);
    // Same answer as fitsBandwidth over the channels added, given count > 0.
    bool fits() const { return m_overfull == 0; }
    quint32 bytesAt(int periodClassIndex) const { return m_bytes[periodClassIndex]; }
    quint32 limit() const { return m_limit; }

private:
    std::array<quint32, PeriodClassCount> m_bytes {};
    quint32 m_limit = 0;
    int m_overfull = 0;
};

// Seconds of logging that availableBytes hold at ratePerSecond, truncated;
// 0 for a zero rate.
quint32 acquisitionSeconds(quint32 availableBytes, float ratePerSecond);
// "-------" for a zero rate, else [d " d  "]hh:mm:ss.
QString acquisitionTimeText(quint32 availableBytes, float ratePerSecond);
QString daysAndTime(quint32 seconds);
// Hours are not wrapped at a day.
QString hhmmss(quint32 seconds);

struct MemoryStatus
{
    QString elapsedAndRemaining; // "hh:mm:ss / hh:mm:ss"
    QString percentUsed;
    QString downloadEstimate;
};
MemoryStatus memoryStatus(quint32 usedBytes, quint32 availableBytes, float maxAcquisitionSeconds,
                          bool fastLink);

} // namespace SamplingRules
