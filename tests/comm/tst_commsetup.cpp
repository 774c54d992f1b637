// Communication setup: medium switches, settings written, labels, the link
// replaced, and the three dialogs.

#include "commsetup.h"
#include "communicationmedium.h"
#include "dialogchangeserver.h"
#include "dialogselectecufromlist.h"
#include "dialogselectethinterface.h"
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

#include <unistd.h>

namespace {
struct FakeSettings : SettingsStore
{
    bool hasDefault = true;
    QMap<QString, QString> values;
    int saves = 0;
    bool hasGroup(const QString &group) const override { return hasDefault && group == QLatin1String("Default"); }
    void writeEntry(const QString &group, const QString &key, const QString &value) override
    {
        values[group + QLatin1Char('/') + key] = value;
    }
    bool save() override { return ++saves; }
};

struct FakeView : CommView
{
    bool serverEnabled = true, interfaceEnabled = true;
    QString serverText, interfaceText, itemText[2];
    bool checked[2] = {false, false};
    bool ecuVisible = false;
    QString ecuText;
    QList<bool> serverEnabledHistory;
    void setServerActionEnabled(bool e) override { serverEnabled = e; serverEnabledHistory << e; }
    void setInterfaceActionEnabled(bool e) override { interfaceEnabled = e; }
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
    int newIndex = 1;
    int ecuResult = 0;
    QStringList seenServers;
    bool seenMediumIsServer = false;
    bool changeServer(QString &address, const QStringList &servers, bool mediumIsServer) override
    {
        seenServers = servers;
        seenMediumIsServer = mediumIsServer;
        if (accept)
            address = newAddress;
        return accept;
    }
    bool selectInterface(int &index, const QStringList &) override
    {
        if (accept)
            index = newIndex;
        return accept;
    }
    int selectEcu(const QList<EcuInfo> &) override { return ecuResult; }
};

// Closes the next message box (or any modal popup) that opens.
void closeNextModal(QString *seenText)
{
    QTimer::singleShot(50, [seenText] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            if (seenText)
                *seenText = w->findChild<QLabel *>() ? w->findChildren<QLabel *>().last()->text() : QString();
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
    int linksMade = 0;
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
        linksMade = 0;
        linkNames.clear();
        medium = new CommunicationMedium(&state.ethernetMedium, &state.link, QStringLiteral("/nonexistent/libX.so"));
        setup = new CommSetup(state, *medium, &settings, &view, &dialogs);
        setup->setLinkFactory([this](const QString &name, const quint8 *mac) {
            ++linksMade;
            linkNames << name;
            linkMac = QByteArray(reinterpret_cast<const char *>(mac), 6);
            return new EthernetLink(name, mac, 10, 1000); // not started: no capture in unit tests
        });
        setup->setMacFinder([](const QString &, quint8 mac[6]) {
            const quint8 m[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
            memcpy(mac, m, 6);
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
        setup->setInterfaceLister([](QStringList &names, QStringList &descriptions) {
            names << QStringLiteral("eth0") << QStringLiteral("eth1");
            descriptions << QStringLiteral("Scheda 0") << QStringLiteral("Scheda 1");
        });
        state.nicSystemName = stored;
        state.mediumType = medium;
        setup->startUp();
        QCOMPARE(state.nicIndex, index);
        QCOMPARE(state.nicSystemName, used);
        QCOMPARE(state.ethernetMedium, medium == QLatin1String("ethernet"));
        QCOMPARE(linkNames, state.ethernetMedium ? QStringList{used} : QStringList());
        QCOMPARE(state.nicNames.size(), 2);
    }

    void choosingAServerSwitchesToItAndForgetsTheEcu()
    {
        state.ethernetMedium = true;
        state.mediumType = QStringLiteral("ethernet");
        state.ecuSelected = true;
        setup->selectEthernetInterface();
        QVERIFY(state.link);
        setup->selectServer();
        QCOMPARE(dialogs.seenMediumIsServer, false);
        QVERIFY(!state.ethernetMedium);
        QCOMPARE(state.mediumType, QStringLiteral("pontis"));
        QVERIFY(!state.ecuSelected);
        QCOMPARE(state.serverHost, QStringLiteral("10.0.0.5"));
        QCOMPARE(settings.values.value("Default/Server_IP"), QStringLiteral("10.0.0.5"));
        QCOMPARE(settings.values.value("Default/MediumType"), QStringLiteral("Pontis"));
        QCOMPARE(view.serverText, QStringLiteral("Server :10.0.0.5"));
        QCOMPARE(view.itemText[0], QStringLiteral("Server :10.0.0.5"));
        QVERIFY(view.checked[0] && !view.checked[1]);
        QVERIFY(!view.ecuVisible);
        QVERIFY(!state.link); // the link ends with the Ethernet medium
        QCOMPARE(view.serverEnabledHistory, QList<bool>({false, true}));
    }

    void localServerAndMissingInterfaceHaveTheirOwnLabels()
    {
        dialogs.newAddress = QStringLiteral("127.0.0.1");
        setup->selectServer();
        QCOMPARE(view.serverText, QStringLiteral("Server :locale"));
        state.nicSystemName = QStringLiteral("{}");
        QCOMPARE(setup->interfaceLabel(), QStringLiteral("nessuna"));
        state.nicSystemName = QStringLiteral("eth1");
        state.nicDescriptions.clear();
        QCOMPARE(setup->interfaceLabel(), QStringLiteral("nessuna"));
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
        QCOMPARE(state.ethernetMedium, !accept);
        QCOMPARE(state.serverHost, accept ? QStringLiteral("10.0.0.5") : QStringLiteral("127.0.0.1"));
        QVERIFY(view.serverEnabled);
        state.ethernetMedium = false;
        setup->selectEthInterface();
        QCOMPARE(linksMade, accept ? 1 : 0);
        QCOMPARE(state.ethernetMedium, accept);
        QVERIFY(view.interfaceEnabled);
        QVERIFY(settings.values.isEmpty());
        QCOMPARE(settings.saves, 0);
    }

    void choosingAnInterfaceReplacesTheLinkEvenWhenItIsTheSame()
    {
        setup->selectEthInterface();
        QCOMPARE(linksMade, 1);
        QCOMPARE(state.nicIndex, 1);
        QCOMPARE(state.nicSystemName, QStringLiteral("eth1"));
        QCOMPARE(linkMac, QByteArray::fromHex("001122334455"));
        QVERIFY(state.ethernetMedium);
        QCOMPARE(state.mediumType, QStringLiteral("ethernet"));
        QCOMPARE(settings.values.value("Default/SystemNameNIC"), QStringLiteral("eth1"));
        QCOMPARE(settings.values.value("Default/MediumType"), QStringLiteral("Ethernet"));
        QCOMPARE(view.interfaceText, QStringLiteral("Interfaccia Ethernet :Scheda 1"));
        QCOMPARE(view.itemText[1], QStringLiteral("Ethernet :Scheda 1"));
        QVERIFY(!view.checked[0] && view.checked[1]);
        QVERIFY(view.ecuVisible);
        QCOMPARE(view.ecuText, QStringLiteral("Seriale ECU : "));
        setup->selectEthInterface();
        QVERIFY(state.link);
        QCOMPARE(linkNames, QStringList({"eth1", "eth1"}));
    }

    void switchingToEthernetUsesTheChosenInterfaceAndKeptMac()
    {
        state.nicIndex = 1;
        const quint8 kept[6] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
        memcpy(state.hostMac, kept, 6);
        setup->selectEthernetInterface();
        QCOMPARE(linkNames, QStringList{"eth1"});
        QCOMPARE(linkMac, QByteArray::fromHex("aabbccddeeff"));
        QCOMPARE(settings.values.value("Default/MediumType"), QStringLiteral("Ethernet"));
        QVERIFY(!settings.values.contains("Default/SystemNameNIC"));
        setup->selectServerInterface();
        QVERIFY(!state.link);
        QVERIFY(!state.ethernetMedium);
        QCOMPARE(settings.values.value("Default/MediumType"), QStringLiteral("Pontis"));
        QVERIFY(view.checked[0] && !view.checked[1]);
    }

    void replacingACapturingLinkDoesNotHang()
    {
        if (geteuid() != 0)
            QSKIP("needs root to capture on the loopback interface");
        CommSetup real(state, *medium, &settings, &view, &dialogs); // default factory: real, started links
        state.nicNames = {QStringLiteral("lo")};
        state.nicIndex = 0;
        QElapsedTimer t;
        for (int i = 0; i < 3; ++i) {
            t.start();
            real.selectEthernetInterface();
            QVERIFY(state.link);
            QVERIFY2(state.link->waitUntilReady(3000), qPrintable(state.link->captureError()));
            QVERIFY(t.elapsed() < 3000);
        }
        t.start();
        real.selectServerInterface(); // a quiet capture must still stop at once
        QVERIFY(!state.link);
        QVERIFY(t.elapsed() < 1000);
    }

    void ecuSearchWithoutAnswerForgetsTheEcu_data()
    {
        QTest::addColumn<bool>("ethernet");
        QTest::newRow("on the server: label untouched") << false;
        QTest::newRow("on Ethernet: empty serial shown") << true;
    }
    void ecuSearchWithoutAnswerForgetsTheEcu()
    {
        QFETCH(bool, ethernet);
        state.mediumType = ethernet ? QStringLiteral("ethernet") : QStringLiteral("pontis");
        state.ethernetMedium = ethernet;
        state.ecuSelected = true;
        view.ecuText = QStringLiteral("untouched");
        setup->listECUsOnNetwork();
        QVERIFY(!state.ecuSelected);
        QVERIFY(state.ecuNumber.isEmpty());
        QCOMPARE(view.ecuVisible, ethernet);
        QCOMPARE(view.ecuText, ethernet ? QStringLiteral("Seriale ECU : ") : QStringLiteral("untouched"));
    }

    void ecuNumberIsTheLastTwoMacBytes()
    {
        const quint8 mac[6] = {0x02, 0x00, 0x00, 0x00, 0x01, 0x2C};
        QCOMPARE(CommSetup::ecuNumberText(mac), QStringLiteral("300"));
        const quint8 high[6] = {0, 0, 0, 0, 0xFF, 0xFF};
        QCOMPARE(CommSetup::ecuNumberText(high), QStringLiteral("65535"));
    }

    // --- dialogs

    void serverDialogWithNothingChangedClosesAsRejected()
    {
        // The same address from Ethernet is a change of medium.
        for (bool fromServer : {true, false}) {
            QString address = QStringLiteral("127.0.0.1");
            DialogChangeServer dialog(&address, {}, fromServer);
            dialog.accept();
            QCOMPARE(dialog.result(), int(fromServer ? QDialog::Rejected : QDialog::Accepted));
        }
    }

    void typedAddressIsCheckedBeforeItIsTaken_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("256.1.1.1") << "256.1.1.1" << false;
        QTest::newRow("192.168.0.10") << "192.168.0.10" << true;
        QTest::newRow("empty") << "" << false;
    }
    void typedAddressIsCheckedBeforeItIsTaken()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QString address = QStringLiteral("127.0.0.1");
        DialogChangeServer dialog(&address, {}, true);
        auto *combo = dialog.findChild<QComboBox *>(QStringLiteral("cmbboxselection"));
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("leipaddress"));
        QVERIFY(combo && edit);
        QVERIFY(!edit->isEnabled());
        dialog.cambioServer(1);
        QVERIFY(edit->isEnabled());
        QCOMPARE(dialog.editedAddress(), QString());
        dialog.indirizzoIPManuale(typed);
        QString warning;
        if (!accepted)
            closeNextModal(&warning);
        dialog.accept();
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QCOMPARE(address, accepted ? typed : QStringLiteral("127.0.0.1"));
        if (!accepted)
            QCOMPARE(warning, QStringLiteral("Indirizzo IP non valido!!!"));
    }

    void maskedAddressFieldGivesThePlainAddress()
    {
        QString address = QStringLiteral("127.0.0.1");
        DialogChangeServer dialog(&address, {}, true);
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("leipaddress"));
        dialog.cambioServer(1);
        QTest::keyClicks(edit, QStringLiteral("192.168.0.10"));
        QCOMPARE(dialog.editedAddress(), QStringLiteral("192.168.0.10"));
    }

