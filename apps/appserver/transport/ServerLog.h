#pragma once
// The server's log on stderr: one line per call or connection event. Lines
// carry text a client chose (method names, refusals quoting its values), so
// each is made safe before it is written: control characters are escaped
// (a newline inside a value never starts a line of its own) and a line is
// cut at MaxLogLine characters, marked as cut. Safe from any thread.
#include "RateLimit.h"

#include <QHash>
#include <QString>

constexpr int MaxLogLine = 1000;

// The text as it goes into one log line (escaped, bounded, no newline).
QString LogSafe(const QString& text);

// Writes LogSafe(line) and a newline.
void LogLine(const QString& line);

// Writes "module.method N ms outcome" as one line.
void LogCall(const QString& module, const QString& method, qint64 ms, const QString& outcome);

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

    void Write(const QString& group, const QString& line, qint64 nowMs);

private:
    TRateLimit rate_{BurstLines, RefillMs};
    QHash<QString, qint64> dropped_;  // "" for the groups not followed
};
