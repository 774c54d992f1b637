#pragma once
// The simulated ECU: memory spaces keyed by memory-space id, the variables of
// the sample device moving over time, the static variable table, the
// identification string, injectable faults, and memory-mapped handlers where
// the logger engine plugs in. Front ends (raw Ethernet, the server) own one
// and translate their requests into read/write calls.
//
// Variable values: channel i (position in the description) reads
//     (1000 * i + floor(t / periodMs)) mod 2^(8 * nByte), big-endian,
// t = milliseconds since construction, or the frozen time (freezeTime).
// periodMs 0 counts as 10. A write that covers a variable pins it to the
// written bytes until unpinVariables().
//
// Memory is sparse: every address of a known space reads zero until written.
// The main space (ToEcu_App_CAN_Id >> 3) holds, big-endian:
//   - the static table at staticTableAddress: entry i (i = channel
//     tableAddress) is 6 bytes: u32 variable address, byte 4 = flag bit 7 (0)
//     | size in bytes, byte 5 = 0;
//   - the identification string at idStringAddress, NUL-padded to idStringSize.
//
// When the description has a usable logger table, the simulator hosts an
// EcuLogger (eculogger.h) mounted over the logger's memory.
//
// Thread-safe: one lock around every access (recursive, so a handler may use
// the simulator it is mounted in).

#include "ecudescription.h"
#include "ecufaults.h"

class EcuLogger;

#include <QByteArray>
#include <QElapsedTimer>
#include <QRecursiveMutex>

#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

class MemoryHandler
{
public:
    virtual ~MemoryHandler() = default;
    // Called with the part of an access that falls inside the mounted range;
    // addresses are absolute. false fails the whole access.
    virtual bool read(quint32 address, char *destination, quint32 length) = 0;
    virtual bool write(quint32 address, const char *source, quint32 length) = 0;
};

class EcuSimulator
{
public:
    explicit EcuSimulator(const SimDescription &description);
    ~EcuSimulator();
    EcuSimulator(const EcuSimulator &) = delete;
    EcuSimulator &operator=(const EcuSimulator &) = delete;

    const SimDescription &description() const { return m_description; }
    quint32 mainSpace() const { return m_description.memorySpace(); }
    void addSpace(quint32 space);
    bool hasSpace(quint32 space) const;
    // Ethernet frames carry only the low 8 bits of the id.
    bool spaceFromWireId(quint8 wireId, quint32 *space) const;

    // false: unknown space, address range past 4 GiB, a refused region, or a
    // handler that said no. Nothing is written when a write fails.
    bool read(quint32 space, quint32 address, char *destination, quint32 length);
    bool write(quint32 space, quint32 address, const char *source, quint32 length);
    QByteArray read(quint32 space, quint32 address, quint32 length, bool *ok = nullptr);
    bool write(quint32 space, quint32 address, const QByteArray &data);

    // Plain memory: no handlers, no variable refresh, no refusals.
    QByteArray peek(quint32 space, quint32 address, quint32 length) const;
    void poke(quint32 space, quint32 address, const QByteArray &data);

    // 0xFFFFFFFF for an unknown space.
    quint32 staticTableAddress(quint32 space) const;

    // Handlers take precedence over plain memory within their range.
    void mount(quint32 space, quint32 address, quint32 size, std::shared_ptr<MemoryHandler> handler);
    void unmount(const MemoryHandler *handler);

    qint64 elapsedMs() const;
    void freezeTime(qint64 ms);
    void resumeTime();
    // The value channel `index` shows at time `ms` (see the header comment).
    static quint64 variableValue(int index, const SimChannel &channel, qint64 ms);
    void unpinVariables();

    // The plan is shared by the front ends; refusals in it apply to the main space.
    FaultPlan faults() const;
    void setFaults(const FaultPlan &plan);
    bool setFaults(const QString &text, QString *error = nullptr);
    FaultPlan::Decision nextReplyDecision();
    // The decisions for the next n replies, taken at once.
    void nextReplyDecisions(int n, std::vector<FaultPlan::Decision> &out);
    bool absent() const;
    void setAbsent(bool absent);
    FaultPlan::LoggerFaults loggerFaults() const;

    // Null when the description has no usable logger table.
    EcuLogger *logger() const { return m_logger.get(); }

    // A control line from a test harness; the answer is "ok", "ok DATA" or
    // "error: ...". Addresses in decimal or 0x.., in the main space.
    //   faults SPEC     replace the fault plan (ecufaults.h); "faults none" clears it
    //   time MS         freeze the variables' clock at MS; "time run" lets it run
    //   poke ADDR HEX   write bytes (plain memory)
    //   peek ADDR N     answer "ok" and N bytes in hex (plain memory, N <= 65536)
    //   logger ...      the logger's control lines (EcuLogger::control)
    QByteArray control(const QByteArray &line);
    // "word argument" of a control line, both trimmed.
    static void splitControlLine(const QByteArray &line, QByteArray *word, QByteArray *arg);

private:
    static constexpr quint32 PageBits = 12;
    static constexpr quint32 PageSize = 1u << PageBits;
    using Page = std::array<char, PageSize>;
    struct Space
    {
        std::unordered_map<quint32, std::unique_ptr<Page>> pages;
    };
    struct Mount
    {
        quint32 space;
        quint64 begin;
        quint64 end;
        std::shared_ptr<MemoryHandler> handler;
    };
    struct Variable
    {
        int index;
        quint64 begin;
        quint64 end;
        bool pinned;
    };

    void rawRead(const Space &s, quint32 address, char *dst, quint32 length) const;
    void rawWrite(Space &s, quint32 address, const char *src, quint32 length);
    bool refused(quint32 space, quint64 begin, quint64 end) const;
    // The mount nearest to `from` that overlaps [from, end), or none.
    const Mount *nextMount(quint32 space, quint64 from, quint64 end) const;
    void refreshVariables(Space &s, quint64 begin, quint64 end);

    SimDescription m_description;
    mutable QRecursiveMutex m_lock;
    std::unordered_map<quint32, Space> m_spaces;
    std::vector<Mount> m_mounts;
    std::vector<Variable> m_variables; // sorted by address
    QElapsedTimer m_clock;
    qint64 m_frozenMs = -1;
    FaultPlan m_faults;
    std::unique_ptr<EcuLogger> m_logger;
};
