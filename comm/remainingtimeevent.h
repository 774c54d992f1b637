#pragma once
// Posted by the medium to the wait dialog during block transfers: the
// estimated milliseconds still needed.

#include <QEvent>
#include <QtGlobal>

class RemainingTimeEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = QEvent::Type(12000);

    explicit RemainingTimeEvent(quint32 remainingMs) : QEvent(EventType), m_remaining(remainingMs) {}
    quint32 remainingMs() const { return m_remaining; }

private:
    quint32 m_remaining;
};
