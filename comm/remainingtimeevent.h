#pragma once
// Posted by the medium to the wait dialog during block transfers: the
// estimated milliseconds still needed.

#include <QEvent>
#include <QtGlobal>

// Milliseconds still needed for `remaining` bytes when `done` bytes took
// `timeMs`: rate = done / (timeMs * 0.001) bytes per second, truncated;
// estimate = remaining * 1000 / rate, truncated. -1 while the rate truncates
// to 0: there is no estimate yet.
inline qint64 remainingTimeMs(quint64 done, quint32 timeMs, quint64 remaining)
{
    const quint64 rate = quint64(double(done) / (double(timeMs) * 0.001));
    return rate == 0 ? -1 : qint64(remaining * 1000 / rate);
}

class RemainingTimeEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = QEvent::Type(12000);

    explicit RemainingTimeEvent(quint32 remainingMs) : QEvent(EventType), m_remaining(remainingMs) {}
    quint32 remainingMs() const { return m_remaining; }

private:
    quint32 m_remaining;
};
