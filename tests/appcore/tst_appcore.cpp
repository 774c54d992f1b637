// Settings file, first-start defaults, exit save, dump pruning and language
// choice: the application shell's logic without widgets.
#include "inifile.h"
#include "registrykey.h"
#include "shellsettings.h"
#include "startup.h"
#include "testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace TestFiles;

namespace {
// "Section:key=value;key=value|Section:..." for every section with entries.
QString dump(const IniFile &ini)
{
    QStringList parts;
    for (const QString &name : ini.sectionNames()) {
        const IniSection *s = ini.section(name);
        QStringList pairs;
        for (auto it = s->entries().cbegin(); it != s->entries().cend(); ++it)
            pairs << it.key() + QLatin1Char('=') + it.value();
        if (!pairs.isEmpty())
            parts << name + QLatin1Char(':') + pairs.join(QLatin1Char(';'));
    }
    return parts.join(QLatin1Char('|'));
}

// Root writes into any folder; without CAP_DAC_OVERRIDE the folder's mode counts.
struct WithoutDacOverride
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct saved[2] {};
    WithoutDacOverride()
    {
        syscall(SYS_capget, &header, saved);
        __user_cap_data_struct reduced[2] = { saved[0], saved[1] };
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        syscall(SYS_capset, &header, reduced);
    }
    ~WithoutDacOverride() { syscall(SYS_capset, &header, saved); }
};
} // namespace

