#pragma once
// Any bytes as captured ECU frames, through the link's sorting, the
// discovery-reply parser and the read-reply copy. Shared by the fuzz target
// and the replay of its regression inputs in test_comm_frames.

#include "ethernetecuprotocol.h"
#include "ethernetlink.h"

#include <cstddef>
#include <cstdint>

inline void feedEcuReplies(const uint8_t *data, size_t size)
{
    static const quint8 host[6] = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
    EthernetLink link(QString(), host, 10, 1000);
    // The bytes FF FE separate packets, so one input holds several.
    size_t start = 0;
    for (size_t i = 0; i + 1 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] == 0xFE) {
            link.acceptPacket(data + start, quint32(i - start));
            start = i + 2;
            ++i;
        }
    }
    if (start < size)
        link.acceptPacket(data + start, quint32(size - start));
    RawFrameList control, memory;
    quint32 all = EthernetLink::TakeAll;
    link.takeControlFrames(control, all, 0);
    all = EthernetLink::TakeAll;
    link.takeMemoryFrames(memory, all, 0);
    for (const RawFramePtr &f : control) {
        EcuInfo info;
        EthernetEcuProtocol::parseDiscoveryReply(*f, info);
    }
    quint8 buffer[4096];
    EthernetEcuProtocol::copyReplyData(memory, buffer, sizeof buffer);
}
