#include "ServerLog.h"

#include <QMutex>
#include <cstdio>

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
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029
                 || c.category() == QChar::Other_Format)
            line += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            line += c;
    }
    if (i < text.size())
        line += QStringLiteral("… (linha cortada: mais %1 caracteres)").arg(text.size() - i);
    return line;
}

void LogLine(const QString& line)
{
    static QMutex mutex;
    const QByteArray bytes = (LogSafe(line) + u'\n').toUtf8();
    QMutexLocker lock(&mutex);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void LogCall(const QString& module, const QString& method, qint64 ms, const QString& outcome)
{
    // Joined, not formatted: a method name or outcome may hold "%1" itself.
    LogLine(module + u'.' + method + u' ' + QString::number(ms) + QLatin1String(" ms ") + outcome);
}

void TPreLoginLog::Write(const QString& group, const QString& line, qint64 nowMs)
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
    LogLine(line);
}
