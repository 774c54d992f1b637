#pragma once
// brisca-tool logger: send a configuration, read it back, or download the
// logger memory from the command line, through the same steps and worker as
// the window's commands.

#include <QStringList>

class QTextStream;

void loggerUsage(QTextStream &out);
// 0 done, 1 refused by the ECU, the connection or the device, 2 usage.
int runLoggerCommand(const QStringList &args, QTextStream &out, QTextStream &err);
