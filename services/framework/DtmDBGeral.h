#pragma once
// TdtmDBGeral: the host's shared data module, the one database connection of
// the host. The host creates one at start and opens it; queries of the
// screens run on its connection `adcGeral`.
//
// The first module created becomes the process-wide `dtmDBGeral`, until it
// is destroyed. The module owns its connection: Open adds it under a name no
// other connection has, the destructor closes and removes it. Queries refer
// to the connection by that name only, so none of them keeps it alive.
//
// Open reads the database path from the host's settings (Varneth) and opens
// the database the application server uses: a SQLite file, on which it
// registers the functions the generic query texts need (SqliteFunctions.h),
// or a PostgreSQL URI (postgresql://user@host:port/dbname, through QPSQL),
// whose schema provides them. A missing file is refused rather than created
// empty, so a wrong path shows at once.
//
// On a networked site the station holds no database login: its path is
// "appserver:" (IsAppServerDatabase), and Open opens, instead of a database,
// a connection to the application server's "Servidor.rdmConsulta" (the
// server of the host's settings, with their security and alternates). The
// queries on this module's connection then run there (RemoteQuery): the
// server runs only the texts it knows (server/KnownQueries.h) and returns
// only the rows of the branches the station's user works on.
// Failures raise EDatabaseError with the database's message; the module is
// then closed.
#include "data/DataPacket.h"
#include "rtl/Classes.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>

class TNetConnection;

class TdtmDBGeral : public TComponent {
public:
    explicit TdtmDBGeral(TComponent* owner = nullptr);
    ~TdtmDBGeral() override;

    void Open();
    void Close();
    bool Connected() const;
    // Whether the queries run through the application server ("appserver:").
    bool Remote() const { return remote_ != nullptr; }
    // Runs `text` with `params` (one row, one field per parameter) on the
    // application server; the rows it answers. Raises EServerError when the
    // server refuses it, EConnectionError when it cannot be reached.
    TDataPacket RemoteQuery(const QString& text, const TDataPacket& params);

    // The connection (valid once opened; closed after Close).
    QSqlDatabase adcGeral() const;
    const QString& ConnectionName() const { return connectionName_; }
    // The database and transaction of the other access path: components with
    // their names and nothing more, for the compositions that link them.
    TComponent* dtbGeral;
    TComponent* ibtGeral;

private:
    QString connectionName_;
    std::unique_ptr<TNetConnection> remote_;  // set by Open on "appserver:"
};

extern TdtmDBGeral* dtmDBGeral;

// Whether a database path is a PostgreSQL URI rather than a SQLite file.
bool IsPostgresUri(const QString& path);
// Whether a database path says the queries go through the application server.
bool IsAppServerDatabase(const QString& path);
