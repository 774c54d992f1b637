#include "lnkclientdll.h"
#include "lnkconnection.h"

#include <cstring>
#include <mutex>

namespace {
LnkConnection &connection()
{
    static LnkConnection c;
    return c;
}

bool readEntry(uint32_t space, uint32_t table, uint32_t index, uint8_t *entry)
{
    if (table == 0xFFFFFFFFu) {
        std::string r;
        if (!connection().call(LnkWire::TableStart, LnkWire::words32({space}), &r) || r.size() != 4)
            return false;
        table = LnkWire::Reader(r.data(), 4).u32();
    }
    return connection().read(space, table + 6 * index, 6, 0, entry);
}

void canParameters(uint32_t canId, uint32_t second, uint32_t bitRate, uint8_t *result, uint8_t ext)
{
    std::string params = LnkWire::words32({canId, second, bitRate}), r;
    LnkWire::put8(params, ext);
    const bool ok = connection().call(LnkWire::CanParameters, params, &r) && r.size() == 1;
    if (result)
        *result = ok ? uint8_t(r[0]) : 0;
}
} // namespace

extern "C" {

bool lnkObj_openCommunication(const char *serverAddress, int32_t port)
{
    return connection().open(serverAddress, port);
}

void lnkObj_closeCommunication(void) { connection().close(); }

bool lnkObj_isConnected(void) { return connection().isOpen() && connection().call(LnkWire::Ping, {}); }

bool lnkObj_GetID(const char *clientName, uint8_t *identifier)
{
    const std::string name = clientName ? clientName : "";
    std::string params, r;
    LnkWire::put16(params, uint16_t(name.size() > 0xFFFF ? 0xFFFF : name.size()));
    params += name.substr(0, 0xFFFF);
    const bool ok = connection().call(LnkWire::Register, params, &r) && r.size() == 1;
    if (ok && identifier)
        *identifier = uint8_t(r[0]);
    return ok;
}

bool lnkObj_SetLock(void) { return connection().call(LnkWire::Lock, {}); }
bool lnkObj_SetUnlock(void) { return connection().call(LnkWire::Unlock, {}); }
bool lnkObj_IsMyTurn(void) { return connection().call(LnkWire::IsMyTurn, {}); }

void lnkObj_enableFiskCAN(void) { connection().call(LnkWire::FiskCan, std::string(1, '\1')); }
void lnkObj_disableFiskCAN(void) { connection().call(LnkWire::FiskCan, std::string(1, '\0')); }

void lnkObj_setSpacingTransmissionTime(int32_t spacing)
{
    connection().call(LnkWire::Spacing, LnkWire::words32({uint32_t(spacing)}));
}

bool lnkObj_interfaceIsPresent(void) { return connection().call(LnkWire::InterfacePresent, {}); }

void lnkObj_setCANInterfaceParameters(uint32_t canId, uint32_t secondValue, uint32_t bitRate, uint8_t *result)
{
    canParameters(canId, secondValue, bitRate, result, 0);
}

bool lnkObj_getStaticTableStartAddress(uint32_t memorySpace, int32_t, uint32_t *tableAddress, int32_t)
{
    std::string r;
    const bool ok = connection().call(LnkWire::TableStart, LnkWire::words32({memorySpace}), &r) && r.size() == 4;
    const uint32_t address = ok ? LnkWire::Reader(r.data(), 4).u32() : 0xFFFFFFFFu;
    if (tableAddress)
        *tableAddress = address;
    return ok && address != 0xFFFFFFFFu;
}

bool lnkObj_SetDatumToStaticTableIndex(uint32_t memorySpace, uint32_t tableAddress, uint32_t index,
                                       const uint8_t *entry6)
{
    if (!entry6 || tableAddress == 0xFFFFFFFFu)
        return false;
    return connection().write(memorySpace, tableAddress + 6 * index, entry6, 6);
}

bool lnkObj_GetEntireDatumFromStaticTableIndex(uint32_t memorySpace, uint32_t tableAddress, uint32_t index,
                                               uint8_t *entry6)
{
    return entry6 && readEntry(memorySpace, tableAddress, index, entry6);
}

bool lnkObj_GetRealAddressFromStaticTableIndex(uint32_t memorySpace, uint32_t tableAddress, uint32_t index,
                                               int32_t, int32_t, uint32_t *realAddress, uint16_t *flag,
                                               uint16_t *size)
{
    uint8_t e[6];
    if (!readEntry(memorySpace, tableAddress, index, e)) {
        if (realAddress)
            *realAddress = 0xFFFFFFFFu;
        return false;
    }
    const uint32_t address = (uint32_t(e[0]) << 24) | (uint32_t(e[1]) << 16) | (uint32_t(e[2]) << 8) | e[3];
    if (realAddress)
        *realAddress = address;
    if (flag)
        *flag = uint16_t(e[4] >> 7);
    if (size)
        *size = uint16_t(e[4] & 0x7F);
    return address != 0;
}

bool lnkObj_ReadBuffer(uint32_t memorySpace, uint32_t address, uint32_t length, int32_t, uint8_t *destination)
{
    return connection().read(memorySpace, address, length, 0, destination);
}

bool lnkObj_letturaDatiConsistentiFinestreAttiveWithMaskCan(uint32_t memorySpace, const uint32_t *addresses,
                                                            const uint32_t *sizes, uint32_t count,
                                                            uint8_t *destination, uint32_t)
{
    if (!addresses || !sizes || !destination || count == 0)
        return false;
    std::string params = LnkWire::words32({memorySpace, count}), r;
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        LnkWire::put32(params, addresses[i]);
        LnkWire::put32(params, sizes[i]);
        total += sizes[i];
    }
    if (total > LnkWire::MaxRead || !connection().call(LnkWire::ReadVariables, params, &r) || r.size() != total)
        return false;
    memcpy(destination, r.data(), r.size());
    return true;
}

bool lnkObj_letturaBloccoMemoriaECU(uint32_t memorySpace, uint32_t address, uint32_t length, uint32_t mode,
                                    uint8_t *destination)
{
    return connection().readBlock(memorySpace, address, length, mode, destination);
}

bool lnkObj_WriteBufferPV1(uint32_t memorySpace, uint32_t address, const uint8_t *source, uint32_t length, int32_t)
{
    return connection().write(memorySpace, address, source, length);
}

const char *lnkObj_listaServerRemotiAttivi(uint32_t *count)
{
    static std::mutex lock;
    static std::string text;
    std::lock_guard<std::mutex> l(lock);
    std::string r;
    text.clear();
    uint32_t n = 0;
    if (connection().call(LnkWire::ListServers, {}, &r) && r.size() >= 4) {
        n = LnkWire::Reader(r.data(), 4).u32();
        text = r.substr(4);
    }
    if (count)
        *count = n;
    return text.c_str();
}

void lnkObj_setCommIntefaceSettingsWithExtID(uint32_t canId, uint32_t secondValue, uint32_t bitRate,
                                             uint8_t *result, uint8_t extendedId, uint8_t *scratch, int32_t,
                                             int32_t)
{
    if (scratch)
        *scratch = 0;
    canParameters(canId, secondValue, bitRate, result, extendedId);
}

} // extern "C"
