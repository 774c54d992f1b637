#pragma once
// One client connection to brisca-ecu-server, blocking, over a plain POSIX
// socket so that any thread may use it (the application calls from the GUI
// thread and from its worker). The exported C functions of the library wrap
// one instance; tests may open several.

#include "lnkwire.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class LnkConnection
{
public:
    LnkConnection();
    ~LnkConnection();
    LnkConnection(const LnkConnection &) = delete;
    LnkConnection &operator=(const LnkConnection &) = delete;

    // Retries a refused connection for up to retryMs.
    bool open(const char *host, int port, int retryMs = 3000);
    void close();
    bool isOpen() const;
    void setTimeout(int ms) { m_timeoutMs = ms; }

    // One request; false when the server did not answer in time, the
    // connection broke, or its status was "failed". results gets the reply
    // after the status byte.
    bool call(uint8_t op, const std::string &params, std::string *results = nullptr, bool *answered = nullptr);

    bool read(uint32_t space, uint32_t address, uint32_t length, uint32_t mode, uint8_t *destination);
    // As read, for callers that walk memory block by block: once a block
    // follows the previous one, the requests for the next blocks (same size,
    // up to ReadAheadBytes ahead) go out before this one's reply is awaited,
    // so the server is never idle between blocks and the ECU still sees
    // blocks of the size asked. Any other request drops what was read ahead
    // (its replies are skipped).
    bool readBlock(uint32_t space, uint32_t address, uint32_t length, uint32_t mode, uint8_t *destination);
    bool write(uint32_t space, uint32_t address, const uint8_t *source, uint32_t length);

    static constexpr uint32_t ReadAheadBytes = 1024u << 10;
    static constexpr size_t MaxReadAhead = 128;

private:
    struct Ahead
    {
        uint16_t sequence;
        uint32_t address;
    };

    uint16_t queue(uint8_t op, const std::string &params);
    uint16_t queueRead(uint32_t space, uint32_t address, uint32_t length, uint32_t mode);
    bool flush();
    // Waits for the reply (op, sequence), skipping stale ones. A read's data
    // goes to destination (exactly length bytes, else false), anything else
    // to results.
    bool await(uint8_t op, uint16_t sequence, int64_t deadline, std::string *results, bool *answered,
               uint8_t *destination = nullptr, uint32_t length = 0);
    bool fill(size_t bytes, int64_t deadline);
    void closeLocked();

    mutable std::recursive_mutex m_lock;
    int m_fd = -1;
    uint16_t m_sequence = 0;
    int m_timeoutMs = 5000;
    // Kept between calls: a fresh buffer per call of about 128 KiB makes glibc
    // trim and regrow its heap on every read once small blocks pin its top.
    std::string m_outbox;
    std::vector<char> m_inbox;
    size_t m_inAt = 0;  // first unread byte
    size_t m_inEnd = 0; // end of the received bytes
    // The block walk: where its next block starts and what was asked ahead.
    bool m_walking = false;
    uint32_t m_walkSpace = 0, m_walkLength = 0, m_walkMode = 0, m_walkNext = 0;
    size_t m_walkDepth = 0;
    std::deque<Ahead> m_ahead;
};
