#pragma once
// The text a change notice travels as between servers (a PostgreSQL NOTIFY
// payload, or the SQLite commit's hand-over): a small JSON object holding the
// notice and, for a presence, the connection it belongs to ("server:id"),
// which no client ever sees.
//
// DecodeNotice takes what another server wrote, once its seal has opened
// (NoticeSeal.h): it returns nothing for a text that is not such an object,
// names an event it does not know, or holds a text longer than MaxText.
#include "rpc/Messages.h"

#include <QByteArray>
#include <QString>
#include <optional>

struct TServerNotice {
    Rpc::TNotice Notice;
    QString Origin;  // presences only: whose presence it is
};

namespace NoticeText {
inline constexpr int MaxText = 256;
}

QByteArray EncodeNotice(const TServerNotice& notice);
std::optional<TServerNotice> DecodeNotice(const QByteArray& payload);
