#include "loggerimage.h"

#include "devicerecords.h"

#include <QtEndian>
#include <cstring>

quint16 checksum16(const quint8 *bytes, quint32 length)
{
    if (!bytes)
        return 0;
    quint32 sum = 0;
    for (quint32 i = 0; i < length; ++i)
        sum += bytes[i];
    return quint16(sum);
}

namespace {

template<typename T>
T swapValue(void *p, bool reverse, bool inPlace)
{
    if (!p)
        return T(0);
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, p, sizeof(T));
    if (reverse) {
        for (size_t i = 0; i < sizeof(T) / 2; ++i)
            std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
        if (inPlace)
            std::memcpy(p, bytes, sizeof(T));
    }
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

quint16 be16(const quint8 *p) { return qFromBigEndian<quint16>(p); }
quint32 be32(const quint8 *p) { return qFromBigEndian<quint32>(p); }
void putBe16(quint8 *p, quint16 v) { qToBigEndian(v, p); }
void putBe32(quint8 *p, quint32 v) { qToBigEndian(v, p); }
void putLe16(quint8 *p, quint16 v) { qToLittleEndian(v, p); }
void putLe32(quint8 *p, quint32 v) { qToLittleEndian(v, p); }
void putFloat(quint8 *p, float f)
{
    quint32 v;
    std::memcpy(&v, &f, 4);
    putLe32(p, v);
}

// Record fields, offsets in a 55-byte channel record.
constexpr quint32 RecMinPeriod = 0, RecPeriod = 2, RecFlags = 4, RecZero = 6, RecScaling = 10, RecLabel = 26,
                  RecUnit = 42, RecAddress = 50, RecBytes = 54;
constexpr quint8 FlagsAlwaysSet = 0x03, FlagSigned = 0x10, FlagZeroable = 0x20;
// Compact record fields.
constexpr quint32 CrLabel = 0, CrUnit = 16, CrBytes = 24, CrSigned = 25, CrScaling = 27, CrFlags = 43,
                  CrZeroable = 44, CrZero = 45, CrAddress = 49, CrPeriod = 51, CrMinPeriod = 53;

// Shortens the text in the record itself, then copies it with one NUL; what
// follows the NUL keeps its earlier content.
void putText(quint8 *p, QByteArray &text, int maxChars)
{
    if (text.size() > maxChars)
        text.truncate(maxChars);
    std::memcpy(p, text.constData(), size_t(text.size()));
    p[text.size()] = 0;
}

QByteArray textAt(const quint8 *p, int maxChars)
{
    int len = 0;
    while (len < maxChars && p[len])
        ++len;
    return QByteArray(reinterpret_cast<const char *>(p), len);
}

void fillRecord(quint8 *r, ChannelRecord &ch)
{
    putLe16(r + RecMinPeriod, quint16(ch.minPeriodMs));
    putLe16(r + RecPeriod, quint16(ch.periodMs));
    r[RecFlags] = FlagsAlwaysSet | (ch.typeCode == 0x100 ? FlagSigned : 0) | (ch.zeroable ? FlagZeroable : 0);
    r[RecFlags + 1] = 0;
    putLe32(r + RecZero, ch.zeroValue);
    putFloat(r + RecScaling, ch.g1);
    putFloat(r + RecScaling + 4, ch.o1);
    putFloat(r + RecScaling + 8, ch.g2);
    putFloat(r + RecScaling + 12, ch.o2);
    putText(r + RecLabel, ch.label, 15);
    putText(r + RecUnit, ch.unit, 7);
    putLe32(r + RecAddress, ch.address);
    r[RecBytes] = quint8(ch.loggedBytes);
}

} // namespace

quint16 swap16(void *p, bool reverse, bool inPlace) { return swapValue<quint16>(p, reverse, inPlace); }
quint32 swap32(void *p, bool reverse, bool inPlace) { return swapValue<quint32>(p, reverse, inPlace); }
float swapFloat(void *p, bool reverse, bool inPlace) { return swapValue<float>(p, reverse, inPlace); }
quint64 swap64(void *p, bool reverse, bool inPlace) { return swapValue<quint64>(p, reverse, inPlace); }
double swapDouble(void *p, bool reverse, bool inPlace) { return swapValue<double>(p, reverse, inPlace); }

int LoggerLayout::periodIndex(quint32 periodMs)
{
    for (int i = 0; i < int(PeriodClasses); ++i)
        if (periodMs == (5u << i))
            return i;
    return -1;
}

