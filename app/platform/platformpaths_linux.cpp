#include "platformpaths.h"

#include <QDir>
#include <QStandardPaths>

namespace Platform {

QString appDataRoot()
{
    const QByteArray env = qgetenv("APPDATA");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString briscaDataFolder() { return appDataRoot() + QStringLiteral("/Orvotek/Brisca"); }

void ensureBriscaDataFolder()
{
    const QString root = appDataRoot();
    if (root.isEmpty())
        return;
    QDir dir;
    const QString orvotek = root + QStringLiteral("/Orvotek");
    if (!dir.exists(orvotek))
        dir.mkpath(orvotek);
    if (!dir.exists(briscaDataFolder()))
        dir.mkpath(briscaDataFolder());
}

QString defaultDeviceFolder(const QString &programDir)
{
    return QDir::toNativeSeparators(QDir::fromNativeSeparators(programDir) + QStringLiteral("/DEVICE"));
}

QString userDataFolder(const QString &name)
{
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    return QDir::toNativeSeparators(documents + QStringLiteral("/Brisca/") + name);
}

bool ensureFolder(const QString &path)
{
    return !path.isEmpty() && QDir().mkpath(QDir::fromNativeSeparators(path));
}

} // namespace Platform
