#pragma once
// The server's log on stderr: one line per call or connection event. Lines
// carry text a client chose (method names, refusals quoting its values), so
// each is made safe before it is written: control characters are escaped
// (a newline inside a value never starts a line of its own) and a line is
// cut at MaxLogLine characters, marked as cut. Safe from any thread.
#include <QString>

constexpr int MaxLogLine = 1000;

// The text as it goes into one log line (escaped, bounded, no newline).
QString LogSafe(const QString& text);

// Writes LogSafe(line) and a newline.
void LogLine(const QString& line);

// Writes "module.method N ms outcome" as one line.
void LogCall(const QString& module, const QString& method, qint64 ms, const QString& outcome);
