#include "adapters.h"

#include <QNetworkInterface>

namespace Platform {

QList<AdapterInfo> readAdapterTable()
{
    QList<AdapterInfo> table;
    const auto ifaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &ni : ifaces) {
        AdapterInfo a;
        a.name = ni.name();
        a.description = ni.humanReadableName();
        // veth pairs and virtual Ethernet devices report as Ethernet too,
        // which is what the ECU tests in namespaces rely on.
        a.type = (ni.type() == QNetworkInterface::Ethernet || ni.type() == QNetworkInterface::Virtual)
                     ? AdapterTypeEthernet
                     : 0;
        const QStringList parts = ni.hardwareAddress().split(QLatin1Char(':'));
        if (parts.size() == 6) {
            for (const QString &p : parts)
                a.mac.append(char(p.toUInt(nullptr, 16)));
        } else {
            a.mac = QByteArray(6, 0);
            if (a.type == AdapterTypeEthernet)
                a.type = 0;
        }
        table.append(a);
    }
    return table;
}

QByteArray findAdapterMac(const QList<AdapterInfo> &table, const QString &interfaceName)
{
    if (!interfaceName.isEmpty()) {
        for (const AdapterInfo &a : table)
            if (a.type == AdapterTypeEthernet && !a.name.isEmpty() && interfaceName.contains(a.name))
                return a.mac;
    }
    return QByteArray(6, 0);
}

} // namespace Platform
