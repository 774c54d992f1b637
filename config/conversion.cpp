#include "conversion.h"

#include "devicerecords.h"

#include <cmath>
#include <limits>

namespace Conversion {

double binToEng(qint32 raw, double g1, double o1, double g2, double o2)
{
    const double den = g2 * raw + o2;
    if (den == 0)
        return std::numeric_limits<double>::max();
    return (g1 * raw + o1) / den;
}

double binToEng(qint32 raw, const ChannelRecord &ch)
{
    return binToEng(raw, ch.g1, ch.o1, ch.g2, ch.o2);
}

qint32 engToBin(double eng, double g1, double o1, double g2, double o2)
{
    if (g1 == 0)
        return std::numeric_limits<qint32>::min();
    double x = (eng * o2 - o1) / (g1 - eng * g2);
    if (std::isnan(x))
        return std::numeric_limits<qint32>::min();
    // A negative x has a negative fraction, so it always goes down.
    const double whole = x - std::trunc(x) >= 0.5 ? std::ceil(x) : std::floor(x);
    if (whole >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (whole <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(whole);
}

qint32 engToBin(double eng, const ChannelRecord &ch)
{
    return engToBin(eng, ch.g1, ch.o1, ch.g2, ch.o2);
}

RawRange rawRange(quint32 loggedBytes, bool isSigned)
{
    RawRange r;
    const quint32 bits = qBound(1u, loggedBytes, 4u) * 8;
    if (isSigned) {
        r.maxRaw = (qint64(1) << (bits - 1)) - 1;
        r.minRaw = -(qint64(1) << (bits - 1));
    } else {
        r.maxRaw = (qint64(1) << bits) - 1;
        r.minRaw = 0;
    }
    return r;
}

} // namespace Conversion
