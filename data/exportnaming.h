#pragma once
// Where an export goes: events (subdirectories of a format's base directory),
// measurement names by the naming rules of the settings file, 2D comment
// lines. Shared by the export dialog and brisca-tool so both name alike.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace ExportNaming {

QString stamp(const QDateTime &when);   // "yyyyMMdd_hhmmss"

// 2D measurement name (without ".mes"): rule 0 the time stamp, rule 1 the time
// stamp + "_" + description, any other rule empty.
QString measure2D(int rule, const QString &description, const QDateTime &when);

// MDF file name: rule 0 stamp.mdf, 1 stamp_description.mdf, 2
// description_N.mdf, 3 N.mdf with N one above the largest in eventDir; any
// other rule empty (the caller keeps its path). ext ".mf4" names MDF 4.10
// files alike, numbered among the ".mf4" files.
QString measureMdf(int rule, const QString &description, const QString &eventDir, const QDateTime &when,
                   const QString &ext = QStringLiteral(".mdf"));
int nextNumber(const QString &eventDir, int rule, const QString &description, const QString &ext = QStringLiteral(".mdf"));

// Words of the comment five to a line; the last line is always there.
QStringList commentLines(const QString &comment);

// Event directories under base, by modification time.
QStringList events(const QString &base);

// Removes everything inside dir (not dir itself); false when anything stayed.
bool removeContent(const QString &dir);

} // namespace ExportNaming
