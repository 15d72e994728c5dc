#include "CsvReader.h"

#include <QIODevice>

#include <csv.h>

#include <deque>

namespace {

// A physical line is fed in pieces of at most this many bytes.
constexpr qint64 ChunkBytes = 64 * 1024;
// libcsv's state between records (ROW_NOT_BEGUN in its source).
constexpr int RowNotBegun = 0;

} // namespace

// libcsv calls back per field and per record end; the records complete so
// far wait in `ready` until Next hands them out (a line holds at most a few).
struct TCsvReader::TParser {
    csv_parser parser = {};
    TCsvRecord record;
    qsizetype recordBytes = 0;
    bool tooWide = false;
    std::deque<TCsvRecord> ready;
    qint64 currentLine = 0;

    static void OnField(void* text, size_t size, void* self)
    {
        auto* p = static_cast<TParser*>(self);
        if (p->record.Fields.size() >= MaxFields) {
            p->tooWide = true;
            return;
        }
        const QByteArrayView view(static_cast<const char*>(text), qsizetype(size));
        if (p->record.BadUtf8Field < 0 && !view.isValidUtf8())
            p->record.BadUtf8Field = int(p->record.Fields.size());
        p->record.Fields.append(view.toByteArray());
        p->recordBytes += qsizetype(size);
    }
    static void OnRecordEnd(int, void* self)
    {
        auto* p = static_cast<TParser*>(self);
        p->ready.push_back(std::move(p->record));
        p->record = TCsvRecord();
        p->record.Line = p->currentLine;  // a record that begins later on this line
        p->recordBytes = 0;
    }
};

TCsvReader::TCsvReader(QIODevice& device) : device_(device), parser_(std::make_unique<TParser>())
{
    csv_init(&parser_->parser, CSV_STRICT | CSV_STRICT_FINI);
}

TCsvReader::~TCsvReader()
{
    csv_free(&parser_->parser);
}

void TCsvReader::Fail(const QString& error, qint64 line)
{
    error_ = error;
    errorLine_ = line;
    finished_ = true;
    parser_->ready.clear();
}

bool TCsvReader::Feed()
{
    line_ = device_.readLine(ChunkBytes);
    if (line_.isEmpty())
        return false;
    bytesRead_ += line_.size();
    if (lineEnded_)
        ++lineNumber_;
    lineEnded_ = line_.endsWith('\n');
    if (!started_) {
        started_ = true;
        if (line_.startsWith("\xEF\xBB\xBF"))
            line_.remove(0, 3);
        // The header names no field with a separator in it, so whichever it
        // holds is the file's.
        separator_ = line_.contains(';') || !line_.contains(',') ? ';' : ',';
        csv_set_delim(&parser_->parser, static_cast<unsigned char>(separator_));
    }
    TParser& p = *parser_;
    p.currentLine = lineNumber_;
    if (p.parser.pstate == RowNotBegun && p.record.Fields.isEmpty())
        p.record.Line = lineNumber_;
    const size_t fed = csv_parse(&p.parser, line_.constData(), size_t(line_.size()), TParser::OnField,
                                 TParser::OnRecordEnd, &p);
    if (fed != size_t(line_.size())) {
        Fail(QStringLiteral("aspas fora de lugar: um campo entre aspas deve começar e terminar com elas, e as aspas "
                            "dentro dele vêm dobradas (\"\")"),
             lineNumber_);
        return false;
    }
    if (p.tooWide) {
        Fail(QStringLiteral("o registro tem mais de %1 campos").arg(MaxFields), p.record.Line);
        return false;
    }
    if (p.recordBytes + qsizetype(p.parser.entry_pos) > MaxRecordBytes) {
        Fail(QStringLiteral("o registro que começa nesta linha passa de %1 MiB: falta fechar aspas?")
                 .arg(MaxRecordBytes >> 20),
             p.record.Line);
        return false;
    }
    return true;
}

bool TCsvReader::Next(TCsvRecord& record)
{
    TParser& p = *parser_;
    while (p.ready.empty()) {
        if (finished_)
            return false;
        if (Feed())
            continue;
        if (finished_)
            return false;  // an error
        finished_ = true;
        if (csv_fini(&p.parser, TParser::OnField, TParser::OnRecordEnd, &p) != 0) {
            Fail(QStringLiteral("aspas sem fechamento: o campo aberto neste registro não termina até o fim do arquivo"),
                 p.record.Line);
            return false;
        }
    }
    record = std::move(p.ready.front());
    p.ready.pop_front();
    return true;
}
