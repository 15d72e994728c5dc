#include "Outbox.h"

#include "EventDocument.h"

#include "rtl/Exceptions.h"

#include <QDateTime>
#include <QDir>
#include <QSaveFile>
#include <QUrl>

void RecordDueEvent(TDatabase& db, const QString& branch, const QString& invoice)
{
    TSql insert(db, QStringLiteral("INSERT INTO EPCISSAIDA (CDFILIAL, NRLANCTONF, DTREGISTRO)"
                                   " VALUES (:CDFILIAL, :NRLANCTONF, :DTREGISTRO)"));
    insert.Bind(QStringLiteral(":CDFILIAL"), branch)
        .Bind(QStringLiteral(":NRLANCTONF"), invoice)
        .Bind(QStringLiteral(":DTREGISTRO"), QDateTime::currentDateTime())
        .Exec();
}

QString OutboxFileName(const QString& branch, const QString& invoice)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(branch) + '-' + QUrl::toPercentEncoding(invoice) + ".jsonld");
}

TOutboxWriter::TOutboxWriter(TDbConfig config, QString folder, TEventNaming naming,
                             std::function<void(const QString&)> log)
    : config_(std::move(config)), folder_(std::move(folder)), naming_(std::move(naming)), log_(std::move(log)),
      thread_([this] { Loop(); })
{
}

TOutboxWriter::~TOutboxWriter()
{
    Stop();
}

void TOutboxWriter::Wake()
{
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wake_.notify_one();
}

void TOutboxWriter::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void TOutboxWriter::Loop()
{
    TDatabase db(config_, TDatabase::TOpen::Later);
    QString lastFailure;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(IntervalMs), [this] { return stopping_ || woken_; });
            if (stopping_)
                return;
            woken_ = false;
        }
        try {
            WriteDue(db);
            lastFailure.clear();
        } catch (const Exception& e) {
            // The database is away or failed: the events stay due for the next turn.
            if (e.Message() != lastFailure)
                log_(QStringLiteral("epcis: os eventos de rastreio aguardam o banco de dados: ") + e.Message());
            lastFailure = e.Message();
            if (db.Broken())
                db.DropBroken();
        }
    }
}

int TOutboxWriter::WriteDue(TDatabase& db)
{
    // The due events, oldest first; each is then claimed alone.
    QList<QPair<QString, QString>> due;
    {
        TScopedTransaction read(db, TScopedTransaction::TKind::Read);
        TSql query(db, QStringLiteral("SELECT CDFILIAL, NRLANCTONF FROM EPCISSAIDA WHERE DTGRAVACAO IS NULL"
                                      " ORDER BY DTREGISTRO, CDFILIAL, NRLANCTONF LIMIT 500"));
        query.Exec();
        while (query.Next())
            due.append({query.Text(0), query.Text(1)});
    }
    const QString skipLocked = db.Engine() == TEngine::Postgres ? QStringLiteral(" FOR UPDATE SKIP LOCKED") : QString();
    int written = 0;
    for (const auto& [branch, invoice] : due) {
        QString why;
        {
            TScopedTransaction claim(db, TScopedTransaction::TKind::Write);
            TSql lock(db, QStringLiteral("SELECT NRLANCTONF FROM EPCISSAIDA WHERE CDFILIAL = :CDFILIAL"
                                         " AND NRLANCTONF = :NRLANCTONF AND DTGRAVACAO IS NULL")
                              + skipLocked);
            lock.Bind(QStringLiteral(":CDFILIAL"), branch).Bind(QStringLiteral(":NRLANCTONF"), invoice).Exec();
            if (!lock.Next())
                continue;  // written meanwhile, or another server is writing it
            why = WriteFile(db, branch, invoice);
            if (why.isEmpty()) {
                TSql mark(db, QStringLiteral("UPDATE EPCISSAIDA SET DTGRAVACAO = :DTGRAVACAO, DSERRO = NULL"
                                             " WHERE CDFILIAL = :CDFILIAL AND NRLANCTONF = :NRLANCTONF"));
                mark.Bind(QStringLiteral(":DTGRAVACAO"), QDateTime::currentDateTime())
                    .Bind(QStringLiteral(":CDFILIAL"), branch)
                    .Bind(QStringLiteral(":NRLANCTONF"), invoice)
                    .Exec();
                claim.Commit();
                reasons_.remove(OutboxFileName(branch, invoice));
                ++written;
                continue;
            }
        }
        Failed(db, branch, invoice, why);
    }
    return written;
}

QString TOutboxWriter::WriteFile(TDatabase& db, const QString& branch, const QString& invoice)
{
    TInvoiceEvent event;
    try {
        event = LoadShippingEvent(db, naming_, branch, invoice);
    } catch (const EConvertError& e) {
        return e.Message();
    }
    QSaveFile file(QDir(folder_).filePath(OutboxFileName(branch, invoice)));
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("não foi possível criar o arquivo %1: %2").arg(file.fileName(), file.errorString());
    try {
        TEpcisDocumentWriter writer(file, QDateTime::currentDateTime());
        for (const TUnitMasterData& unit : event.Units)
            writer.AddUnit(unit);
        writer.AddEvent(event.Event);
        writer.Finish();
    } catch (const EConvertError& e) {
        file.cancelWriting();
        return e.Message();
    }
    if (!file.commit())
        return QStringLiteral("não foi possível gravar o arquivo %1: %2").arg(file.fileName(), file.errorString());
    return QString();
}

void TOutboxWriter::Failed(TDatabase& db, const QString& branch, const QString& invoice, const QString& why)
{
    // Said once, when the reason changes: every turn tries again.
    const QString name = OutboxFileName(branch, invoice);
    if (reasons_.value(name) == why)
        return;
    reasons_.insert(name, why);
    log_(QStringLiteral("epcis: o evento da nota fiscal %1 da filial %2 aguarda: %3").arg(invoice, branch, why));
    TScopedTransaction note(db, TScopedTransaction::TKind::Write);
    TSql update(db, QStringLiteral("UPDATE EPCISSAIDA SET DSERRO = :DSERRO WHERE CDFILIAL = :CDFILIAL"
                                   " AND NRLANCTONF = :NRLANCTONF AND DTGRAVACAO IS NULL"));
    update.Bind(QStringLiteral(":DSERRO"), why.left(500))
        .Bind(QStringLiteral(":CDFILIAL"), branch)
        .Bind(QStringLiteral(":NRLANCTONF"), invoice)
        .Exec();
    note.Commit();
}
