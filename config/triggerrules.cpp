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

QString correctedThreshold(const QString &text, const Range &r, bool isLow, bool hasFocus)
{
    if (!hasFocus || text.isEmpty())
        return QString();
    if (checkNumber(text, r.bottom, r.top, ThresholdDecimals) == NumberState::Acceptable)
        return QString();
    return QString::number(isLow ? r.bottom : r.top, 'g', ThresholdDecimals);
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
    const double tenths = text.toDouble() * 10;
    if (!(tenths > 0))
        return 0;
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
