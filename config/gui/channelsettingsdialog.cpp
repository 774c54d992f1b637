#include "channelsettingsdialog.h"

#include "conversion.h"
#include "samplingrules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

template <class W>
static W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

static QHBoxLayout *row(const char *name)
{
    auto *l = new QHBoxLayout;
    l->setObjectName(QLatin1String(name));
    return l;
}

// A caption with its field beside it; the caption is the field's buddy for Alt+key.
static void addCaptionedRow(QBoxLayout *main, const char *rowName, QLabel *caption, QWidget *field)
{
    auto *r = row(rowName);
    caption->setBuddy(field);
    r->addWidget(caption);
    r->addWidget(field, 1);
    main->addLayout(r);
}

ChannelSettingsDialog::ChannelSettingsDialog(ChannelRecord *record, QWidget *parent, const char *name, bool modal)
    : QDialog(parent), m_record(record), m_copy(*record)
{
    if (name)
        setObjectName(QLatin1String(name));
    setModal(modal);

    m_doubleValidator = new QDoubleValidator(this);
    m_doubleValidator->setObjectName(QStringLiteral("validator_double_value"));
    m_doubleValidator->setLocale(QLocale::c());
    m_hexValidator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^0[xX][0-9a-fA-F]{1,8}$")), this);
    m_hexValidator->setObjectName(QStringLiteral("validator_hex_value"));

    auto *main = new QVBoxLayout(this);
    main->setObjectName(QStringLiteral("v_main_layout"));

    m_label = named(new QLineEdit(QString::fromLatin1(m_copy.label), this), "le_etichetta_var");
    addCaptionedRow(main, "h_layout_etichetta",
                    named(new QLabel(tr("Etichetta canale"), this), "lbl_txt_etichetta_var"), m_label);

    m_freq = named(new QComboBox(this), "cmbox_freq_sampl");
    auto *freqText = named(new QLabel(tr("Frequenza di campionamento"), this), "lbl_txt_freq_sampl");
    const quint32 minPeriod = m_copy.minPeriodMs ? m_copy.minPeriodMs : SamplingRules::FastestClassMs;
    for (quint32 p = minPeriod; p <= SamplingRules::SlowestClassMs; p *= 2) {
        m_freq->addItem(QString::number(1000.0 / p, 'g', 6));
        if (p == m_copy.periodMs)
            m_freq->setCurrentIndex(m_freq->count() - 1);
    }
    addCaptionedRow(main, "h_layout_freq", freqText, m_freq);

    m_unit = named(new QLineEdit(QString::fromLatin1(m_copy.unit), this), "le_unit");
    addCaptionedRow(main, "h_layout_unit", named(new QLabel(tr("Unita' di misura"), this), "lbl_txt_unit"), m_unit);

    auto *resRow = row("h_layout_resolution");
    m_resolution = named(new QLabel(QString::number(m_copy.loggedBytes * 8), this), "lbl_resolution");
    resRow->addWidget(named(new QLabel(tr("Risoluzione in bits :"), this), "lblTxtResolution"));
    resRow->addWidget(m_resolution, 1);
    main->addLayout(resRow);

    auto *zeroRow = row("h_layout_zero");
    m_zeroable = named(new QCheckBox(tr("Azzerabile"), this), "chkbox_flag_azzerabile");
    m_zeroable->setChecked(m_copy.zeroable);
    m_zeroConst = named(new QLabel(this), "lblZeroConst");
    zeroRow->addWidget(m_zeroable);
    zeroRow->addWidget(named(new QLabel(tr("Zero :"), this), "lblTxtZero"));
    zeroRow->addWidget(m_zeroConst, 1);
    main->addLayout(zeroRow);

    auto *calib = named(new QGroupBox(tr("Calibrazioni"), this), "grpboxcalib");
    auto *calibMain = new QVBoxLayout(calib);
    calibMain->setObjectName(QStringLiteral("v_main_layout_calib_value"));
    auto *grid = new QGridLayout;
    grid->setObjectName(QStringLiteral("grd_layout_calib_value"));
    auto coefficient = [&](const char *editName, const char *labelName, const QString &text, float value,
                           int r, int c) {
        QLineEdit *e = named(new QLineEdit(QString::number(double(value), 'g', 6), calib), editName);
        e->setValidator(m_doubleValidator);
        QLabel *l = named(new QLabel(text, calib), labelName);
        l->setBuddy(e);
        grid->addWidget(l, r, c);
        grid->addWidget(e, r, c + 1);
        connect(e, &QLineEdit::returnPressed, this, &ChannelSettingsDialog::impostaDataCalib);
        return e;
    };
    m_g1 = coefficient("leg1", "lbltxtg1", QStringLiteral("G1"), m_copy.g1, 0, 0);
    m_o1 = coefficient("leo1", "lbltxto1", QStringLiteral("O1"), m_copy.o1, 0, 2);
    m_g2 = coefficient("leg2", "lbltxtg2", QStringLiteral("G2"), m_copy.g2, 1, 0);
    m_o2 = coefficient("leo2", "lbltxto2", QStringLiteral("O2"), m_copy.o2, 1, 2);
    calibMain->addLayout(grid);

    auto *convRow = row("h_layout_conversion");
    m_from = named(new QLineEdit(calib), "leFromValue");
    m_direction = named(new QComboBox(calib), "cmbBoxSelConv");
    m_direction->addItems({ tr("da Bin. a Ing."), tr("da Ing. a Bin.") });
    m_to = named(new QLineEdit(calib), "leToValue");
    m_to->setReadOnly(true);
    m_convert = named(new QPushButton(tr("Conversione"), calib), "btnDoConv");
    m_convert->setAutoDefault(false);
    convRow->addWidget(m_from, 1);
    convRow->addWidget(m_direction);
    convRow->addWidget(m_to, 1);
    convRow->addWidget(m_convert);
    calibMain->addLayout(convRow);
    main->addWidget(calib);

    auto *buttons = row("h_layout_buttons_dialog");
    m_ok = named(new QPushButton(tr("Ok"), this), "btn_ok");
    m_cancel = named(new QPushButton(tr("Annulla"), this), "btn_cancel");
    // Enter in a calibration field applies it; it must not close the dialog.
    m_ok->setAutoDefault(false);
    m_cancel->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    main->addLayout(buttons);

    connect(m_zeroable, &QCheckBox::toggled, this, &ChannelSettingsDialog::mostraZero);
    connect(m_ok, &QPushButton::clicked, this, &ChannelSettingsDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &ChannelSettingsDialog::reject);
    connect(m_convert, &QPushButton::clicked, this, &ChannelSettingsDialog::eseguiConversione);
    connect(m_direction, QOverload<int>::of(&QComboBox::activated), this, &ChannelSettingsDialog::cambiaConversione);
    connect(m_from, &QLineEdit::returnPressed, this, &ChannelSettingsDialog::eseguiConversione);

    setTabOrder(m_label, m_freq);
    setTabOrder(m_freq, m_unit);
    setTabOrder(m_unit, m_zeroable);
    setTabOrder(m_zeroable, m_g1);
    setTabOrder(m_g1, m_o1);
    setTabOrder(m_o1, m_g2);
    setTabOrder(m_g2, m_o2);
    setTabOrder(m_o2, m_from);
    setTabOrder(m_from, m_direction);
    setTabOrder(m_direction, m_convert);
    setTabOrder(m_convert, m_ok);
    setTabOrder(m_ok, m_cancel);

    mostraZero(m_copy.zeroable);
    cambiaConversione(0);
}

