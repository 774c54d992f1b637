#include "mainappl.h"
#include "channelsselection.h"
#include "commsetupwidgets.h"
#include "communicationmedium.h"
#include "deviceloader.h"
#include "dialogaboutprogram.h"
#include "dialogdataoptions.h"
#include "dialogselectiondevice.h"
#include "dumpconversion.h"
#include "inifile.h"
#include "loggerprotocol.h"
#include "loggersteps.h"
#include "loggerthread.h"
#include "platformpaths.h"
#include "quicklookwindow.h"
#include "selexportdatadialog.h"
#include "snapshotfile.h"
#include "startup.h"
#include "waitdialog.h"
#include "zerodialog.h"

#include "briscaversion.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QToolBar>

#include <optional>

namespace {
QString g_settingsFilePath;
quint32 g_serverPort = LoggerSteps::ServerPort;

const QString kLocalHost = QStringLiteral("127.0.0.1");
const QString kNoInterface = QStringLiteral("{}");
const QString kSnapshotFilter = QStringLiteral("Logger Snapshot (*.spt)");

QString chooseSnapshotWithDialog(QWidget *parent, bool save, const QString &start)
{
    QFileDialog dialog(parent, save ? MainAppl::tr("Salva istantanea logger") : MainAppl::tr("Apri istantanea logger"),
                       start, kSnapshotFilter);
    dialog.setObjectName(save ? QStringLiteral("dialog_salvataggio_snapshot")
                              : QStringLiteral("dialog_selezione_snapshot"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // Saving replaces an existing snapshot without asking.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

MainAppl::SnapshotChooser g_snapshotChooser = &chooseSnapshotWithDialog;

} // namespace

// Addresses resolved from the ECU hold for one command only: the table goes
// back to the device file's values when the command ends, however it ends.
class LoggerTableBackup
{
public:
    explicit LoggerTableBackup(LoggerTable &table) : m_table(table) {}
    ~LoggerTableBackup() { restore(); }
    void take() { m_copy = m_table; }
    void restore()
    {
        if (m_copy)
            m_table = *m_copy;
        m_copy.reset();
    }

private:
    LoggerTable &m_table;
    std::optional<LoggerTable> m_copy;
};

// The communication setup writes its keys through this.
class IniSettingsStore : public SettingsStore
{
public:
    explicit IniSettingsStore(IniFile &settings) : m_settings(settings) {}
    bool hasGroup(const QString &group) const override { return m_settings.section(group) != nullptr; }
    void writeEntry(const QString &group, const QString &key, const QString &value) override
    {
        const QString current = m_settings.currentSectionName();
        m_settings.setSection(group);
        m_settings.setValue(key, value);
        m_settings.setSection(current);
    }
    bool save() override { return m_settings.write(); }

private:
    IniFile &m_settings;
};

QString MainAppl::settingsFilePath()
{
    if (!g_settingsFilePath.isEmpty())
        return g_settingsFilePath;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/brisca.ini");
}

void MainAppl::setSettingsFilePath(const QString &path) { g_settingsFilePath = path; }

void MainAppl::setServerPort(quint32 port) { g_serverPort = port ? port : LoggerSteps::ServerPort; }

void MainAppl::setSnapshotChooser(SnapshotChooser chooser)
{
    g_snapshotChooser = chooser ? chooser : &chooseSnapshotWithDialog;
}

MainAppl::MainAppl(QWidget *parent, const QString &name, Qt::WindowFlags flags)
    : QMainWindow(parent, flags | Qt::Window)
{
    setObjectName(name);
    m_programDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());

    Platform::ensureBriscaDataFolder();
    Startup::pruneOldDumps(Platform::briscaDataFolder());

    setWindowTitle(tr("Brisca"));

    m_settings = std::make_unique<IniFile>(settingsFilePath());
    m_state = ShellSettingsIo::load(*m_settings, m_programDir);
    m_comm.mediumType = m_state.mediumType;
    m_comm.nicSystemName = m_state.nicSystemName;
    m_comm.serverHost = m_state.serverHost;

    createCommunicationMedium();

    createActions();
    createToolBar();
    createMenus();

    m_channelSelection = createChannelSelection();
    setCentralWidget(m_channelSelection);
    updateDeviceHint();

    startCommunication();
    updateCommunicationTexts();
    updateMediumChecks();

    m_device.loggerTable = LoggerTable();
    m_device.canSettings = CanSettings();
    m_device.trigger.clear();
    m_device.elf.idStringAddress = 0;
    m_device.elf.idStringSize = 0;
    m_device.noLoggerTable = true;

    // A text field takes Ctrl+E (end of line) before the window sees it.
    QCoreApplication::instance()->installEventFilter(this);

    // Runs from the event loop, once the window is on screen.
    QTimer::singleShot(0, this, &MainAppl::goOnlineWithLastConfig);

    menuBar()->setEnabled(false);
    resize(minimumSizeHint());
}

MainAppl::~MainAppl()
{
    closeCommunication();
    m_commSetup.reset();
    m_commDialogs.reset();
    m_commView.reset();

    // The channel selection points into the device model: it goes first.
    delete m_channelSelection;
    m_channelSelection = nullptr;
    delete m_interfaceSettingsMenu;
    m_interfaceSettingsMenu = nullptr;
    m_protocol.reset();
    m_medium.reset();

    m_state.serverHost = m_comm.serverHost;
    ShellSettingsIo::saveIfChanged(*m_settings, m_state);
    m_settingsStore.reset();
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

    m_viewData = make("act_view_data", tr("Visualizza dati"), QKeySequence(Qt::CTRL | Qt::Key_G),
                      &MainAppl::visualizzaDati, false);
    m_viewData->setIcon(QIcon(QStringLiteral(":/icons/view_data.png")));
}

void MainAppl::createToolBar()
{
    m_toolBar = new QToolBar(tr("Comandi"), this);
    m_toolBar->setObjectName(QStringLiteral("cmdTools"));
    // Room for the wide info picture; the 40x40 ones are shown unscaled.
    m_toolBar->setIconSize(QSize(79, 47));
    addToolBar(m_toolBar);
    for (QAction *a : {m_info, m_sendConfig, m_readConfig, m_searchEcu, m_readData, m_automaticDownload, m_viewData})
        m_toolBar->addAction(a);
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
    command->addSeparator();
    command->addAction(m_viewData);

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
}

ChannelsSelection *MainAppl::createChannelSelection()
{
    auto *selection = new ChannelsSelection(this, "selezione_canali");
    selection->setSelectedList(&m_device.selected);
    selection->setLoggerTable(&m_device.loggerTable);
    selection->setFastestPeriod(m_state.maximumPeriodSampling);
    return selection;
}

// --- communication and device (connected by their own subsystems) ------------

void MainAppl::createCommunicationMedium()
{
    // The medium follows the medium flag and the link slot, both of which
    // the communication setup changes later.
    m_medium = std::make_unique<CommunicationMedium>(&m_comm.ethernetMedium, &m_comm.link);
}

void MainAppl::startCommunication()
{
    m_settingsStore = std::make_unique<IniSettingsStore>(*m_settings);
    m_commView = std::make_unique<CommActionsView>(
        m_setServer, m_setEthCard, m_serverItem, m_ethernetItem,
        m_channelSelection->findChild<QLabel *>(QStringLiteral("lbl_ecu_serial")));
    m_commDialogs = std::make_unique<CommDialogsGui>(this);
    m_commSetup = std::make_unique<CommSetup>(m_comm, *m_medium, m_settingsStore.get(), m_commView.get(),
                                              m_commDialogs.get());
    // Interface lists, the stored interface (the first one when it is gone)
    // and its MAC, the medium, and the link when the medium is Ethernet.
    m_commSetup->startUp();
    // The ECU serial belongs to the Ethernet medium; it fills in once an ECU is chosen.
    m_channelSelection->setEcuSerial(m_comm.ethernetMedium, QString());
}

void MainAppl::closeCommunication()
{
    if (m_medium)
        m_medium->disconnect();
    if (m_commSetup)
        m_commSetup->dropLink();
}

void MainAppl::showMessage(int kind, const QString &text, const QString &title)
{
    const QString caption = title.isEmpty() ? windowTitle() : title;
    switch (kind) {
    case DeviceMessage::Critical:
        QMessageBox::critical(this, caption, text);
        break;
    case DeviceMessage::Information:
        QMessageBox::information(this, caption, text);
        break;
    default:
        QMessageBox::warning(this, caption, text);
        break;
    }
}

// Snapshot results know only critical and information boxes.
static int boxKind(SnapshotFile::MessageKind kind)
{
    return kind == SnapshotFile::MessageKind::Critical ? DeviceMessage::Critical : DeviceMessage::Information;
}

void MainAppl::loadDevice()
{
    DeviceLoadOptions options;
    options.maximumPeriodSampling = quint32(m_state.maximumPeriodSampling);
    options.italian = Startup::languageForLocale(Startup::localeNameFromEnvironment()) == QLatin1String("it");
    options.programFolder = m_programDir;
    m_channelSelection->setEnabled(false);
    const DeviceLoadResult result = DeviceLoader::load(m_device, options);
    if (result.complete) {
        m_protocol.reset();
        if (result.rebuildLoggerProtocol) {
            m_protocol = std::make_unique<LoggerProtocol>();
            m_protocol->attachLoggerTable(&m_device.loggerTable, sizeof(LoggerTable));
        }
    }
    // The selection's lists point into the model: bring them up to date
    // before a message box lets the event loop repaint them.
    applyDeviceLoad(result);
    m_channelSelection->setEnabled(true);
    for (const DeviceMessage &message : result.messages)
        showMessage(message.kind, message.text);
    // The device that loaded completely is the one to come back to.
    if (result.complete)
        m_state.lastDeviceName = m_device.currentDevicePath;
    if (result.rebuildLoggerProtocol)
        enableDeviceCommands(m_device.canSettings.lineType);
}

void MainAppl::applyDeviceLoad(const DeviceLoadResult &result)
{
    ChannelsSelection *selection = m_channelSelection;
    if (result.disableSelectionControls)
        selection->setControlsEnabled(false);
    if (result.complete) {
        const QString path = m_device.currentDevicePath;
        const int cut = path.lastIndexOf(QDir::separator());
        selection->setDevicePath(path.left(qMax(cut, 0)), path.mid(cut + 1));
    }
    if (result.refillAvailableList) {
        selection->fillAvailableList(m_device.channels, result.availableElfCheck, result.availableNoLoggerTable);
        if (result.complete)
            selection->setControlsEnabled(true);
        selection->setTrigger(m_device.trigger);
    }
    if (result.complete) {
        const bool fastLink = m_device.canSettings.lineType == quint32(LineTypeEthernet) || m_comm.ethernetMedium;
        selection->showMemoryStatus(0, fastLink);
        selection->rebuildSelectedList();
    }
}

void MainAppl::refreshSelection()
{
    m_channelSelection->fillAvailableList(m_device.channels, m_device.loggerTable.elfCheckEnabled != 0,
                                          m_device.noLoggerTable);
    m_channelSelection->rebuildSelectedList();
    m_channelSelection->setTrigger(m_device.trigger);
}

bool MainAppl::eventFilter(QObject *watched, QEvent *event)
{
    // Leaving the override unaccepted lets the shortcut map try "Salva
    // configurazione" even while a line edit of this window has the focus.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this && m_saveSnapshot->shortcut() == QKeySequence(key->keyCombination())) {
            event->ignore();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainAppl::updateDeviceHint()
{
    if (!m_device.currentDevicePath.isEmpty())
        return;
    m_channelSelection->setDeviceHint(
        tr("Nessun device caricato: i device si trovano in %1 (File > Seleziona Device).")
            .arg(m_state.lastPathAllDevice));
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
    if (m_comm.ethernetMedium && !ethernetLine)
        selectServerInterface();
}

void MainAppl::setCommandsEnabled(bool enabled)
{
    menuBar()->setEnabled(enabled);
    m_toolBar->setEnabled(enabled);
}

QString MainAppl::serverLabel() const
{
    return m_comm.serverHost == kLocalHost ? tr("locale") : m_comm.serverHost;
}

QString MainAppl::interfaceLabel() const
{
    if (m_comm.nicSystemName == kNoInterface || m_comm.nicDescriptions.isEmpty())
        return tr("nessuna");
    return m_comm.nicDescriptions.value(m_comm.nicIndex);
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
    m_ethernetItem->setChecked(m_comm.ethernetMedium);
    m_serverItem->setChecked(!m_comm.ethernetMedium);
}

// --- slots -------------------------------------------------------------------

void MainAppl::apriSnapshot()
{
    setCommandsEnabled(false);
    Platform::ensureFolder(m_state.lastPathSnapshot);
    const QString name = g_snapshotChooser(this, false, m_state.lastPathSnapshot);
    if (!name.isEmpty()) {
        const auto confirm = [this](const QString &question) {
            return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No)
                   == QMessageBox::Yes;
        };
        const SnapshotFile::OpenResult r = SnapshotFile::open(name, m_device.channels,
                                                              m_device.loggerTable.elfCheckEnabled != 0,
                                                              m_device.elf.idStringValue, confirm);
        if (!r.folder.isEmpty())
            m_state.lastPathSnapshot = r.folder;
        if (r.applied()) {
            m_device.selected = r.selected;
            m_device.trigger = r.trigger;
            refreshSelection();
        }
        if (r.kind != SnapshotFile::MessageKind::None) {
            // The no-match note carries the program's name, whatever the caption.
            const QString title = r.status == SnapshotFile::OpenResult::NoMatch ? QStringLiteral("Brisca")
                                                                                : windowTitle();
            showMessage(boxKind(r.kind), r.message, title);
        }
    }
    setCommandsEnabled(true);
}

void MainAppl::salvaSnapshot()
{
    setCommandsEnabled(false);
    if (!m_device.selected.isEmpty()) {
        Platform::ensureFolder(m_state.lastPathSnapshot);
        const QString name = g_snapshotChooser(this, true,
                                               m_state.lastPathSnapshot + QDir::separator() + QStringLiteral("logger.spt"));
        if (!name.isEmpty()) {
            const SnapshotFile::SaveResult r = SnapshotFile::save(name, m_device.loggerTable.elfCheckEnabled != 0,
                                                                  m_device.elf.idStringValue,
                                                                  m_channelSelection->getTrigger(), m_device.selected);
            if (!r.folder.isEmpty())
                m_state.lastPathSnapshot = r.folder;
            if (r.kind != SnapshotFile::MessageKind::None)
                showMessage(boxKind(r.kind), r.message);
        }
    }
    setCommandsEnabled(true);
}

void MainAppl::selezionaImportaDeviceXML()
{
    setCommandsEnabled(false);
    bool accepted = false;
    {
        DialogSelectionDevice dialog(m_settings->value(QStringLiteral("LastPathAllDevice")), this,
                                     QStringLiteral("dialogSelectionDevice"));
        accepted = dialog.exec() == QDialog::Accepted;
        if (accepted)
            m_device.devicePath = QDir::toNativeSeparators(dialog.selectedFile().absoluteFilePath());
    }
    if (accepted)
        loadDevice();
    setCommandsEnabled(true);
}

void MainAppl::infoAbout()
{
    DialogAboutProgram box(this, windowTitle(), QPixmap(QStringLiteral(":/icons/info_logo.png")),
                           QStringLiteral("Brisca"), QStringLiteral(BRISCA_VERSION),
                           QStringLiteral("ORV's Logger Tool"));
    box.exec();
}

void MainAppl::selectServer() { m_commSetup->selectServer(); }

void MainAppl::goOnlineWithLastConfig()
{
    if (!QFile::exists(m_state.lastDeviceName)) {
        menuBar()->setEnabled(true);
        return;
    }
    m_device.devicePath = m_state.lastDeviceName;
    if (m_comm.mediumType != QLatin1String("pontis"))
        m_commSetup->listECUsOnNetwork(false);
    loadDevice();
    if (m_comm.ecuSelected || !m_comm.ethernetMedium)
        readConfECU();
    menuBar()->setEnabled(true);
}

void MainAppl::selectEthInterface() { m_commSetup->selectEthInterface(); }

void MainAppl::selectServerInterface() { m_commSetup->selectServerInterface(); }

void MainAppl::selectEthernetInterface() { m_commSetup->selectEthernetInterface(); }

void MainAppl::listECUsOnNetwork() { m_commSetup->listECUsOnNetwork(); }

void MainAppl::dialogOptions()
{
    setCommandsEnabled(false);
    {
        DialogDataOptions dialog(m_settings.get(), this, QStringLiteral("dialogDataOptions"));
        if (dialog.exec() == QDialog::Accepted)
            ShellSettingsIo::reloadAfterOptions(*m_settings, m_programDir, m_state);
        updateDeviceHint();
    }
    setCommandsEnabled(true);
}

void MainAppl::reimportaDeviceXML()
{
    setCommandsEnabled(false);
    loadDevice();
    setCommandsEnabled(true);
}

void MainAppl::convertiUltimoDump()
{
    if (!m_protocol)
        return;
    setCommandsEnabled(false);
    const QString dump = DumpConversion::run(this, m_settings.get(), m_protocol.get(), Platform::briscaDataFolder());
    if (!dump.isEmpty())
        setQuickLookSource(dump);
    setCommandsEnabled(true);
}

// --- logger commands -----------------------------------------------------------

template <typename F> auto MainAppl::withoutFreezing(F f) -> decltype(f())
{
    // The medium may wait seconds for an ECU or a server that does not answer;
    // meanwhile the window repaints but takes no input.
    std::optional<decltype(f())> result;
    std::unique_ptr<QThread> helper(QThread::create([&] { result = f(); }));
    helper->start();
    while (!helper->wait(QDeadlineTimer(15)))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return *result;
}

bool MainAppl::fastLink() const
{
    return m_device.canSettings.lineType == quint32(LineTypeEthernet) || m_comm.ethernetMedium;
}

bool MainAppl::askYesNo(const QString &text)
{
    return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

int MainAppl::connectForCommand()
{
    const QString host = m_comm.serverHost;
    const CanSettings can = m_device.canSettings;
    // The ECU search is a dialog: it runs on this thread while the steps wait.
    const auto search = [this] {
        QMetaObject::invokeMethod(this, [this] { listECUsOnNetwork(); }, Qt::BlockingQueuedConnection);
    };
    const LoggerSteps::Connection c = withoutFreezing([&] {
        return LoggerSteps::connectToEcu(*m_medium, host, g_serverPort, can, search);
    });
    if (c != LoggerSteps::Connection::Ready)
        showMessage(DeviceMessage::Critical, LoggerSteps::connectionMessage(c));
    return int(c);
}

int MainAppl::checkDeviceOnEcu(QString *message)
{
    return withoutFreezing([&] {
        return LoggerSteps::checkDeviceOnEcu(m_medium.get(), m_device.loggerTable, m_device.elf,
                                             m_device.canSettings, message);
    });
}

// Read data and read configuration: a mismatch found without the ELF check
// may be overridden by the user.
bool MainAppl::confirmDevice(int deviceCheck, const QString &message)
{
    if (deviceCheck == 0)
        return true;
    if (m_device.loggerTable.elfCheckEnabled) {
        showMessage(DeviceMessage::Critical, message);
        return false;
    }
    return askYesNo(message + tr("\nContinuare comunque???"));
}

void MainAppl::resolveAddressesIfNeeded(LoggerTableBackup &backup)
{
    if (!LoggerSteps::needsResolving(m_device))
        return;
    backup.take();
    withoutFreezing([&] {
        return LoggerSteps::resolveLoggerAddresses(*m_medium, m_device.loggerTable, m_device.canSettings.memorySpaceId());
    });
}

void MainAppl::prepareProtocol(bool withChannels)
{
    if (withChannels) {
        m_protocol->setChannelList(m_device.selected);
        m_protocol->setTriggerSettings(m_channelSelection->getTrigger());
    }
    m_protocol->setIdSource(&m_device.canSettings);
    m_protocol->setMedium(m_medium.get());
}

MainAppl::OperationOutcome MainAppl::runOperation(int operation, const QString &text, WaitForEcuContext *context)
{
    OperationOutcome outcome;
    WaitDialog dialog(text, operation == OpWaitForEcu, this, QStringLiteral("wait_thread"), true,
                      WaitDialog::defaultFlags());
    dialog.setWindowTitle(windowTitle());
    std::unique_ptr<LoggerThread> thread;
    if (operation == OpWaitForEcu)
        thread = std::make_unique<LoggerThread>(&dialog, context, operation);
    else
        thread = std::make_unique<LoggerThread>(&dialog, m_protocol.get(), operation);
    LoggerThread *worker = thread.get();
    connect(&dialog, &WaitDialog::cancelRequested, this, [worker] { worker->requestStop(); });
    worker->start();
    dialog.exec();
    worker->requestStop();
    // A polling pass may still be waiting on the medium after ESC.
    while (!worker->wait(QDeadlineTimer(15)))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    outcome.operation = worker->operation();
    outcome.resultCode = worker->resultCode();
    outcome.cancelled = dialog.cancelled();
    if (operation == OpReadLoggedData) {
        outcome.dumpWritten = worker->dumpWritten();
        m_lastDumpPath = worker->dumpWritten() ? worker->dumpPath() : QString();
        if (outcome.resultCode == 0 && outcome.dumpWritten)
            setQuickLookSource(m_lastDumpPath);
    }
    return outcome;
}

bool MainAppl::takeReadBack(bool matched, quint32 *dataLength)
{
    TriggerSettings trigger;
    const QList<ChannelRecord *> decoded = m_protocol->decodeReadBack(&trigger, dataLength);
    if (decoded.isEmpty())
        return false;
    m_device.trigger = trigger;
    LoggerSteps::mergeReadBack(m_device, decoded, matched);
    // The protocol's copy of the selection may point at replaced channels.
    m_protocol->setChannelList(m_device.selected);
    m_protocol->setTriggerSettings(m_device.trigger);
    refreshSelection();
    return true;
}

void MainAppl::exportDownloadedData(const QString &comment)
{
    SelExportDataDialog dialog(m_settings.get(), m_protocol.get(), this, "selExportDataDialog", true);
    dialog.setWindowTitle(windowTitle());
    dialog.setMdfComment(comment);
    if (dialog.exec() == QDialog::Accepted)
        dialog.save(); // reports its own failure; the dump stays on disk either way
}

void MainAppl::sendConf()
{
    setCommandsEnabled(false);
    if (!m_protocol || m_device.selected.isEmpty()) {
        setCommandsEnabled(true);
        return;
    }
    LoggerTableBackup backup(m_device.loggerTable);
    if (connectForCommand() == int(LoggerSteps::Connection::Ready)) {
        QString message;
        if (checkDeviceOnEcu(&message) != 0) {
            showMessage(DeviceMessage::Critical, message);
        } else {
            resolveAddressesIfNeeded(backup);
            prepareProtocol(true);
            runOperation(OpSendConfiguration, tr("Invio configurazione logger alla ECU, in corso.\nAttendere prego..."));
            m_channelSelection->showMemoryStatus(0, fastLink());
        }
    }
    backup.restore();
    setCommandsEnabled(true);
}

void MainAppl::readDataLogged()
{
    if (!m_protocol)
        return;
    setCommandsEnabled(false);
    LoggerTableBackup backup(m_device.loggerTable);
    QString message;
    int deviceCheck = 0;
    bool go = connectForCommand() == int(LoggerSteps::Connection::Ready);
    if (go) {
        deviceCheck = checkDeviceOnEcu(&message);
        go = confirmDevice(deviceCheck, message);
    }
    if (go)
        resolveAddressesIfNeeded(backup);
    if (go) {
        prepareProtocol(false);
        const OperationOutcome download =
            runOperation(OpReadLoggedData, tr("Lettura memoria logger, in corso.\nAttendere prego..."));
        if (download.resultCode != 0) {
            m_medium->disconnect();
            go = false;
        } else {
            bool clear = false;
            if (!download.dumpWritten) {
                // Without a copy on disk the ECU keeps the only one.
                showMessage(DeviceMessage::Warning,
                            tr("Il file dump non è stato salvato:\nla memoria logger non viene cancellata dalla ECU."));
            } else if (m_settings->intValue(QStringLiteral("DeleteAfterDownload"), 1) == 1) {
                clear = true;
            } else {
                clear = askYesNo(tr("Dopo il download dei dati memorizzati,\nli vuoi cancellare dalla ECU???"));
            }
            m_protocol->setClearMemoryFlag(clear);
            const OperationOutcome restart =
                runOperation(OpClearLoggerMemory, tr("Cancellazione memoria logger, in corso.\nAttendere prego..."));
            quint32 dataLength = 0;
            if (restart.resultCode == 0 && takeReadBack(deviceCheck == 0, &dataLength)) {
                m_channelSelection->showMemoryStatus(clear ? 0 : dataLength, fastLink());
                const ReadBackViews &views = m_protocol->readBackViews();
                QString comment;
                if (views.header) {
                    const char *text = reinterpret_cast<const char *>(views.header);
                    comment = QString::fromLatin1(text, int(qstrnlen(text, 32)));
                }
                exportDownloadedData(comment + QLatin1Char('\n'));
            }
        }
    }
    backup.restore();
    setCommandsEnabled(true);
}

void MainAppl::readConfECU()
{
    if (!m_protocol) {
        m_readConfigStatus = -2;
        return;
    }
    setCommandsEnabled(false);
    LoggerTableBackup backup(m_device.loggerTable);
    QString message;
    int deviceCheck = 0;
    const int connection = connectForCommand();
    if (connection == int(LoggerSteps::Connection::EthernetRefused))
        m_readConfigStatus = -1;
    bool go = connection == int(LoggerSteps::Connection::Ready);
    if (go) {
        deviceCheck = checkDeviceOnEcu(&message);
        go = confirmDevice(deviceCheck, message);
    }
    if (go) {
        resolveAddressesIfNeeded(backup);
        prepareProtocol(false);
        runOperation(OpReadConfiguration, tr("Lettura configurazione logger, in corso.\nAttendere prego..."));
        quint32 dataLength = 0;
        if (takeReadBack(deviceCheck == 0, &dataLength)) {
            m_channelSelection->showMemoryStatus(dataLength, fastLink());
            m_readConfigStatus = 0;
        } else {
            m_readConfigStatus = -3;
        }
    }
    backup.restore();
    setCommandsEnabled(true);
}

void MainAppl::downloadAutomatico()
{
    WaitForEcuContext context{&m_device.canSettings, m_medium.get(), &m_comm.serverHost, g_serverPort};
    setCommandsEnabled(false);
    const OperationOutcome wait = runOperation(
        OpWaitForEcu,
        tr("Procedura di download automatico\nAttesa per la connessione alla ECU...\nPremere ESC per uscire!"),
        &context);
    setCommandsEnabled(true);
    if (!wait.cancelled && (wait.operation == 0 || wait.resultCode == 0))
        readDataLogged();
}

void MainAppl::impostaZero()
{
    setCommandsEnabled(false);
    readConfECU();
    if (m_readConfigStatus != 0) {
        setCommandsEnabled(true);
        return;
    }
    setCommandsEnabled(false);
    LoggerTableBackup backup(m_device.loggerTable);
    if (connectForCommand() == int(LoggerSteps::Connection::Ready)) {
        bool accepted = false;
        {
            ZeroDialog dialog(m_medium.get(), m_device.canSettings, m_device.selected,
                              m_device.loggerTable.elfCheckEnabled != 0, this, QStringLiteral("zero_sel_var"), true,
                              WaitDialog::defaultFlags());
            dialog.setWindowTitle(windowTitle());
            accepted = dialog.exec() == QDialog::Accepted;
        }
        if (accepted) {
            resolveAddressesIfNeeded(backup);
            prepareProtocol(true);
            runOperation(OpSendChannelInfo,
                         QStringLiteral("Invio delle impostazioni canali alla ECU, in corso.\nAttendere prego..."));
        }
    }
    backup.restore();
    setCommandsEnabled(true);
}

// --- quick look ----------------------------------------------------------------

void MainAppl::setQuickLookSource(const QString &dumpPath)
{
    m_quickLookSource = dumpPath;
    m_viewData->setEnabled(!dumpPath.isEmpty());
}

bool MainAppl::openQuickLook(const QString &path)
{
    QString error;
    std::unique_ptr<ViewData> data = QuickLookWindow::openFile(path, &error);
    if (!data) {
        QMessageBox::critical(this, windowTitle(), error);
        return false;
    }
    auto *window = new QuickLookWindow(std::move(data),
                                       tr("Brisca - Visualizza dati") + QStringLiteral(" - ") + QFileInfo(path).fileName(), this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return true;
}

void MainAppl::visualizzaDati()
{
    if (!m_quickLookSource.isEmpty())
        openQuickLook(m_quickLookSource);
}
