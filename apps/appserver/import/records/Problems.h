#pragma once
// The problems an import found, as the operator reads them: each names the
// file, the line and, when it is about one field, the column. The first
// Shown are kept in full; the rest are only counted, so that a file wrong on
// every line costs no memory.
#include <QString>
#include <QStringList>

class TProblems {
public:
    static constexpr int Shown = 50;

    // line 0: the file as a whole; an empty column: the record as a whole.
    void Add(const QString& file, qint64 line, const QString& column, const QString& problem);
    qint64 Count() const { return count_; }
    bool Empty() const { return count_ == 0; }
    const QStringList& First() const { return first_; }
    // The first Shown, one a line, then "... e mais N problemas".
    QString Text() const;

private:
    QStringList first_;
    qint64 count_ = 0;
};
