#pragma once
// Wire framing between LnkClientDll and brisca-ecu-server (TCP, port 55162).
//
// Every message is a u32 body length followed by the body; all integers are
// big-endian. A body is at most MaxBody bytes.
//   request: u8 op | u16 sequence | parameters
//   reply:   u8 op | u16 sequence | u8 status (1 done, 0 failed) | results
// The client numbers its requests and drops replies whose sequence is not
// the one it waits for (a late or repeated reply of an earlier request, or
// a block it read ahead and no longer wants). The server answers in order.
//
//   op  name             parameters                              results
//   1   Register         u16 n, n bytes client name              u8 client id
//   2   Ping             -                                       -
//   3   Lock             -                                       - (request queued)
//   4   Unlock           -                                       - (left the queue)
//   5   IsMyTurn         -                                       - (status 1 = granted)
//   6   Spacing          i32 value                               -
//   7   InterfacePresent -                                       - (status = present)
//   8   CanParameters    u32 id, u32 second, u32 bitrate, u8 ext u8 accepted
//   9   TableStart       u32 space                               u32 table address
//   10  Read             u32 space, u32 address, u32 n, u32 mode n data bytes
//   11  Write            u32 space, u32 address, data            -
//   12  ListServers      -                                       u32 count, text
//   13  ReadVariables    u32 space, u32 k, k x (u32 address, u32 size)  the bytes, in order
//   14  FiskCan          u8 on                                   -
//
// The server grants the lock to one client at a time in the order of the
// Lock requests; a client that disconnects leaves the queue. Memory requests
// are served one at a time whoever holds the lock.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace LnkWire {

constexpr uint32_t MaxBody = 16u << 20;
constexpr uint32_t MaxRead = 4u << 20; // larger reads go out in several requests

enum Op : uint8_t {
    Register = 1,
    Ping = 2,
    Lock = 3,
    Unlock = 4,
    IsMyTurn = 5,
    Spacing = 6,
    InterfacePresent = 7,
    CanParameters = 8,
    TableStart = 9,
    Read = 10,
    Write = 11,
    ListServers = 12,
    ReadVariables = 13,
    FiskCan = 14,
};

inline void put8(std::string &s, uint8_t v) { s.push_back(char(v)); }
inline void put16(std::string &s, uint16_t v)
{
    s.push_back(char(v >> 8));
    s.push_back(char(v));
}
inline void put32(std::string &s, uint32_t v)
{
    put16(s, uint16_t(v >> 16));
    put16(s, uint16_t(v));
}
inline std::string words32(std::initializer_list<uint32_t> values)
{
    std::string s;
    for (uint32_t v : values)
        put32(s, v);
    return s;
}

// Reads big-endian fields from a body; ok() turns false once a read ran past the end.
class Reader
{
public:
    Reader(const char *data, size_t size) : m_p(data), m_end(data + size) {}
    uint8_t u8() { return uint8_t(take(1) ? uint8_t(m_p[-1]) : 0); }
    uint16_t u16()
    {
        if (!take(2))
            return 0;
        return uint16_t((uint8_t(m_p[-2]) << 8) | uint8_t(m_p[-1]));
    }
    uint32_t u32()
    {
        const uint32_t hi = u16();
        return (hi << 16) | u16();
    }
    const char *bytes(size_t n) { return take(n) ? m_p - n : nullptr; }
    size_t left() const { return size_t(m_end - m_p); }
    bool ok() const { return m_ok; }

private:
    bool take(size_t n)
    {
        if (!m_ok || size_t(m_end - m_p) < n) {
            m_ok = false;
            return false;
        }
        m_p += n;
        return true;
    }
    const char *m_p;
    const char *m_end;
    bool m_ok = true;
};

} // namespace LnkWire
