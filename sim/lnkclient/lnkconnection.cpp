#include "lnkconnection.h"

#include <algorithm>
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
    m_inAt = m_inEnd = 0;
    m_outbox.clear();
    m_walking = false;
    m_ahead.clear();
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

uint16_t LnkConnection::queue(uint8_t op, const std::string &params)
{
    const uint16_t seq = ++m_sequence;
    LnkWire::put32(m_outbox, uint32_t(3 + params.size()));
    LnkWire::put8(m_outbox, op);
    LnkWire::put16(m_outbox, seq);
    m_outbox += params;
    return seq;
}

uint16_t LnkConnection::queueRead(uint32_t space, uint32_t address, uint32_t length, uint32_t mode)
{
    const uint16_t seq = ++m_sequence;
    LnkWire::put32(m_outbox, 3 + 16);
    LnkWire::put8(m_outbox, LnkWire::Read);
    LnkWire::put16(m_outbox, seq);
    for (uint32_t v : {space, address, length, mode})
        LnkWire::put32(m_outbox, v);
    return seq;
}

bool LnkConnection::flush()
{
    size_t sent = 0;
    while (sent < m_outbox.size()) {
        const ssize_t n = ::send(m_fd, m_outbox.data() + sent, m_outbox.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            closeLocked();
            return false;
        }
        sent += size_t(n);
    }
    m_outbox.clear();
    return true;
}

