#include "devicemodel.h"

#include <algorithm>

DeviceModel::~DeviceModel()
{
    clearChannels();
}

void DeviceModel::clearChannels()
{
    selected.clear();
    trigger.channel = nullptr;
    qDeleteAll(channels);
    channels.clear();
}

void DeviceModel::sortScalings()
{
    // QByteArray compares bytes unsigned, which is the Latin-1 order.
    std::stable_sort(scalings.begin(), scalings.end(),
                     [](const ScalingRecord &a, const ScalingRecord &b) { return a.id < b.id; });
}

const ScalingRecord *DeviceModel::findScaling(const QByteArray &id) const
{
    const auto it = std::lower_bound(scalings.cbegin(), scalings.cend(), id,
                                     [](const ScalingRecord &s, const QByteArray &k) { return s.id < k; });
    if (it != scalings.cend() && it->id == id)
        return &*it;
    return nullptr;
}

const ChannelRecord *DeviceModel::findChannel(const QByteArray &factoryName) const
{
    for (const ChannelRecord *c : channels)
        if (c->factoryName == factoryName)
            return c;
    return nullptr;
}
