#include "dialogdataoptions.h"
#include "inifile.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {
constexpr int kMaxDescription = 32;

QString chooseWithDialog(QWidget *parent, const QString &start)
{
    QFileDialog dialog(parent, DialogDataOptions::tr("Scelta directory..."), start);
    dialog.setObjectName(QStringLiteral("selezioneDirectoryDati"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

DialogDataOptions::DirectoryChooser g_chooser = &chooseWithDialog;

QLineEdit *descriptionEdit(const char *name, const QString &text, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(kMaxDescription);
    edit->setText(text);
    return edit;
}
} // namespace

void DialogDataOptions::setDirectoryChooser(DirectoryChooser chooser)
{
    g_chooser = chooser ? chooser : &chooseWithDialog;
}

DialogDataOptions::DialogDataOptions(IniFile *settings, QWidget *parent, const QString &name, bool modal,
                                     Qt::WindowFlags flags)
    : QDialog(parent, flags), m_settings(settings)
{
    setObjectName(name);
    setModal(modal);
    setWindowTitle(tr("Opzioni"));
    m_programDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());

    m_settings->selectSection(QStringLiteral("Default"));
    m_path2D = m_settings->value(QStringLiteral("LastPath_2D"), m_programDir);
    m_pathMDF = m_settings->value(QStringLiteral("LastPath_MDF"), m_programDir);
    m_defaultFormat = m_settings->value(QStringLiteral("DefaultFormat"), QStringLiteral("MDF")).toLower();
    m_freeDescrMDF = m_settings->value(QStringLiteral("FilenameDescrMDF"), QStringLiteral("none"));
    m_freeDescr2D = m_settings->value(QStringLiteral("FilenameDescr2D"), QStringLiteral("none"));
    m_author = m_settings->value(QStringLiteral("MdfAuthor"), QStringLiteral("Default"));
    m_organization = m_settings->value(QStringLiteral("MdfOrganization"), QStringLiteral("Default"));
    m_pathDevices = m_settings->value(QStringLiteral("LastPathAllDevice"), m_programDir);
    m_pathDevicesAtOpen = m_pathDevices;
    m_deleteAfterDownload = m_settings->intValue(QStringLiteral("DeleteAfterDownload"), 1);
    m_fileNameFormatMDF = m_settings->intValue(QStringLiteral("FilenameFormatMDF"), 0);
    m_fileNameFormat2D = m_settings->intValue(QStringLiteral("FilenameFormat2D"), 0);

    auto *main = new QVBoxLayout(this);
    main->setObjectName(QStringLiteral("vmainlayout"));
    main->setContentsMargins(11, 11, 11, 11);
    main->setSpacing(6);

    // General options.
    auto *general = new QGroupBox(tr("Opzioni generali"), this);
    general->setObjectName(QStringLiteral("grpBoxGeneral"));
    auto *generalGrid = new QGridLayout(general);
    auto *autoClear = new QCheckBox(tr("Cancellazione dati in ECU dopo il download"), general);
    autoClear->setObjectName(QStringLiteral("cmbBoxAutomaticCanc"));
    autoClear->setChecked(m_deleteAfterDownload != 0);
    connect(autoClear, &QCheckBox::stateChanged, this, &DialogDataOptions::cambiaStatoAutoCanc);
    generalGrid->addWidget(autoClear, 0, 0, 1, 2);
    auto *lblDevices = new QLabel(tr("Percorso devices"), general);
    lblDevices->setObjectName(QStringLiteral("lblTxtPathDevices"));
    m_btnPathDevices = new QPushButton(general);
    m_btnPathDevices->setObjectName(QStringLiteral("btnSelectPathDevices"));
    showPath(m_btnPathDevices, m_pathDevices);
    connect(m_btnPathDevices, &QPushButton::clicked, this, &DialogDataOptions::cambiaPathDevices);
    generalGrid->addWidget(lblDevices, 1, 0);
    generalGrid->addWidget(m_btnPathDevices, 1, 1);
    main->addWidget(general);

    // Default export format.
    auto *formatBox = new QGroupBox(tr("Formato di default"), this);
    formatBox->setObjectName(QStringLiteral("btnGrpSelFormat"));
    auto *formatRow = new QHBoxLayout(formatBox);
    auto *formats = new QButtonGroup(formatBox);
    formats->setExclusive(true);
    auto *sel2D = new QRadioButton(QStringLiteral("2D"), formatBox);
    sel2D->setObjectName(QStringLiteral("btnSel2D"));
    auto *selMDF = new QRadioButton(QStringLiteral("MDF"), formatBox);
    selMDF->setObjectName(QStringLiteral("btnSelMDF"));
    auto *selMDF4 = new QRadioButton(QStringLiteral("MDF 4.10"), formatBox);
    selMDF4->setObjectName(QStringLiteral("btnSelMDF4"));
    formats->addButton(sel2D, 0);
    formats->addButton(selMDF, 1);
    formats->addButton(selMDF4, 2);
    (m_defaultFormat == QLatin1String("mdf")    ? selMDF
     : m_defaultFormat == QLatin1String("mdf4") ? selMDF4
                                                : sel2D)
        ->setChecked(true);
    connect(formats, &QButtonGroup::idClicked, this, &DialogDataOptions::selDefaultFormat);
    formatRow->addWidget(sel2D);
    formatRow->addWidget(selMDF);
    formatRow->addWidget(selMDF4);
    main->addWidget(formatBox);

    // 2D export.
    auto *box2D = new QGroupBox(QStringLiteral("2D"), this);
    box2D->setObjectName(QStringLiteral("grpBox2D"));
    auto *grid2D = new QGridLayout(box2D);
    auto *lblPath2D = new QLabel(tr("Percorso di default"), box2D);
    lblPath2D->setObjectName(QStringLiteral("lblTxtPath2D"));
    m_btnPath2D = new QPushButton(box2D);
    m_btnPath2D->setObjectName(QStringLiteral("btnSelectPath2D"));
    showPath(m_btnPath2D, m_path2D);
    connect(m_btnPath2D, &QPushButton::clicked, this, &DialogDataOptions::cambiaPath2D);
    auto *lblFormat2D = new QLabel(tr("Formato nome file"), box2D);
    lblFormat2D->setObjectName(QStringLiteral("lblTxtNameFormat2D"));
    auto *format2D = new QComboBox(box2D);
    format2D->setObjectName(QStringLiteral("cmbBox2DNameFormat"));
    format2D->addItems({tr("Data_Ora"), tr("Data_Ora_Descrizione")});
    format2D->setCurrentIndex(m_fileNameFormat2D);
    connect(format2D, &QComboBox::activated, this, &DialogDataOptions::cambiaFormatoNomeFile2D);
    m_lblDescr2D = new QLabel(tr("Descrizione (Es. pilota) :"), box2D);
    m_lblDescr2D->setObjectName(QStringLiteral("lblTxtDescription2D"));
    m_edDescr2D = descriptionEdit("lnEdFreeDescr2D", m_freeDescr2D, box2D);
    connect(m_edDescr2D, &QLineEdit::textChanged, this, &DialogDataOptions::cambiaFreeDescr2D);
    grid2D->addWidget(lblPath2D, 0, 0);
    grid2D->addWidget(m_btnPath2D, 0, 1);
    grid2D->addWidget(lblFormat2D, 1, 0);
    grid2D->addWidget(format2D, 1, 1);
    grid2D->addWidget(m_lblDescr2D, 2, 0);
    grid2D->addWidget(m_edDescr2D, 2, 1);
    main->addWidget(box2D);

    // MDF export.
    auto *boxMDF = new QGroupBox(QStringLiteral("MDF"), this);
    boxMDF->setObjectName(QStringLiteral("grpBoxMDF"));
    auto *gridMDF = new QGridLayout(boxMDF);
    auto *lblAuthor = new QLabel(tr("Autore :"), boxMDF);
    lblAuthor->setObjectName(QStringLiteral("lblTxtAuthor"));
    auto *edAuthor = descriptionEdit("lnEdAuthor", m_author, boxMDF);
    connect(edAuthor, &QLineEdit::textChanged, this, &DialogDataOptions::cambiaAutore);
    auto *lblOrganization = new QLabel(tr("Azienda :"), boxMDF);
    lblOrganization->setObjectName(QStringLiteral("lblTxtOrganization"));
    auto *edOrganization = descriptionEdit("lnEdOrganization", m_organization, boxMDF);
    connect(edOrganization, &QLineEdit::textChanged, this, &DialogDataOptions::cambiaAzienda);
    auto *lblPathMDF = new QLabel(tr("Percorso di default"), boxMDF);
    lblPathMDF->setObjectName(QStringLiteral("lblTxtPathMDF"));
    m_btnPathMDF = new QPushButton(boxMDF);
    m_btnPathMDF->setObjectName(QStringLiteral("btnSelectPathMDF"));
    showPath(m_btnPathMDF, m_pathMDF);
    connect(m_btnPathMDF, &QPushButton::clicked, this, &DialogDataOptions::cambiaPathMDF);
    auto *lblFormatMDF = new QLabel(tr("Formato nome file"), boxMDF);
    lblFormatMDF->setObjectName(QStringLiteral("lblTxtNameFormat"));
    auto *formatMDF = new QComboBox(boxMDF);
    formatMDF->setObjectName(QStringLiteral("cmbBoxMDFNameFormat"));
    formatMDF->addItems({tr("Data_Ora"), tr("Data_Ora_Descrizione"), tr("Descrizione_Progressivo"),
                         tr("Progressivo")});
    formatMDF->setCurrentIndex(m_fileNameFormatMDF);
    connect(formatMDF, &QComboBox::activated, this, &DialogDataOptions::cambiaFormatoNomeFileMDF);
    m_lblDescrMDF = new QLabel(tr("Descrizione (Es. pilota) :"), boxMDF);
    m_lblDescrMDF->setObjectName(QStringLiteral("lblTxtDescription"));
    m_edDescrMDF = descriptionEdit("lnEdFreeDescr", m_freeDescrMDF, boxMDF);
    connect(m_edDescrMDF, &QLineEdit::textChanged, this, &DialogDataOptions::cambiaFreeDescr);
    gridMDF->addWidget(lblAuthor, 0, 0);
    gridMDF->addWidget(edAuthor, 0, 1);
    gridMDF->addWidget(lblOrganization, 1, 0);
    gridMDF->addWidget(edOrganization, 1, 1);
    gridMDF->addWidget(lblPathMDF, 2, 0);
    gridMDF->addWidget(m_btnPathMDF, 2, 1);
    gridMDF->addWidget(lblFormatMDF, 3, 0);
    gridMDF->addWidget(formatMDF, 3, 1);
    gridMDF->addWidget(m_lblDescrMDF, 4, 0);
    gridMDF->addWidget(m_edDescrMDF, 4, 1);
    main->addWidget(boxMDF);

    // Ok / Annulla, centred.
    auto *buttons = new QHBoxLayout();
    buttons->setObjectName(QStringLiteral("hselectionlayout"));
    buttons->setSpacing(6);
    auto *ok = new QPushButton(tr("Ok"), this);
    ok->setObjectName(QStringLiteral("btnok"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(tr("Annulla"), this);
    cancel->setObjectName(QStringLiteral("btncancel"));
    connect(ok, &QPushButton::clicked, this, &DialogDataOptions::accept);
    connect(cancel, &QPushButton::clicked, this, &DialogDataOptions::reject);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    main->addLayout(buttons);

    cambiaFormatoNomeFileMDF(m_fileNameFormatMDF);
    cambiaFormatoNomeFile2D(m_fileNameFormat2D);
}

void DialogDataOptions::showPath(QPushButton *button, const QString &path)
{
    // The button shows the folder's own name; the whole path is its tool tip.
    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    button->setToolTip(QString());
    button->setText(path.split(separators).last());
    button->setToolTip(path);
}

void DialogDataOptions::choosePath(QString &field, QPushButton *button)
{
    const QString chosen = QDir::toNativeSeparators(g_chooser(this, field));
    if (chosen.isEmpty() || chosen == field)
        return;
    field = chosen;
    showPath(button, field);
}

void DialogDataOptions::cambiaPath2D() { choosePath(m_path2D, m_btnPath2D); }

void DialogDataOptions::cambiaPathMDF() { choosePath(m_pathMDF, m_btnPathMDF); }

void DialogDataOptions::cambiaPathDevices() { choosePath(m_pathDevices, m_btnPathDevices); }

void DialogDataOptions::cambiaFormatoNomeFileMDF(int i)
{
    m_fileNameFormatMDF = i;
    const bool described = i == 1 || i == 2;
    m_lblDescrMDF->setVisible(described);
    m_edDescrMDF->setVisible(described);
}

void DialogDataOptions::cambiaFormatoNomeFile2D(int i)
{
    m_fileNameFormat2D = i;
    const bool described = i == 1 || i == 2;
    m_lblDescr2D->setVisible(described);
    m_edDescr2D->setVisible(described);
}

void DialogDataOptions::cambiaStatoAutoCanc(int state) { m_deleteAfterDownload = state == Qt::Checked ? 1 : 0; }

void DialogDataOptions::selDefaultFormat(int id)
{
    if (id == 0)
        m_defaultFormat = QStringLiteral("2D");
    else if (id == 1)
        m_defaultFormat = QStringLiteral("MDF");
    else if (id == 2)
        m_defaultFormat = QStringLiteral("MDF4");
}

void DialogDataOptions::cambiaFreeDescr(const QString &text) { m_freeDescrMDF = text; }

void DialogDataOptions::cambiaFreeDescr2D(const QString &text) { m_freeDescr2D = text; }

void DialogDataOptions::cambiaAutore(const QString &text) { m_author = text; }

void DialogDataOptions::cambiaAzienda(const QString &text) { m_organization = text; }

void DialogDataOptions::accept()
{
    m_settings->selectSection(QStringLiteral("Default"));
    m_settings->setValue(QStringLiteral("LastPathAllDevice"), m_pathDevices);
    // A new device folder makes the last device meaningless.
    if (m_pathDevices != m_pathDevicesAtOpen)
        m_settings->setValue(QStringLiteral("LastDeviceName"),
                             m_programDir + QDir::separator() + QStringLiteral("Default.XML"));
    m_settings->setValue(QStringLiteral("LastPath_2D"), m_path2D);
    m_settings->setValue(QStringLiteral("LastPath_MDF"), m_pathMDF);
    m_settings->setValue(QStringLiteral("DefaultFormat"), m_defaultFormat);
    m_settings->setValue(QStringLiteral("DeleteAfterDownload"), m_deleteAfterDownload);
    m_settings->setValue(QStringLiteral("FilenameFormatMDF"), m_fileNameFormatMDF);
    m_settings->setValue(QStringLiteral("FilenameFormat2D"), m_fileNameFormat2D);
    m_settings->setValue(QStringLiteral("FilenameDescrMDF"), m_freeDescrMDF);
    m_settings->setValue(QStringLiteral("FilenameDescr2D"), m_freeDescr2D);
    m_settings->setValue(QStringLiteral("MdfAuthor"), m_author);
    m_settings->setValue(QStringLiteral("MdfOrganization"), m_organization);
    m_settings->write();
    QDialog::accept();
}
