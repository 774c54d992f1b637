#pragma once
// Logged data: decoding of a downloaded logger memory into per-channel sample
// series, run by run. The writers (writer2d, mdfwriter), the export dialog and
// brisca-tool build one DecodeDataLogged per export from a LoggedDownload.
//
// The memory holds runs of fixed-length modules; inside a module every channel
// has a fixed place, so a sample list is described by the run starts and the
// channel's offsets inside a module instead of one address per sample (a full
// memory would otherwise need several times its own size in addresses).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>


// What the decoder reads: views into the protocol object's (or a loaded dump's)
// read-back block and data buffer. Nothing is copied; the owner outlives the
// decoder.
struct LoggedDownload
{
    const quint8 *memory = nullptr;
    quint32 memorySize = 0;     // bytes downloaded, at most the buffer's size
    quint8 *header = nullptr;   // 884 bytes; byte 40 receives the run count
    const quint8 *imageHead = nullptr;  // 20 bytes
    const quint8 *records = nullptr;    // capacity x 55 bytes
    quint32 capacity = 0;       // channel records the block holds
    quint32 blockSize = 0;      // run alignment (page alignment), 0 for none
};

// One channel record of the configuration image, read once.
struct ChannelInfo
{
    static constexpr int RecordSize = 55;
    enum Flag : quint8 { Signed = 0x10, ZeroCorrected = 0x20 };

    int imageIndex = 0;          // position of the record in the image
    int period = 0;              // ms
    quint8 flags = 0;
    qint32 zeroReference = 0;
    float g1 = 0, o1 = 0, g2 = 0, o2 = 0;
    QByteArray label;            // Latin-1, without the terminator
    QByteArray unit;
    quint32 address = 0;
    int sampleSize = 0;          // bytes

    bool isSigned() const { return flags & Signed; }
    bool zeroCorrected() const { return flags & ZeroCorrected; }
    static ChannelInfo fromRecord(const quint8 *record, int index);
};

// The samples of one channel in time order, over one run or all runs.
class SampleList
{
public:
    const ChannelInfo *channel = nullptr;

    qint64 count() const { return m_count; }
    const quint8 *at(qint64 i) const;   // address of sample i, null outside
    int perModule() const { return m_offsets ? int(m_offsets->size()) : 0; }

    // The layout behind the list, for writers that walk it module by module:
    // sample i of a segment lies at base + (i / perModule) * moduleBytes +
    // offset(i % perModule).
    int segments() const { return int(m_segments.size()); }
    const quint8 *segmentBase(int s) const { return m_memory + m_segments[s].start; }
    qint64 segmentSamples(int s) const { return m_segments[s].count; }
    quint32 offset(int q) const { return (*m_offsets)[q]; }
    const quint32 *offsets() const { return m_offsets->constData(); }
    quint32 moduleBytes() const { return m_moduleBytes; }

    // Walks the sample addresses in order; cheap per step.
    class Cursor
    {
    public:
        explicit Cursor(const SampleList &list);
        bool atEnd() const { return m_left == 0; }
        const quint8 *next();   // only when !atEnd()

    private:
        void enterSegment();
        const SampleList *m_list;
        int m_segment = 0;
        qint64 m_left = 0, m_segmentLeft = 0;
        const quint8 *m_module = nullptr;
        int m_slot = 0;
    };

private:
    friend class DecodeDataLogged;
    struct Segment
    {
        quint64 start;   // offset of the run in memory
        qint64 count;
    };
    const quint8 *m_memory = nullptr;
    quint32 m_moduleBytes = 0;
    const QVector<quint32> *m_offsets = nullptr;  // inside a module, in time order
    QVector<Segment> m_segments;
    qint64 m_count = 0;
};

class DecodeDataLogged
{
public:
    explicit DecodeDataLogged(const LoggedDownload &download);
    ~DecodeDataLogged();
    DecodeDataLogged(const DecodeDataLogged &) = delete;
    DecodeDataLogged &operator=(const DecodeDataLogged &) = delete;

    // False when the configuration cannot be decoded (no channels, a period of
    // 0, a longest period below 5 ms, periods that do not divide each other, a
    // sample size outside 1..4); refusal() says why. Runs and laps are still
    // read from the run table.
    bool decodable() const { return m_refusal.isEmpty(); }
    QString refusal() const { return m_refusal; }

    // Lists for run k, or null when k is not a run or nothing is decodable.
    // Valid until the next call of either method.
    const QList<SampleList> *getVarDataInRun(int k);
    const QList<SampleList> *getVarDataInAllRun();

    int maxPeriodFind() const { return m_maxPeriod; }
    int minPeriodFind() const { return m_minPeriod; }
    int numBytesModulo() const { return int(m_moduleBytes); }
    int numCampioniModulo() const { return m_slotsPerModule; }
    int channelCount() const { return m_channelCount; }
    int numRun() const { return m_runs.size(); }
    int lapCount() const { return m_lapMarks.size(); }
    int blockSize() const { return int(m_blockSize); }
    const QVector<qint64> &lapMarks() const { return m_lapMarks; }   // 5 ms ticks from the first run's start
    QVector<qint64> runLengths() const;                             // 5 ms ticks
    QVector<qint64> modulesPerRun() const;
    QVector<quint64> bytesPerRun() const;
    QVector<quint64> runStarts() const;                             // offsets in memory
    qint64 totalTime() const { return m_totalTime; }                // ms
    quint64 debugBytesTotali() const { return m_bytesTotal; }
    const QVector<ChannelInfo> &channels() const { return m_channels; }   // by period, ascending
    const quint8 *memory() const { return m_in.memory; }
    quint32 memorySize() const { return m_in.memorySize; }
    QByteArray ecuInfo() const;   // the header's first 32 bytes

    // Samples of one channel over all runs, as far as the memory holds them,
    // without building lists.
    qint64 sampleCount(int channel) const;

    // Everything unusual met so far: the refusal, run-table damage and the
    // debug lines written when a run runs past the downloaded bytes.
    const QStringList &diagnostics() const { return m_diagnostics; }

private:
    void analyse();
    void readRunTable();
    void buildLists(int first, int last, const char *method);
    // Samples of each channel that fit in run k; false when the run is cut.
    bool samplesInRun(int k, QVector<qint64> *counts, qint64 *slotReached) const;
    void note(const QString &line);

    LoggedDownload m_in;
    QString m_refusal;
    QStringList m_diagnostics;
    QVector<ChannelInfo> m_channels;
    QVector<QVector<quint32>> m_offsets;   // per channel, inside a module
    QVector<QVector<int>> m_slotSamples;   // per slot: channels in the order they follow
    int m_maxPeriod = 2, m_minPeriod = 2;
    quint32 m_moduleBytes = 0;
    int m_channelCount = 0;
    int m_slotsPerModule = 1;
    quint32 m_blockSize = 0;
    struct Run
    {
        qint64 length = 0;
        qint64 modules = 0;
        quint64 bytes = 0;
        quint64 start = 0;
    };
    QVector<Run> m_runs;
    QVector<qint64> m_lapMarks;
    qint64 m_totalTime = 0;
    quint64 m_bytesTotal = 0;
    int m_cachedRun = -1;
    QList<SampleList> m_lists;
};
