#pragma once
// Raw <-> engineering conversion of a channel value. Every caller (trigger,
// channel settings, zeroing, the 2D and MDF writers) goes through these two
// functions so the rounding and limits are the same everywhere.

#include <QtGlobal>

struct ChannelRecord;

namespace Conversion {

// engineering = (g1 * raw + o1) / (g2 * raw + o2); a zero denominator gives
// the largest double.
double binToEng(qint32 raw, double g1, double o1, double g2, double o2);
double binToEng(qint32 raw, const ChannelRecord &ch);

// Inverse of binToEng. g1 == 0 gives 0x80000000. A fraction of .5 or more
// rounds up, any other down (so a negative value never rounds up); results
// outside 32 bits are clamped.
qint32 engToBin(double eng, double g1, double o1, double g2, double o2);
qint32 engToBin(double eng, const ChannelRecord &ch);

// Raw limits of a logged value of the given size; an unsigned 32-bit channel
// has maxRaw 0xFFFFFFFF, which binToEng sees as -1.
struct RawRange
{
    qint64 minRaw = 0;
    qint64 maxRaw = 0;
};
RawRange rawRange(quint32 loggedBytes, bool isSigned);

} // namespace Conversion
