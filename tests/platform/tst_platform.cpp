#include "adapters.h"
#include "platformpaths.h"
#include "registrykey.h"
#include "savefile.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void registryLookupsFollowTheIniFile_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("expected");

        QTest::newRow("exact key") << "HKEY_LOCAL_MACHINE" << "SOFTWARE\\Orvotek Srl\\PontisClient\\KVTSettings"
                                   << "Path" << true << "D:\\Tools";
        QTest::newRow("root name in lower case") << "hkey_local_machine"
                                                 << "SOFTWARE\\Orvotek Srl\\PontisClient\\KVTSettings" << "Path"
                                                 << true << "D:\\Tools";
        QTest::newRow("key path case differs") << "HKEY_LOCAL_MACHINE" << "software\\orvotek srl\\pontis"
                                               << "FileName" << true << "/opt/srv";
        QTest::newRow("HKLM is not a root name") << "HKLM" << "SOFTWARE\\Orvotek Srl\\Pontis" << "FileName"
                                                 << false << "";
        QTest::newRow("missing value") << "HKEY_LOCAL_MACHINE" << "SOFTWARE\\Orvotek Srl\\Pontis" << "Nope"
                                       << true << "";
        QTest::newRow("missing key") << "HKEY_CURRENT_USER" << "SOFTWARE\\Orvotek Srl\\Pontis" << "FileName"
                                     << false << "";
    }

    void registryLookupsFollowTheIniFile()
    {
        QFETCH(QString, root);
        QFETCH(QString, path);
        QFETCH(QString, value);
        QFETCH(bool, opens);
        QFETCH(QString, expected);

        const QString file = m_dir.filePath("registry.ini");
        QVERIFY(TestFiles::writeAll(file, "; comment\n"
                                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\PontisClient\\KVTSettings]\n"
                                          "Path = D:\\Tools\n\n"
                                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\n"
                                          "FileName = /opt/srv\n"));
        RegistryKey::setStorePath(file);

        RegistryKey key;
        QCOMPARE(key.open(root, path.toLatin1().constData(), false), opens);
        char buf[513];
        memset(buf, 'x', sizeof buf);
        const bool found = key.queryString(value.toLatin1().constData(), buf, sizeof buf);
        QCOMPARE(found, !expected.isEmpty());
        QCOMPARE(QString::fromLocal8Bit(buf), expected);
        key.close();
        QCOMPARE(key.lastError(), RegistryKey::ErrorFileNotFound);
    }

    void missingRegistryFileBehavesAsAbsentKey()
    {
        RegistryKey::setStorePath(m_dir.filePath("does-not-exist.ini"));
        RegistryKey key;
        QVERIFY(!key.open("HKEY_LOCAL_MACHINE", "SOFTWARE\\Orvotek Srl\\Pontis", false));
        QCOMPARE(key.lastError(), RegistryKey::ErrorFileNotFound);
        char buf[8] = "abc";
        QVERIFY(!key.queryString("FileName", buf, sizeof buf));
        QCOMPARE(buf[0], '\0');
    }

    void createdKeyIsWrittenAndReadBack()
    {
        const QString file = m_dir.filePath("created.ini");
        RegistryKey::setStorePath(file);
        {
            RegistryKey key;
            QVERIFY(key.open("HKEY_LOCAL_MACHINE", "SOFTWARE\\Orvotek Srl\\Pontis", true));
            QVERIFY(key.setString("Class", "BriscaServer"));
        }
        RegistryKey key;
        QVERIFY(key.open("HKEY_LOCAL_MACHINE", "SOFTWARE\\Orvotek Srl\\Pontis", false));
        char buf[64];
        QVERIFY(key.queryString("Class", buf, sizeof buf));
        QCOMPARE(QByteArray(buf), QByteArray("BriscaServer"));
    }

    void smallBufferDoesNotOverflow()
    {
        const QString file = m_dir.filePath("long.ini");
        QVERIFY(TestFiles::writeAll(file, "[HKEY_USERS\\K]\nV = 0123456789\n"));
        RegistryKey::setStorePath(file);
        RegistryKey key;
        QVERIFY(key.open("HKEY_USERS", "K", false));
        char buf[8];
        QVERIFY(!key.queryString("V", buf, sizeof buf));
        QCOMPARE(buf[0], '\0');
    }

    void appDataFolderHonoursEnvironment()
    {
        qputenv("APPDATA", m_dir.filePath("appdata").toLocal8Bit());
        QCOMPARE(Platform::briscaDataFolder(), m_dir.filePath("appdata") + "/Orvotek/Brisca");
        Platform::ensureBriscaDataFolder();
        QVERIFY(QFileInfo(Platform::briscaDataFolder()).isDir());
    }

    void adapterMacMatchesByNameInsideInterfaceName()
    {
        const Platform::AdapterInfo eth{"eth1", "wired", Platform::AdapterTypeEthernet,
                                        QByteArray("\x02\x11\x22\x33\x44\x55", 6)};
        const QList<Platform::AdapterInfo> table{{"lo", "loopback", 0, QByteArray(6, 0)}, eth};
        QCOMPARE(Platform::findAdapterMac(table, "rpcap://eth1"), eth.mac);
        QCOMPARE(Platform::findAdapterMac(table, "ETH1"), QByteArray(6, 0)); // case-sensitive
        QCOMPARE(Platform::findAdapterMac(table, "lo"), QByteArray(6, 0));   // not Ethernet
        QCOMPARE(Platform::findAdapterMac(table, QString()), QByteArray(6, 0));
    }

    void atomicWriteKeepsOldFileOnFailure()
    {
        const QString file = m_dir.filePath("keep.txt");
        QVERIFY(Platform::writeFileAtomically(file, "old"));
        // A path whose folder does not exist cannot be written; nothing appears.
        QString error;
        QVERIFY(!Platform::writeFileAtomically(m_dir.filePath("missing/dir/x.txt"), "new", &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(TestFiles::readAll(file), QByteArray("old"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
