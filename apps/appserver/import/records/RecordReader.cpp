#include "RecordReader.h"

TRecordReader::TRecordReader(const TImportTable& table, QIODevice& device, TProblems& problems)
    : table_(table)
    , problems_(problems)
    , csv_(device)
    , file_(QString::fromLatin1(table.File))
    , present_(table.Columns.size(), false)
{
}

void TRecordReader::Report(qint64 line, const QString& column, const QString& problem)
{
    problems_.Add(file_, line, column, problem);
}

bool TRecordReader::Open()
{
    TCsvRecord header;
    if (!csv_.Next(header)) {
        Report(csv_.ErrorLine(), QString(),
               csv_.Error().isEmpty() ? QStringLiteral("arquivo vazio: falta a linha de cabeçalho com os nomes das colunas")
                                      : csv_.Error());
        ended_ = true;
        return false;
    }
    bool good = true;
    for (qsizetype i = 0; i < header.Fields.size(); ++i) {
        const QByteArray name = header.Fields[i].trimmed().toUpper();
        const int index = table_.ColumnIndex(name);
        positions_ << index;
        if (index < 0) {
            Report(header.Line, QString(),
                   QStringLiteral("coluna desconhecida no cabeçalho: \"%1\"").arg(QString::fromUtf8(header.Fields[i])));
            good = false;
        } else if (present_[index]) {
            Report(header.Line, QString(), QStringLiteral("coluna repetida no cabeçalho: %1").arg(QString::fromUtf8(name)));
            good = false;
        } else {
            present_[index] = true;
        }
    }
    for (qsizetype i = 0; i < table_.Columns.size(); ++i) {
        if (table_.Columns[i].Required && !present_[i]) {
            Report(header.Line, QString(),
                   QStringLiteral("falta a coluna obrigatória %1 no cabeçalho").arg(QLatin1String(table_.Columns[i].Name)));
            good = false;
        }
    }
    ended_ = !good;
    return good;
}

bool TRecordReader::Next(TCheckedRecord& record)
{
    TCsvRecord raw;
    while (!ended_) {
        if (!csv_.Next(raw)) {
            ended_ = true;
            if (!csv_.Error().isEmpty())
                Report(csv_.ErrorLine(), QString(), csv_.Error());
            return false;
        }
        ++records_;
        if (Check(raw, record))
            return true;
    }
    return false;
}

bool TRecordReader::Check(const TCsvRecord& raw, TCheckedRecord& record)
{
    if (raw.Fields.size() != positions_.size()) {
        Report(raw.Line, QString(),
               QStringLiteral("o registro tem %1 campos e o cabeçalho %2").arg(raw.Fields.size()).arg(positions_.size()));
        return false;
    }
    if (raw.BadUtf8Field >= 0) {
        Report(raw.Line, QLatin1String(table_.Columns[positions_[raw.BadUtf8Field]].Name),
               QStringLiteral("bytes que não são UTF-8 (salve o arquivo como UTF-8)"));
        return false;
    }
    record.Line = raw.Line;
    record.Values.resize(table_.Columns.size());
    for (qsizetype i = 0; i < table_.Columns.size(); ++i) {
        if (present_[i])
            continue;
        const char* fallback = table_.Columns[i].Default;
        record.Values[i] = fallback ? TFieldValue{TFieldValue::TKind::Text, QByteArray(fallback), 0} : TFieldValue();
    }
    bool good = true;
    QString problem;
    for (qsizetype f = 0; f < raw.Fields.size(); ++f) {
        const int c = positions_[f];
        if (!ParseField(table_.Columns[c], raw.Fields[f], record.Values[c], problem)) {
            Report(raw.Line, QLatin1String(table_.Columns[c].Name), problem);
            good = false;
        }
    }
    // A person's registration is a CPF, a company's a CNPJ.
    const int kind = table_.ColumnIndex("IDTPIJURCLIE"), number = table_.ColumnIndex("NRINSJURCLIE");
    if (good && kind >= 0 && number >= 0) {
        const bool company = record.Values[kind].Text == "J";
        if ((record.Values[number].Text.size() == 14) != company) {
            Report(raw.Line, QStringLiteral("NRINSJURCLIE"),
                   company ? QStringLiteral("cliente pessoa jurídica (J) precisa de CNPJ, não de CPF")
                           : QStringLiteral("cliente pessoa física (F) precisa de CPF, não de CNPJ"));
            good = false;
        }
    }
    return good;
}
