#pragma once
// The ECU's on-board data logger, simulated from the logger memory layouts.
// EcuSimulator creates one when its description has a usable logger table
// and mounts its windows as memory handlers. The layout follows the
// description as a device file's loader would read it: the configuration
// image with ELF identification, else the compact setup block; channel-info
// mode 1 when XA_ChannelInfoSizeAddress is not 0 (64 slots, 4096-byte
// channel-info area, pages of 32).
//
//   read-back window at XA_HeaderBeginAddress: the logger header followed by
//     the configuration image (ELF devices), or the compact setup block;
//     the header part is the logger's own and ignores writes;
//   setup window at XA_SetupBeginAddress and channel-info window at
//     XA_ChannelInfoBeginAddress: the same bytes the read-back window shows,
//     so what the tool writes there reads back as an ECU's would;
//   handshake cells (stop request, clear request, run flag): 32-bit
//     little-endian values, 4 bytes wide (less when the next cell is
//     nearer), so a 1- or 2-byte cell named by a variable and a numeric
//     cell at the same address behave alike;
//   channel-info mode 1 only: the data pointer cells at XA_DataEndAddress
//     and XA_DataBeginAddress (32-bit big-endian addresses);
//   the data area: AvailableBytes from logger.DataArea of the description,
//     else from XA_DataBeginAddress (mode 0) or 4096 bytes after it (mode 1).
//
// Recording: a clear request (1) answers 2 after the clear delay (real
// time; logger.ClearDelayMs of the description, default 100); then the setup is decoded and activated, the memory erased, and the
// logger releases its own stop request and resumes, as an ECU does after a
// clear. A stop request ends the current run at once and the run flag reads
// 0; releasing it starts a new run when the trigger allows. Runs are whole
// modules of max-period length, channels interleaved slot by slot (slot
// times minP, 2 minP, ... from the run start, faster channels first), each
// run starting at the next multiple of PageAlignment from the data start;
// the run table holds 0 for each run, its lap marks and its length in 5 ms
// ticks. Recording stops for good when the next module or run-table entry
// does not fit. Samples are the simulator's signals
// (EcuSimulator::variableValue) at the logger's clock, the low bytes of the
// value, big-endian. Header bytes 0-31 hold the identification string, 39
// the run-table entries, 40 the runs, and the state byte is 0 stopped (or
// not configured), 1 waiting for the trigger, 2 recording, 3 memory full.
//
// Trigger types: 0 records at once; 1 after the delay; 2 while the external
// input is on (after it was on for the delay); 3 once the trigger channel
// reads at least the high threshold for the delay, until it reads below the
// low threshold at the end of a module.
//
// The logger's clock follows real time unless set manual; "run" advances it
// at once. Control lines (after the word "logger"): see control().

#include "ecudescription.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QVector>

#include <memory>
#include <vector>

class EcuSimulator;

class EcuLogger
{
public:
    enum State { NoConfiguration, Stopped, Armed, Recording, Full };
    enum Window { Block, Cell, PointerCell, Data };
    enum CellId { StopCell, ClearCell, RunCell };

    // Null when the description's logger table lacks what the logger needs.
    static std::unique_ptr<EcuLogger> create(EcuSimulator &simulator, const SimDescription &description);
    ~EcuLogger();
    // Mounts the windows in the simulator's main space.
    void install();

    // Called by the mounted handlers with the offset inside the window.
    bool read(Window window, quint32 which, quint32 offset, char *destination, quint32 length);
    bool write(Window window, quint32 which, quint32 offset, const char *source, quint32 length);

    // The text after "logger" on a control line; "ok ..." or "error: ...".
    //   (nothing)        state, runs, bytes used, clock
    //   run SECONDS      advance the clock at once (fractions allowed)
    //   fill             run until the memory or run table is full (at most 24 h)
    //   lap | newrun     a lap mark; end the run and open the next at once
    //   input 0|1        the external trigger input
    //   clock real|manual
    //   cleardelay MS    delay before a clear request answers 2
    //   truth PATH       write the ground truth file (groundTruth())
    //   dump PATH        write the data area from data start to data end
    //   peek OFFSET N    N bytes of the data area in hex
    QByteArray control(const QByteArray &arguments);

