#pragma once
// The main window: owns the settings, the device model, the channel selection
// (central widget), the Ethernet link and the communication medium, and runs
// every user command as one of its slots. Built by main.cpp; the command
// Parts of other subsystems plug in through the private helpers below.

#include "devicerecords.h"
#include "shellsettings.h"
#include "adapters.h"

#include <QList>
#include <QMainWindow>
#include <QStringList>

#include <memory>
#include <vector>

class IniFile;
class QAction;
class QMenu;
class QToolBar;

class MainAppl : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainAppl(QWidget *parent = nullptr, const QString &name = QString(),
                      Qt::WindowFlags flags = Qt::Window);
    ~MainAppl() override;

    // brisca.ini next to the program unless set (tests use a temporary one).
    static QString settingsFilePath();
    static void setSettingsFilePath(const QString &path);

    // Read access to the state, for the entry point and for checks.
    IniFile *settings() const { return m_settings.get(); }
    const ShellSettings &settingsCopy() const { return m_state; }
    bool ethernetMedium() const { return m_ethernetMedium; }
    QString devicePath() const { return m_devicePath; }
    QString programDir() const { return m_programDir; }
    QToolBar *commandToolBar() const { return m_toolBar; }

private slots:
    void apriSnapshot();
    void salvaSnapshot();
    void impostaZero();
    void selezionaImportaDeviceXML();
    void sendConf();
    void readDataLogged();
    void readConfECU();
    void infoAbout();
    void selectServer();
    void goOnlineWithLastConfig();
    void selectEthInterface();
    void selectServerInterface();
    void selectEthernetInterface();
    void listECUsOnNetwork();
    void dialogOptions();
    void downloadAutomatico();
    void reimportaDeviceXML();
    void convertiUltimoDump();

private:
    void createActions();
    void createMenus();
    void createToolBar();
    QWidget *createChannelSelection();
    void listInterfaces();
    void createEthernetLink();
    void createCommunicationMedium();
    void closeCommunication();
    void loadDevice();
    // After a device with a logger table is loaded: unlocks the device
    // commands; lineType 4 (Ethernet line) keeps the Ethernet ones locked.
    void enableDeviceCommands(quint32 lineType);
    void setCommandsEnabled(bool enabled);
    void updateCommunicationTexts();
    void updateMediumChecks();
    QString serverLabel() const;
    QString interfaceLabel() const;

    QMenu *m_communicationMenu = nullptr;
    QMenu *m_interfaceSettingsMenu = nullptr;
    QAction *m_serverItem = nullptr;   // communication menu item 0
    QAction *m_ethernetItem = nullptr; // communication menu item 1
    bool m_ethernetMedium = false;
    int m_readConfigStatus = 0;
    std::unique_ptr<IniFile> m_settings;
    QWidget *m_channelSelection = nullptr;

    QAction *m_openDevice = nullptr;
    QAction *m_newConfiguration = nullptr;
    QAction *m_openSnapshot = nullptr;
    QAction *m_saveSnapshot = nullptr;
    QAction *m_setZero = nullptr;
    QAction *m_sendConfig = nullptr;
    QAction *m_readConfig = nullptr;
    QAction *m_readData = nullptr;
    QAction *m_automaticDownload = nullptr;
    QAction *m_info = nullptr;
    QAction *m_setServer = nullptr;
    QAction *m_setEthCard = nullptr;
    QAction *m_searchEcu = nullptr;
    QAction *m_dataOptions = nullptr;

    QString m_devicePath;
    QString m_installationDrive;
    QString m_programDir;
    ShellSettings m_state;
    QToolBar *m_toolBar = nullptr;

    std::vector<std::unique_ptr<ChannelRecord>> m_channels;
    QList<ChannelRecord *> m_selectedChannels;
    std::vector<ScalingRecord> m_scalings;
    QString m_currentDevicePath;
    TriggerSettings m_trigger;
    LoggerTable m_loggerTable;
    CanSettings m_canSettings;
    ElfIdentification m_elf;
    bool m_noLoggerTable = true;
    bool m_ecuSelected = false;
    QByteArray m_interfaceMac = QByteArray(6, '\0');
    QByteArray m_ecuMac = QByteArray(6, '\0');
    int m_interfaceIndex = 0;
    QList<Platform::AdapterInfo> m_adapters;
    QStringList m_interfaceNames;
    QStringList m_interfaceDescriptions;
};
