#pragma once
// What the channel selection knows besides its widgets: the main window's
// selected-channel list and LoggerTable, the fastest period, the per-period
// byte counters and the accumulated sampling rate. Every add, remove and
// retiming goes through here so the checks stay incremental.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include "samplingrules.h"

struct ChannelRecord;
struct LoggerTable;

class ChannelSelectionState
{
public:
    enum class AddResult {
        Ignored,         // no valid logger table
        LimitReached,    // channelsCountOffline channels already selected
        AlreadySelected, // same uniqueCode already in the selection
        TooWide,         // more than 16 bits; the period stays as asked
        NoRoom,          // no period class has room; nothing changed
        Added
    };

    void setSelectedList(QList<ChannelRecord *> *list);
    QList<ChannelRecord *> *selectedList() const { return m_selected; }
    void setLoggerTable(const LoggerTable *table);
    const LoggerTable *loggerTable() const { return m_table; }
    void setFastestPeriod(quint32 ms);
    quint32 fastestPeriod() const { return m_fastest; }
    void setFlags(bool elfCheckEnabled, bool noLoggerTable);
    bool elfCheckEnabled() const { return m_elfCheckEnabled; }
    bool noLoggerTable() const { return m_noLoggerTable; }
    quint32 channelSlots() const;
    quint32 availableBytes() const;

    // Recount after the selected list was replaced from outside.
    void resync();

    bool isSelected(const QByteArray &uniqueCode) const { return m_codes.value(uniqueCode) > 0; }
    bool fitsBandwidth() const;

    // Sets periodMs, appends the record and moves it to a slower period until
    // the selection fits (bounded: after one pass over the classes the add is
    // refused and the record keeps its former period).
    AddResult add(ChannelRecord *ch, quint32 periodMs);
    void remove(ChannelRecord *ch);
    // Arrow keys on a selected channel: step at least once, until the
    // selection fits. False when no class has room: the period is unchanged.
    bool stepPeriod(ChannelRecord *ch, bool downPeriod);
    // The record's period was edited (settings dialog): slow it down until it
    // fits. False when nothing fits: the record gets oldPeriodMs back.
    bool refit(ChannelRecord *ch, quint32 oldPeriodMs);

    // The rate of a channel is what its list row shows: 1000/period rounded to
    // six digits, times its logged bytes.
    static float rateOf(const ChannelRecord &ch);
    void addRate(const ChannelRecord &ch);
    void subtractRate(const ChannelRecord &ch);
    void resetRate() { m_rate = 0; }
    float accumulatedRate() const { return m_rate; }
    // Acquisition time of the present selection; 0 without a logger table.
    quint32 acquisitionSeconds() const;
    QString acquisitionTimeText() const;

    float maxAcquisitionSeconds = 0;

private:
    quint32 runSlower(ChannelRecord *ch);
    void track(ChannelRecord *ch);
    void untrack(ChannelRecord *ch);

    QList<ChannelRecord *> *m_selected = nullptr;
    const LoggerTable *m_table = nullptr;
    quint32 m_fastest = SamplingRules::FastestClassMs;
    bool m_elfCheckEnabled = true;
    bool m_noLoggerTable = true;
    SamplingRules::BandwidthCounter m_counter;
    QHash<QByteArray, int> m_codes;
    float m_rate = 0;
};
