#pragma once
// Edits one selected channel: label, sampling frequency, unit, zero-able flag
// and calibration, with a raw <-> engineering converter. Works on a copy that
// is written back to the caller's record only on "Ok".

#include <QDialog>

#include "devicerecords.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QDoubleValidator;
class QRegularExpressionValidator;

class ChannelSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    ChannelSettingsDialog(ChannelRecord *record, QWidget *parent = nullptr, const char *name = nullptr,
                          bool modal = true);

    const ChannelRecord &workingCopy() const { return m_copy; }

public slots:
    void mostraZero(bool on);
    void accept() override;
    void reject() override;
    void eseguiConversione();
    void cambiaConversione(int index);
    void impostaDataCalib();

private:
    void refreshRangeTooltip();

    ChannelRecord *m_record;
    ChannelRecord m_copy;

    QLineEdit *m_label;
    QComboBox *m_freq;
    QLineEdit *m_unit;
    QLabel *m_resolution;
    QCheckBox *m_zeroable;
    QLabel *m_zeroConst;
    QLineEdit *m_g1;
    QLineEdit *m_g2;
    QLineEdit *m_o1;
    QLineEdit *m_o2;
    QLineEdit *m_from;
    QComboBox *m_direction;
    QLineEdit *m_to;
    QPushButton *m_convert;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QDoubleValidator *m_doubleValidator;
    QRegularExpressionValidator *m_hexValidator;
};
