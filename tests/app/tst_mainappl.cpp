// The main window's command table, menus, toolbar and start-up states, the
// options dialog and the about box, on the offscreen platform.
#include "channelsselection.h"
#include "dialogaboutprogram.h"
#include "dialogdataoptions.h"
#include "inifile.h"
#include "mainappl.h"
#include "registrykey.h"

#include "boxanswerer.h"
#include "briscaversion.h"
#include "testfiles.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTranslator>
#include <QtTest>

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
T *child(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

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

    void commandTable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::addColumn<bool>("enabled");

        QTest::newRow("device") << "openDevice" << "Seleziona Device" << QKeySequence("Ctrl+D") << true;
        QTest::newRow("new") << "act_new_configuration" << "Nuova configurazione" << QKeySequence("Ctrl+N") << false;
        QTest::newRow("open") << "act_open_snapshot" << "Apri configurazione" << QKeySequence("Ctrl+A") << false;
        QTest::newRow("save") << "act_save_snapshot" << "Salva configurazione" << QKeySequence("Ctrl+E") << false;
        QTest::newRow("zero") << "act_set_zero_var" << "Impostazione 0 canali" << QKeySequence("Ctrl+Z") << false;
        QTest::newRow("send") << "act_send_config_ecu" << "Invia configurazione" << QKeySequence("Ctrl+W") << false;
        QTest::newRow("read conf") << "act_read_ecu_config" << "Ricevi configurazione" << QKeySequence("Ctrl+B")
                                   << false;
        QTest::newRow("read data") << "act_read_ecu_data_config" << "Ricevi dati" << QKeySequence("Ctrl+R") << false;
        QTest::newRow("pitlane") << "actAutomaticDownload" << "Ricevi dati - pitlane" << QKeySequence("Ctrl+F")
                                 << false;
        QTest::newRow("info") << "act_get_info" << "Informazioni su Brisca" << QKeySequence() << true;
        QTest::newRow("server") << "act_set_comm_server" << "Cambio server : locale" << QKeySequence("Ctrl+S") << true;
        QTest::newRow("eth card") << "act_set_eth_card" << "Cambio interfaccia Ethernet : %1"
                                  << QKeySequence("Ctrl+T") << true;
        QTest::newRow("search") << "" << "Cerca ECU Eth" << QKeySequence("Ctrl+Q") << true;
        QTest::newRow("options") << "actDataOptions" << "Opzioni" << QKeySequence("Ctrl+O") << true;
    }

    void commandTable()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QKeySequence, shortcut);
        QFETCH(bool, enabled);

        MainAppl w;
        if (text.contains(QLatin1String("%1")))
            text = text.arg(interfaceLabel(w));
        QAction *a = actionByText(&w, text);
        QVERIFY2(a, qPrintable(text));
        QCOMPARE(a->objectName(), name);
        QCOMPARE(a->shortcut(), shortcut);
        QCOMPARE(a->isEnabled(), enabled);
        QCOMPARE(a->parent(), &w);
        // Going online without a device changes no command.
        QTRY_VERIFY(w.menuBar()->isEnabled());
        QCOMPARE(a->isEnabled(), enabled);
    }

    void menusInOrderWithTheirItems()
    {
        MainAppl w;
        const QList<QAction *> top = w.menuBar()->actions();
        QCOMPARE(top.size(), 4);
        const QStringList titles = {"&File", "&Comandi", "C&omunicazione", "&Info"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(top[i]->text(), titles[i]);
            QVERIFY(top[i]->menu());
        }
        QCOMPARE(itemsOf(top[0]->menu()),
                 QStringList({"Seleziona Device", "-", "Nuova configurazione", "Apri configurazione",
                              "Salva configurazione", "-", "Opzioni", "-", "Conversione dump...", "-", "Uscita"}));
        QCOMPARE(itemsOf(top[1]->menu()),
                 QStringList({"Invia configurazione", "Ricevi configurazione", "Ricevi dati", "Ricevi dati - pitlane",
                              "-", "Impostazione 0 canali", "-", "Visualizza dati"}));
        const QString nic = interfaceLabel(w);
        QCOMPARE(itemsOf(top[2]->menu()), QStringList({"Pontis : locale", "Ethernet : " + nic, "Impostazioni...>", "-",
                                                       "Cerca ECU Eth"}));
        QMenu *sub = top[2]->menu()->actions().at(2)->menu();
        QCOMPARE(sub->objectName(), QStringLiteral("configInterfaceMenu"));
        QCOMPARE(itemsOf(sub),
                 QStringList({"Cambio server : locale", "Cambio interfaccia Ethernet : " + nic}));
        QCOMPARE(itemsOf(top[3]->menu()), QStringList({"Informazioni su Brisca"}));

        // "Uscita" closes the window.
        w.show();
        top[0]->menu()->actions().last()->trigger();
        QVERIFY(!w.isVisible());
    }

    void toolbarHoldsTheCommandsInOrder()
    {
        MainAppl w;
        auto *bar = w.findChild<QToolBar *>(QStringLiteral("cmdTools"));
        QVERIFY(bar);
        QCOMPARE(bar->windowTitle(), QStringLiteral("Comandi"));
        QStringList texts;
        for (QAction *a : bar->actions()) {
            texts << a->text();
            QVERIFY2(!a->icon().isNull(), qPrintable(a->text()));
        }
        QCOMPARE(texts, QStringList({"Informazioni su Brisca", "Invia configurazione", "Ricevi configurazione",
                                     "Cerca ECU Eth", "Ricevi dati", "Ricevi dati - pitlane", "Visualizza dati"}));
        QCOMPARE(bar->actions().first()->icon().availableSizes().value(0), QSize(79, 47));
        QCOMPARE(bar->actions().at(1)->icon().availableSizes().value(0), QSize(40, 40));
        for (const char *noIcon : {"Seleziona Device", "Opzioni", "Impostazione 0 canali"})
            QVERIFY(actionByText(&w, QString::fromLatin1(noIcon))->icon().isNull());
    }

    void firstStartWritesSettingsAndWaitsForGoingOnline()
    {
        QVERIFY(!QFile::exists(settingsPath()));
        MainAppl w;
        // The defaults file itself is compared byte for byte in test_appcore.
        QVERIFY(QFile::exists(settingsPath()));
        QVERIFY(QFileInfo(m_dir->filePath("appdata/Orvotek/Brisca")).isDir());
        QCOMPARE(w.windowTitle(), QStringLiteral("Brisca"));
        QVERIFY(!w.menuBar()->isEnabled());
        QVERIFY(w.commandToolBar()->isEnabled());
        QVERIFY(w.centralWidget());
        QCOMPARE(w.centralWidget()->objectName(), QStringLiteral("selezione_canali"));
        QTRY_VERIFY(w.menuBar()->isEnabled());
        QVERIFY(w.commandToolBar()->isEnabled());
    }

    void communicationMenuShowsTheMedium_data()
    {
        QTest::addColumn<QByteArray>("medium");
        QTest::addColumn<bool>("ethernet");
        QTest::newRow("Pontis") << QByteArray("Pontis") << false;
        QTest::newRow("pontis in any case") << QByteArray("PONTIS") << false;
        QTest::newRow("Ethernet") << QByteArray("Ethernet") << true;
    }

    void communicationMenuShowsTheMedium()
    {
        QFETCH(QByteArray, medium);
        QFETCH(bool, ethernet);
        QVERIFY(writeAll(settingsPath(), "[Default]\r\nMediumType = " + medium + "\r\nServer_IP = 10.1.2.3\r\n"));
        MainAppl w;
        QCOMPARE(w.ethernetMedium(), ethernet);
        QMenu *comm = w.menuBar()->findChild<QMenu *>(QStringLiteral("communication"));
        QVERIFY(comm);
        QAction *server = comm->actions().at(0);
        QAction *eth = comm->actions().at(1);
        QCOMPARE(server->text(), QStringLiteral("Pontis : 10.1.2.3"));
        QCOMPARE(server->isChecked(), !ethernet);
        QCOMPARE(eth->isChecked(), ethernet);
        QVERIFY(actionByText(&w, QStringLiteral("Cambio server : 10.1.2.3")));
        if (!ethernet)
            return;
        // Item 0 switches to the server and stores the choice.
        server->trigger();
        QVERIFY(!w.ethernetMedium());
        QVERIFY(server->isChecked());
        QVERIFY(!eth->isChecked());
        QVERIFY(!w.commState().link);
        QVERIFY(readAll(settingsPath()).contains("MediumType = Pontis\r\n"));
    }

    void lastDeviceUnlocksTheCommands_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("ethernetLine");
        QTest::newRow("CAN line") << "Default.XML" << false;
        QTest::newRow("Ethernet line") << "DefaultEth.XML" << true;
    }

    void lastDeviceUnlocksTheCommands()
    {
        QFETCH(QString, device);
        QFETCH(bool, ethernetLine);
        const QString sample = startOnSample(device);
        if (sample.isEmpty())
            QSKIP("sample device not found");
        const QDateTime past = QDateTime::currentDateTime().addDays(-1);
        QVERIFY(setModified(settingsPath(), past));
        const QByteArray before = readAll(settingsPath());
        BoxAnswerer closer;
        {
            MainAppl w;
            w.show();
            QTRY_VERIFY(w.menuBar()->isEnabled());
            QCOMPARE(w.devicePath(), sample);
            QVERIFY(!w.device().noLoggerTable);
            QVERIFY(!w.device().channels.isEmpty());
            auto *deviceLabel = w.centralWidget()->findChild<QLabel *>(QStringLiteral("lbl_device_name"));
            QVERIFY(deviceLabel);
            QVERIFY2(deviceLabel->text().endsWith(device), qPrintable(deviceLabel->text()));
            for (const char *text : {"Nuova configurazione", "Apri configurazione", "Salva configurazione",
                                     "Impostazione 0 canali", "Invia configurazione", "Ricevi configurazione",
                                     "Ricevi dati", "Ricevi dati - pitlane", "Cambio server : locale"})
                QVERIFY2(actionByText(&w, QString::fromLatin1(text))->isEnabled(), text);
            QCOMPARE(actionByText(&w, QStringLiteral("Cerca ECU Eth"))->isEnabled(), !ethernetLine);
            QCOMPARE(actionByText(&w, QStringLiteral("Cambio interfaccia Ethernet : ") + interfaceLabel(w))->isEnabled(),
                     !ethernetLine);
            QMenu *comm = w.menuBar()->findChild<QMenu *>(QStringLiteral("communication"));
            QCOMPARE(comm->actions().at(1)->isEnabled(), !ethernetLine);
            w.close();
        }
        // Loading the device it started with, then closing, is no change worth a write.
        QCOMPARE(QFileInfo(settingsPath()).lastModified(), past);
        QCOMPARE(readAll(settingsPath()), before);
        QVERIFY2(closer.texts.isEmpty(), qPrintable(closer.texts.join(QLatin1Char('\n'))));
    }

    void snapshotSavedAndReopenedThroughTheWindow()
    {
        if (startOnSample(QStringLiteral("Default.XML")).isEmpty())
            QSKIP("sample device not found");
        MainAppl::setSnapshotChooser(&chooseSnapshot);
        BoxAnswerer closer;
        {
            MainAppl w;
            QTRY_VERIFY(w.menuBar()->isEnabled());
            auto *selection = w.findChild<ChannelsSelection *>();
            QVERIFY(selection);
            QVERIFY(QMetaObject::invokeMethod(selection, "addChannel"));
            QCOMPARE(w.device().selected.size(), 1);
            const QByteArray code = w.device().selected.first()->uniqueCode;

            g_snapshotName = m_dir->filePath("mine.txt");
            QVERIFY(QMetaObject::invokeMethod(&w, "salvaSnapshot"));
            QVERIFY(QFile::exists(m_dir->filePath("mine.txt.spt")));
            QVERIFY(w.menuBar()->isEnabled());

            QVERIFY(QMetaObject::invokeMethod(&w, "reimportaDeviceXML"));
            QVERIFY(w.device().selected.isEmpty());

            g_snapshotName = m_dir->filePath("mine.txt.spt");
            QVERIFY(QMetaObject::invokeMethod(&w, "apriSnapshot"));
            QCOMPARE(w.device().selected.size(), 1);
            QCOMPARE(w.device().selected.first()->uniqueCode, code);
            QCOMPARE(w.settingsCopy().lastPathSnapshot, QDir::toNativeSeparators(m_dir->path()));
        }
        MainAppl::setSnapshotChooser(nullptr);
        QVERIFY2(closer.texts.isEmpty(), qPrintable(closer.texts.join(QLatin1Char('\n'))));
        // The snapshot folder is one of the four settings saved at exit.
        QVERIFY(readAll(settingsPath()).contains("LastPathSnapshot = " + QDir::toNativeSeparators(m_dir->path()).toLocal8Bit() + "\r\n"));
    }

    void englishTranslationReplacesTheTexts()
    {
        QTranslator translator;
        const QString qm = QString::fromLocal8Bit(qgetenv("BRISCA_BIN_DIR")) + QStringLiteral("/brisca_en.qm");
        if (!translator.load(qm))
            QSKIP("brisca_en.qm not built");
        QCoreApplication::installTranslator(&translator);
        MainAppl w;
        QCoreApplication::removeTranslator(&translator);
        QVERIFY(actionByText(&w, QStringLiteral("Select Device")));
        QVERIFY(actionByText(&w, QStringLiteral("About Brisca")));
        QVERIFY(actionByText(&w, QStringLiteral("Change server : local")));
        if (interfaceLabel(w) == QLatin1String("nessuna"))
            QVERIFY(actionByText(&w, QStringLiteral("Change Ethernet interface : none")));
        QStringList titles;
        for (QAction *a : w.menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, QStringList({"&File", "&Commands", "C&ommunication", "&Info"}));
        // The medium prefixes stay as they are.
        QMenu *comm = w.menuBar()->findChild<QMenu *>(QStringLiteral("communication"));
        QCOMPARE(comm->actions().at(0)->text(), QStringLiteral("Pontis : local"));
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

    void optionsUntouchedOkWritesLoadedValues()
    {
        const auto ini = settings("[Default]\r\nDefaultFormat = MDF\r\nLastPathAllDevice = /\r\n"
                                  "LastDeviceName = /dev.xml\r\n");
        DialogDataOptions dialog(ini.get());
        // DeleteAfterDownload is absent: the box starts checked.
        QVERIFY(child<QCheckBox>(&dialog, "cmbBoxAutomaticCanc")->isChecked());
        QVERIFY(child<QRadioButton>(&dialog, "btnSelMDF")->isChecked());
        QCOMPARE(child<QPushButton>(&dialog, "btnSelectPathDevices")->text(), QString());
        child<QPushButton>(&dialog, "btnok")->click();
        const QByteArray text = readAll(settingsPath());
        for (const char *line : {"DeleteAfterDownload = 1\r\n", "DefaultFormat = mdf\r\n",
                                 "LastDeviceName = /dev.xml\r\n", "FilenameDescrMDF = none\r\n",
                                 "MdfAuthor = Default\r\n"})
            QVERIFY2(text.contains(line), line);
    }

    void optionsCancelLeavesFileUntouched()
    {
        const QByteArray original = "; hand written\n[Default]\nMdfAuthor = Me\n";
        const auto ini = settings(original);
        DialogDataOptions dialog(ini.get());
        child<QLineEdit>(&dialog, "lnEdAuthor")->setText(QStringLiteral("Other"));
        child<QPushButton>(&dialog, "btncancel")->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(readAll(settingsPath()), original);
        QCOMPARE(ini->value(QStringLiteral("MdfAuthor")), QStringLiteral("Me"));
    }

    void optionsDeviceFolderChangeForgetsLastDevice_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("forgotten");
        QTest::newRow("same folder again") << "/devices" << false;
        QTest::newRow("chooser cancelled") << "" << false;
        QTest::newRow("another folder") << "/other" << true;
    }

    void optionsDeviceFolderChangeForgetsLastDevice()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, forgotten);
        const auto ini = settings("[Default]\r\nLastPathAllDevice = /devices\r\nLastDeviceName = /devices/a.xml\r\n");
        DialogDataOptions dialog(ini.get());
        g_chosenFolder = chosen;
        DialogDataOptions::setDirectoryChooser(&chooseFixed);
        auto *button = child<QPushButton>(&dialog, "btnSelectPathDevices");
        QCOMPARE(button->text(), QStringLiteral("devices"));
        button->click();
        child<QPushButton>(&dialog, "btnok")->click();

        const auto back = settings();
        const QString prog = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
        QCOMPARE(back->value(QStringLiteral("LastDeviceName")),
                 forgotten ? prog + QDir::separator() + QStringLiteral("Default.XML") : QStringLiteral("/devices/a.xml"));
        QCOMPARE(back->value(QStringLiteral("LastPathAllDevice")), forgotten ? chosen : QStringLiteral("/devices"));
    }

    void optionsDescriptionsFollowTheNameFormat()
    {
        const auto ini = settings("[Default]\r\nFilenameFormatMDF = 1\r\nFilenameFormat2D = 0\r\n");
        DialogDataOptions dialog(ini.get());
        auto *mdfEdit = child<QLineEdit>(&dialog, "lnEdFreeDescr");
        auto *edit2D = child<QLineEdit>(&dialog, "lnEdFreeDescr2D");
        QVERIFY(mdfEdit->isVisibleTo(&dialog));
        QVERIFY(!edit2D->isVisibleTo(&dialog));
        for (const auto &[index, shown] : {std::pair(3, false), std::pair(2, true), std::pair(0, false), std::pair(1, true)}) {
            emit child<QComboBox>(&dialog, "cmbBoxMDFNameFormat")->activated(index);
            QCOMPARE(mdfEdit->isVisibleTo(&dialog), shown);
            QCOMPARE(child<QLabel>(&dialog, "lblTxtDescription")->isVisibleTo(&dialog), shown);
        }
        emit child<QComboBox>(&dialog, "cmbBox2DNameFormat")->activated(1);
        QVERIFY(edit2D->isVisibleTo(&dialog));
    }

    void optionsAcceptedReloadsWindowCopies()
    {
        MainAppl w;
        QTRY_VERIFY(w.menuBar()->isEnabled());
        QTimer::singleShot(0, [] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            QCOMPARE(dialog->objectName(), QStringLiteral("dialogDataOptions"));
            dialog->findChild<QLineEdit *>(QStringLiteral("lnEdAuthor"))->setText(QStringLiteral("Verdi"));
            dialog->findChild<QPushButton *>(QStringLiteral("btnok"))->click();
        });
        QVERIFY(QMetaObject::invokeMethod(&w, "dialogOptions"));
        QCOMPARE(w.settingsCopy().mdfAuthor, QStringLiteral("Verdi"));
        QVERIFY(w.menuBar()->isEnabled());
        QVERIFY(w.commandToolBar()->isEnabled());
        QVERIFY(readAll(settingsPath()).contains("MdfAuthor = Verdi\r\n"));
    }

    void aboutBoxShowsNameAndVersion()
    {
        {
            DialogAboutProgram box(nullptr, QStringLiteral("Brisca"), QPixmap(79, 47), QStringLiteral("Brisca"),
                                   QStringLiteral("2.7.2.0 beta"), QString());
            QCOMPARE(box.findChild<QLabel *>(QStringLiteral("lblversappl"))->text(),
                     QStringLiteral("Version : 2.7.2.0 beta"));
            QVERIFY(!box.findChild<QLabel *>(QStringLiteral("lbldescrappl")));
        }
        MainAppl w;
        QTimer::singleShot(0, [] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            QCOMPARE(box->findChild<QLabel *>(QStringLiteral("lblversappl"))->text(),
                     QStringLiteral("Version : ") + QStringLiteral(BRISCA_VERSION));
            QCOMPARE(box->findChild<QLabel *>(QStringLiteral("lbldescrappl"))->text(),
                     QStringLiteral("ORV's Logger Tool"));
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
                                             + "\r\nLastPathAllDevice = /\r\nLastPathSnapshot = /\r\n"
                                               "Server_IP = 127.0.0.1\r\n"))
            return QString();
        return sample;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestMainAppl)
#include "tst_mainappl.moc"
