#pragma once
// Minimal reader/writer of the "[section] / Name = value" text used by the
// registry stand-in. Section names keep backslashes verbatim (QSettings would not).

#include <QMap>
#include <QString>

namespace Platform {

using IniSectionMap = QMap<QString, QMap<QString, QString>>;

bool readIniSections(const QString &path, IniSectionMap &out);
// Written through a temporary file and rename.
bool writeIniSections(const QString &path, const IniSectionMap &sections);

} // namespace Platform
