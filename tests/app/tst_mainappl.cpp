// The main window's command table, menus, toolbar and start-up states, the
// options dialog and the about box, on the offscreen platform.
#include "channelsselection.h"
#include "dialogdataoptions.h"
#include "inifile.h"
#include "mainappl.h"
#include "registrykey.h"

#include "boxanswerer.h"
#include "briscaversion.h"
#include "testfiles.h"

#include <QtTest>
#include <QtWidgets>

using namespace TestFiles;

namespace {

// What the window shows for the Ethernet interface: the first one the host
// has, or "nessuna" on a host without capture devices.
QString interfaceLabel(const MainAppl &w)
{
    const CommState &c = w.commState();
    return c.nicDescriptions.isEmpty() || c.nicSystemName == QLatin1String("{}")
               ? QStringLiteral("nessuna")
               : c.nicDescriptions.value(c.nicIndex);
}

template <class T>
T *child(QObject *parent, const char *name) { return parent->findChild<T *>(QLatin1String(name)); }

QAction *actionByText(QWidget *w, const QString &text)
{
    for (QAction *a : w->findChildren<QAction *>())
        if (a->text() == text)
            return a;
    return nullptr;
}

// Item texts of a menu, "-" for separators, "text>" for a submenu.
QStringList itemsOf(QMenu *menu)
{
    QStringList items;
    for (QAction *a : menu->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text() + (a->menu() ? QStringLiteral(">") : QString()));
    return items;
}

// On X11 a line edit takes Ctrl+E as "end of line" before any shortcut; the
// offscreen platform's key scheme has no such binding, so a test adds it.
struct X11EndOfLine : QObject
{
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::ShortcutOverride
            && static_cast<QKeyEvent *>(e)->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_E))
            e->accept();
        return false;
    }
};

QString g_chosenFolder;
QString g_snapshotName;
QString chooseSnapshot(QWidget *, bool, const QString &) { return g_snapshotName; }
QString chooseFixed(QWidget *, const QString &) { return g_chosenFolder; }

} // namespace

