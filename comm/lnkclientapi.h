#pragma once
// The entry points of the communication client library as this program calls
// them. The library is loaded by name at run time; nothing links against it.

#include <cstdint>

extern "C" {
typedef bool (*LnkOpenCommunication)(const char *serverAddress, int32_t port);
typedef void (*LnkCloseCommunication)();
typedef bool (*LnkIsConnected)();
typedef bool (*LnkGetID)(const char *clientName, uint8_t *identifier);
typedef bool (*LnkSetLock)();
typedef bool (*LnkSetUnlock)();
typedef bool (*LnkIsMyTurn)();
typedef void (*LnkEnableFiskCAN)();
typedef void (*LnkDisableFiskCAN)();
typedef void (*LnkSetSpacingTransmissionTime)(int32_t spacing);
typedef bool (*LnkInterfaceIsPresent)();
typedef void (*LnkSetCANInterfaceParameters)(uint32_t canId, uint32_t second, uint32_t bitRate, uint8_t *result);
typedef bool (*LnkGetStaticTableStartAddress)(uint32_t space, int32_t one, uint32_t *address, int32_t one2);
typedef void (*LnkUnusedEntry)();
typedef bool (*LnkGetRealAddressFromStaticTableIndex)(uint32_t space, uint32_t tableAddress, uint32_t index,
                                                      int32_t one, int32_t zero, uint32_t *realAddress,
                                                      uint16_t *flag, uint16_t *size);
typedef bool (*LnkReadBuffer)(uint32_t space, uint32_t address, uint32_t length, int32_t one, uint8_t *destination);
typedef bool (*LnkLetturaBloccoMemoriaECU)(uint32_t space, uint32_t address, uint32_t length, uint32_t mode,
                                           uint8_t *destination);
typedef bool (*LnkWriteBufferPV1)(uint32_t space, uint32_t address, const uint8_t *source, uint32_t length,
                                  int32_t one);
typedef const char *(*LnkListaServerRemotiAttivi)(uint32_t *value);
typedef void (*LnkSetCommIntefaceSettingsWithExtID)(uint32_t canId, uint32_t second, uint32_t bitRate,
                                                    uint8_t *result, uint8_t extendedId, uint8_t *scratch,
                                                    int32_t zero, int32_t zero2);
}