    void remoteServerEntryShowsNameAndSelectsAddress()
    {
        QString address = QStringLiteral("10.0.0.5");
        DialogChangeServer dialog(&address, {QStringLiteral("bench,10.0.0.5"), QStringLiteral("car,10.0.0.6,x")}, true);
        auto *combo = dialog.findChild<QComboBox *>(QStringLiteral("cmbboxselection"));
        QCOMPARE(combo->count(), 4);
        QCOMPARE(combo->itemText(0), QStringLiteral("Questo PC"));
        QCOMPARE(combo->itemText(1), QStringLiteral("Assegna IP"));
        QCOMPARE(combo->itemText(2), QStringLiteral("bench"));
        QCOMPARE(combo->currentIndex(), 2); // the current server's entry
        dialog.cambioServer(3);
        QCOMPARE(dialog.editedAddress(), QStringLiteral("10.0.0.6"));
        dialog.accept();
        QCOMPARE(address, QStringLiteral("10.0.0.6"));
    }

    void interfaceDialogWritesTheIndexOnlyWhenAccepted()
    {
        for (bool accept : {false, true}) {
            int index = 0;
            DialogSelectEthInterface dialog(&index, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
            QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("cbSelectNIC"))->count(), 3);
            dialog.selezionaNIC(2);
            accept ? dialog.accept() : dialog.reject();
            QCOMPARE(index, accept ? 2 : 0);
        }
    }

    void ecuListDialogReturnsTheMarkedEcu()
    {
        QList<EcuInfo> ecus;
        for (int i = 1; i <= 3; ++i) {
            EcuInfo e;
            e.mac = QByteArray::fromHex("0200000000") + char(i);
            e.macText = formatMac(e.mac);
            e.descriptions = {QStringLiteral("ECU %1").arg(i), QStringLiteral("v1")};
            ecus << e;
        }
        DialogSelectECUFromList dialog(ecus);
        QTreeWidget *list = dialog.listView();
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("ECU 2, v1"));
        dialog.ecuSelected(list->topLevelItem(0));
        dialog.ecuSelected(list->topLevelItem(2));
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
        QCOMPARE(list->topLevelItem(2)->checkState(0), Qt::Checked);
        dialog.myAccept();
        QCOMPARE(dialog.result(), 3);

        DialogSelectECUFromList none(ecus);
        none.myAccept();
        QCOMPARE(none.result(), 0);
        DialogSelectECUFromList single(ecus.mid(0, 1));
        QCOMPARE(single.listView()->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(TestCommSetup)
#include "tst_commsetup.moc"
