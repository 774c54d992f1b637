// Communication setup: medium switches, settings written, labels, the link
// replaced, what the user is told, and the three dialogs.

#include "commsetup.h"
#include "communicationmedium.h"
#include "dialogchangeserver.h"
#include "dialogselectecufromlist.h"
#include "ethernetlink.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {
struct FakeSettings : SettingsStore
{
    bool hasDefault = true;
    QMap<QString, QString> values;
    int saves = 0;
    bool hasGroup(const QString &group) const override { return hasDefault && group == QLatin1String("Default"); }
    void writeEntry(const QString &, const QString &key, const QString &value) override { values[key] = value; }
    bool save() override { return ++saves; }
};

struct FakeView : CommView
{
    QList<bool> serverEnabled, interfaceEnabled;
    QString serverText, interfaceText, itemText[2], ecuText = QStringLiteral("untouched");
    bool checked[2] = {false, false};
    bool ecuVisible = false;
    void setServerActionEnabled(bool e) override { serverEnabled << e; }
    void setInterfaceActionEnabled(bool e) override { interfaceEnabled << e; }
    void setServerActionText(const QString &t) override { serverText = t; }
    void setInterfaceActionText(const QString &t) override { interfaceText = t; }
    void setMediumItemText(int i, const QString &t) override { itemText[i] = t; }
    void setMediumItemChecked(int i, bool c) override { checked[i] = c; }
    void setEcuLabel(bool v, const QString &t) override { ecuVisible = v; ecuText = t; }
};

struct FakeDialogs : CommDialogs
{
    bool accept = true;
    QString newAddress = QStringLiteral("10.0.0.5");
    bool seenMediumIsServer = false;
    QStringList messages;
    bool changeServer(QString &address, const QStringList &, bool mediumIsServer) override
    {
        seenMediumIsServer = mediumIsServer;
        address = accept ? newAddress : address;
        return accept;
    }
    bool selectInterface(int &index, const QStringList &) override { return index = accept ? 1 : index, accept; }
    int selectEcu(const QList<EcuInfo> &) override { return 0; }
    void showMessage(bool warning, const QString &text) override { messages << (warning ? "! " : "i ") + text; }
};

// Capabilities belong to a thread, and threads it starts inherit them: this
// thread and its links act as a user without CAP_NET_RAW.
bool dropNetRawInThisThread()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective &= ~(1u << CAP_NET_RAW);
    return syscall(SYS_capset, &header, data) == 0;
}

// Closes the next modal window that opens, after noting its last label.
void closeNextModal(QString *seenText)
{
    QTimer::singleShot(50, [seenText] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            *seenText = w->findChildren<QLabel *>().value(w->findChildren<QLabel *>().size() - 1)->text();
            w->close();
        }
    });
}
} // namespace

class TestCommSetup : public QObject
{
    Q_OBJECT
private:
    CommState state;
    FakeSettings settings;
    FakeView view;
    FakeDialogs dialogs;
    CommunicationMedium *medium = nullptr;
    CommSetup *setup = nullptr;
    QStringList linkNames;
    QByteArray linkMac;

private slots:
    void init()
    {
        state = CommState();
        state.nicNames = {QStringLiteral("eth0"), QStringLiteral("eth1")};
        state.nicDescriptions = {QStringLiteral("Scheda 0"), QStringLiteral("Scheda 1")};
        state.nicSystemName = QStringLiteral("eth0");
        settings = FakeSettings();
        view = FakeView();
        dialogs = FakeDialogs();
        linkNames.clear();
        medium = new CommunicationMedium(&state.ethernetMedium, &state.link, QStringLiteral("/nonexistent/libX.so"));
        setup = new CommSetup(state, *medium, &settings, &view, &dialogs);
        setup->setLinkFactory([this](const QString &name, const quint8 *mac) {
            linkNames << name;
            linkMac = QByteArray(reinterpret_cast<const char *>(mac), 6);
            return new EthernetLink(name, mac, 10, 1000); // not started: no capture in unit tests
        });
        setup->setMacFinder([](const QString &, quint8 mac[6]) { memcpy(mac, "\x00\x11\x22\x33\x44\x55", 6); });
        setup->setInterfaceLister([](QStringList &names, QStringList &descriptions) {
            names << QStringLiteral("eth0") << QStringLiteral("eth1");
            descriptions << QStringLiteral("Scheda 0") << QStringLiteral("Scheda 1");
        });
    }
    void cleanup()
    {
        setup->dropLink();
        delete setup;
        delete medium;
    }

