#pragma once
// The decoder's view of the download a LoggerProtocol holds (live or loaded
// from a dump). Header-only so brisca_data itself needs no link to brisca_comm.

#include "decodedatalogged.h"
#include "loggerprotocol.h"

inline LoggedDownload loggedDownload(const LoggerProtocol &p)
{
    const ReadBackViews &v = p.readBackViews();
    LoggedDownload d;
    d.memory = p.dataBuffer();
    d.memorySize = d.memory ? qMin(p.bytesDownloaded(), p.dataBufferSize()) : 0;
    if (p.readBackBlock() && p.readBackLength() >= LoggerLayout::readBackSize(0)) {
        d.header = v.header;
        d.imageHead = v.imageHead;
        d.records = v.records;
        d.capacity = qMin(p.channelCapacity(), (p.readBackLength() - LoggerLayout::readBackSize(0)) / 60);
    }
    d.blockSize = p.pageAlignment();
    return d;
}
