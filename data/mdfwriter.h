#pragma once
// MDF 3.30 writer: one data group per sampling period, the time given by a
// virtual time channel, all runs one after the other. The layout is computed
// first; then one pass over the memory fills every group's records in place
// (positioned writes into the temporary file), so the output is never held
// whole. Called by the export dialog and brisca-tool.

#include "decodedatalogged.h"

#include <QDateTime>

#include <functional>

class MdfWriter
{
public:
    explicit MdfWriter(DecodeDataLogged &decoder) : m_decoder(decoder) {}

    void setTexts(const QString &project, const QString &subject, const QString &comment);
    void setTimestamp(const QDateTime &when) { m_when = when; }   // default: the time of writing
    // Called while the records are written: record bytes written, record bytes in all.
    void setProgress(std::function<void(qint64, qint64)> progress) { m_progress = std::move(progress); }

    // False with errorString() when nothing could be written (no run, no
    // decodable configuration, a failed write); then no file is left at path.
    bool write(const QString &path);
    QString errorString() const { return m_error; }

    // Comments longer than this are cut: the text block's size is 16 bits.
    static constexpr int MaxComment = 65530;

private:
    DecodeDataLogged &m_decoder;
    QByteArray m_project, m_subject, m_comment;
    QDateTime m_when;
    std::function<void(qint64, qint64)> m_progress;
    QString m_error;
};
