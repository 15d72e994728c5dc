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
// Failures raise EDatabaseError with the database's message; the module is
// then closed.
#include "rtl/Classes.h"

#include <QSqlDatabase>
#include <QString>

class TdtmDBGeral : public TComponent {
public:
    explicit TdtmDBGeral(TComponent* owner = nullptr);
    ~TdtmDBGeral() override;

    void Open();
    void Close();
    bool Connected() const;

    // The connection (valid once opened; closed after Close).
    QSqlDatabase adcGeral() const;
    const QString& ConnectionName() const { return connectionName_; }
    // The database and transaction of the other access path: components with
    // their names and nothing more, for the compositions that link them.
    TComponent* dtbGeral;
    TComponent* ibtGeral;

private:
    QString connectionName_;
};

extern TdtmDBGeral* dtmDBGeral;

// Whether a database path is a PostgreSQL URI rather than a SQLite file.
bool IsPostgresUri(const QString& path);