void ChannelSettingsDialog::mostraZero(bool on)
{
    if (!on) {
        m_zeroConst->setText(QStringLiteral("------"));
        return;
    }
    // The zero constant was measured with the record's calibration, not the edited one.
    const double e = Conversion::binToEng(qint32(m_record->zeroValue), *m_record);
    m_zeroConst->setText(QString::number(e, 'f', 6));
}

void ChannelSettingsDialog::refreshRangeTooltip()
{
    m_to->setToolTip(QString());
    const Conversion::RawRange r = Conversion::rawRange(m_copy.loggedBytes, m_copy.isSigned());
    const qint32 lo = qint32(quint32(r.minRaw));
    const qint32 hi = qint32(quint32(r.maxRaw));
    if (m_direction->currentIndex() == 0) {
        m_to->setToolTip(QStringLiteral("Min = ") + QString::number(Conversion::binToEng(lo, m_copy), 'f', 6)
                         + QStringLiteral("   -   Max = ")
                         + QString::number(Conversion::binToEng(hi, m_copy), 'f', 6));
    } else {
        m_to->setToolTip(QStringLiteral("Min = 0x") + QString::number(lo, 16) + QStringLiteral("   -   Max = 0x")
                         + QString::number(hi, 16));
    }
}

void ChannelSettingsDialog::cambiaConversione(int index)
{
    m_direction->setCurrentIndex(index);
    m_from->clear();
    if (index == 0) {
        m_from->setValidator(m_hexValidator);
        m_from->setText(QStringLiteral("0x0"));
    } else {
        m_from->setValidator(m_doubleValidator);
        m_from->setText(QStringLiteral("0"));
    }
    refreshRangeTooltip();
    eseguiConversione();
}

