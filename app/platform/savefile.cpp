#include "savefile.h"

#include <QSaveFile>

namespace Platform {

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        f.cancelWriting();
        return false;
    }
    return true;
}

} // namespace Platform
