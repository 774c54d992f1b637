// The logger commands driven through the window, offscreen, against the
// communication server and the simulated logger of the sample ECU on a thread
// of this process: a whole session, and the faults a pit lane meets.
#include "channelsselection.h"
#include "ecuserver.h"
#include "sim/ecusimulator.h"
#include "loggerprotocol.h"
#include "mainappl.h"
#include "registrykey.h"
#include "serverpresence.h"
#include "waitdialog.h"
#include "zerodialog.h"

#include "boxanswerer.h"
#include "netns.h"
#include "testfiles.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QToolBar>
#include <QTreeWidget>
#include <QtEndian>
#include <QtTest>

namespace {
const QString kClass = QStringLiteral("BriscaSessionTest%1").arg(QCoreApplication::applicationPid());
const QString kWindow = QStringLiteral("Server");

// Closes wait dialogs that show an error, keeping their texts.
class WaitCloser : public QObject
{
public:
    WaitCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal && modal->objectName() == QLatin1String("selExportDataDialog")) {
                ++exports;
                static_cast<QDialog *>(modal)->accept();
                return;
            }
            if (auto *files = qobject_cast<QFileDialog *>(modal)) {
                files->selectFile(pick);
                QMetaObject::invokeMethod(files, "accept");
                return;
            }
            auto *d = qobject_cast<WaitDialog *>(modal);
            auto *ok = d ? d->findChild<QPushButton *>(QStringLiteral("btnok")) : nullptr;
            if (!ok || !ok->isEnabled())
                return;
            texts << d->findChild<QLabel *>(QStringLiteral("lblmsg"))->text();
            details << d->findChild<QLabel *>(QStringLiteral("lbldetail"))->text();
            ok->click();
        });
        m_timer.start(5);
    }
    QStringList texts, details;
    int exports = 0;
    QString pick; // answer of a file dialog

private:
    QTimer m_timer;
};

// The selection (unique code and period, sorted) and the trigger, as text.
QStringList configurationOf(const MainAppl &w, const TriggerSettings &t)
{
    QStringList c;
    for (const ChannelRecord *ch : w.device().selected)
        c << QString::fromLatin1(ch->uniqueCode) + QLatin1Char(':') + QString::number(ch->periodMs);
    c.sort();
    c << QStringLiteral("trigger %1 %2 %3 %4 %5").arg(t.type).arg(t.delay).arg(t.lowThreshold).arg(t.highThreshold)
                                       .arg(QString::fromLatin1(t.channel ? t.channel->uniqueCode : QByteArray()));
    return c;
}
} // namespace

