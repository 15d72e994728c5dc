#pragma once
// The server's log on stderr: one line per call or connection event. Lines
// carry text a client chose (method names, refusals quoting its values), so
// each is made safe before it is written: control characters are escaped
// (a newline inside a value never starts a line of its own) and a line is
// cut at MaxLogLine characters, marked as cut. Safe from any thread.
//
// Two formats (SetLogFormat, once at start): text, a line as people read
// it; or JSON, one object per line whose fields a site's tools read (time,
// level, event, connection, address, user, method, duration, outcome,
// message; docs/appserver.md, "Metrics"). In JSON every value is a JSON
// string or number as QJsonDocument writes it, each text cut at MaxLogLine
// characters, and the characters LogSafe escapes are \u escapes there too,
// so no value can break or disguise its line.
#include "RateLimit.h"

#include <QHash>
#include <QString>

constexpr int MaxLogLine = 1000;

// The text as it goes into one log line (escaped, bounded, no newline).
QString LogSafe(const QString& text);

enum class TLogFormat { Text, Json };
void SetLogFormat(TLogFormat format);

// One event of the log. Message is the whole text line of the text format;
// the other fields, where known, are what JSON adds.
struct TLogEntry {
    QString Event = QStringLiteral("server");  // "call", "connection", "server"
    QString Level = QStringLiteral("info");    // "info", "warning", "error"
    QString Message;
    quint64 Connection = 0;  // 0: none
    QString Address;
    QString User;
    QString Method;        // module.method
    qint64 DurationMs = -1;  // -1: none
    QString Outcome;

    // The entry's JSON object, one line without its newline.
    QByteArray Json(qint64 nowMsSinceEpoch) const;
};

// Writes the entry in the format set, and a newline.
void Log(const TLogEntry& entry);

// Who a call or connection line is about.
struct TLogPeer {
    quint64 Connection = 0;
    QString Address;
    QString User;
};

// Writes LogSafe(line) and a newline.
void LogLine(const QString& line);

// Writes "module.method N ms outcome" as one line (event "call"; level
// "error" for an outcome starting "falha", "warning" for "recusado").
void LogCall(const QString& module, const QString& method, qint64 ms, const QString& outcome, const TLogPeer& peer = {});

// Lines about clients that have not logged in (closed before their hello, a
// failed handshake, a wrong password), which anyone who reaches the port can
// cause: each address group may write BurstLines at once and one more every
// RefillMs; what it writes beyond that is dropped and counted, and the count
// is written before its next line that passes (the lines of groups beyond
// the ones followed are counted together, as "outros endereços").
// Not thread-safe: the server writes them from its event loop's thread.
class TPreLoginLog {
public:
    static constexpr int BurstLines = 20;
    static constexpr qint64 RefillMs = 3000;

    void Write(const QString& group, const TLogEntry& entry, qint64 nowMs);
    void Write(const QString& group, const QString& line, qint64 nowMs);

private:
    TRateLimit rate_{BurstLines, RefillMs};
    QHash<QString, qint64> dropped_;  // "" for the groups not followed
};
