#include "startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Startup {

QString localeNameFromEnvironment()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray v = qgetenv(name);
        if (!v.isEmpty())
            return QString::fromLocal8Bit(v);
    }
    return QString();
}

QString languageForLocale(const QString &localeName)
{
    return localeName.toLower() == QLatin1String("it") ? QStringLiteral("it") : QStringLiteral("en");
}

QString translationFile(const QString &programDir, const QString &language)
{
    // Italian is the source language: there is nothing to load for it.
    if (language == QLatin1String("it"))
        return QString();
    return programDir + QStringLiteral("/brisca_") + language + QStringLiteral(".qm");
}

bool loadQtTranslation(QTranslator &translator, const QString &language)
{
    if (language != QLatin1String("it"))
        return false;
    return translator.load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

int pruneOldDumps(const QString &folder, int keep)
{
    if (folder.isEmpty())
        return 0;
    const QFileInfoList dumps = QDir(folder).entryInfoList({QStringLiteral("dump*.bin")}, QDir::Files,
                                                           QDir::Time | QDir::Reversed);
    int removed = 0;
    for (int i = 0; i < dumps.size() - keep; ++i)
        if (QFile::remove(dumps.at(i).absoluteFilePath()))
            ++removed;
    return removed;
}

} // namespace Startup
