#include "communicationmedium.h"

#include "ethernetlink.h"
#include "registrykey.h"
#include "serverpresence.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLibrary>
#include <QProcess>
#include <QThread>

const char *const CommunicationMedium::RegistryPath = "SOFTWARE\\Orvotek Srl\\Pontis";

namespace {
const char *const kLibraryName = "LnkClientDll";
const quint32 kNoAddress = 0xFFFFFFFFu;
const QList<EcuInfo> kNoEcus;

// Entry points in the order they are looked up; all but the last are needed.
const char *const kEntryPoints[] = {
    "lnkObj_openCommunication",
    "lnkObj_closeCommunication",
    "lnkObj_isConnected",
    "lnkObj_GetID",
    "lnkObj_SetLock",
    "lnkObj_SetUnlock",
    "lnkObj_IsMyTurn",
    "lnkObj_enableFiskCAN",
    "lnkObj_disableFiskCAN",
    "lnkObj_setSpacingTransmissionTime",
    "lnkObj_interfaceIsPresent",
    "lnkObj_setCANInterfaceParameters",
    "lnkObj_getStaticTableStartAddress",
    "lnkObj_SetDatumToStaticTableIndex",
    "lnkObj_GetEntireDatumFromStaticTableIndex",
    "lnkObj_GetRealAddressFromStaticTableIndex",
    "lnkObj_ReadBuffer",
    "lnkObj_letturaDatiConsistentiFinestreAttiveWithMaskCan",
    "lnkObj_letturaBloccoMemoriaECU",
    "lnkObj_WriteBufferPV1",
    "lnkObj_listaServerRemotiAttivi",
};

QString registryString(RegistryKey &key, const char *name)
{
    char buffer[513];
    if (!key.queryString(name, buffer, sizeof buffer))
        return QString();
    return QString::fromLocal8Bit(buffer);
}
} // namespace

CommunicationMedium::CommunicationMedium(bool *ethernetMedium, EthernetLink **linkSlot, const QString &libraryPath)
    : m_ethernet(ethernetMedium), m_protocol(linkSlot)
{
    RegistryKey key;
    if (key.open(QStringLiteral("HKEY_LOCAL_MACHINE"), RegistryPath, false)) {
        m_registered = true;
        m_serverClass = registryString(key, "Class");
        m_serverWindowName = registryString(key, "WinName");
        m_serverProgram = registryString(key, "FileName");
        key.close();
    }
    loadLibrary(libraryPath);
}

CommunicationMedium::~CommunicationMedium()
{
    // Deleting the QLibrary object leaves the library loaded: the client
    // library may still hold its connection until the process ends.
    delete m_library;
}

void CommunicationMedium::loadLibrary(const QString &libraryPath)
{
    QStringList candidates;
    if (!libraryPath.isEmpty()) {
        candidates << libraryPath;
    } else {
        // As Windows does for a DLL: the program's folder first.
        candidates << QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kLibraryName)
                   << QLatin1String(kLibraryName);
    }
    for (const QString &name : candidates) {
        auto *lib = new QLibrary(name);
        if (lib->load()) {
            m_library = lib;
            break;
        }
        m_libraryError = lib->errorString();
        delete lib;
    }
    if (!m_library)
        return;

    QFunctionPointer found[std::size(kEntryPoints)] = {};
    for (size_t i = 0; i < std::size(kEntryPoints); ++i) {
        found[i] = m_library->resolve(kEntryPoints[i]);
        if (!found[i]) {
            m_libraryError = QStringLiteral("missing entry point %1").arg(QLatin1String(kEntryPoints[i]));
            return;
        }
    }
    m_open = reinterpret_cast<LnkOpenCommunication>(found[0]);
    m_close = reinterpret_cast<LnkCloseCommunication>(found[1]);
    m_isConnected = reinterpret_cast<LnkIsConnected>(found[2]);
    m_getId = reinterpret_cast<LnkGetID>(found[3]);
    m_setLock = reinterpret_cast<LnkSetLock>(found[4]);
    m_setUnlock = reinterpret_cast<LnkSetUnlock>(found[5]);
    m_isMyTurn = reinterpret_cast<LnkIsMyTurn>(found[6]);
    m_setSpacing = reinterpret_cast<LnkSetSpacingTransmissionTime>(found[9]);
    m_interfaceIsPresent = reinterpret_cast<LnkInterfaceIsPresent>(found[10]);
    m_setCan = reinterpret_cast<LnkSetCANInterfaceParameters>(found[11]);
    m_tableStart = reinterpret_cast<LnkGetStaticTableStartAddress>(found[12]);
    m_tableEntry = reinterpret_cast<LnkGetRealAddressFromStaticTableIndex>(found[15]);
    m_readBuffer = reinterpret_cast<LnkReadBuffer>(found[16]);
    m_readBlock = reinterpret_cast<LnkLetturaBloccoMemoriaECU>(found[18]);
    m_writeBuffer = reinterpret_cast<LnkWriteBufferPV1>(found[19]);
    m_listServers = reinterpret_cast<LnkListaServerRemotiAttivi>(found[20]);
    m_setCanExt = reinterpret_cast<LnkSetCommIntefaceSettingsWithExtID>(
        m_library->resolve("lnkObj_setCommIntefaceSettingsWithExtID"));
    m_usable = true;
    m_libraryError.clear();
}

