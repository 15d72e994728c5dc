#include "DtmDBGeral.h"

#include "SqliteFunctions.h"
#include "Varneth.h"

#include "rtl/Exceptions.h"

#include <QFileInfo>
#include <QSqlError>

#include <atomic>

TdtmDBGeral* dtmDBGeral = nullptr;

namespace {
std::atomic<int> modules{0};

// How long a statement waits for the application server's write lock on the
// shared file before SQLite reports the database as busy.
constexpr char sqliteOptions[] = "QSQLITE_BUSY_TIMEOUT=5000";
} // namespace

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
    if (dtmDBGeral == this)
        dtmDBGeral = nullptr;
    if (QSqlDatabase::contains(connectionName_)) {
        QSqlDatabase::database(connectionName_, false).close();
        QSqlDatabase::removeDatabase(connectionName_);
    }
}

QSqlDatabase TdtmDBGeral::adcGeral() const { return QSqlDatabase::database(connectionName_, false); }

bool TdtmDBGeral::Connected() const { return adcGeral().isOpen(); }

void TdtmDBGeral::Close() { adcGeral().close(); }

void TdtmDBGeral::Open()
{
    if (Connected())
        return;
    const QString path = Varneth::DatabasePath();
    if (!QFileInfo(path).isFile())
        throw EDatabaseError(QStringLiteral("Banco de dados '%1' não encontrado.").arg(path));

    QSqlDatabase db = QSqlDatabase::contains(connectionName_)
                          ? QSqlDatabase::database(connectionName_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    if (!db.isValid())
        throw EDatabaseError(QStringLiteral("O acesso a bancos SQLite não está instalado (QSQLITE)."));
    db.setDatabaseName(path);
    db.setConnectOptions(QString::fromLatin1(sqliteOptions));
    if (!db.open())
        throw EDatabaseError(QStringLiteral("Não foi possível abrir o banco de dados '%1': %2")
                                 .arg(path, db.lastError().databaseText()));
    try {
        RegisterSqliteFunctions(db);
    } catch (...) {
        db.close();
        throw;
    }
}
