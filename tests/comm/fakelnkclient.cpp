// A client library that records how it is called, for the medium's own logic
// (chunking, lock, CAN parameters). Built in three variants: complete, without
// the optional entry point, and without a required one.

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::string g_log;
int g_turnAfter = 0;   // IsMyTurn says yes from this poll on; -1 never
int g_polls = 0;
int g_failCall = -1;   // memory call number that fails
int g_calls = 0;
int g_delayMs = 0;     // each memory call takes this long
bool g_connected = false;

void log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void log(const char *fmt, ...)
{
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    g_log += line;
    g_log += '\n';
}
bool memoryCall()
{
    usleep(useconds_t(g_delayMs) * 1000);
    return g_calls++ != g_failCall;
}
} // namespace

EXPORT void fake_reset(int turnAfter, int failCall, int delayMs)
{
    g_delayMs = delayMs;
    g_log.clear();
    g_turnAfter = turnAfter;
    g_polls = 0;
    g_failCall = failCall;
    g_calls = 0;
    g_connected = false;
}
EXPORT const char *fake_log() { return g_log.c_str(); }

EXPORT bool lnkObj_openCommunication(const char *server, int32_t port) { log("open %s %d", server, port); return g_connected = true; }
EXPORT void lnkObj_closeCommunication() { log("close"); g_connected = false; }
EXPORT bool lnkObj_isConnected() { return g_connected; }
EXPORT bool lnkObj_GetID(const char *name, uint8_t *id) { log("id %s", name); *id = 7; return true; }
EXPORT bool lnkObj_SetLock() { log("lock"); g_polls = 0; return true; }
EXPORT bool lnkObj_SetUnlock() { log("unlock"); return true; }
EXPORT bool lnkObj_IsMyTurn() { return g_turnAfter >= 0 && g_polls++ >= g_turnAfter; }
EXPORT void lnkObj_enableFiskCAN() {}
EXPORT void lnkObj_disableFiskCAN() {}
EXPORT void lnkObj_setSpacingTransmissionTime(int32_t v) { log("spacing %d", v); }
EXPORT bool lnkObj_interfaceIsPresent() { log("present"); return true; }
EXPORT bool lnkObj_SetDatumToStaticTableIndex() { return false; }
EXPORT bool lnkObj_GetEntireDatumFromStaticTableIndex() { return false; }
EXPORT bool lnkObj_letturaDatiConsistentiFinestreAttiveWithMaskCan() { return false; }
EXPORT void lnkObj_setCANInterfaceParameters(uint32_t id, uint32_t second, uint32_t rate, uint8_t *result)
{
    log("can %u %u %u", id, second, rate), *result = 1;
}
EXPORT bool lnkObj_getStaticTableStartAddress(uint32_t space, int32_t a, uint32_t *address, int32_t b)
{
    log("tablestart %u %d %d", space, a, b);
    return *address = 0x8000;
}
EXPORT bool lnkObj_GetRealAddressFromStaticTableIndex(uint32_t space, uint32_t table, uint32_t index, int32_t one,
                                                      int32_t zero, uint32_t *address, uint16_t *flag,
                                                      uint16_t *size)
{
    log("entry %u %u %u %d %d", space, table, index, one, zero);
    *address = 0x40000000u + index, *flag = 1, *size = 4;
    return true;
}
#ifndef FAKE_INCOMPLETE
EXPORT bool lnkObj_ReadBuffer(uint32_t space, uint32_t address, uint32_t length, int32_t one, uint8_t *dst)
{
    log("read %u %u %u %d", space, address, length, one);
    for (uint32_t i = 0; i < length; ++i)
        dst[i] = uint8_t(address + i);
    return memoryCall();
}
#endif
EXPORT bool lnkObj_letturaBloccoMemoriaECU(uint32_t space, uint32_t address, uint32_t length, uint32_t mode,
                                           uint8_t *dst)
{
    log("block %u %u %u %u", space, address, length, mode);
    std::memset(dst, 0, length);
    return memoryCall();
}
EXPORT bool lnkObj_WriteBufferPV1(uint32_t space, uint32_t address, const uint8_t *, uint32_t length, int32_t one)
{
    log("write %u %u %u %d", space, address, length, one);
    return memoryCall();
}
EXPORT const char *lnkObj_listaServerRemotiAttivi(uint32_t *count) { *count = 0; return ""; }
#ifndef FAKE_NO_EXT
EXPORT void lnkObj_setCommIntefaceSettingsWithExtID(uint32_t id, uint32_t second, uint32_t rate, uint8_t *result,
                                                    uint8_t ext, uint8_t *scratch, int32_t z1, int32_t z2)
{
    log("canext %u %u %u %u %d %d", id, second, rate, ext, z1, z2);
    *scratch = 0, *result = 1;
}
#endif
