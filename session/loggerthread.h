#pragma once
// Logger session: the worker thread that runs one logger operation away from
// the GUI thread and reports its outcome to the wait dialog by a posted
// LoggerResultEvent. The main window's logger commands create a LoggerThread
// and a WaitDialog per operation; brisca-tool runs the same thread without a
// window. The worker owns nothing it is given.

#include "devicerecords.h"

#include <QEvent>
#include <QString>
#include <QThread>

#include <atomic>

class CommunicationMedium;
class LoggerProtocol;

// The numbers are shared with the commands that start the operations.
enum LoggerOperation : int {
    OpSendConfiguration = 1,
    OpReadLoggedData = 2,
    OpReadConfiguration = 3,
    OpSendChannelInfo = 4,
    OpClearLoggerMemory = 5,
    OpWaitForEcu = 6,
};

// Operation 6 polls through these, which point into the main window's state.
struct WaitForEcuContext
{
    CanSettings *can = nullptr;
    CommunicationMedium *medium = nullptr;
    QString *serverHost = nullptr;
    quint32 port = 55162;
};

class LoggerResultEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = QEvent::Type(11000);

    // code: -1 for success, else the positive result code. detail is an extra
    // line the dialog shows under the message (bytes received, dump file).
    LoggerResultEvent(const QString &message, int code, const QString &detail = QString())
        : QEvent(EventType), m_message(message), m_detail(detail), m_code(code)
    {
    }
    QString message() const { return m_message; }
    QString detail() const { return m_detail; }
    int code() const { return m_code; }

private:
    QString m_message;
    QString m_detail;
    int m_code;
};

class LoggerThread : public QThread
{
    Q_OBJECT
public:
    LoggerThread(QObject *receiver, LoggerProtocol *protocol, int operation);
    LoggerThread(QObject *receiver, WaitForEcuContext *context, int operation = OpWaitForEcu);
    ~LoggerThread() override;

    // Set from the GUI thread; looked at between operations and polling passes.
    void requestStop() { m_stopRequested = true; }
    bool stopRequested() const { return m_stopRequested; }
    // Readable once the thread has ended.
    int operation() const { return m_operation; }
    int resultCode() const { return m_resultCode; }
    // Operation 2: where the dump went, and whether it was written.
    QString dumpPath() const { return m_dumpPath; }
    bool dumpWritten() const { return m_dumpWritten; }
    quint32 bytesDownloaded() const { return m_bytesDownloaded; }

    // The text posted for an operation's result code; lastError is the
    // variable list of a send refused with code 7.
    static QString resultMessage(int operation, int code, const QString &lastError = QString());
    // One polling pass of operation 6: true when the ECU is ready.
    static bool ecuReady(const WaitForEcuContext &context);
    // The folder the dumps are written to (the application-data folder).
    static QString dumpFolder();

protected:
    void run() override;

private:
    void runDownload(QString *detail);

    QObject *m_receiver;
    LoggerProtocol *m_protocol = nullptr;
    WaitForEcuContext *m_context = nullptr;
    std::atomic<bool> m_stopRequested{false};
    int m_operation;
    int m_resultCode = -1;
    QString m_dumpPath;
    bool m_dumpWritten = false;
    quint32 m_bytesDownloaded = 0;
};
