#pragma once
// The change notices of the rules and the two methods a station uses to
// hear them (docs/protocol.md, "Notices"):
//
//   AssinaAvisos(branch, user, station, invoice)  subscribes this connection
//       to the branch's notices as `station`, present in the reading window
//       of `invoice` ("" for none); the payload lists the other stations
//       present there, [[user, station]...]. Called again, it replaces the
//       subscription.
//   IdentificaEstacao(user, station)  names the station (and its user) that
//       the changes made on this connection come from, for their notices.
//
// Both work only on a connection that agreed "notices"; elsewhere they are
// refused. A station's name is 1 to 64 characters, a user's 0 to 64, neither
// with control characters. On a server with accounts the user is the
// authenticated one, whatever the call says.
//
// (10) Every change publishes its notice in its own transaction: readings
//      stored and deleted with the item's readings after the change,
//      confirmations with the invoice alone; a refused or failed change
//      publishes nothing.
#include "storage/Database.h"
#include "transport/Dispatcher.h"

#include <QString>
#include <optional>

void PublishChange(TDatabase& db, const QString& event, const QString& branch, const QString& invoice,
                   const QString& product = QString(), std::optional<double> count = std::nullopt);

// The readings of an invoice's product, as a notice's count.
double ReadingsOf(TDatabase& db, const QString& branch, const QString& invoice, const QString& product);

void AddNoticeMethods(TModule& module);
