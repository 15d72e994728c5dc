// The import's reading of a file (records/RecordReader.h), through the same
// code `appserver --import` runs before anything reaches the database. The
// input's first byte picks the table, the rest is its file. Every record
// handed out has one value per column, a value in every required column,
// valid UTF-8 within each text column's size; everything else is reported
// as a problem, with its count kept and at most TProblems::Shown kept in
// full.
#include "Fuzz.h"

#include "records/FieldValues.h"
#include "records/RecordReader.h"

#include <QBuffer>

namespace {

qsizetype Characters(const QByteArray& utf8)
{
    qsizetype count = 0;
    for (const char c : utf8)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QList<TImportTable>& tables = ImportTables();
    const TImportTable& table = tables[data[0] % tables.size()];
    QBuffer file;
    file.setData(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    file.open(QIODevice::ReadOnly);
    TProblems problems;
    TRecordReader reader(table, file, problems);
    qint64 good = 0;
    if (reader.Open()) {
        TCheckedRecord record;
        while (reader.Next(record)) {
            ++good;
            Fuzz::Require(record.Values.size() == table.Columns.size(), "one value per column");
            for (qsizetype i = 0; i < table.Columns.size(); ++i) {
                const TImportColumn& column = table.Columns[i];
                const TFieldValue& value = record.Values[i];
                Fuzz::Require(!column.Required || value.Kind != TFieldValue::TKind::Null, "required columns hold a value");
                if (value.Kind != TFieldValue::TKind::Text)
                    continue;
                Fuzz::Require(value.Text.isValidUtf8(), "texts are UTF-8");
                Fuzz::Require(column.Type != TColumnType::Text || Characters(value.Text) <= column.Size,
                              "texts fit their columns");
            }
        }
        Fuzz::Require(good <= reader.Records(), "good records are records read");
    }
    Fuzz::Require(problems.First().size() == std::min<qint64>(problems.Count(), TProblems::Shown),
                  "the first problems are kept, the rest counted");
    return 0;
}
