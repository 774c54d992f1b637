#pragma once
// Collects the remaining-time events a medium posts during a transfer.

#include "communicationmedium.h"

#include <QList>
#include <QObject>

class ProgressSink : public QObject
{
public:
    QList<quint32> remaining;
    bool event(QEvent *e) override
    {
        if (e->type() == RemainingTimeEvent::EventType) {
            remaining.append(static_cast<RemainingTimeEvent *>(e)->remainingMs());
            return true;
        }
        return QObject::event(e);
    }
};
