#include "shellsettings.h"
#include "inifile.h"
#include "platformpaths.h"
#include "registrykey.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace ShellSettingsIo {

namespace {
const QString kDefault = QStringLiteral("Default");

QString existingOr(const QString &path, const QString &fallback)
{
    return QFileInfo(path).isDir() ? path : fallback;
}

// Folders of the user's own for what the program writes; created when first used.
QString snapshotFolder() { return Platform::userDataFolder(QStringLiteral("Snapshot")); }
QString folder2D() { return Platform::userDataFolder(QStringLiteral("2D")); }
QString folderMDF() { return Platform::userDataFolder(QStringLiteral("MDF")); }

QString defaultDeviceFile(const QString &programDir)
{
    return programDir + QDir::separator() + QStringLiteral("Default.XML");
}

// The client keeps its devices in the DEVICE folder under its own. A Windows
// style value keeps its backslash; a Unix path gets a slash.
QString deviceFolderUnder(const QString &clientPath)
{
    const bool unixPath = clientPath.contains(QLatin1Char('/')) && !clientPath.contains(QLatin1Char('\\'));
    return clientPath + (unixPath ? QStringLiteral("/DEVICE") : QStringLiteral("\\DEVICE"));
}
} // namespace

static QString initialDeviceFolder(const QString &programDir)
{
    RegistryKey key;
    if (key.open(QLatin1String(clientRoot()), clientKey(), false)) {
        char buffer[513] = {};
        key.queryString("Path", buffer, sizeof buffer);
        return deviceFolderUnder(QString::fromLocal8Bit(buffer));
    }
    // Without the key: the set-up's DEVICE folder beside the program, or the
    // program's folder itself, which start-up falls back to anyway.
    const QString beside = Platform::defaultDeviceFolder(programDir);
    return QFileInfo(beside).isDir() ? beside : programDir;
}

void writeDefaults(IniFile &settings, const QString &programDir)
{
    settings.setSection(kDefault);
    settings.setValue(QStringLiteral("LastPathAllDevice"), initialDeviceFolder(programDir));
    settings.setValue(QStringLiteral("LastPathSnapshot"), snapshotFolder());
    settings.setValue(QStringLiteral("LastPath_2D"), folder2D());
    settings.setValue(QStringLiteral("LastPath_MDF"), folderMDF());
    settings.setValue(QStringLiteral("MdfAuthor"), kDefault);
    settings.setValue(QStringLiteral("MdfOrganization"), kDefault);
    settings.setValue(QStringLiteral("LastDeviceName"), QStringLiteral("Default.XML"));
    settings.setValue(QStringLiteral("Server_IP"), QStringLiteral("127.0.0.1"));
    settings.setValue(QStringLiteral("MediumType"), QStringLiteral("Pontis"));
    settings.setValue(QStringLiteral("SystemNameNIC"), QStringLiteral("{}"));
    settings.setValue(QStringLiteral("DefaultFormat"), QStringLiteral("MDF"));
    settings.setValue(QStringLiteral("DeleteAfterDownload"), 0);
    settings.setValue(QStringLiteral("FilenameFormatMDF"), 0);
    settings.setValue(QStringLiteral("FilenameFormat2D"), 0);
    settings.setValue(QStringLiteral("FilenameDescrMDF"), QStringLiteral("none"));
    settings.setValue(QStringLiteral("FilenameDescr2D"), QStringLiteral("none"));
    settings.setValue(QStringLiteral("LastEvent_2D"), QStringLiteral("default"));
    settings.setValue(QStringLiteral("LastEvent_MDF"), QStringLiteral("default"));
    settings.setValue(QStringLiteral("MaximumPeriodSampling"), 5);
    settings.write();
}

