#pragma once
// Entry points of the communication client library (libLnkClientDll.so).
// The application loads the library by name and resolves these symbols one by
// one; the typedefs below give the exact signature of each for that purpose.
//
// Our library talks to brisca-ecu-server over TCP (default port 55162); the
// wire framing is described in lnkwire.h. Every call blocks until the server
// has answered or the request timed out (5000 ms, BRISCA_LNK_TIMEOUT_MS
// overrides). Calls are serialised inside the library, so any thread may call.
//
// bool results: true = done. A memory-space id is ToEcu_App_CAN_Id >> 3.

#include <stdint.h>

#if defined(_WIN32)
#define LNKCLIENT_EXPORT __declspec(dllexport)
#else
#define LNKCLIENT_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Connects to the server; retries a refused connection for up to 3000 ms so a
// server that was just started has time to listen.
LNKCLIENT_EXPORT bool lnkObj_openCommunication(const char *serverAddress, int32_t port);
LNKCLIENT_EXPORT void lnkObj_closeCommunication(void);
// Asks the server (one round trip), so a dead server reads as not connected.
LNKCLIENT_EXPORT bool lnkObj_isConnected(void);
// Registers the client by name; *identifier receives the server's number for it.
LNKCLIENT_EXPORT bool lnkObj_GetID(const char *clientName, uint8_t *identifier);

// The lock: SetLock queues a request, IsMyTurn tells whether this client is
// first in the queue, SetUnlock leaves the queue (granted or not).
LNKCLIENT_EXPORT bool lnkObj_SetLock(void);
LNKCLIENT_EXPORT bool lnkObj_SetUnlock(void);
LNKCLIENT_EXPORT bool lnkObj_IsMyTurn(void);

LNKCLIENT_EXPORT void lnkObj_enableFiskCAN(void);
LNKCLIENT_EXPORT void lnkObj_disableFiskCAN(void);
LNKCLIENT_EXPORT void lnkObj_setSpacingTransmissionTime(int32_t spacing);
LNKCLIENT_EXPORT bool lnkObj_interfaceIsPresent(void);
// *result = 1 when accepted, 0 otherwise (CAN id or bit rate 0 is refused).
LNKCLIENT_EXPORT void lnkObj_setCANInterfaceParameters(uint32_t canId, uint32_t secondValue,
                                                       uint32_t bitRate, uint8_t *result);

// *tableAddress = 0xFFFFFFFF on failure.
LNKCLIENT_EXPORT bool lnkObj_getStaticTableStartAddress(uint32_t memorySpace, int32_t one,
                                                        uint32_t *tableAddress, int32_t one2);
// Writes / reads the whole 6-byte entry `index` of the table at tableAddress.
LNKCLIENT_EXPORT bool lnkObj_SetDatumToStaticTableIndex(uint32_t memorySpace, uint32_t tableAddress,
                                                        uint32_t index, const uint8_t *entry6);
LNKCLIENT_EXPORT bool lnkObj_GetEntireDatumFromStaticTableIndex(uint32_t memorySpace,
                                                                uint32_t tableAddress,
                                                                uint32_t index, uint8_t *entry6);
// Entry `index`: real address (big-endian in the table), flag = bit 7 and
// size = bits 0-6 of the entry's fifth byte. False when the address is 0.
LNKCLIENT_EXPORT bool lnkObj_GetRealAddressFromStaticTableIndex(uint32_t memorySpace,
                                                                uint32_t tableAddress,
                                                                uint32_t index, int32_t one,
                                                                int32_t zero, uint32_t *realAddress,
                                                                uint16_t *flag, uint16_t *size);

LNKCLIENT_EXPORT bool lnkObj_ReadBuffer(uint32_t memorySpace, uint32_t address, uint32_t length,
                                        int32_t one, uint8_t *destination);
// Reads `count` variables (address/size pairs) into destination, one after
// the other, in one server request.
LNKCLIENT_EXPORT bool lnkObj_letturaDatiConsistentiFinestreAttiveWithMaskCan(
    uint32_t memorySpace, const uint32_t *addresses, const uint32_t *sizes, uint32_t count,
    uint8_t *destination, uint32_t canMask);
// mode 0 or 0xFFFF; both read `length` bytes in one request. Consecutive
// blocks of one size are read ahead (LnkConnection::readBlock), so a caller
// walking memory block by block does not wait a round trip per block.
LNKCLIENT_EXPORT bool lnkObj_letturaBloccoMemoriaECU(uint32_t memorySpace, uint32_t address,
                                                     uint32_t length, uint32_t mode,
                                                     uint8_t *destination);
LNKCLIENT_EXPORT bool lnkObj_WriteBufferPV1(uint32_t memorySpace, uint32_t address,
                                            const uint8_t *source, uint32_t length, int32_t one);

// "name,address;name,address;..." of the remote servers the server knows;
// *count = how many. The text stays valid until the next call. Never null.
LNKCLIENT_EXPORT const char *lnkObj_listaServerRemotiAttivi(uint32_t *count);

// Optional entry point: as setCANInterfaceParameters with an extended-id byte;
// *scratch is set to 0.
LNKCLIENT_EXPORT void lnkObj_setCommIntefaceSettingsWithExtID(uint32_t canId, uint32_t secondValue,
                                                              uint32_t bitRate, uint8_t *result,
                                                              uint8_t extendedId, uint8_t *scratch,
                                                              int32_t zero1, int32_t zero2);

} // extern "C"

// Pointer types for QLibrary::resolve.
using LnkOpenCommunicationFn = bool (*)(const char *, int32_t);
using LnkCloseCommunicationFn = void (*)(void);
using LnkIsConnectedFn = bool (*)(void);
using LnkGetIdFn = bool (*)(const char *, uint8_t *);
using LnkSetLockFn = bool (*)(void);
using LnkSetUnlockFn = bool (*)(void);
using LnkIsMyTurnFn = bool (*)(void);
using LnkEnableFiskCanFn = void (*)(void);
using LnkDisableFiskCanFn = void (*)(void);
using LnkSetSpacingFn = void (*)(int32_t);
using LnkInterfaceIsPresentFn = bool (*)(void);
using LnkSetCanParametersFn = void (*)(uint32_t, uint32_t, uint32_t, uint8_t *);
using LnkGetStaticTableStartFn = bool (*)(uint32_t, int32_t, uint32_t *, int32_t);
using LnkSetDatumToStaticTableIndexFn = bool (*)(uint32_t, uint32_t, uint32_t, const uint8_t *);
using LnkGetEntireDatumFn = bool (*)(uint32_t, uint32_t, uint32_t, uint8_t *);
using LnkGetRealAddressFn = bool (*)(uint32_t, uint32_t, uint32_t, int32_t, int32_t, uint32_t *,
                                     uint16_t *, uint16_t *);
using LnkReadBufferFn = bool (*)(uint32_t, uint32_t, uint32_t, int32_t, uint8_t *);
using LnkReadConsistentFn = bool (*)(uint32_t, const uint32_t *, const uint32_t *, uint32_t,
                                     uint8_t *, uint32_t);
using LnkReadBlockFn = bool (*)(uint32_t, uint32_t, uint32_t, uint32_t, uint8_t *);
using LnkWriteBufferFn = bool (*)(uint32_t, uint32_t, const uint8_t *, uint32_t, int32_t);
using LnkListServersFn = const char *(*)(uint32_t *);
using LnkSetCommSettingsExtIdFn = void (*)(uint32_t, uint32_t, uint32_t, uint8_t *, uint8_t,
                                           uint8_t *, int32_t, int32_t);
