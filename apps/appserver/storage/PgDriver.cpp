#include "PgDriver.h"

#include "PgWait.h"
#include "metrics/ServerMetrics.h"
#include "rtl/Exceptions.h"

#include <libpq-fe.h>

#include <arpa/inet.h>

#include <charconv>
#include <functional>
#include <utility>
#include <vector>

namespace {

QString ErrorText(const char* what, const char* message)
{
    return QStringLiteral("Erro no banco de dados (%1): %2").arg(QString::fromUtf8(what), QString::fromUtf8(message).trimmed());
}

[[noreturn]] void Fail(const char* what, const char* message)
{
    throw EDatabaseError(ErrorText(what, message));
}

// A result that clears itself.
struct TResult {
    PGresult* result = nullptr;
    explicit TResult(PGresult* r = nullptr) : result(r) {}
    ~TResult() { PQclear(result); }
    TResult(const TResult&) = delete;
    TResult(TResult&& other) noexcept : result(std::exchange(other.result, nullptr)) {}
    TResult& operator=(TResult&& other) noexcept
    {
        std::swap(result, other.result);
        return *this;
    }
    // Raises unless the statement ran. `lost` is set when the link is gone.
    void Check(PGconn* conn, const char* what, bool& lost) const
    {
        const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
            return;
        const char* message = result ? PQresultErrorMessage(result) : PQerrorMessage(conn);
        const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        // The server ending the session (shut down, crashed) says so before
        // it closes the link, and an error without a state is libpq's own
        // (the link closed under it): either way the link is lost, though
        // libpq may not have marked it so yet.
        const bool ending = !state || qstrncmp(state, "57P0", 4) == 0 || qstrncmp(state, "08", 2) == 0;
        if (PQstatus(conn) != CONNECTION_OK || ending) {
            Metrics::Server().StatementFailures.Add({Metrics::Postgres, u"lost"});
            lost = true;
            throw EDatabaseLost(QStringLiteral("Erro no banco de dados: a conexão com o PostgreSQL foi perdida. "
                                               "A próxima operação abre uma nova conexão."),
                                QString::fromUtf8(message).trimmed());
        }
        const bool deadlock = state && qstrcmp(state, "40P01") == 0;
        const bool serialization = state && qstrcmp(state, "40001") == 0;
        Metrics::Server().StatementFailures.Add(
            {Metrics::Postgres, deadlock ? u"deadlock" : serialization ? u"serialization" : u"error"});
        if (deadlock || serialization)
            throw EDatabaseConflict(ErrorText(what, message));
        Fail(what, message);
    }
};

// One libpq connection's link as its statements share it: every exchange
// waits for the answer at most TimeoutMs (0: as long as the link stays up);
// past it, or once the link has broken, the link is lost for good.
struct TPgLinkState {
    PGconn* Conn = nullptr;
    int TimeoutMs = 0;
    bool Lost = false;  // a statement found the link gone or silent

    // Runs what `send` sends and returns its result, checked (TResult).
    TResult Run(const std::function<int(PGconn*)>& send, const char* what)
    {
        if (Lost)
            throw EDatabaseLost(QStringLiteral("Erro no banco de dados: a conexão com o PostgreSQL foi perdida. "
                                               "A próxima operação abre uma nova conexão."),
                                QStringLiteral("link dropped earlier"));
        bool timedOut = false;
        TResult result(PgExecBounded(Conn, send, TimeoutMs, timedOut));
        if (timedOut) {
            Lost = true;
            throw EDatabaseLost(QStringLiteral("Erro no banco de dados: o PostgreSQL não respondeu em %1 s. "
                                               "A próxima operação abre uma nova conexão.")
                                    .arg(TimeoutMs / 1000.0),
                                QStringLiteral("no answer within %1 ms (%2)").arg(TimeoutMs).arg(QString::fromUtf8(what)));
        }
        result.Check(Conn, what, Lost);
        return result;
    }
};

class TPgStatement final : public TStatement {
public:
    TPgStatement(TPgLinkState& link, QByteArray name, const QByteArray& sql)
        : link_(link)
        , name_(std::move(name))
    {
        link_.Run([&](PGconn* c) { return PQsendPrepare(c, name_.constData(), sql.constData(), 0, nullptr); },
                  "preparação");
        const TResult described =
            link_.Run([&](PGconn* c) { return PQsendDescribePrepared(c, name_.constData()); }, "preparação");
        values_.resize(size_t(PQnparams(described.result)));
        nulls_.assign(values_.size(), true);
    }
    ~TPgStatement() override
    {
        if (PQstatus(link_.Conn) != CONNECTION_OK || link_.Lost)
            return;
        try {
            const QByteArray deallocate = "DEALLOCATE " + name_;
            link_.Run([&](PGconn* c) { return PQsendQuery(c, deallocate.constData()); }, "DEALLOCATE");
        } catch (const EDatabaseError&) {
            // The connection is going, or gone; so is the statement.
        }
    }

    void BindNull(int index) override { nulls_.at(size_t(index - 1)) = true; }
    void BindText(int index, QByteArrayView utf8) override { Set(index, utf8.toByteArray()); }
    void BindNumber(int index, double value) override { Set(index, QByteArray::number(value, 'g', 17)); }

