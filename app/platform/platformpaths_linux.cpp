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

QString installationDrive(const QString &programDir)
{
    // Paths on Linux have no drive letter: the text before the first "/" is
    // empty, so the root itself stands in for the drive.
    Q_UNUSED(programDir);
    return QStringLiteral("/");
}

} // namespace Platform