    // Not locked: from another thread than the simulator's users, ask for it
    // with the control line "logger truth PATH".
    // One line per sample, "channel,run,sample,time_ms,raw,offset": channel
    // is the position in the configuration, sample counts per channel and
    // run from 0, time on the logger clock, raw the stored value as an
    // unsigned number, offset from the data start. Lines starting with '#'
    // are comments; "#run,K,start_ms,ticks,offset,modules" describes run K.
    QByteArray groundTruth();

    State state();
    qint64 clockMs() const { return m_now; }
    quint32 bytesUsed() const { return reportedEnd() - m_dataArea; }
    quint32 dataAreaAddress() const { return m_dataArea; }
    bool compactLayout() const { return m_compact; }
    int channelInfoMode() const { return m_mode; }

private:
    struct Channel
    {
        int configIndex = 0;
        int simIndex = -1; // -1: no such variable, samples read 0
        quint32 period = 0;
        quint32 bytes = 0;
        bool isSigned = false;
    };
    struct Run
    {
        qint64 startMs = 0;
        quint32 offset = 0;
        quint32 modules = 0;
        quint32 ticks = 0;
        QVector<quint32> laps;
    };
    struct CellPlace
    {
        quint32 address = 0;
        quint32 width = 4;
    };

    EcuLogger(EcuSimulator &simulator, const SimDescription &description);

    void sync();
    void advanceTo(qint64 target);
    void applyStopRequest();
    qint64 nextOpening(qint64 target);
    bool triggerHigh(qint64 ms) const;
    bool triggerLow(qint64 ms) const;
    qint64 channelValue(const Channel &c, qint64 ms) const;
    void openRun(qint64 ms);
    void closeRun(qint64 ms);
    void writeModule();
    void clearMemory();
    void decodeSetup();
    void refreshHeader();
    int entriesUsed() const;
    quint32 runTableEntries(QVector<quint32> *entries) const;
    quint32 reportedStart() const;
    quint32 reportedEnd() const;
    quint32 checksumOffset() const;
    bool blockByteWritable(quint32 offset) const;
    QByteArray status();

    EcuSimulator &m_sim;
    SimDescription m_description;
    bool m_compact = false;
    int m_mode = 0;
    quint32 m_n = 0;
    quint32 m_infoSize = 0; // S
    quint32 m_page = 0;
    quint32 m_available = 0;
    quint32 m_header = 0, m_setup = 0, m_channelInfo = 0, m_dataArea = 0;
    quint32 m_dataEndCell = 0, m_dataBeginCell = 0;
    CellPlace m_cells[3];
    QByteArray m_idBytes;

    QByteArray m_block; // read-back block (image) or compact block, ECU order
    std::vector<char> m_data;

    quint32 m_cellValue[3] = {0, 0, 0};
    qint64 m_clearDue = -1; // wall ms at which the pending clear completes
    qint64 m_clearDelayMs = 100;

    // Active configuration.
    QVector<Channel> m_channels; // sorted by period, stable
    // One sample of a module: channelValue() unrolled, as a module is written
    // millions of times for a large memory.
    struct Slot
    {
        quint32 time;  // from the module start
        quint32 bytes;
        quint32 period; // the variable's; 0: no variable, the sample reads 0
        quint64 base;
        quint64 mask;
    };
    std::vector<Slot> m_module; // the samples of one module, in memory order
    quint32 m_minP = 0, m_maxP = 0, m_moduleBytes = 0;
    int m_triggerType = 0;
    qint64 m_delayMs = 0;
    int m_triggerChannel = -1; // index in m_channels
    qint64 m_low = 0, m_high = 0;

    State m_state = NoConfiguration;
    bool m_stoppedByRequest = false;
    QVector<Run> m_runs;
    bool m_runOpen = false;
    qint64 m_armedMs = 0;
    qint64 m_conditionMs = -1;
    bool m_input = false;

    qint64 m_now = 0;
    bool m_realTime = true;
    QElapsedTimer m_wall;
    qint64 m_lastWall = 0;
    quint64 m_dataBytesRead = 0;
};
