#include "EpcisCommand.h"

#include "rtl/Exceptions.h"
#include "storage/Database.h"
#include "storage/Schema.h"

#include <QSaveFile>

#include <cstdio>

int ExportEpcisCommand(const TServerOptions& options)
{
    const TEpcisExport& exporting = *options.Export;
    TDatabase db(TDbConfig{options.Database});
    PrepareSchema(db);
    QSaveFile file(exporting.File);
    if (!file.open(QIODevice::WriteOnly))
        throw EConvertError(QStringLiteral("não foi possível criar %1: %2").arg(exporting.File, file.errorString()));
    int events = 0;
    {
        TScopedTransaction read(db, TScopedTransaction::TKind::Read);
        events = WriteEventDocument(db, options.EpcisNaming, exporting.Range, file);
    }
    if (!file.commit())
        throw EConvertError(QStringLiteral("não foi possível gravar %1: %2").arg(exporting.File, file.errorString()));
    std::fprintf(stdout, "%s\n",
                 QStringLiteral("appserver: %1 evento(s) de rastreio gravado(s) em %2")
                     .arg(events)
                     .arg(exporting.File)
                     .toUtf8()
                     .constData());
    return 0;
}