    void startUpReplacesAVanishedInterfaceByTheFirst_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("medium");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("used");
        QTest::newRow("present, Ethernet") << "eth1" << "ethernet" << 1 << "eth1";
        QTest::newRow("gone, Ethernet") << "eth9" << "ethernet" << 0 << "eth0";
        QTest::newRow("none yet, server") << "{}" << "pontis" << 0 << "eth0";
    }
    void startUpReplacesAVanishedInterfaceByTheFirst()
    {
        QFETCH(QString, stored);
        QFETCH(QString, medium);
        QFETCH(int, index);
        QFETCH(QString, used);
        state.nicSystemName = stored;
        state.mediumType = medium;
        setup->startUp();
        QCOMPARE(state.nicIndex, index);
        QCOMPARE(state.nicSystemName, used);
        QCOMPARE(linkNames, state.ethernetMedium ? QStringList{used} : QStringList());
    }

    void choosingAServerSwitchesToItAndForgetsTheEcu()
    {
        state.mediumType = QStringLiteral("ethernet");
        setup->selectEthernetInterface();
        state.ecuSelected = true;
        setup->selectServer();
        QCOMPARE(dialogs.seenMediumIsServer, false);
        QVERIFY(!state.ethernetMedium && !state.ecuSelected && !state.link); // the link ends with Ethernet
        QCOMPARE(state.mediumType, QStringLiteral("pontis"));
        QCOMPARE(settings.values, (QMap<QString, QString>{{"Server_IP", "10.0.0.5"}, {"MediumType", "Pontis"}}));
        QCOMPARE(view.serverText, QStringLiteral("Server :10.0.0.5"));
        QCOMPARE(view.itemText[0], QStringLiteral("Server :10.0.0.5"));
        QVERIFY(view.checked[0] && !view.checked[1] && !view.ecuVisible);
        QCOMPARE(view.serverEnabled, QList<bool>({false, true}));
        dialogs.newAddress = QStringLiteral("127.0.0.1");
        setup->selectServer();
        QCOMPARE(view.serverText, QStringLiteral("Server :locale"));
    }

    void nothingIsSavedWhenRejectedOrWithoutDefaultGroup_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("hasDefault");
        QTest::newRow("dialogs rejected: nothing changes") << false << true;
        QTest::newRow("no Default group: the choice itself still counts") << true << false;
    }
    void nothingIsSavedWhenRejectedOrWithoutDefaultGroup()
    {
        QFETCH(bool, accept);
        QFETCH(bool, hasDefault);
        dialogs.accept = accept;
        settings.hasDefault = hasDefault;
        state.ethernetMedium = true;
        setup->selectServer();
        QCOMPARE(state.serverHost, accept ? QStringLiteral("10.0.0.5") : QStringLiteral("127.0.0.1"));
        setup->selectEthInterface();
        QCOMPARE(linkNames.size(), accept ? 1 : 0);
        QCOMPARE(view.interfaceEnabled, QList<bool>({false, true}));
        QVERIFY(settings.values.isEmpty());
        QCOMPARE(settings.saves, 0);
    }

    void choosingAnInterfaceReplacesTheLinkEvenWhenItIsTheSame()
    {
        setup->selectEthInterface();
        setup->selectEthInterface();
        QCOMPARE(linkNames, QStringList({"eth1", "eth1"}));
        QCOMPARE(linkMac, QByteArray::fromHex("001122334455"));
        QCOMPARE(state.mediumType, QStringLiteral("ethernet"));
        QCOMPARE(settings.values, (QMap<QString, QString>{{"SystemNameNIC", "eth1"}, {"MediumType", "Ethernet"}}));
        QCOMPARE(view.interfaceText, QStringLiteral("Interfaccia Ethernet :Scheda 1"));
        QCOMPARE(view.itemText[1], QStringLiteral("Ethernet :Scheda 1"));
        QVERIFY(!view.checked[0] && view.checked[1] && view.ecuVisible);
        QCOMPARE(view.ecuText, QStringLiteral("Seriale ECU : "));
        state.nicSystemName = QStringLiteral("{}");
        QCOMPARE(setup->interfaceLabel(), QStringLiteral("nessuna"));
        QVERIFY(dialogs.messages.isEmpty()); // links that never started are no failure
    }

    void switchingMediaUsesTheChosenInterfaceAndKeptMac()
    {
        state.nicIndex = 1;
        memcpy(state.hostMac, "\xAA\xBB\xCC\xDD\xEE\xFF", 6);
        setup->selectEthernetInterface();
        QCOMPARE(linkNames, QStringList{"eth1"});
        QCOMPARE(linkMac, QByteArray::fromHex("aabbccddeeff"));
        QCOMPARE(settings.values, (QMap<QString, QString>{{"MediumType", "Ethernet"}}));
        setup->selectServerInterface();
        QVERIFY(!state.link && !state.ethernetMedium);
        QCOMPARE(settings.values.value("MediumType"), QStringLiteral("Pontis"));
        QVERIFY(view.checked[0] && !view.checked[1]);
    }

    void realLinksAreReplacedQuicklyOrTheirFailureIsTold()
    {
        if (geteuid() != 0)
            QSKIP("needs root to capture on the loopback interface");
        CommSetup real(state, *medium, &settings, &view, &dialogs); // default factory: real, started links
        state.nicNames = {QStringLiteral("lo"), QStringLiteral("brisca-no-such-if")};
        QElapsedTimer t;
        for (int i = 0; i < 3; ++i) {
            t.start();
            real.selectEthernetInterface();
            QVERIFY2(state.link->waitUntilReady(3000), qPrintable(state.link->captureError()));
            QVERIFY(t.elapsed() < 3000);
        }
        QVERIFY(dialogs.messages.isEmpty());
        t.start();
        real.selectServerInterface(); // a quiet capture must still stop at once
        QVERIFY(!state.link && t.elapsed() < 1000);
        state.nicIndex = 1;
        real.selectEthernetInterface();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages[0].startsWith("! Impossibile aprire l'interfaccia brisca-no-such-if: "),
                 qPrintable(dialogs.messages[0]));
        state.nicIndex = 0;
        bool dropped = false;
        std::thread([&] {
            if ((dropped = dropNetRawInThisThread()))
                real.selectEthernetInterface();
        }).join();
        QVERIFY(dropped);
        QCOMPARE(dialogs.messages.size(), 2);
        QVERIFY2(dialogs.messages[1].startsWith("! Impossibile aprire l'interfaccia lo: servono i permessi di root")
                     && dialogs.messages[1].contains("setcap cap_net_raw,cap_net_admin+eip "),
                 qPrintable(dialogs.messages[1]));
    }

    void ecuSearchWithoutAnswerForgetsTheEcu_data()
    {
        QTest::addColumn<bool>("ethernet");
        QTest::addColumn<bool>("report");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("on the server: nothing shown") << false << true << QStringList();
        QTest::newRow("on Ethernet: said so") << true << true << QStringList{"i Nessuna ECU trovata"};
        QTest::newRow("on Ethernet at start-up: silent") << true << false << QStringList();
    }
    void ecuSearchWithoutAnswerForgetsTheEcu()
    {
        QFETCH(bool, ethernet);
        QFETCH(bool, report);
        QFETCH(QStringList, messages);
        state.mediumType = ethernet ? QStringLiteral("ethernet") : QStringLiteral("pontis");
        state.ethernetMedium = ethernet;
        state.ecuSelected = true;
        setup->listECUsOnNetwork(report);
        QVERIFY(!state.ecuSelected && state.ecuNumber.isEmpty());
        QCOMPARE(view.ecuText, ethernet ? QStringLiteral("Seriale ECU : ") : QStringLiteral("untouched"));
        QCOMPARE(dialogs.messages, messages);
    }

    void ecuNumberIsTheLastTwoMacBytes()
    {
        QCOMPARE(CommSetup::ecuNumberText(reinterpret_cast<const quint8 *>("\x02\0\0\0\x01\x2C")), QStringLiteral("300"));
        QCOMPARE(CommSetup::ecuNumberText(reinterpret_cast<const quint8 *>("\0\0\0\0\xFF\xFF")), QStringLiteral("65535"));
    }

    // --- dialogs

    void typedAddressIsCheckedBeforeItIsTaken_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("fromServer");
        QTest::addColumn<int>("result");
        QTest::newRow("256.1.1.1") << "256.1.1.1" << true << -1;
        QTest::newRow("192.168.0.10") << "192.168.0.10" << true << int(QDialog::Accepted);
        QTest::newRow("unchanged on the server: rejected") << "127.0.0.1" << true << int(QDialog::Rejected);
        QTest::newRow("unchanged from Ethernet: a change of medium") << "127.0.0.1" << false << int(QDialog::Accepted);
    }
    void typedAddressIsCheckedBeforeItIsTaken()
    {
        QFETCH(QString, typed);
        QFETCH(bool, fromServer);
        QFETCH(int, result);
        QString address = QStringLiteral("127.0.0.1");
        DialogChangeServer dialog(&address, {}, fromServer);
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("leipaddress"));
        QVERIFY(!edit->isEnabled());
        dialog.cambioServer(1);
        QVERIFY(edit->isEnabled());
        QTest::keyClicks(edit, typed); // through the input mask
        QCOMPARE(dialog.editedAddress(), typed);
        QString warning;
        if (result < 0)
            closeNextModal(&warning);
        dialog.accept();
        QCOMPARE(warning, result < 0 ? QStringLiteral("Indirizzo IP non valido!!!") : QString());
        QCOMPARE(dialog.result(), qMax(result, 0));
        QCOMPARE(address, result == QDialog::Accepted ? typed : QStringLiteral("127.0.0.1"));
    }

    void remoteServerEntryShowsNameAndSelectsAddress()
    {
        QString address = QStringLiteral("10.0.0.5");
        DialogChangeServer dialog(&address, {QStringLiteral("bench,10.0.0.5"), QStringLiteral("car,10.0.0.6,x")}, true);
        auto *combo = dialog.findChild<QComboBox *>(QStringLiteral("cmbboxselection"));
        QCOMPARE(combo->itemText(2), QStringLiteral("bench"));
        QCOMPARE(combo->currentIndex(), 2); // the current server's entry
        dialog.cambioServer(3);
        dialog.accept();
        QCOMPARE(address, QStringLiteral("10.0.0.6"));
    }

    void ecuListDialogReturnsTheMarkedEcu()
    {
        QList<EcuInfo> ecus;
        for (int i = 1; i <= 3; ++i)
            ecus << EcuInfo{QByteArray::fromHex("0200000000") + char(i), QString(), {QString("ECU %1").arg(i), "v1"}};
        for (EcuInfo &e : ecus)
            e.macText = formatMac(e.mac);
        DialogSelectECUFromList dialog(ecus);
        QTreeWidget *list = dialog.listView();
        QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("ECU 2, v1"));
        dialog.ecuSelected(list->topLevelItem(0));
        dialog.ecuSelected(list->topLevelItem(2));
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
        dialog.myAccept();
        QCOMPARE(dialog.result(), 3);
        DialogSelectECUFromList none(ecus);
        none.myAccept();
        QCOMPARE(none.result(), 0);
        QCOMPARE(DialogSelectECUFromList(ecus.mid(0, 1)).listView()->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(TestCommSetup)
#include "tst_commsetup.moc"
