#pragma once
// One client connection to brisca-ecu-server, blocking, over a plain POSIX
// socket so that any thread may use it (the application calls from the GUI
// thread and from its worker). The exported C functions of the library wrap
// one instance; tests may open several.

#include "lnkwire.h"

#include <cstdint>
#include <mutex>
#include <string>

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
    bool write(uint32_t space, uint32_t address, const uint8_t *source, uint32_t length);

private:
    bool sendAll(const std::string &bytes);
    bool receiveMessage(std::string &body, int64_t deadline);
    void closeLocked();

    mutable std::recursive_mutex m_lock;
    int m_fd = -1;
    uint16_t m_sequence = 0;
    int m_timeoutMs = 5000;
    std::string m_inbox;
};