class TestLoggerSession : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QThread m_serverThread;
    std::unique_ptr<EcuSimulator> m_sim;
    EcuServer *m_server = nullptr;

    template <typename F> void onServer(F f) { QMetaObject::invokeMethod(m_server, f, Qt::BlockingQueuedConnection); }
    QByteArray control(const QByteArray &line)
    {
        QByteArray answer;
        onServer([&] { answer = m_sim->control(line); });
        return answer;
    }
    QString dumpFolder() const { return m_dir.filePath(QStringLiteral("appdata/Orvotek/Brisca")); }
    QStringList dumps() const { return QDir(dumpFolder()).entryList({QStringLiteral("dump*.bin")}, QDir::Files); }
    static bool addChannels(MainAppl &w, const QStringList &labels)
    {
        auto *selection = w.findChild<ChannelsSelection *>();
        for (const QString &label : labels) {
            selection->findVar(label);
            if (!QMetaObject::invokeMethod(selection, "addChannel"))
                return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        const QString source = qEnvironmentVariable("BRISCA_SOURCE_DIR");
        SimDescription description;
        QString error;
        if (!loadSimDescription(source + QStringLiteral("/samples/sample_ecu.json"), description, &error))
            QSKIP(qPrintable(error));
        m_sim = std::make_unique<EcuSimulator>(description);
        if (!m_sim->logger())
            QSKIP("the sample ECU has no simulated logger");
        m_serverThread.start();
        m_server = new EcuServer(*m_sim);
        m_server->moveToThread(&m_serverThread);
        bool listening = false;
        quint16 port = 0;
        onServer([&] {
            listening = m_server->listen(QHostAddress::LocalHost, 0, Platform::serverSocketName(kClass, kWindow), &error);
            port = m_server->port();
        });
        QVERIFY2(listening, qPrintable(error));
        MainAppl::setServerPort(port);
        const QString registry = m_dir.filePath(QStringLiteral("registry.ini"));
        QVERIFY(TestFiles::writeAll(registry, QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\n"
                                                             "FileName = /nonexistent\nClass = %1\nWinName = %2\n")
                                                  .arg(kClass, kWindow).toLocal8Bit()));
        RegistryKey::setStorePath(registry);
        qputenv("APPDATA", m_dir.filePath(QStringLiteral("appdata")).toLocal8Bit());
        MainAppl::setSettingsFilePath(m_dir.filePath(QStringLiteral("brisca.ini")));
        // The logger's clock moves only when told to.
        QVERIFY(control("logger clock manual").startsWith("ok"));
    }

    void cleanupTestCase()
    {
        if (m_server)
            onServer([s = m_server] { delete s; });
        m_serverThread.quit();
        m_serverThread.wait();
    }

    void init()
    {
        QVERIFY(control("faults none").startsWith("ok"));
        const QByteArray device = qgetenv("BRISCA_SOURCE_DIR") + "/samples/Default.XML";
        QVERIFY(TestFiles::writeAll(m_dir.filePath(QStringLiteral("brisca.ini")),
                                    "[Default]\r\nLastDeviceName = " + device
                                        + "\r\nServer_IP = 127.0.0.1\r\nDeleteAfterDownload = 0\r\nLastPath_MDF = "
                                        + m_dir.filePath(QStringLiteral("mdf")).toLocal8Bit() + "\r\nLastPath_2D = "
                                        + m_dir.filePath(QStringLiteral("2d")).toLocal8Bit() + "\r\n"));
        // One event in each format, so the export dialog asks for none.
        QDir(m_dir.filePath(QStringLiteral("mdf"))).removeRecursively();
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("mdf/evento")))
                && QDir().mkpath(m_dir.filePath(QStringLiteral("2d/evento"))));
    }

    void sendLogAndDownloadThroughTheWindow_data()
    {
        QTest::addColumn<bool>("ethernet");
        QTest::newRow("server") << false;
        QTest::newRow("raw Ethernet") << true;
    }

    void sendLogAndDownloadThroughTheWindow()
    {
        QFETCH(bool, ethernet);
        EcuNetwork net;
        std::function<QByteArray(const QByteArray &)> ecuControl = [this](const QByteArray &l) { return control(l); };
        if (ethernet) {
            if (const QString why = EcuNetwork::unavailableReason(); !why.isEmpty())
                QSKIP(qPrintable(why));
            QString error;
            QVERIFY2(net.setUp(&error), qPrintable(error));
            const QString description = qEnvironmentVariable("BRISCA_SOURCE_DIR") + "/samples/sample_ecu.json";
            QVERIFY2(net.startEcu({"--description", description}, &error) == 0, qPrintable(error));
            ecuControl = [&net](const QByteArray &l) {
                QByteArray answer;
                return net.command(0, l, &answer) ? answer : QByteArray();
            };
            QVERIFY(ecuControl("logger clock manual").startsWith("ok"));
            QVERIFY(TestFiles::writeAll(m_dir.filePath(QStringLiteral("brisca.ini")),
                                        TestFiles::readAll(m_dir.filePath(QStringLiteral("brisca.ini")))
                                            + "MediumType = Ethernet\r\nSystemNameNIC = "
                                            + net.hostInterface().toLocal8Bit() + "\r\n"));
        }
        BoxAnswerer keepData(QMessageBox::No); // the memory stays for the comparison
        WaitCloser errors;
        MainAppl w;
        QTRY_VERIFY(w.menuBar()->isEnabled());
        QVERIFY(addChannels(w, {QStringLiteral("Giri motore"), QStringLiteral("Velocita"), QStringLiteral("Marcia")}));
        auto *selection = w.findChild<ChannelsSelection *>();
        QCOMPARE(w.device().selected.size(), 3);
        auto *type = selection->findChild<QComboBox *>(QStringLiteral("cmbox_tipo_trigger"));
        type->setCurrentIndex(3);
        emit type->activated(3);
        auto *channel = selection->findChild<QComboBox *>(QStringLiteral("cmbox_scelta_canale"));
        channel->setCurrentIndex(channel->findText(QStringLiteral("Giri motore")));
        emit channel->textActivated(channel->currentText());
        selection->findChild<QLineEdit *>(QStringLiteral("le_soglia_min"))->setText(QStringLiteral("0"));
        selection->findChild<QLineEdit *>(QStringLiteral("le_soglia_max"))->setText(QStringLiteral("1"));
        selection->findChild<QLineEdit *>(QStringLiteral("le_ritardo"))->setText(QStringLiteral("0.2"));

        QVERIFY(QMetaObject::invokeMethod(&w, "sendConf"));
        QVERIFY2(errors.texts.isEmpty(), qPrintable(errors.texts.join('\n')));
        QVERIFY2(keepData.texts.isEmpty(), qPrintable(keepData.texts.join('\n')));
        const QStringList sent = configurationOf(w, selection->getTrigger());
        QVERIFY(ecuControl("logger run 3").startsWith("ok"));

        // A fresh device: the download alone must bring the configuration back.
        QVERIFY(QMetaObject::invokeMethod(&w, "reimportaDeviceXML"));
        QVERIFY(w.device().selected.isEmpty());
        QVERIFY(QMetaObject::invokeMethod(&w, "readDataLogged"));
        QVERIFY2(errors.texts.isEmpty(), qPrintable(errors.texts.join('\n')));
        QCOMPARE(keepData.texts, QStringList({"Dopo il download dei dati memorizzati,\nli vuoi cancellare dalla ECU???"}));
        QVERIFY(w.menuBar()->isEnabled() && w.commandToolBar()->isEnabled());
        QCOMPARE(w.ethernetMedium(), ethernet);

        LoggerProtocol *protocol = w.loggerProtocol();
        const quint32 n = protocol->bytesDownloaded();
        QVERIFY(n > 0);
        const QString memory = m_dir.filePath(QStringLiteral("memory.bin"));
        QVERIFY(ecuControl("logger dump " + memory.toLocal8Bit()).startsWith("ok"));
        // The restart after the download may already have opened a new run.
        const QByteArray ecu = TestFiles::readAll(memory).left(int(n));
        QCOMPARE(ecu.size(), int(n));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(protocol->dataBuffer()), int(n)), ecu);

        // The dump holds the same bytes after its read-back block.
        const QByteArray dump = TestFiles::readAll(w.lastDumpPath());
        QVERIFY(dump.size() > 36);
        const quint32 l1 = qFromBigEndian<quint32>(dump.constData() + 28);
        QCOMPARE(dump.mid(36 + int(l1), int(n)), ecu);

        QCOMPARE(configurationOf(w, w.device().trigger), sent);

        // The live export, and the same dump converted again, give the same MDF
        // file but for the date and time of writing in the header block.
        QCOMPARE(errors.exports, 1);
        const QString mdfDir = m_dir.filePath(QStringLiteral("mdf/evento"));
        const QStringList live = QDir(mdfDir).entryList({QStringLiteral("*.mdf")}, QDir::Files);
        QCOMPARE(live.size(), 1);
        QByteArray first = TestFiles::readAll(mdfDir + QLatin1Char('/') + live.first());
        QVERIFY(first.startsWith("MDF     3.30"));
        QVERIFY(QFile::remove(mdfDir + QLatin1Char('/') + live.first()));
        errors.pick = w.lastDumpPath();
        QVERIFY(QMetaObject::invokeMethod(&w, "convertiUltimoDump"));
        QCOMPARE(errors.exports, 2);
        const QStringList again = QDir(mdfDir).entryList({QStringLiteral("*.mdf")}, QDir::Files);
        QCOMPARE(again.size(), 1);
        QByteArray second = TestFiles::readAll(mdfDir + QLatin1Char('/') + again.first());
        QCOMPARE(second.size(), first.size());
        constexpr int DateAndTime = 64 + 24, DateAndTimeSize = 18;
        QCOMPARE(second.remove(DateAndTime, DateAndTimeSize), first.remove(DateAndTime, DateAndTimeSize));
        QVERIFY(w.menuBar()->isEnabled() && w.commandToolBar()->isEnabled());
        QCOMPARE(protocol->bytesDownloaded(), n); // the live download is back
        QVERIFY2(errors.texts.isEmpty(), qPrintable(errors.texts.join('\n')));
    }

    void pitlaneWaitsForTheEcuAndCanBeLeft()
    {
        BoxAnswerer boxes(QMessageBox::No);
        WaitCloser waits;
        MainAppl w;
        QTRY_VERIFY(w.menuBar()->isEnabled());
        QVERIFY(control("faults absent").startsWith("ok"));
        const QStringList before = dumps();
        // "Annulla" while the ECU stays away: no download follows.
        QTimer::singleShot(300, [] {
            if (auto *dialog = qobject_cast<WaitDialog *>(QApplication::activeModalWidget()))
                dialog->findChild<QPushButton *>(QStringLiteral("btn_cancel"))->click();
        });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(QMetaObject::invokeMethod(&w, "downloadAutomatico"));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(dumps(), before);
        // The ECU coming back starts the download at once.
        QTimer::singleShot(300, this, [this] { control("faults none"); });
        QVERIFY(QMetaObject::invokeMethod(&w, "downloadAutomatico"));
        QCOMPARE(dumps().size(), before.size() + 1);
        QVERIFY(w.menuBar()->isEnabled() && w.commandToolBar()->isEnabled());
    }

    void zeroTakesTheLiveValue()
    {
        BoxAnswerer boxes;
        WaitCloser waits;
        MainAppl w;
        QTRY_VERIFY(w.menuBar()->isEnabled());
        QVERIFY(addChannels(w, {QStringLiteral("Giri motore")}));
        const_cast<ChannelRecord *>(w.device().selected.first())->zeroable = true;
        QVERIFY(QMetaObject::invokeMethod(&w, "sendConf"));
        // The ECU variable is pinned at 01 2C.
        const ChannelRecord &rpm = *w.device().selected.first();
        onServer([&] { m_sim->write(m_sim->mainSpace(), rpm.address, QByteArray("\x01\x2c", 2)); });
        QString shown;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<ZeroDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("lstvu_zero_var"));
            list->topLevelItem(0)->setCheckState(0, Qt::Checked);
            QTimer::singleShot(4 * ZeroDialog::TickMs, [list, &shown] {
                shown = list->topLevelItem(0)->text(4);
                list->window()->findChild<QPushButton *>(QStringLiteral("btn_ok"))->click();
            });
        });
        poll.start(10);
        QVERIFY(QMetaObject::invokeMethod(&w, "impostaZero"));
        QCOMPARE(shown, QStringLiteral("75")); // 300 * 0.25 rpm
        QCOMPARE(w.device().selected.value(0)->zeroValue, 300u);
        QVERIFY2(boxes.texts.isEmpty() && waits.texts.isEmpty(), qPrintable((boxes.texts + waits.texts).join('\n')));
        onServer([&] { m_sim->unpinVariables(); });
    }

    void faultsEndWithTheirMessage_data()
    {
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("dump");

        QTest::newRow("ECU gone before the command") << QByteArray("faults absent") << QByteArray("readDataLogged")
                                                     << "Interfaccia non connessa!!!" << false;
        QTest::newRow("ECU gone mid-download")
            << QByteArray("faults vanish=300") << QByteArray("readDataLogged")
            << "Errore nella lettura della configurazione e della memoria logger\n"
               "Dati logger della memoria ECU non ricevuti! - 4"
            << true;
        QTest::newRow("lock held by another client")
            << QByteArray("faults lockheld") << QByteArray("readDataLogged")
            << "Errore nella lettura della configurazione e della memoria logger\n"
               "Lock del server non riuscito nel tempo previsto - 8"
            << true;
        QTest::newRow("slow clear") << QByteArray("faults noclear") << QByteArray("sendConf")
                                    << "Errore nell'invio della configurazione\n"
                                       "Scaduto il timeout per la cancellazione della memoria flash! - 5"
                                    << false;
        QTest::newRow("corrupt read-back") << QByteArray("faults badsum") << QByteArray("sendConf")
                                           << "Errore nell'invio della configurazione\nChecksum errata! - 4" << false;
    }

    void faultsEndWithTheirMessage()
    {
        QFETCH(QByteArray, fault);
        QFETCH(QByteArray, command);
        QFETCH(QString, message);
        QFETCH(bool, dump);
        BoxAnswerer boxes;
        WaitCloser waits;
        MainAppl w;
        QTRY_VERIFY(w.menuBar()->isEnabled());
        QVERIFY(addChannels(w, {QStringLiteral("Giri motore")}));
        if (command == "readDataLogged") {
            QVERIFY(QMetaObject::invokeMethod(&w, "sendConf"));
            QVERIFY(control("logger run 2").startsWith("ok"));
        }
        const QStringList before = dumps();
        QVERIFY(control(fault).startsWith("ok"));
        QVERIFY(QMetaObject::invokeMethod(&w, command.constData()));
        QVERIFY(control("faults none").startsWith("ok"));

        QCOMPARE(boxes.texts + waits.texts, QStringList({message}));
        QVERIFY(w.menuBar()->isEnabled());
        QVERIFY(w.commandToolBar()->isEnabled());
        QCOMPARE(dumps().size(), before.size() + (dump ? 1 : 0));
        if (dump) {
            QVERIFY(QFile::exists(w.lastDumpPath()));
            const quint32 arrived = w.loggerProtocol()->bytesDownloaded();
            QVERIFY2(waits.details.value(0).contains(QString::number(arrived)), qPrintable(waits.details.value(0)));
        }
    }
};

QTEST_MAIN(TestLoggerSession)
#include "tst_loggersession.moc"
