#pragma once
// Channel records owned by a test, filled as a device load fills them: logger
// on, 5 ms fastest period, 1:1 scaling, label equal to the factory name.

#include "devicerecords.h"

#include <QList>

#include <memory>
#include <vector>

struct ChannelSet
{
    std::vector<std::unique_ptr<ChannelRecord>> owned;
    QList<ChannelRecord *> channels;

    ChannelRecord *add(const QByteArray &factory, quint32 index, quint32 bytes, quint32 periodMs)
    {
        auto ch = std::make_unique<ChannelRecord>();
        ch->factoryName = factory;
        ch->tableAddress = index;
        ch->address = index;
        ch->loggedBytes = bytes;
        ch->loggerBytes = bytes;
        ch->minPeriodMs = 5;
        ch->periodMs = periodMs;
        ch->loggerEnabled = true;
        ch->label = factory;
        ch->uniqueCode = factory + '_' + QByteArray::number(index);
        ch->setIdentity();
        owned.push_back(std::move(ch));
        channels << owned.back().get();
        return channels.last();
    }
};
