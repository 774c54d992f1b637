#pragma once
// A dump file around a LoggedMemory, laid out field by field as the dump
// format has it (Qt data stream, big-endian): magic, tag and version, the two
// results, page alignment, capacity, bytes downloaded, the read-back block
// (header, image head, addresses, byte counts, records, checksum), the data.

#include "loggedmemory.h"

#include <QtEndian>

inline QByteArray dumpFileOf(const LoggedMemory &m)
{
    const quint32 n = quint32(m.periods.size());
    QByteArray f;
    auto be = [&f](quint32 v) {
        char b[4];
        qToBigEndian(v, b);
        f.append(b, 4);
    };
    be(0x4F525654);
    be(0x4C440001);
    be(0);
    be(0);
    be(m.blockSize);
    be(n);
    be(quint32(m.memory.size()));
    be(60 * n + 906);
    f += m.header + m.head + QByteArray(int(5 * n), '\0') + m.records + QByteArray(2, '\0');
    be(quint32(m.memory.size()));
    f += m.memory;
    return f;
}
