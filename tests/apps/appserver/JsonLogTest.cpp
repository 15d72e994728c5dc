// The JSON log (--log-format json): one object per line that a site's tools
// read back as it was meant, whatever a client put into a user name or a
// message: no value breaks its line, forges a field or hides as another
// text.
#include "ServerSession.h"
#include "ServerSite.h"
#include "transport/ServerLog.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

// A name that tries everything: a quote closing its string and a forged
// field, a newline starting a forged line, a backslash, a direction
// override and a zero-width space, a line separator, a C1 control.
const QString hostile = QStringLiteral("ma\"ria\",\"level\":\"info\"}\n{\"event\":\"forjado\\") + QChar(0x202E)
                        + QChar(0x200B) + QChar(0x2028) + QChar(0x85) + QStringLiteral("fim");

// Whether `line` shows only what it is: no newline, and none of the
// characters the log escapes left as they are.
bool Undisguised(const QString& line)
{
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029 || c.category() == QChar::Other_Format)
            return false;
    }
    return true;
}

QJsonObject Parsed(const QByteArray& line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    return document.object();
}

TEST(JsonLog, HostileValuesStayInTheirFieldsOnOneLine)
{
    TLogEntry entry;
    entry.Event = QStringLiteral("call");
    entry.Level = QStringLiteral("warning");
    entry.Message = QStringLiteral("recusado: ") + hostile;
    entry.Connection = 7;
    entry.Address = QStringLiteral("127.0.0.1");
    entry.User = hostile;
    entry.Method = QStringLiteral("exp13000.rdmConfRastr.setLeituraIUM");
    entry.DurationMs = 12;
    entry.Outcome = hostile;
    const QByteArray line = entry.Json(0);
    EXPECT_TRUE(Undisguised(QString::fromUtf8(line))) << line.toStdString();
    const QJsonObject object = Parsed(line);
    EXPECT_EQ(object.value(QStringLiteral("user")).toString(), hostile) << "read back as it was";
    EXPECT_EQ(object.value(QStringLiteral("outcome")).toString(), hostile);
    EXPECT_EQ(object.value(QStringLiteral("message")).toString(), entry.Message);
    EXPECT_EQ(object.value(QStringLiteral("level")).toString(), QStringLiteral("warning")) << "not forged";
    EXPECT_EQ(object.value(QStringLiteral("event")).toString(), QStringLiteral("call"));
    EXPECT_EQ(object.value(QStringLiteral("connection")).toInteger(), 7);
    EXPECT_EQ(object.value(QStringLiteral("duration_ms")).toInteger(), 12);
    EXPECT_EQ(object.value(QStringLiteral("time")).toString(), QStringLiteral("1970-01-01T00:00:00.000Z"));
}

TEST(JsonLog, LongValuesAreCutAndSaySo)
{
    TLogEntry entry;
    entry.Message = QString(MaxLogLine + 10, u'x');
    const QString message = Parsed(entry.Json(0)).value(QStringLiteral("message")).toString();
    EXPECT_TRUE(message.startsWith(QString(MaxLogLine, u'x') + QStringLiteral("… (linha cortada: mais 10 caracteres)")))
        << message.toStdString();
}

// The real server: every line of its log is one object, and the wrong
// password of a hostile user name is one line with the name in its field.
TEST(JsonLog, TheServerWritesOneObjectALine)
{
    TServerSite site;
    TAppServerProcess server(
        TAppServerProcess::TOptions{1, true, 4, site.ServerArguments() + QStringList{QStringLiteral("--log-format"), QStringLiteral("json")}});
    auto good = Connect(server);
    good->SetSecurity(TNetConnection::TSecurity{true, site.Certificate(), QStringLiteral("maria"), TServerSite::Password});
    GetDados(*good, QStringLiteral("0001"));
    auto wrong = Connect(server);
    wrong->SetSecurity(TNetConnection::TSecurity{true, site.Certificate(), hostile, QStringLiteral("senha")});
    EXPECT_THROW(wrong->Open(), Exception);
    server.Stop();

    bool call = false, refusal = false;
    const QStringList lines = server.Log().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("appserver: ")))
            continue;  // the process's own start and stop, not the log
        EXPECT_TRUE(Undisguised(line)) << line.toStdString();
        const QJsonObject object = Parsed(line.toUtf8());
        for (const char* field : {"time", "level", "event", "message"})
            EXPECT_TRUE(object.contains(QLatin1String(field))) << field << ' ' << line.toStdString();
        if (object.value(QStringLiteral("method")).toString().endsWith(QLatin1String(".GetDados"))) {
            call = true;
            EXPECT_EQ(object.value(QStringLiteral("user")).toString(), QStringLiteral("maria"));
            EXPECT_EQ(object.value(QStringLiteral("address")).toString(), QStringLiteral("127.0.0.1"));
            EXPECT_GE(object.value(QStringLiteral("duration_ms")).toInteger(-1), 0);
        }
        if (object.value(QStringLiteral("user")).toString() == hostile) {
            refusal = true;
            EXPECT_EQ(object.value(QStringLiteral("event")).toString(), QStringLiteral("connection"));
        }
    }
    EXPECT_TRUE(call) << server.Log().toStdString();
    EXPECT_TRUE(refusal) << server.Log().toStdString();
}

} // namespace
