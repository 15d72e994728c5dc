#pragma once
// The unit the server's per-address limits count by: an IPv4 address (also
// written as IPv6, ::ffff:a.b.c.d) is itself; an IPv6 address is its /64
// network, since one host may take any address of its network.
#include <QHostAddress>
#include <QString>

QString AddressGroup(const QHostAddress& address);
