#pragma once
// The filter language of the data sets.
//
//   expr       := or
//   or         := and { OR and }
//   and        := not { AND not }
//   not        := NOT not | '(' expr ')' | comparison
//   comparison := operand ( op operand | IS [NOT] NULL )
//   op         := = | <> | < | > | <= | >=
//   operand    := field name | [field name] | 'string' | number
//
// Keywords are case-insensitive; a string literal doubles its inner quotes
// ('D''Ávila'). Strings compare exactly (case-sensitive); a date field
// compares with a number (its day count) or with a 'dd/mm/yyyy' literal. A
// comparison with a null value is false; only IS NULL sees nulls.
//
// Parse() raises EDatabaseError naming the 1-based position of the fault; a
// text of more than 1,000 operators (AND, OR, NOT) and parentheses is one.
// Bind() resolves field names against a packet's fields and raises
// EDatabaseError for an unknown field or a comparison of incompatible kinds.
#include "data/DataPacket.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct TFilterNode;

class TFilterExpression {
public:
    TFilterExpression();  // the empty filter: every row passes
    ~TFilterExpression();
    TFilterExpression(const TFilterExpression&) = delete;
    TFilterExpression& operator=(const TFilterExpression&) = delete;
    TFilterExpression(TFilterExpression&&) noexcept;
    TFilterExpression& operator=(TFilterExpression&&) noexcept;

    static TFilterExpression Parse(const QString& text);
    const QString& Text() const { return text_; }
    bool IsEmpty() const { return !root_; }

    // A filter bound to the columns of one packet layout.
    class Bound {
    public:
        bool Matches(const TDataPacket& packet, int row) const;
        // When the whole expression is an AND of `string field = 'literal'`
        // terms: the packet columns (ascending) and the literals in the same
        // order, so the rows can come from the packet's index. Otherwise
        // `indexable` is false.
        bool indexable = false;
        std::vector<int> keyColumns;
        QStringList keyValues;
        bool contradictory = false;  // the same field asked to equal two values

    private:
        friend class TFilterExpression;
        std::shared_ptr<const TFilterNode> root_;
    };
    Bound Bind(const QList<TFieldDesc>& fields) const;

private:
    QString text_;
    std::shared_ptr<TFilterNode> root_;
};