ReadBackViews ReadBackViews::of(quint8 *block, quint32 n)
{
    ReadBackViews v;
    if (!block)
        return v;
    v.header = block;
    v.imageHead = block + LoggerLayout::HeaderSize;
    v.addresses = v.imageHead + LoggerLayout::ImageHeadSize;
    v.byteCounts = v.addresses + 4 * n;
    v.records = v.byteCounts + n;
    v.checksum = v.records + LoggerLayout::ChannelRecordSize * n;
    return v;
}

quint32 LoggerImage::channelCount(const quint8 *imageHead)
{
    quint32 c = 0;
    for (quint32 i = 0; i < LoggerLayout::PeriodClasses; ++i)
        c += imageHead[LoggerLayout::PeriodCounts + i];
    return c;
}

void LoggerImage::build(quint8 *image, quint32 n, const QList<ChannelRecord *> &channels,
                        const TriggerSettings &trigger, bool elfCheckEnabled)
{
    using namespace LoggerLayout;
    if (!image)
        return;
    quint8 *addresses = image + ImageHeadSize;
    quint8 *byteCounts = addresses + 4 * n;
    quint8 *records = byteCounts + n;
    const quint32 k = qMin(quint32(channels.size()), n);

    std::memset(image + PeriodCounts, 0, PeriodClasses);
    for (quint32 i = 0; i < k; ++i) {
        ChannelRecord &ch = *channels.at(int(i));
        const int cls = periodIndex(ch.periodMs);
        if (cls >= 0)
            ++image[PeriodCounts + cls];
        putBe32(addresses + 4 * i, ch.address);
        byteCounts[i] = quint8(elfCheckEnabled ? ch.variableBytes : ch.loggedBytes);
        fillRecord(records + ChannelRecordSize * i, ch);
    }

    image[TriggerType] = trigger.type;
    image[TriggerDelay] = trigger.delay;
    putBe16(image + TriggerPosition, 0);
    // The ECU reads the thresholds big-endian only for a channel trigger.
    if (trigger.type == 3) {
        putBe32(image + LowThreshold, quint32(trigger.lowThreshold));
        putBe32(image + HighThreshold, quint32(trigger.highThreshold));
        if (trigger.channel) {
            const int pos = channels.indexOf(const_cast<ChannelRecord *>(trigger.channel));
            if (pos >= 0)
                putBe16(image + TriggerPosition, quint16(pos));
        }
    } else {
        putLe32(image + LowThreshold, quint32(trigger.lowThreshold));
        putLe32(image + HighThreshold, quint32(trigger.highThreshold));
    }
    putBe16(image + 60 * n + 20, checksum16(image, 60 * n + 20));
}

quint16 LoggerImage::compactChecksum(const quint8 *compact, quint32 n, quint32 areaSize)
{
    using namespace LoggerLayout;
    quint32 sum = 0;
    for (quint32 i = 0; i < PeriodClasses; ++i)
        sum += compact[CompactCounts + i];
    for (quint32 off = CompactTriggerChannel; off <= 52; off += 2)
        sum += be16(compact + off);
    sum += compact[CompactTrigger] + compact[CompactTrigger + 1];
    for (quint32 i = 0; i < n; ++i)
        sum += be16(compact + CompactAddresses + 2 * i);
    const quint8 *area = compact + compactRecords(n);
    for (quint32 i = 0; i < areaSize; ++i)
        sum += area[i];
    return quint16(sum);
}

