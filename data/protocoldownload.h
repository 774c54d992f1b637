#pragma once
// The decoder's view of a download: the one a LoggerProtocol holds (live or
// loaded from a dump) or a dump file opened on its own. Header-only so
// brisca_data itself needs no link to brisca_comm.

#include "decodedatalogged.h"
#include "dumpfile.h"
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

inline LoggedDownload loggedDownload(DumpFile &f)
{
    LoggedDownload d;
    quint8 *block = f.readBack();
    if (!block)
        return d;
    d.memory = f.data;
    d.memorySize = f.bytesDownloaded;
    d.header = block;
    d.imageHead = block + LoggerLayout::HeaderSize;
    d.records = d.imageHead + 20 + 5 * f.capacity;
    d.capacity = f.capacity;
    d.blockSize = f.pageAlignment;
    return d;
}