bool CommunicationMedium::startLocalServer()
{
    if (Platform::isServerRunning(m_serverClass, m_serverWindowName))
        return true;
    QString program = m_serverProgram;
    if (!program.isEmpty() && QFileInfo(program).isRelative())
        program = QDir(QCoreApplication::applicationDirPath()).filePath(program);
    if (program.isEmpty() || !QProcess::startDetached(program, QStringList()))
        return false;
    // The server counts as running once its presence socket answers; until
    // then a connection attempt would only be refused.
    QDeadlineTimer deadline(ServerStartTimeoutMs);
    while (!deadline.hasExpired()) {
        if (Platform::isServerRunning(m_serverClass, m_serverWindowName, 100))
            return true;
        QThread::msleep(10);
    }
    return false;
}

bool CommunicationMedium::connect(const QString &clientName, const QString &serverAddress, quint32 port,
                                  quint32 space)
{
    Q_UNUSED(space);
    if (usesEthernet())
        return isConnected();
    if (!m_registered || !m_usable)
        return false;
    if (m_isConnected())
        return true;
    if (serverAddress == QLatin1String("127.0.0.1") && !startLocalServer())
        return false;
    const QByteArray address = serverAddress.toLatin1();
    if (m_open(address.constData(), qint32(port))) {
        const QByteArray name = clientName.toLatin1();
        quint8 identifier[16] = {}; // the tool does not use it; room to spare
        if (!m_getId(name.constData(), identifier))
            m_close();
    }
    return isConnected();
}

void CommunicationMedium::disconnect()
{
    if (usesEthernet() || !m_usable)
        return;
    m_close();
    m_locked = false;
}

bool CommunicationMedium::isConnected()
{
    if (usesEthernet()) {
        m_ethernetConnected = m_protocol.checkPresence() == 0;
        return m_ethernetConnected;
    }
    return m_usable && m_isConnected();
}

bool CommunicationMedium::lock(int timeoutMs)
{
    if (usesEthernet())
        return true;
    if (m_locked)
        return true;
    if (!m_usable)
        return false;
    m_locked = m_setLock();
    if (!m_locked)
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (m_isMyTurn())
            return true;
        // Each question goes to the server; a short pause keeps a waiting
        // client from flooding it while another one works.
        QThread::usleep(500);
    }
    unlock();
    return false;
}

void CommunicationMedium::unlock()
{
    if (usesEthernet() || !m_usable)
        return;
    if (m_locked && m_setUnlock())
        m_locked = false;
}

bool CommunicationMedium::interfaceIsPresent()
{
    if (usesEthernet())
        return true;
    return m_usable && m_interfaceIsPresent();
}

void CommunicationMedium::setSpacing(qint32 value)
{
    if (!usesEthernet() && m_usable)
        m_setSpacing(value);
}

bool CommunicationMedium::setCanParameters(quint32 canId, quint32 second, quint32 bitRate, quint8 &extendedId)
{
    if (usesEthernet())
        return true;
    if (!m_usable || canId == 0 || bitRate == 0)
        return false;
    quint8 result = 0;
    if (m_setCanExt) {
        quint8 scratch = 0;
        m_setCanExt(canId, second, bitRate, &result, extendedId, &scratch, 0, 0);
    } else {
        extendedId = 0;
        m_setCan(canId, second, bitRate, &result);
    }
    return result != 0;
}

bool CommunicationMedium::staticTableStart(quint32 space, quint32 &address)
{
    address = kNoAddress;
    if (usesEthernet()) {
        m_protocol.readTableStart(space, address);
    } else if (m_usable) {
        m_tableStart(space, 1, &address, 1);
    }
    return address != kNoAddress;
}

bool CommunicationMedium::staticTableEntry(quint32 space, quint32 index, quint32 &address, quint16 &size,
                                           quint32 tableAddress, quint16 *flag)
{
    bool known = true;
    if (tableAddress == kNoAddress)
        known = staticTableStart(space, tableAddress);
    if (!known || tableAddress == 0 || tableAddress == kNoAddress) {
        address = kNoAddress;
        size = 0;
        if (flag)
            *flag = 0;
        return false;
    }
    if (usesEthernet()) {
        quint8 f = flag ? quint8(*flag) : 0;
        quint8 s = quint8(size);
        const bool ok = m_protocol.readTableEntry(space, tableAddress, index, false, address, f, s);
        size = s;
        if (flag)
            *flag = f;
        return ok;
    }
    if (!m_usable)
        return false;
    quint16 f = flag ? *flag : 0;
    const bool ok = m_tableEntry(space, tableAddress, index, 1, 0, &address, &f, &size);
    if (flag)
        *flag = f;
    return ok;
}

