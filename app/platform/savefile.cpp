#include "savefile.h"

#include <QSaveFile>

namespace Platform {

namespace {
bool save(const QString &path, const QByteArray &data, QString *error, bool inPlaceFallback)
{
    QSaveFile f(path);
    f.setDirectWriteFallback(inPlaceFallback);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        f.cancelWriting();
        return false;
    }
    return true;
}
} // namespace

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error)
{
    return save(path, data, error, false);
}

bool writeFileAtomicallyOrInPlace(const QString &path, const QByteArray &data, QString *error)
{
    return save(path, data, error, true);
}

} // namespace Platform
