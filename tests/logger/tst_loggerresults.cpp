// Every LoggerProtocol result code, each produced by the simulated logger
// misbehaving the matching way, through the communication server and (as
// root) over raw Ethernet, with the sample devices.

#include "communicationmedium.h"
#include "deviceloader.h"
#include "ethernetlink.h"
#include "loggerprotocol.h"
#include "netns.h"
#include "registrykey.h"
#include "serverprocess.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

static QString sample(const char *name) { return qEnvironmentVariable("BRISCA_SOURCE_DIR") + "/samples/" + name; }

class TestLoggerResults : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<EcuServerProcess> m_server;
    std::unique_ptr<EcuNetwork> m_net;
    EthernetLink *m_link = nullptr;
    bool m_ethernet = false;
    std::unique_ptr<CommunicationMedium> m_medium;
    std::unique_ptr<DeviceModel> m_model;
    std::unique_ptr<LoggerProtocol> m_protocol;

    bool command(const QByteArray &line)
    {
        return m_server ? m_server->command(line) : m_net && m_net->command(0, line);
    }
    bool connectMedium()
    {
        if (m_server)
            return m_medium->connect("Brisca", "127.0.0.1", m_server->port(), 0);
        // A failed presence check forgets the ECU.
        m_medium->setEcuTarget(reinterpret_cast<const quint8 *>(m_net->ecuMac(0).constData()));
        return m_medium->connect("Brisca", QString(), 0, 0);
    }

    // Empty when the path is up, else why it is not.
    QString bringUp(const QString &path)
    {
        QString error;
        const QByteArray json = sample("sample_ecu.json").toLocal8Bit();
        m_ethernet = path == "ethernet";
        if (!m_ethernet) {
            m_server = std::make_unique<EcuServerProcess>();
            if (!m_server->start({"--description", json}, &error))
                return error;
            const QString registry = m_dir.filePath("registry.ini");
            TestFiles::writeAll(registry, QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\n"
                                                         "FileName = /nonexistent\nClass = %1\nWinName = %2\n")
                                              .arg(m_server->className(), m_server->windowName())
                                              .toLocal8Bit());
            RegistryKey::setStorePath(registry);
            m_medium = std::make_unique<CommunicationMedium>(&m_ethernet, &m_link);
        } else {
            if (!(error = EcuNetwork::unavailableReason()).isEmpty())
                return error;
            m_net = std::make_unique<EcuNetwork>();
            if (!m_net->setUp(&error) || m_net->startEcu({"--description", json}, &error) < 0)
                return error;
            m_link = new EthernetLink(m_net->hostInterface(), reinterpret_cast<const quint8 *>(
                                                                  m_net->hostMac().leftJustified(6, '\0').constData()),
                                      10, 1000);
            m_link->start();
            if (!m_link->waitUntilReady(5000))
                return "capture did not open: " + m_link->captureError();
            m_medium = std::make_unique<CommunicationMedium>(&m_ethernet, &m_link, "/nonexistent/libNone.so");
        }
        m_model = std::make_unique<DeviceModel>();
        m_model->devicePath = sample(m_ethernet ? "DefaultEth.XML" : "Default.XML");
        if (!DeviceLoader::load(*m_model, DeviceLoadOptions()).loaded())
            return "sample device did not load";
        m_model->selected = m_model->channels.mid(0, 6);
        m_protocol = std::make_unique<LoggerProtocol>();
        m_protocol->attachLoggerTable(&m_model->loggerTable, sizeof(LoggerTable));
        m_protocol->setIdSource(&m_model->canSettings);
        m_protocol->setMedium(m_medium.get());
        m_protocol->setChannelList(m_model->selected);
        m_protocol->setTriggerSettings(m_model->trigger);
        const bool up = connectMedium() && command("logger clock manual") && command("logger cleardelay 20");
        return up ? QString() : QStringLiteral("the ECU does not answer");
    }
    void tearDown()
    {
        m_protocol.reset();
        m_model.reset();
        m_medium.reset();
        if (m_link)
            m_link->stop(), m_link->wait();
        delete std::exchange(m_link, nullptr);
        m_server.reset();
        m_net.reset();
        m_path.clear();
    }

private slots:
    void cleanupTestCase() { tearDown(); }

    void misbehaviourGivesItsResultCode_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("download");
        QTest::addColumn<QByteArray>("faults");
        QTest::addColumn<int>("expected");
        for (const QString path : {"server", "ethernet"}) {
            const bool eth = path == "ethernet";
            const auto row = [&](const char *name, bool download, const char *faults, int code) {
                QTest::addRow("%s: %s", qPrintable(path), name) << path << download << QByteArray(faults) << code;
            };
            row("send", false, "none", LoggerResult::Done);
            row("download", true, "none", LoggerResult::Done);
            row(eth ? "ECU absent" : "server drops the client", false, eth ? "absent" : "hangup",
                eth ? LoggerResult::NotConnectedEthernet : LoggerResult::NotConnectedServer);
            row("logger never stops (send)", false, "nostop", LoggerResult::StillRunning);
            row("logger never stops (download)", true, "nostop", LoggerResult::StillRunning);
            row("header unreadable (send)", false, "refuse=0x70100000+884", LoggerResult::ReadBackFailed);
            row("header unreadable (download)", true, "refuse=0x70100000+884", LoggerResult::ReadBackFailed);
            row("corrupt read-back checksum", false, "badsum", LoggerResult::ChecksumOrDataReadFailed);
            row("ECU vanishes mid-download", true, "vanish=3000", LoggerResult::ChecksumOrDataReadFailed);
            row("clear never answers 2", false, "noclear", LoggerResult::NoClearAnswer);
            row("nothing logged", true, "none", LoggerResult::VariablesOrNothingToDownload);
            if (!eth)
                row("lock held by another client", false, "lockheld", LoggerResult::LockTimeout);
            row("data start past data end", true, "startpastend", LoggerResult::StartBeyondEnd);
        }
    }
    void misbehaviourGivesItsResultCode()
    {
        QFETCH(QString, path);
        QFETCH(bool, download);
        QFETCH(QByteArray, faults);
        QFETCH(int, expected);
        if (path != m_path) {
            tearDown();
            const QString why = bringUp(path);
            if (!why.isEmpty())
                QSKIP(qPrintable(why));
            m_path = path;
        }
        QVERIFY(command("faults none"));
        QVERIFY(connectMedium());
        if (download) {
            QCOMPARE(m_protocol->sendConfiguration(), int(LoggerResult::Done));
            if (expected != LoggerResult::VariablesOrNothingToDownload)
                QVERIFY(command("logger run 30"));
        }
        QVERIFY(command("faults " + faults));
        const int code = download ? m_protocol->readLoggedData(nullptr) : m_protocol->sendConfiguration();
        QCOMPARE(code, expected);
        if (download && code == LoggerResult::Done) { // what arrived is the logger's memory
            const QString dump = m_dir.filePath("memory.bin");
            QVERIFY(command("logger dump " + dump.toLocal8Bit()) && TestFiles::readAll(dump).size() > 3000);
            const auto *data = reinterpret_cast<const char *>(m_protocol->dataBuffer());
            QCOMPARE(QByteArray(data, int(m_protocol->bytesDownloaded())), TestFiles::readAll(dump));
        }
    }
};

QTEST_GUILESS_MAIN(TestLoggerResults)
#include "tst_loggerresults.moc"
