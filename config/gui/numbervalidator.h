#pragma once
// Floating-point validator with the rules of TriggerRules::checkNumber: out of
// range or over-precise numbers stay typeable but are not acceptable.

#include <QValidator>

class NumberValidator : public QValidator
{
    Q_OBJECT
public:
    NumberValidator(double bottom, double top, int decimals, QObject *parent, const char *name = nullptr);
    State validate(QString &input, int &pos) const override;
    void setRange(double bottom, double top, int decimals);
    double bottom() const { return m_bottom; }
    double top() const { return m_top; }
    int decimals() const { return m_decimals; }

private:
    double m_bottom;
    double m_top;
    int m_decimals;
};
