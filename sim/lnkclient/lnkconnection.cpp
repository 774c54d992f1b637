#include "lnkconnection.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

LnkConnection::LnkConnection()
{
    if (const char *t = getenv("BRISCA_LNK_TIMEOUT_MS")) {
        const int ms = atoi(t);
        if (ms > 0)
            m_timeoutMs = ms;
    }
}

LnkConnection::~LnkConnection() { close(); }

bool LnkConnection::isOpen() const
{
    std::lock_guard<std::recursive_mutex> l(m_lock);
    return m_fd >= 0;
}

void LnkConnection::close()
{
    std::lock_guard<std::recursive_mutex> l(m_lock);
    closeLocked();
}

void LnkConnection::closeLocked()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_inbox.clear();
}

bool LnkConnection::open(const char *host, int port, int retryMs)
{
    std::lock_guard<std::recursive_mutex> l(m_lock);
    closeLocked();
    if (!host || port <= 0 || port > 65535)
        return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host, std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        return false;
    const int64_t deadline = nowMs() + retryMs;
    bool done = false;
    while (!done) {
        for (addrinfo *a = found; a && !done; a = a->ai_next) {
            const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
            if (fd < 0)
                continue;
            if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
                const int one = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                m_fd = fd;
                done = true;
            } else {
                ::close(fd);
            }
        }
        if (done || nowMs() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    freeaddrinfo(found);
    return done;
}

bool LnkConnection::sendAll(const std::string &bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

bool LnkConnection::receiveMessage(std::string &body, int64_t deadline)
{
    char chunk[65536];
    for (;;) {
        if (m_inbox.size() >= 4) {
            LnkWire::Reader r(m_inbox.data(), 4);
            const uint32_t len = r.u32();
            if (len == 0 || len > LnkWire::MaxBody)
                return false;
            if (m_inbox.size() >= 4 + size_t(len)) {
                body.assign(m_inbox, 4, len);
                m_inbox.erase(0, 4 + size_t(len));
                return true;
            }
        }
        const int64_t left = deadline - nowMs();
        if (left <= 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        m_inbox.append(chunk, size_t(n));
    }
}

bool LnkConnection::call(uint8_t op, const std::string &params, std::string *results, bool *answered)
{
    std::lock_guard<std::recursive_mutex> l(m_lock);
    if (answered)
        *answered = false;
    if (m_fd < 0)
        return false;
    const uint16_t seq = ++m_sequence;
    std::string message;
    message.reserve(7 + params.size());
    LnkWire::put32(message, uint32_t(3 + params.size()));
    LnkWire::put8(message, op);
    LnkWire::put16(message, seq);
    message += params;
    if (!sendAll(message)) {
        closeLocked();
        return false;
    }
    const int64_t deadline = nowMs() + m_timeoutMs;
    std::string body;
    for (;;) {
        if (!receiveMessage(body, deadline)) {
            // A broken stream cannot be resynchronised; a timeout only loses this reply.
            if (nowMs() < deadline)
                closeLocked();
            return false;
        }
        LnkWire::Reader r(body.data(), body.size());
        const uint8_t rop = r.u8();
        const uint16_t rseq = r.u16();
        const uint8_t status = r.u8();
        if (!r.ok() || rop != op || rseq != seq)
            continue; // a stale reply
        if (answered)
            *answered = true;
        if (results)
            results->assign(body, 4, std::string::npos);
        return status == 1;
    }
}

bool LnkConnection::read(uint32_t space, uint32_t address, uint32_t length, uint32_t mode, uint8_t *destination)
{
    if (!destination || length == 0)
        return false;
    while (length > 0) {
        const uint32_t n = length < LnkWire::MaxRead ? length : LnkWire::MaxRead;
        std::string params, data;
        LnkWire::put32(params, space);
        LnkWire::put32(params, address);
        LnkWire::put32(params, n);
        LnkWire::put32(params, mode);
        if (!call(LnkWire::Read, params, &data) || data.size() != n)
            return false;
        memcpy(destination, data.data(), n);
        destination += n;
        address += n;
        length -= n;
    }
    return true;
}

bool LnkConnection::write(uint32_t space, uint32_t address, const uint8_t *source, uint32_t length)
{
    if (!source || length == 0)
        return false;
    while (length > 0) {
        const uint32_t n = length < LnkWire::MaxRead ? length : LnkWire::MaxRead;
        std::string params;
        params.reserve(8 + n);
        LnkWire::put32(params, space);
        LnkWire::put32(params, address);
        params.append(reinterpret_cast<const char *>(source), n);
        if (!call(LnkWire::Write, params))
            return false;
        source += n;
        address += n;
        length -= n;
    }
    return true;
}
