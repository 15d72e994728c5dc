#include "AddressGroup.h"

QString AddressGroup(const QHostAddress& address)
{
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    if (v4)
        return QHostAddress(ip4).toString();
    Q_IPV6ADDR ip6 = address.toIPv6Address();
    for (int i = 8; i < 16; ++i)
        ip6[i] = 0;
    return QHostAddress(ip6).toString() + QLatin1String("/64");
}
