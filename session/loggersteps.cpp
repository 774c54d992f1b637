#include "loggersteps.h"

#include "communicationmedium.h"

#include <QCoreApplication>

#include <array>

namespace LoggerSteps {

namespace {
const quint32 kNoAddress = 0xFFFFFFFFu;
}

Connection connectToEcu(CommunicationMedium &medium, const QString &serverHost, quint32 port,
                        const CanSettings &can, const std::function<void()> &searchEcus)
{
    const quint32 space = can.memorySpaceId();
    if (!medium.connect(clientName(), serverHost, port, space)) {
        if (!medium.usesEthernet())
            return Connection::ServerRefused;
        if (medium.checkEcuPresence() != 0) {
            if (searchEcus)
                searchEcus();
            if (!medium.ecuTargetValid())
                return Connection::EthernetRefused;
            medium.checkEcuPresence();
        }
    }
    // The line type goes to the library as a byte it may change; the
    // device's own value must stay as loaded.
    quint32 lineType = can.lineType;
    medium.setCanParameters(can.appCanId, 0, can.bitRate, lineType);
    if (!medium.interfaceIsPresent())
        return Connection::NoInterface;
    quint32 table = kNoAddress;
    if (!medium.staticTableStart(space, table) || table == kNoAddress)
        return Connection::EcuOffline;
    return Connection::Ready;
}

QString connectionMessage(Connection c)
{
    switch (c) {
    case Connection::Ready: return QString();
    case Connection::ServerRefused:
        return QCoreApplication::translate("MainAppl", "Connessione al server non effettuata!!!");
    case Connection::EthernetRefused:
        return QCoreApplication::translate("MainAppl", "Connessione alla ECU via Ethernet, non effettuata!!!");
    case Connection::NoInterface: return QCoreApplication::translate("MainAppl", "Interfaccia non connessa!!!");
    case Connection::EcuOffline: return QCoreApplication::translate("MainAppl", "ECU non in linea!!!");
    }
    return QString();
}

int checkDeviceOnEcu(CommunicationMedium *medium, const LoggerTable &table, const ElfIdentification &elf,
                     const CanSettings &can, QString *message)
{
    int r = 0;
    if (!medium || !medium->isConnected()) {
        r = -1;
    } else if (table.elfCheckEnabled) {
        QByteArray id(int(elf.idStringSize) + 1, '\0');
        if (elf.idStringSize == 0
            || !medium->readMemory(can.memorySpaceId(), elf.idStringAddress,
                                   reinterpret_cast<quint8 *>(id.data()), elf.idStringSize))
            r = 2;
        else
            r = QByteArray(id.constData()) == elf.idStringValue ? 0 : 1;
    }
    if (message) {
        switch (r) {
        case -1:
            *message = QCoreApplication::translate("MainAppl", "Problemi di comunicazione con il server!!!");
            break;
        case 0: *message = QCoreApplication::translate("MainAppl", "Device corretto!!!"); break;
        case 1: *message = QCoreApplication::translate("MainAppl", "Device non allineato con la ECU!!!"); break;
        default: *message = QCoreApplication::translate("MainAppl", "Errore di lettura dati in ECU!!!"); break;
        }
    }
    return r;
}

bool resolveLoggerAddresses(CommunicationMedium &medium, LoggerTable &table, quint32 space)
{
    quint32 start = kNoAddress;
    medium.staticTableStart(space, start);
    if (start == kNoAddress)
        return false;
    const std::array<LoggerAddress *, 11> pairs = {
        &table.dataBegin,    &table.dataEnd,         &table.startStop,
        &table.setupBegin,   &table.headerBegin,     &table.stopLoggerRequest,
        &table.clearLoggerDataRequest, &table.loggerRun, &table.channelInfoBegin,
        &table.speedChannel, &table.channelInfoSize,
    };
    for (LoggerAddress *pair : pairs) {
        pair->size = 0;
        quint16 size = 0;
        quint32 address = kNoAddress;
        medium.staticTableEntry(space, pair->address, address, size, start);
        pair->address = address;
        pair->size = size;
    }
    return true;
}

void mergeReadBack(DeviceModel &device, QList<ChannelRecord *> decoded, bool matched)
{
    const ChannelRecord *triggerChannel = device.trigger.channel;
    const ChannelRecord *newTrigger = nullptr;
    if (matched) {
        device.selected.clear();
        for (ChannelRecord *c : std::as_const(device.channels)) {
            if (decoded.isEmpty())
                break;
            for (int i = 0; i < decoded.size(); ++i) {
                ChannelRecord *e = decoded.at(i);
                if (e->address != c->address)
                    continue;
                c->takeSettings(*e);
                if (triggerChannel == e)
                    newTrigger = c;
                device.selected.append(c);
                delete decoded.takeAt(i);
                break;
            }
        }
        qDeleteAll(decoded);
    } else {
        const TriggerSettings trigger = device.trigger;
        device.clearChannels();
        device.trigger = trigger;
        for (ChannelRecord *e : std::as_const(decoded)) {
            if (triggerChannel == e)
                newTrigger = e;
            device.channels.append(e);
            device.selected.append(e);
        }
    }
    device.trigger.channel = newTrigger;
}

} // namespace LoggerSteps