bool LnkConnection::fill(size_t bytes, int64_t deadline)
{
    while (m_inEnd - m_inAt < bytes) {
        if (m_inAt > 0) {
            std::memmove(m_inbox.data(), m_inbox.data() + m_inAt, m_inEnd - m_inAt);
            m_inEnd -= m_inAt;
            m_inAt = 0;
        }
        // Room for the whole message and some replies read ahead behind it.
        const size_t want = std::max<size_t>(bytes, 256u << 10);
        if (m_inbox.size() < want)
            m_inbox.resize(want);
        const int64_t left = deadline - nowMs();
        if (left <= 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            closeLocked();
        if (r <= 0)
            return false;
        const ssize_t n = ::recv(m_fd, m_inbox.data() + m_inEnd, m_inbox.size() - m_inEnd, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            closeLocked();
            return false;
        }
        m_inEnd += size_t(n);
    }
    return true;
}

bool LnkConnection::await(uint8_t op, uint16_t sequence, int64_t deadline, std::string *results, bool *answered,
                          uint8_t *destination, uint32_t length)
{
    for (;;) {
        if (!fill(4, deadline))
            break;
        const uint32_t size = LnkWire::Reader(m_inbox.data() + m_inAt, 4).u32();
        if (size < 4 || size > LnkWire::MaxBody) {
            closeLocked(); // not our framing: the stream cannot be resynchronised
            return false;
        }
        if (!fill(4 + size_t(size), deadline))
            break;
        const char *body = m_inbox.data() + m_inAt + 4;
        m_inAt += 4 + size_t(size);
        LnkWire::Reader r(body, size);
        const uint8_t rop = r.u8();
        const uint16_t rseq = r.u16();
        const uint8_t status = r.u8();
        if (rop != op || rseq != sequence)
            continue; // a stale reply, or one read ahead and no longer wanted
        if (answered)
            *answered = true;
        if (destination) {
            if (size - 4 != length)
                return false;
            std::memcpy(destination, body + 4, length);
        } else if (results) {
            results->assign(body + 4, size - 4);
        }
        return status == 1;
    }
    // A broken stream was closed in fill(); a timeout only loses this reply.
    return false;
}

bool LnkConnection::call(uint8_t op, const std::string &params, std::string *results, bool *answered)
{
    std::lock_guard<std::recursive_mutex> l(m_lock);
    if (answered)
        *answered = false;
    if (m_fd < 0)
        return false;
    m_walking = false;
    m_ahead.clear();
    const uint16_t seq = queue(op, params);
    if (!flush())
        return false;
    return await(op, seq, nowMs() + m_timeoutMs, results, answered);
}

bool LnkConnection::read(uint32_t space, uint32_t address, uint32_t length, uint32_t mode, uint8_t *destination)
{
    if (!destination || length == 0)
        return false;
    std::lock_guard<std::recursive_mutex> l(m_lock);
    m_walking = false;
    m_ahead.clear();
    while (length > 0) {
        const uint32_t n = length < LnkWire::MaxRead ? length : LnkWire::MaxRead;
        if (m_fd < 0)
            return false;
        const uint16_t seq = queueRead(space, address, n, mode);
        if (!flush() || !await(LnkWire::Read, seq, nowMs() + m_timeoutMs, nullptr, nullptr, destination, n))
            return false;
        destination += n;
        address += n;
        length -= n;
    }
    return true;
}

bool LnkConnection::readBlock(uint32_t space, uint32_t address, uint32_t length, uint32_t mode,
                              uint8_t *destination)
{
    if (!destination || length == 0 || length > LnkWire::MaxRead)
        return read(space, address, length, mode, destination);
    std::lock_guard<std::recursive_mutex> l(m_lock);
    if (m_fd < 0)
        return false;
    const bool continues = m_walking && space == m_walkSpace && length == m_walkLength && mode == m_walkMode
                           && address == m_walkNext;
    uint16_t seq;
    if (continues && !m_ahead.empty() && m_ahead.front().address == address) {
        seq = m_ahead.front().sequence;
        m_ahead.pop_front();
    } else {
        m_ahead.clear();
        seq = queueRead(space, address, length, mode);
    }
    // A single block read never costs more than its own request: reading
    // ahead starts with the second block of a walk, and its depth doubles
    // with each top-up, so it never runs much further past the walk's end
    // than the walk has come. Topping up in batches of half the depth lets
    // the server take many requests per wake-up and answer them in one write.
    if (!continues) {
        m_walkDepth = 0;
    } else if (m_ahead.size() <= m_walkDepth / 2) {
        const size_t most = std::clamp<size_t>(ReadAheadBytes / length, 2, MaxReadAhead);
        m_walkDepth = std::min(most, std::max<size_t>(2, m_walkDepth * 2));
        uint64_t next = uint64_t(address) + length * (m_ahead.size() + 1);
        while (m_ahead.size() < m_walkDepth && next + length <= 0x100000000ull) {
            m_ahead.push_back({queueRead(space, uint32_t(next), length, mode), uint32_t(next)});
            next += length;
        }
    }
    m_walking = uint64_t(address) + length <= 0xFFFFFFFFull;
    m_walkSpace = space;
    m_walkLength = length;
    m_walkMode = mode;
    m_walkNext = address + length;
    const bool ok = flush()
                    && await(LnkWire::Read, seq, nowMs() + m_timeoutMs, nullptr, nullptr, destination, length);
    if (!ok) {
        m_walking = false;
        m_ahead.clear();
    }
    return ok;
}

bool LnkConnection::write(uint32_t space, uint32_t address, const uint8_t *source, uint32_t length)
{
    if (!source || length == 0)
        return false;
    std::lock_guard<std::recursive_mutex> l(m_lock);
    m_walking = false;
    m_ahead.clear();
    while (length > 0) {
        const uint32_t n = length < LnkWire::MaxRead ? length : LnkWire::MaxRead;
        if (m_fd < 0)
            return false;
        const uint16_t seq = ++m_sequence;
        LnkWire::put32(m_outbox, 3 + 8 + n);
        LnkWire::put8(m_outbox, LnkWire::Write);
        LnkWire::put16(m_outbox, seq);
        LnkWire::put32(m_outbox, space);
        LnkWire::put32(m_outbox, address);
        m_outbox.append(reinterpret_cast<const char *>(source), n);
        if (!flush() || !await(LnkWire::Write, seq, nowMs() + m_timeoutMs, nullptr, nullptr))
            return false;
        source += n;
        address += n;
        length -= n;
    }
    return true;
}