void CommunicationMedium::resetStatistics()
{
    m_bytesRead = m_bytesWritten = m_currentRead = 0;
    m_readTime = m_writeTime = 1;
    m_protocol.resetStatistics();
}

void CommunicationMedium::resetProgress()
{
    m_progress = nullptr;
    resetStatistics();
}

void CommunicationMedium::postRemaining(quint64 done, quint32 timeMs, quint64 remaining)
{
    const quint64 rate = quint64(double(done) / (double(timeMs) * 0.001));
    if (!m_progress || rate == 0)
        return;
    QCoreApplication::postEvent(m_progress, new RemainingTimeEvent(quint32(remaining * 1000 / rate)));
}

bool CommunicationMedium::serverRead(quint32 space, quint32 address, quint8 *buffer, quint32 length,
                                     quint32 chunkSize, bool blocks, quint32 mode)
{
    if (!m_usable)
        return false;
    m_currentRead = 0;
    QElapsedTimer timer;
    timer.start();
    quint32 done = 0;
    while (done < length) {
        const quint32 chunk = qMin(length - done, chunkSize);
        const bool ok = blocks ? m_readBlock(space, address, chunk, mode, buffer + done)
                               : m_readBuffer(space, address, chunk, 1, buffer + done);
        if (!ok)
            return false;
        address += chunk;
        done += chunk;
        m_bytesRead += chunk;
        m_currentRead += chunk;
        m_readTime += quint32(timer.restart());
        postRemaining(m_bytesRead, m_readTime, length - done);
    }
    return true;
}

bool CommunicationMedium::readMemory(quint32 space, quint32 address, quint8 *buffer, quint32 length)
{
    if (length == 0 || !buffer)
        return false;
    if (usesEthernet()) {
        m_bytesRead += length;
        QElapsedTimer timer;
        timer.start();
        const quint32 got = m_protocol.readMemory(space, address, length, buffer, m_progress);
        m_readTime += quint32(timer.elapsed());
        m_currentRead = qMin(got, length);
        return got == length;
    }
    return serverRead(space, address, buffer, length, ServerChunk, false, 0);
}

bool CommunicationMedium::readMemoryBlocks(quint32 space, quint32 address, quint8 *buffer, quint32 length,
                                           int blockSize)
{
    if (length == 0 || !buffer)
        return false;
    if (usesEthernet())
        return readMemory(space, address, buffer, length);
    quint32 chunk = ServerChunk;
    quint32 mode = 0;
    if (blockSize < 0)
        mode = 0xFFFF;
    else if (blockSize > 0 && quint32(blockSize) <= ServerChunk)
        chunk = quint32(blockSize);
    return serverRead(space, address, buffer, length, chunk, true, mode);
}

bool CommunicationMedium::writeMemory(quint32 space, quint32 address, const quint8 *data, quint32 length)
{
    if (length == 0 || !data)
        return false;
    if (usesEthernet()) {
        m_bytesWritten += length;
        QElapsedTimer timer;
        timer.start();
        const quint32 sent = m_protocol.writeMemory(space, address, length, data, m_progress);
        m_writeTime += quint32(timer.elapsed());
        return sent == length;
    }
    if (!m_usable)
        return false;
    QElapsedTimer timer;
    timer.start();
    quint32 done = 0;
    while (done < length) {
        const quint32 chunk = qMin(length - done, ServerChunk);
        if (!m_writeBuffer(space, address, data + done, chunk, 1))
            return false;
        address += chunk;
        done += chunk;
        m_bytesWritten += chunk;
        m_writeTime += quint32(timer.restart());
        postRemaining(m_bytesWritten, m_writeTime, length - done);
    }
    return true;
}

QString CommunicationMedium::listActiveServers(quint32 &value)
{
    // Asked while choosing a server, possibly from the Ethernet medium.
    if (!m_usable)
        return QString();
    const char *text = m_listServers(&value);
    return text ? QString::fromLatin1(text) : QString();
}

const QList<EcuInfo> &CommunicationMedium::discoverEcus()
{
    if (!usesEthernet())
        return kNoEcus;
    bool found = false;
    const int mode = m_protocol.discoveryMode();
    m_protocol.discoverEcus(mode, found);
    if (!found) {
        m_protocol.discoverEcus(mode ? 0 : 1, found);
        if (found)
            m_protocol.setDiscoveryMode(mode ? 0 : 1);
    }
    return m_protocol.ecuList();
}

void CommunicationMedium::setEcuTarget(const quint8 *mac) { m_protocol.setTarget(mac); }

int CommunicationMedium::checkEcuPresence() { return m_protocol.checkPresence(); }

bool CommunicationMedium::ecuTargetValid() const { return m_protocol.targetValid(); }
