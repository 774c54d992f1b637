#pragma once
// MDF 4.10 writer: the measurement of a download as one file, a data group
// per sampling period with a master time channel (seconds, 64-bit float) and
// the channels' raw values with their rational conversions. As the MDF 3
// writer: layout first, then one pass over the memory under a temporary name.
// Called by the export dialog and brisca-tool.

#include "decodedatalogged.h"

#include <QDateTime>

#include <functional>

class Mdf4Writer
{
public:
    explicit Mdf4Writer(DecodeDataLogged &decoder) : m_decoder(decoder) {}

    void setTexts(const QString &project, const QString &subject, const QString &comment);
    void setTimestamp(const QDateTime &when) { m_when = when; }   // default: the time of writing
    // Record bytes written, record bytes in all.
    void setProgress(std::function<void(qint64, qint64)> progress) { m_progress = std::move(progress); }

    // False with errorString() when nothing could be written; then no file is
    // left at path.
    bool write(const QString &path);
    QString errorString() const { return m_error; }

private:
    DecodeDataLogged &m_decoder;
    QString m_project, m_subject, m_comment;
    QDateTime m_when;
    std::function<void(qint64, qint64)> m_progress;
    QString m_error;
};
