#pragma once
// The one object through which the program reaches the ECU. It follows the
// main window's medium choice: raw Ethernet through EthernetEcuProtocol, or
// the communication server through the client library LnkClientDll, loaded
// by name at run time. The main window creates it once; the logger protocol,
// the commands and the communication setup call it, one thread at a time.

#include "ethernetecuprotocol.h"
#include "lnkclientapi.h"
#include "rawframe.h"
#include "remainingtimeevent.h"

#include <QList>
#include <QString>

class EthernetLink;
class QLibrary;
class QObject;

class CommunicationMedium
{
public:
    static constexpr quint32 ServerChunk = 131056; // 0x1FFF0, the library's largest transfer
    static constexpr quint32 DefaultPort = 55162;
    static constexpr int ServerStartTimeoutMs = 5000;
    static const char *const RegistryPath;

    // ethernetMedium and linkSlot belong to the main window, which may change
    // them at any time between operations. libraryPath overrides where the
    // client library is looked for (tests); by default it is the program's
    // folder, then the system's library path.
    CommunicationMedium(bool *ethernetMedium, EthernetLink **linkSlot, const QString &libraryPath = QString());
    ~CommunicationMedium();
    CommunicationMedium(const CommunicationMedium &) = delete;
    CommunicationMedium &operator=(const CommunicationMedium &) = delete;

    // True when every required entry point of the client library resolved.
    bool libraryUsable() const { return m_usable; }
    QString libraryError() const { return m_libraryError; }
    bool serverRegistered() const { return m_registered; }
    bool usesEthernet() const { return m_ethernet && *m_ethernet; }

    bool connect(const QString &clientName, const QString &serverAddress, quint32 port, quint32 space);
    void disconnect();
    bool isConnected();
    bool lock(int timeoutMs);
    void unlock();
    bool isLocked() const { return m_locked; }
    bool interfaceIsPresent();
    void setSpacing(qint32 value);
    bool setCanParameters(quint32 canId, quint32 second, quint32 bitRate, quint8 &extendedId);
    // The logger passes CanSettings::lineType, a 32-bit field, as the byte.
    bool setCanParameters(quint32 canId, quint32 second, quint32 bitRate, quint32 &lineType)
    {
        quint8 b = quint8(lineType);
        const bool ok = setCanParameters(canId, second, bitRate, b);
        lineType = b;
        return ok;
    }
    bool staticTableStart(quint32 space, quint32 &address);
    bool staticTableEntry(quint32 space, quint32 index, quint32 &address, quint16 &size,
                          quint32 tableAddress = 0xFFFFFFFFu, quint16 *flag = nullptr);
    bool readMemory(quint32 space, quint32 address, quint8 *buffer, quint32 length);
    // blockSize 0 or above ServerChunk means ServerChunk; negative means
    // ServerChunk with the library's own block handling.
    bool readMemoryBlocks(quint32 space, quint32 address, quint8 *buffer, quint32 length, int blockSize);
    bool writeMemory(quint32 space, quint32 address, const quint8 *data, quint32 length);
    QString listActiveServers(quint32 &value);

    const QList<EcuInfo> &discoverEcus();
    void setEcuTarget(const quint8 *mac);
    int checkEcuPresence();
    bool ecuTargetValid() const;

    // Receives RemainingTimeEvent during transfers; null for none.
    void setProgressReceiver(QObject *receiver) { m_progress = receiver; }
    QObject *progressReceiver() const { return m_progress; }
    // Byte counters back to 0 and time counters to 1, so that the next
    // transfer's remaining-time estimate starts afresh.
    void resetStatistics();
    // As resetStatistics, and no progress receiver.
    void resetProgress();

    EthernetEcuProtocol &ethernet() { return m_protocol; }
    quint32 readTimeMs() const { return m_readTime; }
    quint32 writeTimeMs() const { return m_writeTime; }
    quint32 bytesRead() const { return m_bytesRead; }
    quint32 bytesWritten() const { return m_bytesWritten; }
    quint32 currentReadBytes() const { return m_currentRead; }

    QString serverProgram() const { return m_serverProgram; }
    QString serverClass() const { return m_serverClass; }
    QString serverWindowName() const { return m_serverWindowName; }

private:
    void loadLibrary(const QString &libraryPath);
    bool startLocalServer();
    bool serverRead(quint32 space, quint32 address, quint8 *buffer, quint32 length, quint32 chunkSize,
                    bool blocks, quint32 mode);
    void postRemaining(quint64 done, quint32 timeMs, quint64 remaining);

    bool *m_ethernet;
    EthernetEcuProtocol m_protocol;
    QLibrary *m_library = nullptr;
    bool m_usable = false;
    QString m_libraryError;
    bool m_locked = false;
    bool m_registered = false;
    bool m_ethernetConnected = false;
    QString m_serverProgram;
    QString m_serverClass;
    QString m_serverWindowName;
    quint32 m_writeTime = 1;
    quint32 m_readTime = 1;
    quint32 m_bytesRead = 0;
    quint32 m_bytesWritten = 0;
    quint32 m_currentRead = 0;
    QObject *m_progress = nullptr;

    LnkOpenCommunication m_open = nullptr;
    LnkCloseCommunication m_close = nullptr;
    LnkIsConnected m_isConnected = nullptr;
    LnkGetID m_getId = nullptr;
    LnkSetLock m_setLock = nullptr;
    LnkSetUnlock m_setUnlock = nullptr;
    LnkIsMyTurn m_isMyTurn = nullptr;
    LnkSetSpacingTransmissionTime m_setSpacing = nullptr;
    LnkInterfaceIsPresent m_interfaceIsPresent = nullptr;
    LnkSetCANInterfaceParameters m_setCan = nullptr;
    LnkGetStaticTableStartAddress m_tableStart = nullptr;
    LnkGetRealAddressFromStaticTableIndex m_tableEntry = nullptr;
    LnkReadBuffer m_readBuffer = nullptr;
    LnkLetturaBloccoMemoriaECU m_readBlock = nullptr;
    LnkWriteBufferPV1 m_writeBuffer = nullptr;
    LnkListaServerRemotiAttivi m_listServers = nullptr;
    LnkSetCommIntefaceSettingsWithExtID m_setCanExt = nullptr;
};
