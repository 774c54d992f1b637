#pragma once
// The main window: owns the settings, the device model, the channel selection
// (central widget), the Ethernet link and the communication medium, and runs
// every user command as one of its slots. Built by main.cpp; the command
// Parts of other subsystems plug in through the private helpers below.

#include "commsetup.h"
#include "devicemodel.h"
#include "shellsettings.h"

#include <QList>
#include <QMainWindow>
#include <QStringList>

#include <memory>

class ChannelsSelection;
struct DeviceLoadResult;
class LoggerProtocol;
struct WaitForEcuContext;
class CommActionsView;
class CommDialogsGui;
class CommunicationMedium;
class IniFile;
class IniSettingsStore;
class LoggerTableBackup;
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

    // The snapshot file chooser; replaceable so that checks need no user.
    // Returns the chosen name, empty when cancelled.
    using SnapshotChooser = QString (*)(QWidget *parent, bool save, const QString &start);
    static void setSnapshotChooser(SnapshotChooser chooser);
    // The communication server's port; 55162 unless set (tests run their own server).
    static void setServerPort(quint32 port);

    // Read access to the state, for the entry point and for checks.
    IniFile *settings() const { return m_settings.get(); }
    const ShellSettings &settingsCopy() const { return m_state; }
    bool ethernetMedium() const { return m_comm.ethernetMedium; }
    const CommState &commState() const { return m_comm; }
    const DeviceModel &device() const { return m_device; }
    QString devicePath() const { return m_device.devicePath; }
    QString programDir() const { return m_programDir; }
    QToolBar *commandToolBar() const { return m_toolBar; }
    LoggerProtocol *loggerProtocol() const { return m_protocol.get(); }
    int readConfigStatus() const { return m_readConfigStatus; }
    // The dump written by the last download attempt (empty before any).
    QString lastDumpPath() const { return m_lastDumpPath; }

    // The dump "Visualizza dati" opens: the last download or converted dump.
    // Enables the command; an empty path disables it.
    void setQuickLookSource(const QString &dumpPath);
    // Opens the quick-look window on a dump or an MDF file (brisca --view);
    // false after telling the user why not.
    bool openQuickLook(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

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
    void visualizzaDati();

private:
    void createActions();
    void createMenus();
    void createToolBar();
    ChannelsSelection *createChannelSelection();
    void createCommunicationMedium();
    void startCommunication();
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
    void showMessage(int kind, const QString &text, const QString &title = QString());
    void applyDeviceLoad(const DeviceLoadResult &result);
    void refreshSelection();
    // Until a device is loaded, the window says where devices come from.
    void updateDeviceHint();

    // Logger commands: the connection steps with their message, the device
    // check, one worker operation behind its wait dialog.
    struct OperationOutcome
    {
        int operation = 0;
        int resultCode = -1;
        bool cancelled = false;
        bool dumpWritten = false;
    };
    int connectForCommand();
    int checkDeviceOnEcu(QString *message);
    bool confirmDevice(int deviceCheck, const QString &message);
    // Resolves the logger addresses from the ECU when the device asks for it,
    // after backup took the device file's table.
    void resolveAddressesIfNeeded(LoggerTableBackup &backup);
    void prepareProtocol(bool withChannels);
    OperationOutcome runOperation(int operation, const QString &text, WaitForEcuContext *context = nullptr);
    bool askYesNo(const QString &text);
    bool fastLink() const;
    // Brings a configuration read back into the window; false when it held no channel.
    bool takeReadBack(bool matched, quint32 *dataLength);
    // Runs f on a helper thread while the window keeps painting (no input).
    template <typename F> auto withoutFreezing(F f) -> decltype(f());
    void exportDownloadedData(const QString &comment);

    QMenu *m_communicationMenu = nullptr;
    QMenu *m_interfaceSettingsMenu = nullptr;
    QAction *m_serverItem = nullptr;   // communication menu item 0
    QAction *m_ethernetItem = nullptr; // communication menu item 1
    int m_readConfigStatus = 0;
    std::unique_ptr<IniFile> m_settings;
    std::unique_ptr<CommunicationMedium> m_medium;
    ChannelsSelection *m_channelSelection = nullptr;

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
    QAction *m_viewData = nullptr;
    QString m_quickLookSource;

    QString m_programDir;
    // Settings copies; the communication fields live in m_comm once running.
    ShellSettings m_state;
    QToolBar *m_toolBar = nullptr;

    // Channels, selection, scalings, logger table, CAN settings, ELF
    // identification, trigger and the no-logger-table flag.
    DeviceModel m_device;
    // Medium flag and type, server host, interfaces, host MAC, link, ECU choice.
    CommState m_comm;

    std::unique_ptr<IniSettingsStore> m_settingsStore;
    std::unique_ptr<CommActionsView> m_commView;
    std::unique_ptr<CommDialogsGui> m_commDialogs;
    std::unique_ptr<CommSetup> m_commSetup;

    std::unique_ptr<LoggerProtocol> m_protocol;
    QString m_lastDumpPath;
};
