// Settings file, first-start defaults, exit save, dump pruning and language
// choice: the application shell's logic without widgets.
#include "inifile.h"
#include "registrykey.h"
#include "shellsettings.h"
#include "startup.h"
#include "testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestFiles;

namespace {
// "Section:key=value;key=value|Section:..." for every section with entries.
QString dump(const IniFile &ini)
{
    QStringList parts;
    for (const QString &name : ini.sectionNames()) {
        const IniSection *s = ini.section(name);
        if (s->entries().isEmpty())
            continue;
        QStringList pairs;
        for (auto it = s->entries().cbegin(); it != s->entries().cend(); ++it)
            pairs << it.key() + QLatin1Char('=') + it.value();
        parts << name + QLatin1Char(':') + pairs.join(QLatin1Char(';'));
    }
    return parts.join(QLatin1Char('|'));
}

QByteArray freshFile(const QByteArray &deviceFolder)
{
    return "CHARSET ISO8859-1\r\n"
           "\r\n"
           "[Default]\r\n"
           "DefaultFormat = MDF\r\n"
           "DeleteAfterDownload = 0\r\n"
           "FilenameDescr2D = none\r\n"
           "FilenameDescrMDF = none\r\n"
           "FilenameFormat2D = 0\r\n"
           "FilenameFormatMDF = 0\r\n"
           "LastDeviceName = Default.XML\r\n"
           "LastEvent_2D = default\r\n"
           "LastEvent_MDF = default\r\n"
           "LastPathAllDevice = " + deviceFolder + "\r\n"
           "LastPathSnapshot = /\r\n"
           "LastPath_2D = /\r\n"
           "LastPath_MDF = /\r\n"
           "MaximumPeriodSampling = 5\r\n"
           "MdfAuthor = Default\r\n"
           "MdfOrganization = Default\r\n"
           "MediumType = Pontis\r\n"
           "Server_IP = 127.0.0.1\r\n"
           "SystemNameNIC = {}\r\n";
}
} // namespace

