#include "commsetup.h"

#include "communicationmedium.h"
#include "ethernetlink.h"

#include <cstring>

namespace {
const QString kDefaultGroup = QStringLiteral("Default");
const QString kLocalHost = QStringLiteral("127.0.0.1");
} // namespace

CommSetup::CommSetup(CommState &state, CommunicationMedium &medium, SettingsStore *settings, CommView *view,
                     CommDialogs *dialogs)
    : m_state(state), m_medium(medium), m_settings(settings), m_view(view), m_dialogs(dialogs)
{
    m_linkFactory = [](const QString &name, const quint8 *mac) {
        auto *link = new EthernetLink(name, mac, ReadTimeoutMs, QueueLimit);
        link->start();
        return link;
    };
    m_macFinder = [](const QString &name, quint8 mac[6]) { EthernetLink::findInterfaceMac(name, mac); };
    m_lister = [](QStringList &names, QStringList &descriptions) { EthernetLink::listInterfaces(names, descriptions); };
}

void CommSetup::startUp()
{
    m_state.nicNames.clear();
    m_state.nicDescriptions.clear();
    m_lister(m_state.nicNames, m_state.nicDescriptions);
    m_state.nicIndex = m_state.nicNames.indexOf(m_state.nicSystemName);
    if (m_state.nicIndex < 0) {
        m_state.nicIndex = 0;
        m_state.nicSystemName = m_state.nicNames.value(0);
    }
    m_macFinder(m_state.nicSystemName, m_state.hostMac);
    m_state.ethernetMedium = m_state.mediumType != QLatin1String("pontis");
    m_state.ecuSelected = false;
    // A link that is never started sends and receives nothing, so there is
    // one only while the medium is Ethernet.
    if (m_state.ethernetMedium)
        replaceLink(m_state.nicSystemName, m_state.hostMac);
    else
        dropLink();
}

CommSetup::~CommSetup() = default;

QString CommSetup::ecuNumberText(const quint8 *mac)
{
    return QString::number(quint32(mac[4]) << 8 | mac[5]);
}

QString CommSetup::ecuLabelText(const QString &ecuNumber) { return tr("Seriale ECU : ") + ecuNumber; }

QString CommSetup::serverLabel() const
{
    return m_state.serverHost == kLocalHost ? tr("locale") : m_state.serverHost;
}

QString CommSetup::interfaceLabel() const
{
    if (m_state.nicSystemName == QLatin1String("{}") || m_state.nicDescriptions.isEmpty()
        || m_state.nicIndex < 0 || m_state.nicIndex >= m_state.nicDescriptions.size())
        return tr("nessuna");
    return m_state.nicDescriptions.at(m_state.nicIndex);
}

void CommSetup::writeSetting(const QString &key, const QString &value)
{
    if (m_settings && m_settings->hasGroup(kDefaultGroup))
        m_settings->writeEntry(kDefaultGroup, key, value);
}

void CommSetup::saveSettings()
{
    if (m_settings && m_settings->hasGroup(kDefaultGroup))
        m_settings->save();
}

void CommSetup::dropLink()
{
    if (!m_state.link)
        return;
    if (m_state.link->isRunning()) {
        m_state.link->stop();
        m_state.link->wait();
    }
    delete m_state.link;
    m_state.link = nullptr;
}

void CommSetup::replaceLink(const QString &interfaceName, const quint8 *hostMac)
{
    dropLink();
    EthernetLink *link = m_state.link = m_linkFactory(interfaceName, hostMac);
    if (!link || !m_dialogs || interfaceName.isEmpty() || link->waitUntilReady(CaptureOpenMs) || !link->captureFailed())
        return;
    if (link->capturePermissionDenied())
        m_dialogs->showMessage(true, tr("Impossibile aprire l'interfaccia %1: servono i permessi di root o la "
                                        "capacità CAP_NET_RAW.\nAvviare Brisca come root, oppure concedere una volta "
                                        "i permessi al programma:\nsetcap cap_net_raw,cap_net_admin+eip %2")
                                         .arg(interfaceName, QCoreApplication::applicationFilePath()));
    else
        m_dialogs->showMessage(true, tr("Impossibile aprire l'interfaccia %1: %2").arg(interfaceName, link->captureError()));
}

void CommSetup::switchToServer()
{
    m_state.mediumType = QStringLiteral("pontis");
    m_state.ethernetMedium = false;
    m_state.ecuSelected = false;
    if (m_view)
        m_view->setEcuLabel(false, QString());
    m_medium.setEcuTarget(nullptr);
}