ShellSettings load(IniFile &settings, const QString &programDir)
{
    if (settings.read())
        settings.selectSection(kDefault);
    else
        writeDefaults(settings, programDir);

    // Earlier versions wrote the root as every folder; the root is never a
    // sensible place to look for devices or to write measurements.
    const QString root = QStringLiteral("/");
    bool migrated = false;
    const std::pair<const char *, QString> firstFolders[] = {
        { "LastPathAllDevice", initialDeviceFolder(programDir) },
        { "LastPathSnapshot", snapshotFolder() },
        { "LastPath_2D", folder2D() },
        { "LastPath_MDF", folderMDF() } };
    for (const auto &[key, folder] : firstFolders) {
        if (settings.value(QLatin1String(key), QString()) == root) {
            settings.setValue(QLatin1String(key), folder);
            migrated = true;
        }
    }
    if (migrated)
        settings.write();

    ShellSettings s;
    s.mediumType = settings.value(QStringLiteral("MediumType"), QStringLiteral("Pontis")).toLower();
    s.nicSystemName = settings.value(QStringLiteral("SystemNameNIC"), QStringLiteral("{}"));
    s.serverHost = settings.value(QStringLiteral("Server_IP"), QStringLiteral("127.0.0.1"));
    s.lastDeviceName = settings.value(QStringLiteral("LastDeviceName"), defaultDeviceFile(programDir));
    s.lastPathAllDevice = existingOr(settings.value(QStringLiteral("LastPathAllDevice"), programDir), programDir);
    // The program's folder may not be writable: a missing folder of the
    // user's becomes the default one, created when first used.
    s.lastPathSnapshot = existingOr(settings.value(QStringLiteral("LastPathSnapshot"), snapshotFolder()), snapshotFolder());
    s.lastPath2D = existingOr(settings.value(QStringLiteral("LastPath_2D"), folder2D()), folder2D());
    s.lastPathMDF = existingOr(settings.value(QStringLiteral("LastPath_MDF"), folderMDF()), folderMDF());
    s.mdfAuthor = settings.value(QStringLiteral("MdfAuthor"), kDefault);
    s.mdfOrganization = settings.value(QStringLiteral("MdfOrganization"), kDefault);
    s.maximumPeriodSampling = settings.intValue(QStringLiteral("MaximumPeriodSampling"), 5);
    return s;
}

void reloadAfterOptions(IniFile &settings, const QString &programDir, ShellSettings &s)
{
    settings.selectSection(kDefault);
    s.lastDeviceName = settings.value(QStringLiteral("LastDeviceName"), defaultDeviceFile(programDir));
    s.lastPathAllDevice = settings.value(QStringLiteral("LastPathAllDevice"), programDir);
    s.lastPath2D = settings.value(QStringLiteral("LastPath_2D"), folder2D());
    s.lastPathMDF = settings.value(QStringLiteral("LastPath_MDF"), folderMDF());
    s.mdfAuthor = settings.value(QStringLiteral("MdfAuthor"), kDefault);
    s.mdfOrganization = settings.value(QStringLiteral("MdfOrganization"), kDefault);
}

bool saveIfChanged(IniFile &settings, const ShellSettings &s)
{
    settings.selectSection(kDefault);
    const bool changed = settings.value(QStringLiteral("LastPathAllDevice"), QString()) != s.lastPathAllDevice
                         || settings.value(QStringLiteral("LastPathSnapshot"), QString()) != s.lastPathSnapshot
                         || settings.value(QStringLiteral("LastDeviceName"), QString()) != s.lastDeviceName
                         || settings.value(QStringLiteral("Server_IP"), QString()) != s.serverHost;
    if (!changed)
        return false;
    settings.setValue(QStringLiteral("LastPathAllDevice"), s.lastPathAllDevice);
    settings.setValue(QStringLiteral("LastPathSnapshot"), s.lastPathSnapshot);
    settings.setValue(QStringLiteral("LastDeviceName"), s.lastDeviceName);
    settings.setValue(QStringLiteral("Server_IP"), s.serverHost);
    settings.write();
    return true;
}

} // namespace ShellSettingsIo
