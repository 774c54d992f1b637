#include "dialogchangeserver.h"

#include "dialogbuttons.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

DialogChangeServer::DialogChangeServer(QString *serverAddress, const QStringList &activeServers,
                                       bool mediumIsServer, QWidget *parent)
    : QDialog(parent), m_serverAddress(serverAddress), m_mediumIsServer(mediumIsServer)
{
    setObjectName(QStringLiteral("dialogimpostazioniinterfaccia"));
    setModal(true);
    if (parent)
        setWindowTitle(parent->window()->windowTitle());

    m_names << tr("Questo PC") << tr("Assegna IP");
    m_addresses << QStringLiteral("127.0.0.1") << QString();
    for (const QString &entry : activeServers) {
        const QStringList parts = entry.split(QLatin1Char(','));
        m_names << parts.value(0);
        m_addresses << parts.value(1);
    }

    auto *vmain = new QVBoxLayout(this);
    vmain->setObjectName(QStringLiteral("vmainlayout"));
    m_title = new QLabel(tr("Selezione server :"), this);
    m_title->setObjectName(QStringLiteral("lbldialogtitle"));
    vmain->addWidget(m_title);

    auto *hsel = new QHBoxLayout;
    hsel->setObjectName(QStringLiteral("hselectionlayout"));
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("cmbboxselection"));
    m_combo->addItems(m_names);
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("leipaddress"));
    m_address->setInputMask(QStringLiteral("000.000.000.000; "));
    m_address->setEnabled(false);
    hsel->addWidget(m_combo);
    hsel->addWidget(m_address);
    vmain->addLayout(hsel);

    std::tie(m_ok, m_cancel) = addOkCancelRow(this, vmain, tr("Ok"), tr("Annulla"), QStringLiteral("hbuttonlayout"));

    int start = m_serverAddress ? m_addresses.indexOf(*m_serverAddress) : -1;
    // An address set by hand earlier reopens as such, not as this PC.
    const bool byHand = start < 0 && m_serverAddress && !m_serverAddress->isEmpty();
    if (start < 0)
        start = byHand ? 1 : 0;
    const QString shown = byHand ? *m_serverAddress : m_addresses.at(start);
    m_combo->setCurrentIndex(start);
    m_address->setEnabled(byHand);
    m_address->setText(shown);
    m_edited = shown; // the mask may reformat the shown text

    connect(m_combo, &QComboBox::activated, this, &DialogChangeServer::cambioServer);
    connect(m_address, &QLineEdit::textChanged, this, &DialogChangeServer::indirizzoIPManuale);
    connect(m_ok, &QPushButton::released, this, &DialogChangeServer::accept);
    connect(m_cancel, &QPushButton::released, this, &DialogChangeServer::reject);
}

bool DialogChangeServer::isValidAddress(const QString &address)
{
    static const QRegularExpression re(QStringLiteral(
        "^([01]?\\d\\d?|2[0-4]\\d|25[0-5])\\.([01]?\\d\\d?|2[0-4]\\d|25[0-5])\\."
        "([01]?\\d\\d?|2[0-4]\\d|25[0-5])\\.([01]?\\d\\d?|2[0-4]\\d|25[0-5])$"));
    return re.match(address).hasMatch();
}

void DialogChangeServer::cambioServer(int index)
{
    if (index == 1) {
        m_address->clear();
        m_edited.clear();
        m_address->setEnabled(true);
        m_address->setFocus();
        m_address->setCursorPosition(0);
    } else if (index >= 0 && index < m_addresses.size()) {
        m_address->setEnabled(false);
        m_address->setText(m_addresses.at(index));
        m_edited = m_addresses.at(index);
    }
}

void DialogChangeServer::indirizzoIPManuale(const QString &text)
{
    // The mask pads unused digit places with blanks; the address is the rest.
    QString address = text;
    address.remove(QLatin1Char(' '));
    if (address == QLatin1String("..."))
        address.clear();
    m_edited = address;
}

void DialogChangeServer::accept()
{
    if (m_serverAddress && m_edited == *m_serverAddress && m_mediumIsServer) {
        QDialog::reject();
        return;
    }
    if (isValidAddress(m_edited)) {
        if (m_serverAddress)
            *m_serverAddress = m_edited;
        QDialog::accept();
        return;
    }
    QMessageBox::warning(this, windowTitle(), tr("Indirizzo IP non valido!!!"));
}