void CommSetup::switchToEthernet()
{
    m_state.ecuSelected = false;
    m_state.ethernetMedium = true;
    m_state.mediumType = QStringLiteral("ethernet");
    m_state.ecuNumber.clear();
    if (m_view)
        m_view->setEcuLabel(true, ecuLabelText(QString()));
    m_medium.setEcuTarget(nullptr);
    if (m_view) {
        m_view->setMediumItemChecked(0, false);
        m_view->setMediumItemChecked(1, true);
    }
}

void CommSetup::selectServer()
{
    if (m_view)
        m_view->setServerActionEnabled(false);
    quint32 value = 0;
    const QStringList servers = m_medium.listActiveServers(value).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    QString address = m_state.serverHost;
    if (m_dialogs && m_dialogs->changeServer(address, servers, !m_state.ethernetMedium)) {
        m_state.serverHost = address;
        switchToServer();
        writeSetting(QStringLiteral("Server_IP"), m_state.serverHost);
        writeSetting(QStringLiteral("MediumType"), QStringLiteral("Pontis"));
        saveSettings();
        if (m_view) {
            m_view->setServerActionText(tr("Server :") + serverLabel());
            m_view->setMediumItemText(0, QStringLiteral("Server :") + serverLabel());
            m_view->setMediumItemChecked(0, true);
            m_view->setMediumItemChecked(1, false);
        }
        dropLink();
    }
    if (m_view)
        m_view->setServerActionEnabled(true);
}

void CommSetup::selectServerInterface()
{
    switchToServer();
    if (m_view) {
        m_view->setMediumItemChecked(0, true);
        m_view->setMediumItemChecked(1, false);
    }
    writeSetting(QStringLiteral("MediumType"), QStringLiteral("Pontis"));
    saveSettings();
    dropLink();
}

void CommSetup::selectEthInterface()
{
    if (m_view)
        m_view->setInterfaceActionEnabled(false);
    int index = m_state.nicIndex;
    if (m_dialogs && m_dialogs->selectInterface(index, m_state.nicDescriptions) && index >= 0
        && index < m_state.nicNames.size()) {
        m_state.nicIndex = index;
        const QString name = m_state.nicNames.at(index);
        m_state.nicSystemName = name;
        m_macFinder(name, m_state.hostMac);
        replaceLink(name, m_state.hostMac);
        writeSetting(QStringLiteral("SystemNameNIC"), name);
        writeSetting(QStringLiteral("MediumType"), QStringLiteral("Ethernet"));
        saveSettings();
        if (m_view) {
            m_view->setInterfaceActionText(tr("Interfaccia Ethernet :") + interfaceLabel());
            m_view->setMediumItemText(1, QStringLiteral("Ethernet :") + interfaceLabel());
        }
        switchToEthernet();
    }
    if (m_view)
        m_view->setInterfaceActionEnabled(true);
}

void CommSetup::selectEthernetInterface()
{
    switchToEthernet();
    writeSetting(QStringLiteral("MediumType"), QStringLiteral("Ethernet"));
    saveSettings();
    const QString name = m_state.nicIndex >= 0 && m_state.nicIndex < m_state.nicNames.size()
                             ? m_state.nicNames.at(m_state.nicIndex)
                             : m_state.nicSystemName;
    replaceLink(name, m_state.hostMac);
}

void CommSetup::listECUsOnNetwork(bool reportNone)
{
    if (m_state.mediumType == QLatin1String("pontis")) {
        m_state.ecuSelected = false;
        return;
    }
    const QList<EcuInfo> ecus = m_medium.discoverEcus();
    int chosen = -1;
    if (ecus.size() == 1) {
        chosen = 0;
    } else if (ecus.size() >= 2 && m_dialogs) {
        const int result = m_dialogs->selectEcu(ecus);
        if (result > 0 && result <= ecus.size())
            chosen = result - 1;
    }
    if (chosen < 0 || ecus.at(chosen).mac.size() != 6) {
        m_state.ecuSelected = false;
        m_state.ecuNumber.clear();
    } else {
        std::memcpy(m_state.ecuMac, ecus.at(chosen).mac.constData(), 6);
        m_medium.setEcuTarget(m_state.ecuMac);
        m_state.ecuSelected = true;
        m_state.ecuNumber = ecuNumberText(m_state.ecuMac);
    }
    if (m_view)
        m_view->setEcuLabel(true, ecuLabelText(m_state.ecuNumber));
    if (ecus.isEmpty() && reportNone && m_dialogs)
        m_dialogs->showMessage(false, tr("Nessuna ECU trovata"));
}