    void Execute() override
    {
        std::vector<const char*> pointers(values_.size());
        for (size_t i = 0; i < values_.size(); ++i)
            pointers[i] = nulls_[i] ? nullptr : values_[i].constData();
        result_ = link_.Run(
            [&](PGconn* c) {
                return PQsendQueryPrepared(c, name_.constData(), int(pointers.size()), pointers.data(), nullptr,
                                           nullptr, 0);
            },
            "execução");
        rows_ = PQntuples(result_.result);
        row_ = -1;
    }
    bool Step() override { return ++row_ < rows_; }
    bool IsNull(int column) const override { return PQgetisnull(result_.result, row_, column); }
    QByteArrayView Utf8(int column) const override
    {
        if (IsNull(column))
            return QByteArrayView();
        return QByteArrayView(PQgetvalue(result_.result, row_, column), PQgetlength(result_.result, row_, column));
    }
    // Numbers come as text; from_chars reads them whatever the C locale.
    double Number(int column) const override
    {
        const QByteArrayView text = Utf8(column);
        double value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
    }
    qint64 RowsAffected() const override { return QByteArray(PQcmdTuples(result_.result)).toLongLong(); }
    void Close() override
    {
        result_ = TResult();
        rows_ = 0;
    }

private:
    void Set(int index, QByteArray value)
    {
        values_.at(size_t(index - 1)) = std::move(value);
        nulls_[size_t(index - 1)] = false;
    }

    TPgLinkState& link_;  // the connection's
    QByteArray name_;
    std::vector<QByteArray> values_;
    std::vector<bool> nulls_;
    TResult result_;
    int rows_ = 0;
    int row_ = -1;
};

class TPgConnection final : public TConnection {
public:
    // The handle is closed however the constructor ends.
    TPgConnection(const QString& conninfo, int timeoutMs) : conn_(PQconnectdb(conninfo.toUtf8().constData()), PQfinish)
    {
        link_.Conn = conn_.get();
        link_.TimeoutMs = timeoutMs;
        if (PQstatus(conn()) != CONNECTION_OK)
            throw EDatabaseError(QStringLiteral("Erro no banco de dados (conexão ao PostgreSQL): %1")
                                     .arg(QString::fromUtf8(PQerrorMessage(conn())).trimmed()));
        if (PQsetClientEncoding(conn(), "UTF8") != 0)
            Fail("codificação", PQerrorMessage(conn()));
        Execute("SET DateStyle = ISO; SET client_min_messages = WARNING");
    }

    TEngine Engine() const override { return TEngine::Postgres; }
    std::unique_ptr<TStatement> Prepare(const QByteArray& sql) override
    {
        return std::make_unique<TPgStatement>(link_, "s" + QByteArray::number(++statements_), sql);
    }
    void Execute(const QByteArray& sql) override
    {
        link_.Run([&](PGconn* c) { return PQsendQuery(c, sql.constData()); }, sql.left(40).constData());
    }
    bool Broken() const override { return link_.Lost || PQstatus(conn()) != CONNECTION_OK; }

    PGconn* conn() const { return conn_.get(); }

private:
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn_;
    TPgLinkState link_;
    quint64 statements_ = 0;
};

} // namespace

QString PgUriWith(const QString& uri, std::initializer_list<const char*> options)
{
    QString with = uri;
    for (const char* option : options) {
        const QString setting = QString::fromLatin1(option);
        if (uri.contains(setting.left(setting.indexOf(u'=') + 1)))
            continue;
        with += (with.contains(u'?') ? u'&' : u'?') + setting;
    }
    return with;
}

QString PgBoundedUri(const QString& uri)
{
    return PgUriWith(uri, {"connect_timeout=3", "keepalives_idle=5", "keepalives_interval=2", "keepalives_count=3",
                           "tcp_user_timeout=15000"});
}

std::unique_ptr<TConnection> OpenPostgres(const QString& conninfo, int statementTimeoutMs)
{
    return std::make_unique<TPgConnection>(PgBoundedUri(conninfo), statementTimeoutMs);
}

namespace {

PGconn* PgConn(TConnection& connection)
{
    auto* pg = dynamic_cast<TPgConnection*>(&connection);
    if (!pg)
        throw EDatabaseError(QStringLiteral("Erro no banco de dados: a operação exige um banco PostgreSQL."));
    return pg->conn();
}

} // namespace

TPgLink PgLinkOf(TConnection& connection)
{
    PGconn* conn = PgConn(connection);
    TPgLink link{QString::fromUtf8(PQhost(conn)), QString::fromUtf8(PQhostaddr(conn)), QString(),
                 QString::fromUtf8(PQport(conn))};
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(PQconninfo(conn), PQconninfoFree);
    for (const PQconninfoOption* option = options.get(); option && option->keyword; ++option)
        if (qstrcmp(option->keyword, "sslmode") == 0 && option->val)
            link.SslMode = QString::fromUtf8(option->val);
    return link;
}

namespace {

// 127.0.0.0/8, ::1, or 127/8 mapped into IPv6. The storage links no network
// library, so the address is read with the C library's inet_pton.
bool LoopbackAddress(const QString& text)
{
    const QByteArray address = text.toLatin1();
    in_addr v4 = {};
    if (inet_pton(AF_INET, address.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6 = {};
    if (inet_pton(AF_INET6, address.constData(), &v6) != 1)
        return false;
    return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
}

} // namespace

bool PgLinkTrusted(const TPgLink& link)
{
    // libpq names a Unix socket by its folder (or "@name" for Linux's abstract
    // namespace) and leaves its address empty.
    const bool socket = link.Host.startsWith(u'/') || link.Host.startsWith(u'@');
    return socket || LoopbackAddress(link.Address) || link.SslMode == QLatin1String("verify-full")
           || link.SslMode == QLatin1String("verify-ca");
}

QByteArray PgPasswordVerifier(TConnection& connection, const QByteArray& role, const QByteArray& password)
{
    PGconn* conn = PgConn(connection);
    std::unique_ptr<char, decltype(&PQfreemem)> verifier(
        PQencryptPasswordConn(conn, password.constData(), role.constData(), nullptr), PQfreemem);
    if (!verifier)
        Fail("senha", PQerrorMessage(conn));
    return QByteArray(verifier.get());
}
