#pragma once
// brisca-tool device ...: check, stamp, encrypt and generate device files.

#include <QStringList>

class QTextStream;

// args without the leading "device"; returns the exit code (0 ok, 1 the
// device would be refused or the operation failed, 2 usage).
int runDeviceCommand(const QStringList &args, QTextStream &out, QTextStream &err);
void deviceUsage(QTextStream &out);