void LoggerImage::buildCompact(quint8 *compact, const quint8 *image, quint32 n, quint32 areaSize,
                               CompactPart part, quint32 *offset, quint32 *length)
{
    using namespace LoggerLayout;
    std::memset(compact, 0, compactSize(n, areaSize));
    const quint8 *addresses = image + ImageHeadSize;
    const quint8 *byteCounts = addresses + 4 * n;
    const quint8 *records = byteCounts + n;

    compact[CompactTrigger] = image[TriggerType];
    compact[CompactTrigger + 1] = image[TriggerDelay];
    if (image[TriggerType] == 3) {
        const quint16 pos = be16(image + TriggerPosition);
        if (pos < n)
            putBe16(compact + CompactTriggerChannel, quint16(be32(addresses + 4 * pos)));
    }
    // Low 16 bits of the thresholds as the image holds them (big-endian for a
    // channel trigger, host order otherwise).
    const bool bigEndian = image[TriggerType] == 3;
    const quint32 low = bigEndian ? be32(image + LowThreshold) : qFromLittleEndian<quint32>(image + LowThreshold);
    const quint32 high = bigEndian ? be32(image + HighThreshold) : qFromLittleEndian<quint32>(image + HighThreshold);
    putBe16(compact + CompactLowThreshold, quint16(low));
    putBe16(compact + CompactHighThreshold, quint16(high));
    std::memcpy(compact + CompactCounts, image + PeriodCounts, PeriodClasses);

    quint8 *crArea = compact + compactRecords(n);
    const quint32 fitting = qMin(n, areaSize / ChannelRecordSize);
    for (quint32 i = 0; i < n; ++i) {
        putBe16(compact + CompactAddresses + 2 * i, quint16(be32(addresses + 4 * i)));
        if (i >= fitting)
            continue;
        const quint8 *r = records + ChannelRecordSize * i;
        quint8 *c = crArea + ChannelRecordSize * i;
        std::memcpy(c + CrLabel, r + RecLabel, 16);
        std::memcpy(c + CrUnit, r + RecUnit, 8);
        c[CrBytes] = r[RecBytes];
        c[CrSigned] = (r[RecFlags] & FlagSigned) ? 1 : 0;
        c[CrSigned + 1] = 0;
        std::memcpy(c + CrScaling, r + RecScaling, 16);
        c[CrFlags] = r[RecFlags] & 0x0F;
        c[CrZeroable] = (r[RecFlags] & FlagZeroable) ? 1 : 0;
        std::memcpy(c + CrZero, r + RecZero, 4);
        std::memcpy(c + CrAddress, r + RecAddress, 2);
        std::memcpy(c + CrPeriod, r + RecPeriod, 2);
        std::memcpy(c + CrMinPeriod, r + RecMinPeriod, 2);
    }
    putBe16(compact + compactChecksumAt(n, areaSize), compactChecksum(compact, n, areaSize));

    quint32 off = CompactTrigger, len = 0;
    switch (part) {
    case CompactPart::ChannelInfo:
        off = compactRecords(n);
        len = areaSize + 2;
        break;
    case CompactPart::ConfigurationMode1:
        len = 24 + 2 * n;
        break;
    case CompactPart::ConfigurationMode0:
        len = 858 + 2 * n + areaSize;
        break;
    }
    if (offset)
        *offset = off;
    if (length)
        *length = len;
}

bool LoggerImage::compactToReadBack(const quint8 *compact, quint32 n, quint32 areaSize, quint8 *readBack)
{
    using namespace LoggerLayout;
    if (be16(compact + compactChecksumAt(n, areaSize)) != compactChecksum(compact, n, areaSize))
        return false;
    std::memset(readBack, 0, readBackSize(n));
    const ReadBackViews v = ReadBackViews::of(readBack, n);

    std::memcpy(v.header, compact, 38);
    const quint8 *runTable = compact + compactRunTable(n);
    std::memcpy(v.header + 38, runTable, 3);
    const quint32 runs = qMin<quint32>(runTable[1], RunTableEntries);
    std::memcpy(v.header + RunTable, runTable + 4, 4 * runs);
    const quint8 *tail = compact + compactTail(n, areaSize);
    std::memcpy(v.header + DataEnd, tail, 4);
    std::memcpy(v.header + DataStart, tail + 4, 4);
    v.header[State] = tail[8];

    quint8 *head = v.imageHead;
    head[TriggerType] = compact[CompactTrigger];
    head[TriggerDelay] = compact[CompactTrigger + 1];
    putBe32(head + LowThreshold, be16(compact + CompactLowThreshold));
    putBe32(head + HighThreshold, be16(compact + CompactHighThreshold));
    std::memcpy(head + PeriodCounts, compact + CompactCounts, PeriodClasses);

    const quint16 triggerChannel = be16(compact + CompactTriggerChannel);
    const quint32 c = qMin(qMin(channelCount(head), n), areaSize / ChannelRecordSize);
    const quint8 *crArea = compact + compactRecords(n);
    for (quint32 i = 0; i < c; ++i) {
        const quint8 *cr = crArea + ChannelRecordSize * i;
        quint8 *r = v.records + ChannelRecordSize * i;
        std::memcpy(r + RecMinPeriod, cr + CrMinPeriod, 2);
        std::memcpy(r + RecPeriod, cr + CrPeriod, 2);
        r[RecFlags] = (cr[CrFlags] & 0x0F) | (cr[CrSigned] ? FlagSigned : 0) | (cr[CrZeroable] ? FlagZeroable : 0);
        std::memcpy(r + RecZero, cr + CrZero, 4);
        std::memcpy(r + RecScaling, cr + CrScaling, 16);
        QByteArray label = textAt(cr + CrLabel, 15).trimmed();
        QByteArray unit = textAt(cr + CrUnit, 7).trimmed();
        putText(r + RecLabel, label, 15);
        putText(r + RecUnit, unit, 7);
        putLe32(r + RecAddress, qFromLittleEndian<quint16>(cr + CrAddress));
        r[RecBytes] = cr[CrBytes];
        const quint16 address = be16(compact + CompactAddresses + 2 * i);
        putBe32(v.addresses + 4 * i, address);
        v.byteCounts[i] = cr[CrBytes];
        if (head[TriggerType] == 3 && address == triggerChannel)
            putBe16(head + TriggerPosition, quint16(i));
    }
    putBe16(v.checksum, checksum16(readBack + HeaderSize, 60 * n + 20));
    return true;
}

