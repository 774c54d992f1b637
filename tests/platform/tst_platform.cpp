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
    void registryLookupsFollowTheIniFile()
    {
        const QString file = m_dir.filePath("registry.ini");
        QVERIFY(TestFiles::writeAll(file, "; comment\n"
                                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\PontisClient\\KVTSettings]\n"
                                          "Path = D:\\Tools\n\n"
                                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\n"
                                          "FileName = /opt/srv\n"));
        const char *client = "SOFTWARE\\Orvotek Srl\\PontisClient\\KVTSettings";
        const char *server = "SOFTWARE\\Orvotek Srl\\Pontis";
        const struct { const char *root, *path, *value; bool opens; const char *expected; } cases[] = {
            {"HKEY_LOCAL_MACHINE", client, "Path", true, "D:\\Tools"},
            {"hkey_local_machine", client, "Path", true, "D:\\Tools"},
            {"HKEY_LOCAL_MACHINE", "software\\orvotek srl\\pontis", "FileName", true, "/opt/srv"},
            {"HKLM", server, "FileName", false, ""}, // not a root name
            {"HKEY_LOCAL_MACHINE", server, "Nope", true, ""},
            {"HKEY_CURRENT_USER", server, "FileName", false, ""}};
        for (const QString &store : {file, m_dir.filePath("does-not-exist.ini")}) {
            RegistryKey::setStorePath(store);
            const bool present = store == file;
            for (const auto &c : cases) {
                RegistryKey key;
                QCOMPARE(key.open(c.root, c.path, false), c.opens && present);
                char buf[513];
                memset(buf, 'x', sizeof buf);
                QCOMPARE(key.queryString(c.value, buf, sizeof buf), present && *c.expected);
                QCOMPARE(QByteArray(buf), QByteArray(present ? c.expected : ""));
                key.close();
                QCOMPARE(key.lastError(), RegistryKey::ErrorFileNotFound);
            }
        }
        // A value longer than the buffer is refused, never cut or overflowed.
        RegistryKey::setStorePath(file);
        RegistryKey key;
        QVERIFY(key.open("HKEY_LOCAL_MACHINE", client, false));
        char small[4];
        QVERIFY(!key.queryString("Path", small, sizeof small));
        QCOMPARE(small[0], '\0');
    }

    void createdKeyIsWrittenAndReadBack()
    {
        RegistryKey::setStorePath(m_dir.filePath("created.ini"));
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
