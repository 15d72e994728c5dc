#pragma once
// A CSV file read as a stream of records (RFC 4180 through libcsv), as the
// files a site's ERP or a spreadsheet writes: UTF-8 with or without a
// byte-order mark, ';' or ',' between fields (whichever the first line, the
// header, holds; ';' when it holds both), fields quoted with doubled quotes
// and line breaks inside, CR LF or LF line ends, blank lines skipped. Spaces
// and tabs around an unquoted field are dropped, as libcsv does.
//
// Memory does not grow with the file: one record is held at a time, and a
// record longer than MaxRecordBytes or wider than MaxFields ends the reading
// with an error (an unbalanced quote makes the rest of a file one field).
//
// Errors are reported, never raised: Next returns false and Error() says
// why, in Portuguese, with ErrorLine() the line it was found on.
#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class QIODevice;

struct TCsvRecord {
    qint64 Line = 0;            // the physical line the record starts on, from 1
    QList<QByteArray> Fields;   // UTF-8, quotes removed
    int BadUtf8Field = -1;      // the first field whose bytes are not UTF-8, or -1
};

class TCsvReader {
public:
    static constexpr qsizetype MaxRecordBytes = 1 << 20;
    static constexpr int MaxFields = 256;

    // Reads `device` (open for reading, not owned) from its position.
    explicit TCsvReader(QIODevice& device);
    ~TCsvReader();
    TCsvReader(const TCsvReader&) = delete;
    TCsvReader& operator=(const TCsvReader&) = delete;

    // The next record; false at the end of the file or at an error.
    bool Next(TCsvRecord& record);
    const QString& Error() const { return error_; }
    qint64 ErrorLine() const { return errorLine_; }
    char Separator() const { return separator_; }
    // Bytes read from the device so far, for a progress display.
    qint64 BytesRead() const { return bytesRead_; }

private:
    struct TParser;
    bool Feed();  // one more physical line into the parser; false at the end
    void Fail(const QString& error, qint64 line);

    QIODevice& device_;
    std::unique_ptr<TParser> parser_;
    QByteArray line_;
    char separator_ = ';';
    bool started_ = false;
    bool finished_ = false;
    qint64 lineNumber_ = 0;     // of the last line fed
    bool lineEnded_ = true;     // the last chunk fed ended its line
    qint64 bytesRead_ = 0;
    QString error_;
    qint64 errorLine_ = 0;
};
