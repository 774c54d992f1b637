#include "dialogselectethinterface.h"

#include "dialogbuttons.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DialogSelectEthInterface::DialogSelectEthInterface(int *index, const QStringList &descriptions, QWidget *parent)
    : QDialog(parent), m_index(index), m_chosen(index ? *index : 0)
{
    setObjectName(QStringLiteral("dialogSelezNIC"));
    setModal(true);
    if (parent)
        setWindowTitle(parent->window()->windowTitle());

    auto *vmain = new QVBoxLayout(this);
    auto *title = new QLabel(tr("Selezione interfaccia Ethernet :"), this);
    title->setObjectName(QStringLiteral("lblDialogTitle"));
    vmain->addWidget(title);
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("cbSelectNIC"));
    m_combo->addItems(descriptions);
    m_combo->setCurrentIndex(m_chosen);
    vmain->addWidget(m_combo);

    const auto [ok, cancel] = addOkCancelRow(this, vmain, tr("Ok"), tr("Annulla"));

    connect(m_combo, &QComboBox::activated, this, &DialogSelectEthInterface::selezionaNIC);
    connect(ok, &QPushButton::released, this, &DialogSelectEthInterface::accept);
    connect(cancel, &QPushButton::released, this, &DialogSelectEthInterface::reject);
}

void DialogSelectEthInterface::selezionaNIC(int index) { m_chosen = index; }

void DialogSelectEthInterface::accept()
{
    if (m_index)
        *m_index = m_chosen;
    QDialog::accept();
}
