#pragma once
// The seal of a notice's text between servers (NoticeText.h): AES-256-GCM
// under the site's notice key, so that whoever can listen on, or notify to,
// the database's channel without being one of the site's servers neither
// reads a notice nor makes one that a server believes. The servers of one
// database share the key through the database itself (the table CHAVEAVISO,
// which the servers' role alone may read; storage/Schema.h, NoticeKey).
//
// Sealed: base64 of a random 12-byte nonce, the ciphertext and the 16-byte
// tag, which is plain ASCII (as a NOTIFY payload must be). OpenNotice gives
// nothing for a text that is not one, or was not sealed with this key, or
// was changed: it is to be dropped, never believed.
//
// The key is the process's: a random one until SetNoticeKey sets the site's
// (at start, before any notice; a SQLite server's notices never leave its
// process, so any key does there). Written by hand over OpenSSL's EVP
// interface, which the server links already: Qt offers no authenticated
// cipher.
#include <QByteArray>
#include <optional>

// Sets the key (NoticeKeyBytes bytes, storage/Schema.h) of every seal from now on; not thread-safe:
// called once at start, before the server serves.
void SetNoticeKey(const QByteArray& key);
QByteArray SealNotice(const QByteArray& text);
std::optional<QByteArray> OpenNotice(const QByteArray& sealed);