class TestAppCore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        RegistryKey::setStorePath(path("registry.ini"));
        qputenv("HOME", m_dir->path().toLocal8Bit()); // the documents folder is in here
    }

    void firstStartWritesTheDefaultFile_data()
    {
        QTest::addColumn<QByteArray>("registry");
        QTest::addColumn<bool>("deviceBeside");
        QTest::addColumn<QString>("deviceFolder"); // "@" stands for the program's folder

        const QByteArray key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\PontisClient\\KVTSettings]\n";
        QTest::newRow("no key: the program's folder") << QByteArray() << false << "@";
        QTest::newRow("no key: DEVICE beside the program") << QByteArray() << true << "@/DEVICE";
        QTest::newRow("client path D:\\Tools") << key + "Path = D:\\Tools\n" << false << "D:\\Tools\\DEVICE";
        QTest::newRow("client key without Path") << key << false << "\\DEVICE";
        QTest::newRow("client path on Linux") << key + "Path = /opt/pontis\n" << true << "/opt/pontis/DEVICE";
    }

    void firstStartWritesTheDefaultFile()
    {
        QFETCH(QByteArray, registry);
        QFETCH(bool, deviceBeside);
        QFETCH(QString, deviceFolder);
        deviceFolder.replace(QLatin1Char('@'), m_dir->path());
        if (!registry.isEmpty())
            QVERIFY(writeAll(path("registry.ini"), registry));
        if (deviceBeside)
            QVERIFY(QDir().mkpath(path("DEVICE")));

        IniFile ini(path("brisca.ini"));
        const ShellSettings s = ShellSettingsIo::load(ini, m_dir->path());
        // No folder is the root: what the program writes goes to the user's documents.
        const QByteArray docs = path("Documents/Brisca/").toLocal8Bit();
        QCOMPARE(readAll(path("brisca.ini")),
                 "CHARSET ISO8859-1\r\n\r\n[Default]\r\nDefaultFormat = MDF\r\nDeleteAfterDownload = 0\r\n"
                 "FilenameDescr2D = none\r\nFilenameDescrMDF = none\r\nFilenameFormat2D = 0\r\n"
                 "FilenameFormatMDF = 0\r\nLastDeviceName = Default.XML\r\nLastEvent_2D = default\r\n"
                 "LastEvent_MDF = default\r\nLastPathAllDevice = " + deviceFolder.toLocal8Bit() + "\r\n"
                 "LastPathSnapshot = " + docs + "Snapshot\r\nLastPath_2D = " + docs + "2D\r\n"
                 "LastPath_MDF = " + docs + "MDF\r\nMaximumPeriodSampling = 5\r\nMdfAuthor = Default\r\n"
                 "MdfOrganization = Default\r\nMediumType = Pontis\r\nServer_IP = 127.0.0.1\r\n"
                 "SystemNameNIC = {}\r\n");
        QCOMPARE(s.lastPathAllDevice, QFileInfo(deviceFolder).isDir() ? deviceFolder : m_dir->path());
        QCOMPARE(s.lastPathSnapshot, QString::fromLocal8Bit(docs + "Snapshot"));
        QVERIFY(!QFileInfo::exists(path("Documents"))); // created when first used

        // Closing at once is no change worth a write.
        if (s.lastPathAllDevice == deviceFolder)
            QVERIFY(!ShellSettingsIo::saveIfChanged(ini, s));
    }

    void readingRules()
    {
        const struct { const char *text, *expected; } cases[] = {
            {"# a = 1\n  ; b = 2\n;;#c=3\nx = 1 ; note\n", "Default:x=1 ; note"}, // comments even with =
            {"[ Misure ]\nk=1\n[abc\nk=2\n[a]b]\nk=3\n", "Misure:k=1|a]b:k=3|abc:k=2"},
            {"=5\nkey=\nnothing here\n", "Default:key="},             // = first is ignored, key= is empty
            {"Key = A\nkey = B\nkey = C\n", "Default:Key=A;key=C"},     // case-sensitive, later wins
            {"Note = CHARSET test\nx=1\n", "Default:x=1"},              // CHARSET anywhere is a charset line
            {"early = 1\n[Other]\nk = v\n", "Default:early=1|Other:k=v"},
            {" \t spaced key  =  a = b \t\r\n\r\n", "Default:spaced key=a = b"},
            {"[Default]\r\nk = v", "Default:k=v"}};                     // last line without newline
        for (const auto &c : cases) {
            QVERIFY(writeAll(path("in.ini"), c.text));
            IniFile ini(path("in.ini"));
            QVERIFY(ini.read());
            QCOMPARE(dump(ini), QString(c.expected));
            QCOMPARE(ini.currentSectionName(), QStringLiteral("Default"));
        }
    }

    void writeDropsCommentsSortsAndKeepsLookedUpKeys()
    {
        QVERIFY(writeAll(path("in.ini"), "; generated by hand\nzeta=last\n\n[Misure]\n# a comment\nb=2\n"
                                         "a =1\n[Empty]\n[Default]\nAlpha= first \nn = 12abc\n"));
        IniFile ini(path("in.ini"));
        QVERIFY(ini.read());
        QCOMPARE(ini.intValue(QStringLiteral("n"), 99), 99);
        // A key looked up but absent is written with an empty value.
        QCOMPARE(ini.value(QStringLiteral("LastPath_2D"), QStringLiteral("/fallback")), QStringLiteral("/fallback"));
        QVERIFY(ini.write());
        QCOMPARE(readAll(path("in.ini")), QByteArray("CHARSET ISO8859-1\r\n\r\n[Default]\r\nAlpha = first\r\n"
                                                     "LastPath_2D = \r\nn = 12abc\r\nzeta = last\r\n\r\n"
                                                     "[Misure]\r\na = 1\r\nb = 2\r\n"));
    }

    void charsetDecidesDecodingAndHeader()
    {
        const QByteArray latin1 = "CHARSET ISO8859-1\r\n\r\n[Default]\r\nName = Caf\xe9\r\n";
        const QByteArray utf8 = "CHARSET UTF-8\r\n\r\n[Default]\r\nName = Caf\xc3\xa9\r\n";
        const std::pair<QByteArray, QByteArray> cases[] = {
            {latin1, latin1}, {utf8, utf8},
            {"CHARSET ISO-8859-1\n[Default]\nName = Caf\xe9\n", latin1},
            {"CHARSET KOI9-X\r\n[Default]\r\nName = Caf\xe9\r\n", latin1}, // unknown: local encoding
            {"CHARSET UTF-8\r\nx CHARSET nonsense\r\n[Default]\r\nName = Caf\xc3\xa9\r\n", latin1}};
        for (const auto &[text, written] : cases) {
            QVERIFY(writeAll(path("cs.ini"), text));
            IniFile ini(path("cs.ini"));
            QVERIFY(ini.read());
            QCOMPARE(ini.value(QStringLiteral("Name")), QStringLiteral("Caf\u00e9"));
            QVERIFY(ini.write());
            QCOMPARE(readAll(path("cs.ini")), written);
        }
    }

    // Garbage made of the format's own pieces must neither crash the reader nor
    // keep changing: what one write produces reads back and writes identically.
    void anyInputSettlesAfterOneWrite()
    {
        static const char *const pieces[] = {"[", "]", "=", ";", "#", " ", "\t", "\r", "\n", "\n", "\n", "CHARSET ",
                                             "UTF-8", "ISO8859-1", "KOI8", "key", "Default", "x", "\xe9", "\xc3\xa9",
                                             "\xc3", "\xa0", "\x85", "\x01", "\\0"};
        QRandomGenerator rng(20260101);
        const QString file = path("fuzz.ini");
        for (int round = 0; round < 150; ++round) {
            QByteArray input;
            for (int i = rng.bounded(1, 80); i > 0; --i)
                input += pieces[rng.bounded(int(std::size(pieces)))];
            input.replace("\\0", QByteArray(1, '\0'));
            QVERIFY(writeAll(file, input));
            QByteArray first;
            for (int pass = 0; pass < 2; ++pass) {
                IniFile ini(file);
                QVERIFY(ini.read());
                QVERIFY(ini.write());
                if (pass == 0)
                    first = readAll(file);
            }
            QVERIFY2(readAll(file) == first, input.toPercentEncoding().constData());
        }
    }

    void unusableFileNamesFailWithoutChanges()
    {
        for (const QString &name : {QString(), path("no/such/dir/brisca.ini"), m_dir->path()}) {
            IniFile ini(name);
            ini.setValue(QStringLiteral("k"), QStringLiteral("v"));
            QVERIFY(!ini.read());
            QVERIFY(!ini.write());
            QCOMPARE(dump(ini), QStringLiteral("Default:k=v"));
            QVERIFY(!ini.selectSection(QStringLiteral("Nope")));
        }
    }

    // A writable brisca.ini in a folder where no temporary file can be made.
    void settingsSaveInPlaceInReadOnlyFolder()
    {
        const QString folder = path("install");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeAll(folder + "/brisca.ini", "[Default]\r\nServer_IP = 1.2.3.4\r\n"));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        bool wrote = false;
        {
            WithoutDacOverride guard;
            IniFile ini(folder + "/brisca.ini");
            QVERIFY(ini.read());
            ini.setValue(QStringLiteral("Server_IP"), QStringLiteral("10.0.0.9"));
            wrote = ini.write();
        }
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(wrote);
        QCOMPARE(readAll(folder + "/brisca.ini"), QByteArray("CHARSET ISO8859-1\r\n\r\n[Default]\r\nServer_IP = 10.0.0.9\r\n"));
    }

    void exitSaveOnlyWhenOneOfFourKeysChanged()
    {
        const QString file = path("brisca.ini");
        for (QString ShellSettings::*field : {(QString ShellSettings::*)nullptr, &ShellSettings::lastDeviceName,
                                              &ShellSettings::lastPathSnapshot, &ShellSettings::lastPathAllDevice,
                                              &ShellSettings::serverHost, &ShellSettings::lastPath2D}) {
            const bool written = field && field != &ShellSettings::lastPath2D; // export folders are not compared
            {
                IniFile ini(file);
                ShellSettingsIo::load(ini, m_dir->path());
            }
            const QDateTime past = QDateTime::currentDateTime().addDays(-3);
            QVERIFY(setModified(file, past));
            IniFile ini(file);
            ShellSettings s = ShellSettingsIo::load(ini, m_dir->path());
            if (field)
                s.*field = QStringLiteral("/tmp");
            QCOMPARE(ShellSettingsIo::saveIfChanged(ini, s), written);
            QCOMPARE(QFileInfo(file).lastModified() > past, written);
            QVERIFY(QFile::remove(file));
        }
    }

    void missingOrRootFoldersGetTheDefaults()
    {
        const QString existing = path("exports");
        QVERIFY(QDir().mkpath(existing));
        QVERIFY(writeAll(path("brisca.ini"), "[Default]\r\nLastPath_2D = /no/such/folder\r\n"
                                             "LastPath_MDF = " + existing.toLocal8Bit() + "\r\n"
                                             "LastPathAllDevice = /\r\nLastPathSnapshot = /\r\n"
                                             "MediumType = EtherNet\r\nMaximumPeriodSampling = 10\r\n"));
        IniFile ini(path("brisca.ini"));
        const ShellSettings s = ShellSettingsIo::load(ini, QStringLiteral("/prog"));
        QCOMPARE(s.lastPath2D, path("Documents/Brisca/2D"));
        QCOMPARE(s.lastPathMDF, existing);
        QCOMPARE(s.mediumType, QStringLiteral("ethernet"));
        QCOMPARE(s.lastDeviceName, QStringLiteral("/prog/Default.XML"));
        QCOMPARE(s.maximumPeriodSampling, 10);
        // The root written by earlier versions is replaced in the file as well.
        const QByteArray file = readAll(path("brisca.ini"));
        QVERIFY(file.contains("LastPathAllDevice = /prog\r\n"));
        QVERIFY(file.contains("LastPathSnapshot = " + path("Documents/Brisca/Snapshot").toLocal8Bit() + "\r\n"));
        QCOMPARE(s.lastPathSnapshot, path("Documents/Brisca/Snapshot"));
    }

    void oldDumpsArePrunedToTheNewest()
    {
        for (const auto &[count, removed] : {std::pair(20, 0), std::pair(25, 5)}) {
            const QString folder = path(QStringLiteral("Brisca%1").arg(count));
            QVERIFY(QDir().mkpath(folder + "/dump_dir.bin"));
            // Names run against age, so that sorting by name would pick the wrong ones.
            const QDateTime base = QDateTime::currentDateTime().addDays(-10);
            QStringList byAge;
            for (int i = 0; i < count; ++i) {
                byAge << folder + QStringLiteral("/dump_%1.bin").arg(99 - i);
                QVERIFY(writeAll(byAge.last(), "x"));
                QVERIFY(setModified(byAge.last(), base.addSecs(60 * i)));
            }
            QVERIFY(writeAll(folder + "/notes.bin", "x")); // look-alikes that are not dumps stay
            QCOMPARE(Startup::pruneOldDumps(folder), removed);
            for (int i = 0; i < count; ++i)
                QCOMPARE(QFile::exists(byAge.at(i)), i >= removed);
            QVERIFY(QFile::exists(folder + "/notes.bin"));
            QVERIFY(QFileInfo(folder + "/dump_dir.bin").isDir());
        }
    }

    void languageIsItalianOnlyForExactlyIt()
    {
        const QByteArray saved[3] = {qgetenv("LC_ALL"), qgetenv("LC_MESSAGES"), qgetenv("LANG")};
        const struct { const char *all, *messages, *lang, *language; } cases[] = {
            {"IT", "de", "en_US", "it"}, {"", "it", "en_US", "it"}, {"", "", "it_IT.UTF-8", "en"}, {"", "", "", "en"}};
        for (const auto &c : cases) {
            qputenv("LC_ALL", c.all); // an empty value counts as unset
            qputenv("LC_MESSAGES", c.messages);
            qputenv("LANG", c.lang);
            QCOMPARE(Startup::languageForLocale(Startup::localeNameFromEnvironment()), QString(c.language));
        }
        qputenv("LC_ALL", saved[0]);
        qputenv("LC_MESSAGES", saved[1]);
        qputenv("LANG", saved[2]);
        QCOMPARE(Startup::translationFile(QStringLiteral("/prog"), QStringLiteral("it")), QString());
        QCOMPARE(Startup::translationFile(QStringLiteral("/prog"), QStringLiteral("en")),
                 QStringLiteral("/prog/brisca_en.qm"));

        // Qt's own buttons and file dialogs speak Italian with the interface.
        QTranslator qt;
        QVERIFY(!Startup::loadQtTranslation(qt, QStringLiteral("en")));
        QVERIFY2(Startup::loadQtTranslation(qt, QStringLiteral("it")), "qt6-translations-l10n installed?");
        QCOMPARE(qt.translate("QPlatformTheme", "&Yes"), QStringLiteral("&S\u00ec"));
    }

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestAppCore)
#include "tst_appcore.moc"