void ChannelSettingsDialog::eseguiConversione()
{
    if (m_direction->currentIndex() == 0) {
        // Values wider than the channel are cut to 32 bits, as the logger stores them.
        qint32 raw = qint32(quint32(m_from->text().trimmed().toLongLong(nullptr, 0)));
        if (m_copy.isSigned()) {
            if (m_copy.loggedBytes == 1 && qint8(raw & 0xFF) < 0)
                raw = qint8(raw & 0xFF);
            else if (m_copy.loggedBytes == 2 && qint16(raw & 0xFFFF) < 0)
                raw = qint16(raw & 0xFFFF);
        }
        m_to->setText(QString::number(Conversion::binToEng(raw, m_copy), 'g', 6));
    } else {
        const double e = m_from->text().toDouble();
        m_to->setText(QStringLiteral("0x") + QString::number(Conversion::engToBin(e, m_copy), 16));
    }
}

void ChannelSettingsDialog::impostaDataCalib()
{
    const QObject *s = sender();
    auto *edit = qobject_cast<const QLineEdit *>(s);
    if (!edit)
        return;
    const float v = float(edit->text().toDouble());
    const QString n = edit->objectName();
    if (n == QLatin1String("leg1"))
        m_copy.g1 = v;
    else if (n == QLatin1String("leg2"))
        m_copy.g2 = v;
    else if (n == QLatin1String("leo1"))
        m_copy.o1 = v;
    else if (n == QLatin1String("leo2"))
        m_copy.o2 = v;
    else
        return;
    refreshRangeTooltip();
    eseguiConversione();
}

void ChannelSettingsDialog::accept()
{
    m_copy.label = m_label->text().toLatin1();
    m_copy.unit = m_unit->text().toLatin1();
    const float f = m_freq->currentText().toFloat();
    if (f > 0)
        m_copy.periodMs = quint32(1000.0 * (1.0 / double(f)));
    m_copy.g1 = float(m_g1->text().toDouble());
    m_copy.g2 = float(m_g2->text().toDouble());
    m_copy.o1 = float(m_o1->text().toDouble());
    m_copy.o2 = float(m_o2->text().toDouble());
    m_copy.zeroable = m_zeroable->isChecked();
    *m_record = m_copy;
    QDialog::accept();
}

void ChannelSettingsDialog::reject()
{
    QDialog::reject();
}
