#pragma once
// Communication setup: the choice of medium, server address, network
// interface and ECU. The main window owns a CommState and a CommSetup, and
// each of its setup slots is one call here. Widgets are reached through
// CommView, dialogs through CommDialogs (both in gui/), settings through
// SettingsStore, so the logic runs in tests without a window.
//
// In the main window, in this order:
//   m_comm.mediumType = <MediumType>.toLower(); m_comm.nicSystemName = <SystemNameNIC>;
//   m_comm.serverHost = <Server_IP>;
//   m_medium = new CommunicationMedium(&m_comm.ethernetMedium, &m_comm.link);
//   m_commSetup = new CommSetup(m_comm, *m_medium, &m_settingsStore, m_commView, m_commDialogs);
//   m_commSetup->startUp();            // interface list, MAC, medium, link
//   void MainAppl::selectServer() { m_commSetup->selectServer(); }   and so on;
//   ~MainAppl: m_medium->disconnect(); m_commSetup->dropLink();

#include "rawframe.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class CommunicationMedium;
class EthernetLink;

struct CommState
{
    bool ethernetMedium = false;
    QString mediumType = QStringLiteral("pontis"); // "pontis" or "ethernet"
    QString serverHost = QStringLiteral("127.0.0.1");
    QStringList nicNames;
    QStringList nicDescriptions;
    int nicIndex = 0;
    QString nicSystemName = QStringLiteral("{}");
    quint8 hostMac[6] = {};
    EthernetLink *link = nullptr; // owned by whoever owns the state
    bool ecuSelected = false;
    quint8 ecuMac[6] = {};
    QString ecuNumber;
};

class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    virtual bool hasGroup(const QString &group) const = 0;
    virtual void writeEntry(const QString &group, const QString &key, const QString &value) = 0;
    virtual bool save() = 0;
};

class CommView
{
public:
    virtual ~CommView() = default;
    virtual void setServerActionEnabled(bool enabled) = 0;
    virtual void setInterfaceActionEnabled(bool enabled) = 0;
    virtual void setServerActionText(const QString &text) = 0;
    virtual void setInterfaceActionText(const QString &text) = 0;
    // item 0 is the server entry of the communication menu, item 1 Ethernet
    virtual void setMediumItemText(int item, const QString &text) = 0;
    virtual void setMediumItemChecked(int item, bool checked) = 0;
    virtual void setEcuLabel(bool visible, const QString &text) = 0;
};

class CommDialogs
{
public:
    virtual ~CommDialogs() = default;
    // May change serverAddress; true when accepted.
    virtual bool changeServer(QString &serverAddress, const QStringList &activeServers, bool mediumIsServer) = 0;
    // May change index; true when accepted.
    virtual bool selectInterface(int &index, const QStringList &descriptions) = 0;
    // 0 for no choice, else 1 + the position of the chosen ECU.
    virtual int selectEcu(const QList<EcuInfo> &ecus) = 0;
    virtual void showMessage(bool warning, const QString &text)
    {
        Q_UNUSED(warning);
        Q_UNUSED(text);
    }
};

class CommSetup
{
    Q_DECLARE_TR_FUNCTIONS(CommSetup)
public:
    using LinkFactory = std::function<EthernetLink *(const QString &interfaceName, const quint8 *hostMac)>;
    using MacFinder = std::function<void(const QString &interfaceName, quint8 mac[6])>;
    using InterfaceLister = std::function<void(QStringList &names, QStringList &descriptions)>;

    CommSetup(CommState &state, CommunicationMedium &medium, SettingsStore *settings, CommView *view,
              CommDialogs *dialogs);
    ~CommSetup();

    // Start-up: fills the interface lists, finds the stored interface (the
    // first one when it is gone), its MAC, the medium from mediumType, and
    // starts a link when the medium is Ethernet.
    void startUp();

    void selectServer();
    void selectServerInterface();
    void selectEthInterface();
    void selectEthernetInterface();
    // reportNone: say so when no ECU answers (not wanted at start-up).
    void listECUsOnNetwork(bool reportNone = true);

    // Stops, waits for and deletes the current link.
    void dropLink();
    // Replaces the link by a new, started one on the given interface; tells
    // the user when its capture cannot be opened, and how to fix it.
    void replaceLink(const QString &interfaceName, const quint8 *hostMac);

    // Tests build links that record rather than capture.
    void setLinkFactory(LinkFactory factory) { m_linkFactory = std::move(factory); }
    void setMacFinder(MacFinder finder) { m_macFinder = std::move(finder); }
    void setInterfaceLister(InterfaceLister lister) { m_lister = std::move(lister); }

    static QString ecuNumberText(const quint8 *mac);
    QString serverLabel() const;
    QString interfaceLabel() const;
    static QString ecuLabelText(const QString &ecuNumber);

    static constexpr quint32 QueueLimit = 1000;
    static constexpr quint32 ReadTimeoutMs = 10;
    static constexpr int CaptureOpenMs = 3000;

private:
    void writeSetting(const QString &key, const QString &value);
    void saveSettings();
    void switchToServer();
    void switchToEthernet();

    CommState &m_state;
    CommunicationMedium &m_medium;
    SettingsStore *m_settings;
    CommView *m_view;
    CommDialogs *m_dialogs;
    LinkFactory m_linkFactory;
    MacFinder m_macFinder;
    InterfaceLister m_lister;
};
