#pragma once
// The steps every logger command takes before and after its operation,
// without widgets: connecting to the ECU (server or Ethernet), checking that
// the ECU runs the program the device describes, resolving the logger
// addresses through the ECU's static variable table, and bringing a
// configuration read back from the ECU into the device model. The main
// window and brisca-tool both go through these. Texts are in the context
// MainAppl.

#include "devicemodel.h"

#include <QString>

#include <functional>

class CommunicationMedium;

namespace LoggerSteps {

constexpr quint32 ServerPort = 55162;
inline QString clientName() { return QStringLiteral("Brisca"); }

enum class Connection {
    Ready,
    ServerRefused,    // "Connessione al server non effettuata!!!"
    EthernetRefused,  // "Connessione alla ECU via Ethernet, non effettuata!!!"
    NoInterface,      // "Interfaccia non connessa!!!"
    EcuOffline,       // "ECU non in linea!!!"
};

// Connection steps up to the static table check. searchEcus runs when the
// Ethernet target does not answer (the window lets the user choose an ECU).
Connection connectToEcu(CommunicationMedium &medium, const QString &serverHost, quint32 port,
                        const CanSettings &can, const std::function<void()> &searchEcus);
QString connectionMessage(Connection c);

// 0 the device matches the ECU, 1 it does not, 2 the identification could
// not be read, -1 no connection; *message gets the text for the result.
int checkDeviceOnEcu(CommunicationMedium *medium, const LoggerTable &table, const ElfIdentification &elf,
                     const CanSettings &can, QString *message);

// Whether a command resolves the logger addresses before its operation.
inline bool needsResolving(const DeviceModel &device)
{
    return !device.loggerTable.elfCheckEnabled && !device.noLoggerTable;
}
// Replaces each logger address (a static table index on these devices) by
// the ECU's real address and size. false, table unchanged, when the ECU has
// no static table.
bool resolveLoggerAddresses(CommunicationMedium &medium, LoggerTable &table, quint32 space);

// Makes the decoded channels the selection and takes ownership of them.
// matched: the device matches the ECU, so device channels with the same
// address take the ECU's settings; otherwise the decoded channels replace
// the device's. The trigger channel is moved along; a trigger channel
// not brought in is dropped.
void mergeReadBack(DeviceModel &device, QList<ChannelRecord *> decoded, bool matched);

} // namespace LoggerSteps
