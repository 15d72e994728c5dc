#include "ServerLog.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <atomic>
#include <cstdio>

namespace {

std::atomic<TLogFormat> format{TLogFormat::Text};

// What would display as something other than itself: the controls, the
// line and paragraph separators, and the format characters.
bool Disguising(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029 || c.category() == QChar::Other_Format;
}

// `text` cut at MaxLogLine characters, marked as cut.
QString Bounded(const QString& text)
{
    if (text.size() <= MaxLogLine)
        return text;
    return text.left(MaxLogLine) + QStringLiteral("… (linha cortada: mais %1 caracteres)").arg(text.size() - MaxLogLine);
}

void Write(const QByteArray& line)
{
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fwrite("\n", 1, 1, stderr);
    std::fflush(stderr);
}

} // namespace

QString LogSafe(const QString& text)
{
    QString line;
    line.reserve(std::min<qsizetype>(text.size(), MaxLogLine) + 16);
    qsizetype i = 0;
    for (; i < text.size() && line.size() < MaxLogLine; ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (u == u'\n')
            line += QLatin1String("\\n");
        else if (u == u'\r')
            line += QLatin1String("\\r");
        else if (u == u'\t')
            line += QLatin1String("\\t");
        else if (u == u'\\')
            line += QLatin1String("\\\\");
        // Format characters (direction controls such as U+202E, zero-width
        // joiners) would make a line display as something else.
        else if (Disguising(c))
            line += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            line += c;
    }
    if (i < text.size())
        line += QStringLiteral("… (linha cortada: mais %1 caracteres)").arg(text.size() - i);
    return line;
}

void SetLogFormat(TLogFormat chosen)
{
    format = chosen;
}

QByteArray TLogEntry::Json(qint64 nowMsSinceEpoch) const
{
    QJsonObject object{{QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(nowMsSinceEpoch, Qt::UTC)
                                                    .toString(Qt::ISODateWithMs)},
                       {QStringLiteral("level"), Level},
                       {QStringLiteral("event"), Event},
                       {QStringLiteral("message"), Bounded(Message)}};
    if (Connection != 0)
        object.insert(QStringLiteral("connection"), qint64(Connection));
    for (const auto& [key, value] : {std::pair{QStringLiteral("address"), &Address},
                                     std::pair{QStringLiteral("user"), &User},
                                     std::pair{QStringLiteral("method"), &Method},
                                     std::pair{QStringLiteral("outcome"), &Outcome}})
        if (!value->isEmpty())
            object.insert(key, Bounded(*value));
    if (DurationMs >= 0)
        object.insert(QStringLiteral("duration_ms"), DurationMs);
    // QJsonDocument escapes quotes, backslashes and C0 controls; the other
    // disguising characters, which it writes as they are, can only be inside
    // strings, where a \u escape means the same character.
    const QString json = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    QString line;
    line.reserve(json.size());
    for (const QChar c : json) {
        if (Disguising(c))
            line += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line.toUtf8();
}

void Log(const TLogEntry& entry)
{
    if (format == TLogFormat::Json)
        Write(entry.Json(QDateTime::currentMSecsSinceEpoch()));
    else
        Write(LogSafe(entry.Message).toUtf8());
}

void LogLine(const QString& line)
{
    TLogEntry entry;
    entry.Message = line;
    Log(entry);
}

void LogCall(const QString& module, const QString& method, qint64 ms, const QString& outcome, const TLogPeer& peer)
{
    TLogEntry entry;
    entry.Event = QStringLiteral("call");
    if (outcome.startsWith(QLatin1String("falha")))
        entry.Level = QStringLiteral("error");
    else if (outcome.startsWith(QLatin1String("recusado")))
        entry.Level = QStringLiteral("warning");
    // Joined, not formatted: a method name or outcome may hold "%1" itself.
    entry.Message = module + u'.' + method + u' ' + QString::number(ms) + QLatin1String(" ms ") + outcome;
    entry.Connection = peer.Connection;
    entry.Address = peer.Address;
    entry.User = peer.User;
    entry.Method = module + u'.' + method;
    entry.DurationMs = ms;
    entry.Outcome = outcome;
    Log(entry);
}

void TPreLoginLog::Write(const QString& group, const QString& line, qint64 nowMs)
{
    TLogEntry entry;
    entry.Event = QStringLiteral("connection");
    entry.Message = line;
    Write(group, entry, nowMs);
}

void TPreLoginLog::Write(const QString& group, const TLogEntry& entry, qint64 nowMs)
{
    if (!rate_.Take(group, nowMs)) {
        if (dropped_.size() < TRateLimit::MaxKeys || dropped_.contains(group))
            ++dropped_[group];
        else
            ++dropped_[QString()];
        return;
    }
    for (const QString& key : {group, QString()}) {
        if (const qint64 count = dropped_.take(key))
            LogLine(QStringLiteral("(%1 linha(s) de %2 omitidas)")
                        .arg(count)
                        .arg(key.isEmpty() ? QStringLiteral("outros endereços") : key));
    }
    Log(entry);
}
