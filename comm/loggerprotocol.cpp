#include "loggerprotocol.h"

#include "communicationmedium.h"

LoggerProtocol::LoggerProtocol() = default;
LoggerProtocol::~LoggerProtocol() = default;
void LoggerProtocol::attachLoggerTable(LoggerTable *, quint32) {}
void LoggerProtocol::setIdSource(const CanSettings *) {}
void LoggerProtocol::setMedium(CommunicationMedium *) {}
void LoggerProtocol::setChannelList(const QList<ChannelRecord *> &) {}
void LoggerProtocol::setTriggerSettings(const TriggerSettings &) {}
bool LoggerProtocol::fitsMemory() { return true; }
int LoggerProtocol::sendConfiguration() { return LoggerResult::NotConnectedServer; }
int LoggerProtocol::readConfiguration(bool) { return LoggerResult::NotConnectedServer; }
int LoggerProtocol::readLoggedData(QObject *) { return LoggerResult::NotConnectedServer; }
int LoggerProtocol::restartLogger(bool) { return LoggerResult::Done; }
QString LoggerProtocol::takeLastError() { QString e = m_lastError; m_lastError.clear(); return e; }
int LoggerProtocol::sendChannelInfo() { return LoggerResult::NotConnectedServer; }
int LoggerProtocol::checkVariableSizes(int &count) { count = 0; return LoggerResult::Done; }
QList<ChannelRecord *> LoggerProtocol::decodeReadBack(TriggerSettings *head, quint32 *dataLength)
{
    return LoggerImage::decodeReadBack(readBackBlock(), m_n, head, dataLength);
}
void LoggerProtocol::buildImage() {}
