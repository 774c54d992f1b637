#include "triggerrules.h"

#include "conversion.h"
#include "devicerecords.h"

#include <QRegularExpression>
#include <cmath>

namespace TriggerRules {

NumberState checkNumber(const QString &input, double bottom, double top, int decimals)
{
    if (bottom >= 0 && input.trimmed().startsWith(QLatin1Char('-')))
        return NumberState::Invalid;
    static const QRegularExpression empty(QStringLiteral("^ *-?\\.? *$"));
    if (empty.match(input).hasMatch())
        return NumberState::Intermediate;

    bool ok = false;
    double value = input.toDouble(&ok);
    const bool hasExponent = input.contains(QLatin1Char('e'), Qt::CaseInsensitive);
    if (ok && !std::isfinite(value))
        return NumberState::Invalid;
    if (!ok) {
        // A number still waiting for its exponent digits.
        static const QRegularExpression exponent(QStringLiteral("[Ee][+-]?\\d*$"));
        const auto m = exponent.match(input);
        const int pos = m.hasMatch() ? int(m.capturedStart()) : -1;
        if (pos > 0 && input.count(QLatin1Char('e'), Qt::CaseInsensitive) == 1) {
            value = input.left(pos).toDouble(&ok);
            if (!ok)
                return NumberState::Invalid;
        } else if (pos == 0) {
            return NumberState::Intermediate;
        } else {
            return NumberState::Invalid;
        }
    }

    const int dot = input.indexOf(QLatin1Char('.'));
    if (dot >= 0 && !hasExponent) {
        int j = dot + 1;
        while (j < input.size() && input.at(j).isDigit())
            ++j;
        if (j - (dot + 1) > decimals)
            return NumberState::Intermediate;
    }
    if (value < bottom || value > top)
        return NumberState::Intermediate;
    return NumberState::Acceptable;
}

Range thresholdRange(const ChannelRecord &ch)
{
    const Conversion::RawRange raw = Conversion::rawRange(ch.loggedBytes, ch.isSigned());
    // Raw values are handed over as signed 32-bit, as the logger stores them.
    Range r { Conversion::binToEng(qint32(quint32(raw.minRaw)), ch),
              Conversion::binToEng(qint32(quint32(raw.maxRaw)), ch) };
    if (r.bottom > r.top)
        std::swap(r.bottom, r.top);
    return r;
}

QString engText(double value)
{
    return QString::number(value, 'g', 6);
}

QString rangeTooltip(const Range &r)
{
    return QStringLiteral("Min = ") + engText(r.bottom) + QStringLiteral("   -   Max = ") + engText(r.top);
}

namespace {
// A bound with at most `decimals` decimals, rounded towards the inside of the
// range: rounding it outwards (16383.75 written as 16384) would give a raw
// value one past the channel's largest.
QString boundText(double bound, bool isLow, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    double v = isLow ? std::ceil(bound * scale - 1e-6) / scale : std::floor(bound * scale + 1e-6) / scale;
    if (!std::isfinite(v))
        return QString::number(bound, 'g', 17);
    if (isLow ? v < bound : v > bound)
        v += (isLow ? 1 : -1) / scale;
    QString text = QString::number(v, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}
} // namespace

QString correctedThreshold(const QString &text, const Range &r, bool isLow, bool hasFocus)
{
    if (!hasFocus || text.isEmpty())
        return QString();
    if (checkNumber(text, r.bottom, r.top, ThresholdDecimals) == NumberState::Acceptable)
        return QString();
    return boundText(isLow ? r.bottom : r.top, isLow, ThresholdDecimals);
}

QString finishedNumber(const QString &text, const Range &r, int decimals, bool emptyIsTop)
{
    if (checkNumber(text, r.bottom, r.top, decimals) == NumberState::Acceptable)
        return QString();
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok)
        return boundText(emptyIsTop ? r.top : r.bottom, !emptyIsTop, decimals);
    if (v < r.bottom || v > r.top)
        return boundText(v < r.bottom ? r.bottom : r.top, v < r.bottom, decimals);
    const QString rounded = QString::number(v, 'f', decimals);
    const double w = rounded.toDouble();
    return w < r.bottom || w > r.top ? boundText(w < r.bottom ? r.bottom : r.top, w < r.bottom, decimals) : rounded;
}

qint32 thresholdRaw(double eng, const ChannelRecord &ch)
{
    const qint32 raw = Conversion::engToBin(eng, ch);
    if (ch.loggedBytes >= 4)
        return raw;
    const Conversion::RawRange r = Conversion::rawRange(ch.loggedBytes, ch.isSigned());
    return qint32(qBound<qint64>(r.minRaw, raw, r.maxRaw));
}

QString correctedDelay(const QString &text)
{
    if (text.isEmpty() || text == QLatin1String("0."))
        return QString();
    if (checkNumber(text, DelayMin, DelayMax, DelayDecimals) == NumberState::Acceptable)
        return QString();
    const double v = text.toDouble();
    return QString::number(v >= DelayMin ? DelayMax : DelayMin, 'f', DelayDecimals);
}

quint8 delayFromText(const QString &text)
{
    // An empty or zero delay on an active trigger means the shortest one.
    const double tenths = text.toDouble() * 10;
    if (!(tenths >= DelayMin * 10))
        return quint8(DelayMin * 10);
    if (tenths >= 255)
        return 255;
    // 2.3 * 10 is 22.999...; the field holds one decimal, so round that away.
    return quint8(tenths + 1e-6);
}

QString delayText(quint8 delay)
{
    return QString::number(delay * 0.1, 'f', DelayDecimals);
}

} // namespace TriggerRules
