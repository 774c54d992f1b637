#pragma once
// 2D measurement writer: a measure directory with a text header (.hed), a lap
// file (.lap), a binary channel description (.ldf) and one data file per
// channel (.A000, .A001, ...). Called by the export dialog and brisca-tool.

#include "decodedatalogged.h"

#include <QDateTime>
#include <QStringList>

#include <functional>

class Writer2D
{
public:
    explicit Writer2D(DecodeDataLogged &decoder) : m_decoder(decoder) {}

    void setComment(const QStringList &lines) { m_comment = lines; }
    void setTimestamp(const QDateTime &when) { m_when = when; }   // default: the time of writing
    // Called between channels and runs: bytes of data files written, bytes in all.
    void setProgress(std::function<void(qint64, qint64)> progress) { m_progress = std::move(progress); }

    // Writes into the existing directory dir; the base name is dir's last
    // component up to its first ".". False with errorString() when anything
    // could not be written; then none of the files is left.
    bool write(const QString &dir);
    QString errorString() const { return m_error; }

    static QString baseName(const QString &dir);
    // Coefficients the 2D files give a channel: signed channels are stored
    // offset-binary, so their conversion is replaced by a linear one over the
    // stored range.
    static ChannelInfo fileChannel(const ChannelInfo &c);
    static int sampleWidth(int sampleSize) { return sampleSize <= 1 ? 2 : sampleSize; }

private:
    QByteArray header(const QVector<ChannelInfo> &channels) const;
    QByteArray laps() const;
    QByteArray description(const QVector<ChannelInfo> &channels) const;

    DecodeDataLogged &m_decoder;
    QStringList m_comment;
    QDateTime m_when;
    std::function<void(qint64, qint64)> m_progress;
    QString m_error;
};
