#pragma once
// The logger operations against the ECU's memory: send a configuration and
// activate it, read it back, stop the logger and download its memory, clear or
// restart it, send the channel descriptions, check the selected variables
// against the ECU's static table; and the dump files that keep a download.
// Everything goes through CommunicationMedium, so the same sequences run over
// raw Ethernet and the communication server. One object per loaded device;
// the logger worker calls one operation at a time in its own thread.

#include "dumpfile.h"
#include "loggerimage.h"

#include <QList>
#include <QString>
#include <memory>
#include <vector>

#include "devicerecords.h"

class CommunicationMedium;
class QDateTime;
class QObject;

namespace LoggerResult {
enum : int {
    Done = 0,
    NotConnectedServer = 1,
    StillRunning = 2,                 // also: compact block read back with a bad checksum
    ReadBackFailed = 3,               // also: nothing logged (header-only read, mode 1)
    ChecksumOrDataReadFailed = 4,
    NoClearAnswer = 5,
    NotConnectedEthernet = 6,
    VariablesOrNothingToDownload = 7,
    LockTimeout = 8,
    StartBeyondEnd = 9,
    NotRun = -16                      // no operation yet
};
}

class LoggerProtocol
{
public:
    static constexpr int LockTimeoutMs = 10000;
    static constexpr int StopTimeoutMs = 1000;
    static constexpr quint32 EthernetDownloadBlock = 64512;

    LoggerProtocol();
    virtual ~LoggerProtocol();
    LoggerProtocol(const LoggerProtocol &) = delete;
    LoggerProtocol &operator=(const LoggerProtocol &) = delete;

    virtual void attachLoggerTable(LoggerTable *table, quint32 size);
    virtual void setIdSource(const CanSettings *can);
    virtual void setMedium(CommunicationMedium *medium);
    virtual void setChannelList(const QList<ChannelRecord *> &channels);
    virtual void setTriggerSettings(const TriggerSettings &trigger);
    virtual bool fitsMemory();
    virtual int sendConfiguration();
    virtual int readConfiguration(bool headerOnly);
    virtual int readLoggedData(QObject *progressReceiver);
    virtual int restartLogger(bool clearMemory);
    virtual int reserved() { return 0; }
    virtual QString takeLastError();
    int sendChannelInfo();
    int checkVariableSizes(int &count);

    // Read-back decoding: a new list the caller owns (qDeleteAll); empty when
    // nothing is configured. head->channel points into the list.
    QList<ChannelRecord *> decodeReadBack(TriggerSettings *head, quint32 *dataLength);

    // Dump files. saveDump writes through a temporary name and a rename; false
    // when it could not (empty path, no folder, full disk).
    bool saveDump(const QString &path) const;
    // false for a missing, empty, truncated, foreign or inconsistent file; the
    // object is then unchanged.
    bool loadDump(const QString &path);
    void saveDownloadState();
    void restoreDownloadState();
    static QString dumpFileName(const QDateTime &when); // "dump_yyyyMMdd_hhmmss.bin"

    bool clearMemoryFlag() const { return m_clearMemory; }
    void setClearMemoryFlag(bool clear) { m_clearMemory = clear; }
    const ReadBackViews &readBackViews() const { return m_views; }
    const quint8 *readBackBlock() const { return m_readBack.empty() ? nullptr : m_readBack.data(); }
    quint32 readBackLength() const { return quint32(m_readBack.size()); }
    // A loaded dump's data stays in its file's mapping; a download fills m_data.
    const quint8 *dataBuffer() const
    {
        return m_dump ? m_dump->data : m_data.empty() ? nullptr : m_data.data();
    }
    quint32 dataBufferSize() const { return m_dump ? m_dump->dataSize : quint32(m_data.size()); }
    quint32 bytesDownloaded() const { return m_bytesDownloaded; }
    quint32 channelCapacity() const { return m_n; }
    quint32 pageAlignment() const { return m_pageAlignment; }
    LoggerTable *loggerTable() const { return m_table; }
    int lastConfigurationReadResult() const { return m_lastConfigRead; }
    int lastDownloadResult() const { return m_lastDownload; }
    const QList<ChannelRecord *> &channelList() const { return m_channels; }

    // Added for tests and tools.
    const quint8 *configurationImage() const { return m_image.empty() ? nullptr : m_image.data(); }
    quint32 configurationImageLength() const { return quint32(m_image.size()); }
    const quint8 *compactBlock() const { return m_compact.empty() ? nullptr : m_compact.data(); }
    quint32 compactBlockLength() const { return quint32(m_compact.size()); }
    // Fills the configuration image from the channel list and trigger.
    void buildImage();

private:
    struct DownloadState
    {
        std::vector<quint8> readBack;
        std::vector<quint8> data;
        std::shared_ptr<const DumpFile> dump;
        quint32 n = 0;
        quint32 pageAlignment = 0;
        quint32 bytesDownloaded = 0;
    };

    quint32 space() const;
    int download(QObject *progressReceiver);
    int notConnectedCode() const;
    bool connected() const;
    void resetProgress();
    bool writeCell(const LoggerAddress &cell, quint32 value);
    bool readCell(const LoggerAddress &cell, quint32 &value);
    bool waitForCell(const LoggerAddress &cell, quint32 wanted, qint64 timeoutMs);
    bool stopAndWait();
    bool waitForClearAnswer();
    bool activate();
    bool writeInPieces(quint32 address, const quint8 *data, quint32 length);
    void allocateReadBack(quint32 n);
    bool readBackChecksumMatches() const;
    int readBackAndVerify();
    quint32 compactAreaSize() const;
    void ensureCompact();
    quint32 mode() const;

    LoggerTable *m_table = nullptr;
    const CanSettings *m_can = nullptr;
    CommunicationMedium *m_medium = nullptr;
    QList<ChannelRecord *> m_channels;
    TriggerSettings m_trigger;
    quint32 m_n = 0;
    quint32 m_imageN = 0;
    quint32 m_pageAlignment = 0;
    bool m_clearMemory = true;
    bool m_keepLocked = false;
    std::vector<quint8> m_image;
    std::vector<quint8> m_readBack;
    ReadBackViews m_views;
    std::vector<quint8> m_compact;
    std::vector<quint8> m_data;
    std::shared_ptr<const DumpFile> m_dump;
    quint32 m_bytesDownloaded = 0;
    QString m_lastError;
    int m_lastConfigRead = LoggerResult::NotRun;
    int m_lastDownload = LoggerResult::NotRun;
    DownloadState m_saved;
    bool m_stateSaved = false;
};
