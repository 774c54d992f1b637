#pragma once
// The host's network adapters, in the role of the Windows adapter table:
// name (matched against capture interface names), interface type (6 = Ethernet)
// and physical address.

#include <QByteArray>
#include <QList>
#include <QString>

namespace Platform {

struct AdapterInfo
{
    QString name;
    QString description;
    int type = 0;       // 6 for Ethernet, as in the Windows table
    QByteArray mac;     // 6 bytes
};

constexpr int AdapterTypeEthernet = 6;

QList<AdapterInfo> readAdapterTable();

// The first Ethernet adapter whose name occurs (case-sensitively) in
// interfaceName gives its MAC; otherwise six zero bytes.
QByteArray findAdapterMac(const QList<AdapterInfo> &table, const QString &interfaceName);

} // namespace Platform
