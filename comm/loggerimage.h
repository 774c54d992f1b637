#pragma once
// The byte layouts the ECU's logger is configured and read through: the
// configuration image, the compact setup block of devices without ELF
// identification, the logger header and the read-back block (header followed
// by an image). The ECU side is big-endian; the tool keeps the read-back block
// in host order once it has been read. Used by LoggerProtocol, the simulated
// logger's tests and the decoder of logged data.

#include <QList>
#include <QtGlobal>

struct ChannelRecord;
struct TriggerSettings;

// 16-bit sum of the bytes, modulo 65536; 0 for a null pointer.
quint16 checksum16(const quint8 *bytes, quint32 length);

// Byte-order helpers: 0 for a null pointer; without reverse the value as
// stored; with reverse and inPlace the bytes are reversed in memory and the new
// value returned; with reverse alone the reversed value, memory untouched.
quint16 swap16(void *p, bool reverse, bool inPlace);
quint32 swap32(void *p, bool reverse, bool inPlace);
float swapFloat(void *p, bool reverse, bool inPlace);
quint64 swap64(void *p, bool reverse, bool inPlace);
double swapDouble(void *p, bool reverse, bool inPlace);

namespace LoggerLayout {
constexpr quint32 HeaderSize = 884;
constexpr quint32 HeaderSizeV0 = 880;       // logger header of version-0 dumps
constexpr quint32 ImageHeadSize = 20;
constexpr quint32 ChannelRecordSize = 55;
constexpr quint32 RunTableEntries = 207;
constexpr quint32 PeriodClasses = 8;

// Logger header offsets.
constexpr quint32 ReadTime = 32;
constexpr quint32 RunCount = 39;
constexpr quint32 RunsFound = 40;
constexpr quint32 RunTable = 42;
constexpr quint32 DataEnd = 870;   // write index FlashFW
constexpr quint32 DataStart = 874; // read index FlashFR
constexpr quint32 State = 878;

// Configuration image offsets (head).
constexpr quint32 TriggerType = 0;
constexpr quint32 TriggerDelay = 1;
constexpr quint32 TriggerPosition = 2;
constexpr quint32 LowThreshold = 4;
constexpr quint32 HighThreshold = 8;
constexpr quint32 PeriodCounts = 12;

inline quint32 imageSize(quint32 n) { return 60 * n + 22; }
inline quint32 readBackSize(quint32 n) { return 60 * n + 906; }
inline quint32 compactSize(quint32 n, quint32 areaSize) { return 905 + 2 * n + areaSize; }

// Compact setup block offsets.
constexpr quint32 CompactTrigger = 38;
constexpr quint32 CompactTriggerChannel = 40;
constexpr quint32 CompactLowThreshold = 42;
constexpr quint32 CompactHighThreshold = 44;
constexpr quint32 CompactCounts = 54;
constexpr quint32 CompactAddresses = 62;
constexpr quint32 CompactRunTableSize = 832;
inline quint32 compactRunTable(quint32 n) { return 62 + 2 * n; }
inline quint32 compactRecords(quint32 n) { return 894 + 2 * n; }
inline quint32 compactChecksumAt(quint32 n, quint32 areaSize) { return 894 + 2 * n + areaSize; }
inline quint32 compactTail(quint32 n, quint32 areaSize) { return 896 + 2 * n + areaSize; }

// The eight sampling periods, fastest first; -1 for any other period.
int periodIndex(quint32 periodMs);
}

struct ReadBackViews
{
    quint8 *header = nullptr;     // 884 bytes
    quint8 *imageHead = nullptr;  // 20 bytes
    quint8 *addresses = nullptr;  // 4n
    quint8 *byteCounts = nullptr; // n
    quint8 *records = nullptr;    // 55n
    quint8 *checksum = nullptr;   // 2

    // Views of a block of readBackSize(n) bytes; all null for a null block.
    static ReadBackViews of(quint8 *block, quint32 n);
};

// Which part of the compact block a send writes.
enum class CompactPart { ChannelInfo, ConfigurationMode1, ConfigurationMode0 };

namespace LoggerImage {

// Fills image (imageSize(n) bytes) from the sorted channel list and trigger:
// period counts, the first k entries of each per-channel area, the trigger
// head and the checksum. Entries beyond k keep what they held. Labels and
// units are shortened in the ChannelRecords themselves (15 and 7 characters).
void build(quint8 *image, quint32 n, const QList<ChannelRecord *> &channels, const TriggerSettings &trigger,
           bool elfCheckEnabled);

// Builds the compact block (compactSize(n, areaSize) bytes) from a finished
// image; *offset and *length give the part to write for the purpose.
void buildCompact(quint8 *compact, const quint8 *image, quint32 n, quint32 areaSize, CompactPart part,
                  quint32 *offset, quint32 *length);
quint16 compactChecksum(const quint8 *compact, quint32 n, quint32 areaSize);

// Verifies a compact block read from the ECU and rewrites it as a read-back
// block (still big-endian, as the ECU holds it); false and readBack untouched
// when the stored checksum does not match.
bool compactToReadBack(const quint8 *compact, quint32 n, quint32 areaSize, quint8 *readBack);

// Converts a read-back block as read from the ECU to host order and stamps
// the time of reading (seconds since 1970) into the header.
void readBackToHost(quint8 *readBack, quint32 n, quint32 readTime);

// Sum of the eight period counts of an image head.
quint32 channelCount(const quint8 *imageHead);

// New channel records (the caller owns them) from a host-order read-back
// block; empty when the block is null or configures no channel. head gets the
// trigger (its channel points into the returned list), dataLength the data
// end minus the data start.
QList<ChannelRecord *> decodeReadBack(const quint8 *readBack, quint32 n, TriggerSettings *head,
                                      quint32 *dataLength);
}
