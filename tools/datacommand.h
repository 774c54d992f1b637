#pragma once
// brisca-tool dump info / convert: logger dumps read back, decoded and
// exported with the same writers and naming rules as the export dialog.

#include <QStringList>

class QTextStream;

// args without the leading command word; exit code 0 ok, 1 a dump refused or
// an export failed, 2 usage.
int runDumpCommand(const QStringList &args, QTextStream &out, QTextStream &err);
int runConvertCommand(const QStringList &args, QTextStream &out, QTextStream &err);
void dataUsage(QTextStream &out);
