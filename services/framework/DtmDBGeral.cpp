#include "DtmDBGeral.h"

#include "SqliteFunctions.h"
#include "Varneth.h"

#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"

#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QStringList>
#include <QUrlQuery>

#include <atomic>

TdtmDBGeral* dtmDBGeral = nullptr;

namespace {
std::atomic<int> modules{0};

// How long a statement waits for the application server's write lock on the
// shared file before SQLite reports the database as busy.
constexpr char sqliteOptions[] = "QSQLITE_BUSY_TIMEOUT=5000";

// A PostgreSQL URI as the QPSQL driver takes it: what the URI leaves out
// comes from the PG environment variables; its query items (?host=/run/x)
// become connection options.
void ConfigurePostgres(QSqlDatabase& db, const QString& uri)
{
    const QUrl url(uri);
    db.setHostName(url.host());
    if (url.port() > 0)
        db.setPort(url.port());
    db.setUserName(url.userName());
    db.setPassword(url.password());
    db.setDatabaseName(url.path().mid(1));
    QStringList options;
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        options << key + u'=' + value;
    db.setConnectOptions(options.join(u';'));
}
} // namespace

bool IsAppServerDatabase(const QString& path)
{
    return path == QLatin1String("appserver:");
}

bool IsPostgresUri(const QString& path)
{
    return path.startsWith(QLatin1String("postgresql://")) || path.startsWith(QLatin1String("postgres://"));
}

TdtmDBGeral::TdtmDBGeral(TComponent* owner)
    : TComponent(owner)
    , dtbGeral(new TComponent(this))
    , ibtGeral(new TComponent(this))
    , connectionName_(QStringLiteral("dtmDBGeral.adcGeral.%1").arg(++modules))
{
    SetName(QStringLiteral("dtmDBGeral"));
    dtbGeral->SetName(QStringLiteral("dtbGeral"));
    ibtGeral->SetName(QStringLiteral("ibtGeral"));
    if (!dtmDBGeral)
        dtmDBGeral = this;
}

TdtmDBGeral::~TdtmDBGeral()
{
    remote_.reset();
    if (dtmDBGeral == this)
        dtmDBGeral = nullptr;
    if (QSqlDatabase::contains(connectionName_)) {
        QSqlDatabase::database(connectionName_, false).close();
        QSqlDatabase::removeDatabase(connectionName_);
    }
}

QSqlDatabase TdtmDBGeral::adcGeral() const { return QSqlDatabase::database(connectionName_, false); }

bool TdtmDBGeral::Connected() const { return remote_ ? remote_->Connected() : adcGeral().isOpen(); }

void TdtmDBGeral::Close()
{
    if (remote_)
        remote_->Close();
    adcGeral().close();
}

TDataPacket TdtmDBGeral::RemoteQuery(const QString& text, const TDataPacket& params)
{
    if (!remote_)
        throw EDatabaseError(QStringLiteral("%1: sem conexão com o servidor de aplicação.").arg(Name()));
    const QVariant rows =
        Consiste::CheckResultServ(remote_->AppServer().Call(Remote::Consultar, {text, params}), true, 0);
    if (!rows.canConvert<TDataPacket>() || rows.metaType() != QMetaType::fromType<TDataPacket>())
        throw EServerError(QStringLiteral("Resposta inválida do servidor de aplicação a %1.").arg(Remote::Consultar));
    return rows.value<TDataPacket>();
}

void TdtmDBGeral::Open()
{
    if (Connected())
        return;
    const QString path = Varneth::DatabasePath();
    if (IsAppServerDatabase(path)) {
        if (!remote_) {
            remote_ = std::make_unique<TNetConnection>();
            remote_->SetServerName(Remote::Consulta);
        }
        remote_->SetHost(Varneth::WebURL());
        remote_->SetPort(Varneth::WebPort());
        remote_->Open();
        // The name the queries refer to (adcGeral), never opened: theirs run
        // on the application server.
        if (!QSqlDatabase::contains(connectionName_))
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
        return;
    }
    remote_.reset();
    const bool postgres = IsPostgresUri(path);
    if (!postgres && !QFileInfo(path).isFile())
        throw EDatabaseError(QStringLiteral("Banco de dados '%1' não encontrado.").arg(path));

    const QString driver = postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (QSqlDatabase::contains(connectionName_) && adcGeral().driverName() != driver)
        QSqlDatabase::removeDatabase(connectionName_);
    QSqlDatabase db = QSqlDatabase::contains(connectionName_)
                          ? QSqlDatabase::database(connectionName_, false)
                          : QSqlDatabase::addDatabase(driver, connectionName_);
    if (!db.isValid())
        throw EDatabaseError(postgres ? QStringLiteral("O acesso a bancos PostgreSQL não está instalado (QPSQL).")
                                      : QStringLiteral("O acesso a bancos SQLite não está instalado (QSQLITE)."));
    if (postgres) {
        ConfigurePostgres(db, path);
    } else {
        db.setDatabaseName(path);
        db.setConnectOptions(QString::fromLatin1(sqliteOptions));
    }
    if (!db.open())
        throw EDatabaseError(QStringLiteral("Não foi possível abrir o banco de dados '%1': %2")
                                 .arg(path, db.lastError().databaseText()));
    if (postgres)
        return;  // the database itself provides NVL (the server's schema)
    try {
        RegisterSqliteFunctions(db);
    } catch (...) {
        db.close();
        throw;
    }
}
