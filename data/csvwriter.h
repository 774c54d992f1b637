#pragma once
// CSV export: one file per sampling period, "<base>_<period>ms.csv", a time
// column in seconds first, then the channels in engineering units with the
// unit in the header; decimal point, comma between fields. Called by
// brisca-tool.

#include "decodedatalogged.h"

#include <QStringList>

#include <functional>

class CsvWriter
{
public:
    explicit CsvWriter(DecodeDataLogged &decoder) : m_decoder(decoder) {}

    void setProgress(std::function<void(qint64, qint64)> progress) { m_progress = std::move(progress); }
    // Writes into the existing directory dir. False with errorString() when a
    // file could not be written; then none of the files is left.
    bool write(const QString &dir, const QString &baseName);
    QStringList files() const { return m_files; }
    QString errorString() const { return m_error; }

private:
    DecodeDataLogged &m_decoder;
    std::function<void(qint64, qint64)> m_progress;
    QStringList m_files;
    QString m_error;
};
