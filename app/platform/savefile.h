#pragma once
#include <QByteArray>
#include <QString>

namespace Platform {
// Writes data under a temporary name and renames it over path, so a failure
// (full disk, crash) never leaves a truncated file under the real name.
bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error = nullptr);
// The same, but when no file can be created beside path (a writable file in a
// read-only folder) the file is rewritten in place rather than not at all.
bool writeFileAtomicallyOrInPlace(const QString &path, const QByteArray &data, QString *error = nullptr);
}