class TestAppCore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        RegistryKey::setStorePath(path(QStringLiteral("registry.ini")));
    }

    void firstStartWritesTheDefaultFile_data()
    {
        QTest::addColumn<QByteArray>("registry");
        QTest::addColumn<QByteArray>("deviceFolder");

        const QByteArray key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\PontisClient\\KVTSettings]\n";
        QTest::newRow("no registry: installation drive") << QByteArray() << QByteArray("/");
        QTest::newRow("other key only") << QByteArray("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvotek Srl\\Pontis]\nPath = X\n")
                                        << QByteArray("/");
        QTest::newRow("client path D:\\Tools") << key + "Path = D:\\Tools\n" << QByteArray("D:\\Tools\\DEVICE");
        QTest::newRow("client key without Path") << key << QByteArray("\\DEVICE");
        QTest::newRow("client path on Linux") << key + "Path = /opt/pontis\n" << QByteArray("/opt/pontis/DEVICE");
    }

    void firstStartWritesTheDefaultFile()
    {
        QFETCH(QByteArray, registry);
        QFETCH(QByteArray, deviceFolder);
        if (!registry.isEmpty())
            QVERIFY(writeAll(path("registry.ini"), registry));

        const QString file = path("brisca.ini");
        IniFile ini(file);
        const ShellSettings s = ShellSettingsIo::load(ini, m_dir->path());
        QCOMPARE(readAll(file), freshFile(deviceFolder));

        QCOMPARE(s.mediumType, QStringLiteral("pontis"));
        QCOMPARE(s.lastDeviceName, QStringLiteral("Default.XML"));
        QCOMPARE(s.lastPathAllDevice, deviceFolder == "/" ? QStringLiteral("/") : m_dir->path());
    }

    void readingRules_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("comments even with =") << QByteArray("# a = 1\n  ; b = 2\n;;#c=3\nx = 1 ; note\n")
                                              << "Default:x=1 ; note";
        QTest::newRow("header forms") << QByteArray("[ Misure ]\nk=1\n[abc\nk=2\n[a]b]\nk=3\n")
                                      << "Misure:k=1|a]b:k=3|abc:k=2";
        QTest::newRow("= first is ignored, key= is empty") << QByteArray("=5\nkey=\nnothing here\n")
                                                           << "Default:key=";
        QTest::newRow("keys are case-sensitive") << QByteArray("Key = A\nkey = B\n") << "Default:Key=A;key=B";
        QTest::newRow("later entry wins") << QByteArray("Server_IP = 10.0.0.1\nServer_IP = 10.0.0.2\n")
                                          << "Default:Server_IP=10.0.0.2";
        QTest::newRow("CHARSET anywhere is a charset line") << QByteArray("Note = CHARSET test\nx=1\n")
                                                            << "Default:x=1";
        QTest::newRow("early key goes to Default") << QByteArray("early = 1\n[Other]\nk = v\n")
                                                   << "Default:early=1|Other:k=v";
        QTest::newRow("blanks and CRLF stripped") << QByteArray(" \t spaced key  =  a = b \t\r\n\r\n") 
                                                  << "Default:spaced key=a = b";
        QTest::newRow("last line without newline") << QByteArray("[Default]\r\nk = v") << "Default:k=v";
        QTest::newRow("empty file") << QByteArray() << "";
    }

    void readingRules()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        QVERIFY(writeAll(path("in.ini"), text));
        IniFile ini(path("in.ini"));
        QVERIFY(ini.read());
        QCOMPARE(dump(ini), expected);
        QCOMPARE(ini.currentSectionName(), QStringLiteral("Default"));
    }

    void writeDropsCommentsAndSortsWithCrLf()
    {
        QVERIFY(writeAll(path("in.ini"), "; generated by hand\nzeta=last\n\n[Misure]\n# a comment\nb=2\n"
                                         "a =1\n[Empty]\n[Default]\nAlpha= first \n"));
        IniFile ini(path("in.ini"));
        QVERIFY(ini.read());
        QVERIFY(ini.write());
        QCOMPARE(readAll(path("in.ini")), QByteArray("CHARSET ISO8859-1\r\n\r\n[Default]\r\nAlpha = first\r\n"
                                                     "zeta = last\r\n\r\n[Misure]\r\na = 1\r\nb = 2\r\n"));
    }

    void charsetDecidesDecodingAndHeader_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("written");

        const QString cafe = QStringLiteral("Caf\u00e9");
        const QByteArray latin1 = "CHARSET ISO8859-1\r\n\r\n[Default]\r\nName = Caf\xe9\r\n";
        const QByteArray utf8 = "CHARSET UTF-8\r\n\r\n[Default]\r\nName = Caf\xc3\xa9\r\n";
        QTest::newRow("Latin-1 keeps its bytes") << latin1 << cafe << latin1;
        QTest::newRow("UTF-8 keeps its bytes") << utf8 << cafe << utf8;
        QTest::newRow("ISO-8859-1 spelling is Latin-1")
            << QByteArray("CHARSET ISO-8859-1\n[Default]\nName = Caf\xe9\n") << cafe << latin1;
        QTest::newRow("unknown codec: local encoding, default header")
            << QByteArray("CHARSET KOI9-X\r\n[Default]\r\nName = Caf\xe9\r\n") << cafe << latin1;
        QTest::newRow("unknown codec after UTF-8 keeps UTF-8 decoding")
            << QByteArray("CHARSET UTF-8\r\nx CHARSET nonsense\r\n[Default]\r\nName = Caf\xc3\xa9\r\n") << cafe << latin1;
        QTest::newRow("no CHARSET line") << QByteArray("[Default]\r\nName = Caf\xe9\r\n") << cafe << latin1;
    }

    void charsetDecidesDecodingAndHeader()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, name);
        QFETCH(QByteArray, written);
        QVERIFY(writeAll(path("cs.ini"), text));
        IniFile ini(path("cs.ini"));
        QVERIFY(ini.read());
        QCOMPARE(ini.value(QStringLiteral("Name")), name);
        QVERIFY(ini.write());
        QCOMPARE(readAll(path("cs.ini")), written);
    }

    void lookedUpKeyIsWrittenEvenWhenEmpty()
    {
        QVERIFY(writeAll(path("k.ini"), "CHARSET ISO8859-1\r\n\r\n[Default]\r\nMdfAuthor = Me\r\n"));
        IniFile ini(path("k.ini"));
        QVERIFY(ini.read());
        QCOMPARE(ini.value(QStringLiteral("LastPath_2D"), QStringLiteral("/fallback")), QStringLiteral("/fallback"));
        QVERIFY(ini.write());
        QCOMPARE(readAll(path("k.ini")),
                 QByteArray("CHARSET ISO8859-1\r\n\r\n[Default]\r\nLastPath_2D = \r\nMdfAuthor = Me\r\n"));
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
            const int count = rng.bounded(1, 80);
            for (int i = 0; i < count; ++i)
                input += pieces[rng.bounded(int(std::size(pieces)))];
            input.replace("\\0", QByteArray(1, '\0'));
            QVERIFY(writeAll(file, input));
            QByteArray first;
            {
                IniFile ini(file);
                QVERIFY(ini.read());
                QVERIFY(ini.write());
                first = readAll(file);
            }
            IniFile again(file);
            QVERIFY(again.read());
            QVERIFY(again.write());
            QVERIFY2(readAll(file) == first, input.toPercentEncoding().constData());
        }
    }

    void intValueFallsBackOnNonNumbers_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QByteArray("n = 42") << 42;
        QTest::newRow("negative") << QByteArray("n = -7") << -7;
        QTest::newRow("trailing letters") << QByteArray("n = 12abc") << 99;
        QTest::newRow("empty value") << QByteArray("n =") << 99;
        QTest::newRow("absent") << QByteArray("m = 1") << 99;
        QTest::newRow("hex is not decimal") << QByteArray("n = 0x10") << 99;
    }

    void intValueFallsBackOnNonNumbers()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, expected);
        QVERIFY(writeAll(path("i.ini"), line));
        IniFile ini(path("i.ini"));
        QVERIFY(ini.read());
        QCOMPARE(ini.intValue(QStringLiteral("n"), 99), expected);
    }

    void unusableFileNamesFailWithoutChanges()
    {
        for (const QString &name : {QString(), path("no/such/dir/brisca.ini")}) {
            IniFile ini(name);
            ini.setValue(QStringLiteral("k"), QStringLiteral("v"));
            QVERIFY(!ini.read());
            QVERIFY(!ini.write());
            QCOMPARE(dump(ini), QStringLiteral("Default:k=v"));
        }
        IniFile directory(m_dir->path());
        QVERIFY(!directory.read());

        // Selecting a section that is not there keeps the current one.
        IniFile other(path("x.ini"));
        QVERIFY(!other.selectSection(QStringLiteral("Nope")));
        QCOMPARE(other.currentSectionName(), QStringLiteral("Default"));
    }

    void exitSaveOnlyWhenOneOfFourKeysChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("written");
        QTest::newRow("nothing") << QString() << false;
        QTest::newRow("device name") << "device" << true;
        QTest::newRow("snapshot folder") << "snapshot" << true;
        QTest::newRow("device folder") << "folder" << true;
        QTest::newRow("server") << "server" << true;
        QTest::newRow("an export folder is not compared") << "2d" << false;
    }

    void exitSaveOnlyWhenOneOfFourKeysChanged()
    {
        QFETCH(QString, change);
        QFETCH(bool, written);
        const QString file = path("brisca.ini");
        {
            IniFile ini(file);
            ShellSettingsIo::load(ini, m_dir->path());
        }
        const QDateTime past = QDateTime::currentDateTime().addDays(-3);
        QVERIFY(setModified(file, past));
        const QByteArray before = readAll(file);

        IniFile ini(file);
        ShellSettings s = ShellSettingsIo::load(ini, m_dir->path());
        if (change == "device")
            s.lastDeviceName = QStringLiteral("/dev/ECU.xml");
        else if (change == "snapshot")
            s.lastPathSnapshot = QStringLiteral("/tmp");
        else if (change == "folder")
            s.lastPathAllDevice = QStringLiteral("/tmp");
        else if (change == "server")
            s.serverHost = QStringLiteral("10.0.0.9");
        else if (change == "2d")
            s.lastPath2D = QStringLiteral("/tmp");

        QCOMPARE(ShellSettingsIo::saveIfChanged(ini, s), written);
        if (!written) {
            QCOMPARE(QFileInfo(file).lastModified(), past);
            QCOMPARE(readAll(file), before);
        } else {
            QVERIFY(QFileInfo(file).lastModified() > past);
            QVERIFY(readAll(file) != before);
        }
    }

    void missingFoldersFallBackToProgramFolder()
    {
        const QString existing = path("exports");
        QVERIFY(QDir().mkpath(existing));
        QVERIFY(writeAll(path("brisca.ini"), "[Default]\r\n"
                                             "LastPath_2D = /no/such/folder\r\n"
                                             "LastPath_MDF = " + existing.toLocal8Bit() + "\r\n"
                                             "MediumType = EtherNet\r\n"
                                             "MaximumPeriodSampling = 10\r\n"));
        IniFile ini(path("brisca.ini"));
        const ShellSettings s = ShellSettingsIo::load(ini, QStringLiteral("/prog"));
        QCOMPARE(s.lastPath2D, QStringLiteral("/prog"));
        QCOMPARE(s.lastPathMDF, existing);
        QCOMPARE(s.lastPathSnapshot, QStringLiteral("/prog"));
        QCOMPARE(s.mediumType, QStringLiteral("ethernet"));
        QCOMPARE(s.lastDeviceName, QStringLiteral("/prog/Default.XML"));
        QCOMPARE(s.mdfAuthor, QStringLiteral("Default"));
        QCOMPARE(s.maximumPeriodSampling, 10);
    }

    void settingsCopiesAfterOptionsKeepMissingFolders()
    {
        IniFile ini(path("brisca.ini"));
        ini.setValue(QStringLiteral("LastPath_2D"), QStringLiteral("/no/such/folder"));
        ini.setValue(QStringLiteral("MdfAuthor"), QStringLiteral("Tester"));
        ShellSettings s;
        ShellSettingsIo::reloadAfterOptions(ini, QStringLiteral("/prog"), s);
        QCOMPARE(s.lastPath2D, QStringLiteral("/no/such/folder"));
        QCOMPARE(s.lastPathMDF, QStringLiteral("/prog"));
        QCOMPARE(s.mdfAuthor, QStringLiteral("Tester"));
    }

    void oldDumpsArePrunedToTheNewest_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("removed");
        QTest::newRow("25 dumps") << 25 << 5;
        QTest::newRow("21 dumps") << 21 << 1;
        QTest::newRow("20 dumps") << 20 << 0;
        QTest::newRow("3 dumps") << 3 << 0;
        QTest::newRow("none") << 0 << 0;
    }

    void oldDumpsArePrunedToTheNewest()
    {
        QFETCH(int, count);
        QFETCH(int, removed);
        const QString folder = path("Orvotek/Brisca");
        QVERIFY(QDir().mkpath(folder));
        // Names run against age, so that sorting by name would pick the wrong ones.
        const QDateTime base = QDateTime::currentDateTime().addDays(-10);
        QStringList byAge;
        for (int i = 0; i < count; ++i) {
            const QString name = folder + QStringLiteral("/dump_%1.bin").arg(99 - i);
            QVERIFY(writeAll(name, "x"));
            QVERIFY(setModified(name, base.addSecs(60 * i)));
            byAge << name;
        }
        // Look-alikes that are not dumps stay.
        QVERIFY(writeAll(folder + "/notes.bin", "x"));
        QVERIFY(writeAll(folder + "/dump_old.txt", "x"));
        QVERIFY(QDir().mkpath(folder + "/dump_dir.bin"));

        QCOMPARE(Startup::pruneOldDumps(folder), removed);
        for (int i = 0; i < count; ++i)
            QCOMPARE(QFile::exists(byAge.at(i)), i >= removed);
        QVERIFY(QFile::exists(folder + "/notes.bin"));
        QVERIFY(QFile::exists(folder + "/dump_old.txt"));
        QVERIFY(QFileInfo(folder + "/dump_dir.bin").isDir());
    }

    void languageIsItalianOnlyForExactlyIt_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("language");
        QTest::newRow("it") << "it" << "it";
        QTest::newRow("IT") << "IT" << "it";
        QTest::newRow("it_IT") << "it_IT" << "en";
        QTest::newRow("it_IT.UTF-8") << "it_IT.UTF-8" << "en";
        QTest::newRow("en_US.UTF-8") << "en_US.UTF-8" << "en";
        QTest::newRow("C") << "C" << "en";
        QTest::newRow("unset") << QString() << "en";
    }

    void languageIsItalianOnlyForExactlyIt()
    {
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QCOMPARE(Startup::languageForLocale(locale), language);
        const QString file = Startup::translationFile(QStringLiteral("/prog"), language);
        QCOMPARE(file, language == "it" ? QString() : QStringLiteral("/prog/brisca_en.qm"));
    }

    void localeComesFromTheFirstSetVariable_data()
    {
        QTest::addColumn<QByteArray>("lcAll");
        QTest::addColumn<QByteArray>("lcMessages");
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<QString>("expected");
        QTest::newRow("LC_ALL wins") << QByteArray("it") << QByteArray("de") << QByteArray("en_US") << "it";
        QTest::newRow("then LC_MESSAGES") << QByteArray() << QByteArray("it") << QByteArray("en_US") << "it";
        QTest::newRow("then LANG") << QByteArray() << QByteArray() << QByteArray("en_US.UTF-8") << "en_US.UTF-8";
        QTest::newRow("nothing set") << QByteArray() << QByteArray() << QByteArray() << QString();
    }

    void localeComesFromTheFirstSetVariable()
    {
        QFETCH(QByteArray, lcAll);
        QFETCH(QByteArray, lcMessages);
        QFETCH(QByteArray, lang);
        QFETCH(QString, expected);
        const QByteArray saved[3] = {qgetenv("LC_ALL"), qgetenv("LC_MESSAGES"), qgetenv("LANG")};
        qputenv("LC_ALL", lcAll); // an empty value counts as unset
        qputenv("LC_MESSAGES", lcMessages);
        qputenv("LANG", lang);
        const QString got = Startup::localeNameFromEnvironment();
        qputenv("LC_ALL", saved[0]);
        qputenv("LC_MESSAGES", saved[1]);
        qputenv("LANG", saved[2]);
        QCOMPARE(got, expected);
    }

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestAppCore)
#include "tst_appcore.moc"
