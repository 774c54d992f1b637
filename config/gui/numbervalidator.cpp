#include "numbervalidator.h"

#include "triggerrules.h"

NumberValidator::NumberValidator(double bottom, double top, int decimals, QObject *parent, const char *name)
    : QValidator(parent), m_bottom(bottom), m_top(top), m_decimals(decimals)
{
    if (name)
        setObjectName(QLatin1String(name));
}

QValidator::State NumberValidator::validate(QString &input, int &) const
{
    switch (TriggerRules::checkNumber(input, m_bottom, m_top, m_decimals)) {
    case TriggerRules::NumberState::Acceptable: return Acceptable;
    case TriggerRules::NumberState::Intermediate: return Intermediate;
    default: return Invalid;
    }
}

void NumberValidator::setRange(double bottom, double top, int decimals)
{
    m_bottom = bottom;
    m_top = top;
    m_decimals = decimals;
    emit changed();
}
