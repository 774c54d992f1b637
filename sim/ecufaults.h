#pragma once
// Faults a simulated ECU can be told to show. A plan is built from a short
// text so tests can pass it on a command line or a control line:
//
//   absent                  the ECU answers nothing at all
//   drop[xN|x*][@K]         drop N reply frames (default 1) after letting K through
//   dup[xN|x*][@K]          send those replies twice
//   trunc=B[xN|x*][@K]      cut those replies to B data bytes (L and length follow)
//   late=MS[xN|x*][@K]      send those replies MS milliseconds late (default: all)
//   refuse=ADDR+SIZE        memory that refuses every access (addresses in 0x.. or decimal)
//   nostop                  the logger ignores stop requests (its run flag stays 1)
//   noclear                 a clear request never answers 2
//   badsum                  the read-back shows a wrong configuration checksum
//   startpastend            the header's data start lies 4 bytes past its data end
//   lockheld                another client holds the server's lock (server path)
//   hangup                  the server drops each client at its next request (server path)
//   vanish=N                the ECU goes absent once more than N bytes of logger
//                           data were read (the request crossing N fails)
//
// Several items are separated by ',' ; "none" clears the plan. Reply frames
// are counted per front end from the moment the plan is set.

#include <QList>
#include <QString>
#include <QtGlobal>

class FaultPlan
{
public:
    enum Kind { Drop, Duplicate, Truncate, Late };
    struct ReplyFault
    {
        Kind kind = Drop;
        int after = 0;  // replies let through untouched first
        int count = 1;  // replies affected; -1 = every one
        int value = 0;  // truncate: data bytes kept; late: milliseconds
    };
    struct Refusal
    {
        quint32 address = 0;
        quint32 size = 0;
    };
    // What to do with one reply frame.
    struct Decision
    {
        bool drop = false;
        int copies = 1;
        int truncateTo = -1; // data bytes; -1 = keep all
        int delayMs = 0;
    };

    struct LoggerFaults
    {
        bool noStop = false;
        bool noClear = false;
        bool badChecksum = false;
        bool startPastEnd = false;
        bool lockHeld = false;
        bool hangUp = false;
        qint64 vanishAfter = -1;
    };

    bool parse(const QString &text, QString *error = nullptr);
    void clear();

    bool absent() const { return m_absent; }
    void setAbsent(bool absent) { m_absent = absent; }
    const LoggerFaults &logger() const { return m_logger; }
    const QList<Refusal> &refusals() const { return m_refusals; }
    void addRefusal(quint32 address, quint32 size) { m_refusals.append({address, size}); }
    void addReplyFault(const ReplyFault &f) { m_faults.append(f); }

    // Advances the reply counter.
    Decision nextReply();

private:
    bool m_absent = false;
    LoggerFaults m_logger;
    QList<ReplyFault> m_faults;
    QList<Refusal> m_refusals;
    qint64 m_replies = 0;
};
