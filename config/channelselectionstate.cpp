#include "channelselectionstate.h"

#include "devicerecords.h"

using namespace SamplingRules;

// One pass over the eight classes visits every period once; after that the
// stepping would only repeat itself.
static constexpr int MaxPeriodSteps = PeriodClassCount;

void ChannelSelectionState::setSelectedList(QList<ChannelRecord *> *list)
{
    m_selected = list;
    resync();
}

void ChannelSelectionState::setLoggerTable(const LoggerTable *table)
{
    m_table = table;
    resync();
}

void ChannelSelectionState::setFastestPeriod(quint32 ms)
{
    m_fastest = ms ? ms : FastestClassMs;
}

void ChannelSelectionState::setFlags(bool elfCheckEnabled, bool noLoggerTable)
{
    m_elfCheckEnabled = elfCheckEnabled;
    m_noLoggerTable = noLoggerTable;
}

quint32 ChannelSelectionState::channelSlots() const
{
    return m_table ? m_table->channelsCountOffline : 0;
}

quint32 ChannelSelectionState::availableBytes() const
{
    return m_table ? m_table->availableBytes : 0;
}

void ChannelSelectionState::resync()
{
    m_counter.clear();
    m_counter.setSlots(channelSlots());
    m_codes.clear();
    if (m_selected)
        for (ChannelRecord *ch : *m_selected)
            track(ch);
}

void ChannelSelectionState::track(ChannelRecord *ch)
{
    m_counter.add(ch->periodMs, ch->loggedBytes);
    ++m_codes[ch->uniqueCode];
}

void ChannelSelectionState::untrack(ChannelRecord *ch)
{
    m_counter.remove(ch->periodMs, ch->loggedBytes);
    auto it = m_codes.find(ch->uniqueCode);
    if (it != m_codes.end() && --*it <= 0)
        m_codes.erase(it);
}

bool ChannelSelectionState::fitsBandwidth() const
{
    return m_selected && !m_selected->isEmpty() && m_counter.fits();
}

quint32 ChannelSelectionState::runSlower(ChannelRecord *ch)
{
    int steps = 0;
    while (!fitsBandwidth() && steps++ < MaxPeriodSteps) {
        m_counter.remove(ch->periodMs, ch->loggedBytes);
        ch->periodMs = slowerPeriod(ch->periodMs, m_fastest);
        m_counter.add(ch->periodMs, ch->loggedBytes);
    }
    return fitsBandwidth();
}

ChannelSelectionState::AddResult ChannelSelectionState::add(ChannelRecord *ch, quint32 periodMs)
{
    if (!m_table || !m_table->valid || !m_selected || !ch)
        return AddResult::Ignored;
    if (quint32(m_selected->size()) >= m_table->channelsCountOffline)
        return AddResult::LimitReached;
    if (isSelected(ch->uniqueCode))
        return AddResult::AlreadySelected;
    const quint32 before = ch->periodMs;
    // No usable frequency text: the slowest period is always a valid start.
    ch->periodMs = periodMs ? periodMs : SlowestClassMs;
    if (ch->loggedBytes >= 3)
        return AddResult::TooWide;
    m_selected->append(ch);
    track(ch);
    if (!m_noLoggerTable && !runSlower(ch)) {
        untrack(ch);
        m_selected->removeLast();
        ch->periodMs = before;
        return AddResult::NoRoom;
    }
    return AddResult::Added;
}

void ChannelSelectionState::remove(ChannelRecord *ch)
{
    if (!m_selected)
        return;
    const int i = m_selected->indexOf(ch);
    if (i < 0)
        return;
    m_selected->removeAt(i);
    untrack(ch);
}

bool ChannelSelectionState::stepPeriod(ChannelRecord *ch, bool downPeriod)
{
    const quint32 before = ch->periodMs;
    for (int step = 0; step < MaxPeriodSteps; ++step) {
        m_counter.remove(ch->periodMs, ch->loggedBytes);
        ch->periodMs = downPeriod ? fasterPeriodWrapBelow6(ch->periodMs)
                                  : slowerPeriod(ch->periodMs, m_fastest);
        m_counter.add(ch->periodMs, ch->loggedBytes);
        if (fitsBandwidth())
            return true;
    }
    m_counter.remove(ch->periodMs, ch->loggedBytes);
    ch->periodMs = before;
    m_counter.add(ch->periodMs, ch->loggedBytes);
    return false;
}

bool ChannelSelectionState::refit(ChannelRecord *ch, quint32 oldPeriodMs)
{
    m_counter.remove(oldPeriodMs, ch->loggedBytes);
    m_counter.add(ch->periodMs, ch->loggedBytes);
    if (runSlower(ch))
        return true;
    m_counter.remove(ch->periodMs, ch->loggedBytes);
    ch->periodMs = oldPeriodMs;
    m_counter.add(ch->periodMs, ch->loggedBytes);
    return false;
}

float ChannelSelectionState::rateOf(const ChannelRecord &ch)
{
    return frequencyText(ch.periodMs).toFloat() * float(ch.loggedBytes);
}

void ChannelSelectionState::addRate(const ChannelRecord &ch)
{
    if (!m_noLoggerTable)
        m_rate += rateOf(ch);
}

void ChannelSelectionState::subtractRate(const ChannelRecord &ch)
{
    if (!m_noLoggerTable)
        m_rate -= rateOf(ch);
}

quint32 ChannelSelectionState::acquisitionSeconds() const
{
    if (m_noLoggerTable)
        return 0;
    return SamplingRules::acquisitionSeconds(availableBytes(), m_rate);
}

QString ChannelSelectionState::acquisitionTimeText() const
{
    return SamplingRules::acquisitionTimeText(availableBytes(), m_rate);
}
