#include "loggerprotocol.h"

#include <QDateTime>

bool LoggerProtocol::saveDump(const QString &) const { return false; }
bool LoggerProtocol::loadDump(const QString &) { return false; }
void LoggerProtocol::saveDownloadState() {}
void LoggerProtocol::restoreDownloadState() {}
QString LoggerProtocol::dumpFileName(const QDateTime &when)
{
    return QStringLiteral("dump_") + when.toString(QStringLiteral("yyyyMMdd_hhmmss")) + QStringLiteral(".bin");
}