class TestMainAppl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        qputenv("APPDATA", m_dir->filePath("appdata").toLocal8Bit());
        MainAppl::setSettingsFilePath(settingsPath());
        RegistryKey::setStorePath(m_dir->filePath("registry.ini"));
        DialogDataOptions::setDirectoryChooser(nullptr);
    }

    // Commands, menus and toolbar as a first start shows them, and where
    // devices come from while none is loaded.
    void firstStartWindow()
    {
        QVERIFY(writeAll(m_dir->filePath("registry.ini"),
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\PontisClient\\KVTSettings]\nPath = "
                             + m_dir->filePath("devices").toLocal8Bit() + "\n"));
        QVERIFY(QDir().mkpath(m_dir->filePath("devices/DEVICE")));
        MainAppl w;
        // The defaults file itself is compared byte for byte in test_appcore.
        QVERIFY(QFile::exists(settingsPath()));
        QVERIFY(QFileInfo(m_dir->filePath("appdata/Orvotek/Brisca")).isDir());
        QCOMPARE(w.windowTitle(), QStringLiteral("Brisca"));
        QVERIFY(!w.menuBar()->isEnabled());
        QCOMPARE(w.centralWidget()->objectName(), QStringLiteral("selezione_canali"));
        QTRY_VERIFY(w.menuBar()->isEnabled());
        // With no device to load, the window says where devices come from.
        auto *hint = w.centralWidget()->findChild<QLabel *>(QStringLiteral("lbl_device_hint"));
        QVERIFY(hint && hint->isVisibleTo(&w));
        QVERIFY2(hint->text().contains(m_dir->filePath("devices/DEVICE")), qPrintable(hint->text()));

        const QString nic = interfaceLabel(w);
        QCOMPARE(actionByText(&w, QStringLiteral("Salva configurazione"))->shortcut(), QKeySequence("Ctrl+E"));
        QVERIFY(!actionByText(&w, QStringLiteral("Ricevi dati"))->isEnabled()); // no device: going online changed none
        QStringList menus;
        for (QAction *top : w.menuBar()->actions())
            menus << top->text() + ": " + itemsOf(top->menu()).join(", ");
        QCOMPARE(menus, QStringList({"&File: Seleziona Device, -, Nuova configurazione, Apri configurazione, "
                                     "Salva configurazione, -, Opzioni, -, Conversione dump..., -, Uscita",
                                     "&Comandi: Invia configurazione, Ricevi configurazione, Ricevi dati, "
                                     "Ricevi dati - pitlane, -, Impostazione 0 canali, -, Visualizza dati",
                                     "C&omunicazione: Pontis : locale, Ethernet : " + nic
                                         + ", Impostazioni...>, -, Cerca ECU Eth",
                                     "&Info: Informazioni su Brisca"}));
        QMenu *sub = w.findChild<QMenu *>(QStringLiteral("configInterfaceMenu"));
        QCOMPARE(itemsOf(sub), QStringList({"Cambio server : locale", "Cambio interfaccia Ethernet : " + nic}));

        QStringList tools;
        for (QAction *a : w.commandToolBar()->actions())
            tools << a->text() + (a->icon().isNull() ? QString() : QStringLiteral("*"));
        QCOMPARE(tools, QStringList({"Informazioni su Brisca*", "Invia configurazione*", "Ricevi configurazione*",
                                     "Cerca ECU Eth*", "Ricevi dati*", "Ricevi dati - pitlane*",
                                     "Visualizza dati*"}));
        QCOMPARE(w.commandToolBar()->objectName(), QStringLiteral("cmdTools"));

        // "Uscita" closes the window.
        w.show();
        w.menuBar()->actions().first()->menu()->actions().last()->trigger();
        QVERIFY(!w.isVisible());
    }

    void communicationMenuShowsTheMedium()
    {
        for (const auto &[medium, ethernet] : {std::pair("PONTIS", false), std::pair("Ethernet", true)}) {
            QVERIFY(writeAll(settingsPath(), "[Default]\r\nMediumType = " + QByteArray(medium) + "\r\nServer_IP = 10.1.2.3\r\n"));
            MainAppl w;
            QCOMPARE(w.ethernetMedium(), ethernet);
            QMenu *comm = w.menuBar()->findChild<QMenu *>(QStringLiteral("communication"));
            QAction *server = comm->actions().at(0);
            QCOMPARE(server->text(), QStringLiteral("Pontis : 10.1.2.3"));
            QCOMPARE(server->isChecked(), !ethernet);
            QCOMPARE(comm->actions().at(1)->isChecked(), ethernet);
            QVERIFY(actionByText(&w, QStringLiteral("Cambio server : 10.1.2.3")));
            if (!ethernet)
                continue;
            // Item 0 switches to the server and stores the choice.
            server->trigger();
            QVERIFY(!w.ethernetMedium() && server->isChecked() && !w.commState().link);
            QVERIFY(readAll(settingsPath()).contains("MediumType = Pontis\r\n"));
        }
    }

    void lastDeviceUnlocksTheCommands()
    {
        for (const auto &[device, ethernetLine] : {std::pair("Default.XML", false), std::pair("DefaultEth.XML", true)}) {
            const QString sample = startOnSample(device);
            QVERIFY(!sample.isEmpty());
            const QDateTime past = QDateTime::currentDateTime().addDays(-1);
            QVERIFY(setModified(settingsPath(), past));
            BoxAnswerer closer;
            {
                MainAppl w;
                w.show();
                QTRY_VERIFY(w.menuBar()->isEnabled());
                QCOMPARE(w.devicePath(), sample);
                QVERIFY(!w.device().noLoggerTable && !w.device().channels.isEmpty());
                QVERIFY(child<QLabel>(&w, "lbl_device_name")->text().endsWith(device));
                QVERIFY(!child<QLabel>(&w, "lbl_device_hint")->isVisibleTo(&w));
                for (const char *text : {"Nuova configurazione", "Apri configurazione", "Salva configurazione",
                                         "Impostazione 0 canali", "Invia configurazione", "Ricevi configurazione",
                                         "Ricevi dati", "Ricevi dati - pitlane", "Cambio server : locale"})
                    QVERIFY2(actionByText(&w, QString::fromLatin1(text))->isEnabled(), text);
                QCOMPARE(actionByText(&w, QStringLiteral("Cerca ECU Eth"))->isEnabled(), !ethernetLine);
                QCOMPARE(child<QMenu>(&w, "communication")->actions().at(1)->isEnabled(), !ethernetLine);
            }
            // Loading the device it started with, then closing, is no change worth a write.
            QCOMPARE(QFileInfo(settingsPath()).lastModified(), past);
            // Going online reads the ECU's configuration; no server is registered here.
            QCOMPARE(closer.texts, QStringList({"Connessione al server non effettuata!!!"}));
        }
    }

    void snapshotSavedAndReopenedThroughTheWindow()
    {
        QVERIFY(!startOnSample(QStringLiteral("Default.XML")).isEmpty());
        MainAppl::setSnapshotChooser(&chooseSnapshot);
        BoxAnswerer closer;
        {
            MainAppl w;
            QTRY_VERIFY(w.menuBar()->isEnabled());
            QVERIFY(QMetaObject::invokeMethod(w.findChild<ChannelsSelection *>(), "addChannel"));
            QCOMPARE(w.device().selected.size(), 1);
            const QByteArray code = w.device().selected.first()->uniqueCode;

            // Ctrl+E saves even while a text field has the focus.
            w.show();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            auto *search = w.findChild<QLineEdit *>(QStringLiteral("le_var_selection"));
            search->setFocus();
            X11EndOfLine x11;
            search->installEventFilter(&x11);
            g_snapshotName = m_dir->filePath("mine.txt");
            QTest::keyClick(search, Qt::Key_E, Qt::ControlModifier);
            QVERIFY(QFile::exists(m_dir->filePath("mine.txt.spt")));

            QVERIFY(QMetaObject::invokeMethod(&w, "reimportaDeviceXML"));
            QVERIFY(w.device().selected.isEmpty());

            g_snapshotName = m_dir->filePath("mine.txt.spt");
            QVERIFY(QMetaObject::invokeMethod(&w, "apriSnapshot"));
            QCOMPARE(w.device().selected.size(), 1);
            QCOMPARE(w.device().selected.first()->uniqueCode, code);
            QCOMPARE(w.settingsCopy().lastPathSnapshot, QDir::toNativeSeparators(m_dir->path()));
        }
        MainAppl::setSnapshotChooser(nullptr);
        // Going online reads the ECU's configuration; no server is registered here.
        QCOMPARE(closer.texts, QStringList({"Connessione al server non effettuata!!!"}));
        // The snapshot folder is one of the four settings saved at exit.
        QVERIFY(readAll(settingsPath()).contains("LastPathSnapshot = " + QDir::toNativeSeparators(m_dir->path()).toLocal8Bit() + "\r\n"));
    }

    void englishTranslationReplacesTheTexts()
    {
        QTranslator translator;
        QVERIFY(translator.load(qEnvironmentVariable("BRISCA_BIN_DIR") + QStringLiteral("/brisca_en.qm")));
        QCoreApplication::installTranslator(&translator);
        MainAppl w;
        QCoreApplication::removeTranslator(&translator);
        for (const char *text : {"Select Device", "About Brisca", "Change server : local"})
            QVERIFY2(actionByText(&w, QString::fromLatin1(text)), text);
        QStringList titles;
        for (QAction *a : w.menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, QStringList({"&File", "&Commands", "C&ommunication", "&Info"}));
        // The medium prefixes stay as they are.
        QCOMPARE(child<QMenu>(&w, "communication")->actions().at(0)->text(), QStringLiteral("Pontis : local"));
    }

    void optionsOkWritesEveryKey()
    {
        const QString folder2D = m_dir->filePath("out2d");
        const auto ini = settings("[Default]\r\nLastPath_2D = /old\r\nMdfAuthor = Someone\r\n");
        DialogDataOptions dialog(ini.get(), nullptr, QStringLiteral("dialogDataOptions"));
        child<QCheckBox>(&dialog, "cmbBoxAutomaticCanc")->setChecked(false);
        child<QRadioButton>(&dialog, "btnSel2D")->click();
        for (const auto &[name, index] : {std::pair("cmbBoxMDFNameFormat", 2), std::pair("cmbBox2DNameFormat", 1)}) {
            child<QComboBox>(&dialog, name)->setCurrentIndex(index);
            emit child<QComboBox>(&dialog, name)->activated(index);
        }
        child<QLineEdit>(&dialog, "lnEdFreeDescr")->setText(QStringLiteral("Rossi"));
        child<QLineEdit>(&dialog, "lnEdFreeDescr2D")->setText(QStringLiteral("Bianchi"));
        child<QLineEdit>(&dialog, "lnEdAuthor")->setText(QString(40, QLatin1Char('a')));
        child<QLineEdit>(&dialog, "lnEdOrganization")->setText(QStringLiteral("Team"));
        g_chosenFolder = folder2D;
        DialogDataOptions::setDirectoryChooser(&chooseFixed);
        auto *path2D = child<QPushButton>(&dialog, "btnSelectPath2D");
        path2D->click();
        QCOMPARE(path2D->text(), QStringLiteral("out2d"));
        QCOMPARE(path2D->toolTip(), folder2D);
        child<QPushButton>(&dialog, "btnok")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        const QByteArray prog = QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toLocal8Bit();
        QCOMPARE(readAll(settingsPath()),
                 "CHARSET ISO8859-1\r\n\r\n[Default]\r\nDefaultFormat = 2D\r\nDeleteAfterDownload = 0\r\n"
                 "FilenameDescr2D = Bianchi\r\nFilenameDescrMDF = Rossi\r\nFilenameFormat2D = 1\r\n"
                 "FilenameFormatMDF = 2\r\nLastPathAllDevice = " + prog + "\r\nLastPath_2D = "
                     + folder2D.toLocal8Bit() + "\r\nLastPath_MDF = " + prog + "\r\nMdfAuthor = "
                     + QByteArray(32, 'a') + "\r\nMdfOrganization = Team\r\n");
    }

    void optionsCancelWritesNothing()
    {
        const QByteArray original = "; hand written\n[Default]\nLastDeviceName = /dev.xml\n";
        auto ini = settings(original);
        DialogDataOptions dialog(ini.get());
        child<QLineEdit>(&dialog, "lnEdAuthor")->setText(QStringLiteral("Other"));
        child<QPushButton>(&dialog, "btncancel")->click();
        QCOMPARE(readAll(settingsPath()), original);
    }

    void optionsDeviceFolderChangeForgetsLastDevice()
    {
        const QString prog = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
        for (const auto &[chosen, forgotten] :
             {std::pair("/devices", false), std::pair("", false) /* cancelled */, std::pair("/other", true)}) {
            auto ini = settings("[Default]\r\nLastPathAllDevice = /devices\r\nLastDeviceName = /devices/a.xml\r\n");
            DialogDataOptions dialog(ini.get());
            g_chosenFolder = chosen;
            DialogDataOptions::setDirectoryChooser(&chooseFixed);
            child<QPushButton>(&dialog, "btnSelectPathDevices")->click();
            child<QPushButton>(&dialog, "btnok")->click();
            const auto back = settings();
            QCOMPARE(back->value(QStringLiteral("LastDeviceName")),
                     forgotten ? prog + QDir::separator() + "Default.XML" : QStringLiteral("/devices/a.xml"));
            QCOMPARE(back->value(QStringLiteral("LastPathAllDevice")), forgotten ? chosen : "/devices");
        }
    }

    void optionsAndAboutFromTheWindow()
    {
        MainAppl w;
        QTRY_VERIFY(w.menuBar()->isEnabled());
        QTimer::singleShot(0, [] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            dialog->findChild<QLineEdit *>(QStringLiteral("lnEdAuthor"))->setText(QStringLiteral("Verdi"));
            dialog->findChild<QPushButton *>(QStringLiteral("btnok"))->click();
        });
        QVERIFY(QMetaObject::invokeMethod(&w, "dialogOptions"));
        QCOMPARE(w.settingsCopy().mdfAuthor, QStringLiteral("Verdi"));
        QVERIFY(w.menuBar()->isEnabled() && w.commandToolBar()->isEnabled());

        QTimer::singleShot(0, [] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            QCOMPARE(box->findChild<QLabel *>(QStringLiteral("lblversappl"))->text(),
                     QStringLiteral("Version : ") + QStringLiteral(BRISCA_VERSION));
            QCOMPARE(box->findChild<QLabel *>(QStringLiteral("lblcompanylogo"))->pixmap().size(), QSize(79, 47));
            box->findChild<QPushButton *>(QStringLiteral("btnok"))->click();
        });
        QVERIFY(QMetaObject::invokeMethod(&w, "infoAbout"));
    }

private:
    QString settingsPath() const { return m_dir->filePath("brisca.ini"); }
    // The settings file, written first when text is given, and read.
    std::unique_ptr<IniFile> settings(const QByteArray &text = QByteArray()) const
    {
        if (!text.isEmpty() && !writeAll(settingsPath(), text))
            return nullptr;
        auto ini = std::make_unique<IniFile>(settingsPath());
        return ini->read() ? std::move(ini) : nullptr;
    }
    // Settings that start the window on a sample device; empty when the tree has none.
    QString startOnSample(const QString &device) const
    {
        const QString sample = qEnvironmentVariable("BRISCA_SOURCE_DIR") + QStringLiteral("/samples/") + device;
        if (!QFile::exists(sample)
            || !writeAll(settingsPath(), "[Default]\r\nLastDeviceName = " + sample.toLocal8Bit()
                                             + "\r\nLastPathAllDevice = " + m_dir->path().toLocal8Bit()
                                             + "\r\nLastPathSnapshot = " + m_dir->path().toLocal8Bit()
                                             + "\r\nServer_IP = 127.0.0.1\r\n"))
            return QString();
        return sample;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestMainAppl)
#include "tst_mainappl.moc"
