#include "serverpresence.h"

#include <QLocalSocket>

namespace Platform {

QString serverSocketName(const QString &className, const QString &windowName)
{
    QString name = QStringLiteral("brisca-server-") + className + QLatin1Char('-') + windowName;
    for (QChar &c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    return name;
}

bool isServerRunning(const QString &className, const QString &windowName, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverSocketName(className, windowName));
    const bool up = socket.waitForConnected(timeoutMs);
    socket.abort();
    return up;
}

} // namespace Platform
