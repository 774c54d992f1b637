#pragma once
// Input rules of the trigger fields: which texts a numeric field accepts,
// how an unacceptable text is corrected, the engineering range of a trigger
// channel and the delay byte.

#include <QString>

struct ChannelRecord;

namespace TriggerRules {

constexpr double DelayMin = 0.5;
constexpr double DelayMax = 25.5;
constexpr int DelayDecimals = 1;
constexpr int ThresholdDecimals = 5;

// The three states of a numeric field, with the rules the logger tool always
// had: anything that is a number may be typed; out of range or with too many
// decimals it is only intermediate; a minus sign is refused when the range
// does not go below zero.
enum class NumberState { Invalid, Intermediate, Acceptable };
NumberState checkNumber(const QString &text, double bottom, double top, int decimals);

struct Range
{
    double bottom = 0;
    double top = 0;
};
// Engineering range of a channel's raw limits. A decreasing scaling is turned
// round so that its range still accepts values.
Range thresholdRange(const ChannelRecord &ch);
// "Min = x   -   Max = y" with six significant digits.
QString rangeTooltip(const Range &r);

// Replacement text for a threshold field, or a null string to leave it. The
// bound is written so that its raw form stays within the channel.
QString correctedThreshold(const QString &text, const Range &r, bool isLow, bool hasFocus);
// Replacement text for the delay field, or a null string to leave it.
QString correctedDelay(const QString &text);
// When editing ends: a text that is no number becomes the low bound (the
// high one for the high threshold), one outside the range the nearest bound.
// A null string when the text is acceptable.
QString finishedNumber(const QString &text, const Range &r, int decimals, bool emptyIsTop);

// Raw form of a threshold, kept within what the channel can hold.
qint32 thresholdRaw(double eng, const ChannelRecord &ch);

quint8 delayFromText(const QString &text); // tenths of a second, at least 5
QString delayText(quint8 delay);            // one decimal
QString engText(double value);              // up to six significant digits

} // namespace TriggerRules