void LoggerImage::readBackToHost(quint8 *readBack, quint32 n, quint32 readTime)
{
    using namespace LoggerLayout;
    const ReadBackViews v = ReadBackViews::of(readBack, n);
    swap32(v.header + DataEnd, true, true);
    swap32(v.header + DataStart, true, true);
    const quint32 runs = qMin<quint32>(v.header[RunCount], RunTableEntries);
    for (quint32 i = 0; i < runs; ++i)
        swap32(v.header + RunTable + 4 * i, true, true);
    if (v.imageHead[TriggerType] == 3) {
        swap16(v.imageHead + TriggerPosition, true, true);
        swap32(v.imageHead + LowThreshold, true, true);
        swap32(v.imageHead + HighThreshold, true, true);
    }
    swap16(v.checksum, true, true);
    putLe32(v.header + ReadTime, readTime);
}

QList<ChannelRecord *> LoggerImage::decodeReadBack(const quint8 *readBack, quint32 n, TriggerSettings *head,
                                                   quint32 *dataLength)
{
    using namespace LoggerLayout;
    QList<ChannelRecord *> list;
    if (head)
        head->clear();
    if (dataLength)
        *dataLength = 0;
    if (!readBack)
        return list;
    const ReadBackViews v = ReadBackViews::of(const_cast<quint8 *>(readBack), n);
    if (dataLength)
        *dataLength = qFromLittleEndian<quint32>(v.header + DataEnd) - qFromLittleEndian<quint32>(v.header + DataStart);
    const quint32 c = qMin(channelCount(v.imageHead), n);
    if (c == 0)
        return list;
    for (quint32 i = 0; i < c; ++i) {
        const quint8 *r = v.records + ChannelRecordSize * i;
        auto *ch = new ChannelRecord;
        ch->minPeriodMs = qFromLittleEndian<quint16>(r + RecMinPeriod);
        ch->periodMs = qFromLittleEndian<quint16>(r + RecPeriod);
        ch->typeCode = (r[RecFlags] & FlagSigned) ? 0x100 : 0;
        ch->zeroable = (r[RecFlags] & FlagZeroable) != 0;
        ch->zeroValue = qFromLittleEndian<quint32>(r + RecZero);
        float f[4];
        for (int j = 0; j < 4; ++j) {
            const quint32 bits = qFromLittleEndian<quint32>(r + RecScaling + 4 * j);
            std::memcpy(&f[j], &bits, 4);
        }
        ch->g1 = f[0];
        ch->o1 = f[1];
        ch->g2 = f[2];
        ch->o2 = f[3];
        ch->loggedBytes = r[RecBytes];
        ch->address = qFromLittleEndian<quint32>(r + RecAddress);
        ch->label = textAt(r + RecLabel, 16);
        ch->unit = textAt(r + RecUnit, 8);
        ch->factoryName = ch->label;
        ch->description = ch->label;
        ch->uniqueCode = ch->label + '_' + QByteArray::number(ch->address);
        list.append(ch);
    }
    if (head) {
        head->type = v.imageHead[TriggerType];
        head->delay = v.imageHead[TriggerDelay];
        if (head->type == 3) {
            head->lowThreshold = qint32(qFromLittleEndian<quint32>(v.imageHead + LowThreshold));
            head->highThreshold = qint32(qFromLittleEndian<quint32>(v.imageHead + HighThreshold));
            const quint16 pos = qFromLittleEndian<quint16>(v.imageHead + TriggerPosition);
            head->channel = pos < c ? list.at(pos) : nullptr;
        }
    }
    return list;
}
